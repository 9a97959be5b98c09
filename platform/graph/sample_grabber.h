// Passes samples through and hands each one to a callback: the whole sample (method 0,
// SampleCB) or its bytes (method 1, BufferCB). The callback runs on the streaming thread.
#pragma once

#include <mutex>
#include <vector>

#include "platform/graph/base_filter.h"

class CSampleGrabber : public CBaseFilter, public ISampleGrabber {
  public:
    CSampleGrabber();

    QV_FORWARD_UNKNOWN(CBaseFilter)

    HRESULT SetOneShot(BOOL oneShot) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* mt) override;
    HRESULT SetBufferSamples(BOOL buffer) override;
    HRESULT GetCurrentBuffer(long* size, long* buffer) override;
    HRESULT GetCurrentSample(IMediaSample** sample) override;
    HRESULT SetCallback(ISampleGrabberCB* callback, long whichMethod) override;

    HRESULT ReceiveSample(CBasePin* pin, IMediaSample* sample) override;
    bool AcceptsConnection(CBasePin* pin, const AM_MEDIA_TYPE* mt) override;

    long SamplesSeen() const;

  protected:
    HRESULT QueryExtra(REFIID iid, void** out) override;
    HRESULT OnRun() override;

  private:
    mutable std::mutex m_mutex;
    bool m_oneShot = false;
    bool m_oneShotDone = false;
    bool m_buffering = false;
    ISampleGrabberCB* m_callback = nullptr;  // not counted, as the callback object expects
    long m_whichMethod = 0;
    GUID m_majorType = GUID_NULL;  // GUID_NULL: any
    GUID m_subtype = GUID_NULL;
    std::vector<BYTE> m_buffer;
    long m_samples = 0;
};
