// How the review tools' lines look: drawn on a paused pane and on a printed report alike, so
// that both show the same thing. Points of the lines are clip pixels, mapped to the painter's.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QString>
#include <vector>

#include "playback/clip_coordinates.h"
#include "playback/review_tool.h"

class CReviewPainter {
  public:
    static const QColor kPendingColour;
    static const QColor kKeptColour;
    static const QColor kMarkColour;

    // One line, its end bars and its count marks.
    static void DrawLine(QPainter& painter, const CClipCoordinates& map,
                         const CReviewTool::Line& line, const QColor& colour);
    // Lines kept, each with its label beside its end, kept inside bounds.
    static void DrawKept(QPainter& painter, const CClipCoordinates& map,
                         const std::vector<CReviewTool::Line>& kept, const QRect& bounds);
    // Text on a dark box at at (moved inside bounds), so that it reads on any frame.
    static void DrawLabel(QPainter& painter, QPointF at, const QString& label, const QRect& bounds);
};
