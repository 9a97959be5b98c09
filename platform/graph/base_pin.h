// A pin of one of this layer's filters. Its references are its filter's; a connection holds
// one reference on the other end. Samples travel from an output pin to the pin it is
// connected to, on the streaming thread.
#pragma once

#include <mutex>

#include "platform/graph/dshow_interfaces.h"

class CBaseFilter;

class CBasePin : public IPin {
  public:
    CBasePin(CBaseFilter* owner, QString name, PIN_DIRECTION dir, const GUID& category);
    virtual ~CBasePin();
    CBasePin(const CBasePin&) = delete;
    CBasePin& operator=(const CBasePin&) = delete;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Connect(IPin* receive, const AM_MEDIA_TYPE* mt) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* dir) override;
    HRESULT QueryId(QString* id) override;

    const GUID& Category() const { return m_category; }
    PIN_DIRECTION Direction() const { return m_dir; }
    const QString& Name() const { return m_name; }
    bool IsConnected() const;

    // Output pins: hands a sample to the connected pin. S_FALSE when nothing is connected.
    HRESULT Deliver(IMediaSample* sample);
    // Input pins: a sample arrives; goes to the filter.
    HRESULT Receive(IMediaSample* sample);

  protected:
    virtual HRESULT QueryExtra(REFIID iid, void** out);
    CBaseFilter* Owner() const { return m_owner; }

  private:
    CBaseFilter* m_owner;
    QString m_name;
    PIN_DIRECTION m_dir;
    GUID m_category;
    mutable std::mutex m_mutex;
    CBasePin* m_connected = nullptr;  // one reference; guarded by m_mutex
};
