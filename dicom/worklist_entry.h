// One scheduled procedure step from the hospital's modality worklist, its texts in UTF-8.
#pragma once

#include <string>

struct WorklistEntry {
    std::string patientId;
    // The ideographic form of the name when the entry has one, else the alphabetic, else the
    // phonetic; family name first, its parts joined by spaces.
    std::string patientName;
    std::string birthDate;  // YYYY-MM-DD, or empty when missing or not a date
    std::string sex;        // "F", "M", "O", or empty
    std::string accessionNumber;
    // The requested procedure's description, else the scheduled step's.
    std::string requestedProcedure;
    std::string modality;
    std::string scheduledTime;  // HH:MM, or empty
};
