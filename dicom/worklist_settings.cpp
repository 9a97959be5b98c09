#include "dicom/worklist_settings.h"

#include <QDir>

#include "dicom/dicom_sender.h"
#include "platform/app_paths.h"
#include "platform/profile.h"

namespace {

QString Read(const char* section, const char* key, const QString& file) {
    return platform::GetPrivateProfileStringW(QString::fromLatin1(section),
                                              QString::fromLatin1(key), QString(), 256, file)
        .trimmed();
}

bool IsAeTitle(const QString& title) {
    return DicomArchive::IsAeTitle(title.toStdString());
}

}  // namespace

std::string WorklistSettings::Address() const {
    return host + ":" + std::to_string(port);
}

QString WorklistSettings::DefaultFile() {
    return QDir(platform::CAppPaths::ForModule().SettingsFolder()).filePath("Quorvel.ini");
}

WorklistSettings WorklistSettings::Load(const QString& file) {
    const QString ini = file.isEmpty() ? DefaultFile() : file;
    WorklistSettings s;
    s.host = Read("Worklist", "Host", ini).toStdString();
    if (s.host.empty()) s.missing.push_back("[Worklist] Host");

    bool ok = false;
    const int port = Read("Worklist", "Port", ini).toInt(&ok);
    if (ok && port > 0 && port < 65536)
        s.port = port;
    else
        s.missing.push_back("[Worklist] Port");

    const QString called = Read("Worklist", "CalledAETitle", ini);
    if (IsAeTitle(called))
        s.calledAeTitle = called.toStdString();
    else
        s.missing.push_back("[Worklist] CalledAETitle");

    const QString calling = Read("PACS", "CallingAETitle", ini);
    if (IsAeTitle(calling))
        s.callingAeTitle = calling.toStdString();
    else if (!calling.isEmpty())
        s.missing.push_back("[PACS] CallingAETitle");

    // "*" asks for every modality.
    const QString modality = Read("Worklist", "Modality", ini);
    if (modality == QLatin1String("*"))
        s.modality.clear();
    else if (!modality.isEmpty())
        s.modality = modality.toUpper().toStdString();
    return s;
}
