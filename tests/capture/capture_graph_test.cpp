#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/device_discovery.h"
#include "capture/dscapture.h"
#include "emulated/emulated_camera_system.h"
#include "platform/graph/com_runtime.h"
#include "platform/graph/source_still_pin.h"
#include "platform/graph/v4l2_source_filter.h"
#include "platform/graph/video_renderer.h"
#include "tests/capture/capture_test_window.h"
#include "tests/support/test_support.h"

using platform::v4l2::CEmulatedCameraSystem;
using platform::v4l2::EmulatedCameraConfig;
using testing_support::WaitUntil;

namespace {

std::vector<QString> FilterNames(IGraphBuilder* graph) {
    std::vector<QString> names;
    CComPtr<IEnumFilters> filters;
    if (!graph || FAILED(graph->EnumFilters(&filters))) return names;
    IBaseFilter* f = nullptr;
    while (filters->Next(1, &f, nullptr) == S_OK) {
        CComPtr<IBaseFilter> held = CComPtr<IBaseFilter>::Attach(f);
        FILTER_INFO info;
        f->QueryFilterInfo(&info);
        if (info.pGraph) info.pGraph->Release();
        names.push_back(info.achName);
    }
    return names;
}

class CaptureGraph : public ::testing::Test {
  protected:
    void SetUp() override {
        TestLogPath();
        DsCapture::SetSettleDelayForTesting(0);
    }
    void TearDown() override { DsCapture::SetSettleDelayForTesting(500); }

    // Opens the first supported camera for the window.
    std::unique_ptr<DsCapture, DsCaptureCloser> Open(ICaptureWindow* window) {
        const auto list = dscap_enum_device();
        if (list.empty()) return nullptr;
        return std::unique_ptr<DsCapture, DsCaptureCloser>(dscap_open_device(window, list[0]));
    }
    // The window's start sequence.
    static bool Start(DsCapture& c) {
        if (c.IsRunning() && !c.Stop()) return false;
        if (c.IsGraphBuilt()) c.DismantleGraph();
        c.ReleaseInterfaces();
        if (FAILED(c.OpenSource())) return false;
        if (FAILED(c.BuildGraph())) return false;
        return c.Run();
    }
    // Ends as the capture window does: the handle goes first, then the engine.
    static void Finish(CTestCaptureWindow& window, std::unique_ptr<DsCapture, DsCaptureCloser>& c) {
        window.Destroy();
        c.reset();
    }
};

}  // namespace

TEST_F(CaptureGraph, StartSequenceRunsAndFramesReachTheWindow) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CTestCaptureWindow window;
    window.Create();
    auto capture = Open(&window);
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture->Owner(), &window);
    ASSERT_TRUE(Start(*capture));
    EXPECT_TRUE(capture->IsGraphBuilt());
    EXPECT_TRUE(capture->IsRunning());
    EXPECT_EQ(FilterNames(capture->Graph()),
              (std::vector<QString>{"Source", "SampleGrabber", "Video Renderer"}));
    // No still pin on this camera, so no still path and no video control.
    EXPECT_EQ(capture->StillPathState(), DsCapture::StillPath::None);
    // The format the engine asked for reached the camera.
    EXPECT_NEAR(cameras->IntervalSeconds(0), 0.0083333, 1e-6);

    ASSERT_TRUE(WaitUntil([&] { return window.m_frames.load() >= 3; }));
    EXPECT_EQ(window.m_lastFrame.cols, 640);
    EXPECT_EQ(window.m_lastFrame.rows, 480);
    EXPECT_EQ(window.m_lastFrame.type(), CV_8UC3);
    EXPECT_EQ(window.m_lastTarget, IDC_LIVE_PANE);
    Finish(window, capture);
    EXPECT_EQ(cameras->MappedNow(0), 0);
    EXPECT_EQ(cameras->OpenFiles(), 0);
    EXPECT_EQ(FrameMessage::LiveCount(), 0);
}

