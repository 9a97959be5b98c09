#include "dicom_test_support.h"

#include <QDir>
#include <opencv2/imgcodecs.hpp>

#include "capture/avi_mjpeg_writer.h"
#include "emulated/emulated_frame_source.h"

namespace dicom_testing {

CExamWithClip::CExamWithClip() {
    if (!m_dir.isValid() || !m_store.Open(Root()).ok()) return;
    m_store.SetSyncClipFiles(false);
    Patient patient;
    patient.patientId = "QV-0042";
    patient.name = kPatientName;
    patient.birthDate = "1970-03-04";
    patient.sex = "F";
    ExamResult<long long> patientRow = m_store.CreatePatient(patient);
    if (!patientRow.ok()) return;
    ExamResult<Visit> visit = m_store.VisitOn(patientRow.value, "2026-12-11");
    if (!visit.ok() || !QDir(m_dir.path()).mkpath("2026-12-11")) return;

    using platform::v4l2::CEmulatedFrameSource;
    CAviMjpegWriter writer;
    if (!writer.Open(Root() + "/" + kClip, 25, 640, 480)) return;
    for (int i = 0; i < kFrames; ++i) {
        std::vector<unsigned char> jpeg;
        cv::imencode(".jpg", CEmulatedFrameSource::Picture(i, 640, 480), jpeg,
                     {cv::IMWRITE_JPEG_QUALITY, 85});
        // The first frame as a camera sends it, without Huffman tables.
        if (i == 0) jpeg = CEmulatedFrameSource::WithoutHuffmanTables(jpeg);
        if (!writer.WritePacket(jpeg.data(), jpeg.size())) return;
        m_frames.push_back(std::move(jpeg));
    }
    if (!writer.Close()) return;
    if (!cv::imwrite(Root() + "/" + kSnapshot, CEmulatedFrameSource::Picture(3, 640, 480))) return;

    ClipRecord clip;
    clip.visitRow = visit.value.row;
    clip.finger = "L3";
    clip.relPath = kClip;
    clip.savedAt = "2026-12-11 10:15:00";
    clip.frameCount = kFrames;
    clip.frameRate = 12.5;
    clip.umPerPx = kUmPerPx;
    m_ok = m_store.SaveClip(clip).ok();
}

}  // namespace dicom_testing
