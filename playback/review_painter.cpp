#include "playback/review_painter.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

const QColor CReviewPainter::kPendingColour(255, 214, 0);
const QColor CReviewPainter::kKeptColour(0, 230, 255);
const QColor CReviewPainter::kMarkColour(255, 60, 60);

void CReviewPainter::DrawLabel(QPainter& painter, QPointF at, const QString& label,
                               const QRect& bounds) {
    if (label.isEmpty()) return;
    const QFontMetrics metrics(painter.font(), painter.device());
    // A long help line on a small pane is cut rather than run off its edge.
    const QString text = metrics.elidedText(label, Qt::ElideRight, std::max(0, bounds.width() - 8));
    QRectF box(at, QSizeF(metrics.horizontalAdvance(text) + 8, metrics.height() + 4));
    // Kept inside the bounds, so that a line near an edge keeps its label in sight.
    box.moveLeft(std::clamp(box.left(), double(bounds.left()),
                            std::max(double(bounds.left()), bounds.right() + 1 - box.width())));
    box.moveTop(std::clamp(box.top(), double(bounds.top()),
                           std::max(double(bounds.top()), bounds.bottom() + 1 - box.height())));
    painter.fillRect(box, QColor(0, 0, 0, 170));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
}

void CReviewPainter::DrawLine(QPainter& painter, const CClipCoordinates& map,
                              const CReviewTool::Line& line, const QColor& colour) {
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
}

void CReviewPainter::DrawKept(QPainter& painter, const CClipCoordinates& map,
                              const std::vector<CReviewTool::Line>& kept, const QRect& bounds) {
    painter.setRenderHint(QPainter::Antialiasing);
    for (const CReviewTool::Line& line : kept) {
        DrawLine(painter, map, line, kKeptColour);
        DrawLabel(painter, map.ToPane(line.to) + QPointF(8, 4), line.label, bounds);
    }
}
