// The saved clips under the video folder, as the save names them: YYYY-MM-DD/HHMMSS.avi, or
// HHMMSS_N.avi for a second clip saved in the same second.
#pragma once

#include <string>
#include <vector>

class CClipFileScan {
  public:
    // Paths relative to root, with '/', in name order. Unreadable folders are passed over.
    static std::vector<std::string> List(const std::string& root);
    static bool IsDayFolderName(const std::string& name);
    static bool IsClipFileName(const std::string& name);
};
