// What every filter of this layer shares: reference count, state, pins, its place in a graph.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "platform/graph/base_pin.h"
#include "platform/graph/dshow_interfaces.h"

class CBaseFilter : public IBaseFilter {
  public:
    CBaseFilter();
    virtual ~CBaseFilter();
    CBaseFilter(const CBaseFilter&) = delete;
    CBaseFilter& operator=(const CBaseFilter&) = delete;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++m_refCount; }
    ULONG Release() override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD timeoutMs, FILTER_STATE* state) override;

    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(const QString& id, IPin** pin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, const QString& name) override;

    // A sample reached one of the filter's input pins (streaming thread).
    virtual HRESULT ReceiveSample(CBasePin* pin, IMediaSample* sample);
    virtual bool AcceptsConnection(CBasePin* pin, const AM_MEDIA_TYPE* mt);

    const std::vector<std::unique_ptr<CBasePin>>& Pins() const { return m_pins; }
    FILTER_STATE State() const { return m_state.load(); }

  protected:
    virtual HRESULT QueryExtra(REFIID iid, void** out);
    // State changes; a failed OnRun leaves the filter stopped.
    virtual HRESULT OnRun() { return S_OK; }
    virtual void OnStop() {}

    std::vector<std::unique_ptr<CBasePin>> m_pins;

  private:
    std::atomic<ULONG> m_refCount{1};
    std::atomic<FILTER_STATE> m_state{State_Stopped};
    IFilterGraph* m_graph = nullptr;  // not counted: the graph holds the filter
    QString m_name;
};