TEST_F(CaptureGraph, OperationResultsFollowTheEngineState) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CTestCaptureWindow window;
    auto capture = Open(&window);
    ASSERT_TRUE(capture);
    // Opened: nothing built.
    EXPECT_EQ(capture->BuildGraph(), E_INVALIDARG);
    EXPECT_FALSE(capture->Run());
    EXPECT_FALSE(capture->Stop());

    ASSERT_EQ(capture->OpenSource(), S_OK);
    EXPECT_EQ(FilterNames(capture->Graph()), (std::vector<QString>{"Source"}));
    EXPECT_FALSE(capture->Run());  // not built
    ASSERT_EQ(capture->BuildGraph(), S_OK);
    const size_t built = FilterNames(capture->Graph()).size();
    EXPECT_EQ(capture->BuildGraph(), S_FALSE);  // adds nothing
    EXPECT_EQ(FilterNames(capture->Graph()).size(), built);

    EXPECT_TRUE(capture->Run());
    EXPECT_TRUE(capture->Run());  // already running: true, nothing else
    EXPECT_TRUE(capture->IsRunning());
    // Dismantled while running: a rebuild is refused until stopped.
    capture->DismantleGraph();
    EXPECT_FALSE(capture->IsGraphBuilt());
    EXPECT_EQ(capture->BuildGraph(), E_FAIL);
    EXPECT_TRUE(capture->Stop());
    EXPECT_FALSE(capture->Stop());
    EXPECT_FALSE(capture->IsRunning());
    EXPECT_FALSE(cameras->Streaming(0));

    capture->DismantleGraph();
    EXPECT_EQ(FilterNames(capture->Graph()), (std::vector<QString>{"Source"}));
    ASSERT_EQ(capture->BuildGraph(), S_OK);  // builds again on the same source
    EXPECT_TRUE(capture->Run());
    EXPECT_TRUE(capture->Stop());
    capture->DismantleGraph();
    EXPECT_EQ(FilterNames(capture->Graph()), (std::vector<QString>{"Source"}));
    capture->ReleaseInterfaces();
    EXPECT_FALSE(capture->HoldsInterfaces());
    EXPECT_TRUE(capture->HoldsMoniker());  // kept until Close
}

// The window's replug lets the camera settle on a timer between the two steps.
TEST_F(CaptureGraph, BuildInTwoStepsGivesTheOneStepGraph) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CTestCaptureWindow window;
    window.Create();
    auto capture = Open(&window);
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture->BeginBuildGraph(), E_INVALIDARG);  // no source yet
    ASSERT_EQ(capture->OpenSource(), S_OK);
    EXPECT_EQ(capture->FinishBuildGraph(), E_INVALIDARG);  // not begun
    EXPECT_EQ(FilterNames(capture->Graph()), (std::vector<QString>{"Source"}));

    ASSERT_EQ(capture->BeginBuildGraph(), S_OK);
    EXPECT_EQ(FilterNames(capture->Graph()), (std::vector<QString>{"Source", "SampleGrabber"}));
    EXPECT_FALSE(capture->IsGraphBuilt());
    EXPECT_FALSE(capture->Run());
    EXPECT_EQ(capture->BeginBuildGraph(), S_OK);  // still settling: nothing added
    EXPECT_EQ(FilterNames(capture->Graph()).size(), 2u);

    ASSERT_EQ(capture->FinishBuildGraph(), S_OK);
    EXPECT_TRUE(capture->IsGraphBuilt());
    EXPECT_EQ(FilterNames(capture->Graph()),
              (std::vector<QString>{"Source", "SampleGrabber", "Video Renderer"}));
    EXPECT_EQ(capture->BeginBuildGraph(), S_FALSE);
    EXPECT_EQ(capture->FinishBuildGraph(), S_FALSE);
    EXPECT_EQ(capture->BuildGraph(), S_FALSE);
    ASSERT_TRUE(capture->Run());
    EXPECT_NEAR(cameras->IntervalSeconds(0), 0.0083333, 1e-6);
    ASSERT_TRUE(WaitUntil([&] { return window.m_frames.load() >= 2; }));
    EXPECT_EQ(window.m_lastFrame.cols, 640);
    Finish(window, capture);
    EXPECT_EQ(cameras->OpenFiles(), 0);
}

// Closed between the two steps: nothing stays open.
TEST_F(CaptureGraph, CloseWhileSettlingReleasesTheCamera) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CTestCaptureWindow window;
    window.Create();
    auto capture = Open(&window);
    ASSERT_TRUE(capture);
    ASSERT_EQ(capture->OpenSource(), S_OK);
    ASSERT_EQ(capture->BeginBuildGraph(), S_OK);
    EXPECT_GT(cameras->OpenFiles(), 0);
    Finish(window, capture);
    EXPECT_EQ(cameras->OpenFiles(), 0);
}

