#include "platform/app_paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

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

CAppPaths CAppPaths::Choose(const QString& appFolder) {
    CAppPaths paths;
    paths.m_appFolder = appFolder;
    // Writable for us, not merely by its mode bits: root, read-only mounts, ACLs.
    const QByteArray native = QFile::encodeName(appFolder);
    int reason = ENOENT;
    paths.m_besideExecutable = false;
    if (!native.isEmpty()) {
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
    QString text;
    if (m_besideExecutable) {
        text = QStringLiteral("Files beside the executable: log %1, video %2")
                   .arg(m_logFolder, m_videoFolder);
    } else {
        text = QStringLiteral("%1 is not writable (%2): log %3, video %4, settings %5")
                   .arg(m_appFolder, m_notWritableReason, m_logFolder, m_videoFolder,
                        m_settingsFolder);
    }
    return text.toStdString();
}

}  // namespace platform
