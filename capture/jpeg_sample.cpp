#include "capture/jpeg_sample.h"

long JpegSampleLength(const BYTE* buffer, long length) {
    if (!buffer || length < 4) return 0;
    if (buffer[0] != 0xFF || buffer[1] != 0xD8) return 0;
    // The last marker, not the first: an embedded thumbnail ends with one of its own.
    for (long end = length; end >= 4; --end) {
        if (buffer[end - 2] == 0xFF && buffer[end - 1] == 0xD9) return end;
    }
    return 0;
}
