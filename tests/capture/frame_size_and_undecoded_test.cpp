// Samples a strange camera sends: pictures of another size than the clip's, junk before the start
// marker, JPEGs the decoder cannot take (CMYK, 12-bit). Every picture reaches the window and the
// clip at 640x480; whatever does not decode is counted in the log, at most once a minute.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "capture/jpeg_codec.h"
#include "capture/jpeg_sample.h"
#include "capture/sample_grabber_cb_impl.h"
#include "capture/undecoded_frame_log.h"
#include "emulated/emulated_frame_source.h"
#include "tests/capture/capture_test_window.h"

using platform::v4l2::CEmulatedFrameSource;
using platform::v4l2::EmulatedSample;

namespace {

std::vector<BYTE> Good(int index, int w = 640, int h = 480) {
    return CEmulatedFrameSource::Sample(EmulatedSample::Good, index, w, h);
}

// Lines of the log that start with prefix.
int CountLinesStartingWith(const std::string& path, const std::string& prefix) {
    std::ifstream in(path);
    std::string line;
    int n = 0;
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) ++n;
    return n;
}

// A four-channel (CMYK) JPEG of the picture, as print software writes them.
std::vector<BYTE> CmykJpeg(int w, int h) {
    cv::Mat cmyk(h, w, CV_8UC4, cv::Scalar(10, 200, 120, 30));
    tjhandle encoder = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(encoder, cmyk.data, w, static_cast<int>(cmyk.step), h, TJPF_CMYK,
                               &out, &size, TJSAMP_444, 90, 0);
    std::vector<BYTE> bytes;
    if (rc == 0) bytes.assign(out, out + size);
    tjFree(out);
    tjDestroy(encoder);
    return bytes;
}

// A good JPEG whose frame header claims 12 bits a sample.
std::vector<BYTE> TwelveBitJpeg() {
    std::vector<BYTE> bytes = Good(1);
    for (size_t i = 0; i + 4 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 4] = 12;  // after the marker and the segment's two length bytes
            return bytes;
        }
    }
    return {};
}

const std::string kLine = "camera frames not decoded: ";

class FakeClock {
  public:
    CUndecodedFrameLog::Clock Clock() {
        return [this] { return m_now; };
    }
    void Advance(std::chrono::seconds s) { m_now += s; }

  private:
    std::chrono::steady_clock::time_point m_now{std::chrono::hours(1000)};
};

class FrameSize : public ::testing::Test {
  protected:
    void SetUp() override {
        m_log = TestLogPath();
        m_window.Create();
    }
    void Feed(std::vector<BYTE> bytes) {
        EXPECT_EQ(m_callback.BufferCB(0.0, bytes.data(), static_cast<long>(bytes.size())), S_OK);
    }
    std::string ClipPath() const { return (m_dir.path() + "/temp.avi").toStdString(); }

    std::string m_log;
    QTemporaryDir m_dir;
    CTestCaptureWindow m_window;
    SampleGrabberCBImpl m_callback{&m_window};
};

}  // namespace

// Smaller and larger pictures are shown and recorded at 640x480, stretched like the live picture.
TEST_F(FrameSize, OtherSizesAreShownAndRecordedAt640x480) {
    ASSERT_TRUE(m_window.StartRecording(ClipPath()));
    const struct {
        int w, h;
    } sizes[] = {{320, 240}, {1280, 960}, {800, 600}, {1920, 1080}, {640, 480}};
    for (const auto& s : sizes) {
        Feed(Good(2, s.w, s.h));
        ASSERT_EQ(m_window.m_lastFrame.size(), cv::Size(640, 480)) << s.w << "x" << s.h;
        // The picture itself, brought to 640x480, below the stamp.
        cv::Mat expected = CEmulatedFrameSource::Picture(2, s.w, s.h);
        cv::resize(expected, expected, cv::Size(640, 480), 0, 0, cv::INTER_AREA);
        const cv::Rect below(0, 60, 640, 420);
        EXPECT_GT(cv::PSNR(m_window.m_lastFrame(below), expected(below)), 24.0)
            << s.w << "x" << s.h;
    }
    m_window.m_recorder.Stop();
    Feed(Good(3));  // closes the clip
    EXPECT_EQ(m_window.m_recorder.FramesWritten(), 5);
    cv::VideoCapture reader(ClipPath());
    ASSERT_TRUE(reader.isOpened());
    cv::Mat frame;
    int frames = 0;
    while (reader.read(frame)) {
        EXPECT_EQ(frame.size(), cv::Size(640, 480));
        ++frames;
    }
    EXPECT_EQ(frames, 5);
}

// The camera's own size is decoded as it is: the decoder fills the very buffer that is sent.
TEST(FrameSizeDecode, ReducedDecodeOnlyForPicturesLargeEnough) {
    CJpegCodec codec;
    const std::vector<BYTE> large = Good(0, 1280, 960);
    cv::Mat image;
    ASSERT_TRUE(codec.Decode(large.data(), large.size(), image, cv::Size(640, 480)));
    EXPECT_EQ(image.size(), cv::Size(640, 480));  // 1/2 of the full picture
    ASSERT_TRUE(codec.Decode(large.data(), large.size(), image, cv::Size(700, 480)));
    EXPECT_GE(image.cols, 700);
    EXPECT_LE(image.cols, 1280);
    ASSERT_TRUE(codec.Decode(large.data(), large.size(), image));
    EXPECT_EQ(image.size(), cv::Size(1280, 960));
    const std::vector<BYTE> small = Good(0, 320, 240);
    ASSERT_TRUE(codec.Decode(small.data(), small.size(), image, cv::Size(640, 480)));
    EXPECT_EQ(image.size(), cv::Size(320, 240));
}

