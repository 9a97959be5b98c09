#include "platform/app_paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/system.h"

namespace platform {
namespace {

QString HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return QFile::decodeName(home);
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir)
        return QFile::decodeName(found->pw_dir);
    return QStringLiteral("/");
}

// An XDG base folder: the variable when it holds an absolute path (relative ones are invalid
// and ignored), else the default below the home folder.
QString XdgFolder(const char* variable, const QString& home, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return QFile::decodeName(value);
    return home + QLatin1Char('/') + QLatin1String(fallback);
}

std::string CreateFolder(const QString& path) {
    std::error_code ec;
    const std::filesystem::path folder(QFile::encodeName(path).toStdString());
    std::filesystem::create_directories(folder, ec);
    if (ec) return "Cannot create " + folder.string() + ": " + ec.message();
    return {};
}

}  // namespace

bool CAppPaths::IsInstalledLocation(const QString& folder) {
    if (!folder.startsWith(QLatin1Char('/'))) return false;
    const QString clean = QDir::cleanPath(folder);
    for (const char* root : {"/opt", "/usr"}) {
        const QString prefix = QString::fromLatin1(root);
        if (clean == prefix || clean.startsWith(prefix + QLatin1Char('/'))) return true;
    }
    return false;
}

CAppPaths CAppPaths::Choose(const QString& appFolder) {
    CAppPaths paths;
    paths.m_appFolder = appFolder;
    paths.m_installed = IsInstalledLocation(appFolder);
    paths.m_besideExecutable = false;
    int reason = ENOENT;
    // An installed copy never writes beside itself, even where it could (root under /opt).
    // Elsewhere the folder must be writable for us, not merely by its mode bits: read-only
    // mounts, ACLs.
    const QByteArray native = QFile::encodeName(appFolder);
    if (!paths.m_installed && !native.isEmpty()) {
        paths.m_besideExecutable =
            faccessat(AT_FDCWD, native.constData(), W_OK | X_OK, AT_EACCESS) == 0;
        if (!paths.m_besideExecutable) reason = errno;
    }
    if (paths.m_besideExecutable) {
        paths.m_logFolder = appFolder + QStringLiteral("/Log");
        paths.m_videoFolder = appFolder + QStringLiteral("/Video");
        paths.m_settingsFolder = appFolder;
        return paths;
    }
    if (!paths.m_installed)
        paths.m_notWritableReason = QString::fromLocal8Bit(std::strerror(reason));
    const QString home = HomeFolder();
    paths.m_logFolder =
        XdgFolder("XDG_STATE_HOME", home, ".local/state") + QStringLiteral("/quorvel/Log");
    paths.m_settingsFolder =
        XdgFolder("XDG_CONFIG_HOME", home, ".config") + QStringLiteral("/quorvel");
    // The desktop's videos folder from user-dirs.dirs, ~/Videos without one.
    QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (videos.isEmpty()) videos = home + QStringLiteral("/Videos");
    paths.m_videoFolder = videos + QStringLiteral("/Quorvel");
    return paths;
}

CAppPaths CAppPaths::ForModule() {
    return Choose(GetModuleFolder());
}

std::string CAppPaths::CreateParentFolders() const {
    std::string errors;
    for (const QString& folder : {m_logFolder, m_videoFolder}) {
        const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0) continue;
        const std::string error = CreateFolder(folder.left(slash));
        if (!error.empty()) errors += (errors.empty() ? "" : "; ") + error;
    }
    return errors;
}

std::string CAppPaths::Describe() const {
    if (m_besideExecutable) return {};
    const QString why =
        m_installed
            ? QStringLiteral("%1 is an installed copy").arg(m_appFolder)
            : QStringLiteral("%1 is not writable (%2)").arg(m_appFolder, m_notWritableReason);
    return QStringLiteral("%1: log %2, video %3, settings %4")
        .arg(why, m_logFolder, m_videoFolder, m_settingsFolder)
        .toStdString();
}

}  // namespace platform
