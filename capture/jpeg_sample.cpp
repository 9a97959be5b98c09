#include "capture/jpeg_sample.h"

long JpegSampleStart(const BYTE* buffer, long length) {
    if (!buffer || length < 2) return -1;
    if (buffer[0] == 0xFF && buffer[1] == 0xD8) return 0;
    // Further in, FF D8 FF (the next marker follows at once) tells the picture from junk.
    for (long at = 1; at < kJpegStartSearchBytes && at + 2 < length; ++at) {
        if (buffer[at] == 0xFF && buffer[at + 1] == 0xD8 && buffer[at + 2] == 0xFF) return at;
    }
    return -1;
}

long JpegSampleLength(const BYTE* buffer, long length) {
    if (!buffer || length < 4) return 0;
    if (buffer[0] != 0xFF || buffer[1] != 0xD8) return 0;
    // The last marker, not the first: an embedded thumbnail ends with one of its own.
    for (long end = length; end >= 4; --end) {
        if (buffer[end - 2] == 0xFF && buffer[end - 1] == 0xD9) return end;
    }
    return 0;
}
