#include "controls/my_picture_ctrl.h"

#include <QPainter>

#include "platform/dialog.h"
#include "res/resource.h"

CMyPictureCtrl::CMyPictureCtrl(QWidget* parent)
    : QWidget(parent), m_target([this](UINT msg, WPARAM w, LPARAM l) -> LRESULT {
          return msg == WM_LIST_DROP ? OnListDrop(w, l) : 0;
      }) {
    // libVLC draws into this X11 window; Qt only paints what the video leaves uncovered.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_DontCreateNativeAncestors);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    m_target.Create();
}

CMyPictureCtrl::~CMyPictureCtrl() {
    m_target.Destroy();
}

void CMyPictureCtrl::SetLoaded(bool loaded) {
    if (loaded == m_loaded) return;
    m_loaded = loaded;
    update();
}

void CMyPictureCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_loaded) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

LRESULT CMyPictureCtrl::OnListDrop(WPARAM wParam, LPARAM) {
    HWND parent = 0;
    if (auto* dialog = dynamic_cast<platform::CDialog*>(parentWidget())) {
        parent = dialog->GetSafeHwnd();
    }
    // Without a parent window the send simply fails.
    platform::SendMessageW(parent, WM_LIST_DROP, wParam, reinterpret_cast<LPARAM>(this));
    return 0;
}
