// One sample on its way down the graph. It lives for the delivery call only, on the streaming
// thread's stack; a filter that keeps the data copies it.
#pragma once

#include "platform/graph/dshow_interfaces.h"

class CMediaSample : public IMediaSample {
  public:
    CMediaSample(const BYTE* data, LONG size, REFERENCE_TIME start)
        : m_data(data), m_size(size), m_start(start) {}

    HRESULT QueryInterface(REFIID iid, void** out) override;
    // Not counted: the sample does not outlive the call that delivers it.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }

    HRESULT GetPointer(BYTE** buffer) override;
    LONG GetSize() override { return m_size; }
    LONG GetActualDataLength() override { return m_size; }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;

  private:
    const BYTE* m_data;
    LONG m_size;
    REFERENCE_TIME m_start;
};
