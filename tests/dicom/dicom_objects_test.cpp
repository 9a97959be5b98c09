// The objects as they are written: the clip's frames carried over byte for byte (tables added
// where a frame had none), UIDs, and dciodvfy's verdict on both kinds of object.
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "dicom/clip_object_builder.h"
#include "dicom/dicom_uid.h"
#include "dicom/jpeg_huffman_tables.h"
#include "dicom/snapshot_object_builder.h"
#include "dicom_test_support.h"
#include "emulated/emulated_frame_source.h"

using dicom_testing::CExamWithClip;

namespace {

DicomExamInfo Info(CExamWithClip& exam) {
    DicomExamInfo info;
    info.patient = exam.Store().SearchPatients("QV-0042").value.at(0);
    info.visitDate = "2026-12-11";
    const std::string root = CDicomUid::NewRoot();
    info.studyUid = CDicomUid::Below(root, 1, 1);
    info.seriesUid = CDicomUid::Below(root, 2, 1);
    info.sopInstanceUid = CDicomUid::Below(root, 4, 1);
    info.finger = "L3";
    info.takenAt = "2026-12-11 10:15:00";
    info.umPerPx = CExamWithClip::kUmPerPx;
    info.stationName = "test";
    return info;
}

// dciodvfy's lines that report an error.
std::string VerifierErrors(const std::string& file) {
    QProcess verifier;
    verifier.setProcessChannelMode(QProcess::MergedChannels);
    verifier.start(QStringLiteral("dciodvfy"), {QString::fromStdString(file)});
    if (!verifier.waitForFinished(60000)) return "dciodvfy did not finish";
    std::string errors;
    for (const QByteArray& line : verifier.readAll().split('\n'))
        if (line.startsWith("Error")) errors += line.toStdString() + "\n";
    return errors;
}

}  // namespace

TEST(JpegHuffmanTablesTest, StrippedFrameGetsTheStandardTablesAndDecodesAsBefore) {
    using platform::v4l2::CEmulatedFrameSource;
    std::vector<unsigned char> whole;
    cv::imencode(".jpg", CEmulatedFrameSource::Picture(0, 320, 240), whole);
    const std::vector<unsigned char> bare = CEmulatedFrameSource::WithoutHuffmanTables(whole);
    ASSERT_TRUE(CJpegHuffmanTables::HasTables(whole));
    ASSERT_FALSE(CJpegHuffmanTables::HasTables(bare));

    const std::vector<unsigned char> mended = CJpegHuffmanTables::WithTables(bare);
    EXPECT_TRUE(CJpegHuffmanTables::HasTables(mended));
    EXPECT_EQ(mended.size(), bare.size() + CJpegHuffmanTables::StandardSegment().size());
    // The coded scan is untouched: the tail after the inserted segment is the frame's own.
    EXPECT_TRUE(std::equal(bare.end() - 1000, bare.end(), mended.end() - 1000));
    // OpenCV's encoder writes the standard tables, so the pixels come out identical.
    const cv::Mat expected = cv::imdecode(whole, cv::IMREAD_COLOR);
    const cv::Mat got = cv::imdecode(mended, cv::IMREAD_COLOR);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(cv::norm(expected, got, cv::NORM_INF), 0.0);
    // A frame that has tables is left as it is; junk gives nothing.
    EXPECT_EQ(CJpegHuffmanTables::WithTables(whole), whole);
    EXPECT_TRUE(CJpegHuffmanTables::WithTables({0xFF, 0xD8, 0x00, 0x01, 0x02}).empty());
    EXPECT_TRUE(CJpegHuffmanTables::WithTables({}).empty());
}

TEST(DicomUidTest, RootIsUuidDerivedAndChildrenStayValid) {
    const std::string a = CDicomUid::NewRoot(), b = CDicomUid::NewRoot();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind("2.25.", 0), 0u);
    EXPECT_TRUE(CDicomUid::IsValid(a)) << a;
    const std::string child = CDicomUid::Below(a, 4, 9999999999LL);
    EXPECT_TRUE(CDicomUid::IsValid(child)) << child;
    EXPECT_FALSE(CDicomUid::IsValid("1.02.3"));
    EXPECT_FALSE(CDicomUid::IsValid("1..3"));
    EXPECT_FALSE(CDicomUid::IsValid(std::string(65, '1')));
    EXPECT_TRUE(CDicomUid::Below(std::string(60, '1'), 4, 1234).empty());
}

