// A modal dialog built from a template, with numeric control ids, a window handle for message
// delivery and a message map.
#pragma once

#include <QColor>
#include <QDialog>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/message_delivery.h"

namespace platform {

// What a control colour request answers: the colours a control is painted with.
struct CtlColor {
    QColor text;  // invalid: the default text colour
    QColor background = Qt::white;
    bool noBrush = false;  // paint no background at all (the control draws its own)
};

class CDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CDialog(int templateId, QWidget* parent = nullptr);
    ~CDialog() override;

    // Creates the window, runs OnInitDialog and, unless set-up ended the dialog, the modal loop.
    // The window (and its handle) is gone when it returns. -1 when the template is missing.
    int DoModal();
    // Modeless: creates the window, runs OnInitDialog and shows it (tests and embedding).
    bool Create();
    // Takes the handle away (waking senders) and hides the window.
    void DestroyWindow();
    void EndDialog(int result);
    // A window without a sizing border: the window manager may change its size only by maximize
    // and restore. Call before the window is shown.
    void SetNoSizingBorder() { m_noSizingBorder = true; }

    HWND GetSafeHwnd() const { return m_target.GetSafeHwnd(); }
    QWidget* GetDlgItem(int id) const;
    // The template's controls in window order.
    const std::vector<QWidget*>& GetChildWindows() const { return m_controls; }
    const DialogTemplate* GetTemplate() const { return m_template; }

  protected:
    // Binds a member control to a template item: the member takes the item's place.
    void DDX_Control(int id, QWidget* control);
    // Routes a message number to a handler (the message map).
    void OnMessage(UINT msg, std::function<LRESULT(WPARAM, LPARAM)> handler);

    virtual void DoDataExchange() {}
    virtual BOOL OnInitDialog() { return TRUE; }
    // The colours of control (null: the dialog itself). Default: white everywhere.
    virtual CtlColor OnCtlColor(QWidget* control);
    // Applies OnCtlColor to the dialog and every control; call again after a colour change.
    void ApplyCtlColors();

    void reject() override;
    void showEvent(QShowEvent* event) override;

  private:
    bool CreateWindowFromTemplate();
    QWidget* CreateGenericControl(const DialogItem& item);
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);

    const DialogTemplate* m_template;
    CMessageTarget m_target;
    std::unordered_map<UINT, std::function<LRESULT(WPARAM, LPARAM)>> m_messageMap;
    std::unordered_map<int, QWidget*> m_bindings;
    std::vector<QWidget*> m_controls;
    bool m_created = false;
    bool m_endRequested = false;
    bool m_noSizingBorder = false;
    int m_endResult = 0;
};

}  // namespace platform
