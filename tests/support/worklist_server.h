// DCMTK's worklist server (wlmscpfs) for a test: its worklist folder in a temporary directory,
// one file per entry written here with DCMTK, on a free port (wlmscpfs has no option to bind one
// address, so it listens on all; the tests reach it at 127.0.0.1). It answers to the AE title
// kAeTitle only. Stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <QString>
#include <QTemporaryDir>
#include <string>

#include "tests/support/spawned_process.h"

namespace testing_support {

class CWorklistServer {
  public:
    static constexpr const char* kAeTitle = "QWLTEST";

    // One scheduled procedure step. Texts are written byte for byte, in charset's encoding.
    struct Item {
        std::string charset;  // Specific Character Set, e.g. "ISO_IR 192"; empty for none
        std::string patientId, patientName, birthDate, sex;  // birthDate as DA (YYYYMMDD)
        std::string accessionNumber, procedure;
        std::string modality = "XC";
        std::string date, time;  // the step's start, DA and TM
    };

    CWorklistServer();
    ~CWorklistServer();
    CWorklistServer(const CWorklistServer&) = delete;
    CWorklistServer& operator=(const CWorklistServer&) = delete;

    // Writes <name>.wl; false, with Error() saying why, when it could not be written.
    bool Add(const std::string& name, const Item& item);
    // Starts the server and waits until it listens; false, with Error() saying why, when it
    // does not.
    bool Start();
    int Port() const { return m_port; }
    const std::string& Error() const { return m_error; }

    // A port nothing listens on at the time of the call.
    static int FreePort();

  private:
    QTemporaryDir m_dir;
    CSpawnedProcess m_process;
    int m_port = 0;
    std::string m_error;
};

}  // namespace testing_support
