#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "emulated/emulated_camera_system.h"
#include "platform/v4l2/v4l2_capture.h"
#include "tests/support/test_support.h"

using namespace platform::v4l2;

namespace {

struct Received {
    std::mutex mutex;
    std::vector<std::vector<unsigned char>> samples;
    size_t Count() {
        std::lock_guard lock(mutex);
        return samples.size();
    }
};

bool WaitFor(const std::function<bool()>& pred, int ms = testing_support::kPatienceMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

CV4l2Capture::FrameHandler Into(Received& r) {
    return [&r](const unsigned char* data, size_t size) {
        std::lock_guard lock(r.mutex);
        r.samples.emplace_back(data, data + size);
    };
}

void StartFast(CV4l2Capture& capture) {
    capture.SetFrameInterval({1, 500}, nullptr);  // 2 ms
}

}  // namespace

TEST(V4l2Capture, FormatAndIntervalAreReadBack) {
    EmulatedCameraConfig refusing = EmulatedCameraConfig::Microscope();
    refusing.refusesFormat = true;
    CEmulatedCameraSystem cameras({EmulatedCameraConfig::Microscope(), refusing});

    CV4l2Capture capture;
    ASSERT_EQ(capture.Open(cameras.NodeOf(0)), 0);
    V4l2Format chosen;
    EXPECT_TRUE(capture.SetFormat({V4L2_PIX_FMT_MJPEG, 640, 480, 0}, &chosen));
    EXPECT_EQ(chosen.fourcc, static_cast<uint32_t>(V4L2_PIX_FMT_MJPEG));
    EXPECT_EQ(chosen.width, 640u);
    EXPECT_EQ(chosen.height, 480u);
    V4l2Interval interval;
    ASSERT_TRUE(capture.SetFrameInterval({83333, 10000000}, &interval));
    EXPECT_NEAR(cameras.IntervalSeconds(0), 0.0083333, 1e-6);

    CV4l2Capture other;
    ASSERT_EQ(other.Open(cameras.NodeOf(1)), 0);
    other.SetFormat({V4L2_PIX_FMT_MJPEG, 640, 480, 0}, &chosen);
    EXPECT_EQ(chosen.width, 320u);  // what the camera kept, not what was asked
    EXPECT_EQ(chosen.height, 240u);

    EXPECT_NE(CV4l2Capture().Open("/dev/video99"), 0);
}

TEST(V4l2Capture, ACameraGrantsItsFastestRateWhenAskedForMore) {
    EmulatedCameraConfig thirty = EmulatedCameraConfig::Microscope();
    thirty.maxFramesPerSecond = 30;
    CEmulatedCameraSystem cameras({thirty});
    CV4l2Capture capture;
    ASSERT_EQ(capture.Open(cameras.NodeOf(0)), 0);
    V4l2Interval interval;
    ASSERT_TRUE(capture.SetFrameInterval({83333, 10000000}, &interval));
    EXPECT_NEAR(cameras.IntervalSeconds(0), 1.0 / 30, 1e-6);
    ASSERT_TRUE(capture.SetFrameInterval({1, 10}, &interval));  // slower is granted as asked
    EXPECT_NEAR(cameras.IntervalSeconds(0), 0.1, 1e-6);
}

TEST(V4l2Capture, DeliversEachSampleIntactFlaggedOnesTooAndSkipsEmptyBuffers) {
    EmulatedCameraConfig c = EmulatedCameraConfig::Microscope();
    c.samples = {EmulatedSample::Good, EmulatedSample::ErrorFlag, EmulatedSample::Empty,
                 EmulatedSample::Good};
    CEmulatedCameraSystem cameras({c});
    CV4l2Capture capture;
    ASSERT_EQ(capture.Open(cameras.NodeOf(0)), 0);
    StartFast(capture);
    Received got;
    ASSERT_EQ(capture.Start(Into(got)), 0);
    ASSERT_TRUE(WaitFor([&] { return got.Count() >= 6; }));
    capture.Stop();
    // Sequences 2, 6... are empty: 0, 1 (flagged), 3, 4, 5 (flagged), 7 arrive.
    const int expected[] = {0, 1, 3, 4, 5, 7};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(got.samples[static_cast<size_t>(k)], cameras.SampleBytes(0, expected[k]))
            << "sample " << k;
    }
    EXPECT_GT(got.samples[0].size(), 20000u);
    EXPECT_EQ(cameras.Maps(0), static_cast<int>(CV4l2Capture::kBufferCount));
    EXPECT_EQ(cameras.Unmaps(0), cameras.Maps(0));
    EXPECT_EQ(cameras.BadUnmaps(0), 0);
}

