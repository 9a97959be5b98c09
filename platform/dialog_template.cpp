#include "platform/dialog_template.h"

#include <QVariant>
#include <QWidget>
#include <cmath>

namespace platform {
namespace {

constexpr const char* kIdProperty = "quorvelControlId";

// "MS Shell Dlg" 8 pt has dialog base units of 6 x 13 pixels at 96 dpi; other sizes scale.
int Scale(int dlu, double baseUnit, int divisor) {
    return static_cast<int>(std::lround(dlu * baseUnit / divisor));
}

}  // namespace

QRect DluToPixels(const QRect& dlu, int pointSize) {
    const double bx = 6.0 * pointSize / 8.0;
    const double by = 13.0 * pointSize / 8.0;
    const int left = Scale(dlu.x(), bx, 4);
    const int top = Scale(dlu.y(), by, 8);
    const int right = Scale(dlu.x() + dlu.width(), bx, 4);
    const int bottom = Scale(dlu.y() + dlu.height(), by, 8);
    return QRect(left, top, right - left, bottom - top);
}

void SetControlId(QWidget* control, int id) {
    if (control) control->setProperty(kIdProperty, id);
}

int GetControlId(const QWidget* control) {
    if (!control) return 0;
    const QVariant v = control->property(kIdProperty);
    return v.isValid() ? v.toInt() : 0;
}

QWidget* FindChildById(const QWidget* parent, int id) {
    if (!parent) return nullptr;
    for (QObject* child : parent->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && GetControlId(w) == id) return w;
    }
    return nullptr;
}

}  // namespace platform
