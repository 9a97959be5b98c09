// "Camera settings": one row per control the camera offers (a slider with its value, a check
// box, or a list for a menu), "Defaults" to put them all back. Each change goes to the camera
// at once, is read back, and what the camera kept is shown and stored for the camera.
#pragma once

#include <QDialog>
#include <QString>
#include <map>
#include <vector>

#include "capture/camera_settings_store.h"
#include "platform/v4l2/camera_controls.h"

class QLabel;

class CCameraSettingsDlg : public QDialog {
    Q_OBJECT
  public:
    // node: the camera's device node; section: its section in the store.
    CCameraSettingsDlg(const std::string& node, QString section, CCameraSettingsStore store,
                       QWidget* parent = nullptr);

    bool IsOpen() const { return m_controls.IsOpen(); }
    // The editor of a control (QSlider, QCheckBox or QComboBox); null when not offered.
    QWidget* EditorOf(uint32_t id) const;
    const std::vector<platform::v4l2::CameraControl>& Controls() const { return m_list; }

    // Sets a control as the user did, as its editor does.
    void Change(uint32_t id, int32_t value);
    void ResetDefaults();

    // The label for a control: the language pack's for the common ones, else the camera's name.
    static QString LabelFor(const platform::v4l2::CameraControl& control);

  private:
    void Build();
    // Values and inactive flags as the camera has them now.
    void Refresh();
    void Keep(const std::vector<platform::v4l2::ControlMismatch>& mismatches, uint32_t id);

    platform::v4l2::CCameraControls m_controls;
    QString m_section;
    CCameraSettingsStore m_store;
    std::vector<platform::v4l2::CameraControl> m_list;
    std::map<uint32_t, QWidget*> m_editors;
    std::map<uint32_t, QLabel*> m_values;
    bool m_refreshing = false;
};

// Writes each mismatch to the log: the control, what was asked and what the camera has.
void LogControlMismatches(const std::vector<platform::v4l2::ControlMismatch>& mismatches);
