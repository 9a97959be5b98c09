// The default video renderer: ends the preview path and keeps the state of a video window,
// which is never put on screen (the capture window paints the frames itself).
#pragma once

#include <mutex>

#include "platform/graph/base_filter.h"

class CVideoRenderer : public CBaseFilter, public IVideoWindow {
  public:
    CVideoRenderer();

    QV_FORWARD_UNKNOWN(CBaseFilter)

    HRESULT put_WindowStyle(LONG style) override;
    HRESULT get_WindowStyle(LONG* style) override;
    HRESULT put_AutoShow(LONG autoShow) override;
    HRESULT get_AutoShow(LONG* autoShow) override;
    HRESULT put_Visible(LONG visible) override;
    HRESULT get_Visible(LONG* visible) override;
    HRESULT put_Owner(OAHWND owner) override;
    HRESULT get_Owner(OAHWND* owner) override;

    long SamplesRendered() const;
    HRESULT ReceiveSample(CBasePin* pin, IMediaSample* sample) override;

  protected:
    HRESULT QueryExtra(REFIID iid, void** out) override;
    HRESULT OnRun() override;

  private:
    mutable std::mutex m_mutex;
    LONG m_style = 0x06CF0000;  // an overlapped, clipping top-level window, as created
    LONG m_autoShow = OATRUE;
    LONG m_visible = OAFALSE;
    OAHWND m_owner = 0;
    long m_rendered = 0;
};
