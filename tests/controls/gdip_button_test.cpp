// The image button, checked by its pixels and its click signals on a real window.
#include "controls/gdip_button.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <functional>

#include "platform/font_height.h"
#include "tests/support/test_support.h"

using testing_support::WaitUntil;

namespace {

const QColor kRed(213, 13, 13);
const QColor kHoverRed(236, 26, 26);  // 1.05 c + 0.05 of the red face
const QColor kGreen(0, 160, 0);

int Distance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

// Bounding box of the pixels that satisfy pred.
QRect InkBox(const QImage& img, const std::function<bool(const QColor&)>& pred) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (pred(img.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
    return box;
}

int CountPixels(const QImage& img, const std::function<bool(const QColor&)>& pred) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (pred(img.pixelColor(x, y))) ++n;
    return n;
}

// A green top-level window with one image button on it, away from the pointer's resting place.
class GdipButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_host.setAutoFillBackground(true);
        QPalette pal = m_host.palette();
        pal.setColor(QPalette::Window, kGreen);
        m_host.setPalette(pal);
        m_host.setGeometry(0, 0, 420, 200);
        m_button = new CGdipButton(&m_host);
        m_button->setGeometry(kButtonPos.x(), kButtonPos.y(), 280, 80);
        m_host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_host));
    }

    QImage Grab() { return m_button->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QWindow* Window() { return m_host.windowHandle(); }
    QPoint InButton(int x, int y) const { return kButtonPos + QPoint(x, y); }

    static constexpr QPoint kButtonPos{60, 50};
    QWidget m_host;
    CGdipButton* m_button = nullptr;
};

}  // namespace

TEST(GdipButtonHoverMatrix, BrightensStraightColourAndKeepsAlpha) {
    QImage src(4, 1, QImage::Format_ARGB32);
    src.setPixel(0, 0, qRgba(213, 13, 13, 255));
    src.setPixel(1, 0, qRgba(255, 255, 255, 255));
    src.setPixel(2, 0, qRgba(100, 100, 100, 128));
    src.setPixel(3, 0, qRgba(0, 0, 0, 0));
    const QImage out =
        CGdipButton::ApplyHoverMatrix(src.convertToFormat(QImage::Format_ARGB32_Premultiplied))
            .convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(out.pixel(0, 0), qRgba(236, 26, 26, 255));
    EXPECT_EQ(out.pixel(1, 0), qRgba(255, 255, 255, 255));  // clamped
    const QRgb half = out.pixel(2, 0);
    EXPECT_EQ(qAlpha(half), 128);
    EXPECT_NEAR(qRed(half), 118, 2);
    EXPECT_EQ(qAlpha(out.pixel(3, 0)), 0);
}

TEST_F(GdipButtonTest, TransparentCornersShowWhiteAndTheFaceIsRed) {
    m_button->SetPngImage(132);
    const QImage img = Grab();
    ASSERT_EQ(img.size(), QSize(280, 80));
    EXPECT_EQ(img.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(279, 79), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(140, 40), kRed);
    EXPECT_EQ(img.pixelColor(140, 0), kRed);
}

TEST_F(GdipButtonTest, WithoutCaptionDrawsExactlyTheImageOnWhite) {
    // A new button has no caption: only its image shows.
    m_button->SetPngImage(133);
    const QImage img = Grab();
    QImage expected(280, 80, QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        QPainter p(&expected);
        p.drawImage(0, 0, QImage(QStringLiteral(":/png/133.png")));
    }
    int worst = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 280; ++x)
            worst = std::max(worst, Distance(img.pixelColor(x, y), expected.pixelColor(x, y)));
    EXPECT_LE(worst, 1);
}

