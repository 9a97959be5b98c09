#include "playback/clip_coordinates.h"

#include <algorithm>
#include <cmath>

QPointF CClipCoordinates::ToClip(QPointF pane) const {
    if (!IsValid()) return {};
    const double x = pane.x() * m_clip.width() / m_pane.width();
    const double y = pane.y() * m_clip.height() / m_pane.height();
    // A drag may end outside the pane; the line then ends at the clip's edge.
    return {std::clamp(x, 0.0, static_cast<double>(m_clip.width())),
            std::clamp(y, 0.0, static_cast<double>(m_clip.height()))};
}

QPointF CClipCoordinates::ToPane(QPointF clip) const {
    if (!IsValid()) return {};
    return {clip.x() * m_pane.width() / m_clip.width(),
            clip.y() * m_pane.height() / m_clip.height()};
}

double CClipCoordinates::Length(QPointF a, QPointF b) {
    return std::hypot(b.x() - a.x(), b.y() - a.y());
}
