#include "AppFolder.h"
#include "ConsoleModel.h"
#include "Editor.h"
#include "Fakes.h"
#include "Guard.h"
#include "PrintConsole.h"
#include "TextFiles.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class EditorTest : public ::testing::Test {
protected:
    void TearDown() override { qApp->setStyleSheet(QString()); }
    Editor &start()
    {
        editor = std::make_unique<Editor>(fakes.services());
        return *editor;
    }
    TformMain &main() { return *editor->windows().formMain; }
    QString appFile(const char *name) const
    {
        return QDir(AppFolder::path(fakes.paths.documentsFolder())).filePath(QLatin1String(name));
    }
    QByteArray readBytes(const QString &path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

    FakeServices fakes;
    std::unique_ptr<Editor> editor;
};

} // namespace

TEST_F(EditorTest, CreatesTheSevenWindowsHiddenWithTheirCaptions)
{
    Windows &w = start().windows();
    const std::pair<QWidget *, const char *> windows[] = {
        {reinterpret_cast<QWidget *>(w.formMain), "Tharnvik Editor"},
        {reinterpret_cast<QWidget *>(w.formFirmwareUpgrade), "Firmware Upgrade"},
        {reinterpret_cast<QWidget *>(w.formPrint), "Debug Console"},
        {reinterpret_cast<QWidget *>(w.formFXsettings), "Form1"},
        {reinterpret_cast<QWidget *>(w.formNoteTrackingFilter), "Note Cut"},
        {reinterpret_cast<QWidget *>(w.formNewVersionMsg), "New Version"},
        {reinterpret_cast<QWidget *>(w.formUpdateUpdater), "UpdateUpdater"},
    };
    for (const auto &[window, caption] : windows) {
        ASSERT_NE(window, nullptr) << caption;
        EXPECT_EQ(window->windowTitle(), QString::fromLatin1(caption));
        EXPECT_FALSE(window->isVisible()) << caption;
    }
    // Start-up writes nothing to the console: it did not exist yet.
    EXPECT_EQ(editor->console().lineCount(), 0);
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty()) << fakes.dialogs.messages.join('\n').toStdString();
}

TEST_F(EditorTest, MainWindowLayout)
{
    start();
    TformMain &m = main();
    // The window keeps its height and grows in width only where its texts
    // need room (the menu titles in one row).
    EXPECT_EQ(m.height(), 228);
    EXPECT_GE(m.width(), 356);
    EXPECT_EQ(m.minimumSize(), m.maximumSize());
    EXPECT_EQ(m.pos(), QPoint(37, 31));
    struct Row {
        QWidget *control;
        const char *name;
        QRect geometry;
        bool enabled;
    };
    const Row rows[] = {
        {m.lblDeviceName, "No device found", {9, 32, 174, 17}, true},
        {m.lblFirmwareVersion, "Device Firmware:", {9, 48, 144, 20}, true},
        {m.lblAlgorithmVersion, "Device Algorithm:", {9, 66, 133, 17}, true},
        {m.lblStatus, "Status: ", {9, 84, 174, 17}, true},
        {m.btnUpload, "Upload Audio Algorithm", {9, 103, 86, 33}, false},
        {m.btnRequest, "Request", {108, 103, 86, 33}, false},
        {m.btnSaveParameters, "Save Parameters", {8, 144, 87, 33}, false},
        {m.btnSaveParametersInfo, "i", {71, 0, 16, 18}, false}, // inside its disabled button
        {m.btnAssign, "Assign", {108, 144, 86, 33}, false},
        {m.btnSetFootswitchMode, "Set Footswitch Mode", {9, 185, 86, 31}, false},
        {m.btnSetTuning, "Set Tuning", {108, 185, 86, 31}, false},
        {m.lstEffects, nullptr, {202, 32, 143, 168}, true},
    };
    for (const Row &r : rows) {
        // Where each control is; its size at least as planned (labels and
        // the list take room the window gained).
        EXPECT_EQ(r.control->pos(), r.geometry.topLeft()) << r.control->objectName().toStdString();
        EXPECT_EQ(r.control->height(), r.geometry.height()) << r.control->objectName().toStdString();
        EXPECT_GE(r.control->width(), r.geometry.width()) << r.control->objectName().toStdString();
        EXPECT_EQ(r.control->isEnabled(), r.enabled) << r.control->objectName().toStdString();
        if (auto *label = qobject_cast<QLabel *>(r.control)) {
            EXPECT_EQ(label->text(), QString::fromLatin1(r.name));
        }
        if (auto *button = qobject_cast<QPushButton *>(r.control)) {
            EXPECT_EQ(button->accessibleName(), QString::fromLatin1(r.name));
        }
    }
    EXPECT_EQ(m.lblFirmwareVersion->toolTip(), QStringLiteral("Shows which firmware is currently installed on the pedal"));
    EXPECT_EQ(m.btnSaveParameters->toolTip(), QStringLiteral("Saves current status of assignable parameters to pedal."));
    EXPECT_FALSE(m.chkFirmwareUpgradeMode->isVisibleTo(&m));
    ASSERT_EQ(m.lstEffects->count(), 1);
    EXPECT_EQ(m.lstEffects->item(0)->text(), QStringLiteral("Tharnvik MK3 0015"));
    EXPECT_EQ(editor->state().LatestAlgorithmVersion, 15);
    EXPECT_EQ(editor->state().LatestFirmwareVersion, 16);
    EXPECT_EQ(editor->state().CurrentAppVersion, QStringLiteral("1.23.0.0"));
    EXPECT_FALSE(editor->state().FirmwareUpgradeMode);
}

