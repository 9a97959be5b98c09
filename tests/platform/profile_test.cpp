#include "platform/profile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>

using platform::GetPrivateProfileStringW;

namespace {

class ProfileTest : public ::testing::Test {
  protected:
    QString Write(const QByteArray& bytes) {
        const QString path = m_dir.filePath(QStringLiteral("pack.ini"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    QString Read(const QString& file, const QString& key, int size = 1000) {
        return GetPrivateProfileStringW(QStringLiteral("Setting"), key, QStringLiteral("Not found"),
                                        size, file);
    }
    QTemporaryDir m_dir;
};

}  // namespace

TEST_F(ProfileTest, SectionAndKeyIgnoreCaseAndValueIsTrimmedAndUnquoted) {
    const QString f = Write(
        "; comment\n[Other]\nIDS_START=wrong\n[ setting ]\n  ids_start =  Start  \r\n"
        "IDS_Q=\"  quoted  \"\nIDS_S='single'\nIDS_HALF=\"open\nIDS_EMPTY=\n");
    EXPECT_EQ(Read(f, QStringLiteral("IDS_START")), QStringLiteral("Start"));
    EXPECT_EQ(Read(f, QStringLiteral("IDS_Q")), QStringLiteral("  quoted  "));
    EXPECT_EQ(Read(f, QStringLiteral("IDS_S")), QStringLiteral("single"));
    EXPECT_EQ(Read(f, QStringLiteral("IDS_HALF")), QStringLiteral("\"open"));
    EXPECT_EQ(Read(f, QStringLiteral("IDS_EMPTY")), QString());
}

TEST_F(ProfileTest, MissesGiveTheDefault) {
    const QString f = Write("[Other]\nIDS_START=x\n");
    EXPECT_EQ(Read(f, QStringLiteral("IDS_START")), QStringLiteral("Not found"));
    EXPECT_EQ(Read(f, QStringLiteral("IDS_NONE")), QStringLiteral("Not found"));
    EXPECT_EQ(Read(m_dir.filePath(QStringLiteral("missing.ini")), QStringLiteral("IDS_START")),
              QStringLiteral("Not found"));
    const QString g = Write("[Setting]\nno equals sign here\n");
    EXPECT_EQ(Read(g, QStringLiteral("no equals sign here")), QStringLiteral("Not found"));
}

TEST_F(ProfileTest, ResultIsCutToBufferSizeMinusOne) {
    const QByteArray v999(999, 'a');
    const QByteArray v1000(1000, 'b');
    const QString f = Write("[Setting]\nA=" + v999 + "\nB=" + v1000 + "\n");
    EXPECT_EQ(Read(f, QStringLiteral("A")).size(), 999);
    const QString b = Read(f, QStringLiteral("B"));
    EXPECT_EQ(b.size(), 999);
    EXPECT_EQ(b, QString(999, 'b'));
    EXPECT_EQ(Read(f, QStringLiteral("NONE"), 4), QStringLiteral("Not"));
}

TEST_F(ProfileTest, Utf8WithBomAndUtf16LeWithBom) {
    const QString f8 = Write(
        "\xEF\xBB\xBF[Setting]\nIDS_TITTLE=" + QStringLiteral("毛細血管スコープ").toUtf8() + "\n");
    EXPECT_EQ(Read(f8, QStringLiteral("IDS_TITTLE")), QStringLiteral("毛細血管スコープ"));

    const QString text = QStringLiteral("[Setting]\r\nIDS_SAVE=保存\r\n");
    QByteArray utf16("\xFF\xFE", 2);
    for (QChar c : text) {
        utf16.append(static_cast<char>(c.unicode() & 0xFF));
        utf16.append(static_cast<char>(c.unicode() >> 8));
    }
    const QString f16 = Write(utf16);
    EXPECT_EQ(Read(f16, QStringLiteral("IDS_SAVE")), QStringLiteral("保存"));
}

TEST_F(ProfileTest, WritingSetsOneKeyAndKeepsEveryOtherLine) {
    using platform::WritePrivateProfileStringW;
    const QString file = Write(
        "; kept comment\n[Setting]\nIDS_A=1\n\n[calibration]\nOther=x\nmicrometresperpixel=9\n"
        "\n[Last]\nZ=z\n");
    // The key matches without regard to case and is replaced where it stands.
    ASSERT_EQ(WritePrivateProfileStringW(QStringLiteral("Calibration"),
                                         QStringLiteral("MicrometresPerPixel"),
                                         QStringLiteral("0.4"), file),
              0);
    // A new key goes at the end of its section, a new section at the end of the file.
    ASSERT_EQ(WritePrivateProfileStringW(QStringLiteral("Setting"), QStringLiteral("IDS_B"),
                                         QStringLiteral("二"), file),
              0);
    ASSERT_EQ(WritePrivateProfileStringW(QStringLiteral("New"), QStringLiteral("K"),
                                         QStringLiteral("v"), file),
              0);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()),
              QStringLiteral("; kept comment\n[Setting]\nIDS_A=1\nIDS_B=二\n\n[calibration]\n"
                             "Other=x\nMicrometresPerPixel=0.4\n\n[Last]\nZ=z\n\n[New]\nK=v\n"));
    EXPECT_EQ(GetPrivateProfileStringW(QStringLiteral("Calibration"),
                                       QStringLiteral("MicrometresPerPixel"), {}, 64, file),
              QStringLiteral("0.4"));

    // A new file in a folder with a non-ASCII name; a folder that cannot exist gives its errno
    // and leaves nothing behind.
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("設定")));
    const QString fresh = m_dir.filePath(QStringLiteral("設定/Quorvel.ini"));
    ASSERT_EQ(WritePrivateProfileStringW(QStringLiteral("Calibration"), QStringLiteral("K"),
                                         QStringLiteral("1"), fresh),
              0);
    EXPECT_EQ(
        GetPrivateProfileStringW(QStringLiteral("Calibration"), QStringLiteral("K"), {}, 64, fresh),
        QStringLiteral("1"));
    const QString blocked = file + QStringLiteral("/Quorvel.ini");
    EXPECT_EQ(WritePrivateProfileStringW(QStringLiteral("Calibration"), QStringLiteral("K"),
                                         QStringLiteral("1"), blocked),
              ENOTDIR);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("pack.ini")}));
}
