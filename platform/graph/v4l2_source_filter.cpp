#include "platform/graph/v4l2_source_filter.h"

#include <chrono>

#include "platform/graph/media_sample.h"
#include "platform/graph/source_capture_pin.h"
#include "platform/graph/source_still_pin.h"

HRESULT CV4l2SourceFilter::Create(const platform::v4l2::V4l2DeviceInfo& device,
                                  IBaseFilter** filter) {
    if (!filter) return E_POINTER;
    *filter = nullptr;
    auto* source = new CV4l2SourceFilter;
    const int err = source->m_capture.Open(device.node);
    if (err) {
        source->Release();
        return HResultFromErrno(err);
    }
    source->m_pins.push_back(std::make_unique<CSourceCapturePin>(source, source->m_capture));
    int32_t stills = 0;
    if (source->m_capture.QueryControl(platform::v4l2::kStillCaptureControl, &stills)) {
        source->m_hasStill = true;
        source->m_pins.push_back(std::make_unique<CSourceStillPin>(source, stills));
    }
    *filter = source;
    return S_OK;
}

CV4l2SourceFilter::~CV4l2SourceFilter() {
    m_capture.Stop();
}

HRESULT CV4l2SourceFilter::QueryExtra(REFIID iid, void** out) {
    if (iid == IID_IAMVideoControl && m_hasStill) {
        *out = static_cast<IAMVideoControl*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CV4l2SourceFilter::GetCaps(IPin*, LONG* flags) {
    if (!flags) return E_POINTER;
    *flags = VideoControlFlag_Trigger | VideoControlFlag_ExternalTriggerEnable;
    return S_OK;
}

HRESULT CV4l2SourceFilter::SetMode(IPin*, LONG mode) {
    m_mode = mode;
    return S_OK;
}

HRESULT CV4l2SourceFilter::GetMode(IPin*, LONG* mode) {
    if (!mode) return E_POINTER;
    *mode = m_mode;
    return S_OK;
}

HRESULT CV4l2SourceFilter::OnRun() {
    CBasePin* out = m_pins.front().get();
    const auto start = std::chrono::steady_clock::now();
    const int err = m_capture.Start(
        [out, start](const unsigned char* data, std::size_t size) {
            const auto t = std::chrono::steady_clock::now() - start;
            CMediaSample sample(
                data, static_cast<LONG>(size),
                std::chrono::duration_cast<std::chrono::nanoseconds>(t).count() / 100);
            out->Deliver(&sample);
        },
        m_endHandler);
    return err ? HResultFromErrno(err) : S_OK;
}

void CV4l2SourceFilter::OnStop() {
    m_capture.Stop();
}
