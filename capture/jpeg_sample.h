// Which bytes of a camera sample are the JPEG picture.
#pragma once

#include "platform/graph/com_types.h"

// Some cameras put a few bytes (a header of their own, stale padding) before the picture: the
// start-of-image marker is looked for in this many leading bytes.
constexpr long kJpegStartSearchBytes = 64;

// Where the JPEG starts: the offset of the first start-of-image marker (FF D8, followed by the
// next marker's FF) within the first kJpegStartSearchBytes bytes; -1 when there is none.
long JpegSampleStart(const BYTE* buffer, long length);

// The number of leading bytes that form the JPEG: the sample must start with the start-of-image
// marker and hold an end-of-image marker; it is cut after the last end marker, so padding,
// junk or a bytesused larger than the picture are left out. 0 when it is no JPEG.
long JpegSampleLength(const BYTE* buffer, long length);
