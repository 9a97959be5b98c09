// Draws Quorvel's image resources and writes them under the given res/ folder:
//   png/132.png 133.png 135.png 136.png  button faces, 280 x 80, 8-bit RGBA
//   png/138.png                           "open file" symbol, 64 x 64, 8-bit RGBA
//   logo/137.bmp                          word mark, 500 x 104, 24 bits per pixel
//   icon/128.png                          application icon, 256 x 256, 8-bit RGBA
//
// To redraw them after a change here:
//   cmake --build build --target quorvel-assets
//   build/bin/quorvel-assets res
// then reconfigure (cmake -S . -B build) so the resource list picks up new files, and commit the
// images with the change. Runs without a display (Qt's offscreen platform).
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr QColor kRed(213, 13, 13);
constexpr QColor kOutlineBlack(3, 3, 3);
constexpr QColor kDarkFill(28, 28, 28);
constexpr QColor kSymbolGrey(44, 44, 44);

constexpr int kFaceWidth = 280;
constexpr int kFaceHeight = 80;
constexpr qreal kFaceRadius = 16.0;
constexpr qreal kOutlineWidth = 4.0;

QImage TransparentCanvas(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void Antialiased(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QPainterPath RoundedRect(const QRectF& r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// A filled rounded rectangle; everything outside the rounded corners stays transparent.
QImage FilledFace(QColor fill) {
    QImage image = TransparentCanvas(kFaceWidth, kFaceHeight);
    QPainter p(&image);
    Antialiased(p);
    p.fillPath(RoundedRect(QRectF(0, 0, kFaceWidth, kFaceHeight), kFaceRadius), fill);
    return image;
}

// The outline of a rounded rectangle, transparent inside; the area outside the rounded corners is
// opaque white or transparent.
QImage OutlinedFace(QColor line, bool whiteOutside) {
    QImage image = TransparentCanvas(kFaceWidth, kFaceHeight);
    const qreal half = kOutlineWidth / 2;
    const QPainterPath outline =
        RoundedRect(QRectF(half, half, kFaceWidth - kOutlineWidth, kFaceHeight - kOutlineWidth),
                    kFaceRadius - half);
    QPainter p(&image);
    Antialiased(p);
    if (whiteOutside) {
        image.fill(Qt::white);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.fillPath(outline, Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    p.strokePath(outline, QPen(line, kOutlineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    return image;
}

// A circle with a plus sign inside: the "open file" button.
QImage OpenSymbol() {
    constexpr int kSize = 64;
    QImage image = TransparentCanvas(kSize, kSize);
    QPainter p(&image);
    Antialiased(p);
    p.setPen(QPen(kSymbolGrey, 3.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF c(kSize / 2.0, kSize / 2.0);
    p.drawEllipse(c, 29.0, 29.0);
    p.drawLine(QPointF(c.x() - 14, c.y()), QPointF(c.x() + 14, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 14), QPointF(c.x(), c.y() + 14));
    return image;
}

// A capillary loop as seen at the nail fold: two limbs joined by a rounded arch, open at the
// bottom. The box is the loop's outer extent.
QPainterPath CapillaryLoop(const QRectF& box) {
    const qreal archRadius = box.width() / 2;
    QPainterPath path;
    path.moveTo(box.left(), box.bottom());
    path.cubicTo(box.left() - box.width() * 0.08, box.top() + box.height() * 0.65,
                 box.left() + box.width() * 0.04, box.top() + box.height() * 0.45, box.left(),
                 box.top() + archRadius);
    path.arcTo(QRectF(box.left(), box.top(), box.width(), 2 * archRadius), 180, -180);
    path.cubicTo(box.right() - box.width() * 0.04, box.top() + box.height() * 0.45,
                 box.right() + box.width() * 0.08, box.top() + box.height() * 0.65, box.right(),
                 box.bottom());
    return path;
}

QFont WordMarkFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::DemiBold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// The product logo: three nested capillary loops and the word "Quorvel", red on white.
QImage Logo() {
    constexpr int kWidth = 500;
    constexpr int kHeight = 104;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    Antialiased(p);

    p.setBrush(Qt::NoBrush);
    const qreal widths[] = {52, 36, 20};
    const qreal pens[] = {5.0, 4.0, 3.0};
    for (int i = 0; i < 3; ++i) {
        const qreal w = widths[i];
        const QRectF box(60 - w / 2, 14 + (52 - w) / 2, w, 76 - (52 - w) / 2);
        QColor c = kRed;
        c.setAlpha(255 - i * 60);
        p.setPen(QPen(c, pens[i], Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(CapillaryLoop(box));
    }

    const QString word = QStringLiteral("Quorvel");
    const QFont font = WordMarkFont(66);
    p.setPen(kRed);
    p.setFont(font);
    p.drawText(QRectF(112, 0, kWidth - 124, kHeight), Qt::AlignVCenter | Qt::AlignLeft, word);

    // A thin rule under the word, as wide as the word, ties the mark together.
    const qreal wordWidth = QFontMetricsF(font).horizontalAdvance(word);
    p.fillRect(QRectF(116, 88, wordWidth - 4, 2), QColor(213, 13, 13, 90));
    p.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

// The application icon: a red rounded square with a white capillary loop.
QImage Icon() {
    constexpr int kSize = 256;
    QImage image = TransparentCanvas(kSize, kSize);
    QPainter p(&image);
    Antialiased(p);
    p.fillPath(RoundedRect(QRectF(8, 8, kSize - 16, kSize - 16), 48), kRed);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 20, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(CapillaryLoop(QRectF(78, 52, 100, 156)));
    p.setPen(QPen(QColor(255, 255, 255, 150), 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(CapillaryLoop(QRectF(108, 92, 40, 116)));
    return image;
}

bool Save(const QImage& image, const QDir& root, const QString& relative, const char* format) {
    const QString path = root.filePath(relative);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        std::fprintf(stderr, "cannot create the folder of %s\n", qPrintable(path));
        return false;
    }
    // PNG faces keep straight (non-premultiplied) alpha in the file.
    const QImage out =
        image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32) : image;
    if (!out.save(path, format)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s (%dx%d)\n", qPrintable(path), out.width(), out.height());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <res folder>\n", argv[0]);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const QDir root(QString::fromLocal8Bit(argv[1]));
    if (!root.exists()) {
        std::fprintf(stderr, "no such folder: %s\n", argv[1]);
        return 2;
    }

    bool ok = true;
    ok &= Save(FilledFace(kRed), root, QStringLiteral("png/132.png"), "PNG");
    ok &= Save(OutlinedFace(kRed, true), root, QStringLiteral("png/133.png"), "PNG");
    ok &= Save(OutlinedFace(kOutlineBlack, false), root, QStringLiteral("png/135.png"), "PNG");
    ok &= Save(FilledFace(kDarkFill), root, QStringLiteral("png/136.png"), "PNG");
    ok &= Save(OpenSymbol(), root, QStringLiteral("png/138.png"), "PNG");
    ok &= Save(Logo(), root, QStringLiteral("logo/137.bmp"), "BMP");
    ok &= Save(Icon(), root, QStringLiteral("icon/128.png"), "PNG");
    return ok ? 0 : 1;
}
