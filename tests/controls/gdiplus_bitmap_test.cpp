// PNG resource loading and the images compiled into the executable.
#include "controls/gdiplus_bitmap.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>

#include "platform/resources.h"

namespace {

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

bool HasPartlyTransparentPixel(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(image.pixel(x, y));
            if (a > 0 && a < 255) return true;
        }
    return false;
}

QByteArray ResourceBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

}  // namespace

TEST(GdiPlusBitmapResource, MissingIdFailsAndLeavesNothing) {
    CGdiPlusBitmapResource res;
    EXPECT_FALSE(res.LoadPng(4242));
    EXPECT_EQ(res.Bitmap(), nullptr);
    EXPECT_EQ(res.Buffer(), nullptr);

    // A failed load after a good one empties the object as well.
    ASSERT_TRUE(res.LoadPng(132));
    EXPECT_FALSE(res.LoadPng(0));
    EXPECT_EQ(res.Bitmap(), nullptr);
    EXPECT_EQ(res.Buffer(), nullptr);
}

TEST(GdiPlusBitmapResource, BytesThatAreNoImageFailAndFreeTheBuffer) {
    const QByteArray png = ResourceBytes(QStringLiteral(":/png/132.png"));
    ASSERT_GT(png.size(), 200);
    const QByteArray cases[] = {
        QByteArray("this is plain text, not a picture"),
        png.left(png.size() / 3),                            // cut short
        QByteArray("\x89PNG\r\n\x1a\n\0\0\0\0garbage", 20),  // signature, then nothing valid
        QByteArray(4096, '\0'),
        QByteArray(),
    };
    for (const QByteArray& bytes : cases) {
        CGdiPlusBitmapResource res;
        ASSERT_TRUE(res.LoadPng(136));
        EXPECT_FALSE(res.LoadFromBytes(bytes)) << bytes.size() << " bytes";
        EXPECT_EQ(res.Bitmap(), nullptr);
        EXPECT_EQ(res.Buffer(), nullptr);
    }
}

TEST(GdiPlusBitmapResource, StartFaceIsRedWithTransparentCorners) {
    CGdiPlusBitmapResource res;
    ASSERT_TRUE(res.LoadPng(132));
    ASSERT_NE(res.Bitmap(), nullptr);
    ASSERT_NE(res.Buffer(), nullptr);
    const QImage& img = *res.Bitmap();
    EXPECT_EQ(img.size(), QSize(280, 80));
    EXPECT_EQ(At(img, 0, 0).alpha(), 0);
    EXPECT_EQ(At(img, 279, 79).alpha(), 0);
    EXPECT_EQ(At(img, 140, 40), QColor(213, 13, 13, 255));
    EXPECT_TRUE(HasPartlyTransparentPixel(img));
    // The buffer is the resource's bytes, kept while the bitmap lives.
    EXPECT_EQ(*res.Buffer(), ResourceBytes(QStringLiteral(":/png/132.png")));
}

TEST(GdiPlusBitmapResource, LoadingTwiceKeepsOnlyTheSecondImage) {
    CGdiPlusBitmapResource res;
    ASSERT_TRUE(res.LoadPng(132));
    ASSERT_TRUE(res.LoadPng(136));
    EXPECT_EQ(At(*res.Bitmap(), 140, 40), QColor(28, 28, 28));
    EXPECT_EQ(*res.Buffer(), ResourceBytes(QStringLiteral(":/png/136.png")));
    res.Clear();
    EXPECT_EQ(res.Bitmap(), nullptr);
    EXPECT_EQ(res.Buffer(), nullptr);
    ASSERT_TRUE(res.LoadPng(138));
    EXPECT_EQ(res.Bitmap()->size(), QSize(64, 64));
}

TEST(ImageResources, ButtonFacesMatchTheirDescriptions) {
    CGdiPlusBitmapResource res;

    ASSERT_TRUE(res.LoadPng(133));  // red outline, white outside, clear inside
    const QImage end = *res.Bitmap();
    EXPECT_EQ(end.size(), QSize(280, 80));
    EXPECT_EQ(At(end, 0, 0), QColor(Qt::white));
    EXPECT_EQ(At(end, 279, 0), QColor(Qt::white));
    EXPECT_EQ(At(end, 140, 40).alpha(), 0);
    EXPECT_EQ(At(end, 140, 1), QColor(213, 13, 13));
    EXPECT_EQ(At(end, 1, 40), QColor(213, 13, 13));
    EXPECT_TRUE(HasPartlyTransparentPixel(end));

    ASSERT_TRUE(res.LoadPng(135));  // near-black outline, clear inside and outside
    const QImage del = *res.Bitmap();
    EXPECT_EQ(del.size(), QSize(280, 80));
    EXPECT_EQ(At(del, 0, 0).alpha(), 0);
    EXPECT_EQ(At(del, 140, 40).alpha(), 0);
    EXPECT_EQ(At(del, 140, 78), QColor(3, 3, 3));
    EXPECT_TRUE(HasPartlyTransparentPixel(del));

    ASSERT_TRUE(res.LoadPng(136));  // dark filled face
    const QImage all = *res.Bitmap();
    EXPECT_EQ(all.size(), QSize(280, 80));
    EXPECT_EQ(At(all, 0, 79).alpha(), 0);
    EXPECT_EQ(At(all, 140, 40), QColor(28, 28, 28));
    EXPECT_EQ(At(all, 2, 40), QColor(28, 28, 28));

    ASSERT_TRUE(res.LoadPng(138));  // circle with a plus
    const QImage open = *res.Bitmap();
    EXPECT_EQ(open.size(), QSize(64, 64));
    EXPECT_EQ(At(open, 0, 0).alpha(), 0);
    EXPECT_EQ(At(open, 32, 32), QColor(44, 44, 44));             // where the bars of the plus cross
    EXPECT_EQ(At(open, 32, 3).rgb(), QColor(44, 44, 44).rgb());  // top of the circle
    EXPECT_EQ(At(open, 20, 20).alpha(), 0);                      // between circle and plus
    EXPECT_TRUE(HasPartlyTransparentPixel(open));
}

TEST(ImageResources, LogoIsA24BitBitmapOfTheRightSizeAndIconLoads) {
    const QByteArray bmp = ResourceBytes(QStringLiteral(":/logo/137.bmp"));
    ASSERT_GE(bmp.size(), 54);
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    const auto u16 = [&](int at) {
        return static_cast<unsigned char>(bmp[at]) | (static_cast<unsigned char>(bmp[at + 1]) << 8);
    };
    EXPECT_EQ(u16(18), 500);  // width
    EXPECT_EQ(u16(22), 104);  // height
    EXPECT_EQ(u16(28), 24);   // bits per pixel

    const QPixmap logo = platform::LoadBitmapResource(137);
    ASSERT_FALSE(logo.isNull());
    const QImage img = logo.toImage();
    EXPECT_EQ(img.size(), QSize(500, 104));
    EXPECT_EQ(img.pixelColor(0, 0), QColor(Qt::white));
    int red = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y) == QColor(213, 13, 13)) ++red;
    EXPECT_GT(red, 1000) << "the word mark is drawn in the accent red";

    EXPECT_FALSE(platform::LoadIconResource().isNull());
}
