// The capture filter of one V4L2 camera: a capture pin, and a still pin with video control
// when the camera offers still pictures. Running it streams the camera on its own thread.
#pragma once

#include "platform/graph/base_filter.h"
#include "platform/v4l2/device_discovery.h"
#include "platform/v4l2/v4l2_capture.h"

class CV4l2SourceFilter : public CBaseFilter, public IAMVideoControl {
  public:
    // Opens the camera; the errno of a failed open as a failure code.
    static HRESULT Create(const platform::v4l2::V4l2DeviceInfo& device, IBaseFilter** filter);
    ~CV4l2SourceFilter() override;

    QV_FORWARD_UNKNOWN(CBaseFilter)

    HRESULT GetCaps(IPin* pin, LONG* flags) override;
    HRESULT SetMode(IPin* pin, LONG mode) override;
    HRESULT GetMode(IPin* pin, LONG* mode) override;

    bool StreamEnded() const { return m_capture.StreamEnded(); }
    // Called on the streaming thread when the stream ends by itself (the camera went away).
    // Set it while stopped; each run takes the handler it finds.
    void SetStreamEndHandler(platform::v4l2::CV4l2Capture::EndHandler handler) {
        m_endHandler = std::move(handler);
    }

  protected:
    HRESULT QueryExtra(REFIID iid, void** out) override;
    HRESULT OnRun() override;
    void OnStop() override;

  private:
    CV4l2SourceFilter() = default;

    platform::v4l2::CV4l2Capture m_capture;
    platform::v4l2::CV4l2Capture::EndHandler m_endHandler;
    bool m_hasStill = false;
    LONG m_mode = 0;
};
