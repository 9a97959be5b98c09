#include "platform/dialog.h"

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "platform/resources.h"

namespace platform {

CDialog::CDialog(int templateId, QWidget* parent)
    : QDialog(parent),
      m_template(FindDialogTemplate(templateId)),
      m_target([this](UINT msg, WPARAM w, LPARAM l) { return Dispatch(msg, w, l); }) {}

CDialog::~CDialog() {
    m_target.Destroy();
}

void CDialog::DDX_Control(int id, QWidget* control) {
    m_bindings[id] = control;
}

void CDialog::OnMessage(UINT msg, std::function<LRESULT(WPARAM, LPARAM)> handler) {
    m_messageMap[msg] = std::move(handler);
}

LRESULT CDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = m_messageMap.find(msg);
    if (it == m_messageMap.end()) return 0;
    return it->second(wParam, lParam);
}

QWidget* CDialog::GetDlgItem(int id) const {
    for (QWidget* w : m_controls) {
        if (GetControlId(w) == id) return w;
    }
    return nullptr;
}

QWidget* CDialog::CreateGenericControl(const DialogItem& item) {
    switch (item.kind) {
        case ControlKind::PushButton:
            return new QPushButton;
        case ControlKind::StaticText:
        case ControlKind::StaticBitmap:
        case ControlKind::StaticIcon:
            return new QLabel;
        case ControlKind::StaticFrame: {
            auto* frame = new QFrame;
            frame->setFrameShape(QFrame::Box);
            frame->setLineWidth(1);
            QPalette p = frame->palette();
            p.setColor(QPalette::WindowText, Qt::black);
            frame->setPalette(p);
            return frame;
        }
        case ControlKind::ListView:
            return new QListWidget;
    }
    return new QWidget;
}

bool CDialog::CreateWindowFromTemplate() {
    if (!m_template) return false;
    if (m_created) return true;
    m_created = true;
    m_endRequested = false;
    DoDataExchange();

    const int pt = m_template->pointSize;
    const QRect client = DluToPixels(QRect(0, 0, m_template->cx, m_template->cy), pt);
    setWindowTitle(QString::fromUtf8(m_template->title));
    Qt::WindowFlags flags =
        Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (m_template->maximizeBox) flags |= Qt::WindowMaximizeButtonHint;
    setWindowFlags(flags);
    resize(client.size());

    for (const DialogItem& item : m_template->items) {
        auto bound = m_bindings.find(item.id);
        QWidget* control = bound != m_bindings.end() ? bound->second : CreateGenericControl(item);
        control->setParent(this);
        SetControlId(control, item.id);
        const QString text = QString::fromUtf8(item.text);
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            button->setText(text);
            if (item.id == IDOK) connect(button, &QAbstractButton::clicked, this, &QDialog::accept);
        } else if (auto* label = qobject_cast<QLabel*>(control)) {
            if (item.kind == ControlKind::StaticBitmap) {
                const QPixmap bitmap = LoadBitmapResource(item.resourceId);
                label->setPixmap(bitmap);
            } else if (item.kind == ControlKind::StaticIcon) {
                label->setPixmap(LoadIconResource().pixmap(32, 32));
            } else {
                label->setText(text);
                if (item.flags & ItemCentered) label->setAlignment(Qt::AlignCenter);
            }
        }
        QRect r = DluToPixels(QRect(item.x, item.y, item.cx, item.cy), pt);
        if (item.kind == ControlKind::StaticBitmap) {
            if (auto* label = qobject_cast<QLabel*>(control); label && !label->pixmap().isNull())
                r.setSize(label->pixmap().size());
        }
        control->setGeometry(r);
        control->setVisible(!(item.flags & ItemHidden));
        m_controls.push_back(control);
    }
    m_target.Create();
    OnInitDialog();
    ApplyCtlColors();
    return true;
}

CtlColor CDialog::OnCtlColor(QWidget*) {
    return CtlColor{};
}

void CDialog::ApplyCtlColors() {
    auto apply = [](QWidget* w, const CtlColor& c) {
        QPalette p = w->palette();
        if (c.noBrush) {
            w->setAutoFillBackground(false);
        } else {
            p.setColor(QPalette::Window, c.background);
            p.setColor(QPalette::Base, c.background);
            p.setColor(QPalette::Button, c.background);
            w->setAutoFillBackground(true);
        }
        if (c.text.isValid()) {
            p.setColor(QPalette::WindowText, c.text);
            p.setColor(QPalette::Text, c.text);
        }
        w->setPalette(p);
    };
    apply(this, OnCtlColor(nullptr));
    for (QWidget* w : m_controls) apply(w, OnCtlColor(w));
}

int CDialog::DoModal() {
    if (!CreateWindowFromTemplate()) return -1;
    const int result = m_endRequested ? m_endResult : exec();
    DestroyWindow();
    return result;
}

bool CDialog::Create() {
    if (!CreateWindowFromTemplate()) return false;
    if (!m_endRequested) show();
    return true;
}

void CDialog::DestroyWindow() {
    m_target.Destroy();
    hide();
}

void CDialog::EndDialog(int result) {
    m_endRequested = true;
    m_endResult = result;
    done(result);
}

void CDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_noSizingBorder && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        // X11 window managers give no maximize to a window whose minimum and maximum sizes
        // agree, so the size is held by the resize step instead: from the normal size, one step
        // is larger than any X11 window can be. Maximize and restore ignore the step.
        constexpr int kNoResizeStep = 32767;
        setBaseSize(size());
        setSizeIncrement(kNoResizeStep, kNoResizeStep);
    }
}

void CDialog::reject() {
    EndDialog(IDCANCEL);
}

}  // namespace platform