TEST(ClipObjectTest, FramesAreTheClipsOwnAndTheObjectVerifies) {
    CExamWithClip exam;
    ASSERT_TRUE(exam.ok());
    QTemporaryDir out;
    const std::string path = out.filePath("clip.dcm").toStdString();
    CClipObjectBuilder builder;
    ASSERT_TRUE(builder.Build(exam.Root() + "/" + CExamWithClip::kClip, Info(exam), 12.5, path))
        << builder.Error();

    DcmFileFormat file;
    ASSERT_TRUE(file.loadFile(path.c_str()).good());
    DcmDataset* d = file.getDataset();
    EXPECT_EQ(d->getOriginalXfer(), EXS_JPEGProcess1);
    OFString text;
    d->findAndGetOFString(DCM_NumberOfFrames, text);
    EXPECT_EQ(text, OFString(std::to_string(CExamWithClip::kFrames).c_str()));
    d->findAndGetOFString(DCM_FrameTime, text);
    EXPECT_EQ(text, "80");  // 12.5 frames per second as filmed, not the file's 25
    d->findAndGetOFStringArray(DCM_PixelSpacing, text);
    EXPECT_EQ(text, "0.0025\\0.0025");

    DcmElement* element = nullptr;
    ASSERT_TRUE(d->findAndGetElement(DCM_PixelData, element).good());
    DcmPixelSequence* fragments = nullptr;
    ASSERT_TRUE(static_cast<DcmPixelData*>(element)
                    ->getEncapsulatedRepresentation(EXS_JPEGProcess1, nullptr, fragments)
                    .good());
    ASSERT_EQ(fragments->card(), static_cast<unsigned long>(CExamWithClip::kFrames + 1));
    for (int i = 0; i < CExamWithClip::kFrames; ++i) {
        DcmPixelItem* item = nullptr;
        ASSERT_TRUE(fragments->getItem(item, static_cast<unsigned long>(i + 1)).good());
        Uint8* bytes = nullptr;
        item->getUint8Array(bytes);
        const std::vector<unsigned char> fragment(bytes, bytes + item->getLength());
        std::vector<unsigned char> expected = CJpegHuffmanTables::WithTables(exam.Frames()[i]);
        if (expected.size() % 2) expected.push_back(0);
        EXPECT_EQ(fragment, expected) << "frame " << i;
    }
    EXPECT_EQ(VerifierErrors(path), "");
}

TEST(SnapshotObjectTest, PixelsAreThePngsAndTheObjectVerifies) {
    CExamWithClip exam;
    ASSERT_TRUE(exam.ok());
    QTemporaryDir out;
    const std::string path = out.filePath("snapshot.dcm").toStdString();
    CSnapshotObjectBuilder builder;
    const std::string png = exam.Root() + "/" + CExamWithClip::kSnapshot;
    ASSERT_TRUE(builder.Build(png, Info(exam), path)) << builder.Error();

    DcmFileFormat file;
    ASSERT_TRUE(file.loadFile(path.c_str()).good());
    const Uint8* pixels = nullptr;
    unsigned long count = 0;
    ASSERT_TRUE(file.getDataset()->findAndGetUint8Array(DCM_PixelData, pixels, &count).good());
    const cv::Mat bgr = cv::imread(png, cv::IMREAD_COLOR);
    ASSERT_GE(count, bgr.total() * 3);
    const cv::Mat rgb(bgr.rows, bgr.cols, CV_8UC3, const_cast<Uint8*>(pixels));
    cv::Mat back;
    cv::cvtColor(rgb, back, cv::COLOR_RGB2BGR);
    EXPECT_EQ(cv::norm(bgr, back, cv::NORM_INF), 0.0);
    EXPECT_EQ(VerifierErrors(path), "");

    // A picture that is not there is refused, and nothing is written.
    QTemporaryDir none;
    EXPECT_FALSE(builder.Build(none.filePath("missing.png").toStdString(), Info(exam),
                               none.filePath("x.dcm").toStdString()));
    EXPECT_FALSE(QFile::exists(none.filePath("x.dcm")));
}
