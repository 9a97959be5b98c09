#include "controls/gdip_button.h"

#include <QPainter>

CGdipButton::CGdipButton(QWidget* parent) : QPushButton(parent) {}
CGdipButton::~CGdipButton() = default;

void CGdipButton::SetPngImage(int id) {
    m_image = std::make_unique<CGdiPlusBitmapResource>();
    m_image->LoadPng(id);
    update();
}

void CGdipButton::SetCaption(const QString& text, int fontSize, COLORREF color) {
    m_caption = text;
    m_captionColor = color;
    m_captionFont = std::make_unique<QFont>(QStringLiteral("微软雅黑"));
    m_captionFont->setPixelSize(static_cast<int>(fontSize * 1.4));
    update();
}

void CGdipButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    DrawItem(p);
}

void CGdipButton::DrawItem(QPainter& target) {
    if (!m_image) return;
    target.fillRect(rect(), Qt::white);
    if (const QImage* img = m_image->Bitmap()) target.drawImage(rect(), *img);
    if (m_captionFont) target.setFont(*m_captionFont);
    target.setPen(
        QColor(GetRValue(m_captionColor), GetGValue(m_captionColor), GetBValue(m_captionColor)));
    target.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, m_caption);
}

void CGdipButton::enterEvent(QEnterEvent* e) {
    QPushButton::enterEvent(e);
}
void CGdipButton::leaveEvent(QEvent* e) {
    QPushButton::leaveEvent(e);
}
void CGdipButton::mouseMoveEvent(QMouseEvent* e) {
    QPushButton::mouseMoveEvent(e);
}
void CGdipButton::mouseDoubleClickEvent(QMouseEvent* e) {
    QPushButton::mouseDoubleClickEvent(e);
}
void CGdipButton::timerEvent(QTimerEvent* e) {
    QPushButton::timerEvent(e);
}
