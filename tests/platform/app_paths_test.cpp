#include "platform/app_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "app/quorvel_app.h"
#include "tests/support/test_support.h"

using platform::CAppPaths;

namespace {

// Sets (or, with nullopt, unsets) environment variables for one test and puts the old ones back.
class CScopedEnv {
  public:
    explicit CScopedEnv(const std::map<std::string, std::optional<std::string>>& values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    ~CScopedEnv() {
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

  private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

// Root writes into any folder whatever its mode; a read-only folder is read-only only for
// another user. Under root the scope runs with the effective user nobody.
class CUnprivileged {
  public:
    CUnprivileged() : m_wasRoot(geteuid() == 0) {
        if (m_wasRoot && seteuid(65534) != 0) ADD_FAILURE() << "seteuid(65534) failed";
    }
    ~CUnprivileged() {
        if (m_wasRoot && seteuid(0) != 0) ADD_FAILURE() << "seteuid(0) failed";
    }

  private:
    bool m_wasRoot;
};

// A temporary folder that another user may write into (the home of the unprivileged scope).
QString OpenFolder(const QTemporaryDir& dir) {
    chmod(QFile::encodeName(dir.path()).constData(), 0777);
    return dir.path();
}

// An installed copy's folder: Language/ inside, no write permission while the object lives.
class CReadOnlyAppFolder {
  public:
    CReadOnlyAppFolder() : m_path(m_root.path() + QStringLiteral("/opt")) {
        QDir().mkpath(m_path + QStringLiteral("/Language"));
        chmod(QFile::encodeName(m_root.path()).constData(), 0755);
        chmod(QFile::encodeName(m_path).constData(), 0555);
    }
    ~CReadOnlyAppFolder() { chmod(QFile::encodeName(m_path).constData(), 0755); }
    const QString& Path() const { return m_path; }

  private:
    QTemporaryDir m_root;
    QString m_path;
};

const std::map<std::string, std::optional<std::string>> kXdgUnset = {
    {"XDG_STATE_HOME", std::nullopt}, {"XDG_CONFIG_HOME", std::nullopt}};

}  // namespace

TEST(AppPaths, WritableFolderKeepsEverythingBesideTheExecutable) {
    QTemporaryDir app, elsewhere;
    CScopedEnv env({{"HOME", elsewhere.path().toStdString()},
                    {"XDG_STATE_HOME", elsewhere.path().toStdString() + "/state"},
                    {"XDG_CONFIG_HOME", elsewhere.path().toStdString() + "/config"}});
    const CAppPaths paths = CAppPaths::Choose(app.path());
    EXPECT_TRUE(paths.IsBesideExecutable());
    EXPECT_EQ(paths.LogFolder(), app.path() + QStringLiteral("/Log"));
    EXPECT_EQ(paths.VideoFolder(), app.path() + QStringLiteral("/Video"));
    EXPECT_EQ(paths.SettingsFolder(), app.path());
    // The usual case needs no word in the log.
    EXPECT_EQ(paths.Describe(), "");
}

// Root may write into /opt/quorvel and /usr/bin; an installed copy still never writes there.
TEST(AppPaths, AnInstalledCopyUsesTheUserFoldersWhoeverRunsIt) {
    QTemporaryDir home;
    auto vars = kXdgUnset;
    vars["HOME"] = home.path().toStdString();
    CScopedEnv env(vars);
    for (const char* folder : {"/opt/quorvel", "/usr/bin", "/usr/local/bin", "/opt/quorvel/"}) {
        const CAppPaths paths = CAppPaths::Choose(QString::fromLatin1(folder));
        EXPECT_FALSE(paths.IsBesideExecutable()) << folder;
        EXPECT_EQ(paths.LogFolder(), home.path() + QStringLiteral("/.local/state/quorvel/Log"))
            << folder;
        EXPECT_EQ(paths.VideoFolder(), home.path() + QStringLiteral("/Videos/Quorvel")) << folder;
        EXPECT_EQ(paths.SettingsFolder(), home.path() + QStringLiteral("/.config/quorvel"))
            << folder;
        EXPECT_EQ(paths.Describe().rfind(std::string(folder) + " is an installed copy: log " +
                                             paths.LogFolder().toStdString(),
                                         0),
                  0u)
            << paths.Describe();
    }
}

TEST(AppPaths, InstalledLocationsAreBelowOptOrUsrOnly) {
    for (const char* folder :
         {"/opt", "/opt/quorvel", "/usr/bin", "/usr/lib/quorvel", "/opt/quorvel/../other"})
        EXPECT_TRUE(CAppPaths::IsInstalledLocation(QString::fromLatin1(folder))) << folder;
    for (const char* folder : {"/optical/bin", "/usr2/bin", "/work/build/bin", "/home/u/opt",
                               "opt/quorvel", "/opt/../work/bin", ""})
        EXPECT_FALSE(CAppPaths::IsInstalledLocation(QString::fromLatin1(folder))) << folder;
}

TEST(AppPaths, ReadOnlyFolderMovesToTheXdgDefaultsOfHome) {
    CReadOnlyAppFolder installed;
    const QString& app = installed.Path();
    QTemporaryDir home;
    auto vars = kXdgUnset;
    vars["HOME"] = home.path().toStdString();
    CScopedEnv env(vars);
    std::optional<CAppPaths> paths;
    {
        CUnprivileged user;
        paths = CAppPaths::Choose(app);
    }
    EXPECT_FALSE(paths->IsBesideExecutable());
    EXPECT_EQ(paths->LogFolder(), home.path() + QStringLiteral("/.local/state/quorvel/Log"));
    EXPECT_EQ(paths->VideoFolder(), home.path() + QStringLiteral("/Videos/Quorvel"));
    EXPECT_EQ(paths->SettingsFolder(), home.path() + QStringLiteral("/.config/quorvel"));
    const std::string line = paths->Describe();
    EXPECT_NE(line.find(app.toStdString() + " is not writable (Permission denied)"),
              std::string::npos)
        << line;
    EXPECT_NE(line.find(paths->LogFolder().toStdString()), std::string::npos) << line;
    EXPECT_NE(line.find(paths->VideoFolder().toStdString()), std::string::npos) << line;
}

TEST(AppPaths, XdgVariablesAndTheUserDirsVideosEntryAreFollowed) {
    QTemporaryDir home;
    const QString config = home.path() + QStringLiteral("/cfg");
    QDir().mkpath(config);
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    dirs.close();
    const QString missingApp = home.path() + QStringLiteral("/no-such-folder");
    {
        CScopedEnv env({{"HOME", home.path().toStdString()},
                        {"XDG_STATE_HOME", home.path().toStdString() + "/st"},
                        {"XDG_CONFIG_HOME", config.toStdString()}});
        const CAppPaths paths = CAppPaths::Choose(missingApp);
        EXPECT_FALSE(paths.IsBesideExecutable());
        EXPECT_EQ(paths.LogFolder(), home.path() + QStringLiteral("/st/quorvel/Log"));
        EXPECT_EQ(paths.SettingsFolder(), config + QStringLiteral("/quorvel"));
        EXPECT_EQ(paths.VideoFolder(), home.path() + QStringLiteral("/Filme/Quorvel"));
        EXPECT_NE(paths.Describe().find("(No such file or directory)"), std::string::npos);
    }
    {
        // Relative XDG paths are invalid and ignored.
        CScopedEnv env({{"HOME", home.path().toStdString()},
                        {"XDG_STATE_HOME", "relative/state"},
                        {"XDG_CONFIG_HOME", "relative/config"}});
        const CAppPaths paths = CAppPaths::Choose(missingApp);
        EXPECT_EQ(paths.LogFolder(), home.path() + QStringLiteral("/.local/state/quorvel/Log"));
        EXPECT_EQ(paths.SettingsFolder(), home.path() + QStringLiteral("/.config/quorvel"));
        EXPECT_EQ(paths.VideoFolder(), home.path() + QStringLiteral("/Videos/Quorvel"));
    }
}

TEST(AppPaths, ParentFoldersAreMadeAndFailuresNamed) {
    QTemporaryDir home;
    const QString missingApp = home.path() + QStringLiteral("/no-such-folder");
    {
        auto vars = kXdgUnset;
        vars["HOME"] = home.path().toStdString();
        CScopedEnv env(vars);
        const CAppPaths paths = CAppPaths::Choose(missingApp);
        EXPECT_EQ(paths.CreateParentFolders(), "");
        EXPECT_TRUE(QFileInfo(home.path() + QStringLiteral("/.local/state/quorvel")).isDir());
        EXPECT_TRUE(QFileInfo(home.path() + QStringLiteral("/Videos")).isDir());
        // The leaves are left to the code that writes into them.
        EXPECT_FALSE(QFileInfo::exists(paths.LogFolder()));
        EXPECT_FALSE(QFileInfo::exists(paths.VideoFolder()));
    }
    {
        // A home that is a file: nothing can be made below it, and the reason is named.
        QFile file(home.path() + QStringLiteral("/plain-file"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        auto vars = kXdgUnset;
        vars["HOME"] = file.fileName().toStdString();
        CScopedEnv env(vars);
        const std::string error = CAppPaths::Choose(missingApp).CreateParentFolders();
        EXPECT_NE(error.find("Cannot create " + file.fileName().toStdString() +
                             "/.local/state/quorvel: Not a directory"),
                  std::string::npos)
            << error;
        EXPECT_NE(error.find("Cannot create " + file.fileName().toStdString() +
                             "/Videos: Not a directory"),
                  std::string::npos)
            << error;
    }
}

TEST(AppPaths, RunLogOfAnInstalledCopyGoesToTheStateFolder) {
    CReadOnlyAppFolder installed;
    const QString& app = installed.Path();
    QTemporaryDir home;
    auto vars = kXdgUnset;
    vars["HOME"] = OpenFolder(home).toStdString();
    CScopedEnv env(vars);
    platform::SYSTEMTIME t = testing_support::LocalTime(2025, 6, 3, 14, 5, 9);
    platform::SetLocalTimeForTesting(&t);
    {
        CUnprivileged user;
        CQuorvelApp quorvel;
        quorvel.OpenRunLog(app);
        EXPECT_TRUE(quorvel.m_log.IsOpen());
        quorvel.m_log.WriteLog("installed run");
    }
    platform::SetLocalTimeForTesting(nullptr);
    QFile log(home.path() + QStringLiteral("/.local/state/quorvel/Log/20250603_140509.txt"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), QByteArray("installed run\n"));
    EXPECT_EQ(QDir(app).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{QStringLiteral("Language")});
}
