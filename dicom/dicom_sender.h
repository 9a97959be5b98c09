// Stores one DICOM file on the archive (C-STORE through DCMTK's DcmSCU): one association per
// object, the DIMSE status checked.
#pragma once

#include <string>

struct DicomArchive {
    std::string host;
    int port = 104;
    std::string calledAeTitle;
    std::string callingAeTitle = "QUORVEL";
    int timeoutSeconds = 30;

    // What is missing for a send, as the settings' key names; empty when nothing is.
    std::string Missing() const;
};

struct DicomSendOutcome {
    bool stored = false;
    // The archive answered with a failure status: it refused the object.
    bool refused = false;
    unsigned status = 0;  // the DIMSE status when the archive answered
    std::string error;    // why it was not stored
};

class CDicomSender {
  public:
    // sopClassUid and transferSyntaxUid as the file holds them.
    static DicomSendOutcome Send(const DicomArchive& archive, const std::string& file,
                                 const std::string& sopClassUid,
                                 const std::string& transferSyntaxUid);
};
