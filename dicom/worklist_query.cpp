#include "dicom/worklist_query.h"

#include <dcmtk/config/osconfig.h>  // before any other DCMTK header
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/oflog/oflog.h>

#include <QDate>
#include <algorithm>
#include <memory>
#include <mutex>

namespace {

using Error = CWorklistQuery::Error;

// DcmSCU hands over its responses for the caller to free.
struct ResponsesGuard {
    OFList<QRResponse*> list;
    ~ResponsesGuard() {
        for (QRResponse* r : list) delete r;
    }
};

// Releases the association however the query ends.
struct AssociationGuard {
    DcmSCU& scu;
    ~AssociationGuard() {
        if (scu.isConnected()) scu.releaseAssociation();
    }
};

CWorklistQuery::Result Failure(Error error, const std::string& what, const OFCondition& cond) {
    CWorklistQuery::Result r;
    r.error = error;
    r.detail = what + ": " + cond.text();
    return r;
}

Error ErrorOfConnecting(const OFCondition& cond) {
    if (cond == DUL_ASSOCIATIONREJECTED || cond == NET_EC_NoAcceptablePresentationContexts)
        return Error::Refused;
    if (cond == DUL_READTIMEOUT) return Error::TimedOut;
    return Error::Unreachable;
}

// Values left in a character set DCMTK could not convert: only plain ASCII is read.
bool IsPlainAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

std::string Text(DcmItem& item, const DcmTagKey& tag) {
    OFString value;
    // The whole value, backslashes and all, trimmed.
    if (item.findAndGetOFStringArray(tag, value).bad()) return {};
    const size_t first = value.find_first_not_of(' ');
    if (first == OFString_npos) return {};
    const size_t last = value.find_last_not_of(' ');
    return std::string(value.c_str() + first, last - first + 1);
}

std::string IsoDate(const std::string& da) {
    const QDate d = QDate::fromString(QString::fromStdString(da), QStringLiteral("yyyyMMdd"));
    return d.isValid() ? d.toString(Qt::ISODate).toStdString() : std::string();
}

// TM is HHMM[SS[.F]]; an old server may still send HH:MM:SS.
std::string HourMinute(std::string tm) {
    tm.erase(std::remove(tm.begin(), tm.end(), ':'), tm.end());
    if (tm.size() < 4 || !std::all_of(tm.begin(), tm.begin() + 4, ::isdigit)) return {};
    return tm.substr(0, 2) + ":" + tm.substr(2, 2);
}

// decoded: the texts are UTF-8; else they are still in the entry's own character set, and only
// what is plain ASCII is taken (of a name, the groups that are: the alphabetic one, usually).
WorklistEntry ReadEntry(DcmDataset& identifier, bool decoded) {
    auto text = [decoded](DcmItem& item, const DcmTagKey& tag) {
        std::string value = Text(item, tag);
        return decoded || IsPlainAscii(value) ? value : std::string();
    };
    WorklistEntry e;
    e.patientId = text(identifier, DCM_PatientID);
    std::string name = Text(identifier, DCM_PatientName);
    if (!decoded) {
        std::string kept;
        size_t start = 0;
        for (size_t end = 0; end != std::string::npos; start = end + 1) {
            end = name.find('=', start);
            const std::string group = name.substr(start, end - start);
            kept += (start ? "=" : "") + (IsPlainAscii(group) ? group : std::string());
        }
        name = kept;
    }
    e.patientName = CWorklistQuery::ReadableName(name);
    e.birthDate = IsoDate(Text(identifier, DCM_PatientBirthDate));
    const std::string sex = Text(identifier, DCM_PatientSex);
    if (sex == "F" || sex == "M" || sex == "O") e.sex = sex;
    e.accessionNumber = text(identifier, DCM_AccessionNumber);
    e.requestedProcedure = text(identifier, DCM_RequestedProcedureDescription);
    DcmItem* step = nullptr;
    if (identifier.findAndGetSequenceItem(DCM_ScheduledProcedureStepSequence, step, 0).good() &&
        step) {
        e.modality = Text(*step, DCM_Modality);
        e.scheduledTime = HourMinute(Text(*step, DCM_ScheduledProcedureStepStartTime));
        if (e.requestedProcedure.empty())
            e.requestedProcedure = text(*step, DCM_ScheduledProcedureStepDescription);
    }
    return e;
}

void BuildQuery(DcmDataset& q, const WorklistSettings& settings, const std::string& date) {
    // Our keys are plain ASCII; this tells the server we read Unicode best.
    q.putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 192");
    for (const DcmTagKey& key :
         {DCM_AccessionNumber, DCM_PatientName, DCM_PatientID, DCM_PatientBirthDate, DCM_PatientSex,
          DCM_RequestedProcedureDescription, DCM_RequestedProcedureID})
        q.insertEmptyElement(key);
    DcmItem* step = nullptr;
    q.findOrCreateSequenceItem(DCM_ScheduledProcedureStepSequence, step, -2);
    if (!step) return;
    step->putAndInsertString(DCM_Modality, settings.modality.c_str());
    std::string day = date;
    day.erase(std::remove(day.begin(), day.end(), '-'), day.end());
    step->putAndInsertString(DCM_ScheduledProcedureStepStartDate, day.c_str());
    for (const DcmTagKey& key :
         {DCM_ScheduledProcedureStepStartTime, DCM_ScheduledStationAETitle,
          DCM_ScheduledProcedureStepDescription, DCM_ScheduledProcedureStepID})
        step->insertEmptyElement(key);
}

bool IsPending(Uint16 status) {
    return status == 0xFF00 || status == 0xFF01;
}

}  // namespace

