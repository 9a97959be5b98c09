// Pushes emulated camera frames through the frame callback into a window that paints each one,
// while recording, and runs ffmpeg over the same frames (decode, time stamp, MJPEG AVI) for
// comparison; counts the camera thread's heap allocations per frame once it runs steadily.
// Prints figures; asserts nothing.
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <thread>
#include <vector>

#include "bench/ffmpeg_reference.h"
#include "capture/capture_window.h"
#include "capture/jpeg_stamper.h"
#include "capture/sample_grabber_cb_impl.h"
#include "emulated/emulated_frame_source.h"
#include "platform/message_delivery.h"
#include "platform/win_app.h"

// Every heap allocation of the process goes through these (libjpeg's, OpenCV's and Qt's too);
// the thread that set t_counting has its own counted.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
}

namespace {

thread_local bool t_counting = false;
std::atomic<long long> g_allocations{0}, g_allocatedBytes{0}, g_largeAllocations{0};

// A frame buffer is far larger; libjpeg's pool chunks and sample rows are below it.
constexpr std::size_t kLarge = 64 * 1024;

void Count(std::size_t bytes) {
    if (!t_counting) return;
    ++g_allocations;
    g_allocatedBytes += static_cast<long long>(bytes);
    if (bytes >= kLarge) ++g_largeAllocations;
}

}  // namespace

extern "C" void* malloc(std::size_t n) {
    Count(n);
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t count, std::size_t n) {
    Count(count * n);
    return __libc_calloc(count, n);
}
extern "C" void* realloc(void* p, std::size_t n) {
    Count(n);
    return __libc_realloc(p, n);
}
extern "C" void* memalign(std::size_t alignment, std::size_t n) {
    Count(n);
    return __libc_memalign(alignment, n);
}
extern "C" void* aligned_alloc(std::size_t alignment, std::size_t n) {
    return memalign(alignment, n);
}
extern "C" int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
    void* p = memalign(alignment, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}

namespace {

constexpr int kFrames = 600;
// Frames before the allocations are counted: buffers and the clip's index grow meanwhile.
constexpr int kWarmFrames = 100;

// The blocks the clip's frames have coded again: the stamp's box widened to whole MCUs of the
// emulated camera's 4:2:0 frames, as the stamper widens it.
cv::Rect StampBlocks() {
    return CJpegStamper::Blocks(SampleGrabberCBImpl::StampBox(), cv::Size(16, 16),
                                cv::Size(640, 480));
}

// Reads the clip's packets back: their bytes beside the camera's, and the pixels outside the
// stamp's blocks that a decode of the clip's frame and of the camera's frame disagree on.
void PrintClipFidelity(const std::string& clip,
                       const std::vector<std::vector<unsigned char>>& frames) {
    cv::VideoCapture reader(clip, cv::CAP_FFMPEG);
    reader.set(cv::CAP_PROP_FORMAT, -1);  // the packets as they are, undecoded
    const cv::Rect stamp = StampBlocks();
    std::size_t clipBytes = 0, cameraBytes = 0;
    long long differing = 0, beyond = 0;
    int n = 0;
    cv::Mat packet;
    while (n < static_cast<int>(frames.size()) && reader.read(packet)) {
        clipBytes += packet.total() * packet.elemSize();
        cameraBytes += frames[n].size();
        const cv::Mat ours = cv::imdecode(packet, cv::IMREAD_COLOR);
        const cv::Mat theirs = cv::imdecode(frames[n], cv::IMREAD_COLOR);
        ++n;
        if (ours.empty() || ours.size() != theirs.size()) {
            differing += static_cast<long long>(theirs.total());
            beyond += static_cast<long long>(theirs.total());
            continue;
        }
        cv::Mat diff;
        cv::absdiff(ours, theirs, diff);
        cv::cvtColor(diff, diff, cv::COLOR_BGR2GRAY);  // nonzero wherever any channel differs
        const cv::Rect picture(0, 0, diff.cols, diff.rows);
        diff(stamp & picture).setTo(0);
        const int outside = cv::countNonZero(diff);
        // The decoder's smooth chroma upsampling reaches one pixel beyond recoded blocks.
        diff((stamp + cv::Point(-1, -1) + cv::Size(2, 2)) & picture).setTo(0);
        const int farther = cv::countNonZero(diff);
        differing += outside;
        beyond += farther;
    }
    if (n == 0) {
        std::printf("clip: no frame read back\n");
        return;
    }
    std::printf("clip bytes per frame: %zu, the camera's: %zu (%+.1f %%), %d frames\n",
                clipBytes / n, cameraBytes / n,
                100.0 * (static_cast<double>(clipBytes) / cameraBytes - 1), n);
    std::printf(
        "pixels outside the recoded blocks %dx%d+%d+%d differing from the camera's frame: %lld "
        "(%.1f per frame), of them farther than one pixel from the blocks: %lld, over %d "
        "frames\n",
        stamp.width, stamp.height, stamp.x, stamp.y, differing, static_cast<double>(differing) / n,
        beyond, n);
}

// Paints every frame it is sent, at once, like the live pane.
class CPaintingWindow : public QWidget, public ICaptureWindow {
  public:
    CPaintingWindow()
        : m_target([this](UINT msg, WPARAM w, LPARAM) {
              if (msg != WM_CAPTURE_FRAME) return LRESULT{0};
              cv::swap(m_frame, reinterpret_cast<FrameMessage*>(w)->frame);
              repaint();
              ++m_painted;
              return LRESULT{0};
          }) {
        resize(640, 480);
    }
    HWND Create() { return m_target.Create(); }
    HWND GetCaptureHwnd() const override { return m_target.GetSafeHwnd(); }
    CClipRecorder& Recorder() override { return m_recorder; }
    int FrameTargetId() const override { return IDC_LIVE_PANE; }

