// From the start window into the capture window and back, as the operator does it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "app/quorvel_app.h"
#include "app/quorvel_dlg.h"
#include "capture/dscapture.h"
#include "emulated/emulated_camera_system.h"
#include "platform/message_box.h"
#include "res/resource.h"
#include "tests/support/test_support.h"
#include "workstation/live_pane.h"
#include "workstation/video_capture_dlg.h"

namespace {

CVideoCaptureDlg* OpenCaptureWindow() {
    for (QWidget* w : QApplication::allWidgets()) {
        if (auto* dlg = qobject_cast<CVideoCaptureDlg*>(w); dlg && dlg->isVisible()) return dlg;
    }
    return nullptr;
}

class StartToCaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AfxGetApp().m_langFile = m_folder.Path() + QStringLiteral("/Language/English.ini");
        AfxGetApp().m_log.Close();
        AfxGetApp().m_log.Open((m_folder.Path() + QStringLiteral("/log.txt")).toStdString());
        DsCapture::SetSettleDelayForTesting(0);
    }
    void TearDown() override {
        platform::SetMessageBoxHookForTesting(nullptr);
        AfxGetApp().m_log.Close();
    }
    testing_support::CAppFolder m_folder;
};

}  // namespace

TEST_F(StartToCaptureTest, CaptureWindowOpensModallyAnyNumberOfTimes) {
    auto cameras = platform::v4l2::CEmulatedCameraSystem::InstallDefault();
    CQuorvelDlg start;
    int opened = 0;
    int framesSeen = 0;
    bool startDisabledUnderneath = true;
    std::function<void()> visit;
    visit = [&] {
        CVideoCaptureDlg* capture = OpenCaptureWindow();
        if (!capture) {
            QTimer::singleShot(50, &start, visit);
            return;
        }
        // Wait for live frames, then close the capture window with Esc.
        // The live pane as the window's frame handler finds it.
        const auto* live = qobject_cast<CLivePane*>(capture->GetDlgItem(IDC_LIVE_PANE));
        if (!testing_support::WaitUntil([&] { return live && !live->LastFrame().empty(); }))
            ADD_FAILURE() << "no live frame";
        else
            ++framesSeen;
        // Blocked by the modal run: whether the start window still has the focus depends on
        // when the X server moves it, which a slow build races.
        startDisabledUnderneath = startDisabledUnderneath &&
                                  QApplication::activeModalWidget() == capture &&
                                  capture->windowModality() == Qt::ApplicationModal;
        QTest::keyClick(capture, Qt::Key_Escape);
        ++opened;
        QTimer::singleShot(100, &start, [&] {
            if (opened < 3) {
                QTimer::singleShot(50, &start, visit);  // the click blocks in the modal run
                QTest::mouseClick(start.GetDlgItem(IDC_BTN_START), Qt::LeftButton);
            } else {
                QTest::mouseClick(start.GetDlgItem(IDC_BTN_END), Qt::LeftButton);
            }
        });
    };
    QTimer::singleShot(300, &start,
                       [&] { QTest::mouseClick(start.GetDlgItem(IDC_BTN_START), Qt::LeftButton); });
    // The click above runs the capture window's modal loop inside the timer; visit polls it.
    QTimer::singleShot(350, &start, visit);
    EXPECT_EQ(start.DoModal(), platform::IDCANCEL);
    EXPECT_EQ(opened, 3);
    EXPECT_EQ(framesSeen, 3);
    EXPECT_TRUE(startDisabledUnderneath);
    EXPECT_EQ(cameras->OpenFiles(), 0);
    EXPECT_TRUE(QFile::exists(m_folder.Path() + QStringLiteral("/Video")));
}

TEST_F(StartToCaptureTest, WithoutCameraTheStartWindowWorksOnAfterTheMessage) {
    platform::v4l2::CEmulatedCameraSystem none({});
    int boxes = 0;
    platform::SetMessageBoxHookForTesting(
        [&](const QString&, const QString& text, platform::MessageBoxIcon) {
            ++boxes;
            EXPECT_EQ(text, AfxGetApp().GetLangString(QStringLiteral("IDS_DEVICE_NOTFOUND")));
        });
    CQuorvelDlg start;
    QTimer::singleShot(300, &start, [&] {
        // Returns: the window never shows.
        QTest::mouseClick(start.GetDlgItem(IDC_BTN_START), Qt::LeftButton);
        QTest::mouseClick(start.GetDlgItem(IDC_BTN_START), Qt::LeftButton);
        QTest::mouseClick(start.GetDlgItem(IDC_BTN_END), Qt::LeftButton);
    });
    EXPECT_EQ(start.DoModal(), platform::IDCANCEL);
    EXPECT_EQ(boxes, 2);
}
