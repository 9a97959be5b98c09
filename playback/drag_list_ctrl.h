// The clip strip's list view: an entry can be dragged out with the left button; a picture of
// the entry follows the cursor, and the release sends WM_LIST_DROP with the entry's path to the
// notify window. The desktop's drag-and-drop is not used: the list holds the mouse grab itself.
#pragma once

#include <QListWidget>
#include <QPoint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/win_types.h"
#include "res/resource.h"

class QLabel;

class CDragListCtrl : public QListWidget {
    Q_OBJECT
  public:
    explicit CDragListCtrl(QWidget* parent = nullptr);
    ~CDragListCtrl() override;

    bool IsDragging() const { return m_pDragImage != nullptr; }

    // The owner assigns the whole sequence of paths whenever the entries change.
    void SetPaths(std::vector<QString> paths) { m_paths = std::move(paths); }
    const std::vector<QString>& Paths() const { return m_paths; }
    void SetNotifyWnd(HWND hwnd) { m_hNotifyWnd = hwnd; }
    HWND NotifyWnd() const { return m_hNotifyWnd; }
    // The picture that follows the cursor, null when no drag is in progress.
    const QLabel* DragImage() const { return m_pDragImage.get(); }
    int DragIndex() const { return m_nDragIndex; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    // Starts dragging entry index, grabbed at point (viewport coordinates). False when no
    // picture of the entry could be made: then no drag takes place.
    bool OnBeginDrag(int index, const QPoint& point);
    void OnMouseMove(QMouseEvent* event);
    void OnLButtonUp(QMouseEvent* event);

  private:
    void EndDragImage();

    // Full path of entry i at position i; the owner assigns the whole sequence.
    std::vector<QString> m_paths;
    // Receiver of WM_LIST_DROP; the owner sets it.
    HWND m_hNotifyWnd = 0;
    // The picture of the dragged entry, present exactly while a drag is in progress.
    std::unique_ptr<QLabel> m_pDragImage;
    // The entry being dragged (the last one dragged after a drop).
    int m_nDragIndex = -1;

    int m_nPressIndex = -1;  // entry under a left press that may become a drag
    QPoint m_pressPoint;
    QPoint m_hotSpot;  // the point of the picture that stays under the cursor
};
