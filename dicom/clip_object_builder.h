// A clip as one Multi-frame True Color Secondary Capture object in JPEG Baseline: each of the
// AVI's JPEG pictures is one fragment, as the camera and the recorder coded it (standard Huffman
// tables inserted where a frame has none), never decoded and coded again.
#pragma once

#include <optional>
#include <string>

#include "dicom/dicom_exam_info.h"

class CClipObjectBuilder {
  public:
    // Writes the object of the clip at aviPath to outPath (owner-only; its folder should be too).
    // realRate is the rate the frames were filmed at; the file's declared rate stands in without
    // it. False, with Error(), when the clip cannot be read or is no 8-bit three-component baseline
    // JPEG video.
    bool Build(const std::string& aviPath, const DicomExamInfo& info,
               std::optional<double> realRate, const std::string& outPath);
    const std::string& Error() const { return m_error; }
    int Frames() const { return m_frames; }

  private:
    std::string m_error;
    int m_frames = 0;
};