TEST(V4l2Capture, UnplugEndsStreamingCleanly) {
    EmulatedCameraConfig c = EmulatedCameraConfig::Microscope();
    c.unplugAfterFrames = 5;
    CEmulatedCameraSystem cameras({c});
    {
        CV4l2Capture capture;
        ASSERT_EQ(capture.Open(cameras.NodeOf(0)), 0);
        StartFast(capture);
        Received got;
        ASSERT_EQ(capture.Start(Into(got)), 0);
        ASSERT_TRUE(WaitFor([&] { return capture.StreamEnded(); }));
        capture.Stop();
        EXPECT_EQ(got.Count(), 5u);
        EXPECT_FALSE(capture.IsStreaming());
        capture.Stop();  // twice is harmless
    }
    EXPECT_EQ(cameras.Maps(0), 4);
    EXPECT_EQ(cameras.Unmaps(0), 4);
    EXPECT_EQ(cameras.BadUnmaps(0), 0);
    EXPECT_EQ(cameras.OpenFiles(), 0);
    // Gone means gone: it does not open again.
    EXPECT_EQ(CV4l2Capture().Open(cameras.NodeOf(0)), ENODEV);
}

TEST(V4l2Capture, UnplugWhileWaitingForAFrame) {
    CEmulatedCameraSystem cameras({EmulatedCameraConfig::Microscope()});
    CV4l2Capture capture;
    ASSERT_EQ(capture.Open(cameras.NodeOf(0)), 0);
    capture.SetFrameInterval({1, 50}, nullptr);
    Received got;
    ASSERT_EQ(capture.Start(Into(got)), 0);
    ASSERT_TRUE(WaitFor([&] { return got.Count() >= 1; }));
    cameras.Unplug(0);
    ASSERT_TRUE(WaitFor([&] { return capture.StreamEnded(); }));
    capture.Stop();
    EXPECT_EQ(cameras.MappedNow(0), 0);
    EXPECT_EQ(cameras.BadUnmaps(0), 0);
}

TEST(V4l2Capture, StartFailuresLeaveNothingMapped) {
    EmulatedCameraConfig oneBuffer = EmulatedCameraConfig::Microscope();
    oneBuffer.maxBuffers = 1;
    EmulatedCameraConfig refusing = EmulatedCameraConfig::Microscope();
    refusing.refusesStream = true;
    CEmulatedCameraSystem cameras({oneBuffer, refusing});
    Received got;

    CV4l2Capture a;
    ASSERT_EQ(a.Open(cameras.NodeOf(0)), 0);
    EXPECT_EQ(a.Start(Into(got)), ENOMEM);  // fewer than two buffers
    EXPECT_FALSE(a.IsStreaming());
    EXPECT_EQ(cameras.MappedNow(0), 0);

    CV4l2Capture b;
    ASSERT_EQ(b.Open(cameras.NodeOf(1)), 0);
    EXPECT_EQ(b.Start(Into(got)), EIO);
    EXPECT_FALSE(b.IsStreaming());
    EXPECT_EQ(cameras.Maps(1), 4);
    EXPECT_EQ(cameras.Unmaps(1), 4);
    EXPECT_EQ(got.Count(), 0u);
}

TEST(V4l2Capture, StopWakesTheThreadAtOnce) {
    CEmulatedCameraSystem cameras({EmulatedCameraConfig::Microscope()});
    CV4l2Capture capture;
    ASSERT_EQ(capture.Open(cameras.NodeOf(0)), 0);
    // A frame an hour: a stop that waited for the next frame would hang the test.
    capture.SetFrameInterval({3600, 1}, nullptr);
    ASSERT_EQ(cameras.IntervalSeconds(0), 3600.0);
    Received got;
    ASSERT_EQ(capture.Start(Into(got)), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the thread waits by now
    capture.Stop();
    EXPECT_EQ(got.Count(), 0u);
    EXPECT_FALSE(cameras.Streaming(0));
}
