// The real capture window with the emulated camera at full speed: live pane painting and
// recording on. Prints frames per second, CPU per frame and the time from a sample's arrival
// (its dequeue from the driver) to the end of its painting, beside ffmpeg on the same frames.
// Asserts nothing.
#include <linux/videodev2.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <vector>

#include "app/quorvel_app.h"
#include "bench/ffmpeg_reference.h"
#include "capture/dscapture.h"
#include "platform/system.h"
#include "platform/v4l2/emulated_camera_system.h"
#include "platform/v4l2/emulated_frame_source.h"
#include "workstation/video_capture_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFrames = 600;

// Passes every call on to the emulated cameras and notes when each buffer was dequeued.
class CTimingSyscalls : public platform::v4l2::CV4l2Syscalls {
  public:
    explicit CTimingSyscalls(platform::v4l2::CV4l2Syscalls& inner) : m_inner(inner) {}
    int Open(const char* path, int flags) override { return m_inner.Open(path, flags); }
    int Close(int fd) override { return m_inner.Close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        const int r = m_inner.Ioctl(fd, request, arg);
        if (r == 0 && request == VIDIOC_DQBUF) {
            std::lock_guard lock(m_mutex);
            m_arrivals.push_back(Clock::now());
        }
        return r;
    }
    void* Mmap(std::size_t length, int prot, int flags, int fd, off_t offset) override {
        return m_inner.Mmap(length, prot, flags, fd, offset);
    }
    int Munmap(void* addr, std::size_t length) override { return m_inner.Munmap(addr, length); }
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
        return m_inner.Poll(fds, count, timeoutMs);
    }

    // The arrival of the oldest sample not yet painted.
    bool TakeArrival(Clock::time_point* t) {
        std::lock_guard lock(m_mutex);
        if (m_arrivals.empty()) return false;
        *t = m_arrivals.front();
        m_arrivals.pop_front();
        return true;
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_arrivals.clear();
    }

  private:
    platform::v4l2::CV4l2Syscalls& m_inner;
    std::mutex m_mutex;
    std::deque<Clock::time_point> m_arrivals;
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    platform::SetModuleFolderForTesting(dir.path());
    AfxGetApp().m_log.Open((dir.path() + "/bench.log").toStdString());
    DsCapture::SetSettleDelayForTesting(0);

    platform::v4l2::CEmulatedFrameSource::Warm();
    platform::v4l2::CEmulatedCameraSystem cameras(
        {platform::v4l2::EmulatedCameraConfig::Microscope()});
    CTimingSyscalls timing(cameras);
    platform::v4l2::InstallSyscalls(&timing);

    std::vector<double> latenciesMs;
    latenciesMs.reserve(kFrames);
    bool measuring = false;
    int painted = 0;
    {
        CVideoCaptureDlg dlg;
        dlg.m_livePane.SetPaintedHook([&] {
            Clock::time_point arrival;
            if (!timing.TakeArrival(&arrival) || !measuring) return;
            latenciesMs.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - arrival).count());
            ++painted;
        });
        dlg.Create();
        if (!QTest::qWaitForWindowExposed(&dlg) || !dlg.m_pCapture) {
            std::printf("the capture window did not come up\n");
            return 1;
        }
        dlg.OnRecord();
        QTest::qWait(300);  // let the stream settle before measuring
        timing.Clear();
        measuring = true;
        const double cpu0 = bench::CpuSeconds(RUSAGE_SELF);
        QElapsedTimer wall;
        wall.start();
        // Block in the event loop as the application does; a busy poll would be measured too.
        QEventLoop loop;
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (painted >= kFrames) loop.quit();
        });
        check.start(20);
        loop.exec();
        const double seconds = wall.nsecsElapsed() / 1e9;
        const double cpu = bench::CpuSeconds(RUSAGE_SELF) - cpu0;
        measuring = false;
        dlg.OnRecord();
        dlg.DestroyWindow();

        bench::Throughput mine;
        mine.ran = true;
        mine.fps = painted / seconds;
        mine.cpuMsPerFrame = cpu * 1000 / std::max(painted, 1);
        std::printf("capture window (camera asked for 120 fps; pane %dx%d, recording on):\n",
                    dlg.m_livePane.width(), dlg.m_livePane.height());
        std::printf("quorvel: %d frames in %.2f s: %.1f fps, %.2f CPU ms/frame\n", painted, seconds,
                    mine.fps, mine.cpuMsPerFrame);
        std::printf("sample arrival to end of painting: median %.2f ms, 99th percentile %.2f ms\n",
                    Percentile(latenciesMs, 0.5), Percentile(latenciesMs, 0.99));

        std::vector<std::vector<unsigned char>> frames;
        for (int i = 0; i < kFrames; ++i)
            frames.push_back(platform::v4l2::CEmulatedFrameSource::Sample(
                platform::v4l2::EmulatedSample::Good, i, 640, 480));
        bench::PrintComparison(mine, bench::RunFfmpegReference(frames, dir.path().toStdString()));
    }
    platform::v4l2::InstallSyscalls(&cameras);
    return 0;
}
