// The modules every object of ours shares: patient, study, series, equipment, the finger, the
// time it was taken and the SOP common module, in UTF-8 (ISO_IR 192).
#pragma once

#include <dcmtk/dcmdata/dcxfer.h>

#include <string>

#include "dicom/dicom_exam_info.h"

class DcmFileFormat;
class DcmItem;

class CExamModules {
  public:
    // Fills them in; false, with *error, when the exam is not enough for an object (no patient
    // ID, a bad date, an unknown finger, a UID missing).
    static bool Fill(DcmItem& dataset, const DicomExamInfo& info, const char* sopClassUid,
                     std::string* error);
    // Image Pixel of 8-bit colour samples, interleaved, whose history holds JPEG coding (the
    // camera's); false when DCMTK refused a value.
    static bool FillColourPixels(DcmItem& dataset, int rows, int columns, const char* photometric);
    // The spacing of one pixel in mm, with how it was calibrated where the object's definition
    // has room for that; nothing without a calibration.
    static void FillPixelSpacing(DcmItem& dataset, const DicomExamInfo& info, bool withCalibration);
    // Writes the object to path, owner-only; false with *error when it could not.
    static bool Save(DcmFileFormat& file, const std::string& path, E_TransferSyntax syntax,
                     std::string* error);
    // YYYY-MM-DD to YYYYMMDD; empty for anything else.
    static std::string DicomDate(const std::string& date);
    // YYYY-MM-DD HH:MM:SS to HHMMSS; empty for anything else.
    static std::string DicomTime(const std::string& dateTime);
};
