// The clip strip: thumbnail geometry and masking, entry labels, placeholders for clips that
// cannot be read, and the two delete buttons with playing panes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <map>
#include <opencv2/core.hpp>

#include "platform/image_list.h"
#include "tests/workstation/clip_strip_fixture.h"

using playback_testing::Shade;
using testing_support::Pump;
using testing_support::WaitUntil;
using workstation_testing::ClipStripTest;

namespace {

bool IsPlaceholder(const QImage& image) {
    // Neutral grey, opaque, no white and therefore nothing transparent.
    if (image.isNull()) return false;
    const QColor c = image.pixelColor(2, image.height() / 3);
    return c.alpha() == 255 && c.red() == c.green() && c.green() == c.blue() && c.red() > 60 &&
           c.red() < 140;
}

}  // namespace

TEST(ThumbnailGeometry, WidthFromHeightIsTruncatedToAMultipleOfFour) {
    const struct {
        int h, w;
    } cases[] = {{98, 136}, {100, 140}, {120, 168}, {180, 248}, {3, 4}, {2, 0}, {1, 0}, {0, 0}};
    for (const auto& c : cases) EXPECT_EQ(CVideoCaptureDlg::ThumbnailWidth(c.h), c.w) << c.h;
}

TEST(ThumbnailGeometry, FrameIsStretchedToTheSizeOrKeptBelowWidthOne) {
    // Columns of different colours: a row laid out with the wrong stride would shear them.
    cv::Mat frame(97, 321, CV_8UC3);
    for (int x = 0; x < frame.cols; ++x)
        frame.col(x).setTo(cv::Scalar(x % 256, 255 - x % 256, (x * 7) % 256));

    const QImage stretched = CVideoCaptureDlg::MakeThumbnailBitmap(frame, 140, 100);
    EXPECT_EQ(stretched.size(), QSize(140, 100));

    const QImage own = CVideoCaptureDlg::MakeThumbnailBitmap(frame, 0, 0);
    ASSERT_EQ(own.size(), QSize(321, 97));
    for (int y : {0, 48, 96}) {
        for (int x : {0, 1, 160, 319, 320}) {
            const QColor c = own.pixelColor(x, y);
            EXPECT_EQ(c.blue(), x % 256) << x << "," << y;
            EXPECT_EQ(c.green(), 255 - x % 256) << x << "," << y;
            EXPECT_EQ(c.red(), (x * 7) % 256) << x << "," << y;
        }
    }
    EXPECT_TRUE(CVideoCaptureDlg::MakeThumbnailBitmap(cv::Mat(), 140, 100).isNull());
}

TEST(ImageList, OnlyPureWhiteBecomesTransparent) {
    platform::CImageList list(4, 1);
    QImage image(4, 1, QImage::Format_RGB888);
    image.setPixelColor(0, 0, QColor(255, 255, 255));
    image.setPixelColor(1, 0, QColor(254, 255, 255));
    image.setPixelColor(2, 0, QColor(255, 255, 254));
    image.setPixelColor(3, 0, QColor(10, 20, 30));
    EXPECT_EQ(list.AddMasked(QImage(), 0xFFFFFF), -1);
    ASSERT_EQ(list.AddMasked(image, 0xFFFFFF), 0);
    const QImage& kept = list.GetImage(0);
    EXPECT_EQ(qAlpha(kept.pixel(0, 0)), 0);
    EXPECT_EQ(kept.pixelColor(1, 0), QColor(254, 255, 255));
    EXPECT_EQ(kept.pixelColor(2, 0), QColor(255, 255, 254));
    EXPECT_EQ(kept.pixelColor(3, 0), QColor(10, 20, 30));
    EXPECT_EQ(list.AddMasked(image, 0xFFFFFF), 1);
    EXPECT_TRUE(list.Remove(0));
    EXPECT_FALSE(list.Remove(1));
    EXPECT_EQ(list.GetImageCount(), 1);
}

