// One supported camera as discovery lists it.
#pragma once

#include <QString>

struct CaptureDeviceEntry {
    QString displayName;   // opens the device again (dscap_open_device)
    QString friendlyName;  // the name a person would recognise
};
