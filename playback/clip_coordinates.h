// Points on a pane and points of the clip it shows: the pane stretches the clip to its own
// shape, so a clip point is the pane point scaled by clip size over pane size on each axis.
// Clip coordinates are what gets measured and written, whatever the window's size.
#pragma once

#include <QPointF>
#include <QSize>

class CClipCoordinates {
  public:
    CClipCoordinates(QSize pane, QSize clip) : m_pane(pane), m_clip(clip) {}

    // False while either size is empty: no mapping then.
    bool IsValid() const { return !m_pane.isEmpty() && !m_clip.isEmpty(); }
    // A point of the pane (pixels, from its top left corner) in clip pixels, kept inside the
    // clip; (0, 0) when not valid.
    QPointF ToClip(QPointF pane) const;
    QPointF ToPane(QPointF clip) const;
    // Length in clip pixels of the line between two clip points.
    static double Length(QPointF a, QPointF b);

  private:
    QSize m_pane;
    QSize m_clip;
};
