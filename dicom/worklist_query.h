// Asks a modality worklist server (C-FIND, Modality Worklist Information Model - FIND) for the
// procedure steps scheduled on a day, through DCMTK. Blocks for as long as the server takes, up
// to the timeouts below: call it from a worker thread, never the UI thread.
#pragma once

#include <string>
#include <vector>

#include "dicom/worklist_entry.h"
#include "dicom/worklist_settings.h"

class CWorklistQuery {
  public:
    enum class Error {
        None,
        Unreachable,  // no connection: wrong host or port, the server down
        Refused,      // the association was rejected, or the worklist service not offered
        TimedOut,     // connected, but the server stopped answering
        Failed,       // the server answered the query with a failure status, or anything else
    };
    struct Result {
        Error error = Error::None;
        unsigned status = 0;  // the C-FIND failure status, when the server sent one
        // For the log: what failed, in DCMTK's words; never patient data.
        std::string detail;
        std::vector<WorklistEntry> entries;  // by scheduled time, then name
        bool ok() const { return error == Error::None; }
    };

    static constexpr int kConnectTimeoutS = 10;
    static constexpr int kAssociationTimeoutS = 15;
    static constexpr int kAnswerTimeoutS = 30;

    // The steps scheduled on date (YYYY-MM-DD) for the settings' modality (any when empty).
    static Result Run(const WorklistSettings& settings, const std::string& date);

    // A person name as DICOM writes it (groups split by '=', parts by '^') as one line of text:
    // the ideographic group if there is one, else the alphabetic, else the phonetic; family,
    // given and middle names joined by spaces.
    static std::string ReadableName(const std::string& dicomName);
};
