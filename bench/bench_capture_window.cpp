// The real capture window with the emulated camera, recording on. Asserts nothing; prints:
//  1. frames per second, CPU per frame and the time from a sample's arrival (its dequeue from the
//     driver) to the end of its painting, beside ffmpeg on the same frames (camera asked for
//     120 fps, as the window asks);
//  2. the same with the camera unlimited (a frame whenever the window takes one);
//  3. the longest stall of the window's thread while the user works the window with 50 clips in
//     the strip and a recording running at the camera's 30 fps, and the frames delivered against
//     the frames in the recorded file;
//  4. the longest stall of the window's thread through an unplug and a replug, with the camera's
//     settle pause (--replug runs this part alone).
#include <linux/videodev2.h>

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

#include "bench/bench_app.h"
#include "bench/ffmpeg_reference.h"
#include "capture/device_discovery.h"
#include "capture/dscapture.h"
#include "emulated/emulated_camera_system.h"
#include "emulated/emulated_frame_source.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "platform/win_app.h"
#include "tests/workstation/video_capture_dlg_under_test.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFrames = 600;
constexpr int kClips = 50;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Passes every call on to the emulated cameras, notes when each buffer was dequeued and, when
// asked, lifts the frame rate the window sets to the camera's fastest.
class CTimingSyscalls : public platform::v4l2::CV4l2Syscalls {
  public:
    CTimingSyscalls(platform::v4l2::CV4l2Syscalls& inner, bool unlimited)
        : m_inner(inner), m_unlimited(unlimited) {}
    int Open(const char* path, int flags) override { return m_inner.Open(path, flags); }
    int Close(int fd) override { return m_inner.Close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        if (m_unlimited && request == VIDIOC_S_PARM) {
            auto* p = static_cast<v4l2_streamparm*>(arg);
            p->parm.capture.timeperframe = {1, 1000};  // the emulated camera's shortest interval
        }
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
    const bool m_unlimited;
    std::mutex m_mutex;
    std::deque<Clock::time_point> m_arrivals;
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

// Pumps the event loop, blocked in it as the application is, until done() holds or ms passed.
void PumpUntil(const std::function<bool()>& done, int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    check.start(20);
    loop.exec();
}

void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

// Frames of a motion-JPEG AVI, counted by reading it through.
int FramesInFile(const QString& path) {
    cv::VideoCapture reader(path.toStdString(), cv::CAP_FFMPEG);
    int n = 0;
    while (reader.grab()) ++n;
    return n;
}

struct WindowRun {
    bool ok = false;
    int painted = 0;
    double seconds = 0;
    double cpuMsPerFrame = 0;
    double medianMs = 0, p99Ms = 0;
    QSize pane;
};

// Paints kFrames frames with recording on and measures them.
WindowRun RunWindow(bool unlimited) {
    platform::v4l2::CEmulatedCameraSystem cameras(
        {platform::v4l2::EmulatedCameraConfig::Microscope()});
    CTimingSyscalls timing(cameras, unlimited);
    platform::v4l2::InstallSyscalls(&timing);
    WindowRun run;
    std::vector<double> latenciesMs;
    latenciesMs.reserve(kFrames);
    bool measuring = false;
    {
        CVideoCaptureDlgUnderTest dlg;
        dlg.m_livePane.SetPaintedHook([&] {
            Clock::time_point arrival;
            if (!timing.TakeArrival(&arrival) || !measuring) return;
            latenciesMs.push_back(Ms(Clock::now() - arrival));
            ++run.painted;
        });
        dlg.Create();
        if (QTest::qWaitForWindowExposed(&dlg) && dlg.m_pCapture) {
            dlg.OnRecord();
            Pump(300);  // let the stream settle before measuring
            timing.Clear();
            measuring = true;
            const double cpu0 = bench::CpuSeconds(RUSAGE_SELF);
            QElapsedTimer wall;
            wall.start();
            PumpUntil([&] { return run.painted >= kFrames; }, 60000);
            run.seconds = wall.nsecsElapsed() / 1e9;
            const double cpu = bench::CpuSeconds(RUSAGE_SELF) - cpu0;
            measuring = false;
            dlg.OnRecord();
            run.ok = true;
            run.cpuMsPerFrame = cpu * 1000 / std::max(run.painted, 1);
            run.medianMs = Percentile(latenciesMs, 0.5);
            run.p99Ms = Percentile(latenciesMs, 0.99);
            run.pane = dlg.m_livePane.size();
        }
        dlg.DestroyWindow();
    }
    platform::v4l2::InstallSyscalls(&cameras);
    return run;
}

// The longest time the window's thread stayed away from its event loop, per action: a precise
// 2 ms timer notes the gaps between its ticks.
class CStallProbe {
  public:
    CStallProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        m_last = Clock::now();
        m_lastUse = ThreadUse();
        m_timer.start(2);
    }
    void Stop() { m_timer.stop(); }
    // Gaps from now on count for action (until the next Label).
    void Label(const std::string& action) {
        Tick();
        m_action = action;
        if (!m_action.empty() && !m_worst.count(m_action)) m_order.push_back(m_action);
    }
    const std::vector<std::string>& Actions() const { return m_order; }
    double Worst(const std::string& action) const {
        const auto it = m_worst.find(action);
        return it == m_worst.end() ? 0 : it->second;
    }
    // In the worst gap of an action: the thread's own CPU time, and how often it was put off
    // the CPU because it waited (a sleep, a lock, the kernel) or because another process took
    // the CPU.
    struct GapUse {
        double cpuMs = 0;
        long waited = 0;
        long preempted = 0;
    };
    GapUse WorstUse(const std::string& action) const {
        const auto it = m_worstUse.find(action);
        return it == m_worstUse.end() ? GapUse{} : it->second;
    }

  private:
    static GapUse ThreadUse() {
        rusage r{};
        getrusage(RUSAGE_THREAD, &r);
        return {r.ru_utime.tv_sec * 1e3 + r.ru_utime.tv_usec / 1e3 + r.ru_stime.tv_sec * 1e3 +
                    r.ru_stime.tv_usec / 1e3,
                r.ru_nvcsw, r.ru_nivcsw};
    }
    void Tick() {
        const Clock::time_point now = Clock::now();
        const GapUse use = ThreadUse();
        const double gap = Ms(now - m_last);
        const GapUse inGap{use.cpuMs - m_lastUse.cpuMs, use.waited - m_lastUse.waited,
                           use.preempted - m_lastUse.preempted};
        m_last = now;
        m_lastUse = use;
        if (!m_action.empty() && gap > m_worst[m_action]) {
            m_worst[m_action] = gap;
            m_worstUse[m_action] = inGap;
        }
    }

    QTimer m_timer;
    Clock::time_point m_last;
    GapUse m_lastUse;
    std::string m_action;
    std::vector<std::string> m_order;
    std::map<std::string, double> m_worst;
    std::map<std::string, GapUse> m_worstUse;
};

// A 640x480 motion-JPEG clip of 50 frames, as the window records them.
bool MakeClip(const QString& path, int index) {
    cv::VideoWriter writer;
    if (!writer.open(path.toStdString(), cv::CAP_OPENCV_MJPEG,
                     cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0, cv::Size(640, 480)))
        return false;
    const cv::Mat picture = platform::v4l2::CEmulatedFrameSource::Picture(index, 640, 480);
    for (int i = 0; i < 50; ++i) writer.write(picture);
    return true;
}

// Works the window as a user would while it records, with 50 clips in the strip.
void RunStalls(const QString& folder) {
    std::vector<QString> clips;
    for (int i = 0; i < kClips; ++i) {
        const QString path = QStringLiteral("%1/clip%2.avi").arg(folder).arg(i, 2, 10, QChar('0'));
        if (!MakeClip(path, i)) {
            std::printf("could not make the clips\n");
            return;
        }
        clips.push_back(path);
    }
    platform::v4l2::EmulatedCameraConfig camera =
        platform::v4l2::EmulatedCameraConfig::Microscope();
    camera.maxFramesPerSecond = 30;  // the real camera's rate
    platform::v4l2::CEmulatedCameraSystem cameras({camera});
    platform::v4l2::InstallSyscalls(&cameras);

    CStallProbe probe;
    int startAt = -1, stopAt = -1;  // frames delivered before the first and after the last
    Clock::time_point startTime, stopTime;
    enum { Idle, Starting, Recording, Stopping, Stopped } state = Idle;
    CVideoCaptureDlgUnderTest dlg;
    // The recording starts and stops while a frame is painted: the camera thread then waits in
    // its send, so the frame being painted is exactly the first (last + 1) of the recording.
    dlg.m_livePane.SetPaintedHook([&] {
        if (state == Starting) {
            startAt = cameras.FramesDelivered(0) - 1;
            startTime = Clock::now();
            dlg.OnRecord();
            state = Recording;
        } else if (state == Stopping) {
            stopAt = cameras.FramesDelivered(0) - 1;
            stopTime = Clock::now();
            dlg.OnRecord();
            state = Stopped;
        }
    });
    dlg.Create();
    if (!QTest::qWaitForWindowExposed(&dlg) || !dlg.m_pCapture) {
        std::printf("the capture window did not come up\n");
        return;
    }
    dlg.raise();
    dlg.activateWindow();
    Pump(500);
    const QSize setUp = dlg.size();
    const QSize screen = dlg.screen()->availableGeometry().size();

    probe.Start();
    probe.Label("add 50 clips");
    for (const QString& clip : clips) dlg.AddVideo(clip);
    Pump(3000);  // thumbnails made off the window's thread arrive meanwhile

    probe.Label("");
    state = Starting;
    PumpUntil([&] { return state == Recording; }, 3000);
    Pump(500);

    const auto act = [&](const std::string& name, const std::function<void()>& action) {
        probe.Label(name);
        action();
        Pump(700);  // work the action left queued counts for it too
        probe.Label("");
        Pump(200);
    };
    for (int round = 0; round < 2; ++round) {
        act("maximize", [&] { dlg.resize(screen); });
        act("restore", [&] { dlg.resize(setUp); });
    }
    act("resize by dragging", [&] {
        for (int step = 1; step <= 40; ++step) {
            dlg.resize(setUp + QSize(step * 8, step * 5));
            Pump(16);
        }
    });
    act("restore", [&] { dlg.resize(setUp); });
    const auto drop = [&](QWidget* pane, const QString& path) {
        const QPoint at = pane->mapToGlobal(pane->rect().center());
        QCursor::setPos(at);
        PumpUntil([&] { return QCursor::pos() == at; }, 1000);
        probe.Label(pane == &dlg.Pane(0) ? "first drop onto pane 1" : "first drop onto pane 2");
        platform::SendMessageW(dlg.GetSafeHwnd(), WM_LIST_DROP, reinterpret_cast<WPARAM>(&path),
                               MAKELPARAM(at.x(), at.y()));
        Pump(1500);  // the player starts
        probe.Label("");
    };
    // Dropped where the hidden panes lie, under the live picture: it keeps being painted.
    drop(&dlg.Pane(0), clips[0]);
    drop(&dlg.Pane(1), clips[1]);
    for (int row : {0, 20, 5}) {  // the first one plays in pane 1
        act("Delete Selected", [&] {
            dlg.m_videoList.setCurrentRow(row);
            dlg.OnDeleteSelectedVideo();
        });
    }
    act("Delete All", [&] { dlg.OnDeleteAllVideos(); });

    state = Stopping;
    PumpUntil([&] { return state == Stopped; }, 3000);
    Pump(500);  // the camera thread closes the clip at its next frame
    probe.Stop();
    const int written = FramesInFile(dlg.TempFilePath());
    dlg.DestroyWindow();
    platform::v4l2::InstallSyscalls(&cameras);

    std::printf(
        "window's thread away from its event loop, longest per action "
        "(%d clips in the strip, recording at 30 fps):\n",
        kClips);
    std::string worstAction;
    double worst = -1;
    for (const std::string& action : probe.Actions()) {
        // The thread's own CPU time in that gap tells its work from a busy machine's.
        const CStallProbe::GapUse use = probe.WorstUse(action);
        std::printf("  %-24s %7.1f ms (%.1f ms of it on the CPU, preempted %ld times)\n",
                    action.c_str(), probe.Worst(action), use.cpuMs, use.preempted);
        if (action != "add 50 clips" && probe.Worst(action) > worst) {
            worst = probe.Worst(action);
            worstAction = action;
        }
    }
    std::printf("longest UI stall: %.0f ms (%s)\n", worst, worstAction.c_str());
    const int delivered = stopAt - startAt;
    std::printf(
        "recording through these actions: %d frames delivered, %d frames written, "
        "%d lost\n",
        delivered, written, delivered - written);
    // The emulated camera waits for a late reader instead of dropping: the frames a stall cost
    // show as frames short of the camera's clock (a real one holds 4 in its buffers, then drops).
    const double seconds = Ms(stopTime - startTime) / 1000;
    std::printf("camera clock: %.0f frames due at 30 fps in %.1f s, %d delivered\n", seconds * 30,
                seconds, delivered);
}

// The time the window's thread spends in one blocking start sequence (open, the settle pause
// slept inside BuildGraph, run), as the set-up runs it: what a replug cost the window before its
// pause became a timer.
double BlockingStartMs() {
    platform::v4l2::CEmulatedCameraSystem cameras(
        {platform::v4l2::EmulatedCameraConfig::Microscope()});
    platform::v4l2::InstallSyscalls(&cameras);
    const auto devices = dscap_enum_device();
    if (devices.empty()) return -1;
    const Clock::time_point start = Clock::now();
    std::unique_ptr<DsCapture, DsCaptureCloser> capture(dscap_open_device(nullptr, devices[0]));
    if (!capture || FAILED(capture->OpenSource()) || FAILED(capture->BuildGraph()) ||
        !capture->Run())
        return -1;
    const double ms = Ms(Clock::now() - start);
    capture.reset();
    return ms;
}

// The window's thread through an unplug and a replug with the camera's real settle pause: once
// into a camera that will not stream (each retry settles, then fails), then into a good one.
void RunReplug() {
    const DWORD settle = 500;
    DsCapture::SetSettleDelayForTesting(settle);
    platform::v4l2::EmulatedCameraConfig camera =
        platform::v4l2::EmulatedCameraConfig::Microscope();
    camera.maxFramesPerSecond = 30;
    platform::v4l2::CEmulatedCameraSystem cameras({camera});
    platform::v4l2::InstallSyscalls(&cameras);
    int boxes = 0;
    platform::SetMessageBoxHookForTesting(
        [&](const QString&, const QString&, platform::MessageBoxIcon) { ++boxes; });
    int painted = 0;
    CStallProbe probe;
    bool ok = false;
    {
        CVideoCaptureDlgUnderTest dlg;
        dlg.m_livePane.SetPaintedHook([&] { ++painted; });
        dlg.Create();
        if (QTest::qWaitForWindowExposed(&dlg) && dlg.m_pCapture) {
            Pump(500);
            probe.Start();
            probe.Label("live, nothing done");  // what the machine's load alone costs
            Pump(3000);
            probe.Label("unplug");
            cameras.Unplug(0);
            PumpUntil([&] { return dlg.m_bDeviceLost != 0; }, 10000);
            Pump(1500);  // the watch finds nothing
            probe.Label("replug, no stream");
            platform::v4l2::EmulatedCameraConfig refusing = camera;
            refusing.refusesStream = true;
            cameras.Replug(0, refusing);
            Pump(4500);  // retries, each after its settle pause
            probe.Label("replug");
            cameras.Unplug(0);
            cameras.Replug(0, camera);
            PumpUntil([&] { return dlg.m_bDeviceLost == 0; }, 20000);
            const int before = painted;
            PumpUntil([&] { return painted >= before + 30; }, 5000);
            ok = dlg.m_bDeviceLost == 0 && painted >= before + 30;
            probe.Label("");
            probe.Stop();
        }
        dlg.DestroyWindow();
    }
    platform::SetMessageBoxHookForTesting(nullptr);
    platform::v4l2::InstallSyscalls(&cameras);
    DsCapture::SetSettleDelayForTesting(0);
    if (!ok) {
        std::printf("the camera did not come back live\n");
        return;
    }
    std::printf("window's thread through an unplug and a replug (settle pause %u ms):\n",
                static_cast<unsigned>(settle));
    double worst = 0;
    for (const std::string& action : probe.Actions()) {
        if (action != "live, nothing done") worst = std::max(worst, probe.Worst(action));
        const CStallProbe::GapUse use = probe.WorstUse(action);
        std::printf(
            "  %-24s %7.1f ms (%.1f ms of it on the CPU; off it %ld times waiting, %ld "
            "times preempted)\n",
            action.c_str(), probe.Worst(action), use.cpuMs, use.waited, use.preempted);
    }
    std::printf(
        "longest UI stall through unplug and replug: %.0f ms (target 33 ms; compare the "
        "live window's own gaps above on a busy machine)\n",
        worst);
    DsCapture::SetSettleDelayForTesting(settle);
    std::printf("one blocking start sequence on the window's thread, for comparison: %.0f ms\n",
                BlockingStartMs());
    DsCapture::SetSettleDelayForTesting(0);
}

}  // namespace