TEST_F(ClipStripTest, ThumbnailsFollowTheHeightWithTheirSpacing) {
    OpenWindow();
    CDragListCtrl& list = m_dlg->m_videoList;
    // Set-up builds the strip for the list's client height less 20.
    const int setUpH = list.height() - 2 * list.frameWidth() - 20;
    ASSERT_NE(m_dlg->m_imageList, nullptr);
    EXPECT_EQ(m_dlg->m_imageList->ImageSize(),
              QSize(CVideoCaptureDlg::ThumbnailWidth(setUpH), setUpH));
    EXPECT_EQ(list.count(), 0);

    m_dlg->AddVideo(MakeClip(QStringLiteral("red.avi"), Qt::red));
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    const struct {
        int h, w, spacing;
    } cases[] = {{98, 136, 156}, {100, 140, 160}, {120, 168, 192}, {180, 248, 288}};
    for (const auto& c : cases) {
        m_dlg->RebuildVideoList(c.h);
        EXPECT_EQ(list.iconSize(), QSize(c.w, c.h));
        EXPECT_EQ(list.gridSize().width(), c.spacing);
        EXPECT_EQ(m_dlg->m_imageList->ImageSize(), QSize(c.w, c.h));
        ASSERT_EQ(m_dlg->m_imageList->GetImageCount(), 1) << c.h;
        const QImage thumb = m_dlg->m_imageList->GetImage(0);
        EXPECT_EQ(thumb.size(), QSize(c.w, c.h));
        EXPECT_EQ(playback_testing::Classify(thumb.pixelColor(c.w / 2, c.h / 2)), Shade::Red);
        ASSERT_EQ(list.count(), 1);
        EXPECT_EQ(list.item(0)->text(), QStringLiteral("red.avi"));
        // The entry has room for its name under the thumbnail.
        EXPECT_GE(list.visualRect(list.model()->index(0, 0)).height(),
                  c.h + list.fontMetrics().height())
            << c.h;
    }
}

TEST_F(ClipStripTest, ResizeRescalesEveryEntryOverSeveralTurnsAndADeleteMeanwhileLosesNone) {
    OpenWindow();
    std::vector<Shade> shades;
    for (int i = 0; i < 12; ++i) {
        const bool red = i % 3 != 0;
        m_dlg->AddVideo(MakeClip(QStringLiteral("c%1.avi").arg(i), red ? Qt::red : Qt::blue));
        shades.push_back(red ? Shade::Red : Shade::Blue);
    }
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    m_dlg->RebuildVideoList(100);
    const QSize size(168, 120);
    m_dlg->ResizeStrip(120);
    EXPECT_EQ(m_dlg->m_imageList->ImageSize(), size);
    EXPECT_EQ(m_dlg->m_videoList.iconSize(), size);
    const auto rescaled = [&] {
        int n = 0;
        for (int i = 0; i < m_dlg->m_imageList->GetImageCount(); ++i)
            n += m_dlg->m_imageList->GetImage(i).size() == size;
        return n;
    };
    m_dlg->RescaleStripStep();  // one turn's share, not the whole strip
    EXPECT_GT(rescaled(), 0);
    EXPECT_LT(rescaled(), 12);
    // An entry already done and one still waiting go while the rest is under way.
    for (int row : {1, 6}) {
        m_dlg->m_videoList.setCurrentRow(row);
        m_dlg->OnDeleteSelectedVideo();
        shades.erase(shades.begin() + row);
    }
    ASSERT_TRUE(WaitUntil([&] { return rescaled() == 10; }));
    ASSERT_EQ(m_dlg->m_imageList->GetImageCount(), 10);
    ASSERT_EQ(m_dlg->m_videoList.count(), 10);
    for (int i = 0; i < 10; ++i) {
        const QImage thumb = m_dlg->m_imageList->GetImage(i);
        EXPECT_EQ(playback_testing::Classify(thumb.pixelColor(size.width() / 2, size.height() / 2)),
                  shades[static_cast<std::size_t>(i)])
            << i;
        EXPECT_FALSE(m_dlg->m_videoList.item(i)->icon().isNull()) << i;
    }
}

