// The picture of a paused pane: libVLC draws into a native window of its own that nothing can be
// painted over, so while a pane is paused this native child covers it with the same frame,
// decoded from the file and stretched to the pane as libVLC stretches the video.
#pragma once

#include <QImage>
#include <QWidget>
#include <opencv2/core.hpp>

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

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QImage m_image;
};