TEST_F(CaptureGraph, StillPathWithVideoControl) {
    EmulatedCameraConfig still = EmulatedCameraConfig::Microscope();
    still.stillPin = true;
    CEmulatedCameraSystem cameras({still});
    CTestCaptureWindow window;
    window.Create();
    auto capture = Open(&window);
    ASSERT_TRUE(capture);
    ASSERT_TRUE(Start(*capture));
    ASSERT_EQ(capture->StillPathState(), DsCapture::StillPath::Built);
    EXPECT_EQ(FilterNames(capture->Graph()),
              (std::vector<QString>{"Source", "SampleGrabber", "Video Renderer", "NullRender",
                                    "StillSampleGrabber"}));
    // Capability 0 was applied as YUY2 640x480.
    auto* pin = dynamic_cast<CSourceStillPin*>(capture->StillPin());
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(pin->FormatsSet(), 1);
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(capture->StillConfig()->GetFormat(&mt), S_OK);
    EXPECT_EQ(mt->subtype, MEDIASUBTYPE_YUY2);
    EXPECT_EQ(VideoInfoOf(mt)->bmiHeader.biWidth, 640);
    DeleteMediaType(mt);
    ASSERT_TRUE(WaitUntil([&] { return window.m_frames.load() >= 2; }));

    window.Destroy();
    ASSERT_TRUE(capture->Stop());
    capture->DismantleGraph();
    EXPECT_EQ(FilterNames(capture->Graph()), (std::vector<QString>{"Source"}));
    capture.reset();
}

TEST_F(CaptureGraph, MissingConfigurationsTouchNothingAndFailNothing) {
    EmulatedCameraConfig noCaps = EmulatedCameraConfig::Microscope();
    noCaps.stillPin = true;
    noCaps.stillCapabilities = 0;
    noCaps.listsFormats = false;  // no stream configuration on the capture pin
    CEmulatedCameraSystem cameras({noCaps});
    CTestCaptureWindow window;
    window.Create();
    auto capture = Open(&window);
    ASSERT_TRUE(capture);
    ASSERT_TRUE(Start(*capture));
    ASSERT_EQ(capture->StillPathState(), DsCapture::StillPath::Built);
    EXPECT_EQ(dynamic_cast<CSourceStillPin*>(capture->StillPin())->FormatsSet(), 0);
    // The camera kept its own interval: nobody could ask for another.
    EXPECT_NEAR(cameras.IntervalSeconds(0), 1.0 / 30, 1e-6);
    ASSERT_TRUE(WaitUntil([&] { return window.m_frames.load() >= 1; }));
    Finish(window, capture);
}

TEST_F(CaptureGraph, RendererWindowIsNeverShown) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CTestCaptureWindow window;
    window.Create();
    auto capture = Open(&window);
    ASSERT_TRUE(capture);
    ASSERT_TRUE(Start(*capture));
    ASSERT_TRUE(capture->VideoWindow());
    LONG style = 0, autoShow = 1, visible = 1;
    capture->VideoWindow()->get_WindowStyle(&style);
    capture->VideoWindow()->get_AutoShow(&autoShow);
    capture->VideoWindow()->get_Visible(&visible);
    EXPECT_EQ(style, WS_CHILD | WS_CLIPSIBLINGS);
    EXPECT_EQ(autoShow, OAFALSE);
    EXPECT_EQ(visible, OAFALSE);  // still hidden while running
    ASSERT_TRUE(WaitUntil([&] { return window.m_frames.load() >= 2; }));
    // The renderer did get the stream, and no window appeared for it.
    CComPtr<IBaseFilter> renderer;
    ASSERT_EQ(capture->Graph()->FindFilterByName(QStringLiteral("Video Renderer"), &renderer),
              S_OK);
    EXPECT_GT(dynamic_cast<CVideoRenderer*>(renderer.Get())->SamplesRendered(), 0);
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(w->isVisible());
    Finish(window, capture);
}