TEST_F(ClipStripTest, WhiteThumbnailPixelsShowTheListBackground) {
    OpenWindow();
    m_dlg->AddVideo(MakeClip(QStringLiteral("half.avi"), Qt::white, Qt::red));
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    const QSize size = m_dlg->m_imageList->ImageSize();
    ASSERT_GT(size.width(), 40);
    const QImage thumb = m_dlg->m_imageList->GetImage(0);
    const int y = size.height() / 2;
    EXPECT_EQ(qAlpha(thumb.pixel(size.width() / 8, y)), 0);
    EXPECT_EQ(qAlpha(thumb.pixel(size.width() * 7 / 8, y)), 255);

    // The entry's picture as the list paints it: the white half shows the list's background.
    CDragListCtrl& list = m_dlg->m_videoList;
    QPalette p = list.palette();
    p.setColor(QPalette::Base, QColor(0, 0, 255));
    list.setPalette(p);
    list.clearSelection();
    list.setCurrentRow(-1);
    Pump(50);
    const QImage shown = list.viewport()->grab().toImage();
    const QRect icon = list.visualRect(list.model()->index(0, 0));
    ASSERT_FALSE(icon.isEmpty());
    // Find the thumbnail's row: the painted red half lies in the right part of the entry.
    int redX = -1, blueX = -1;
    const int row = icon.top() + size.height() / 2;
    for (int x = icon.left(); x <= icon.right(); ++x) {
        const Shade s = playback_testing::Classify(shown.pixelColor(x, row));
        if (s == Shade::Red && redX < 0) redX = x;
        if (s == Shade::Blue && redX < 0) blueX = x;
    }
    EXPECT_GE(redX, 0) << "no red in the entry";
    EXPECT_GE(blueX, 0) << "white was painted, not the background";
}

TEST_F(ClipStripTest, LabelsAreNameAndExtensionAndUnreadableClipsGetAPlaceholder) {
    OpenWindow();
    const QString good = MakeClip(QStringLiteral("good clip.avi"), Qt::blue);
    const QString broken = m_clipDir.filePath(QStringLiteral("broken.avi"));
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, '\x5a'));
    }
    const QString empty = m_clipDir.filePath(QStringLiteral("empty.avi"));
    QFile(empty).open(QIODevice::WriteOnly);
    const QString missing = m_clipDir.filePath(QStringLiteral("sub/missing.avi"));
    // A lone surrogate: no narrow encoding carries it.
    const QString unencodable =
        m_clipDir.filePath(QStringLiteral("bad")) + QChar(0xD800) + QStringLiteral(".avi");
    const QString folder = m_clipDir.path();

    for (const QString& p : {good, broken, empty, missing, unencodable, folder}) m_dlg->AddVideo(p);
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));

    ASSERT_EQ(m_dlg->m_videoList.count(), 6);
    EXPECT_EQ(EntryTexts().mid(0, 5),
              (QStringList{"good clip.avi", "broken.avi", "empty.avi", "missing.avi",
                           QStringLiteral("bad") + QChar(0xD800) + QStringLiteral(".avi")}));
    EXPECT_EQ(ListPaths(), (QStringList{good, broken, empty, missing, unencodable, folder}));
    ASSERT_EQ(m_dlg->m_imageList->GetImageCount(), 6);
    EXPECT_EQ(playback_testing::Classify(m_dlg->m_imageList->GetImage(0).pixelColor(20, 20)),
              Shade::Blue);
    EXPECT_FALSE(IsPlaceholder(m_dlg->m_imageList->GetImage(0)));
    for (int i = 1; i < 6; ++i) {
        EXPECT_TRUE(IsPlaceholder(m_dlg->m_imageList->GetImage(i))) << i;
        EXPECT_EQ(m_dlg->m_imageList->GetImage(i).size(), m_dlg->m_imageList->ImageSize());
        EXPECT_FALSE(m_dlg->m_videoList.item(i)->icon().isNull()) << i;
    }
    // A rebuild keeps the same pictures.
    m_dlg->RebuildVideoList(100);
    ASSERT_EQ(m_dlg->m_imageList->GetImageCount(), 6);
    EXPECT_TRUE(IsPlaceholder(m_dlg->m_imageList->GetImage(3)));
    EXPECT_EQ(m_dlg->m_imageList->GetImage(3).size(), QSize(140, 100));
}

TEST_F(ClipStripTest, DeleteSelectedWithNothingSelectedChangesNothing) {
    OpenWindow();
    const QString a = MakeClip(QStringLiteral("a.avi"), Qt::red);
    const QString b = MakeClip(QStringLiteral("b.avi"), Qt::blue);
    m_dlg->AddVideo(a);
    m_dlg->AddVideo(b);
    m_dlg->m_videoList.clearSelection();
    Click(&m_dlg->m_btnDeleteOne);
    EXPECT_EQ(EntryTexts(), (QStringList{"a.avi", "b.avi"}));
    EXPECT_EQ(ListPaths(), (QStringList{a, b}));
    EXPECT_EQ(m_dlg->m_videoPaths.size(), 2u);
}

