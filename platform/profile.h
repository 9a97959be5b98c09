// INI ("profile") files read with the Windows profile-string rules.
#pragma once

#include <QString>

namespace platform {

// Reads key of section from file into a buffer of bufferSize characters: the result is cut to
// bufferSize - 1 characters. Section and key match without regard to case; the value is trimmed
// and stripped of one pair of enclosing quotes; any miss gives defaultValue. The file may be
// UTF-8 (with or without BOM) or UTF-16LE with BOM.
QString GetPrivateProfileStringW(const QString& section, const QString& key,
                                 const QString& defaultValue, int bufferSize, const QString& file);

// Sets key of section in file to value, creating the file, the section or the key as needed and
// keeping every other line. The new file replaces the old one whole, so a failed write leaves the
// old one as it was. 0, or the errno of what failed.
int WritePrivateProfileStringW(const QString& section, const QString& key, const QString& value,
                               const QString& file);

}  // namespace platform
