// The controls of an emulated UVC camera: the set a common USB camera offers, with ranges,
// steps, defaults, menus and the inactive flag. A fresh camera (a replug) starts at defaults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::v4l2 {

class CEmulatedCameraControls {
  public:
    CEmulatedCameraControls(uint32_t refused, uint32_t halved);

    // VIDIOC_QUERY_EXT_CTRL, VIDIOC_QUERYCTRL, VIDIOC_QUERYMENU, VIDIOC_G_CTRL, VIDIOC_S_CTRL:
    // 0 or an errno value; ENOTTY for anything else.
    int Ioctl(unsigned long request, void* arg);
    bool Handles(unsigned long request) const;

    int32_t Value(uint32_t id) const;
    bool AtDefaults(uint32_t id) const;
    // Every VIDIOC_S_CTRL taken, in order: the ids.
    const std::vector<uint32_t>& SetOrder() const { return m_setOrder; }

  private:
    struct Control {
        uint32_t id;
        uint32_t type;
        const char* name;
        int32_t minimum, maximum, step, defaultValue;
        int32_t value;
        std::vector<std::string> menu;  // by index; empty entries are not offered
    };
    Control* Find(uint32_t id);
    const Control* Find(uint32_t id) const;
    bool Inactive(const Control& c) const;

    std::vector<Control> m_controls;  // in id order
    uint32_t m_refused;
    uint32_t m_halved;
    std::vector<uint32_t> m_setOrder;
};

}  // namespace platform::v4l2