TEST_F(ClipStripTest, DeletingThePlayingEntryStopsOnlyItsPane) {
    OpenWindow();
    const QString red = MakeClip(QStringLiteral("red.avi"), Qt::red);
    const QString blue = MakeClip(QStringLiteral("blue.avi"), Qt::blue);
    const QString green = MakeClip(QStringLiteral("green.avi"), Qt::green);
    for (const QString& p : {red, blue, green}) m_dlg->AddVideo(p);
    const auto before = FolderState();
    Click(&m_dlg->m_btnView);
    DropAt(PointOf(1007), red);
    DropAt(PointOf(1008), blue);
    ASSERT_TRUE(WaitShade(1007, Shade::Red));
    ASSERT_TRUE(WaitShade(1008, Shade::Blue));

    m_dlg->m_videoList.setCurrentRow(0);
    Click(&m_dlg->m_btnDeleteOne);
    EXPECT_FALSE(Playing(m_dlg->m_pPlayer1));
    EXPECT_EQ(m_dlg->m_pPlayer1->m_media.get(), nullptr);
    EXPECT_EQ(LabelText(1012), QString());
    EXPECT_TRUE(WaitShade(1007, Shade::White));
    EXPECT_TRUE(Playing(m_dlg->m_pPlayer2));
    EXPECT_EQ(LabelText(1013), QStringLiteral("blue.avi"));
    EXPECT_TRUE(WaitShade(1008, Shade::Blue));

    // The entries after it keep their order, and a drag of entry k delivers path k.
    EXPECT_EQ(EntryTexts(), (QStringList{"blue.avi", "green.avi"}));
    EXPECT_EQ(ListPaths(), (QStringList{blue, green}));
    DragEntryTo(1, PointOf(1007));
    EXPECT_EQ(m_dlg->m_pPlayer1->m_path, green);
    EXPECT_EQ(LabelText(1012), QStringLiteral("green.avi"));
    EXPECT_TRUE(WaitShade(1007, Shade::Green));
    EXPECT_EQ(FolderState(), before);
}

TEST_F(ClipStripTest, DeletingAClipPlayingInBothPanesStopsBoth) {
    OpenWindow();
    const QString red = MakeClip(QStringLiteral("red.avi"), Qt::red);
    const QString blue = MakeClip(QStringLiteral("blue.avi"), Qt::blue);
    m_dlg->AddVideo(blue);
    m_dlg->AddVideo(red);
    DropAt(PointOf(1007), red);
    DropAt(PointOf(1008), red);
    ASSERT_TRUE(WaitPlaying(m_dlg->m_pPlayer1));
    ASSERT_TRUE(WaitPlaying(m_dlg->m_pPlayer2));
    EXPECT_NE(m_dlg->m_pPlayer1.get(), m_dlg->m_pPlayer2.get());

    // Deleting another entry leaves both playing.
    m_dlg->m_videoList.setCurrentRow(0);
    Click(&m_dlg->m_btnDeleteOne);
    EXPECT_TRUE(Playing(m_dlg->m_pPlayer1));
    EXPECT_TRUE(Playing(m_dlg->m_pPlayer2));
    EXPECT_EQ(LabelText(1012), QStringLiteral("red.avi"));

    m_dlg->m_videoList.setCurrentRow(0);
    Click(&m_dlg->m_btnDeleteOne);
    EXPECT_FALSE(Playing(m_dlg->m_pPlayer1));
    EXPECT_FALSE(Playing(m_dlg->m_pPlayer2));
    EXPECT_EQ(LabelText(1012), QString());
    EXPECT_EQ(LabelText(1013), QString());
    EXPECT_EQ(m_dlg->m_videoList.count(), 0);
    EXPECT_TRUE(QFile::exists(red));
    EXPECT_TRUE(QFile::exists(blue));
}

