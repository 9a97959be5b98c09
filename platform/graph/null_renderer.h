// Takes samples and drops them.
#pragma once

#include "platform/graph/base_filter.h"

class CNullRenderer : public CBaseFilter {
  public:
    CNullRenderer();
};
