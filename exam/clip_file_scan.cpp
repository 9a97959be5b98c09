#include "exam/clip_file_scan.h"

#include <algorithm>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

bool CClipFileScan::IsDayFolderName(const std::string& name) {
    static const std::regex day(R"(\d{4}-\d{2}-\d{2})");
    return std::regex_match(name, day);
}

bool CClipFileScan::IsClipFileName(const std::string& name) {
    static const std::regex clip(R"(\d{6}(_\d+)?\.avi)");
    return std::regex_match(name, clip);
}

std::vector<std::string> CClipFileScan::List(const std::string& root) {
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator day(root, ec), end; !ec && day != end; day.increment(ec)) {
        const std::string dayName = day->path().filename().string();
        std::error_code typeEc;
        if (!IsDayFolderName(dayName) || !day->is_directory(typeEc)) continue;
        std::error_code inner;
        for (fs::directory_iterator file(day->path(), inner), fileEnd; !inner && file != fileEnd;
             file.increment(inner)) {
            const std::string name = file->path().filename().string();
            if (IsClipFileName(name) && file->is_regular_file(typeEc))
                found.push_back(dayName + "/" + name);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}
