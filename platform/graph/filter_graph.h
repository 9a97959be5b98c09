// The filter graph: named filters, their connections, and running and stopping them together.
// Connections change only while the graph is stopped.
#pragma once

#include <vector>

#include "platform/graph/dshow_interfaces.h"

class CFilterGraph : public IGraphBuilder, public IMediaControl {
  public:
    CFilterGraph();
    virtual ~CFilterGraph();
    CFilterGraph(const CFilterGraph&) = delete;
    CFilterGraph& operator=(const CFilterGraph&) = delete;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++m_refCount; }
    ULONG Release() override;

    // IFilterGraph / IGraphBuilder
    HRESULT AddFilter(IBaseFilter* filter, const QString& name) override;
    HRESULT RemoveFilter(IBaseFilter* filter) override;
    HRESULT EnumFilters(IEnumFilters** filters) override;
    HRESULT FindFilterByName(const QString& name, IBaseFilter** filter) override;
    HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) override;
    HRESULT Reconnect(IPin* pin) override;
    HRESULT Disconnect(IPin* pin) override;
    HRESULT SetDefaultSyncSource() override { return S_OK; }
    HRESULT Connect(IPin* out, IPin* in) override { return ConnectDirect(out, in, nullptr); }

    // IMediaControl
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG timeoutMs, FILTER_STATE* state) override;

  private:
    struct Entry {
        CComPtr<IBaseFilter> filter;
        QString name;
    };
    QString UniqueName(const QString& wanted) const;
    static void DisconnectAll(IBaseFilter* filter);

    std::atomic<ULONG> m_refCount{1};
    std::vector<Entry> m_filters;  // in the order they were added
    FILTER_STATE m_state = State_Stopped;
};