TEST_F(EditorTest, MenuTreeWithInitialStates)
{
    start();
    TformMain &m = main();
    QStringList titles;
    for (QAction *a : m.MenuBar1->actions())
        titles << a->text();
    // The Edit menu (undo, redo, compare) joins the others after File.
    EXPECT_EQ(titles.indexOf(QStringLiteral("Edit")), 1);
    titles.removeOne(QStringLiteral("Edit"));
    EXPECT_EQ(titles, (QStringList{"File", "Connection", "Settings", "Firmware Upgrade", "Info"}));

    enum Flags { Off = 1, Hidden = 2, Checkable = 4, Checked = 8 };
    struct Row {
        QAction *action;
        const char *caption;
        int flags;
    };
    const Row rows[] = {
        {m.menuLoadPreset, "Load Local Preset", Off},
        {m.menuSavePreset, "Save Local Preset", Off},
        {m.menuLoadAlgorithmFromFile, "Load Effect From File", Off},
        {m.menuOpenFilesFolder, "Open Files Folder", 0},
        {m.menuLoadIR, "Load IR", Hidden},
        {m.menuScan, "Scan And Link", 0},
        {m.menuConnect, "Link", Off | Hidden},
        {m.menuDisconnect, "Unlink", Off},
        {m.menuLook->menuAction(), "Look", 0},
        {m.menuMIDI->menuAction(), "MIDI", Off},
        {m.menuMIDIchannel->menuAction(), "Channel", 0},
        {m.menuEnableAllParameters, "Enable All Parameters", Hidden},
        {m.menuUploadTuningsData, "Upload Tuning Data", Off},
        {m.menuReportUSBErrors, "Report USB Errors", Hidden | Checkable | Checked},
        {m.menuInstrumentRange->menuAction(), "Instrument Range", Off},
        {m.menuStandard, "Standard: Guitar or other instrument with similar range", 0},
        {m.menuLow, "Low: Bass Guitar, Baritone, tuned down guitar etc.", 0},
        {m.menuBypassStatus->menuAction(), "Bypass Status", Off},
        {m.menuStoreBypassStatus, "Store Bypass Status", Checkable},
        {m.menuDoNotStoreBypassStatus, "Do Not Store Bypass Status", Checkable | Checked},
        {m.menuRangeLimit->menuAction(), "Limit Range", Off | Hidden},
        {m.menuRangeLimitOFF, "Range Limit OFF", 0},
        {m.menuRangeLimitON, "Range Limit ON", 0},
        {m.menuSetAssignableParamsToDefault, "Set Assignable Parameters to Default", Off},
        {m.menuLoadFirstPresetAtStartup, "Load 1st Preset At Power ON", Off | Checkable},
        {m.menuAliveParameters, "Alive Parameters!", Hidden},
        {m.menuFirmwareUpgradeMode, "Upgrade Mode", Checkable},
        {m.menuStartFirmwareUpgrade, "Start Firmware Upgrade", Off | Hidden},
        {m.menuEraseSettings, "Erase Settings", Off},
        {m.menuSupport, "Support", 0},
        {m.menuAppVersion, "Editor Version:  1.23.0.0", Off},
        {m.menuNewAppVersion, "New version available:", Off},
        {m.menuUpdateNow, "Update Now", Off},
        {m.menuShowUpdateMsg, "Show Update Message", Checkable | Checked},
        {m.menuSerialNumber, "Device Serial: ", Off},
        {m.menuQuickStart, "Quick Start", Hidden},
    };
    for (const Row &r : rows) {
        const std::string name = r.caption;
        EXPECT_EQ(r.action->text(), QString::fromLatin1(r.caption));
        // A hidden action never counts as enabled.
        if (!(r.flags & Hidden)) {
            EXPECT_EQ(r.action->isEnabled(), !(r.flags & Off)) << name;
        }
        EXPECT_EQ(r.action->isVisible(), !(r.flags & Hidden)) << name;
        EXPECT_EQ(r.action->isCheckable(), bool(r.flags & Checkable)) << name;
        EXPECT_EQ(r.action->isChecked(), bool(r.flags & Checked)) << name;
    }

    ASSERT_EQ(m.MIDIChannelItems.size(), 17u);
    EXPECT_EQ(m.MIDIChannelItems[0]->text(), QStringLiteral("OMNI"));
    EXPECT_EQ(m.MIDIChannelItems[16]->text(), QStringLiteral("16"));
    // Only the pedal's answer ticks a channel, never a click.
    m.MIDIChannelItems[3]->trigger();
    EXPECT_FALSE(m.MIDIChannelItems[3]->isChecked());

    QStringList looks;
    for (QAction *a : m.menuLook->actions())
        looks << a->text();
    EXPECT_EQ(looks, (QStringList{"0", "1", "2", "3", "4", "5", "6"}));
}

