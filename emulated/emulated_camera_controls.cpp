#include "emulated/emulated_camera_controls.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform::v4l2 {
namespace {

void CopyName(char* dst, std::size_t size, const std::string& text) {
    std::memset(dst, 0, size);
    std::memcpy(dst, text.data(), std::min(size - 1, text.size()));
}

}  // namespace

CEmulatedCameraControls::CEmulatedCameraControls(uint32_t refused, uint32_t halved)
    : m_refused(refused), m_halved(halved) {
    const uint32_t I = V4L2_CTRL_TYPE_INTEGER, B = V4L2_CTRL_TYPE_BOOLEAN, M = V4L2_CTRL_TYPE_MENU;
    m_controls = {
        {V4L2_CID_BRIGHTNESS, I, "Brightness", -64, 64, 1, 0, 0, {}},
        {V4L2_CID_CONTRAST, I, "Contrast", 0, 64, 1, 32, 32, {}},
        {V4L2_CID_SATURATION, I, "Saturation", 0, 128, 1, 64, 64, {}},
        {V4L2_CID_HUE, I, "Hue", -40, 40, 1, 0, 0, {}},
        {V4L2_CID_AUTO_WHITE_BALANCE, B, "White Balance, Automatic", 0, 1, 1, 1, 1, {}},
        {V4L2_CID_GAMMA, I, "Gamma", 72, 500, 1, 100, 100, {}},
        {V4L2_CID_GAIN, I, "Gain", 0, 100, 1, 0, 0, {}},
        {V4L2_CID_POWER_LINE_FREQUENCY,
         M,
         "Power Line Frequency",
         0,
         2,
         1,
         1,
         1,
         {"Disabled", "50 Hz", "60 Hz"}},
        {V4L2_CID_WHITE_BALANCE_TEMPERATURE,
         I,
         "White Balance Temperature",
         2800,
         6500,
         10,
         4600,
         4600,
         {}},
        {V4L2_CID_SHARPNESS, I, "Sharpness", 0, 6, 1, 3, 3, {}},
        {V4L2_CID_BACKLIGHT_COMPENSATION, I, "Backlight Compensation", 0, 2, 1, 1, 1, {}},
        {V4L2_CID_EXPOSURE_AUTO,
         M,
         "Auto Exposure",
         0,
         3,
         1,
         V4L2_EXPOSURE_APERTURE_PRIORITY,
         V4L2_EXPOSURE_APERTURE_PRIORITY,
         {"", "Manual Mode", "", "Aperture Priority Mode"}},
        {V4L2_CID_EXPOSURE_ABSOLUTE, I, "Exposure Time, Absolute", 3, 2047, 1, 166, 166, {}},
    };
}

CEmulatedCameraControls::Control* CEmulatedCameraControls::Find(uint32_t id) {
    for (Control& c : m_controls)
        if (c.id == id) return &c;
    return nullptr;
}

const CEmulatedCameraControls::Control* CEmulatedCameraControls::Find(uint32_t id) const {
    return const_cast<CEmulatedCameraControls*>(this)->Find(id);
}

bool CEmulatedCameraControls::Inactive(const Control& c) const {
    if (c.id == V4L2_CID_EXPOSURE_ABSOLUTE)
        return Value(V4L2_CID_EXPOSURE_AUTO) != V4L2_EXPOSURE_MANUAL;
    if (c.id == V4L2_CID_WHITE_BALANCE_TEMPERATURE) return Value(V4L2_CID_AUTO_WHITE_BALANCE) != 0;
    return false;
}

int32_t CEmulatedCameraControls::Value(uint32_t id) const {
    const Control* c = Find(id);
    return c ? c->value : 0;
}

bool CEmulatedCameraControls::AtDefaults(uint32_t id) const {
    const Control* c = Find(id);
    return !c || c->value == c->defaultValue;
}

bool CEmulatedCameraControls::Handles(unsigned long request) const {
    return request == VIDIOC_QUERY_EXT_CTRL || request == VIDIOC_QUERYMENU ||
           request == VIDIOC_G_CTRL || request == VIDIOC_S_CTRL;
}

int CEmulatedCameraControls::Ioctl(unsigned long request, void* arg) {
    switch (request) {
        case VIDIOC_QUERY_EXT_CTRL: {
            auto* q = static_cast<v4l2_query_ext_ctrl*>(arg);
            const Control* c = nullptr;
            if (q->id & V4L2_CTRL_FLAG_NEXT_CTRL) {
                const uint32_t after =
                    q->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
                for (const Control& k : m_controls)
                    if (k.id > after && (!c || k.id < c->id)) c = &k;
            } else {
                c = Find(q->id);
            }
            if (!c) return EINVAL;
            std::memset(q, 0, sizeof(*q));
            q->id = c->id;
            q->type = c->type;
            CopyName(q->name, sizeof(q->name), c->name);
            q->minimum = c->minimum;
            q->maximum = c->maximum;
            q->step = static_cast<uint64_t>(c->step);
            q->default_value = c->defaultValue;
            q->flags = Inactive(*c) ? V4L2_CTRL_FLAG_INACTIVE : 0;
            q->elem_size = sizeof(int32_t);
            q->elems = 1;
            q->nr_of_dims = 0;
            return 0;
        }
        case VIDIOC_QUERYMENU: {
            auto* m = static_cast<v4l2_querymenu*>(arg);
            const Control* c = Find(m->id);
            if (!c || c->type != V4L2_CTRL_TYPE_MENU || m->index >= c->menu.size() ||
                c->menu[m->index].empty())
                return EINVAL;
            CopyName(reinterpret_cast<char*>(m->name), sizeof(m->name), c->menu[m->index]);
            return 0;
        }
        case VIDIOC_G_CTRL: {
            auto* v = static_cast<v4l2_control*>(arg);
            const Control* c = Find(v->id);
            if (!c) return EINVAL;
            v->value = c->value;
            return 0;
        }
        case VIDIOC_S_CTRL: {
            auto* v = static_cast<v4l2_control*>(arg);
            Control* c = Find(v->id);
            if (!c) return EINVAL;
            if (v->id == m_refused) return EIO;
            // Like uvcvideo: a value its auto mode governs is refused while that mode is on.
            if (Inactive(*c)) return EACCES;
            if (v->value < c->minimum || v->value > c->maximum) return ERANGE;
            if (c->type == V4L2_CTRL_TYPE_MENU &&
                (static_cast<size_t>(v->value) >= c->menu.size() || c->menu[v->value].empty()))
                return EINVAL;
            c->value = v->id == m_halved ? v->value / 2 : v->value;
            m_setOrder.push_back(v->id);
            return 0;
        }
        default:
            return ENOTTY;
    }
}

}  // namespace platform::v4l2
