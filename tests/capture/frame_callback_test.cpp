#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <thread>

#include "capture/jpeg_sample.h"
#include "capture/sample_grabber_cb_impl.h"
#include "emulated/emulated_frame_source.h"
#include "platform/system.h"
#include "tests/capture/capture_test_window.h"
#include "tests/support/test_support.h"

using platform::v4l2::CEmulatedFrameSource;
using platform::v4l2::EmulatedSample;
using testing_support::WaitUntil;

namespace {

std::vector<BYTE> Jpeg(EmulatedSample kind, int index = 0, int w = 640, int h = 480) {
    return CEmulatedFrameSource::Sample(kind, index, w, h);
}

class FrameCallback : public ::testing::Test {
  protected:
    void SetUp() override {
        m_log = TestLogPath();
        m_time = testing_support::LocalTime(2025, 3, 5, 9, 4, 3);
        platform::SetLocalTimeForTesting(&m_time);
        m_window.Create();
    }
    void TearDown() override {
        platform::SetLocalTimeForTesting(nullptr);
        EXPECT_EQ(FrameMessage::LiveCount(), 0);
    }
    // Same thread as the window: the send runs the handler at once.
    void Feed(std::vector<BYTE> bytes) {
        EXPECT_EQ(m_callback.BufferCB(0.0, bytes.data(), static_cast<long>(bytes.size())), S_OK);
    }
    std::string ClipPath() const { return (m_dir.path() + "/temp.avi").toStdString(); }

    std::string m_log;
    platform::SYSTEMTIME m_time;
    QTemporaryDir m_dir;
    CTestCaptureWindow m_window;
    SampleGrabberCBImpl m_callback{&m_window};
};

}  // namespace

TEST(FrameCallbackUnknown, QueryInterfaceAndFixedCounts) {
    SampleGrabberCBImpl cb;
    void* out = nullptr;
    EXPECT_EQ(cb.QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<ISampleGrabberCB*>(&cb));
    out = nullptr;
    EXPECT_EQ(cb.QueryInterface(IID_ISampleGrabberCB, &out), S_OK);
    EXPECT_EQ(out, static_cast<ISampleGrabberCB*>(&cb));
    void* untouched = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(cb.QueryInterface(IID_IBaseFilter, &untouched), E_NOINTERFACE);
    EXPECT_EQ(untouched, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(cb.AddRef(), 2u);
    EXPECT_EQ(cb.AddRef(), 2u);
    EXPECT_EQ(cb.Release(), 1u);
    EXPECT_EQ(cb.SampleCB(0.0, nullptr), S_OK);
}

TEST_F(FrameCallback, StampIsDrawnAtTenThirtyInBlack) {
    EXPECT_EQ(SampleGrabberCBImpl::FormatTimeStamp(m_time), "20250305 09:04:03");
    std::vector<BYTE> bytes = Jpeg(EmulatedSample::Good, 3);
    Feed(bytes);
    ASSERT_EQ(m_window.m_frames.load(), 1);
    EXPECT_EQ(m_window.m_lastTarget, 1006);

    cv::Mat expected = cv::imdecode(bytes, cv::IMREAD_ANYCOLOR);
    const cv::Mat plain = expected.clone();
    cv::putText(expected, "20250305 09:04:03", {10, 30}, cv::FONT_HERSHEY_SIMPLEX, 0.6,
                cv::Scalar(0, 0, 0, 0), 1, cv::LINE_8, false);
    const cv::Mat& got = m_window.m_lastFrame;
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0.0);
    // Text pixels: black, above the baseline at y = 30, starting near x = 10.
    int black = 0, belowBaseline = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 250; ++x) {
            if (got.at<cv::Vec3b>(y, x) == cv::Vec3b(0, 0, 0) &&
                plain.at<cv::Vec3b>(y, x) != cv::Vec3b(0, 0, 0)) {
                ++black;
                if (y > 31) ++belowBaseline;
                EXPECT_GE(x, 9);
            }
        }
    EXPECT_GT(black, 150);
    EXPECT_EQ(belowBaseline, 0);
    // Outside the stamp nothing changed.
    EXPECT_EQ(
        cv::norm(got(cv::Rect(0, 40, 640, 440)), plain(cv::Rect(0, 40, 640, 440)), cv::NORM_INF),
        0.0);
}

TEST_F(FrameCallback, LogsTwoLinesPerShownFrameAndOneForDropped) {
    const int buffers = CountLogLines(m_log, "BufferCB..call ");
    const int posts = CountLogLines(m_log, "PostMessage..call ");
    Feed(Jpeg(EmulatedSample::Good));
    Feed(Jpeg(EmulatedSample::Truncated));
    EXPECT_EQ(CountLogLines(m_log, "BufferCB..call "), buffers + 2);
    EXPECT_EQ(CountLogLines(m_log, "PostMessage..call "), posts + 1);
}

