// The time to build and send a 30-second clip to a picture archive (an Orthanc of the bench's
// own on 127.0.0.1), and the objects' sizes against the AVI's and the PNG's. The clip is 750
// frames of 640x480 from the emulated microscope, without Huffman tables as the camera sends
// them. Asserts nothing.
#include <dcmtk/dcmdata/dcuid.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>

#include "capture/avi_mjpeg_writer.h"
#include "dicom/clip_object_builder.h"
#include "dicom/dicom_sender.h"
#include "dicom/dicom_uid.h"
#include "dicom/snapshot_object_builder.h"
#include "emulated/emulated_frame_source.h"
#include "tests/support/orthanc_server.h"

namespace {

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    using platform::v4l2::CEmulatedFrameSource;
    constexpr int kFrames = 750;
    QTemporaryDir dir;
    const std::string avi = dir.filePath("clip.avi").toStdString();
    CAviMjpegWriter writer;
    if (!writer.Open(avi, 25, 640, 480)) return 1;
    for (int i = 0; i < kFrames; ++i) {
        const auto jpeg =
            CEmulatedFrameSource::Sample(platform::v4l2::EmulatedSample::NoHuffman, i, 640, 480);
        if (!writer.WritePacket(jpeg.data(), jpeg.size())) return 1;
    }
    if (!writer.Close()) return 1;
    const std::string png = dir.filePath("snapshot.png").toStdString();
    cv::imwrite(png, CEmulatedFrameSource::Picture(3, 640, 480));

    DicomExamInfo info;
    info.patient = {0, "B-30", "Bench^Patient", "1970-05-04", "F"};
    info.visitDate = "2026-12-11";
    const std::string root = CDicomUid::NewRoot();
    info.studyUid = CDicomUid::Below(root, 1, 1);
    info.seriesUid = CDicomUid::Below(root, 2, 1);
    info.sopInstanceUid = CDicomUid::Below(root, 4, 1);
    info.finger = "R3";
    info.takenAt = "2026-12-11 10:00:00";
    info.umPerPx = 0.8;

    const std::string object = dir.filePath("clip.dcm").toStdString();
    auto start = std::chrono::steady_clock::now();
    CClipObjectBuilder builder;
    if (!builder.Build(avi, info, 24.8, object)) {
        std::fprintf(stderr, "build failed: %s\n", builder.Error().c_str());
        return 1;
    }
    const double buildMs = MsSince(start);
    const std::string snapshotObject = dir.filePath("snapshot.dcm").toStdString();
    info.seriesUid = CDicomUid::Below(root, 3, 1);
    info.sopInstanceUid = CDicomUid::Below(root, 4, 2);
    CSnapshotObjectBuilder snapshots;
    if (!snapshots.Build(png, info, snapshotObject)) return 1;

    const auto size = [](const std::string& path) {
        return QFileInfo(QString::fromStdString(path)).size();
    };
    std::printf("clip: %d frames, AVI %lld bytes, DICOM object %lld bytes (%.3f of the AVI)\n",
                builder.Frames(), size(avi), size(object),
                static_cast<double>(size(object)) / static_cast<double>(size(avi)));
    std::printf("snapshot: PNG %lld bytes, DICOM object %lld bytes\n", size(png),
                size(snapshotObject));
    std::printf("build the clip's object: %.0f ms\n", buildMs);

    archive_testing::COrthanc orthanc;
    if (!archive_testing::COrthanc::Installed() || !orthanc.Start()) {
        std::printf("send: no Orthanc to send to (make deps installs it)\n");
        return 0;
    }
    DicomArchive archive{"127.0.0.1", orthanc.DicomPort(), archive_testing::kArchiveAet,
                         "QUORVELBENCH"};
    start = std::chrono::steady_clock::now();
    const DicomSendOutcome sent =
        CDicomSender::Send(archive, object, UID_MultiframeTrueColorSecondaryCaptureImageStorage,
                           UID_JPEGProcess1TransferSyntax);
    const double sendMs = MsSince(start);
    if (!sent.stored) {
        std::fprintf(stderr, "send failed: %s\n", sent.error.c_str());
        return 1;
    }
    std::printf("send the clip's object to Orthanc on 127.0.0.1: %.0f ms\n", sendMs);
    std::printf("build and send a 30-second clip: %.0f ms\n", buildMs + sendMs);
    return 0;
}