TEST_F(CaptureGraph, RunThatTheCameraRefusesReportsFalse) {
    EmulatedCameraConfig refusing = EmulatedCameraConfig::Microscope();
    refusing.refusesStream = true;
    CEmulatedCameraSystem cameras({refusing});
    CTestCaptureWindow window;
    window.Create();
    auto capture = Open(&window);
    ASSERT_TRUE(capture);
    ASSERT_EQ(capture->OpenSource(), S_OK);
    ASSERT_EQ(capture->BuildGraph(), S_OK);
    EXPECT_FALSE(capture->Run());
    EXPECT_FALSE(capture->IsRunning());
    EXPECT_FALSE(capture->Stop());
    FILTER_STATE state = State_Running;
    QueryAs<IMediaControl>(capture->Graph(), IID_IMediaControl)->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(cameras.MappedNow(0), 0);
    Finish(window, capture);
}

TEST_F(CaptureGraph, CameraGoneBeforeOpenFailsTheSourceAndReleasesAll) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CTestCaptureWindow window;
    auto capture = Open(&window);
    ASSERT_TRUE(capture);
    cameras->Unplug(0);
    EXPECT_TRUE(FAILED(capture->OpenSource()));
    EXPECT_FALSE(capture->HoldsInterfaces());
    EXPECT_TRUE(FAILED(capture->BuildGraph()));
}

TEST_F(CaptureGraph, GraphBuilderCreationFailureFailsTheOpen) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CTestCaptureWindow window;
    auto capture = Open(&window);
    ASSERT_TRUE(capture);
    SetCoCreateFailureForTesting(&CLSID_CaptureGraphBuilder2);
    EXPECT_EQ(capture->OpenSource(), E_FAIL);
    SetCoCreateFailureForTesting(&CLSID_FilterGraph);
    EXPECT_EQ(capture->OpenSource(), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(capture->HoldsInterfaces());
    SetCoCreateFailureForTesting(nullptr);
    EXPECT_EQ(capture->OpenSource(), S_OK);
}

// A callback of its own on the preview grabber sees the camera's bytes unchanged.
namespace {
class CRecordingCallback : public ISampleGrabberCB {
  public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT BufferCB(double, BYTE* buffer, long length) override {
        std::lock_guard lock(m_mutex);
        m_samples.emplace_back(buffer, buffer + length);
        return S_OK;
    }
    size_t Count() {
        std::lock_guard lock(m_mutex);
        return m_samples.size();
    }
    std::mutex m_mutex;
    std::vector<std::vector<BYTE>> m_samples;
};
}  // namespace

TEST_F(CaptureGraph, SamplesReachTheGrabberCallbackIntact) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CRecordingCallback callback;
    {
        CComPtr<IGraphBuilder> graph;
        CComPtr<ICaptureGraphBuilder2> builder;
        CComPtr<IBaseFilter> grabber;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                   graph.AsOut()),
                  S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC,
                                   IID_ICaptureGraphBuilder2, builder.AsOut()),
                  S_OK);
        ASSERT_EQ(builder->SetFiltergraph(graph.Get()), S_OK);
        const auto list = dscap_enum_device();
        ASSERT_EQ(list.size(), 1u);
        CComPtr<IBindCtx> ctx;
        CreateBindCtx(0, &ctx);
        CComPtr<IMoniker> moniker;
        ULONG eaten = 0;
        ASSERT_EQ(MkParseDisplayName(ctx.Get(), list[0].displayName, &eaten, &moniker), S_OK);
        CComPtr<IBaseFilter> source;
        ASSERT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, source.AsOut()), S_OK);
        ASSERT_EQ(graph->AddFilter(source.Get(), QStringLiteral("Source")), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC, IID_IBaseFilter,
                                   grabber.AsOut()),
                  S_OK);
        ASSERT_EQ(graph->AddFilter(grabber.Get(), QStringLiteral("SampleGrabber")), S_OK);
        QueryAs<ISampleGrabber>(grabber.Get(), IID_ISampleGrabber)->SetCallback(&callback, 1);
        EXPECT_EQ(builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source.Get(),
                                        grabber.Get(), nullptr),
                  VFW_S_NOPREVIEWPIN);
        auto control = QueryAs<IMediaControl>(graph.Get(), IID_IMediaControl);
        ASSERT_EQ(control->Run(), S_OK);
        ASSERT_TRUE(WaitUntil([&] { return callback.Count() >= 3; }));
        control->Stop();
    }
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(callback.m_samples[static_cast<size_t>(k)], cameras->SampleBytes(0, k));
    EXPECT_EQ(cameras->OpenFiles(), 0);
}