TEST_F(EditorTest, FirstStartCreatesTheFolderAndFlagFiles)
{
    start();
    EXPECT_EQ(readBytes(appFile("ShowMessageVersionAtStartup.txt")), QByteArray("YES"));
    EXPECT_EQ(readBytes(appFile("ReportUSBErrors.txt")), QByteArray("YES"));
    EXPECT_EQ(readBytes(appFile("log.txt")), QByteArray());
    EXPECT_FALSE(QFileInfo::exists(appFile("Instrument.txt")));
    EXPECT_FALSE(QFileInfo::exists(QDir(AppFolder::vendorPath(fakes.paths.documentsFolder())).filePath("style.txt")));
    EXPECT_TRUE(editor->state().ShowUpdateMessageAtStartup);
    EXPECT_TRUE(editor->state().ReportUSBErrorsSetting);
}

TEST_F(EditorTest, FlagFilesSetStateAndCheckMarks)
{
    QDir().mkpath(AppFolder::path(fakes.paths.documentsFolder()));
    TextFiles::write(appFile("ShowMessageVersionAtStartup.txt"), QStringLiteral("NO"));
    TextFiles::write(appFile("ReportUSBErrors.txt"), QStringLiteral("yes"));
    start();
    EXPECT_FALSE(editor->state().ShowUpdateMessageAtStartup);
    EXPECT_FALSE(main().menuShowUpdateMsg->isChecked());
    EXPECT_FALSE(editor->state().ReportUSBErrorsSetting);
    EXPECT_FALSE(main().menuReportUSBErrors->isChecked());
}

