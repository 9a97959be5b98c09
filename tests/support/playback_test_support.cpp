#include "tests/support/playback_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cmath>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <vector>

#include "capture/clip_recorder.h"
#include "capture/jpeg_codec.h"
#include "tests/support/test_support.h"

namespace playback_testing {

bool MakeClip(const QString& path, const cv::Mat& frame, int frames) {
    // Made by the recorder the capture window uses, so the players and thumbnails read its files:
    // the frame comes as a camera JPEG, which the recorder keeps as coded.
    CJpegCodec codec;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (!codec.Encode(frame, CClipRecorder::kQuality, &data, &size)) return false;
    const std::vector<std::uint8_t> jpeg(data, data + size);
    CClipRecorder recorder;
    const std::string narrow = path.toStdString();  // Linux file names are UTF-8 bytes
    if (!recorder.Open(narrow, 25, frame.cols, frame.rows)) return false;
    for (int i = 0; i < frames; ++i)
        if (recorder.WriteOrClose(frame, jpeg.data(), jpeg.size(), cv::Rect()) !=
            CClipRecorder::WriteResult::Written)
            return false;
    recorder.Stop();
    return recorder.Finish();
}

bool MakeNumberedClip(const QString& path, int frames, int fps, int width, int height) {
    CClipRecorder recorder;
    if (frames > 40 || !recorder.Open(path.toStdString(), fps, width, height)) return false;
    for (int i = 0; i < frames; ++i) {
        const cv::Mat frame(height, width, CV_8UC3, cv::Scalar::all(NumberedGrey(i)));
        if (recorder.WriteOrClose(frame) != CClipRecorder::WriteResult::Written) return false;
    }
    recorder.Stop();
    return recorder.Finish();
}

int NumberedGrey(int frame) {
    return 10 + 6 * frame;
}

int NumberedFrame(QColor c) {
    // Steps of 6 leave room for what JPEG and colour conversion change.
    if (!c.isValid() || std::abs(c.red() - c.green()) > 6 || std::abs(c.red() - c.blue()) > 6)
        return -1;
    const int frame = static_cast<int>(std::lround((c.green() - 10) / 6.0));
    return frame >= 0 && frame < 40 ? frame : -1;
}

bool MakeSolidClip(const QString& path, QColor colour, int frames) {
    const cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(colour.blue(), colour.green(), colour.red()));
    return MakeClip(path, frame, frames);
}

QImage GrabPane(const QWidget* pane) {
    pane->window()->raise();
    QCoreApplication::processEvents();
    return QGuiApplication::primaryScreen()->grabWindow(pane->winId()).toImage();
}

QColor PaneColour(const QWidget* pane) {
    const QImage image = GrabPane(pane);
    if (image.isNull() || image.width() < 4 || image.height() < 4) return QColor();
    const int w = image.width();
    const int h = image.height();
    const QPoint points[] = {{w / 2, h / 2},
                             {w / 4, h / 4},
                             {3 * w / 4, h / 4},
                             {w / 4, 3 * h / 4},
                             {3 * w / 4, 3 * h / 4}};
    int r = 0, g = 0, b = 0;
    for (const QPoint& p : points) {
        const QColor c = image.pixelColor(p);
        r += c.red();
        g += c.green();
        b += c.blue();
    }
    return QColor(r / 5, g / 5, b / 5);
}

Shade Classify(QColor c) {
    if (!c.isValid()) return Shade::Other;
    const int r = c.red(), g = c.green(), b = c.blue();
    if (r < 30 && g < 30 && b < 30) return Shade::Black;
    if (r > 225 && g > 225 && b > 225) return Shade::White;
    if (r > 180 && g < 80 && b < 80) return Shade::Red;
    if (g > 180 && r < 80 && b < 80) return Shade::Green;
    if (b > 180 && r < 80 && g < 80) return Shade::Blue;
    return Shade::Other;
}

const char* ShadeName(Shade s) {
    switch (s) {
        case Shade::Black:
            return "black";
        case Shade::White:
            return "white";
        case Shade::Red:
            return "red";
        case Shade::Green:
            return "green";
        case Shade::Blue:
            return "blue";
        case Shade::Other:
            break;
    }
    return "other";
}

QString ScreenLockPath() {
    return QDir::tempPath() + QStringLiteral("/quorvel-playback-screen.lock");
}

bool WaitForShade(const QWidget* pane, Shade shade, int timeoutMs) {
    return testing_support::WaitUntil([&] { return Classify(PaneColour(pane)) == shade; },
                                      timeoutMs);
}

}  // namespace playback_testing
