// What one emulated camera is and how it misbehaves.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::v4l2 {

// What a dequeued buffer holds.
enum class EmulatedSample {
    Good,          // a whole colour JPEG of the current size
    Truncated,     // the first part of a good JPEG, without its end marker
    Garbage,       // JPEG start and end markers around random bytes
    Grey,          // a whole single-channel JPEG
    ErrorFlag,     // a good JPEG in a buffer flagged V4L2_BUF_FLAG_ERROR
    Empty,         // no bytes used
    NoHuffman,     // a good JPEG without its Huffman tables, as many UVC cameras send them
    TrailingJunk,  // a good JPEG followed by junk bytes
    Oversized,     // a good JPEG, bytesused the whole buffer (what follows is stale)
};

// JPEG files played in a loop in place of the synthetic picture, bytes unchanged.
using EmulatedFrames = std::shared_ptr<const std::vector<std::vector<unsigned char>>>;

struct EmulatedCameraConfig {
    std::string vendorId = "534d";  // as sysfs writes them: lower-case hex
    std::string productId = "0021";
    std::string card = "USB Camera";  // empty: the driver gives no card name
    bool metadataNode = true;         // UVC drivers add a metadata node after the capture node
    bool stillPin = false;            // answers the still-capture control
    int stillCapabilities = 1;        // formats the still pin offers (0: none)
    bool listsFormats = true;         // false: VIDIOC_ENUM_FMT lists nothing
    bool refusesFormat = false;       // keeps MJPEG 320x240 whatever it is asked for
    bool refusesStream = false;       // VIDIOC_STREAMON fails with EIO
    unsigned maxBuffers = 4;          // the most buffers VIDIOC_REQBUFS grants
    int maxFramesPerSecond = 0;       // the fastest rate the driver grants; 0: any rate asked for
    int fixedFramesPerSecond = 0;     // grants this rate whatever is asked; 0: as asked
    int unplugAfterFrames = -1;       // gone (ENODEV) after this many frames; -1: never
    int stallAfterFrames = -1;        // no frame after this many, but still there; -1: never
    bool accessDenied = false;        // its nodes do not open for this user (EACCES)
    uint32_t refusesControl = 0;      // VIDIOC_S_CTRL of this control id fails with EIO
    uint32_t halvesControl = 0;       // VIDIOC_S_CTRL of this id keeps half the value asked
    EmulatedFrames frames;            // good samples come from here when set
    std::vector<EmulatedSample> samples;  // repeated in order; empty: every sample good

    // The supported microscope camera (534d:0021).
    static EmulatedCameraConfig Microscope() { return {}; }
    // A webcam the application does not support.
    static EmulatedCameraConfig OtherWebcam() {
        EmulatedCameraConfig c;
        c.vendorId = "046d";
        c.productId = "0825";
        c.card = "Webcam";
        return c;
    }
};

}  // namespace platform::v4l2
