// A snapshot (a PNG of one frame) as a VL Photographic Image: one frame of RGB, uncompressed,
// so the pixels arrive as the PNG holds them.
#pragma once

#include <string>

#include "dicom/dicom_exam_info.h"

class CSnapshotObjectBuilder {
  public:
    // Writes the object of the picture at pngPath to outPath (owner-only; its folder should be
    // too); false, with Error(), when the picture cannot be read.
    bool Build(const std::string& pngPath, const DicomExamInfo& info, const std::string& outPath);
    const std::string& Error() const { return m_error; }

  private:
    std::string m_error;
};