TEST_F(GdipButtonTest, ImageIsStretchedToTheButtonWithoutKeepingProportions) {
    m_button->SetPngImage(136);
    m_button->resize(400, 40);
    const QImage img = Grab();
    ASSERT_EQ(img.size(), QSize(400, 40));
    const QColor dark(28, 28, 28);
    EXPECT_EQ(img.pixelColor(1, 20), dark);
    EXPECT_EQ(img.pixelColor(398, 20), dark);
    EXPECT_EQ(img.pixelColor(200, 0), dark);
    EXPECT_EQ(img.pixelColor(200, 39), dark);
    EXPECT_EQ(img.pixelColor(0, 0), QColor(Qt::white));
}

TEST_F(GdipButtonTest, HoverAfterRestingThenNormalAfterLeaving) {
    m_button->SetPngImage(132);
    EXPECT_FALSE(m_button->IsTracking());
    QTest::mouseMove(Window(), InButton(100, 40));
    EXPECT_TRUE(m_button->IsTracking());
    ASSERT_TRUE(WaitUntil([&] { return m_button->IsHovering(); }));

    QImage img = Grab();
    EXPECT_LE(Distance(img.pixelColor(140, 40), kHoverRed), 1);
    EXPECT_EQ(img.pixelColor(0, 0), QColor(Qt::white));  // white stays white

    // Moving on inside keeps the hover look.
    QTest::mouseMove(Window(), InButton(200, 30));
    EXPECT_TRUE(m_button->IsHovering());

    QTest::mouseMove(Window(), QPoint(5, 5));
    EXPECT_FALSE(m_button->IsHovering());
    EXPECT_FALSE(m_button->IsTracking());
    img = Grab();
    EXPECT_EQ(img.pixelColor(140, 40), kRed);

    // Coming back starts a new stay.
    QTest::mouseMove(Window(), InButton(120, 40));
    EXPECT_TRUE(m_button->IsTracking());
    EXPECT_TRUE(WaitUntil([&] { return m_button->IsHovering(); }));
    QTest::mouseMove(Window(), QPoint(5, 5));
}

TEST_F(GdipButtonTest, PressedShiftsTheImageOnePixelAndThenHoverReturns) {
    m_button->SetPngImage(132);
    const QImage normal = Grab();
    QTest::mouseMove(Window(), InButton(140, 40));
    ASSERT_TRUE(WaitUntil([&] { return m_button->IsHovering(); }));

    QTest::mousePress(Window(), Qt::LeftButton, {}, InButton(140, 40));
    ASSERT_TRUE(m_button->isDown());
    const QImage pressed = Grab();
    // Whatever the hover state, the held button shows the plain image, moved right and down.
    for (int x = 0; x < 280; ++x) EXPECT_EQ(pressed.pixelColor(x, 0), QColor(Qt::white)) << x;
    for (int y = 0; y < 80; ++y) EXPECT_EQ(pressed.pixelColor(0, y), QColor(Qt::white)) << y;
    int differing = 0;
    for (int y = 1; y < 80; ++y)
        for (int x = 1; x < 280; ++x)
            if (Distance(pressed.pixelColor(x, y), normal.pixelColor(x - 1, y - 1)) > 1)
                ++differing;
    EXPECT_EQ(differing, 0);
    EXPECT_NE(normal.pixelColor(140, 0), pressed.pixelColor(140, 0));

    QTest::mouseRelease(Window(), Qt::LeftButton, {}, InButton(140, 40));
    EXPECT_FALSE(m_button->isDown());
    EXPECT_TRUE(m_button->IsHovering());
    EXPECT_LE(Distance(Grab().pixelColor(140, 40), kHoverRed), 1);
    QTest::mouseMove(Window(), QPoint(5, 5));
}

