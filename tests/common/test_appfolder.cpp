#include "AppFolder.h"
#include "TextFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(AppFolder, FlagFileIsCreatedWithItsDefault)
{
    QTemporaryDir dir;
    EXPECT_EQ(AppFolder::ReadFlagFile(dir.path(), QStringLiteral("flag.txt"), QStringLiteral("YES")), QStringLiteral("YES"));
    EXPECT_EQ(TextFiles::read(QDir(dir.path()).filePath(QStringLiteral("flag.txt"))), QStringLiteral("YES"));
    EXPECT_EQ(AppFolder::ReadFlagFile(dir.path(), QStringLiteral("log.txt"), QString()), QString());
    EXPECT_EQ(QFileInfo(QDir(dir.path()).filePath(QStringLiteral("log.txt"))).size(), 0);
}

TEST(AppFolder, FlagComparisonIsExact)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("flag.txt"));
    struct Case {
        QByteArray content;
        bool fromTrue, fromFalse;
    };
    const Case cases[] = {
        {"YES", true, true},
        {"NO", false, false},
        {"no", true, false},
        {"YES\r\n", true, false},
        {"\xEF\xBB\xBFNO", false, false}, // a byte-order mark is not content
        {"", true, false},
    };
    for (const Case &c : cases) {
        writeBytes(path, c.content);
        const QString content = AppFolder::ReadFlagFile(dir.path(), QStringLiteral("flag.txt"), QStringLiteral("YES"));
        EXPECT_EQ(AppFolder::flagValue(content, true), c.fromTrue) << c.content.constData();
        EXPECT_EQ(AppFolder::flagValue(content, false), c.fromFalse) << c.content.constData();
    }
}

TEST(AppFolder, UnreadableFlagFileIsAnErrorWithItsName)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("log.txt"));
    try {
        AppFolder::ReadFlagFile(dir.path(), QStringLiteral("log.txt"), QString());
        FAIL() << "no error";
    } catch (const FileError &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QStringLiteral("log.txt")));
    }
    // A folder where the log should be is left alone.
    EXPECT_NO_THROW(AppFolder::TrimLog(dir.path()));
}

TEST(AppFolder, LogIsEmptiedFromFiveMillionBytes)
{
    QTemporaryDir dir;
    const QString log = QDir(dir.path()).filePath(QStringLiteral("log.txt"));
    writeBytes(log, QByteArray(4'999'999, 'x'));
    AppFolder::TrimLog(dir.path());
    EXPECT_EQ(QFileInfo(log).size(), 4'999'999);
    writeBytes(log, QByteArray(5'000'000, 'x'));
    AppFolder::TrimLog(dir.path());
    EXPECT_EQ(QFileInfo(log).size(), 0);
}

TEST(AppFolder, FolderThatCannotBeCreatedGivesTheMessage)
{
    QTemporaryDir dir;
    writeBytes(QDir(dir.path()).filePath(QStringLiteral("VORMA")), "a file in the way");
    const QString folderError = AppFolder::CreateAppFolder(dir.path(), QStringLiteral("VORMA"));
    EXPECT_TRUE(folderError.startsWith(QStringLiteral("Error creating folder: "))) << folderError.toStdString();
    const QString subError = AppFolder::CreateAppSubfolder(dir.path(), QStringLiteral("VORMA"), QStringLiteral("Tharnvik MK3"));
    EXPECT_TRUE(subError.startsWith(QStringLiteral("Error creating subfolder: "))) << subError.toStdString();

    QTemporaryDir fresh;
    EXPECT_EQ(AppFolder::CreateAppSubfolder(fresh.path(), QStringLiteral("VORMA"), QStringLiteral("Tharnvik MK3")), QString());
    EXPECT_TRUE(QFileInfo(AppFolder::path(fresh.path())).isDir());
}
