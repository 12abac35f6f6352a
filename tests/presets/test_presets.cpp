#include "AppState.h"
#include "EditorFixture.h"
#include "FXsettings.h"
#include "Parameters.h"
#include "Presets.h"
#include "TextFiles.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

std::array<std::uint32_t, 20> sampleValues()
{
    std::array<std::uint32_t, 20> v{};
    for (int i = 0; i < 20; ++i)
        v[static_cast<std::size_t>(i)] = 0x01020304u * static_cast<std::uint32_t>(i);
    v[0] = 0x00400000;
    v[1] = 0xFFFFFFFF;
    v[2] = 0;
    return v;
}

} // namespace

TEST(PresetFile, WrittenExactlyAndReadBackInEveryAcceptedForm)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("p.txt");
    const auto values = sampleValues();
    ASSERT_EQ(Presets::writePresetFile(path, Presets::buildPresetText(values)), QString());
    const QByteArray bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), 182);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF" "00400000\rFFFFFFFF\r00000000\r"));
    EXPECT_FALSE(bytes.endsWith('\r'));

    const QByteArray body = bytes.mid(3);
    QByteArray crlf = body, lf = body;
    crlf.replace("\r", "\r\n");
    lf.replace("\r", "\n");
    const std::pair<const char *, QByteArray> forms[] = {
        {"as saved", bytes}, {"no BOM", body}, {"CR LF", crlf}, {"LF", lf}, {"trailing line end", body + "\r\n"},
        {"lower case", body.toLower()},
    };
    for (const auto &[name, form] : forms) {
        writeBytes(path, form);
        const QString text = Presets::readPresetFile(path);
        for (int k = 0; k < 20; ++k)
            EXPECT_EQ(Presets::applyField(Presets::fieldOf(text, k), 0x5A5A5A5A), values[static_cast<std::size_t>(k)])
                << name << " line " << k;
    }
}

TEST(PresetFile, FieldsConvertBytewiseAndStopAtABadPair)
{
    struct Case {
        const char *field;
        std::uint32_t before, after;
    };
    const Case cases[] = {
        {"FFFFFFFF", 0, 0xFFFFFFFF}, {"00400000", 7, 0x00400000}, {"0000ZZ10", 0xAABBCCDD, 0xAABBCC10},
        {"", 0x12345678, 0x12345678}, {"abcdef01", 0, 0xABCDEF01}, {"1234", 0xAABBCCDD, 0xAABB1234},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Presets::applyField(QString::fromLatin1(c.field), c.before), c.after) << c.field;
    EXPECT_EQ(Presets::ReverseHexBytes("11223344"), QStringLiteral("44332211"));
    EXPECT_EQ(Presets::withTxt("preset"), QStringLiteral("preset.txt"));
    EXPECT_EQ(Presets::withTxt("preset.TXT"), QStringLiteral("preset.TXT.txt"));
}