TEST_F(ClipStripTest, PathsDifferingOnlyInLetterCaseAreTheSameClip) {
    OpenWindow();
    const QString clip = MakeClip(QStringLiteral("clip.avi"), Qt::red);
    const QString upper = m_clipDir.filePath(QStringLiteral("CLIP.AVI"));
    const QString other = MakeClip(QStringLiteral("clip2.avi"), Qt::blue);
    m_dlg->AddVideo(other);
    m_dlg->AddVideo(upper);  // no such file: listed with a placeholder
    DropAt(PointOf(1007), clip);
    DropAt(PointOf(1008), other);
    ASSERT_TRUE(WaitPlaying(m_dlg->m_pPlayer1));
    ASSERT_TRUE(WaitPlaying(m_dlg->m_pPlayer2));

    m_dlg->m_videoList.setCurrentRow(1);
    Click(&m_dlg->m_btnDeleteOne);
    EXPECT_FALSE(Playing(m_dlg->m_pPlayer1));
    EXPECT_EQ(LabelText(1012), QString());
    EXPECT_TRUE(Playing(m_dlg->m_pPlayer2));
    EXPECT_EQ(LabelText(1013), QStringLiteral("clip2.avi"));
    EXPECT_EQ(ListPaths(), QStringList{other});
    EXPECT_TRUE(QFile::exists(clip));
}

TEST_F(ClipStripTest, TheSameFileTwiceGivesTwoEntriesAndDeletingOneKeepsTheOther) {
    OpenWindow();
    const QString red = MakeClip(QStringLiteral("red.avi"), Qt::red);
    m_dlg->AddVideo(red);
    m_dlg->AddVideo(red);
    EXPECT_EQ(EntryTexts(), (QStringList{"red.avi", "red.avi"}));
    m_dlg->m_videoList.setCurrentRow(1);
    Click(&m_dlg->m_btnDeleteOne);
    EXPECT_EQ(EntryTexts(), QStringList{"red.avi"});
    EXPECT_EQ(ListPaths(), QStringList{red});
    EXPECT_TRUE(QFile::exists(red));
}

TEST_F(ClipStripTest, DeletesLeaveOneImagePerEntryEachItsOwnClips) {
    OpenWindow();
    // Left and right halves tell the five clips apart.
    const struct {
        const char* name;
        Qt::GlobalColor left, right;
    } clips[] = {{"red.avi", Qt::red, Qt::red},
                 {"green.avi", Qt::green, Qt::green},
                 {"blue.avi", Qt::blue, Qt::blue},
                 {"red-blue.avi", Qt::red, Qt::blue},
                 {"blue-green.avi", Qt::blue, Qt::green}};
    std::map<QString, std::pair<Shade, Shade>> halves;
    for (const auto& c : clips) {
        m_dlg->AddVideo(MakeClip(QString::fromLatin1(c.name), c.left, c.right));
        halves[QString::fromLatin1(c.name)] = {playback_testing::Classify(QColor(c.left)),
                                               playback_testing::Classify(QColor(c.right))};
    }
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));

    CDragListCtrl& list = m_dlg->m_videoList;
    const auto check = [&](const QStringList& expected) {
        ASSERT_EQ(EntryTexts(), expected);
        ASSERT_EQ(m_dlg->m_imageList->GetImageCount(), list.count());
        const QSize size = m_dlg->m_imageList->ImageSize();
        const int y = size.height() / 2;
        for (int i = 0; i < list.count(); ++i) {
            const auto want = halves.at(expected[i]);
            const QImage image = m_dlg->m_imageList->GetImage(i);
            const QImage shown = list.item(i)->icon().pixmap(size).toImage();
            for (const QImage& picture : {image, shown}) {
                EXPECT_EQ(playback_testing::Classify(picture.pixelColor(size.width() / 5, y)),
                          want.first)
                    << expected[i].toStdString();
                EXPECT_EQ(playback_testing::Classify(picture.pixelColor(size.width() * 4 / 5, y)),
                          want.second)
                    << expected[i].toStdString();
            }
        }
    };
    check({"red.avi", "green.avi", "blue.avi", "red-blue.avi", "blue-green.avi"});
    const struct {
        int row;
        QStringList left;
    } deletes[] = {{2, {"red.avi", "green.avi", "red-blue.avi", "blue-green.avi"}},
                   {0, {"green.avi", "red-blue.avi", "blue-green.avi"}},
                   {2, {"green.avi", "red-blue.avi"}},
                   {0, {"red-blue.avi"}}};
    for (const auto& d : deletes) {
        list.setCurrentRow(d.row);
        Click(&m_dlg->m_btnDeleteOne);
        SCOPED_TRACE(d.left.join(' ').toStdString());
        check(d.left);
    }
}

