// A device's properties: "FriendlyName" (when the driver names the card) and "DevicePath".
#pragma once

#include <QMap>

#include "platform/graph/dshow_interfaces.h"

class CPropertyBag : public IPropertyBag {
    QV_REFCOUNTED_UNKNOWN()
  public:
    explicit CPropertyBag(QMap<QString, QString> values) : m_values(std::move(values)) {}
    virtual ~CPropertyBag() = default;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    // Strings only: E_INVALIDARG for a missing property, E_FAIL for a variant not set up as
    // a string.
    HRESULT Read(const QString& name, VARIANT* value, void* errorLog) override;

  private:
    QMap<QString, QString> m_values;
};
