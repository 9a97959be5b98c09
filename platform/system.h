// Kernel and shell helpers: the executable's folder, the UI language, local time, files.
#pragma once

#include <QString>
#include <cstdint>

namespace platform {

// The folder that holds the running executable, without a trailing separator.
QString GetModuleFolder();
// Tests put the application's folder (Language/, Log/, Video/) somewhere of their own.
void SetModuleFolderForTesting(const QString& folder);

// The primary language of a POSIX locale name ("zh_TW.UTF-8", "de", "C") as a Windows primary
// language id; 0 when the locale names no language.
std::uint16_t PrimaryLanguageFromLocale(const QString& locale);
// The user's UI language from LANGUAGE, LC_ALL, LC_MESSAGES, LANG (first set wins), as a
// Windows language id whose low 10 bits are the primary language.
std::uint16_t GetUserDefaultUILanguage();

struct SYSTEMTIME {
    int wYear = 0;
    int wMonth = 0;  // 1-12
    int wDayOfWeek = 0;
    int wDay = 0;
    int wHour = 0;
    int wMinute = 0;
    int wSecond = 0;
    int wMilliseconds = 0;
};
// The local date and time now. Tests may fix the clock.
SYSTEMTIME GetLocalTime();
void SetLocalTimeForTesting(const SYSTEMTIME* fixed);  // null: the real clock again

bool PathFileExistsW(const QString& path);
bool CreateDirectoryW(const QString& path);
// Copies source over target; with failIfExists false an existing target is replaced.
bool CopyFileW(const QString& source, const QString& target, bool failIfExists);

// The file-name part of a path: the text after the last separator.
QString PathFindFileNameW(const QString& path);

// A path in the narrow encoding that OpenCV takes; empty when the locale's encoding cannot
// carry it.
std::string ToNarrowPath(const QString& path);

}  // namespace platform