TEST_F(ClipStripTest, DeleteAllStopsBothPlayersEvenWithAnEmptyList) {
    OpenWindow();
    const QString red = MakeClip(QStringLiteral("red.avi"), Qt::red);
    const QString blue = MakeClip(QStringLiteral("blue.avi"), Qt::blue);
    const auto before = FolderState();

    // Nothing to stop and nothing listed: harmless.
    Click(&m_dlg->m_btnDeleteAll);
    EXPECT_EQ(m_dlg->m_pPlayer1, nullptr);
    EXPECT_EQ(m_dlg->m_videoList.count(), 0);

    DropAt(PointOf(1007), red);
    DropAt(PointOf(1008), blue);
    ASSERT_TRUE(WaitPlaying(m_dlg->m_pPlayer1));
    ASSERT_TRUE(WaitPlaying(m_dlg->m_pPlayer2));
    Click(&m_dlg->m_btnDeleteAll);
    EXPECT_FALSE(Playing(m_dlg->m_pPlayer1));
    EXPECT_FALSE(Playing(m_dlg->m_pPlayer2));
    EXPECT_EQ(LabelText(1012), QString());
    EXPECT_EQ(LabelText(1013), QString());

    // With entries: all go, thumbnails too, the files stay.
    m_dlg->AddVideo(red);
    m_dlg->AddVideo(blue);
    DropAt(PointOf(1008), blue);
    ASSERT_TRUE(WaitPlaying(m_dlg->m_pPlayer2));
    Click(&m_dlg->m_btnDeleteAll);
    EXPECT_EQ(m_dlg->m_videoList.count(), 0);
    EXPECT_EQ(m_dlg->m_imageList->GetImageCount(), 0);
    EXPECT_TRUE(m_dlg->m_videoPaths.empty());
    EXPECT_TRUE(ListPaths().isEmpty());
    EXPECT_FALSE(Playing(m_dlg->m_pPlayer2));
    EXPECT_EQ(FolderState(), before);
}

TEST_F(ClipStripTest, OpenFileButtonListsTheChosenClipWhereItIs) {
    OpenWindow();
    const QString blue = MakeClip(QStringLiteral("blue.avi"), Qt::blue);
    QStringList filters;
    QString suffix;
    bool accept = false;
    // Answers the file dialog once it is up; never leaves it open.
    auto clickAndAnswer = [&] {
        bool answered = false;
        QElapsedTimer waited;
        waited.start();
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            if (answered || waited.elapsed() > testing_support::kPatienceMs) {
                static_cast<QDialog*>(dialog)->done(QDialog::Rejected);
                return;
            }
            filters = dialog->nameFilters();
            suffix = dialog->defaultSuffix();
            if (accept) {
                // Typed in, as a user would: the dialog's own selection follows its folder
                // view, which loads in the background.
                auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (!edit) return;
                edit->setText(blue);
                if (dialog->selectedFiles() != QStringList{blue}) return;
                answered = true;
                static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
            } else {
                answered = true;
                static_cast<QDialog*>(dialog)->done(QDialog::Rejected);
            }
        });
        timer.start(20);
        Click(&m_dlg->m_btnOpen);
        return answered;
    };

    ASSERT_TRUE(clickAndAnswer());
    EXPECT_EQ(m_dlg->m_videoList.count(), 0);
    EXPECT_TRUE(filters.contains(QStringLiteral("AVI Files (*.avi)")));
    EXPECT_EQ(suffix, QStringLiteral("avi"));

    accept = true;
    ASSERT_TRUE(clickAndAnswer());
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->PendingThumbnails() == 0; }));
    EXPECT_EQ(EntryTexts(), QStringList{"blue.avi"});
    EXPECT_EQ(ListPaths(), QStringList{blue});
    EXPECT_EQ(playback_testing::Classify(m_dlg->m_imageList->GetImage(0).pixelColor(30, 30)),
              Shade::Blue);
}
