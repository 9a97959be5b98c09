// The live picture pane (1006): shows the last camera frame stretched over the whole pane.
#pragma once

#include <QPainter>
#include <QString>
#include <QWidget>
#include <functional>
#include <opencv2/core.hpp>
#include <vector>

class CLivePane : public QWidget {
    Q_OBJECT
  public:
    explicit CLivePane(QWidget* parent = nullptr);

    // Takes the frame over (no pixel copy) and paints it at once; frame then holds the previous
    // frame, which the pane no longer refers to, so its buffer can take a later frame.
    void ShowFrame(cv::Mat& frame);
    void ShowFrame(cv::Mat&& frame) { ShowFrame(frame); }
    const cv::Mat& LastFrame() const { return m_frame; }
    // One line drawn over the picture's top left, never into the frame; empty for none.
    void SetOverlayText(const QString& text);
    const QString& OverlayText() const { return m_overlay; }
    // Called after each frame was painted; benchmarks time the way from camera to screen.
    void SetPaintedHook(std::function<void()> hook) { m_paintedHook = std::move(hook); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void PaintFrame(QPainter& p);
    // m_rgb32 stretched nearest-pixel to device into m_stretched.
    void Stretch(cv::Size device);

    cv::Mat m_frame;
    // m_frame as 32-bit pixels (B, G, R, unused: QImage::Format_RGB32), first at the frame's own
    // size, then stretched to the pane's size in device pixels; made when first painted and
    // kept for repaints. Both buffers are reused from frame to frame.
    cv::Mat m_rgb32;
    cv::Mat m_stretched;
    std::vector<int> m_columns, m_rows;  // the source column and row of each stretched pixel
    bool m_converted = false;
    QString m_overlay;
    std::function<void()> m_paintedHook;
};
