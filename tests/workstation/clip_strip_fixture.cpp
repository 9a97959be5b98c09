#include "tests/workstation/clip_strip_fixture.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTest>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "tests/support/playback_test_support.h"

namespace workstation_testing {

using testing_support::Pump;
using testing_support::WaitUntil;

void ClipStripTest::SetUp() {
    // Panes are read from the screen and drops read the cursor: one such test on the display.
    m_screenLock.setStaleLockTime(0);
    ASSERT_TRUE(m_screenLock.lock());
    ASSERT_TRUE(m_clipDir.isValid());
    CaptureWindowTest::SetUp();
}

void ClipStripTest::TearDown() {
    CaptureWindowTest::TearDown();
    m_screenLock.unlock();
}

void ClipStripTest::OpenWindow() {
    Install({platform::v4l2::EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    m_dlg->raise();
    m_dlg->activateWindow();
    Pump(50);
}

QString ClipStripTest::MakeClip(const QString& name, QColor left, QColor right) {
    const QString path = m_clipDir.filePath(name);
    cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(left.blue(), left.green(), left.red()));
    frame(cv::Rect(160, 0, 160, 240)).setTo(cv::Scalar(right.blue(), right.green(), right.red()));
    EXPECT_TRUE(playback_testing::MakeClip(path, frame, 30)) << path.toStdString();
    return path;
}

void ClipStripTest::DropAt(QPoint global, const QString& path) {
    QCursor::setPos(global);
    ASSERT_TRUE(WaitUntil([&] { return QCursor::pos() == global; }));
    platform::SendMessageW(m_dlg->GetSafeHwnd(), WM_LIST_DROP, reinterpret_cast<WPARAM>(&path),
                           MAKELPARAM(global.x(), global.y()));
}

void ClipStripTest::DragEntryTo(int row, QPoint global) {
    CDragListCtrl& list = m_dlg->m_videoList;
    QWidget* viewport = list.viewport();
    const QPoint start = list.visualRect(list.model()->index(row, 0)).center();
    const int distance = QApplication::startDragDistance();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(viewport, start + QPoint(distance + 2, -distance - 2));
    ASSERT_TRUE(list.IsDragging());
    // The held button's moves go to the list, which holds the grab; the window reads the
    // cursor itself at the release.
    const QPoint local = viewport->mapFromGlobal(global);
    QTest::mouseMove(viewport, local);
    QCursor::setPos(global);
    ASSERT_TRUE(WaitUntil([&] { return QCursor::pos() == global; }));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, local);
    EXPECT_FALSE(list.IsDragging());
}

QPoint ClipStripTest::PointOf(int id, double fx, double fy) const {
    const QWidget* w = Item(id);
    return w->mapToGlobal(
        QPoint(static_cast<int>(w->width() * fx), static_cast<int>(w->height() * fy)));
}

QString ClipStripTest::LabelText(int id) const {
    const auto* label = qobject_cast<const QLabel*>(Item(id));
    return label ? label->text() : QStringLiteral("(no label)");
}

QStringList ClipStripTest::EntryTexts() const {
    QStringList texts;
    for (int i = 0; i < m_dlg->m_videoList.count(); ++i)
        texts << m_dlg->m_videoList.item(i)->text();
    return texts;
}

QStringList ClipStripTest::ListPaths() const {
    QStringList paths;
    for (const QString& p : m_dlg->m_videoList.Paths()) paths << p;
    return paths;
}

bool ClipStripTest::Playing(const std::unique_ptr<VlcPlayer>& player) const {
    return player && player->GetState() == libvlc_Playing;
}

bool ClipStripTest::WaitPlaying(const std::unique_ptr<VlcPlayer>& player, int timeoutMs) const {
    return WaitUntil([&] { return Playing(player); }, timeoutMs);
}

bool ClipStripTest::WaitShade(int paneId, playback_testing::Shade shade, int timeoutMs) const {
    return playback_testing::WaitForShade(Item(paneId), shade, timeoutMs);
}

std::map<QString, std::pair<qint64, qint64>> ClipStripTest::FolderState() const {
    std::map<QString, std::pair<qint64, qint64>> state;
    for (const QFileInfo& f : QDir(m_clipDir.path()).entryInfoList(QDir::Files)) {
        state[f.fileName()] = {f.size(), f.lastModified().toMSecsSinceEpoch()};
    }
    return state;
}

}  // namespace workstation_testing
