// Proportional layout: each control keeps its distances to the window's edges in proportion to
// the window's size at set-up. Edges are measured on the client area: a window manager adds its
// frame only after the window is mapped, so the outer size at set-up would not be comparable.
#include <QResizeEvent>

#include "workstation/video_capture_dlg.h"

namespace {

// Left, top, right, bottom with exclusive right and bottom edges, as the layout arithmetic uses.
struct Edges {
    int left, top, right, bottom;
};

Edges ScreenEdges(const QWidget* w) {
    const QPoint origin = w->mapToGlobal(QPoint(0, 0));
    return {origin.x(), origin.y(), origin.x() + w->width(), origin.y() + w->height()};
}

}  // namespace

void CVideoCaptureDlg::StoreLayoutRects() {
    m_layoutRects.clear();
    const Edges window = ScreenEdges(this);
    m_layoutRects.emplace_back(QPoint(window.left, window.top),
                               QPoint(window.right, window.bottom));
    for (QWidget* child : GetChildWindows()) {
        const Edges e = ScreenEdges(child);
        m_layoutRects.emplace_back(QPoint(e.left, e.top), QPoint(e.right, e.bottom));
    }
}

void CVideoCaptureDlg::resizeEvent(QResizeEvent* event) {
    platform::CDialog::resizeEvent(event);
    OnSize();
}

void CVideoCaptureDlg::OnSize() {
    update();
    if (m_layoutRects.empty()) return;
    // QRect's right()/bottom() are inclusive; the stored rectangles keep exclusive edges in them
    // (built from two corner points), so the arithmetic reads topLeft and bottomRight as stored.
    const QRect& r = m_layoutRects.front();
    const Edges n = ScreenEdges(this);
    const Edges rr{r.left(), r.top(), r.right(), r.bottom()};
    const float fx =
        static_cast<float>(static_cast<double>(n.right - n.left) / (rr.right - rr.left));
    const float fy =
        static_cast<float>(static_cast<double>(n.bottom - n.top) / (rr.bottom - rr.top));

    const std::vector<QWidget*>& children = GetChildWindows();
    const QPoint clientOrigin = mapToGlobal(QPoint(0, 0));
    for (size_t k = 0; k < children.size() && k + 1 < m_layoutRects.size(); ++k) {
        const QRect& s = m_layoutRects[k + 1];
        const int left = static_cast<int>(static_cast<float>(n.left) +
                                          static_cast<float>(s.left() - rr.left) * fx);
        const int right = static_cast<int>(static_cast<float>(n.right) +
                                           static_cast<float>(s.right() - rr.right) * fx);
        const int top =
            static_cast<int>(static_cast<float>(n.top) + static_cast<float>(s.top() - rr.top) * fy);
        const int bottom = static_cast<int>(static_cast<float>(n.bottom) +
                                            static_cast<float>(s.bottom() - rr.bottom) * fy);
        children[k]->setGeometry(left - clientOrigin.x(), top - clientOrigin.y(), right - left,
                                 bottom - top);
    }
    if (m_pPlayer1) m_pPlayer1->UpdateAspectRatio();
    if (m_pPlayer2) m_pPlayer2->UpdateAspectRatio();
    // The strip follows from the event loop: the window repaints at its new size first, and
    // the size changes of a drag by the border that come in one go cost one rebuild.
    if (m_stripRebuildQueued) return;
    m_stripRebuildQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_stripRebuildQueued = false;
            ResizeStrip(ListClientHeight() - 20);
            m_videoList.viewport()->update();
        },
        Qt::QueuedConnection);
}
