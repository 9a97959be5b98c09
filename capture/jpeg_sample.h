// Which bytes of a camera sample are the JPEG picture.
#pragma once

#include "platform/graph/com_types.h"

// The number of leading bytes that form the JPEG: the sample must start with the start-of-image
// marker and hold an end-of-image marker; it is cut after the last end marker, so padding,
// junk or a bytesused larger than the picture are left out. 0 when it is no JPEG.
long JpegSampleLength(const BYTE* buffer, long length);
