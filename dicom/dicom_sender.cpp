#include "dicom/dicom_sender.h"

#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/oflog/oflog.h>

#include <cstdio>

std::string DicomArchive::Missing() const {
    std::string missing;
    auto add = [&missing](const char* key) {
        missing += missing.empty() ? key : std::string(", ") + key;
    };
    if (host.empty()) add("Host");
    if (port <= 0 || port > 65535) add("Port");
    if (!IsAeTitle(calledAeTitle)) add("CalledAETitle");
    if (!callingAeTitle.empty() && !IsAeTitle(callingAeTitle)) add("CallingAETitle");
    return missing;
}

bool DicomArchive::IsAeTitle(const std::string& title) {
    if (title.empty() || title.size() > 16) return false;
    for (const char c : title)
        if (c < 0x20 || c > 0x7e || c == '\\') return false;
    return true;
}

DicomSendOutcome CDicomSender::Send(const DicomArchive& archive, const std::string& file,
                                    const std::string& sopClassUid,
                                    const std::string& transferSyntaxUid) {
    DicomSendOutcome outcome;
    if (!archive.Missing().empty()) {
        outcome.error = "the archive's settings lack " + archive.Missing();
        return outcome;
    }
    // DCMTK tells every association on the terminal otherwise; its warnings still come.
    static const bool quiet = [] {
        OFLog::configure(OFLogger::WARN_LOG_LEVEL);
        return true;
    }();
    (void)quiet;
    DcmSCU scu;
    scu.setPeerHostName(archive.host.c_str());
    scu.setPeerPort(static_cast<Uint16>(archive.port));
    scu.setPeerAETitle(archive.calledAeTitle.c_str());
    scu.setAETitle(archive.callingAeTitle.empty() ? "QUORVEL" : archive.callingAeTitle.c_str());
    scu.setConnectionTimeout(archive.timeoutSeconds);
    scu.setACSETimeout(static_cast<Uint32>(archive.timeoutSeconds));
    scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
    scu.setDIMSETimeout(static_cast<Uint32>(archive.timeoutSeconds));
    OFList<OFString> syntaxes;
    syntaxes.push_back(transferSyntaxUid.c_str());
    scu.addPresentationContext(sopClassUid.c_str(), syntaxes);

    OFCondition cond = scu.initNetwork();
    if (cond.good()) cond = scu.negotiateAssociation();
    if (cond.bad()) {
        outcome.error = std::string("no association with the archive: ") + cond.text();
        return outcome;
    }
    const T_ASC_PresentationContextID context =
        scu.findPresentationContextID(sopClassUid.c_str(), transferSyntaxUid.c_str());
    if (context == 0) {
        scu.abortAssociation();
        outcome.error = "the archive does not take this kind of object in this coding";
        return outcome;
    }
    Uint16 status = 0;
    cond = scu.sendSTORERequest(context, file.c_str(), nullptr, status);
    if (cond.bad()) {
        scu.abortAssociation();
        outcome.error = std::string("the object could not be sent: ") + cond.text();
        return outcome;
    }
    scu.releaseAssociation();
    outcome.status = status;
    // Success, or a warning (coercion, elements discarded): the archive has it.
    if (status == 0x0000 || (status & 0xF000) == 0xB000) {
        outcome.stored = true;
        return outcome;
    }
    char text[96];
    std::snprintf(text, sizeof text, "the archive refused the object with status 0x%04X",
                  static_cast<unsigned>(status));
    outcome.refused = true;
    outcome.error = text;
    return outcome;
}
