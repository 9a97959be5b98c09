#include "platform/profile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

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
