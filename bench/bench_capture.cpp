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
    std::printf("quorvel: %d frames painted and recorded in %.2f s: %.1f fps, %.2f CPU ms/frame\n",
                window.m_painted, ours, kFrames / ours, oursCpu * 1000 / kFrames);

    bench::Throughput mine;
    mine.ran = true;
    mine.fps = kFrames / ours;
    mine.cpuMsPerFrame = oursCpu * 1000 / kFrames;
    bench::PrintComparison(mine, bench::RunFfmpegReference(frames, dir.path().toStdString()));
    return 0;
}
