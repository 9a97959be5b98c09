// The picture of a paused pane: libVLC draws into a native window of its own that nothing can be
// painted over, so while a pane is paused this native child covers it with the same frame,
// decoded from the file and stretched to the pane as libVLC stretches the video. The review
// tools draw their lines on it and take the mouse through it.
#pragma once

#include <QImage>
#include <QWidget>
#include <opencv2/core.hpp>

#include "playback/clip_coordinates.h"

class CReviewTool;

class CPausedFrameView : public QWidget {
    Q_OBJECT
  public:
    // Made hidden, over the whole of pane; it follows the pane's size.
    explicit CPausedFrameView(QWidget* pane);

    // frame: 8-bit BGR at the clip's size.
    void SetFrame(const cv::Mat& frame);
    const QImage& Frame() const { return m_image; }
    // Shown above anything libVLC's output put inside the pane (some outputs make a child
    // window there that Qt does not know of).
    void ShowOverPane();

    // The tool whose lines are drawn over the frame and that gets the mouse while active; it
    // outlives the view or is set to null first.
    void SetTool(CReviewTool* tool);
    // A line of help at the bottom edge while a tool is active; empty for none.
    void SetHint(const QString& hint);
    // Where the view's points lie in the frame, and back.
    CClipCoordinates Mapping() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void PaintTool(QPainter& painter);
    bool ToolActive() const;

    QImage m_image;
    CReviewTool* m_tool = nullptr;
    QString m_hint;
};
