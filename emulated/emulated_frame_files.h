// Camera samples taken from files, so that a recording of a real camera can stand in for it:
// the JPEG files of a folder (sorted by name) or the frames of a motion-JPEG AVI, bytes
// unchanged.
#pragma once

#include <string>

#include "emulated/emulated_camera_config.h"

namespace platform::v4l2 {

class CEmulatedFrameFiles {
  public:
    // The samples of a folder's .jpg/.jpeg files or of an MJPEG AVI's video packets; null with
    // *error set when there are none or the path cannot be read.
    static EmulatedFrames Load(const std::string& path, std::string* error);
};

}  // namespace platform::v4l2
