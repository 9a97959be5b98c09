// The live picture pane (1006): shows the last camera frame stretched over the whole pane.
#pragma once

#include <QWidget>
#include <functional>
#include <opencv2/core.hpp>

class CLivePane : public QWidget {
    Q_OBJECT
  public:
    explicit CLivePane(QWidget* parent = nullptr);

    // Takes the frame over (no pixel copy) and paints it at once; the previous frame goes.
    void ShowFrame(cv::Mat&& frame);
    const cv::Mat& LastFrame() const { return m_frame; }
    // Called after each frame was painted; benchmarks time the way from camera to screen.
    void SetPaintedHook(std::function<void()> hook) { m_paintedHook = std::move(hook); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    cv::Mat m_frame;
    // m_frame as 32-bit pixels (B, G, R, unused: QImage::Format_RGB32), made at the frame's own
    // size when first painted and kept for repaints; its buffer is reused from frame to frame.
    cv::Mat m_rgb32;
    bool m_converted = false;
    std::function<void()> m_paintedHook;
};
