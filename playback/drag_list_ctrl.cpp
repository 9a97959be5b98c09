#include "playback/drag_list_ctrl.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>

#include "platform/message_delivery.h"

CDragListCtrl::CDragListCtrl(QWidget* parent) : QListWidget(parent) {
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFlow(QListView::LeftToRight);
    setWrapping(false);
}

CDragListCtrl::~CDragListCtrl() {
    if (m_pDragImage) EndDragImage();
}

void CDragListCtrl::mousePressEvent(QMouseEvent* event) {
    m_nPressIndex = -1;
    if (event->button() == Qt::LeftButton && !m_pDragImage) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid()) {
            m_nPressIndex = index.row();
            m_pressPoint = event->position().toPoint();
        }
    }
    QListWidget::mousePressEvent(event);
}

void CDragListCtrl::mouseMoveEvent(QMouseEvent* event) {
    const bool leftHeld = event->buttons() & Qt::LeftButton;
    if (!m_pDragImage && m_nPressIndex >= 0 && leftHeld &&
        (event->position().toPoint() - m_pressPoint).manhattanLength() >=
            QApplication::startDragDistance()) {
        const int index = m_nPressIndex;
        m_nPressIndex = -1;
        OnBeginDrag(index, m_pressPoint);
    }
    if (!leftHeld) m_nPressIndex = -1;
    OnMouseMove(event);
}

void CDragListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    m_nPressIndex = -1;
    OnLButtonUp(event);
}

bool CDragListCtrl::OnBeginDrag(int index, const QPoint& point) {
    m_nDragIndex = index;
    const QModelIndex modelIndex = model()->index(index, 0);
    const QRect bounds = visualRect(modelIndex);
    // The list's own picture of the entry: thumbnail and label as shown.
    const QPixmap picture = bounds.isEmpty() ? QPixmap() : viewport()->grab(bounds);
    if (picture.isNull()) return false;

    // A frameless window of its own, so the picture also shows over the native video panes.
    m_pDragImage = std::make_unique<QLabel>(
        nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput);
    m_pDragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pDragImage->setAttribute(Qt::WA_ShowWithoutActivating);
    m_pDragImage->setPixmap(picture);
    m_pDragImage->setWindowOpacity(0.7);
    m_pDragImage->resize(picture.deviceIndependentSize().toSize());
    m_hotSpot = point - bounds.topLeft();
    m_pDragImage->move(viewport()->mapToGlobal(point) - m_hotSpot);
    m_pDragImage->show();

    viewport()->grabMouse();
    return true;
}

void CDragListCtrl::OnMouseMove(QMouseEvent* event) {
    if (m_pDragImage) {
        // Only a move with the left button held moves the picture.
        if (event->buttons() & Qt::LeftButton) {
            m_pDragImage->move(event->globalPosition().toPoint() - m_hotSpot);
        }
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void CDragListCtrl::OnLButtonUp(QMouseEvent* event) {
    if (m_pDragImage && event->button() == Qt::LeftButton) {
        EndDragImage();
        const QPoint screen = event->globalPosition().toPoint();
        // The owner keeps m_paths equal to the entries; an index outside it names no file.
        if (m_nDragIndex >= 0 && m_nDragIndex < static_cast<int>(m_paths.size())) {
            const QString path = m_paths[static_cast<size_t>(m_nDragIndex)];
            platform::SendMessageW(m_hNotifyWnd, WM_LIST_DROP, reinterpret_cast<WPARAM>(&path),
                                   MAKELPARAM(screen.x(), screen.y()));
        }
        m_pDragImage.reset();
    }
    QListWidget::mouseReleaseEvent(event);
}

void CDragListCtrl::EndDragImage() {
    m_pDragImage->hide();
    if (QWidget::mouseGrabber() == viewport()) viewport()->releaseMouse();
}
