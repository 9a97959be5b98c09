// Samples from files standing in for a camera: a folder of JPEGs, an MJPEG AVI.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "capture/clip_recorder.h"
#include "capture/jpeg_codec.h"
#include "emulated/emulated_camera_system.h"
#include "emulated/emulated_frame_files.h"
#include "emulated/emulated_frame_source.h"

using namespace platform::v4l2;

namespace {

std::vector<unsigned char> Jpeg(int index) {
    return CEmulatedFrameSource::Sample(EmulatedSample::Good, index, 320, 240);
}

void WriteFile(const QString& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

}  // namespace

TEST(FrameFiles, FolderJpegsInNameOrderBytesUnchanged) {
    QTemporaryDir dir;
    WriteFile(dir.filePath("frame_002.jpg"), Jpeg(2));
    WriteFile(dir.filePath("frame_001.JPG"), Jpeg(1));
    WriteFile(dir.filePath("frame_003.jpeg"), Jpeg(3));
    WriteFile(dir.filePath("notes.txt"), {'h', 'i'});
    std::string error;
    const EmulatedFrames frames = CEmulatedFrameFiles::Load(dir.path().toStdString(), &error);
    ASSERT_TRUE(frames) << error;
    ASSERT_EQ(frames->size(), 3u);
    EXPECT_EQ((*frames)[0], Jpeg(1));
    EXPECT_EQ((*frames)[1], Jpeg(2));
    EXPECT_EQ((*frames)[2], Jpeg(3));

    // The emulated camera plays them in a loop.
    EmulatedCameraConfig c = EmulatedCameraConfig::Microscope();
    c.frames = frames;
    CEmulatedCameraSystem cameras({c});
    for (int k = 0; k < 7; ++k) EXPECT_EQ(cameras.SampleBytes(0, k), (*frames)[k % 3]) << k;
}

TEST(FrameFiles, MjpegAviPacketsAreTheRecordedJpegs) {
    QTemporaryDir dir;
    const std::string clip = dir.filePath("clip.avi").toStdString();
    CClipRecorder recorder;
    ASSERT_TRUE(recorder.Open(clip, 25, 640, 480));
    CJpegCodec codec;
    std::vector<cv::Mat> pictures;
    for (int i = 0; i < 5; ++i) {
        pictures.push_back(CEmulatedFrameSource::Picture(i, 640, 480));
        ASSERT_EQ(recorder.WriteOrClose(pictures.back()), CClipRecorder::WriteResult::Written);
    }
    recorder.Stop();
    ASSERT_TRUE(recorder.Finish());

    std::string error;
    const EmulatedFrames frames = CEmulatedFrameFiles::Load(clip, &error);
    ASSERT_TRUE(frames) << error;
    EXPECT_TRUE(error.empty()) << error;
    ASSERT_EQ(frames->size(), 5u);
    for (size_t i = 0; i < frames->size(); ++i) {
        const auto& bytes = (*frames)[i];
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(bytes[0], 0xFF);
        EXPECT_EQ(bytes[1], 0xD8);
        cv::Mat decoded;
        ASSERT_TRUE(codec.Decode(bytes.data(), bytes.size(), decoded));
        // Each packet is its own frame: nearer its picture than the next frame's.
        const double own = cv::norm(decoded, pictures[i], cv::NORM_L1);
        const double next = cv::norm(decoded, pictures[(i + 1) % pictures.size()], cv::NORM_L1);
        EXPECT_LT(own, 0.8 * next) << i;
    }
}

TEST(FrameFiles, NothingToPlayIsAnError) {
    QTemporaryDir dir;
    std::string error;
    EXPECT_FALSE(CEmulatedFrameFiles::Load(dir.path().toStdString(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(CEmulatedFrameFiles::Load(dir.filePath("missing.avi").toStdString(), &error));
    EXPECT_NE(error.find("missing.avi"), std::string::npos);
    WriteFile(dir.filePath("fake.avi"), {'R', 'I', 'F', 'F', 0, 0});
    EXPECT_FALSE(CEmulatedFrameFiles::Load(dir.filePath("fake.avi").toStdString(), &error));
}
