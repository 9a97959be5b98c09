// DICOM UIDs of our own: a root under 2.25 (the UUID-derived arc, which needs no registration)
// made once from a random UUID and kept, with each object's UID a number below it.
#pragma once

#include <string>

class CDicomUid {
  public:
    // DICOM's limit on a UID's length.
    static constexpr size_t kMaxLength = 64;

    // "2.25." and a fresh random UUID as one decimal number.
    static std::string NewRoot();
    // root.part.number, or empty when that would be longer than a UID may be.
    static std::string Below(const std::string& root, int part, long long number);
    // Digits and single dots, no leading zero in a component, at most kMaxLength.
    static bool IsValid(const std::string& uid);
};
