// Helpers for the tests that play clips: clips made with OpenCV and what a pane shows on the
// screen.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <opencv2/core.hpp>

#include "tests/support/test_support.h"

namespace playback_testing {

// A motion-JPEG AVI of the frame repeated, written as the capture window writes its clips.
bool MakeClip(const QString& path, const cv::Mat& frame, int frames);
// A clip of 320x240 at 25 fps whose every frame is one colour. True when it was written.
bool MakeSolidClip(const QString& path, QColor colour, int frames = 40);

// A clip whose frame i is all one grey, NumberedGrey(i), so that a picture tells which frame it
// is; frames at most 40.
bool MakeNumberedClip(const QString& path, int frames, int fps, int width = 640, int height = 480);
int NumberedGrey(int frame);
// The frame whose grey is nearest to c; -1 when c is no such grey.
int NumberedFrame(QColor c);

// The screen's picture of the pane. Its window is raised first: other test processes may show
// windows on the same display.
QImage GrabPane(const QWidget* pane);

// What the screen shows at the pane's centre and four points around it, averaged; grabbed from
// the screen because the video is not painted by Qt.
QColor PaneColour(const QWidget* pane);

enum class Shade { Black, White, Red, Green, Blue, Other };
Shade Classify(QColor c);
const char* ShadeName(Shade s);

// Test processes that read the screen hold this lock file, so that one at a time shows its panes
// (they may run in parallel on one display).
QString ScreenLockPath();

// Pumps events until the pane shows the shade; true when it did within timeoutMs.
bool WaitForShade(const QWidget* pane, Shade shade, int timeoutMs = testing_support::kPatienceMs);

}  // namespace playback_testing
