// The capture engine of one opened camera: a filter graph in which the camera's capture
// filter feeds a sample grabber whose callback receives every frame.
//
// All operations run on the window's thread. Stop (and so Close) waits for the streaming
// thread, which may wait for the window in its send: call Close only after the window's
// handle was destroyed.
#pragma once

#include <QString>

#include "capture/capture_device_entry.h"
#include "capture/capture_window.h"
#include "capture/sample_grabber_cb_impl.h"
#include "platform/graph/dshow_interfaces.h"

class DsCapture {
  public:
    DsCapture(ICaptureWindow* owner, QString displayName, CComPtr<IMoniker> moniker);
    DsCapture(const DsCapture&) = delete;
    DsCapture& operator=(const DsCapture&) = delete;

    HRESULT OpenSource();
    // BeginBuildGraph, the camera's settle pause (SettleDelayMs, slept here), FinishBuildGraph.
    HRESULT BuildGraph();
    // BuildGraph in two steps for a caller that must not sleep: the first puts the sample
    // grabber into the graph (S_OK: now let the camera settle for SettleDelayMs), the second
    // sets the format and builds the rest. Results as BuildGraph's.
    HRESULT BeginBuildGraph();
    HRESULT FinishBuildGraph();
    bool AddStillPath();
    // False when the graph is not built or refuses to run; the graph is then stopped again
    // and m_running stays clear.
    bool Run();
    bool Stop();
    void DismantleGraph();
    void RemoveDownstream(IBaseFilter* filter);
    void ReleaseInterfaces();
    // Stops, dismantles, releases and frees the engine.
    void Close();

    // The pause BuildGraph gives the camera before asking for its format (500 ms).
    static DWORD SettleDelayMs();
    static void SetSettleDelayForTesting(DWORD ms);

    // The device's display name, as the entry gave it.
    const QString& DisplayName() const { return m_displayName; }
    ICaptureWindow* Owner() const { return m_owner; }
    bool IsGraphBuilt() const { return m_graphBuilt != 0; }
    bool IsRunning() const { return m_running != 0; }
    // The engine's own objects, not counted: null when not held.
    IGraphBuilder* Graph() const { return m_graph.Get(); }
    IBaseFilter* Source() const { return m_source.Get(); }
    IVideoWindow* VideoWindow() const { return m_videoWindow.Get(); }
    IPin* StillPin() const { return m_stillPin.Get(); }
    IAMStreamConfig* StillConfig() const { return m_stillConfig.Get(); }

    // How much of the still path the engine holds: the video control, the still pin, its
    // configuration and the still grabber. A successful BuildGraph leaves none or all of them.
    enum class StillPath { None, Partial, Built };
    StillPath StillPathState() const;
    // Whether any interface that ReleaseInterfaces drops is still held.
    bool HoldsInterfaces() const;
    // The moniker stays until Close, so that the camera can be opened again.
    bool HoldsMoniker() const { return static_cast<bool>(m_moniker); }

  private:
    ~DsCapture() = default;

    QString m_displayName;
    ICaptureWindow* m_owner;
    CComPtr<IMoniker> m_moniker;
    CComPtr<ICaptureGraphBuilder2> m_builder;
    CComPtr<IBaseFilter> m_source;
    CComPtr<IAMVideoControl> m_videoControl;
    CComPtr<IPin> m_stillPin;
    CComPtr<IBaseFilter> m_stillGrabber;
    CComPtr<IAMStreamConfig> m_stillConfig;
    int m_graphBuilt = 0;
    int m_running = 0;
    CComPtr<IVideoWindow> m_videoWindow;
    CComPtr<IGraphBuilder> m_graph;
    SampleGrabberCBImpl m_callback;
    CComPtr<IBaseFilter> m_grabber;
};

// For holders: closes the engine instead of deleting it.
struct DsCaptureCloser {
    void operator()(DsCapture* capture) const {
        if (capture) capture->Close();
    }
};

// Whether a failed OpenSource means the camera is there but the user may not open it (not in
// the group that owns the device node), and the errno a failure code carries (0 if none).
bool dscap_access_denied(HRESULT hr);
int dscap_errno(HRESULT hr);

// A new engine for the entry's device, or null when its display name does not parse.
DsCapture* dscap_open_device(ICaptureWindow* owner, const CaptureDeviceEntry& entry);