    CClipRecorder m_recorder;
    int m_painted = 0;

  protected:
    void paintEvent(QPaintEvent*) override {
        if (m_frame.empty()) return;
        QPainter p(this);
        const QImage image(m_frame.data, m_frame.cols, m_frame.rows,
                           static_cast<qsizetype>(m_frame.step), QImage::Format_BGR888);
        p.drawImage(rect(), image);
    }

  private:
    platform::CMessageTarget m_target;
    cv::Mat m_frame;
};

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    AfxGetApp().m_log.Open((dir.path() + "/bench.log").toStdString());

    std::vector<std::vector<unsigned char>> frames;
    size_t total = 0, smallest = SIZE_MAX, largest = 0;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(platform::v4l2::CEmulatedFrameSource::Sample(
            platform::v4l2::EmulatedSample::Good, i, 640, 480));
        total += frames.back().size();
        smallest = std::min(smallest, frames.back().size());
        largest = std::max(largest, frames.back().size());
    }
    std::printf("emulated frames: %d (%d distinct pictures), JPEG %zu..%zu bytes, mean %zu\n",
                kFrames, platform::v4l2::CEmulatedFrameSource::kCachedFrames, smallest, largest,
                total / frames.size());

    CPaintingWindow window;
    window.show();
    window.Create();
    const std::string clip = (dir.path() + "/temp.avi").toStdString();
    window.m_recorder.Open(clip, 25, 640, 480);
    SampleGrabberCBImpl callback(&window);

    std::atomic<bool> done{false};
    const double cpu0 = bench::CpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    std::thread camera([&] {
        for (int i = 0; i < kFrames; ++i) {
            t_counting = i >= kWarmFrames;
            callback.BufferCB(0.0, frames[i].data(), static_cast<long>(frames[i].size()));
        }
        t_counting = false;
        window.m_recorder.Stop();
        done = true;
    });
    // Block in the event loop as the application does; a busy poll would be measured too.
    QTimer tick;
    tick.start(20);
    while (!done.load()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    camera.join();
    const double ours = wall.nsecsElapsed() / 1e9;
    const double oursCpu = bench::CpuSeconds(RUSAGE_SELF) - cpu0;
    window.m_recorder.Finish();
    PrintClipFidelity(clip, frames);
    const double counted = kFrames - kWarmFrames;
    std::printf(
        "camera thread, frames %d..%d (recording): %.1f heap allocations per frame, %.0f bytes "
        "per frame, %.2f per frame of %zu KiB or more\n",
        kWarmFrames, kFrames - 1, g_allocations.load() / counted, g_allocatedBytes.load() / counted,
        g_largeAllocations.load() / counted, kLarge / 1024);
    std::printf("quorvel: %d frames painted and recorded in %.2f s: %.1f fps, %.2f CPU ms/frame\n",
                window.m_painted, ours, kFrames / ours, oursCpu * 1000 / kFrames);

    bench::Throughput mine;
    mine.ran = true;
    mine.fps = kFrames / ours;
    mine.cpuMsPerFrame = oursCpu * 1000 / kFrames;
    bench::PrintComparison(mine, bench::RunFfmpegReference(frames, dir.path().toStdString()));
    return 0;
}