int main(int argc, char** argv) {
    const bench::CBenchApp app(argc, argv);
    platform::v4l2::CEmulatedFrameSource::Warm();
    bench::PrintLoad("at the start");
    if (argc > 1 && std::strcmp(argv[1], "--replug") == 0) {
        RunReplug();
        bench::PrintLoad("at the end");
        return 0;
    }

    const WindowRun asked = RunWindow(false);
    if (!asked.ok) {
        std::printf("the capture window did not come up\n");
        return 1;
    }
    bench::Throughput mine;
    mine.ran = true;
    mine.fps = asked.painted / asked.seconds;
    mine.cpuMsPerFrame = asked.cpuMsPerFrame;
    std::printf("capture window (camera asked for 120 fps; pane %dx%d, recording on):\n",
                asked.pane.width(), asked.pane.height());
    std::printf("quorvel: %d frames in %.2f s: %.1f fps, %.2f CPU ms/frame\n", asked.painted,
                asked.seconds, mine.fps, mine.cpuMsPerFrame);
    std::printf("sample arrival to end of painting: median %.2f ms, 99th percentile %.2f ms\n",
                asked.medianMs, asked.p99Ms);
    std::vector<std::vector<unsigned char>> frames;
    for (int i = 0; i < kFrames; ++i)
        frames.push_back(platform::v4l2::CEmulatedFrameSource::Sample(
            platform::v4l2::EmulatedSample::Good, i, 640, 480));
    const bench::Throughput ffmpeg = bench::RunFfmpegReference(frames, app.Dir().toStdString());
    bench::PrintComparison(mine, ffmpeg);

    const WindowRun unlimited = RunWindow(true);
    if (unlimited.ok) {
        std::printf(
            "camera unlimited (recording on): %d frames in %.2f s: %.1f fps, "
            "%.2f CPU ms/frame; arrival to painting median %.2f ms\n",
            unlimited.painted, unlimited.seconds, unlimited.painted / unlimited.seconds,
            unlimited.cpuMsPerFrame, unlimited.medianMs);
        if (ffmpeg.ran)
            std::printf("camera unlimited: %.2fx ffmpeg's CPU per frame\n",
                        unlimited.cpuMsPerFrame / ffmpeg.cpuMsPerFrame);
    }

    QDir(app.Dir()).mkpath(QStringLiteral("clips"));
    RunStalls(app.Dir() + QStringLiteral("/clips"));
    RunReplug();
    bench::PrintLoad("at the end");
    return 0;
}
