#include "PresetLibrary.h"
#include "Presets.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray kBody = [] {
    QByteArray b;
    for (int k = 0; k < 20; ++k)
        b += QByteArray::number(0x00100000 + k, 16).toUpper().rightJustified(8, '0') + (k < 19 ? "\r" : "");
    return b;
}();

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList namesOf(const PresetStore &store)
{
    QStringList names;
    for (const PresetStore::Entry &e : store.entries())
        names << e.name;
    return names;
}

} // namespace

// Valid exactly when Load Local Preset would load all twenty values.
TEST(PresetProblem, AcceptsWhatTheLoaderLoadsFullyAndNamesWhatIsWrong)
{
    QByteArray crlf = kBody, lf = kBody;
    crlf.replace("\r", "\r\n");
    lf.replace("\r", "\n");
    const std::pair<const char *, QByteArray> valid[] = {
        {"as saved", "\xEF\xBB\xBF" + kBody}, {"no BOM", kBody}, {"CR LF", crlf}, {"LF", lf},
        {"lower case", kBody.toLower()}, {"line end after the last", kBody + "\r\n"},
        {"lines past twenty", kBody + "\rnot a value\r"},
    };
    for (const auto &[name, bytes] : valid)
        EXPECT_EQ(Presets::problemOf(bytes), QString()) << name;

    QByteArray shortLine = kBody, longLine = kBody, badDigit = kBody, blankLine = kBody;
    shortLine.remove(0, 1);
    longLine.insert(0, '0');
    badDigit[25] = 'G'; // line 3
    blankLine.insert(9, "\r");
    const std::pair<QByteArray, const char *> invalid[] = {
        {"", "The file is empty."},
        {"\xEF\xBB\xBF", "The file is empty."},
        {kBody.left(9 * 12), "It holds 12 of the 20 values."},
        {kBody.left(9 * 19 + 7), "Line 20 is not eight hex digits."},
        {shortLine, "Line 1 is not eight hex digits."},
        {longLine, "Line 1 is not eight hex digits."},
        {badDigit, "Line 3 is not eight hex digits."},
        {blankLine, "Line 2 is not eight hex digits."},
        {QByteArray("\xFF\xFE") + kBody, "Line 1 is not eight hex digits."},
    };
    for (const auto &[bytes, problem] : invalid)
        EXPECT_EQ(Presets::problemOf(bytes), QString::fromLatin1(problem)) << bytes.toStdString();

    // The listing reads only a prefix: it must be enough to judge the longest valid form.
    const QByteArray longest = "\xEF\xBB\xBF" + crlf + "\r\n";
    EXPECT_EQ(Presets::problemOf(longest.left(Presets::kCheckedPrefix)), QString());
    QByteArray tooLong = "\xEF\xBB\xBF" + crlf;
    tooLong.insert(tooLong.size(), "0");
    EXPECT_FALSE(Presets::problemOf(tooLong.left(Presets::kCheckedPrefix)).isEmpty());
}

TEST(PresetProblem, NamesThatCannotBeFileNamesAreRefusedWithTheReason)
{
    const std::pair<QString, const char *> cases[] = {
        {"Clean", nullptr},
        {"Lead  (live) é", nullptr},
        {"", "empty"},
        {"   ", "empty"},
        {"a/b", "path separator"},
        {"a\\b", "path separator"},
        {".", "cannot be preset names"},
        {"..", "cannot be preset names"},
        {".hidden", "start with a dot"},
        {QString::fromUtf8("a\0b", 3), "control characters"},
        {"a\tb", "control characters"},
        {QString(300, QLatin1Char('x')), "at most 251 bytes"},
    };
    for (const auto &[name, problem] : cases) {
        const QString found = Presets::nameProblem(name);
        if (problem)
            EXPECT_TRUE(found.contains(QLatin1String(problem))) << name.toStdString() << ": " << found.toStdString();
        else
            EXPECT_EQ(found, QString()) << name.toStdString();
    }
}

TEST(PresetStore, ListsTxtFilesSortedWithoutCaseAndChecksEach)
{
    QTemporaryDir dir;
    for (const char *name : {"beta.txt", "Alpha.txt", "alpha.txt", "gamma.txt"})
        writeBytes(QDir(dir.path()).filePath(name), kBody);
    writeBytes(QDir(dir.path()).filePath("broken.txt"), "hello");
    writeBytes(QDir(dir.path()).filePath("notes.md"), kBody);
    writeBytes(QDir(dir.path()).filePath("upper.TXT"), kBody);
    QDir(dir.path()).mkdir("folder.txt");

    PresetStore store(dir.path());
    ASSERT_TRUE(store.scan()) << store.error().toStdString();
    EXPECT_EQ(namesOf(store), (QStringList{"Alpha", "alpha", "beta", "broken", "gamma"}));
    EXPECT_EQ(store.entries()[3].problem, QStringLiteral("Line 1 is not eight hex digits."));
    EXPECT_EQ(store.entries()[2].problem, QString());

    // A file changed in place is judged again; the others keep their verdict.
    writeBytes(QDir(dir.path()).filePath("beta.txt"), "x");
    ASSERT_TRUE(store.scan());
    EXPECT_EQ(store.entries()[store.indexOf("beta")].problem, QStringLiteral("Line 1 is not eight hex digits."));

    // A folder that vanishes is reported, and listed again once it is back.
    const QString folder = QDir(dir.path()).filePath("Preset");
    PresetStore gone(folder);
    EXPECT_FALSE(gone.scan());
    EXPECT_TRUE(gone.error().contains("does not exist")) << gone.error().toStdString();
    EXPECT_TRUE(gone.entries().isEmpty());
    QDir().mkpath(folder);
    writeBytes(QDir(folder).filePath("back.txt"), kBody);
    EXPECT_TRUE(gone.scan());
    EXPECT_EQ(namesOf(gone), QStringList{"back"});
}

TEST(PresetStore, ReadChecksTheWholeFileAndFileOperationsReportFailures)
{
    QTemporaryDir dir;
    PresetStore store(dir.path());
    writeBytes(store.pathOf("good"), kBody.toLower());
    writeBytes(store.pathOf("bad"), kBody.left(9 * 5));

    const PresetStore::Read good = store.read("good");
    EXPECT_EQ(good.error, QString());
    EXPECT_EQ(good.text, Presets::readPresetFile(store.pathOf("good")));
    EXPECT_EQ(store.read("bad").error,
              QStringLiteral("\"bad\" is not a preset file, so nothing was sent: It holds 5 of the 20 values."));
    EXPECT_EQ(store.read("gone").error, QStringLiteral("The preset \"gone\" is no longer in the preset folder."));

    EXPECT_EQ(store.rename("good", "bad"), QStringLiteral("A preset named \"bad\" already exists; choose another name."));
    EXPECT_EQ(store.rename("good", "fine"), QString());
    EXPECT_FALSE(QFile::exists(store.pathOf("good")));
    EXPECT_EQ(QFile(store.pathOf("fine")).size(), kBody.size());
    EXPECT_TRUE(store.rename("gone", "other").startsWith("\"gone\" was not renamed: "));

    // Saving over a folder fails and says why; what was there stays.
    QDir(dir.path()).mkdir("taken.txt");
    EXPECT_TRUE(store.save("taken", "x").startsWith("The preset \"taken\" was not saved: "));
    EXPECT_TRUE(QFileInfo(store.pathOf("taken")).isDir());
    EXPECT_EQ(store.moveToTrash("gone"), QStringLiteral("The preset \"gone\" is no longer in the preset folder."));
}
