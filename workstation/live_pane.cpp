#include "workstation/live_pane.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <opencv2/imgproc.hpp>

CLivePane::CLivePane(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted from the frame: nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void CLivePane::ShowFrame(cv::Mat& frame) {
    cv::swap(m_frame, frame);
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

namespace {

// The source pixel of each of n target pixels stretched from size pixels, as Qt's nearest-pixel
// scaler of 32-bit images picks it: the target pixel's centre in 16.16 fixed point.
void NearestSources(int size, int n, std::vector<int>& sources) {
    sources.resize(static_cast<std::size_t>(n));
    const int step = static_cast<int>(65536 * (static_cast<double>(size) / n));
    const int first = static_cast<int>(std::ceil(0.5 * step)) - 1;
    for (int i = 0; i < n; ++i)
        sources[static_cast<std::size_t>(i)] = std::min(
            size - 1, static_cast<int>(
                          (static_cast<unsigned>(first) + static_cast<unsigned>(i) * step) >> 16));
}

}  // namespace

void CLivePane::Stretch(cv::Size device) {
    m_stretched.create(device, CV_8UC4);
    NearestSources(m_rgb32.cols, device.width, m_columns);
    NearestSources(m_rgb32.rows, device.height, m_rows);
    for (int y = 0; y < device.height; ++y) {
        auto* out = m_stretched.ptr<std::uint32_t>(y);
        const int from = m_rows[static_cast<std::size_t>(y)];
        // Rows taken from the same source row are the same.
        if (y > 0 && from == m_rows[static_cast<std::size_t>(y) - 1]) {
            std::memcpy(out, m_stretched.ptr(y - 1), static_cast<std::size_t>(device.width) * 4);
            continue;
        }
        const auto* in = m_rgb32.ptr<std::uint32_t>(from);
        for (int x = 0; x < device.width; ++x) out[x] = in[m_columns[static_cast<std::size_t>(x)]];
    }
}

void CLivePane::PaintFrame(QPainter& p) {
    if (m_frame.empty() || m_frame.type() != CV_8UC3) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    // Qt's scaler costs about ten instructions per pane pixel; one SIMD conversion to 32-bit
    // pixels at the frame's size and a table-driven stretch of those cost a third of that, and
    // Qt then only copies. A repaint without a new frame at the same size reuses both.
    const qreal ratio = devicePixelRatioF();
    const cv::Size device(qRound(width() * ratio), qRound(height() * ratio));
    if (device.width <= 0 || device.height <= 0) return;
    if (!m_converted || (m_rgb32.size() != device && m_stretched.size() != device)) {
        cv::cvtColor(m_frame, m_rgb32, cv::COLOR_BGR2BGRA);
        if (m_rgb32.size() != device) Stretch(device);
        m_converted = true;
    }
    const cv::Mat& shown = m_rgb32.size() == device ? m_rgb32 : m_stretched;
    // The first row is the top of the picture.
    QImage image(shown.data, shown.cols, shown.rows, static_cast<qsizetype>(shown.step),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    p.drawImage(QPointF(0, 0), image);
}
