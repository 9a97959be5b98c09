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

}  // namespace platform
