// Dialog templates as data, and the one conversion from dialog units to pixels.
#pragma once

#include <QRect>
#include <QString>
#include <vector>

class QWidget;

namespace platform {

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_STATIC = -1;

enum class ControlKind {
    PushButton,
    StaticText,    // a label; centred when ItemCentered
    StaticBitmap,  // shows a bitmap resource and sizes itself to it
    StaticIcon,    // shows the application icon
    StaticFrame,   // a black frame (panes)
    ListView,      // icon-view list
};

enum ItemFlags : unsigned {
    ItemHidden = 1u << 0,
    ItemCentered = 1u << 1,
};

struct DialogItem {
    int id;
    ControlKind kind;
    int x, y, cx, cy;  // dialog units
    const char* text;  // UTF-8
    unsigned flags;
    int resourceId;  // bitmap resource of a StaticBitmap
};

struct DialogTemplate {
    int id;
    const char* title;  // UTF-8
    int cx, cy;         // client size in dialog units
    int pointSize;      // of the template font
    bool maximizeBox;
    std::vector<DialogItem> items;
};

// The template with this resource id, or null.
const DialogTemplate* FindDialogTemplate(int id);

// Dialog units of a template in pointSize to pixels.
QRect DluToPixels(const QRect& dlu, int pointSize);

// Numeric control ids on widgets.
void SetControlId(QWidget* control, int id);
int GetControlId(const QWidget* control);  // 0 when none
// The direct child of parent with this id, or null.
QWidget* FindChildById(const QWidget* parent, int id);

}  // namespace platform