TEST(JpegStart, JunkBeforeTheStartMarkerIsSkipped) {
    SampleGrabberCBImpl cb;
    const std::vector<BYTE> clean = Good(5);
    const cv::Mat expected = cb.DecodeSample(clean.data(), static_cast<long>(clean.size()));
    ASSERT_FALSE(expected.empty());
    for (const size_t junk : {size_t{1}, size_t{7}, size_t{40}, size_t{61}}) {
        std::vector<BYTE> bytes(junk, 0x00);
        // A lone FF D8 in the junk is no picture's start.
        if (junk > 4) bytes[1] = 0xFF, bytes[2] = 0xD8, bytes[3] = 0x12;
        bytes.insert(bytes.end(), clean.begin(), clean.end());
        EXPECT_EQ(JpegSampleStart(bytes.data(), static_cast<long>(bytes.size())),
                  static_cast<long>(junk));
        const cv::Mat got = cb.DecodeSample(bytes.data(), static_cast<long>(bytes.size()));
        ASSERT_FALSE(got.empty()) << junk << " junk bytes";
        EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0.0) << junk << " junk bytes";
    }
    // Beyond the first bytes a start marker no longer counts: it is no camera picture.
    std::vector<BYTE> far(kJpegStartSearchBytes, 0x00);
    far.insert(far.end(), clean.begin(), clean.end());
    EXPECT_EQ(JpegSampleStart(far.data(), static_cast<long>(far.size())), -1);
    std::string why;
    EXPECT_TRUE(cb.DecodeSample(far.data(), static_cast<long>(far.size()), &why).empty());
    EXPECT_EQ(why, "no JPEG start marker");
    EXPECT_EQ(JpegSampleStart(clean.data(), 1), -1);
    EXPECT_EQ(JpegSampleStart(nullptr, 100), -1);
}

TEST_F(FrameSize, CmykAndTwelveBitFramesAreCountedNotShown) {
    const std::vector<BYTE> cmyk = CmykJpeg(640, 480);
    ASSERT_FALSE(cmyk.empty());
    const std::vector<BYTE> twelve = TwelveBitJpeg();
    ASSERT_FALSE(twelve.empty());
    const int lines = CountLinesStartingWith(m_log, kLine);
    Feed(cmyk);
    Feed(twelve);
    Feed(twelve);
    EXPECT_EQ(m_window.m_frames.load(), 0);
    EXPECT_EQ(m_callback.UndecodedFrames().Total(), 3);
    // The first one is told at once, with the decoder's reason.
    EXPECT_EQ(CountLinesStartingWith(m_log, kLine), lines + 1);
    Feed(Good(0));
    EXPECT_EQ(m_window.m_frames.load(), 1);
    EXPECT_EQ(m_callback.UndecodedFrames().Total(), 3);
}

TEST(UndecodedFrameLog, AtMostOneLineAMinuteAndNothingLost) {
    const std::string log = TestLogPath();
    FakeClock clock;
    CUndecodedFrameLog frames(clock.Clock());
    const int lines = CountLinesStartingWith(log, kLine);
    frames.Failed("Unsupported color conversion request", 1234);
    EXPECT_EQ(CountLinesStartingWith(log, kLine), lines + 1);
    EXPECT_EQ(frames.Untold(), 0);
    // A camera sending 30 bad frames a second for 59 seconds: no further line.
    for (int s = 0; s < 59; ++s) {
        for (int i = 0; i < 30; ++i) frames.Failed("Unsupported JPEG data precision 12", 99);
        frames.Decoded();
        clock.Advance(std::chrono::seconds(1));
    }
    EXPECT_EQ(CountLinesStartingWith(log, kLine), lines + 1);
    EXPECT_EQ(frames.Untold(), 59 * 30);
    // 59 seconds on, still nothing; at the full minute the next sample, good or bad, tells
    // the count.
    frames.Decoded();
    EXPECT_EQ(CountLinesStartingWith(log, kLine), lines + 1);
    clock.Advance(std::chrono::seconds(1));
    frames.Decoded();
    EXPECT_EQ(CountLinesStartingWith(log, kLine), lines + 2);
    EXPECT_EQ(frames.Untold(), 0);
    EXPECT_EQ(frames.Total(), 1 + 59 * 30);
    // Good frames alone write nothing.
    clock.Advance(std::chrono::minutes(5));
    frames.Decoded();
    EXPECT_EQ(CountLinesStartingWith(log, kLine), lines + 2);
    // A failure long after the last line is told at once.
    frames.Failed("no JPEG start marker", 10);
    EXPECT_EQ(CountLinesStartingWith(log, kLine), lines + 3);

    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line))
        if (line.rfind(kLine, 0) == 0) last = line;
    EXPECT_EQ(last, kLine + "1 (1772 since the start); last: no JPEG start marker, 10 bytes");
}
