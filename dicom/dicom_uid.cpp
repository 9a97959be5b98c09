#include "dicom/dicom_uid.h"

#include <QUuid>
#include <algorithm>

std::string CDicomUid::NewRoot() {
    const QByteArray bytes = QUuid::createUuid().toRfc4122();
    unsigned __int128 value = 0;
    for (const char byte : bytes) value = (value << 8) | static_cast<unsigned char>(byte);
    std::string digits;
    do {
        digits.push_back(static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    std::reverse(digits.begin(), digits.end());
    return "2.25." + digits;
}

std::string CDicomUid::Below(const std::string& root, int part, long long number) {
    const std::string uid = root + "." + std::to_string(part) + "." + std::to_string(number);
    return IsValid(uid) ? uid : std::string();
}

bool CDicomUid::IsValid(const std::string& uid) {
    if (uid.empty() || uid.size() > kMaxLength) return false;
    size_t start = 0;
    while (start <= uid.size()) {
        const size_t end = std::min(uid.find('.', start), uid.size());
        const std::string part = uid.substr(start, end - start);
        if (part.empty() ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        if (part.size() > 1 && part[0] == '0') return false;
        start = end + 1;
    }
    return true;
}
