#include "controls/gdip_button.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>
#include <algorithm>
#include <cmath>

#include "platform/font_height.h"

namespace {

// The pointer counts as resting after this long without leaving.
constexpr int kHoverTimeMs = 1;

constexpr float kHoverScale = 1.05f;
constexpr float kHoverOffset = 0.05f;

int HoverChannel(int c) {
    const float v = std::min(1.0f, kHoverScale * (static_cast<float>(c) / 255.0f) + kHoverOffset);
    return static_cast<int>(std::lround(v * 255.0f));
}

// Line breaks would start a second line; the caption is always drawn on one.
QString OneLine(const QString& text) {
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line;
}

}  // namespace

const QString& CGdipButton::CaptionFace() {
    static const QString face = QStringLiteral("微软雅黑");
    return face;
}

QImage CGdipButton::ApplyHoverMatrix(const QImage& image) {
    if (image.isNull()) return {};
    // The matrix works on straight colour: unpremultiply first, or edge pixels would be brightened
    // past their own alpha.
    QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    int lut[256];
    for (int c = 0; c < 256; ++c) lut[c] = HoverChannel(c);
    for (int y = 0; y < straight.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(straight.scanLine(y));
        for (int x = 0; x < straight.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba(lut[qRed(p)], lut[qGreen(p)], lut[qBlue(p)], qAlpha(p));
        }
    }
    return straight.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

CGdipButton::CGdipButton(QWidget* parent) : QPushButton(parent) {
    // Moves must arrive without a mouse button held, to start hover tracking.
    setMouseTracking(true);
}

CGdipButton::~CGdipButton() = default;

void CGdipButton::SetPngImage(int id) {
    m_image = std::make_unique<CGdiPlusBitmapResource>();
    m_image->LoadPng(id);
    m_hoverImage = m_image->Bitmap() ? ApplyHoverMatrix(*m_image->Bitmap()) : QImage();
    update();
}

void CGdipButton::SetCaption(const QString& text, int fontSize, COLORREF color) {
    m_caption = text;
    m_captionColor = color;
    m_captionFont.reset();
    auto font = std::make_unique<QFont>();
    // The face first; the CJK faces catch it where fontconfig has no such face.
    font->setFamilies({CaptionFace(), QStringLiteral("Noto Sans CJK SC"),
                       QStringLiteral("Noto Sans CJK JP"), QStringLiteral("WenQuanYi Micro Hei"),
                       QStringLiteral("Droid Sans Fallback")});
    font->setStyleHint(QFont::SansSerif);
    font->setWeight(QFont::Normal);
    platform::SetCellHeight(*font, static_cast<int>(static_cast<double>(fontSize) * 1.4));
    font->setWeight(QFont::Normal);
    font->setItalic(false);
    font->setUnderline(false);
    font->setStrikeOut(false);
    m_captionFont = std::move(font);
    update();
}

bool CGdipButton::TrackMouseEvent() {
    m_hoverTimer.start(kHoverTimeMs, this);
    return true;
}

void CGdipButton::OnMouseMove() {
    if (!m_bTracking) m_bTracking = TrackMouseEvent();
}

void CGdipButton::OnMouseHover() {
    m_bHovering = true;
    update();
}

void CGdipButton::OnMouseLeave() {
    m_hoverTimer.stop();
    m_bHovering = false;
    m_bTracking = false;
    update();
}

void CGdipButton::mouseMoveEvent(QMouseEvent* event) {
    OnMouseMove();
    QPushButton::mouseMoveEvent(event);
}

void CGdipButton::leaveEvent(QEvent* event) {
    OnMouseLeave();
    QPushButton::leaveEvent(event);
}

void CGdipButton::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_hoverTimer.timerId()) {
        QPushButton::timerEvent(event);
        return;
    }
    m_hoverTimer.stop();
    // A leave in between stops the timer, so tracking still holds here.
    if (m_bTracking) OnMouseHover();
}

// A fast second click must press the button again rather than be lost as a double click.
// Platforms that already delivered the second press have the button down by now.
void CGdipButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QPushButton::mouseDoubleClickEvent(event);
        return;
    }
    if (isDown()) {
        event->accept();
        return;
    }
    QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->scenePosition(),
                      event->globalPosition(), event->button(), event->buttons(),
                      event->modifiers(), event->pointingDevice());
    press.setTimestamp(event->timestamp());
    QPushButton::mousePressEvent(&press);
    event->setAccepted(press.isAccepted());
}

void CGdipButton::paintEvent(QPaintEvent*) {
    QPainter target(this);
    DrawItem(target);
}

// One look: the background with the image drawn into where (image skipped when there is none).
QImage CGdipButton::RenderLook(const QImage* image, const QRectF& where) const {
    QImage surface = m_bgSurface.copy();
    surface.setDevicePixelRatio(m_bgSurface.devicePixelRatio());
    if (image && !image->isNull()) {
        QPainter p(&surface);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(where, *image, QRectF(image->rect()));
    }
    return surface;
}

void CGdipButton::DrawItem(QPainter& target) {
    if (!m_image) return;
    const QRect client = rect();
    target.fillRect(client, Qt::white);

    // The pixels under the button are the white just painted, so the background surface is white;
    // the image's transparent parts show it.
    const qreal dpr = devicePixelRatioF();
    m_bgSurface = QImage(client.size() * dpr, QImage::Format_ARGB32_Premultiplied);
    m_bgSurface.setDevicePixelRatio(dpr);
    m_bgSurface.fill(Qt::white);

    const QImage* image = m_image->Bitmap();
    const qreal w = client.width();
    const qreal h = client.height();
    m_normalSurface = RenderLook(image, QRectF(0, 0, w, h));
    m_pressedSurface = RenderLook(image, QRectF(1, 1, w, h));
    m_hoverSurface = RenderLook(image ? &m_hoverImage : nullptr, QRectF(0, 0, w, h));

    if (isDown())
        m_pCurSurface = &m_pressedSurface;
    else if (m_bHovering)
        m_pCurSurface = &m_hoverSurface;
    else
        m_pCurSurface = &m_normalSurface;

    target.drawImage(QPointF(0, 0), *m_pCurSurface);
    if (m_caption.isEmpty()) return;
    // Without SetCaption the button's own font stands in, as the device context's font would.
    target.setFont(m_captionFont ? *m_captionFont : font());
    target.setPen(
        QColor(GetRValue(m_captionColor), GetGValue(m_captionColor), GetBValue(m_captionColor)));
    target.setBackgroundMode(Qt::TransparentMode);
    target.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, OneLine(m_caption));
}
