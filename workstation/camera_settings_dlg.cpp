#include "workstation/camera_settings_dlg.h"

#include <linux/videodev2.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cstring>

#include "platform/win_app.h"

using platform::v4l2::CameraControl;
using platform::v4l2::ControlMismatch;

void LogControlMismatches(const std::vector<ControlMismatch>& mismatches) {
    for (const ControlMismatch& m : mismatches) {
        if (m.err)
            AfxGetApp().m_log.WriteLog("camera control 0x%08x: %d refused (%s), camera has %d\n",
                                       m.id, m.asked, std::strerror(m.err), m.got);
        else
            AfxGetApp().m_log.WriteLog("camera control 0x%08x: %d asked, camera has %d\n", m.id,
                                       m.asked, m.got);
    }
}

CCameraSettingsDlg::CCameraSettingsDlg(const std::string& node, QString section,
                                       CCameraSettingsStore store, QWidget* parent)
    : QDialog(parent), m_section(std::move(section)), m_store(std::move(store)) {
    setWindowTitle(AfxGetApp().GetLangString(QStringLiteral("IDS_CAMERA_SETTINGS_TITLE")));
    if (const int err = m_controls.Open(node))
        AfxGetApp().m_log.WriteLog("camera settings: %s\n", std::strerror(err));
    m_list = m_controls.Query();
    Build();
    Refresh();
}

QString CCameraSettingsDlg::LabelFor(const CameraControl& c) {
    static const std::map<uint32_t, const char*> keys = {
        {V4L2_CID_BRIGHTNESS, "IDS_CAM_BRIGHTNESS"},
        {V4L2_CID_CONTRAST, "IDS_CAM_CONTRAST"},
        {V4L2_CID_SATURATION, "IDS_CAM_SATURATION"},
        {V4L2_CID_HUE, "IDS_CAM_HUE"},
        {V4L2_CID_GAMMA, "IDS_CAM_GAMMA"},
        {V4L2_CID_SHARPNESS, "IDS_CAM_SHARPNESS"},
        {V4L2_CID_GAIN, "IDS_CAM_GAIN"},
        {V4L2_CID_AUTO_WHITE_BALANCE, "IDS_CAM_AUTO_WHITE_BALANCE"},
        {V4L2_CID_WHITE_BALANCE_TEMPERATURE, "IDS_CAM_WHITE_BALANCE"},
        {V4L2_CID_EXPOSURE_AUTO, "IDS_CAM_AUTO_EXPOSURE"},
        {V4L2_CID_EXPOSURE_ABSOLUTE, "IDS_CAM_EXPOSURE"},
        {V4L2_CID_POWER_LINE_FREQUENCY, "IDS_CAM_POWER_LINE"},
        {V4L2_CID_BACKLIGHT_COMPENSATION, "IDS_CAM_BACKLIGHT"},
    };
    const auto it = keys.find(c.id);
    if (it != keys.end()) {
        const QString text = AfxGetApp().GetLangString(QString::fromLatin1(it->second));
        if (!text.isEmpty()) return text;
    }
    return QString::fromStdString(c.name);
}

void CCameraSettingsDlg::Build() {
    auto* grid = new QGridLayout;
    int row = 0;
    for (const CameraControl& c : m_list) {
        if (!c.Writable()) continue;
        const uint32_t id = c.id;
        grid->addWidget(new QLabel(LabelFor(c), this), row, 0);
        QWidget* editor = nullptr;
        if (c.type == V4L2_CTRL_TYPE_BOOLEAN) {
            auto* box = new QCheckBox(this);
            connect(box, &QCheckBox::toggled, this,
                    [this, id](bool on) { Change(id, on ? 1 : 0); });
            editor = box;
        } else if (c.type == V4L2_CTRL_TYPE_MENU) {
            auto* combo = new QComboBox(this);
            for (const auto& [index, name] : c.menu)
                combo->addItem(QString::fromStdString(name), index);
            connect(combo, &QComboBox::activated, this,
                    [this, id, combo](int at) { Change(id, combo->itemData(at).toInt()); });
            editor = combo;
        } else {
            auto* slider = new QSlider(Qt::Horizontal, this);
            slider->setRange(c.minimum, c.maximum);
            slider->setSingleStep(c.step);
            slider->setPageStep(c.step * std::max(1, (c.maximum - c.minimum) / c.step / 10));
            slider->setMinimumWidth(240);
            auto* value = new QLabel(this);
            value->setMinimumWidth(48);
            m_values[id] = value;
            grid->addWidget(value, row, 2);
            connect(slider, &QSlider::valueChanged, this, [this, id](int v) { Change(id, v); });
            editor = slider;
        }
        grid->addWidget(editor, row, 1);
        m_editors[id] = editor;
        ++row;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* defaults = buttons->addButton(
        AfxGetApp().GetLangString(QStringLiteral("IDS_CAM_DEFAULTS")), QDialogButtonBox::ResetRole);
    connect(defaults, &QPushButton::clicked, this, &CCameraSettingsDlg::ResetDefaults);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

QWidget* CCameraSettingsDlg::EditorOf(uint32_t id) const {
    const auto it = m_editors.find(id);
    return it == m_editors.end() ? nullptr : it->second;
}

void CCameraSettingsDlg::Change(uint32_t id, int32_t value) {
    if (m_refreshing) return;
    for (const CameraControl& c : m_list) {
        if (c.id != id) continue;
        Keep(m_controls.SetChecked(c, value), id);
        break;
    }
    Refresh();
}

void CCameraSettingsDlg::ResetDefaults() {
    LogControlMismatches(m_controls.ResetToDefaults());
    for (const CameraControl& c : m_list) Keep({}, c.id);
    Refresh();
}

void CCameraSettingsDlg::Keep(const std::vector<ControlMismatch>& mismatches, uint32_t id) {
    LogControlMismatches(mismatches);
    int32_t now = 0;
    // What the camera has is what the next opening should bring back.
    if (m_controls.Get(id, &now)) {
        if (const int err = m_store.Save(m_section, id, now))
            AfxGetApp().m_log.WriteLog("camera settings not saved: %s\n", std::strerror(err));
    }
}

void CCameraSettingsDlg::Refresh() {
    m_refreshing = true;
    m_list = m_controls.Query();  // the inactive flags follow the auto modes
    for (const CameraControl& c : m_list) {
        QWidget* editor = EditorOf(c.id);
        if (!editor) continue;
        int32_t v = c.defaultValue;
        m_controls.Get(c.id, &v);
        const QSignalBlocker block(editor);
        if (auto* box = qobject_cast<QCheckBox*>(editor)) box->setChecked(v != 0);
        if (auto* combo = qobject_cast<QComboBox*>(editor))
            combo->setCurrentIndex(combo->findData(v));
        if (auto* slider = qobject_cast<QSlider*>(editor)) slider->setValue(v);
        if (m_values.count(c.id)) {
            m_values[c.id]->setText(QString::number(v));
            m_values[c.id]->setEnabled(!c.Inactive());
        }
        editor->setEnabled(!c.Inactive());
    }
    m_refreshing = false;
}
