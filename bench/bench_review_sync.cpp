// Synchronized compare in the real capture window: how closely the two panes' libVLC players
// follow each other. That depends on how busy the machine is, so it is measured here and not
// asserted in the tests. Asserts nothing; prints, for a clip of one second against one of four
// (both at 10 fps, played 1.2 times faster):
//  1. over three seconds of synchronized play: the long clip's highest frame on the screen (on
//     its own it would pass frame 20) and how many times it started over with the short one;
//  2. Space over one pane while synchronized, five times: the frames the two panes pause on;
//  3. a clip dropped into the left pane while synchronized, five times: the two players' clip
//     times once the new clip shows, and their difference.
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_app.h"
#include "emulated/emulated_camera_system.h"
#include "platform/message_delivery.h"
#include "platform/system.h"
#include "platform/win_app.h"
#include "playback/pane_review.h"
#include "res/resource.h"
#include "tests/support/playback_test_support.h"
#include "tests/workstation/video_capture_dlg_under_test.h"

namespace {

constexpr int kLeftPane = 1007;
constexpr int kRightPane = 1008;
constexpr int kWaitMs = 30000;  // for what surely comes, on a busy machine

class CSyncBench {
  public:
    explicit CSyncBench(const QString& dir) : m_dir(dir) {}

    bool Open() {
        if (!m_dlg.Create() || !QTest::qWaitForWindowExposed(&m_dlg)) return false;
        m_dlg.raise();
        m_dlg.activateWindow();
        QTest::mouseClick(&m_dlg.m_btnView, Qt::LeftButton);
        return m_dlg.m_bDualView == 1;
    }

    QString Clip(const char* name, int frames) {
        const QString path = m_dir + QLatin1Char('/') + QLatin1String(name);
        return playback_testing::MakeNumberedClip(path, frames, 10) ? path : QString();
    }

    int ShownFrame(int paneId) {
        return playback_testing::NumberedFrame(
            playback_testing::PaneColour(m_dlg.GetDlgItem(paneId)));
    }

    QPoint Centre(int paneId) {
        QWidget* pane = m_dlg.GetDlgItem(paneId);
        return pane->mapToGlobal(pane->rect().center());
    }

    bool MoveTo(QPoint global) {
        QCursor::setPos(global);
        return bench::PumpUntil([&] { return QCursor::pos() == global; }, kWaitMs);
    }

    // Drops the clip into the pane and waits until the new clip is two frames in, by its clock
    // and on the screen.
    bool Play(const QString& path, int paneId) {
        const QPoint at = Centre(paneId);
        if (!MoveTo(at)) return false;
        platform::SendMessageW(m_dlg.GetSafeHwnd(), WM_LIST_DROP, reinterpret_cast<WPARAM>(&path),
                               MAKELPARAM(at.x(), at.y()));
        CPaneReview& review = m_dlg.m_review->Pane(paneId == kLeftPane ? 0 : 1);
        return bench::PumpUntil(
            [&] { return review.PlayTimeMs() >= 200 && ShownFrame(paneId) >= 2; }, kWaitMs);
    }

    // A key typed with the pointer over the right pane.
    bool Key(Qt::Key key) {
        if (!MoveTo(Centre(kRightPane))) return false;
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &m_dlg, key);
        return true;
    }

    CVideoCaptureDlgUnderTest m_dlg;

  private:
    QString m_dir;
};

}  // namespace

int main(int argc, char** argv) {
    const bench::CBenchApp app(argc, argv);
    platform::v4l2::CEmulatedCameraSystem cameras(
        {platform::v4l2::EmulatedCameraConfig::Microscope()});
    bench::PrintLoad("at the start");

    CSyncBench bench(app.Dir());
    const QString shortClip = bench.Clip("short.avi", 10);
    const QString longClip = bench.Clip("long.avi", 40);
    if (shortClip.isEmpty() || longClip.isEmpty() || !bench.Open() ||
        !bench.Play(shortClip, kLeftPane) || !bench.Play(longClip, kRightPane) ||
        !bench.Key(Qt::Key_Y) || !bench.m_dlg.m_review->IsSynced()) {
        std::printf("the capture window did not come up with both clips synchronized\n");
        return 1;
    }

    // 1. The long clip held to the short one's length.
    int highest = -1, restarts = 0, last = -1;
    QElapsedTimer watch;
    watch.start();
    while (watch.elapsed() < 3000) {
        const int frame = bench.ShownFrame(kRightPane);
        highest = std::max(highest, frame);
        if (frame >= 0 && last >= 0 && frame + 3 < last) ++restarts;
        if (frame >= 0) last = frame;
        bench::PumpUntil([] { return false; }, 20);
    }
    std::printf(
        "synchronized 1 s and 4 s clips over 3 s: long clip's highest frame %d (alone "
        "it passes 20), started over %d times\n",
        highest, restarts);

    // 2. One key pauses both, each libVLC player on its own clock.
    for (int round = 0; round < 5; ++round) {
        CPaneReview& left = bench.m_dlg.m_review->Pane(0);
        CPaneReview& right = bench.m_dlg.m_review->Pane(1);
        if (!bench.Key(Qt::Key_Space) ||
            !bench::PumpUntil([&] { return left.IsPaused() && right.IsPaused(); }, kWaitMs)) {
            std::printf("round %d: the panes did not pause\n", round);
            return 1;
        }
        const int a = left.CurrentFrame(), b = right.CurrentFrame();
        std::printf("pause %d while synchronized: frames %d and %d, %d apart\n", round, a, b,
                    std::abs(a - b));
        bench.Key(Qt::Key_Space);
        bench::PumpUntil([] { return false; }, 500 + 300 * round);
    }

    // 3. A drop into one pane starts the other over with it.
    for (int round = 0; round < 5; ++round) {
        if (!bench::PumpUntil([&] { return bench.ShownFrame(kRightPane) >= 8; }, kWaitMs) ||
            !bench.Play(longClip, kLeftPane)) {
            std::printf("round %d: the dropped clip did not play\n", round);
            return 1;
        }
        const int64_t left = bench.m_dlg.m_review->Pane(0).PlayTimeMs();
        const int64_t right = bench.m_dlg.m_review->Pane(1).PlayTimeMs();
        std::printf("drop %d while synchronized: clip times %lld ms and %lld ms, %lld ms apart\n",
                    round, static_cast<long long>(left), static_cast<long long>(right),
                    static_cast<long long>(std::llabs(left - right)));
    }
    bench::PrintLoad("at the end");
    bench.m_dlg.DestroyWindow();
    return 0;
}
