#include "playback/paused_frame_view.h"

#include <QEvent>
#include <QPainter>

CPausedFrameView::CPausedFrameView(QWidget* pane) : QWidget(pane) {
    // Native, so that it can be stacked above the window libVLC made inside the pane.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_DontCreateNativeAncestors);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    hide();
    setGeometry(pane->rect());
    pane->installEventFilter(this);
}

void CPausedFrameView::SetFrame(const cv::Mat& frame) {
    if (frame.empty() || frame.type() != CV_8UC3) {
        m_image = QImage();
    } else {
        // QImage wraps the data without owning it: copy out before the frame goes.
        m_image = QImage(frame.data, frame.cols, frame.rows, static_cast<qsizetype>(frame.step),
                         QImage::Format_BGR888)
                      .copy();
    }
    update();
}

void CPausedFrameView::ShowOverPane() {
    if (parentWidget()) setGeometry(parentWidget()->rect());
    show();
    raise();
}

void CPausedFrameView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_image.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_image);
}

bool CPausedFrameView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}
