#include "capture/jpeg_sample.h"

long JpegSampleLength(const BYTE* buffer, long length) {
    if (!buffer || length < 4) return 0;
    if (buffer[0] != 0xFF || buffer[1] != 0xD8) return 0;
    long end = length;
    while (end > 4 && buffer[end - 1] == 0x00) --end;
    return buffer[end - 2] == 0xFF && buffer[end - 1] == 0xD9 ? end : 0;
}
