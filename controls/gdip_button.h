// An owner-drawn push button: a PNG image scaled to the button, a caption over it, and three
// looks (normal, hover after the pointer rests, pressed shifted one pixel right and down).
#pragma once

#include <QBasicTimer>
#include <QFont>
#include <QImage>
#include <QPushButton>
#include <memory>

#include "controls/gdiplus_bitmap.h"
#include "platform/win_types.h"

class CGdipButton : public QPushButton {
    Q_OBJECT
  public:
    // The face the captions ask for; fontconfig falls back to a CJK face.
    static const QString& CaptionFace();
    // The hover colour matrix: each of red, green and blue becomes 1.05 c + 0.05 (clamped),
    // alpha stays. Takes and returns premultiplied ARGB.
    static QImage ApplyHoverMatrix(const QImage& image);

    explicit CGdipButton(QWidget* parent = nullptr);
    ~CGdipButton() override;

    // Makes the PNG resource id the button's image; a failed load leaves an empty image attached.
    void SetPngImage(int id);
    // Caption text, font size (height = size x 1.4, truncated) and text colour.
    void SetCaption(const QString& text, int fontSize, COLORREF color);

    const QString& Caption() const { return m_caption; }
    COLORREF CaptionColor() const { return m_captionColor; }
    const QFont* CaptionFont() const { return m_captionFont.get(); }
    const CGdiPlusBitmapResource* Image() const { return m_image.get(); }
    bool IsHovering() const { return m_bHovering; }
    bool IsTracking() const { return m_bTracking; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void OnMouseMove();
    void OnMouseHover();
    void OnMouseLeave();
    // Starts the hover timer; stands in for the leave and hover request, and always succeeds.
    bool TrackMouseEvent();
    void DrawItem(QPainter& target);
    QImage RenderLook(const QImage* image, const QRectF& where) const;

    std::unique_ptr<QFont> m_captionFont;
    COLORREF m_captionColor = RGB(80, 80, 80);
    QString m_caption;
    bool m_bHovering = false;
    bool m_bTracking = false;
    std::unique_ptr<CGdiPlusBitmapResource> m_image;
    // The image through the hover matrix, made once per image.
    QImage m_hoverImage;
    QImage m_bgSurface;
    QImage m_normalSurface;
    QImage m_pressedSurface;
    QImage m_hoverSurface;
    const QImage* m_pCurSurface = nullptr;
    QBasicTimer m_hoverTimer;
};
