// The camera settings kept in Quorvel.ini: one section per camera, named by its USB ids and
// serial number (its USB port when it has none), one key per control id ("0x00980900=-10").
#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <vector>

#include "platform/v4l2/camera_controls.h"
#include "platform/v4l2/device_discovery.h"

class CCameraSettingsStore {
  public:
    // file: the INI file; empty means Quorvel.ini in the settings folder.
    explicit CCameraSettingsStore(QString file = {});

    static QString SectionFor(const platform::v4l2::V4l2DeviceInfo& camera);
    static QString KeyFor(uint32_t id);

    // The kept values of the controls the camera offers; a value that is not a whole number is
    // left out, one out of range is brought into it.
    std::map<uint32_t, int32_t> Load(
        const QString& section, const std::vector<platform::v4l2::CameraControl>& controls) const;
    // 0 or the errno of the failed write.
    int Save(const QString& section, uint32_t id, int32_t value) const;

  private:
    QString m_file;
};
