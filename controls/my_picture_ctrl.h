// A playback pane: a native child window that libVLC draws into, which passes WM_LIST_DROP on to
// its parent dialog. Without a clip it is a black outline on the window's white.
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
    // A clip is loaded: black under the video instead of the empty outline.
    void SetLoaded(bool loaded);
    bool IsLoaded() const { return m_loaded; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    LRESULT OnListDrop(WPARAM wParam, LPARAM lParam);

    platform::CMessageTarget m_target;
    bool m_loaded = false;
};
