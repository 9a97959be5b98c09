#include "workstation/live_pane.h"

#include <QImage>
#include <QPainter>

CLivePane::CLivePane(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted from the frame: nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void CLivePane::ShowFrame(cv::Mat&& frame) {
    m_frame = std::move(frame);
    if (isVisible() && width() > 0 && height() > 0) repaint();
    if (m_paintedHook) m_paintedHook();
}

void CLivePane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_frame.empty() || m_frame.type() != CV_8UC3) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    // Wraps the frame's own rows; the first row is the top of the picture.
    const QImage image(m_frame.data, m_frame.cols, m_frame.rows,
                       static_cast<qsizetype>(m_frame.step), QImage::Format_BGR888);
    p.drawImage(rect(), image);
}
