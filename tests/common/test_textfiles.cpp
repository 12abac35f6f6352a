#include "TextFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(TextFiles, DecodesByByteOrderMarkThenUtf8ThenWindows1252)
{
    const std::pair<QByteArray, QString> cases[] = {
        {QByteArray("\xEF\xBB\xBFYES"), QStringLiteral("YES")},
        {QByteArray("\xFF\xFEY\0E\0S\0", 8), QStringLiteral("YES")},
        {QByteArray("\xFE\xFF\0Y\0E\0S", 8), QStringLiteral("YES")},
        {QByteArray("caf\xC3\xA9"), QStringLiteral("caf\u00E9")},
        // Not UTF-8: each byte is a Windows-1252 character.
        {QByteArray("caf\xE9 \x80\x99\x9F\x81"), QStringLiteral("caf\u00E9 \u20AC\u2122\u0178\u0081")},
    };
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(TextFiles::decode(bytes), text) << bytes.toHex().constData();
}

TEST(TextFiles, Windows1252RoundTripsEveryByte)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    EXPECT_EQ(TextFiles::encodeWindows1252(TextFiles::decodeWindows1252(all)), all);
    EXPECT_EQ(TextFiles::encodeWindows1252(QStringLiteral("\u4E2D")), QByteArray("?"));
}

TEST(TextFiles, WritesUtf8WithoutBomAndReportsFailures)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("a.txt"));
    TextFiles::write(path, QStringLiteral("\u00E9"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("\xC3\xA9"));
    EXPECT_EQ(TextFiles::read(path), QStringLiteral("\u00E9"));

    EXPECT_THROW(TextFiles::read(QDir(dir.path()).filePath(QStringLiteral("missing"))), FileError);
    EXPECT_THROW(TextFiles::write(QDir(dir.path()).filePath(QStringLiteral("no/such/folder.txt")), QString()), FileError);
}
