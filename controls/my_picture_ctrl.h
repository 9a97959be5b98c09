// A playback pane: a native child window that libVLC draws into, shown as a black frame, which
// passes WM_LIST_DROP on to its parent dialog.
#pragma once

#include <QWidget>

#include "platform/message_delivery.h"
#include "platform/win_types.h"

class CMyPictureCtrl : public QWidget {
    Q_OBJECT
  public:
    explicit CMyPictureCtrl(QWidget* parent = nullptr);
    ~CMyPictureCtrl() override;

    // The pane's handle for message delivery (not its native window id).
    HWND GetSafeHwnd() const { return m_target.GetSafeHwnd(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    LRESULT OnListDrop(WPARAM wParam, LPARAM lParam);

    platform::CMessageTarget m_target;
};