TEST_F(EditorTest, BadFilesAndFoldersAreReportedAndStartUpGoesOn)
{
    // The documents folder lies under a file, so nothing can be created.
    QFile blocker(QDir(fakes.paths.root()).filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    fakes.paths.setDocumentsFolder(QDir(blocker.fileName()).filePath("Documents"));
    start();
    ASSERT_EQ(fakes.dialogs.messages.size(), 2);
    EXPECT_TRUE(fakes.dialogs.messages[0].startsWith("Error creating folder: "));
    EXPECT_TRUE(fakes.dialogs.messages[1].startsWith("Error creating subfolder: "));
    EXPECT_EQ(main().lstEffects->count(), 1);
    EXPECT_EQ(main().menuAppVersion->text(), QStringLiteral("Editor Version:  1.23.0.0"));
    ASSERT_EQ(main().MIDIChannelItems.size(), 17u);

    // At exit the log cannot be written either: one clear message, no crash.
    editor->console().ConsolePrint("line");
    main().close();
    ASSERT_EQ(fakes.dialogs.messages.size(), 3);
    EXPECT_TRUE(fakes.dialogs.messages[2].contains("log.txt"));
}

TEST_F(EditorTest, LogThatIsAFolderGivesAMessageAndStartUpGoesOn)
{
    QDir().mkpath(QDir(AppFolder::path(fakes.paths.documentsFolder())).filePath("log.txt"));
    start();
    ASSERT_EQ(fakes.dialogs.messages.size(), 1);
    EXPECT_TRUE(fakes.dialogs.messages[0].contains("log.txt"));
    EXPECT_EQ(main().lstEffects->count(), 1);
}

TEST_F(EditorTest, ClosingAppendsTheConsoleToTheLog)
{
    start();
    QSignalSpy closed(&main(), &TformMain::closed);
    editor->console().ConsolePrint("first");
    editor->console().ConsolePrint("second");
    main().show();
    main().close();
    EXPECT_EQ(closed.size(), 1);
    EXPECT_EQ(readBytes(appFile("log.txt")), QByteArray("\n\n09-12-2026 14:05:09\nfirst\r\nsecond\r\n"));
}

TEST_F(EditorTest, ClosingTwiceOnOneDayAddsTwoBlocks)
{
    start();
    editor->console().ConsolePrint("run one");
    main().close();
    editor.reset();
    fakes.clock.advance(60'000);
    start();
    editor->console().ConsolePrint("run two");
    main().close();
    EXPECT_EQ(readBytes(appFile("log.txt")),
              QByteArray("\n\n09-12-2026 14:05:09\nrun one\r\n\n\n09-12-2026 14:06:09\nrun two\r\n"));
}

TEST_F(EditorTest, CtrlShiftPShowsTheConsole)
{
    start();
    TformMain &m = main();
    m.show();
    QWidget *console = reinterpret_cast<QWidget *>(editor->windows().formPrint);
    QTest::keyClick(m.lstEffects, Qt::Key_P);
    QTest::keyClick(m.lstEffects, Qt::Key_P, Qt::ControlModifier);
    EXPECT_FALSE(console->isVisible());
    QTest::keyClick(m.lstEffects, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(console->isVisible());
    EXPECT_TRUE(m.FormKeyDown(Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_TRUE(console->isVisible());
}

TEST_F(EditorTest, InfoMenuLogsTheVersionAndSupportAndFolderUseTheShell)
{
    start();
    TformMain &m = main();
    emit m.menuInfo->aboutToShow();
    EXPECT_EQ(editor->console().lastLine(), QStringLiteral("current app version: 1.23.0.0"));

    m.menuSupport->trigger();
    EXPECT_EQ(fakes.shell.urls, QStringList{"https://vorma.example/contact-us/"});
    m.menuOpenFilesFolder->trigger();
    ASSERT_EQ(fakes.shell.folders.size(), 1);
    EXPECT_EQ(fakes.shell.folders[0], AppFolder::path(fakes.paths.documentsFolder()));
    EXPECT_FALSE(fakes.shell.folders[0].endsWith('/'));
}

TEST_F(EditorTest, EnableCommandButtonsSwitchesTheFive)
{
    start();
    TformMain &m = main();
    m.EnableCommandButtons(true);
    for (QPushButton *b : {m.btnRequest, m.btnSaveParameters, m.btnAssign, m.btnSetFootswitchMode, m.btnSetTuning})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(m.btnUpload->isEnabled());
}

TEST(Guard, AnExceptionBecomesAMessage)
{
    FakeDialogs dialogs;
    guarded(dialogs, [] { throw std::runtime_error("broken pipe"); });
    guarded(dialogs, [] { throw 42; });
    guarded(dialogs, [] {});
    EXPECT_EQ(dialogs.messages, (QStringList{"broken pipe", "An unexpected error occurred."}));
}