std::string CWorklistQuery::ReadableName(const std::string& dicomName) {
    std::vector<std::string> groups;
    size_t start = 0;
    for (size_t eq; (eq = dicomName.find('=', start)) != std::string::npos; start = eq + 1)
        groups.push_back(dicomName.substr(start, eq - start));
    groups.push_back(dicomName.substr(start));
    auto hasText = [](const std::string& g) {
        return g.find_first_not_of("^ ") != std::string::npos;
    };
    std::string chosen;
    for (size_t i : {1, 0, 2})
        if (i < groups.size() && hasText(groups[i])) {
            chosen = groups[i];
            break;
        }
    // Family, given, middle; the prefix and suffix are left out.
    std::string name;
    start = 0;
    for (int part = 0; part < 3 && start <= chosen.size(); ++part) {
        size_t caret = chosen.find('^', start);
        if (caret == std::string::npos) caret = chosen.size();
        std::string piece = chosen.substr(start, caret - start);
        const size_t first = piece.find_first_not_of(' ');
        if (first != std::string::npos) {
            piece = piece.substr(first, piece.find_last_not_of(' ') - first + 1);
            name += (name.empty() ? "" : " ") + piece;
        }
        start = caret + 1;
    }
    return name;
}

CWorklistQuery::Result CWorklistQuery::Run(const WorklistSettings& settings,
                                           const std::string& date) {
    // DCMTK tells each step of an association at its info level; only its warnings matter.
    static std::once_flag quiet;
    std::call_once(quiet,
                   [] { OFLog::getLogger("dcmtk.dcmnet").setLogLevel(OFLogger::WARN_LOG_LEVEL); });
    DcmSCU scu;
    scu.setAETitle(settings.callingAeTitle.c_str());
    scu.setPeerHostName(settings.host.c_str());
    scu.setPeerPort(static_cast<Uint16>(settings.port));
    scu.setPeerAETitle(settings.calledAeTitle.c_str());
    scu.setConnectionTimeout(kConnectTimeoutS);
    scu.setACSETimeout(kAssociationTimeoutS);
    scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
    scu.setDIMSETimeout(kAnswerTimeoutS);
    OFList<OFString> syntaxes;
    syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
    syntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
    scu.addPresentationContext(UID_FINDModalityWorklistInformationModel, syntaxes);

    OFCondition cond = scu.initNetwork();
    if (cond.bad()) return Failure(Error::Failed, "setting up the network", cond);
    cond = scu.negotiateAssociation();
    if (cond.bad()) return Failure(ErrorOfConnecting(cond), "connecting", cond);
    AssociationGuard release{scu};
    const T_ASC_PresentationContextID context =
        scu.findPresentationContextID(UID_FINDModalityWorklistInformationModel, "");
    if (context == 0)
        return Failure(Error::Refused, "the server", NET_EC_NoAcceptablePresentationContexts);

    DcmDataset query;
    BuildQuery(query, settings, date);
    ResponsesGuard responses;
    cond = scu.sendFINDRequest(context, &query, &responses.list);
    if (cond.bad()) {
        const bool silent = cond == DIMSE_NODATAAVAILABLE || cond == DUL_READTIMEOUT;
        return Failure(silent ? Error::TimedOut : Error::Failed, "asking", cond);
    }

    Result result;
    Uint16 final = 0;
    for (QRResponse* r : responses.list) {
        final = r->m_status;
        if (!IsPending(r->m_status) || !r->m_dataset) continue;
        // Names come in the entry's own character set; DCMTK turns them into UTF-8. Debian's
        // DCMTK converts through the C library's iconv, which lacks the Japanese ISO 2022
        // multi-byte sets (IR 87, IR 159): such an entry keeps its ASCII parts only.
        const OFCondition converted = r->m_dataset->convertToUTF8();
        if (converted.bad()) {
            OFString charset;
            r->m_dataset->findAndGetOFStringArray(DCM_SpecificCharacterSet, charset);
            result.detail += "an entry in \"" + std::string(charset.c_str()) +
                             "\" read as ASCII only: " + converted.text() + "; ";
        }
        result.entries.push_back(ReadEntry(*r->m_dataset, converted.good()));
    }
    if (responses.list.empty() || final != 0x0000) {
        result.error = Error::Failed;
        result.status = final;
        result.detail += "the server answered with status " + std::to_string(final);
        result.entries.clear();
        return result;
    }
    std::stable_sort(result.entries.begin(), result.entries.end(),
                     [](const WorklistEntry& a, const WorklistEntry& b) {
                         return std::tie(a.scheduledTime, a.patientName) <
                                std::tie(b.scheduledTime, b.patientName);
                     });
    return result;
}
