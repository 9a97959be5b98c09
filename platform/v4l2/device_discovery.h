// Finds V4L2 capture devices through sysfs and names each one by a display name that carries
// its USB ids ("vid_xxxx&pid_xxxx", lower case as sysfs writes them) and its USB interface
// path, which stays the same when /dev/videoN numbering changes.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::v4l2 {

struct V4l2DeviceInfo {
    std::string node;      // "/dev/video0"
    std::string identity;  // the USB interface ("1-2:1.0"), or the parent device's name
    std::string vendorId;  // four hex digits as sysfs writes them; empty for non-USB devices
    std::string productId;
    std::string serial;  // the USB device's serial number; empty when it has none
    QString card;        // the driver's card name; may be empty
    QString displayName;
    int openError = 0;  // EACCES or EPERM: listed from sysfs alone, the user may not open it
};

// Decides from what sysfs tells (node, identity, ids, display name) whether a node is opened.
using NodeFilter = std::function<bool(const V4l2DeviceInfo&)>;

// Capture nodes (video capture and streaming in device_caps) in videoN order; metadata and
// output nodes are left out. A node the user may not open is listed too, with openError set,
// when sysfs names it the first node of its interface (index 0), as capture nodes are. Only the
// nodes that wanted (when given) accepts are opened and listed.
std::vector<V4l2DeviceInfo> EnumerateCaptureDevices(const NodeFilter& wanted = {});
// One entry per video interface (its first node), in videoN order, from sysfs alone: nothing
// is opened, so whether it captures and its card name are not known here.
std::vector<V4l2DeviceInfo> ListVideoDevices();

// The display name for a device: "@device:pnp:\\?\usb#vid_534d&pid_0021#1-2:1.0#video4linux".
QString MakeDisplayName(const V4l2DeviceInfo& info);
// The identity a display name carries; empty when it is not one of ours.
std::string IdentityFromDisplayName(const QString& displayName);
// The capture device a display name names, as it is now; nothing when it is gone.
std::optional<V4l2DeviceInfo> FindCaptureDevice(const QString& displayName);

}  // namespace platform::v4l2
