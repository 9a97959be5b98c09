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

    // What is missing or not valid for a send, as the settings' key names; empty when nothing
    // is. A title that is too long is named, not cut: the archive would refuse the cut one.
    std::string Missing() const;
    // At most 16 characters of the default repertoire, no backslash.
    static bool IsAeTitle(const std::string& title);
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
