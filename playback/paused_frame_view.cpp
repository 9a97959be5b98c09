#include "playback/paused_frame_view.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "playback/review_painter.h"
#include "playback/review_tool.h"

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
    if (m_tool) PaintTool(painter);
}

void CPausedFrameView::SetTool(CReviewTool* tool) {
    m_tool = tool;
    update();
}

void CPausedFrameView::SetHint(const QString& hint) {
    m_hint = hint;
    setCursor(hint.isEmpty() ? Qt::ArrowCursor : Qt::CrossCursor);
    update();
}

CClipCoordinates CPausedFrameView::Mapping() const {
    return CClipCoordinates(size(), m_image.size());
}

bool CPausedFrameView::ToolActive() const {
    return m_tool && m_tool->Active() != CReviewTool::Kind::None && !m_image.isNull();
}

void CPausedFrameView::PaintTool(QPainter& painter) {
    const CClipCoordinates map = Mapping();
    if (!map.IsValid()) return;
    CReviewPainter::DrawKept(painter, map, m_tool->Kept(), rect());
    if (const auto& pending = m_tool->Pending()) {
        CReviewPainter::DrawLine(painter, map, *pending, CReviewPainter::kPendingColour);
        CReviewPainter::DrawLabel(painter, map.ToPane(pending->to) + QPointF(8, 4),
                                  m_tool->PendingLabel(), rect());
    }
    if (ToolActive() && !m_hint.isEmpty()) {
        const QFontMetrics metrics(painter.font());
        CReviewPainter::DrawLabel(painter, QPointF(4, height() - metrics.height() - 8), m_hint,
                                  rect());
    }
}

void CPausedFrameView::mousePressEvent(QMouseEvent* event) {
    if (!ToolActive() || event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    m_tool->Press(Mapping().ToClip(event->position()));
    update();
}

void CPausedFrameView::mouseMoveEvent(QMouseEvent* event) {
    if (!ToolActive() || !(event->buttons() & Qt::LeftButton))
        return QWidget::mouseMoveEvent(event);
    m_tool->Move(Mapping().ToClip(event->position()));
    update();
}

void CPausedFrameView::mouseReleaseEvent(QMouseEvent* event) {
    if (!ToolActive() || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    m_tool->Release(Mapping().ToClip(event->position()));
    update();
}

bool CPausedFrameView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}
