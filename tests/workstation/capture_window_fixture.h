// A capture window under test: its own application folder, language pack, log and emulated
// cameras; message boxes are recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>
#include <vector>

#include "emulated/emulated_camera_system.h"
#include "platform/message_box.h"
#include "tests/support/test_support.h"
#include "tests/workstation/video_capture_dlg_under_test.h"

namespace workstation_testing {

struct RecordedBox {
    QString text;
    QStringList logAtThatMoment;
};

class CaptureWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Plugs in these cameras (before the window is made).
    void Install(std::vector<platform::v4l2::EmulatedCameraConfig> cameras);
    // Makes and shows the window (set-up runs); false when set-up ended it.
    bool Open();
    void Close();

    QStringList LogLines() const;
    void LogMarker(const char* text);
    // "frame triger!" lines between two markers of the log.
    int FramesBetween(const QString& from, const QString& to) const;
    bool WaitFrames(int count, int timeoutMs = testing_support::kPatienceMs);
    int FramesHandled() const;
    // For a camera that stalled: waits until its streaming thread is done with every frame it
    // took (shown, handed to the recorder) and has given each buffer back.
    bool WaitCameraIdle(int camera = 0);
    QString VideoDir() const { return m_folder->Path() + QStringLiteral("/Video"); }
    QString Lang(const char* key) const;
    void Click(QWidget* button);
    bool Visible(int id) const;

    std::unique_ptr<testing_support::CAppFolder> m_folder;
    std::unique_ptr<platform::v4l2::CEmulatedCameraSystem> m_cameras;
    std::unique_ptr<CVideoCaptureDlgUnderTest> m_dlg;
    std::vector<RecordedBox> m_boxes;
    QString m_logPath;
};

}  // namespace workstation_testing
