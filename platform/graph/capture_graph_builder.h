// Builds capture paths in a filter graph: finds a source's pins by category and the
// interfaces on them, and renders a stream through an optional intermediate filter to a sink
// or to the default video renderer.
#pragma once

#include "platform/graph/dshow_interfaces.h"

class CCaptureGraphBuilder : public ICaptureGraphBuilder2 {
    QV_REFCOUNTED_UNKNOWN()
  public:
    CCaptureGraphBuilder() = default;
    virtual ~CCaptureGraphBuilder() = default;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT SetFiltergraph(IGraphBuilder* graph) override;
    HRESULT GetFiltergraph(IGraphBuilder** graph) override;
    HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid,
                          void** out) override;
    // VFW_S_NOPREVIEWPIN when a preview was asked of a source without a preview pin and its
    // capture pin was used instead.
    HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                         IBaseFilter* intermediate, IBaseFilter* sink) override;
    HRESULT FindPin(IUnknown* source, PIN_DIRECTION dir, const GUID* category, const GUID* type,
                    BOOL unconnected, int index, IPin** pin) override;

  private:
    CComPtr<IGraphBuilder> m_graph;
};
