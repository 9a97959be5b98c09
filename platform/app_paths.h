// Where the program writes: beside the executable (a build tree, an unpacked copy), in the
// user's own folders for an installed copy (the package installs into /opt/quorvel, with a link
// in /usr/bin) and wherever the executable's folder is not writable.
#pragma once

#include <QString>
#include <string>

namespace platform {

class CAppPaths {
  public:
    // Decides for the executable's folder appFolder. Reads HOME, XDG_STATE_HOME, XDG_CONFIG_HOME
    // and the videos entry of the user's user-dirs.dirs.
    static CAppPaths Choose(const QString& appFolder);
    // The places for the running executable (GetModuleFolder()).
    static CAppPaths ForModule();

    // Whether folder lies where packages install programs (below /opt or /usr), which the
    // program never writes into, whoever runs it.
    static bool IsInstalledLocation(const QString& folder);

    bool IsBesideExecutable() const { return m_besideExecutable; }
    // Log/: one log file per run.
    const QString& LogFolder() const { return m_logFolder; }
    // Video/: temp.avi and the folders of the day.
    const QString& VideoFolder() const { return m_videoFolder; }
    // The folder for a settings file of ours.
    const QString& SettingsFolder() const { return m_settingsFolder; }

    // Creates the folders that hold the log and video folders (~/.local/state/quorvel, the
    // videos folder), so that making Log/ or the video folder itself takes one level. Empty when
    // both exist afterwards, else what failed with the system's reason.
    std::string CreateParentFolders() const;
    // One line for the run's log when the files do not go beside the executable: where they
    // go and why. Empty when they do (the log then holds only its usual lines).
    std::string Describe() const;

  private:
    CAppPaths() = default;

    bool m_besideExecutable = true;
    bool m_installed = false;
    QString m_appFolder;
    QString m_notWritableReason;  // strerror text of the failed write check
    QString m_logFolder;
    QString m_videoFolder;
    QString m_settingsFolder;
};

}  // namespace platform
