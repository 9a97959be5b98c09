// The live pane stretches the frame over itself nearest-pixel, as a 24-bit stretch by Qt would.
#include "workstation/live_pane.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <cstdlib>

namespace {

// What Qt's own stretch of the frame's 24-bit pixels gives at size.
QImage Reference(const cv::Mat& frame, QSize size) {
    QImage ref(size, QImage::Format_RGB32);
    QPainter p(&ref);
    p.drawImage(QRect(QPoint(0, 0), size),
                QImage(frame.data, frame.cols, frame.rows, static_cast<qsizetype>(frame.step),
                       QImage::Format_BGR888));
    return ref;
}

}  // namespace

TEST(LivePane, StretchMatchesQtsStretchOfTheFramePixelForPixel) {
    cv::Mat frame(480, 640, CV_8UC3);
    cv::randu(frame, 0, 256);  // noise: a wrong channel order, stride or offset shows anywhere
    CLivePane pane;
    for (QSize size : {QSize(711, 497), QSize(320, 240), QSize(1000, 700), QSize(1917, 1033)}) {
        pane.resize(size);
        pane.ShowFrame(frame.clone());
        const QImage shown = pane.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage ref = Reference(frame, size);
        ASSERT_EQ(shown.size(), size);
        // The same source pixel everywhere, but Qt's two scalers round a row or column
        // differently at some sizes: then the neighbour's source pixel is taken.
        int exact = 0, neighbour = 0, wrong = 0;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const QRgb c = shown.pixel(x, y);
                if (c == ref.pixel(x, y)) {
                    ++exact;
                    continue;
                }
                bool near = false;
                for (QPoint d : {QPoint(0, -1), QPoint(0, 1), QPoint(-1, 0), QPoint(1, 0)}) {
                    const QPoint q = QPoint(x, y) + d;
                    near = near || (ref.rect().contains(q) && ref.pixel(q) == c);
                }
                ++(near ? neighbour : wrong);
            }
        }
        EXPECT_EQ(wrong, 0) << size.width() << "x" << size.height();
        // At most one row and one column of the pane.
        EXPECT_LE(neighbour, size.width() + size.height()) << size.width() << "x" << size.height();
        EXPECT_GT(exact, size.width() * (size.height() - 2));
    }
}

TEST(LivePane, RepaintsTheLastFrameAndBlackWithoutOne) {
    CLivePane pane;
    pane.resize(64, 48);
    EXPECT_EQ(pane.grab().toImage().pixelColor(10, 10), QColor(Qt::black));
    cv::Mat frame(480, 640, CV_8UC3, cv::Scalar(200, 100, 50));  // B, G, R
    pane.ShowFrame(std::move(frame));
    for (int i = 0; i < 2; ++i)  // a second paint draws the same frame without a new one
        EXPECT_EQ(pane.grab().toImage().pixelColor(10, 10), QColor(50, 100, 200)) << i;
    pane.ShowFrame(cv::Mat(480, 640, CV_8UC3, cv::Scalar(0, 255, 0)));
    EXPECT_EQ(pane.grab().toImage().pixelColor(63, 47), QColor(0, 255, 0));
}
