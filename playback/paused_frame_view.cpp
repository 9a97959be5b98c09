#include "playback/paused_frame_view.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "playback/review_tool.h"

namespace {

const QColor kPendingColour(255, 214, 0);
const QColor kKeptColour(0, 230, 255);
const QColor kMarkColour(255, 60, 60);

// Text on a dark box, so that it reads on any frame.
void DrawLabel(QPainter& painter, QPointF at, const QString& label, const QRect& bounds) {
    if (label.isEmpty()) return;
    const QFontMetrics metrics(painter.font());
    // A long help line on a small pane is cut rather than run off its edge.
    const QString text = metrics.elidedText(label, Qt::ElideRight, std::max(0, bounds.width() - 8));
    QRectF box(at, QSizeF(metrics.horizontalAdvance(text) + 8, metrics.height() + 4));
    // Kept inside the view, so that a line near an edge keeps its label in sight.
    box.moveLeft(std::clamp(box.left(), 0.0, std::max(0.0, bounds.width() - box.width())));
    box.moveTop(std::clamp(box.top(), 0.0, std::max(0.0, bounds.height() - box.height())));
    painter.fillRect(box, QColor(0, 0, 0, 170));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
}

}  // namespace

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
    painter.setRenderHint(QPainter::Antialiasing);
    auto drawLine = [&](const CReviewTool::Line& line, const QColor& colour) {
        const QPointF from = map.ToPane(line.from);
        const QPointF to = map.ToPane(line.to);
        painter.setPen(QPen(colour, 2));
        painter.drawLine(from, to);
        // Short bars across the ends show where the line stops.
        const QPointF along = to - from;
        const double length = std::hypot(along.x(), along.y());
        if (length > 0) {
            const QPointF across(-along.y() / length * 5, along.x() / length * 5);
            painter.drawLine(from - across, from + across);
            painter.drawLine(to - across, to + across);
        }
        painter.setPen(QPen(kMarkColour, 2));
        painter.setBrush(Qt::NoBrush);
        for (const QPointF& mark : line.crossings) painter.drawEllipse(map.ToPane(mark), 5, 5);
    };
    for (const CReviewTool::Line& line : m_tool->Kept()) {
        drawLine(line, kKeptColour);
        DrawLabel(painter, map.ToPane(line.to) + QPointF(8, 4), line.label, rect());
    }
    if (const auto& pending = m_tool->Pending()) {
        drawLine(*pending, kPendingColour);
        DrawLabel(painter, map.ToPane(pending->to) + QPointF(8, 4), m_tool->PendingLabel(), rect());
    }
    if (ToolActive() && !m_hint.isEmpty()) {
        const QFontMetrics metrics(painter.font());
        DrawLabel(painter, QPointF(4, height() - metrics.height() - 8), m_hint, rect());
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
