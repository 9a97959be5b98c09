// Camera settings: the dialog built from the emulated camera's controls, the live picture
// following them, the values kept per camera and applied again when the camera is opened.
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QSlider>
#include <algorithm>
#include <cstring>
#include <opencv2/core.hpp>

#include "capture/camera_settings_store.h"
#include "capture/dscapture.h"
#include "platform/profile.h"
#include "tests/workstation/capture_window_fixture.h"

using platform::v4l2::EmulatedCameraConfig;
using workstation_testing::CaptureWindowTest;

namespace {

class CameraSettingsTest : public CaptureWindowTest {
  protected:
    QString Ini() const { return QDir(m_folder->Path()).filePath(QStringLiteral("Quorvel.ini")); }
    // The emulated camera has no serial number: its section is named by its port.
    QString Section() const {
        platform::v4l2::V4l2DeviceInfo info;
        info.vendorId = "534d";
        info.productId = "0021";
        info.identity = "1-1:1.0";
        return CCameraSettingsStore::SectionFor(info);
    }
    void Keep(uint32_t id, const QString& value) {
        ASSERT_EQ(platform::WritePrivateProfileStringW(Section(), CCameraSettingsStore::KeyFor(id),
                                                       value, Ini()),
                  0);
    }
    QString Kept(uint32_t id) const {
        return platform::GetPrivateProfileStringW(Section(), CCameraSettingsStore::KeyFor(id),
                                                  QString(), 64, Ini());
    }
    CCameraSettingsDlg* OpenDialog() {
        m_dlg->OpenCameraSettings();
        return m_dlg->m_cameraDlg.data();
    }
    double MeanAfterNewFrames() {
        EXPECT_TRUE(WaitFrames(3));
        return cv::mean(m_dlg->m_livePane.LastFrame())[0];
    }
    int32_t Value(uint32_t id) const { return m_cameras->ControlValue(0, id); }
};

}  // namespace

TEST_F(CameraSettingsTest, TheDialogListsTheCamerasControlsWithTheirRanges) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    CCameraSettingsDlg* dlg = OpenDialog();
    ASSERT_TRUE(dlg && dlg->IsOpen());
    auto* brightness = qobject_cast<QSlider*>(dlg->EditorOf(V4L2_CID_BRIGHTNESS));
    ASSERT_TRUE(brightness);
    EXPECT_EQ(brightness->minimum(), -64);
    EXPECT_EQ(brightness->maximum(), 64);
    EXPECT_EQ(brightness->value(), 0);
    auto* wb = qobject_cast<QSlider*>(dlg->EditorOf(V4L2_CID_WHITE_BALANCE_TEMPERATURE));
    ASSERT_TRUE(wb);
    EXPECT_EQ(wb->minimum(), 2800);
    EXPECT_EQ(wb->singleStep(), 10);
    EXPECT_TRUE(qobject_cast<QCheckBox*>(dlg->EditorOf(V4L2_CID_AUTO_WHITE_BALANCE)));
    auto* power = qobject_cast<QComboBox*>(dlg->EditorOf(V4L2_CID_POWER_LINE_FREQUENCY));
    ASSERT_TRUE(power);
    EXPECT_EQ(power->count(), 3);
    EXPECT_EQ(power->currentText(), QStringLiteral("50 Hz"));
    // The auto exposure menu offers only the modes the camera names.
    auto* mode = qobject_cast<QComboBox*>(dlg->EditorOf(V4L2_CID_EXPOSURE_AUTO));
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->count(), 2);
    EXPECT_EQ(dlg->Controls().size(), 13u);
    EXPECT_EQ(CCameraSettingsDlg::LabelFor(dlg->Controls().front()), Lang("IDS_CAM_BRIGHTNESS"));
}

TEST_F(CameraSettingsTest, ASliderChangesTheLivePictureAndIsKept) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    const double before = MeanAfterNewFrames();
    CCameraSettingsDlg* dlg = OpenDialog();
    ASSERT_TRUE(dlg);
    auto* brightness = qobject_cast<QSlider*>(dlg->EditorOf(V4L2_CID_BRIGHTNESS));
    ASSERT_TRUE(brightness);
    brightness->setValue(-50);
    EXPECT_EQ(Value(V4L2_CID_BRIGHTNESS), -50);
    EXPECT_LT(MeanAfterNewFrames(), before - 30);
    EXPECT_EQ(Kept(V4L2_CID_BRIGHTNESS), QStringLiteral("-50"));
    // Defaults: the camera's own values, and the picture as it was.
    dlg->ResetDefaults();
    EXPECT_EQ(brightness->value(), 0);
    EXPECT_EQ(Kept(V4L2_CID_BRIGHTNESS), QStringLiteral("0"));
    EXPECT_NEAR(MeanAfterNewFrames(), before, 3);
}

TEST_F(CameraSettingsTest, ExposureIsGreyedWhileAutoExposureIsOn) {
    Install({EmulatedCameraConfig::Microscope()});
    ASSERT_TRUE(Open());
    CCameraSettingsDlg* dlg = OpenDialog();
    ASSERT_TRUE(dlg);
    QWidget* exposure = dlg->EditorOf(V4L2_CID_EXPOSURE_ABSOLUTE);
    auto* mode = qobject_cast<QComboBox*>(dlg->EditorOf(V4L2_CID_EXPOSURE_AUTO));
    ASSERT_TRUE(exposure && mode);
    EXPECT_FALSE(exposure->isEnabled());
    dlg->Change(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL);
    EXPECT_TRUE(exposure->isEnabled());
    EXPECT_EQ(mode->currentData().toInt(), V4L2_EXPOSURE_MANUAL);
    dlg->Change(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY);
    EXPECT_FALSE(exposure->isEnabled());
}

