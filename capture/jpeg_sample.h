// Which bytes of a camera sample are the JPEG picture.
#pragma once

#include "platform/graph/com_types.h"

// The number of leading bytes that form the JPEG: the sample must start with the start-of-image
// marker; 0 when it is no JPEG.
long JpegSampleLength(const BYTE* buffer, long length);
