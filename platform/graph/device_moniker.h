// Names one video input device by its display name. Binding looks the device up again, so a
// moniker parsed from a stored name finds the camera on whatever /dev/videoN it has now.
#pragma once

#include "platform/graph/dshow_interfaces.h"

class CDeviceMoniker : public IMoniker {
    QV_REFCOUNTED_UNKNOWN()
  public:
    explicit CDeviceMoniker(QString displayName) : m_displayName(std::move(displayName)) {}
    virtual ~CDeviceMoniker() = default;

    static bool IsDeviceDisplayName(const QString& name);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    // IBaseFilter: the camera's source filter; fails when the device is gone or cannot open.
    HRESULT BindToObject(IBindCtx* ctx, IMoniker* left, REFIID iid, void** out) override;
    // IPropertyBag with the device's properties.
    HRESULT BindToStorage(IBindCtx* ctx, IMoniker* left, REFIID iid, void** out) override;
    HRESULT GetDisplayName(IBindCtx* ctx, IMoniker* left, QString* name) override;

  private:
    QString m_displayName;
};
