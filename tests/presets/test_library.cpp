#include "EditorFixture.h"
#include "FXsettings.h"
#include "PresetLibraryWindow.h"
#include "PresetListModel.h"
#include "Presets.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>

namespace {

// Twenty distinct values, lower case with LF line ends (as a hand-made file).
QByteArray presetBytes(std::uint32_t first)
{
    QByteArray b;
    for (std::uint32_t k = 0; k < 20; ++k)
        b += QByteArray::number(first + k * 0x00010101u, 16).rightJustified(8, '0') + "\n";
    return b;
}

bool waitUntil(const std::function<bool()> &done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

class LibraryTest : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        QDir().mkpath(folder());
    }
    QString folder() const { return Presets::PresetFolder(fakes.paths.documentsFolder()); }
    QString pathOf(const QString &name) const { return QDir(folder()).filePath(name + ".txt"); }
    void put(const QString &name, const QByteArray &bytes) const
    {
        QFile f(pathOf(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray bytesOf(const QString &name) const
    {
        QFile f(pathOf(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    TformPresetLibrary &library() { return *editor->windows().formPresetLibrary; }
    // The library as the player opens it: File > Preset Library.
    TformPresetLibrary &opened()
    {
        editor->windows().formMain->menuPresetLibrary->trigger();
        return library();
    }
    QStringList shown()
    {
        QStringList rows;
        const QAbstractItemModel *m = library().lstPresets->model();
        for (int r = 0; r < m->rowCount(); ++r)
            rows << m->index(r, 0).data().toString();
        return rows;
    }
    QVariant roleOf(const QString &name, int role)
    {
        const int row = library().store().indexOf(name);
        return library().lstPresets->model()->index(row, 0).data(role);
    }
    // The console from the last LOAD LOCAL PRESET header on.
    QString lastLoadBlock() const
    {
        const QString all = log();
        return all.mid(all.lastIndexOf("********************LOAD LOCAL PRESET"));
    }
    TformFXsettings &fx() { return *editor->windows().formFXsettings; }
};

} // namespace

TEST_F(LibraryTest, FileMenuEntryAndCtrlLShowTheWindowEvenUnlinked)
{
    TformMain &m = start();
    const QList<QAction *> file = m.menuFile->actions();
    ASSERT_EQ(file.indexOf(m.menuPresetLibrary), file.indexOf(m.menuSavePreset) + 1);
    EXPECT_EQ(m.menuPresetLibrary->text(), QStringLiteral("Preset Library"));
    EXPECT_TRUE(m.menuPresetLibrary->isEnabled());
    EXPECT_EQ(m.menuPresetLibrary->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));

    m.show();
    QTest::keyClick(m.lstEffects, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(library().isVisible());
    QTest::keyClick(m.lstEffects, Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(library().isVisible());
    EXPECT_EQ(library().windowTitle(), QStringLiteral("Preset Library"));
    EXPECT_EQ(library().lstPresets->accessibleName(), QStringLiteral("Presets"));
    library().close();
    EXPECT_FALSE(library().isVisible());
    m.menuPresetLibrary->trigger();
    EXPECT_TRUE(library().isVisible());
}

TEST_F(LibraryTest, ListsPresetsSortedFollowsTheFolderAndGreysOtherFiles)
{
    put("beta", presetBytes(1));
    put("Alpha", presetBytes(2));
    put("zeta", "not a preset\n");
    start();
    opened();
    EXPECT_EQ(shown(), (QStringList{"Alpha", "beta", "zeta"}));
    EXPECT_FALSE(roleOf("beta", Qt::ForegroundRole).isValid());
    EXPECT_TRUE(roleOf("zeta", Qt::ForegroundRole).isValid());
    EXPECT_EQ(roleOf("zeta", Qt::ToolTipRole).toString(), QStringLiteral("Line 1 is not eight hex digits."));
    EXPECT_EQ(roleOf("zeta", Qt::AccessibleTextRole).toString(), QStringLiteral("zeta (not a preset)"));

    // Another program adds, renames and removes files.
    put("Gamma", presetBytes(3));
    ASSERT_TRUE(waitUntil([&] { return shown().contains("Gamma"); })) << shown().join(',').toStdString();
    EXPECT_EQ(shown(), (QStringList{"Alpha", "beta", "Gamma", "zeta"}));
    // A file made first and written a moment later (as most programs
    // save): listed as none at first, as a preset once written.
    put("Late", "");
    ASSERT_TRUE(waitUntil([&] { return shown().contains("Late"); }));
    EXPECT_TRUE(roleOf("Late", Qt::ForegroundRole).isValid());
    {
        QFile late(pathOf("Late"));
        ASSERT_TRUE(late.open(QIODevice::WriteOnly | QIODevice::Append));
        late.write(presetBytes(6));
    }
    EXPECT_TRUE(waitUntil([&] { return !roleOf("Late", Qt::ForegroundRole).isValid(); }));
    QFile::remove(pathOf("Late"));
    QFile::rename(pathOf("beta"), pathOf("delta"));
    QFile::remove(pathOf("zeta"));
    ASSERT_TRUE(waitUntil([&] { return shown() == QStringList{"Alpha", "delta", "Gamma"}; }))
        << shown().join(',').toStdString();

    // The folder vanishes: said in the window; it is listed again once back.
    QDir(folder()).removeRecursively();
    ASSERT_TRUE(waitUntil([&] { return shown().isEmpty(); }));
    EXPECT_TRUE(library().lblFolder->text().contains("does not exist")) << library().lblFolder->text().toStdString();
    QDir().mkpath(folder());
    put("back", presetBytes(4));
    fakes.clock.advance(1000);
    EXPECT_EQ(shown(), QStringList{"back"});
    EXPECT_TRUE(library().lblFolder->text().startsWith("Preset folder: "));
    put("again", presetBytes(5));
    EXPECT_TRUE(waitUntil([&] { return shown() == QStringList({"again", "back"}); })) << shown().join(',').toStdString();
}

TEST_F(LibraryTest, LoadSendsWhatLoadLocalPresetSendsForTheSameFile)
{
    put("Lead", presetBytes(0x00123456));
    TformMain &viaMenu = linked();
    fakes.dialogs.fileNames = {pathOf("Lead")};
    viaMenu.menuLoadPreset->trigger();
    const std::vector<QByteArray> menuWrites = ft().writes;
    EXPECT_EQ(viaMenu.menuUndo->text(), QStringLiteral("Undo Load Preset Lead"));
    const QString menuBlock = lastLoadBlock();
    ASSERT_GE(menuWrites.size(), 10u);

    editor.reset();
    linked();
    const int messages = fakes.dialogs.messages.size();
    opened().select("Lead");
    ASSERT_TRUE(library().btnLoad->isEnabled());
    library().btnLoad->click();
    EXPECT_EQ(ft().writes, menuWrites);
    EXPECT_EQ(lastLoadBlock(), menuBlock);
    EXPECT_EQ(fakes.dialogs.messages.size(), messages); // no "File loaded" box
    // One step of the history, named after the preset, from either way.
    EXPECT_EQ(editor->windows().formMain->menuUndo->text(), QStringLiteral("Undo Load Preset Lead"));

    // Enter on the entry loads it too.
    ft().writes.clear();
    put("Lead", presetBytes(0x00654321));
    QTest::keyClick(library().lstPresets, Qt::Key_Return);
    EXPECT_FALSE(ft().writes.empty());
}

TEST_F(LibraryTest, AFileThatChangedOrVanishedIsNotSent)
{
    put("Lead", presetBytes(1));
    put("Gone", presetBytes(2));
    linked();
    opened();
    put("Lead", presetBytes(1).left(36)); // cut short after it was listed
    QFile::remove(pathOf("Gone"));
    library().select("Gone");
    library().loadSelected();
    library().select("Lead");
    library().loadSelected();
    EXPECT_TRUE(ft().writes.empty());
    EXPECT_EQ(fakes.dialogs.messages, (QStringList{
        "The preset \"Gone\" is no longer in the preset folder.",
        "\"Lead\" is not a preset file, so nothing was sent: It holds 4 of the 20 values."}));
    EXPECT_FALSE(log().contains("LOAD LOCAL PRESET"));
    // Both are seen as they are now: one gone, one greyed with its reason.
    EXPECT_EQ(shown(), QStringList{"Lead"});
    EXPECT_EQ(roleOf("Lead", Qt::ToolTipRole).toString(), QStringLiteral("It holds 4 of the 20 values."));
    EXPECT_FALSE(library().btnLoad->isEnabled());
}

TEST_F(LibraryTest, LoadAndSaveAsNeedALinkTheFilesDoNot)
{
    put("Lead", presetBytes(1));
    TformMain &m = start();
    opened().select("Lead");
    EXPECT_FALSE(library().btnLoad->isEnabled());
    EXPECT_FALSE(library().btnSaveAs->isEnabled());
    EXPECT_TRUE(library().btnRename->isEnabled());
    EXPECT_TRUE(library().btnDelete->isEnabled());
    QTest::keyClick(library().lstPresets, Qt::Key_Return);
    EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("Loading a preset needs a linked pedal"));

    m.menuScanClick();
    EXPECT_TRUE(library().btnLoad->isEnabled());
    EXPECT_TRUE(library().btnSaveAs->isEnabled());
    m.menuDisconnect->trigger();
    EXPECT_FALSE(library().btnLoad->isEnabled());
    EXPECT_FALSE(library().btnSaveAs->isEnabled());
}

TEST_F(LibraryTest, SaveAsReadsThePedalFirstAndWritesWhatSaveLocalPresetWrites)
{
    answer[26 + 3] = 0x77;
    TformMain &m = linked();
    fakes.dialogs.fileNames = {pathOf("local")};
    m.menuSavePreset->trigger();
    ft().writes.clear();

    fakes.dialogs.texts = {QStringLiteral("  mine  ")};
    opened().btnSaveAs->click();
    ASSERT_FALSE(ft().writes.empty());
    EXPECT_EQ(ft().writes[0], QByteArray::fromHex("0200")); // the REQUEST, before the name is asked
    EXPECT_EQ(fakes.dialogs.textQuestions, QStringList{"Save Preset As | Preset name | local"});
    EXPECT_EQ(bytesOf("mine"), bytesOf("local"));
    EXPECT_EQ(bytesOf("mine").size(), 182);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), (QStringList{"local.txt", "mine.txt"})); // no temporary left
    EXPECT_EQ(library().selectedName(), QStringLiteral("mine"));

    // An existing name asks first; No asks the name again, Yes replaces.
    put("mine", "old");
    fakes.dialogs.answers = {Answer::No, Answer::Yes};
    fakes.dialogs.texts = {QStringLiteral("mine"), QStringLiteral("mine.txt")};
    library().saveAs();
    EXPECT_EQ(fakes.dialogs.questions, (QStringList{"A preset named \"mine\" already exists. Replace it?",
                                                    "A preset named \"mine\" already exists. Replace it?"}));
    EXPECT_EQ(bytesOf("mine"), bytesOf("local"));

    // A pedal that cannot be read stops it before any name is asked.
    answers = false;
    const int asked = fakes.dialogs.textQuestions.size();
    library().saveAs();
    EXPECT_EQ(fakes.dialogs.textQuestions.size(), asked);
    EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("Save Local Preset stopped"));
}

TEST_F(LibraryTest, BadNamesAreRefusedWithTheProblemAndAskedAgain)
{
    linked();
    opened();
    const QStringList bad = {"", "   ", "a/b", "a\\b", ".", "..", QString::fromUtf8("a\0b", 3), "tab\there"};
    for (const QString &name : bad)
        fakes.dialogs.texts.push_back(name);
    library().saveAs(); // the script then runs out: cancelled
    EXPECT_EQ(fakes.dialogs.textQuestions.size(), bad.size() + 1);
    ASSERT_EQ(fakes.dialogs.messages.size(), bad.size());
    const char *problems[] = {"empty", "empty", "path separator", "path separator", "cannot be preset names",
                              "cannot be preset names", "control characters", "control characters"};
    for (int i = 0; i < bad.size(); ++i)
        EXPECT_TRUE(fakes.dialogs.messages[i].startsWith("That name cannot be used. ")
                    && fakes.dialogs.messages[i].contains(QLatin1String(problems[i])))
            << fakes.dialogs.messages[i].toStdString();
    // What the player typed is offered again.
    EXPECT_TRUE(fakes.dialogs.textQuestions.last().endsWith("| tab\there"));
    EXPECT_TRUE(QDir(folder()).entryList(QDir::Files).isEmpty());
}

TEST_F(LibraryTest, RenameRefusesAnExistingNameAndFollowsTheMark)
{
    put("Lead", presetBytes(1));
    put("Clean", presetBytes(2));
    linked();
    opened().select("Lead");
    library().loadSelected();
    fakes.dialogs.texts = {QStringLiteral("Clean"), QStringLiteral("Solo")};
    library().btnRename->click();
    EXPECT_EQ(fakes.dialogs.messages,
              QStringList{"That name cannot be used. A preset named \"Clean\" already exists; choose another name."});
    EXPECT_FALSE(QFile::exists(pathOf("Lead")));
    EXPECT_EQ(bytesOf("Solo"), presetBytes(1));
    EXPECT_EQ(bytesOf("Clean"), presetBytes(2));
    EXPECT_EQ(shown(), (QStringList{"Clean", "Solo"}));
    EXPECT_EQ(library().model().currentName(), QStringLiteral("Solo"));
    EXPECT_EQ(library().selectedName(), QStringLiteral("Solo"));
}

TEST_F(LibraryTest, DeleteAsksThenMovesTheFileToTheTrash)
{
    QTemporaryDir data;
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    put("Lead", presetBytes(1));
    start();
    opened().select("Lead");
    fakes.dialogs.answers = {Answer::No};
    library().btnDelete->click();
    EXPECT_TRUE(QFile::exists(pathOf("Lead")));
    library().btnDelete->click();
    EXPECT_EQ(fakes.dialogs.questions,
              (QStringList{"Move the preset \"Lead\" to the trash?", "Move the preset \"Lead\" to the trash?"}));
    EXPECT_FALSE(QFile::exists(pathOf("Lead")));
    QFile trashed(QDir(data.path()).filePath("Trash/files/Lead.txt"));
    ASSERT_TRUE(trashed.open(QIODevice::ReadOnly));
    EXPECT_EQ(trashed.readAll(), presetBytes(1));
    EXPECT_TRUE(shown().isEmpty());

    // No trash to be had: said, and the file stays.
    put("Clean", presetBytes(2));
    library().refresh();
    library().select("Clean");
    // A file where the trash folder should be.
    QDir(data.path()).removeRecursively();
    QDir().mkpath(data.path());
    QFile blocker(QDir(data.path()).filePath("Trash"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    library().deleteSelected();
    qputenv("XDG_DATA_HOME", before);
    EXPECT_TRUE(QFile::exists(pathOf("Clean")));
    EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("The trash is not available"))
        << fakes.dialogs.messages.join('\n').toStdString();
    EXPECT_EQ(shown(), QStringList{"Clean"});
}

TEST_F(LibraryTest, MarksThePresetInUseUntilAValueChanges)
{
    put("Lead", presetBytes(1));
    put("Clean", presetBytes(2));
    TformMain &m = linked();
    opened().select("Lead");
    EXPECT_EQ(library().lblCurrent->text(), QStringLiteral("No preset loaded or saved yet."));
    library().loadSelected();
    EXPECT_EQ(shown(), (QStringList{"Clean", "Lead"}));
    EXPECT_TRUE(roleOf("Lead", Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(roleOf("Lead", Qt::AccessibleTextRole).toString(), QStringLiteral("Lead (current)"));
    EXPECT_FALSE(roleOf("Clean", Qt::FontRole).isValid());

    emit fx().edited();
    EXPECT_EQ(shown(), (QStringList{"Clean", "Lead (edited)"}));
    EXPECT_EQ(roleOf("Lead", Qt::AccessibleTextRole).toString(), QStringLiteral("Lead (current, edited)"));
    EXPECT_EQ(library().lblCurrent->text(), QStringLiteral("Loaded or saved last: Lead (edited)"));

    // Load Local Preset of a file in the folder moves the mark, unedited.
    fakes.dialogs.fileNames = {pathOf("Clean")};
    m.menuLoadPreset->trigger();
    EXPECT_EQ(shown(), (QStringList{"Clean", "Lead"}));
    EXPECT_EQ(library().model().currentName(), QStringLiteral("Clean"));
    EXPECT_EQ(library().lblCurrent->text(), QStringLiteral("Loaded or saved last: Clean"));
}