TEST_F(GdipButtonTest, CaptionFontHeightIsSizeTimesOnePointFour) {
    const struct {
        int size;
        int pixels;
    } cases[] = {{16, 22}, {18, 25}, {24, 33}, {10, 14}, {15, 21}};
    for (const auto& c : cases) {
        m_button->SetCaption(QStringLiteral("测量开始"), c.size, RGB(255, 255, 255));
        ASSERT_NE(m_button->CaptionFont(), nullptr);
        // The height is the whole cell, as a Windows font height is.
        const int cell = platform::CellHeight(*m_button->CaptionFont());
        EXPECT_LE(cell, c.pixels) << c.size;
        EXPECT_GE(cell, c.pixels - 2) << c.size;
        EXPECT_EQ(m_button->CaptionFont()->weight(), QFont::Normal);
        EXPECT_FALSE(m_button->CaptionFont()->italic());
    }
    const QFont font = *m_button->CaptionFont();
    EXPECT_EQ(font.families().value(0), QStringLiteral("微软雅黑"));
    // The face falls back to one that carries Chinese and Japanese.
    const QFontMetrics fm(font);
    EXPECT_TRUE(fm.inFont(QChar(0x6D4B)));  // 测
    EXPECT_TRUE(fm.inFont(QChar(0x30B9)));  // ス
    EXPECT_EQ(m_button->Caption(), QStringLiteral("测量开始"));
    EXPECT_EQ(m_button->CaptionColor(), RGB(255, 255, 255));
}

TEST_F(GdipButtonTest, CaptionIsCentredAndStaysPutWhenPressed) {
    m_button->SetPngImage(136);
    m_button->SetCaption(QStringLiteral("Delete All"), 16, RGB(255, 255, 255));
    const auto light = [](const QColor& c) { return c.red() > 200 && c.green() > 200; };
    // Leave out the white corners; the face itself is dark.
    const auto inner = [](const QImage& img) { return img.copy(20, 4, 240, 72); };
    const QImage normal = inner(Grab());
    const QRect box = InkBox(normal, light);
    ASSERT_FALSE(box.isEmpty());
    const QPointF centre = QRectF(box).center() + QPointF(20, 4);
    EXPECT_NEAR(centre.x(), 140.0, 2.0);
    EXPECT_NEAR(centre.y(), 40.0, 4.0);

    QTest::mousePress(m_button, Qt::LeftButton);
    const QRect pressedBox = InkBox(inner(Grab()), light);
    QTest::mouseRelease(m_button, Qt::LeftButton);
    EXPECT_EQ(pressedBox, box);
}

TEST_F(GdipButtonTest, LineFeedInCaptionStaysOnOneLine) {
    m_button->SetPngImage(4242);  // no such image: white face, so any dark pixel is caption
    const auto dark = [](const QColor& c) { return c.red() < 128; };
    m_button->SetCaption(QStringLiteral("Start\nRecording"), 16, RGB(0, 0, 0));
    const QImage broken = Grab();
    const QRect box = InkBox(broken, dark);
    ASSERT_FALSE(box.isEmpty());
    const int lineHeight = QFontMetrics(*m_button->CaptionFont()).height();
    EXPECT_LT(box.height(), lineHeight * 3 / 2);
    EXPECT_GT(box.width(), box.height() * 3);  // one wide line, not two stacked words

    m_button->SetCaption(QStringLiteral("Start\r\nRecording"), 16, RGB(0, 0, 0));
    EXPECT_LT(InkBox(Grab(), dark).height(), lineHeight * 3 / 2);
}

TEST_F(GdipButtonTest, FailedImageShowsWhiteAndTheCaptionInEveryLook) {
    m_button->SetPngImage(4242);
    ASSERT_NE(m_button->Image(), nullptr);
    EXPECT_EQ(m_button->Image()->Bitmap(), nullptr);
    m_button->SetCaption(QStringLiteral("结束"), 24, RGB(213, 13, 13));

    const auto isWhite = [](const QColor& c) { return c == QColor(Qt::white); };
    const auto isCaption = [](const QColor& c) { return Distance(c, kRed) <= 8; };
    const auto check = [&](const char* look) {
        const QImage img = Grab();
        const int white = CountPixels(img, isWhite);
        const int caption = CountPixels(img, isCaption);
        EXPECT_GT(caption, 50) << look;
        EXPECT_GT(white, 280 * 80 * 8 / 10) << look;
        // Everything else is the caption's anti-aliased edge: reddish, between red and white.
        const int other = CountPixels(img, [](const QColor& c) {
            return c.red() < 200 || std::abs(c.green() - c.blue()) > 8;
        });
        EXPECT_EQ(other, 0) << look;
        EXPECT_EQ(img.pixelColor(0, 0), QColor(Qt::white)) << look;
    };
    check("normal");
    QTest::mouseMove(Window(), InButton(20, 20));
    ASSERT_TRUE(WaitUntil([&] { return m_button->IsHovering(); }));
    check("hover");
    QTest::mousePress(m_button, Qt::LeftButton, {}, QPoint(20, 20));
    check("pressed");
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseMove(Window(), QPoint(5, 5));
}

