// The still pin of a source whose camera can take still pictures. It keeps its own format;
// V4L2 gives it no samples of its own.
#pragma once

#include "platform/graph/base_pin.h"

class CSourceStillPin : public CBasePin, public IAMStreamConfig {
  public:
    CSourceStillPin(CBaseFilter* owner, int capabilities);

    QV_FORWARD_UNKNOWN(CBasePin)

    HRESULT SetFormat(AM_MEDIA_TYPE* mt) override;
    HRESULT GetFormat(AM_MEDIA_TYPE** mt) override;
    HRESULT GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override;

    int FormatsSet() const { return m_formatsSet; }

  protected:
    HRESULT QueryExtra(REFIID iid, void** out) override;

  private:
    int m_capabilities;
    GUID m_subtype = MEDIASUBTYPE_YUY2;
    LONG m_width = 640;
    LONG m_height = 480;
    int m_formatsSet = 0;
};
