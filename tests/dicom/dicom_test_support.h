// For the DICOM tests: a video folder with an exam whose clip and snapshot are written here.
#pragma once

#include <QTemporaryDir>
#include <string>
#include <vector>

#include "exam/exam_store.h"
#include "tests/support/orthanc_server.h"

namespace dicom_testing {

using archive_testing::COrthanc;
using archive_testing::FreePort;
using archive_testing::kArchiveAet;
using archive_testing::kOrthancBinary;

// A video folder with an open store: patient 山田^花子, a visit on 2026-12-11 and clip
// 2026-12-11/101500.avi of finger L3 (calibrated, 12.5 real frames per second) whose first frame
// has no Huffman tables, and a snapshot 2026-12-11/101500_000003.png beside it.
class CExamWithClip {
  public:
    static constexpr const char* kClip = "2026-12-11/101500.avi";
    static constexpr const char* kSnapshot = "2026-12-11/101500_000003.png";
    static constexpr const char* kPatientName = "山田^花子";
    static constexpr double kUmPerPx = 2.5;
    static constexpr int kFrames = 8;

    CExamWithClip();
    bool ok() const { return m_ok; }
    CExamStore& Store() { return m_store; }
    std::string Root() const { return m_dir.path().toStdString(); }
    // The clip's frames as they lie in the AVI.
    const std::vector<std::vector<unsigned char>>& Frames() const { return m_frames; }

  private:
    QTemporaryDir m_dir;
    CExamStore m_store;
    std::vector<std::vector<unsigned char>> m_frames;
    bool m_ok = false;
};

}  // namespace dicom_testing