TEST_F(GdipButtonTest, ButtonWithoutImageDrawsNothing) {
    m_button->SetCaption(QStringLiteral("Save"), 16, RGB(0, 0, 0));
    const QImage host = m_host.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage area = host.copy(QRect(kButtonPos, QSize(280, 80)));
    EXPECT_EQ(CountPixels(area, [](const QColor& c) { return c != kGreen; }), 0);

    // Giving it an image makes it draw: the face over white.
    m_button->SetPngImage(132);
    const QImage after = m_host.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(after.pixelColor(kButtonPos), QColor(Qt::white));
    EXPECT_EQ(after.pixelColor(kButtonPos + QPoint(140, 10)), kRed);
}

TEST_F(GdipButtonTest, DoubleClickGivesTwoClicks) {
    m_button->SetPngImage(132);
    QSignalSpy clicked(m_button, &QPushButton::clicked);
    QSignalSpy pressed(m_button, &QPushButton::pressed);

    // As the window system delivers it: press, release, press (reported as a double click too),
    // release.
    QTest::mouseDClick(Window(), Qt::LeftButton, {}, InButton(140, 40));
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_EQ(pressed.count(), 2);
    EXPECT_FALSE(m_button->isDown());

    // A platform that reports the second press only as a double click.
    clicked.clear();
    pressed.clear();
    QTest::mouseClick(m_button, Qt::LeftButton);
    QTest::mouseDClick(m_button, Qt::LeftButton);
    EXPECT_TRUE(m_button->isDown());
    QTest::mouseRelease(m_button, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_EQ(pressed.count(), 2);

    // A platform that reports the second press twice, as a press and as a double click: still
    // one press.
    clicked.clear();
    pressed.clear();
    QTest::mouseClick(m_button, Qt::LeftButton);
    QTest::mousePress(m_button, Qt::LeftButton);
    QTest::mouseDClick(m_button, Qt::LeftButton);
    QTest::mouseRelease(m_button, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_EQ(pressed.count(), 2);

    // Other buttons' double clicks do not click.
    clicked.clear();
    QTest::mouseDClick(m_button, Qt::RightButton);
    QTest::mouseRelease(m_button, Qt::RightButton);
    EXPECT_EQ(clicked.count(), 0);
}

TEST_F(GdipButtonTest, NewCaptionShowsAtTheNextDraw) {
    m_button->SetPngImage(132);
    m_button->SetCaption(QStringLiteral("Start Recording"), 16, RGB(255, 255, 255));
    const auto light = [](const QColor& c) { return c.green() > 200; };
    const auto inner = [](const QImage& img) { return img.copy(20, 4, 240, 72); };
    const QRect before = InkBox(inner(Grab()), light);
    m_button->SetCaption(QStringLiteral("Stop"), 18, RGB(255, 255, 255));
    EXPECT_LE(platform::CellHeight(*m_button->CaptionFont()), 25);
    EXPECT_GE(platform::CellHeight(*m_button->CaptionFont()), 23);
    const QRect after = InkBox(inner(Grab()), light);
    ASSERT_FALSE(before.isEmpty());
    ASSERT_FALSE(after.isEmpty());
    EXPECT_LT(after.width(), before.width());
    EXPECT_GT(after.height(), before.height() - 3);
}