TEST(PresetFile, BadFilesAreErrorsOrReadOnlyInPart)
{
    QTemporaryDir dir;
    EXPECT_THROW(Presets::readPresetFile(dir.path()), FileError);
    EXPECT_THROW(Presets::readPresetFile(QDir(dir.path()).filePath("missing.txt")), FileError);
    // A huge file is not read whole.
    QFile huge(QDir(dir.path()).filePath("huge.txt"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(qint64(1) << 30));
    huge.close();
    EXPECT_LE(Presets::readPresetFile(huge.fileName()).size(), 70 * 1024);
    EXPECT_EQ(Presets::readPresetFile(QDir(dir.path()).filePath("huge.txt")).left(2).size(), 2);
    // Writing where it cannot be written reports the system's text and
    // leaves what was there.
    QDir(dir.path()).mkdir("taken.txt");
    EXPECT_FALSE(Presets::writePresetFile(QDir(dir.path()).filePath("taken.txt"), "x").isEmpty());
    EXPECT_TRUE(QFileInfo(QDir(dir.path()).filePath("taken.txt")).isDir());
    EXPECT_FALSE(Presets::writePresetFile(QDir(dir.path()).filePath("no/such/folder/p.txt"), "x").isEmpty());
}

namespace {

class PresetTest : public EditorFixture {
protected:
    TformFXsettings &fx() { return *editor->windows().formFXsettings; }
    QString presetFolder() const { return Presets::PresetFolder(fakes.paths.documentsFolder()); }
};

} // namespace

TEST_F(PresetTest, SaveWritesWhatTheRequestRead)
{
    answer[26 + 3] = 0x77; // Dry = 0x00000077
    TformMain &m = linked();
    fakes.dialogs.fileNames = {QDir(presetFolder()).filePath("mine")};
    m.menuSavePreset->trigger();
    ASSERT_EQ(fakes.dialogs.fileDialogs.size(), 1u);
    const FileDialogOptions &o = fakes.dialogs.fileDialogs[0];
    EXPECT_EQ(o.title, QStringLiteral("Save Preset File"));
    EXPECT_EQ(o.initialDir, presetFolder());
    EXPECT_EQ(o.defaultExt, QStringLiteral("txt"));
    EXPECT_FALSE(o.confirmOverwrite);
    const QString file = QDir(presetFolder()).filePath("mine.txt");
    EXPECT_EQ(fakes.dialogs.messages.last(), QStringLiteral("File saved successfully: ") + QDir::toNativeSeparators(file));
    const QByteArray bytes = readBytes(file);
    EXPECT_EQ(bytes.size(), 182);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF" "00000077\r"));
    EXPECT_TRUE(log().contains("********************SAVE LOCAL PRESET********************\nDry: 00000077\nSubMix: 00000000"));

    // Cancelled: nothing written, nothing said.
    const int messages = fakes.dialogs.messages.size();
    m.menuSavePreset->trigger();
    EXPECT_EQ(fakes.dialogs.messages.size(), messages);

    // No answer: nothing asked, nothing written.
    answers = false;
    m.menuSavePreset->trigger();
    EXPECT_EQ(fakes.dialogs.fileDialogs.size(), 2u);
    EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("Save Local Preset stopped"));
}

TEST_F(PresetTest, SavingOverAPresetAsksFirst)
{
    TformMain &m = linked();
    QDir().mkpath(presetFolder());
    const QString file = QDir(presetFolder()).filePath("kept.txt");
    writeBytes(file, "theirs");
    const QString asked = QStringLiteral("A preset named \"kept\" already exists. Replace it?");

    // No: the file stays as it was, nothing is said to have been saved.
    fakes.dialogs.fileNames = {QDir(presetFolder()).filePath("kept")};
    fakes.dialogs.answers = {Answer::No};
    const int messages = fakes.dialogs.messages.size();
    m.menuSavePreset->trigger();
    EXPECT_EQ(fakes.dialogs.questions, QStringList{asked});
    EXPECT_EQ(readBytes(file), QByteArray("theirs"));
    EXPECT_EQ(fakes.dialogs.messages.size(), messages);

    // Yes: replaced.
    fakes.dialogs.fileNames = {file};
    fakes.dialogs.answers = {Answer::Yes};
    m.menuSavePreset->trigger();
    EXPECT_EQ(fakes.dialogs.questions.size(), 2);
    EXPECT_EQ(readBytes(file).size(), 182);
    EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("File saved successfully: "));
}

TEST_F(PresetTest, LoadSetsTheValuesAndSendsAtOnce)
{
    TformMain &m = linked();
    QDir().mkpath(presetFolder());
    const QString file = QDir(presetFolder()).filePath("hand.txt");
    QByteArray text;
    for (int k = 0; k < 10; ++k)
        text += QByteArray(k == 0 ? "007fe000" : "00000000") + "\n"; // ten lines, LF, lower case
    writeBytes(file, text);
    fx().EffectParameters.setValue(param::Attack, 0x800);
    fakes.dialogs.fileNames = {file};
    m.menuLoadPreset->trigger();
    EXPECT_EQ(fakes.dialogs.messages.last(), QStringLiteral("File loaded successfully: ") + QDir::toNativeSeparators(file));
    EXPECT_EQ(fx().EffectParameters.value(param::Dry), 0x007FE000u);
    EXPECT_EQ(fx().EffectParameters.value(param::Attack), 0x800u); // beyond the ten lines: unchanged
    // Sent at once, not through Timer1.
    ASSERT_FALSE(ft().writes.empty());
    EXPECT_EQ(ft().writes[0], QByteArray::fromHex("010027007FE000"));
    EXPECT_TRUE(log().contains("Dry: 007fe000\nSubMix: 00000000"));

    // Cancelled: the labels with nothing after them.
    m.menuLoadPreset->trigger();
    EXPECT_TRUE(log().endsWith("Noise Gate Threshold: \nAttack: "));
}
