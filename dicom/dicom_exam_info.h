// What an object tells of its exam: the patient, the study (one per visit), the series, the
// instance and where and when it was taken.
#pragma once

#include <optional>
#include <string>

#include "exam/exam_types.h"

struct DicomExamInfo {
    Patient patient;
    std::string visitDate;  // YYYY-MM-DD
    std::string accessionNumber;
    std::string studyId;  // the visit's number
    std::string studyUid;
    std::string seriesUid;
    std::string sopInstanceUid;
    int seriesNumber = 1;
    int instanceNumber = 1;
    std::string finger;   // R1..R5, L1..L5
    std::string takenAt;  // local time, YYYY-MM-DD HH:MM:SS
    std::optional<double> umPerPx;
    std::string stationName;
};
