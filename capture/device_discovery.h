// Finds the supported cameras among the machine's video input devices.
#pragma once

#include <QString>
#include <vector>

#include "capture/capture_device_entry.h"

struct SupportedCamera {
    const char* vendorId;  // four hex digits; empty slots are ""
    const char* productId;
};
inline constexpr int kSupportedCameraSlots = 100;
extern const SupportedCamera kSupportedCameras[kSupportedCameraSlots];

// The supported devices in the order the system lists them; empty when there are none or the
// enumeration fails.
std::vector<CaptureDeviceEntry> dscap_enum_device();

// True when the vendor id after "vid" and the product id after "pid" (each marker searched in
// lower case, its value read after one separator character) match one slot of the table,
// letter case of the digits aside.
bool dscap_is_supported_device(QString displayName);
