// Soak: frames through the real capture window from the emulated camera running as fast as the
// window takes them, recording toggled every 1,000 frames, a Save every 10,000 and an unplug and
// replug every 20,000. Asserts nothing; prints resident memory, open descriptors and threads
// before and after.
//
//   bench_soak [FRAMES]   (100000 unless given)
#include <malloc.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "bench/bench_app.h"
#include "capture/dscapture.h"
#include "emulated/emulated_camera_system.h"
#include "emulated/emulated_frame_source.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "platform/win_app.h"
#include "tests/workstation/video_capture_dlg_under_test.h"

namespace {

struct Usage {
    long rssKb = 0;
    int fds = 0;
    int threads = 0;
};

Usage Measure() {
    Usage u;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) u.rssKb = std::atol(line.c_str() + 6);
        if (line.rfind("Threads:", 0) == 0) u.threads = std::atoi(line.c_str() + 8);
    }
    u.fds = static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                                 .size());
    return u;
}

void Print(const char* when, const Usage& u) {
    std::printf("%-34s RSS %8.1f MB, %3d descriptors, %2d threads\n", when, u.rssKb / 1024.0, u.fds,
                u.threads);
    std::fflush(stdout);
}

void PrintThreads(const char* when) {
    QStringList names;
    for (const QString& task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly)) names << QString::fromUtf8(comm.readAll()).trimmed();
    }
    names.sort();
    std::printf("%s %s\n", when, names.join(QStringLiteral(", ")).toUtf8().constData());
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 100000;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    // Pooled threads (the strip's first-frame reads) would otherwise come and go with the clock
    // and blur the thread and descriptor counts.
    QThreadPool::globalInstance()->setExpiryTimeout(-1);
    QTemporaryDir dir;
    platform::SetModuleFolderForTesting(dir.path());
    AfxGetApp().m_log.Open((dir.path() + "/soak.log").toStdString());
    DsCapture::SetSettleDelayForTesting(0);
    int boxes = 0;
    platform::SetMessageBoxHookForTesting(
        [&](const QString&, const QString&, platform::MessageBoxIcon) { ++boxes; });

    platform::v4l2::EmulatedCameraConfig camera =
        platform::v4l2::EmulatedCameraConfig::Microscope();
    camera.fixedFramesPerSecond = 1000;  // a frame whenever the window takes one
    platform::v4l2::CEmulatedCameraSystem cameras({camera});
    platform::v4l2::CEmulatedFrameSource::Warm();

    const Usage start = Measure();
    int painted = 0, saves = 0, replugs = 0, recordings = 0;
    Usage before, after, trimmed;
    double seconds = 0;
    {
        CVideoCaptureDlgUnderTest dlg;
        dlg.m_livePane.SetPaintedHook([&] { ++painted; });
        dlg.Create();
        if (!QTest::qWaitForWindowExposed(&dlg) || !dlg.m_pCapture) {
            std::printf("the capture window did not come up\n");
            return 1;
        }
        // One round of every action first, so that what is made once is made before measuring.
        auto cycle = [&](int thousand) {
            const bool want = thousand % 2 == 1;
            if (want && !dlg.m_bRecording) {
                dlg.OnCancelRecording();  // back to Idle after a stop or an unplug
                dlg.OnRecord();
                ++recordings;
            } else if (!want) {
                if (dlg.m_bRecording) dlg.OnRecord();
                if (thousand % 10 == 0) {
                    dlg.OnSaveRecording();
                    ++saves;
                } else {
                    dlg.OnCancelRecording();
                }
            }
        };
        auto replug = [&] {
            cameras.Unplug(0);
            bool ok = bench::PumpUntil([&] { return dlg.m_bDeviceLost != 0; }, 10000);
            cameras.Replug(0);
            ok = ok && bench::PumpUntil([&] { return dlg.m_bDeviceLost == 0; }, 10000);
            if (!ok) std::printf("the camera did not come back\n");
            ++replugs;
            return ok;
        };
        // Warm-up: a recording, a save and a replug.
        cycle(1);
        bench::PumpUntil([&] { return painted >= 500; }, 60000);
        cycle(10);
        if (!replug()) return 1;
        bench::PumpUntil([&] { return painted >= 1000 && dlg.PendingThumbnails() == 0; }, 60000);
        painted = 0;
        before = Measure();
        PrintThreads("threads before:");

        QElapsedTimer wall;
        wall.start();
        int next = 1000;
        int nextReplug = 20000;
        while (painted < frames) {
            if (!bench::PumpUntil([&] { return painted >= std::min(next, nextReplug); }, 30000)) {
                std::printf("frames stopped at %d\n", painted);
                return 1;
            }
            if (painted >= next) {
                cycle(next / 1000);
                if (next % 10000 == 0) {
                    std::printf("  %6d frames, %5.0f s, RSS %.1f MB\n", painted,
                                wall.elapsed() / 1000.0, Measure().rssKb / 1024.0);
                    std::fflush(stdout);
                }
                next += 1000;
            }
            if (painted >= nextReplug) {
                if (!replug()) return 1;
                nextReplug += 20000;
            }
        }
        seconds = wall.elapsed() / 1000.0;
        // The clip stopped last is closed by the next frame.
        const int last = painted;
        bench::PumpUntil([&] { return painted > last + 2 && dlg.PendingThumbnails() == 0; }, 10000);
        after = Measure();
        PrintThreads("threads after:");
        // What of the growth is memory the heap keeps for reuse rather than memory in use.
        malloc_trim(0);
        trimmed = Measure();
        dlg.DestroyWindow();
    }
    QCoreApplication::processEvents();
    const Usage closed = Measure();

    std::printf(
        "\n%d frames in %.0f s (%.0f fps): %d recordings, %d saves, %d unplug/replug, "
        "%d message boxes\n",
        painted, seconds, painted / seconds, recordings, saves, replugs, boxes);
    Print("process start:", start);
    Print("before (window up, warmed):", before);
    Print("after the frames:", after);
    Print("the same, heap trimmed:", trimmed);
    Print("after closing the window:", closed);
    std::printf("growth over the run: RSS %+.1f MB, descriptors %+d, threads %+d\n",
                (after.rssKb - before.rssKb) / 1024.0, after.fds - before.fds,
                after.threads - before.threads);
    return 0;
}