TEST_F(CameraSettingsTest, KeptValuesComeBackAfterAReplugAutoModesFirst) {
    Install({EmulatedCameraConfig::Microscope()});
    // Kept before the window opens: applied at its start.
    Keep(V4L2_CID_EXPOSURE_ABSOLUTE, "500");
    Keep(V4L2_CID_EXPOSURE_AUTO, QString::number(V4L2_EXPOSURE_MANUAL));
    Keep(V4L2_CID_BRIGHTNESS, "20");
    ASSERT_TRUE(Open());
    EXPECT_EQ(Value(V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_MANUAL);
    EXPECT_EQ(Value(V4L2_CID_EXPOSURE_ABSOLUTE), 500);
    EXPECT_EQ(Value(V4L2_CID_BRIGHTNESS), 20);
    ASSERT_TRUE(WaitFrames(2));

    m_cameras->Unplug(0);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return m_dlg->m_bDeviceLost != 0; }, 10000));
    m_cameras->Replug(0);
    EXPECT_EQ(Value(V4L2_CID_BRIGHTNESS), 0);  // a fresh camera has its defaults
    m_dlg->OnDeviceWatch();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return m_dlg->m_bDeviceLost == 0; }, 10000));
    EXPECT_EQ(Value(V4L2_CID_EXPOSURE_ABSOLUTE), 500);
    EXPECT_EQ(Value(V4L2_CID_BRIGHTNESS), 20);
    const std::vector<uint32_t> order = m_cameras->ControlSetOrder(0);
    const auto at = [&](uint32_t id) { return std::find(order.begin(), order.end(), id); };
    ASSERT_NE(at(V4L2_CID_EXPOSURE_AUTO), order.end());
    ASSERT_NE(at(V4L2_CID_EXPOSURE_ABSOLUTE), order.end());
    EXPECT_LT(at(V4L2_CID_EXPOSURE_AUTO), at(V4L2_CID_EXPOSURE_ABSOLUTE));
}

TEST_F(CameraSettingsTest, ARefusedOrChangedValueIsLoggedAndTheDialogShowsTheCamerasValue) {
    EmulatedCameraConfig config = EmulatedCameraConfig::Microscope();
    config.refusesControl = V4L2_CID_GAIN;
    config.halvesControl = V4L2_CID_SATURATION;
    Install({config});
    ASSERT_TRUE(Open());
    CCameraSettingsDlg* dlg = OpenDialog();
    ASSERT_TRUE(dlg);
    auto* gain = qobject_cast<QSlider*>(dlg->EditorOf(V4L2_CID_GAIN));
    auto* saturation = qobject_cast<QSlider*>(dlg->EditorOf(V4L2_CID_SATURATION));
    ASSERT_TRUE(gain && saturation);
    gain->setValue(40);
    EXPECT_EQ(gain->value(), 0);
    saturation->setValue(100);
    EXPECT_EQ(saturation->value(), 50);
    EXPECT_EQ(Kept(V4L2_CID_SATURATION), QStringLiteral("50"));
    const QStringList log = LogLines();
    EXPECT_TRUE(log.contains(QStringLiteral("camera control 0x%1: 40 refused (%2), camera has 0")
                                 .arg(V4L2_CID_GAIN, 8, 16, QLatin1Char('0'))
                                 .arg(QString::fromLocal8Bit(std::strerror(EIO)))));
    EXPECT_TRUE(log.contains(QStringLiteral("camera control 0x%1: 100 asked, camera has 50")
                                 .arg(V4L2_CID_SATURATION, 8, 16, QLatin1Char('0'))));
}

TEST_F(CameraSettingsTest, JunkInTheSettingsFileIsClampedOrIgnored) {
    Install({EmulatedCameraConfig::Microscope()});
    Keep(V4L2_CID_BRIGHTNESS, "9999");
    Keep(V4L2_CID_CONTRAST, "bright");
    Keep(V4L2_CID_POWER_LINE_FREQUENCY, "-7");
    Keep(V4L2_CID_EXPOSURE_AUTO, "2");  // not a mode the camera names
    Keep(V4L2_CID_WHITE_BALANCE_TEMPERATURE, "99999999999999");
    Keep(V4L2_CID_AUTO_WHITE_BALANCE, "0");
    ASSERT_TRUE(Open());
    EXPECT_EQ(Value(V4L2_CID_BRIGHTNESS), 64);
    EXPECT_EQ(Value(V4L2_CID_CONTRAST), 32);
    EXPECT_EQ(Value(V4L2_CID_POWER_LINE_FREQUENCY), 0);
    const int32_t mode = Value(V4L2_CID_EXPOSURE_AUTO);
    EXPECT_TRUE(mode == V4L2_EXPOSURE_MANUAL || mode == V4L2_EXPOSURE_APERTURE_PRIORITY);
    EXPECT_EQ(Value(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 6500);
    // Nothing out of range reached the camera: it would have said so in the log.
    for (const QString& line : LogLines()) EXPECT_FALSE(line.startsWith("camera control"));
}
