// A capture window with clips to list and play: clips made with OpenCV in a folder of the test's
// own, drops with the cursor placed where the window reads it, and the screen held while the
// test shows its panes.
#pragma once

#include <QColor>
#include <QLockFile>
#include <QPoint>
#include <QTemporaryDir>
#include <map>

#include "tests/support/playback_test_support.h"
#include "tests/workstation/capture_window_fixture.h"

namespace workstation_testing {

class ClipStripTest : public CaptureWindowTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the window with the emulated microscope plugged in.
    void OpenWindow();

    // A motion-JPEG clip in the test's folder whose frames are left over right colour.
    QString MakeClip(const QString& name, QColor left, QColor right);
    QString MakeClip(const QString& name, QColor colour) { return MakeClip(name, colour, colour); }
    QString ClipDir() const { return m_clipDir.path(); }

    // Sends WM_LIST_DROP as the list does, with the cursor at global.
    void DropAt(QPoint global, const QString& path);
    // Drags list entry row with the mouse and releases it at global.
    void DragEntryTo(int row, QPoint global);

    QWidget* Item(int id) const { return m_dlg->GetDlgItem(id); }
    // A point of control id, at fractions fx, fy of its width and height, in screen coordinates.
    QPoint PointOf(int id, double fx = 0.5, double fy = 0.5) const;
    QString LabelText(int id) const;
    QStringList EntryTexts() const;
    // Paths of the entries as the list would deliver them.
    QStringList ListPaths() const;
    bool WaitPlaying(const std::unique_ptr<VlcPlayer>& player,
                     int timeoutMs = testing_support::kPatienceMs) const;
    bool Playing(const std::unique_ptr<VlcPlayer>& player) const;
    bool WaitShade(int paneId, playback_testing::Shade shade,
                   int timeoutMs = testing_support::kPatienceMs) const;

    // Size and modification time of every file of the clip folder.
    std::map<QString, std::pair<qint64, qint64>> FolderState() const;

    QLockFile m_screenLock{playback_testing::ScreenLockPath()};
    QTemporaryDir m_clipDir;
};

}  // namespace workstation_testing
