#include "platform/v4l2/camera_controls.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/v4l2/v4l2_syscalls.h"

namespace platform::v4l2 {
namespace {

std::string NameOf(const char* text, std::size_t size) {
    return std::string(text, strnlen(text, size));
}

}  // namespace

bool CameraControl::Inactive() const {
    return (flags & V4L2_CTRL_FLAG_INACTIVE) != 0;
}

bool CameraControl::Writable() const {
    return (flags &
            (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_GRABBED)) == 0;
}

int32_t CameraControl::Clamp(int32_t value) const {
    if (type == V4L2_CTRL_TYPE_MENU) {
        if (menu.empty()) return defaultValue;
        for (const auto& item : menu)
            if (item.first == value) return value;
        // Not a listed index: the nearest one.
        auto nearest = std::min_element(menu.begin(), menu.end(), [&](auto& a, auto& b) {
            return std::llabs(int64_t{a.first} - value) < std::llabs(int64_t{b.first} - value);
        });
        return nearest->first;
    }
    const int64_t lo = minimum;
    const int64_t hi = std::max(minimum, maximum);
    int64_t v = std::clamp<int64_t>(value, lo, hi);
    const int64_t s = std::max<int32_t>(1, step);
    v = lo + (v - lo + s / 2) / s * s;
    if (v > hi) v -= s;
    return static_cast<int32_t>(std::clamp(v, lo, hi));
}

int CCameraControls::Open(const std::string& node) {
    const int fd = Syscalls().Open(node.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) return errno ? errno : ENODEV;
    m_fd = CUniqueFd(fd);
    return 0;
}

std::vector<CameraControl> CCameraControls::Query() const {
    std::vector<CameraControl> controls;
    if (!m_fd.Valid()) return controls;
    v4l2_query_ext_ctrl q{};
    q.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    // A driver that loops would never end the walk: no camera has this many controls.
    for (int guard = 0; guard < 512; ++guard) {
        if (Syscalls().Ioctl(m_fd.Get(), VIDIOC_QUERY_EXT_CTRL, &q) < 0) break;
        const uint32_t id = q.id;
        const bool wanted = q.type == V4L2_CTRL_TYPE_INTEGER || q.type == V4L2_CTRL_TYPE_BOOLEAN ||
                            q.type == V4L2_CTRL_TYPE_MENU;
        if (wanted && !(q.flags & V4L2_CTRL_FLAG_DISABLED) && q.elems <= 1 &&
            q.minimum >= INT32_MIN && q.maximum <= INT32_MAX) {
            CameraControl c;
            c.id = id;
            c.type = q.type;
            c.name = NameOf(q.name, sizeof(q.name));
            c.minimum = static_cast<int32_t>(q.minimum);
            c.maximum = static_cast<int32_t>(q.maximum);
            c.step =
                static_cast<int32_t>(std::max<uint64_t>(1, std::min<uint64_t>(q.step, INT32_MAX)));
            c.defaultValue = static_cast<int32_t>(q.default_value);
            c.flags = q.flags;
            if (q.type == V4L2_CTRL_TYPE_MENU) {
                for (int64_t i = q.minimum; i <= q.maximum && i - q.minimum < 64; ++i) {
                    v4l2_querymenu m{};
                    m.id = id;
                    m.index = static_cast<uint32_t>(i);
                    if (Syscalls().Ioctl(m_fd.Get(), VIDIOC_QUERYMENU, &m) == 0)
                        c.menu.emplace_back(
                            static_cast<int32_t>(i),
                            NameOf(reinterpret_cast<const char*>(m.name), sizeof(m.name)));
                }
            }
            controls.push_back(std::move(c));
        }
        q = v4l2_query_ext_ctrl{};
        q.id = id | V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return controls;
}

bool CCameraControls::Get(uint32_t id, int32_t* value) const {
    v4l2_control c{};
    c.id = id;
    if (!m_fd.Valid() || Syscalls().Ioctl(m_fd.Get(), VIDIOC_G_CTRL, &c) < 0) return false;
    *value = c.value;
    return true;
}

int CCameraControls::Set(uint32_t id, int32_t value) {
    if (!m_fd.Valid()) return EBADF;
    v4l2_control c{};
    c.id = id;
    c.value = value;
    if (Syscalls().Ioctl(m_fd.Get(), VIDIOC_S_CTRL, &c) < 0) return errno ? errno : EIO;
    return 0;
}

std::vector<ControlMismatch> CCameraControls::SetChecked(const CameraControl& control,
                                                         int32_t value) {
    const int32_t asked = control.Clamp(value);
    ControlMismatch m{control.id, asked, asked, Set(control.id, asked)};
    const bool read = Get(control.id, &m.got);
    if (m.err == 0 && (!read || m.got == asked)) return {};
    return {m};
}

bool CCameraControls::IsAutoMode(uint32_t id) {
    switch (id) {
        case V4L2_CID_AUTO_WHITE_BALANCE:
        case V4L2_CID_AUTOGAIN:
        case V4L2_CID_HUE_AUTO:
        case V4L2_CID_EXPOSURE_AUTO:
        case V4L2_CID_EXPOSURE_AUTO_PRIORITY:
        case V4L2_CID_FOCUS_AUTO:
        case V4L2_CID_AUTOBRIGHTNESS:
            return true;
        default:
            return false;
    }
}

std::vector<ControlMismatch> CCameraControls::Apply(const std::map<uint32_t, int32_t>& values) {
    std::vector<ControlMismatch> out;
    for (const bool autoPass : {true, false}) {
        // Asked again after the auto modes: they decide which values are inactive now. An
        // inactive value is left alone, the camera would refuse it or overrule it.
        for (const CameraControl& c : Query()) {
            if (IsAutoMode(c.id) != autoPass || !c.Writable() || c.Inactive()) continue;
            const auto it = values.find(c.id);
            if (it == values.end()) continue;
            for (const ControlMismatch& m : SetChecked(c, it->second)) out.push_back(m);
        }
    }
    return out;
}

std::vector<ControlMismatch> CCameraControls::ResetToDefaults() {
    std::map<uint32_t, int32_t> defaults;
    for (const CameraControl& c : Query()) defaults[c.id] = c.defaultValue;
    return Apply(defaults);
}

}  // namespace platform::v4l2
