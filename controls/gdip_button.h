// An owner-drawn push button: a PNG image scaled to the button, a caption over it, and three
// looks (normal, hover, pressed).
#pragma once

#include <QFont>
#include <QImage>
#include <QPushButton>
#include <memory>

#include "controls/gdiplus_bitmap.h"
#include "platform/win_types.h"

class CGdipButton : public QPushButton {
    Q_OBJECT
  public:
    explicit CGdipButton(QWidget* parent = nullptr);
    ~CGdipButton() override;

    // Makes the PNG resource id the button's image; a failed load leaves an empty image.
    void SetPngImage(int id);
    // Caption text, font size (height = size x 1.4, truncated) and text colour.
    void SetCaption(const QString& text, int fontSize, COLORREF color);

    const QString& Caption() const { return m_caption; }
    COLORREF CaptionColor() const { return m_captionColor; }
    const QFont* CaptionFont() const { return m_captionFont.get(); }
    bool IsHovering() const { return m_bHovering; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void DrawItem(QPainter& target);

    std::unique_ptr<QFont> m_captionFont;
    COLORREF m_captionColor = RGB(80, 80, 80);
    QString m_caption;
    bool m_bHovering = false;
    bool m_bTracking = false;
    std::unique_ptr<CGdiPlusBitmapResource> m_image;
    QImage m_bgSurface;
    QImage m_normalSurface;
    QImage m_pressedSurface;
    QImage m_hoverSurface;
    const QImage* m_pCurSurface = nullptr;
    int m_hoverTimer = 0;
};
