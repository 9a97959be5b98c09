#include "capture/camera_settings_store.h"

#include <QDir>

#include "platform/app_paths.h"
#include "platform/profile.h"

CCameraSettingsStore::CCameraSettingsStore(QString file) : m_file(std::move(file)) {
    if (m_file.isEmpty())
        m_file = QDir(platform::CAppPaths::ForModule().SettingsFolder()).filePath("Quorvel.ini");
}

QString CCameraSettingsStore::SectionFor(const platform::v4l2::V4l2DeviceInfo& camera) {
    const QString ids =
        QStringLiteral("Camera %1:%2")
            .arg(QString::fromStdString(camera.vendorId), QString::fromStdString(camera.productId));
    // A serial number follows the camera from port to port; without one the port names it.
    // "]" would end the section's name early.
    QString serial = QString::fromStdString(camera.serial).trimmed();
    serial.remove(QLatin1Char(']'));
    if (!serial.isEmpty()) return ids + QStringLiteral(" serial ") + serial;
    const std::string& identity = camera.identity;
    return ids + QStringLiteral(" port ") +
           QString::fromStdString(identity.substr(0, identity.find(':')));
}

QString CCameraSettingsStore::KeyFor(uint32_t id) {
    return QStringLiteral("0x%1").arg(id, 8, 16, QLatin1Char('0'));
}

std::map<uint32_t, int32_t> CCameraSettingsStore::Load(
    const QString& section, const std::vector<platform::v4l2::CameraControl>& controls) const {
    std::map<uint32_t, int32_t> values;
    for (const auto& c : controls) {
        const QString text =
            platform::GetPrivateProfileStringW(section, KeyFor(c.id), QString(), 64, m_file);
        bool ok = false;
        const qlonglong v = text.toLongLong(&ok);
        if (!ok) continue;
        const qlonglong inRange = std::clamp<qlonglong>(v, INT32_MIN, INT32_MAX);
        values[c.id] = c.Clamp(static_cast<int32_t>(inRange));
    }
    return values;
}

int CCameraSettingsStore::Save(const QString& section, uint32_t id, int32_t value) const {
    return platform::WritePrivateProfileStringW(section, KeyFor(id), QString::number(value),
                                                m_file);
}
