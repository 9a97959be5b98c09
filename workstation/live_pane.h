// The live picture pane (1006): shows the last camera frame stretched over the whole pane.
#pragma once

#include <QPainter>
#include <QString>
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
    // One line drawn over the picture's top left, never into the frame; empty for none.
    void SetOverlayText(const QString& text);
    const QString& OverlayText() const { return m_overlay; }
    // Called after each frame was painted; benchmarks time the way from camera to screen.
    void SetPaintedHook(std::function<void()> hook) { m_paintedHook = std::move(hook); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void PaintFrame(QPainter& p);

    cv::Mat m_frame;
    // m_frame as 32-bit pixels (B, G, R, unused: QImage::Format_RGB32), made at the frame's own
    // size when first painted and kept for repaints; its buffer is reused from frame to frame.
    cv::Mat m_rgb32;
    bool m_converted = false;
    QString m_overlay;
    std::function<void()> m_paintedHook;
};
