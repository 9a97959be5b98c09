// A camera's controls (brightness, exposure, white balance...) through the V4L2 seam, on a file
// of its own: V4L2 lets a second open of the node read and set controls while another streams.
// Every call is one ioctl, answered by the driver without waiting for a frame.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/v4l2/unique_fd.h"

namespace platform::v4l2 {

struct CameraControl {
    uint32_t id = 0;
    uint32_t type = 0;  // V4L2_CTRL_TYPE_INTEGER, _BOOLEAN, _MENU
    std::string name;   // the driver's own name
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t step = 1;
    int32_t defaultValue = 0;
    uint32_t flags = 0;
    std::vector<std::pair<int32_t, std::string>> menu;  // index and name, menus only

    bool Inactive() const;
    bool Writable() const;  // not read-only, disabled or grabbed
    // value brought into the range and onto the step (menus: onto a listed index).
    int32_t Clamp(int32_t value) const;
};

// A value the camera did not keep as asked.
struct ControlMismatch {
    uint32_t id = 0;
    int32_t asked = 0;
    int32_t got = 0;  // what was read back; asked when it could not be read
    int err = 0;      // errno of a refused set, 0 when it was taken but changed
};

class CCameraControls {
  public:
    // errno of the failure, 0 on success.
    int Open(const std::string& node);
    bool IsOpen() const { return m_fd.Valid(); }
    void Close() { m_fd.Reset(); }

    // The integer, boolean and menu controls the camera offers, in its order.
    std::vector<CameraControl> Query() const;
    bool Get(uint32_t id, int32_t* value) const;
    // 0 or the errno of a refused set.
    int Set(uint32_t id, int32_t value);
    // Sets value (clamped) and reads it back: nothing, or how it went wrong.
    std::vector<ControlMismatch> SetChecked(const CameraControl& control, int32_t value);

    // Applies stored values: unknown or unwritable ids are skipped, values clamped, auto modes
    // first (they decide whether the values they govern are taken), then the rest.
    std::vector<ControlMismatch> Apply(const std::map<uint32_t, int32_t>& values);
    // Every writable control back to its default, auto modes first.
    std::vector<ControlMismatch> ResetToDefaults();

    // Whether a control switches an automatic mode (set before the values it governs).
    static bool IsAutoMode(uint32_t id);

  private:
    CUniqueFd m_fd;
};

}  // namespace platform::v4l2
