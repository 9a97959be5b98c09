// The capture pin of a V4L2 source: carries the camera's stream and configures its format and
// frame interval. A camera that lists no formats has no stream configuration.
#pragma once

#include <vector>

#include "platform/graph/base_pin.h"
#include "platform/v4l2/v4l2_capture.h"

class CSourceCapturePin : public CBasePin, public IAMStreamConfig {
  public:
    CSourceCapturePin(CBaseFilter* owner, platform::v4l2::CV4l2Capture& capture);

    QV_FORWARD_UNKNOWN(CBasePin)

    // Applies the format (S_FMT) and, when AvgTimePerFrame is set, the frame interval
    // (S_PARM). E_FAIL when the camera keeps another format than the one asked for.
    HRESULT SetFormat(AM_MEDIA_TYPE* mt) override;
    HRESULT GetFormat(AM_MEDIA_TYPE** mt) override;
    HRESULT GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override;

    static GUID SubtypeOf(uint32_t fourcc);
    static uint32_t FourccOf(const GUID& subtype);

  protected:
    HRESULT QueryExtra(REFIID iid, void** out) override;

  private:
    platform::v4l2::CV4l2Capture& m_capture;
    std::vector<platform::v4l2::V4l2Format> m_caps;
};