TEST_F(FrameCallback, RecordsExactlyTheFlaggedFramesAndClosesAtTheNextOne) {
    ASSERT_TRUE(m_window.StartRecording(ClipPath()));
    for (int i = 0; i < 5; ++i) Feed(Jpeg(EmulatedSample::Good, i));
    m_window.m_recorder.Stop();
    EXPECT_TRUE(m_window.WriterOpen());  // no frame yet since the stop: still open
    Feed(Jpeg(EmulatedSample::Good, 5));
    EXPECT_FALSE(m_window.WriterOpen());
    Feed(Jpeg(EmulatedSample::Good, 6));
    EXPECT_EQ(m_window.m_frames.load(), 7);
    EXPECT_EQ(CountClipFrames(ClipPath()), 5);
}

TEST_F(FrameCallback, CorruptSamplesAreDroppedGreyBecomesColour) {
    ASSERT_TRUE(m_window.StartRecording(ClipPath()));
    Feed(Jpeg(EmulatedSample::Truncated));
    Feed(Jpeg(EmulatedSample::Garbage));
    Feed({});
    EXPECT_EQ(m_callback.BufferCB(0.0, nullptr, 0), S_OK);
    std::vector<BYTE> tiny = {0xFF, 0xD8, 0xFF, 0xD9};
    Feed(tiny);
    EXPECT_EQ(m_window.m_frames.load(), 0);

    Feed(Jpeg(EmulatedSample::Grey));
    ASSERT_EQ(m_window.m_frames.load(), 1);
    EXPECT_EQ(m_window.m_lastFrame.type(), CV_8UC3);
    EXPECT_EQ(m_window.m_lastFrame.cols, 640);
    // Another size is brought to 640x480, shown and recorded.
    Feed(Jpeg(EmulatedSample::Good, 0, 320, 240));
    ASSERT_EQ(m_window.m_frames.load(), 2);
    EXPECT_EQ(m_window.m_lastFrame.size(), cv::Size(640, 480));
    m_window.m_recorder.Stop();
    Feed(Jpeg(EmulatedSample::Good));
    EXPECT_EQ(CountClipFrames(ClipPath()), 2);
    EXPECT_EQ(m_callback.UndecodedFrames().Total(), 5);
}

TEST_F(FrameCallback, PaddedJpegIsWhole) {
    std::vector<BYTE> bytes = Jpeg(EmulatedSample::Good);
    const long whole = static_cast<long>(bytes.size());
    EXPECT_EQ(JpegSampleLength(bytes.data(), whole), whole);
    bytes.insert(bytes.end(), 64, 0x00);  // cameras pad their buffers
    EXPECT_EQ(JpegSampleLength(bytes.data(), static_cast<long>(bytes.size())), whole);
    bytes.resize(bytes.size() - 70);
    EXPECT_EQ(JpegSampleLength(bytes.data(), static_cast<long>(bytes.size())), 0);
}

TEST_F(FrameCallback, NoWindowHandleNothingSentNothingWritten) {
    ASSERT_TRUE(m_window.StartRecording(ClipPath()));
    m_window.Destroy();
    Feed(Jpeg(EmulatedSample::Good));
    EXPECT_EQ(m_window.m_frames.load(), 0);
    EXPECT_TRUE(m_window.WriterOpen());
    m_window.m_recorder.Stop();
    EXPECT_TRUE(m_window.m_recorder.Finish());
    EXPECT_EQ(m_window.m_recorder.FramesWritten(), 0);

    SampleGrabberCBImpl orphan(nullptr);
    std::vector<BYTE> bytes = Jpeg(EmulatedSample::Good);
    EXPECT_EQ(orphan.BufferCB(0.0, bytes.data(), static_cast<long>(bytes.size())), S_OK);
}

// The recorder's lock is never held across the send: a frame is drawn while the window's
// thread holds it, and the clip the window opens meanwhile is written, not closed.
TEST_F(FrameCallback, RecorderLockExcludesOpenAndCloseButNotTheSend) {
    std::atomic<bool> done{false};
    std::vector<BYTE> bytes = Jpeg(EmulatedSample::Good);
    std::thread camera;
    // Open on the window's thread while the camera thread is inside its send.
    m_window.m_onFrame = [&] { EXPECT_TRUE(m_window.StartRecording(ClipPath())); };
    camera = std::thread([&] {
        m_callback.BufferCB(0.0, bytes.data(), static_cast<long>(bytes.size()));
        done = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    camera.join();
    m_window.m_onFrame = nullptr;
    EXPECT_TRUE(m_window.WriterOpen());  // written, not closed
    EXPECT_EQ(m_window.m_recorder.FramesWritten(), 1);
    m_window.m_recorder.Stop();
    Feed(Jpeg(EmulatedSample::Good, 1));
    EXPECT_FALSE(m_window.WriterOpen());
    EXPECT_EQ(CountClipFrames(ClipPath()), 1);
}
