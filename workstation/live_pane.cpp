#include "workstation/live_pane.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <opencv2/imgproc.hpp>

CLivePane::CLivePane(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted from the frame: nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void CLivePane::ShowFrame(cv::Mat&& frame) {
    m_frame = std::move(frame);
    m_converted = false;
    if (isVisible() && width() > 0 && height() > 0) repaint();
    if (m_paintedHook) m_paintedHook();
}

void CLivePane::SetOverlayText(const QString& text) {
    if (text == m_overlay) return;
    m_overlay = text;
    update();
}

void CLivePane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintFrame(p);
    if (m_overlay.isEmpty()) return;
    // Light text on a dark band: readable on any picture, and clear of the time stamp, which
    // the frame carries at its top left.
    QFont font = p.font();
    font.setPixelSize(std::max(12, height() / 24));
    p.setFont(font);
    const QFontMetrics metrics(font);
    const int pad = metrics.height() / 4;
    const QRect band(0, height() - metrics.height() - 2 * pad, width(), metrics.height() + 2 * pad);
    p.fillRect(band, QColor(0, 0, 0, 160));
    p.setPen(Qt::white);
    p.drawText(band.adjusted(2 * pad, 0, -2 * pad, 0), Qt::AlignVCenter | Qt::AlignLeft, m_overlay);
}

void CLivePane::PaintFrame(QPainter& p) {
    if (m_frame.empty() || m_frame.type() != CV_8UC3) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    // Stretching 24-bit pixels sends every pane pixel through Qt's generic format conversion;
    // one SIMD conversion at the frame's own size lets its 32-bit scaler do the stretch at half
    // the cost. Same nearest-pixel stretch; at a few sizes one pane row takes its neighbour's.
    if (!m_converted) {
        cv::cvtColor(m_frame, m_rgb32, cv::COLOR_BGR2BGRA);
        m_converted = true;
    }
    // The first row is the top of the picture.
    const QImage image(m_rgb32.data, m_rgb32.cols, m_rgb32.rows,
                       static_cast<qsizetype>(m_rgb32.step), QImage::Format_RGB32);
    p.drawImage(rect(), image);
}
