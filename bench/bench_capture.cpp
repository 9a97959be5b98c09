// Pushes emulated camera frames through the frame callback into a window that paints each one,
// while recording, and runs ffmpeg over the same frames (decode, time stamp, MJPEG AVI) for
// comparison. Prints figures; asserts nothing.
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
#include "capture/sample_grabber_cb_impl.h"
#include "emulated/emulated_frame_source.h"
#include "platform/message_delivery.h"
#include "platform/win_app.h"

namespace {

constexpr int kFrames = 600;

// The 16x16 blocks any time stamp can touch: its text box (all digits are equally wide in this
// face) with a 2-pixel margin, widened to whole 4:2:0 MCUs.
cv::Rect StampBlocks() {
    int baseline = 0;
    const cv::Size text =
        cv::getTextSize("00000000 00:00:00", cv::FONT_HERSHEY_SIMPLEX, 0.6, 1, &baseline);
    const int x0 = (10 - 2) / 16 * 16, y0 = (30 - text.height - 2) / 16 * 16;
    const int x1 = (10 + text.width + 2 + 15) / 16 * 16;
    const int y1 = (30 + baseline + 2 + 15) / 16 * 16;
    return cv::Rect(x0, y0, x1 - x0, y1 - y0);
}

// Reads the clip's packets back: their bytes beside the camera's, and the pixels outside the
// stamp's blocks that a decode of the clip's frame and of the camera's frame disagree on.
void PrintClipFidelity(const std::string& clip,
                       const std::vector<std::vector<unsigned char>>& frames) {
    cv::VideoCapture reader(clip, cv::CAP_FFMPEG);
    reader.set(cv::CAP_PROP_FORMAT, -1);  // the packets as they are, undecoded
    const cv::Rect stamp = StampBlocks();
    std::size_t clipBytes = 0, cameraBytes = 0;
    long long differing = 0, beside = 0;
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
        differing += cv::countNonZero(diff);
        beside += outside - cv::countNonZero(diff);
    }
    if (n == 0) {
        std::printf("clip: no frame read back\n");
        return;
    }
    std::printf("clip bytes per frame: %zu, the camera's: %zu (%+.1f %%), %d frames\n",
                clipBytes / n, cameraBytes / n,
                100.0 * (static_cast<double>(clipBytes) / cameraBytes - 1), n);
    std::printf(
        "pixels outside the stamp's blocks %dx%d+%d+%d and the pixel around them differing "
        "from the camera's frame: %lld (in the pixel around them: %lld), over %d frames\n",
        stamp.width, stamp.height, stamp.x, stamp.y, differing, beside, n);
}

// Paints every frame it is sent, at once, like the live pane.
class CPaintingWindow : public QWidget, public ICaptureWindow {
  public:
    CPaintingWindow()
        : m_target([this](UINT msg, WPARAM w, LPARAM) {
              if (msg != WM_CAPTURE_FRAME) return LRESULT{0};
              std::unique_ptr<FrameMessage> record(reinterpret_cast<FrameMessage*>(w));
              m_frame.reset(record->frame);
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
        if (!m_frame) return;
        QPainter p(this);
        const QImage image(m_frame->data, m_frame->cols, m_frame->rows,
                           static_cast<qsizetype>(m_frame->step), QImage::Format_BGR888);
        p.drawImage(rect(), image);
    }

  private:
    platform::CMessageTarget m_target;
    std::unique_ptr<cv::Mat> m_frame;
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
        for (auto& f : frames) callback.BufferCB(0.0, f.data(), static_cast<long>(f.size()));
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
    std::printf("quorvel: %d frames painted and recorded in %.2f s: %.1f fps, %.2f CPU ms/frame\n",
                window.m_painted, ours, kFrames / ours, oursCpu * 1000 / kFrames);

    bench::Throughput mine;
    mine.ran = true;
    mine.fps = kFrames / ours;
    mine.cpuMsPerFrame = oursCpu * 1000 / kFrames;
    bench::PrintComparison(mine, bench::RunFfmpegReference(frames, dir.path().toStdString()));
    return 0;
}
