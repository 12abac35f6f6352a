// Device setup commands of the main window, the Note Cut window and Erase
// Settings, against the recording bridge.
#include "AppState.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "DeviceOptions.h"
#include "EditorFixture.h"
#include "FXsettings.h"
#include "NoteTrackingFilter.h"
#include "PrintConsole.h"
#include "TextFiles.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

class SetupTest : public EditorFixture {
protected:
    QString instrumentFile() const { return QDir(editor->state().AppFolder).filePath(QStringLiteral("Instrument.txt")); }
    std::vector<int> pauses() const { return fakes.clock.pauses; }
};

} // namespace

TEST_F(SetupTest, UploadTuningDataSendsBypassThenTheWholeTableInOneWrite)
{
    TformMain &m = linked();
    fakes.clock.pauses.clear();
    ft().calls.clear();
    m.menuUploadTuningsData->trigger();
    ASSERT_EQ(ft().writes.size(), 2u);
    EXPECT_EQ(ft().writes[0], hex("0D01"));
    const QByteArray data = ft().writes[1];
    EXPECT_EQ(data.size(), 641);
    EXPECT_TRUE(data.startsWith(hex("0E007FF5ECFF002B70")));
    EXPECT_TRUE(data.endsWith(hex("00FE9D52FF8137C0")));
    EXPECT_EQ(fakes.dialogs.questions, QStringList{"Upload Tuning Data?"});
    EXPECT_EQ(fakes.clock.pauses, (std::vector<int>{400, 100}));
    // The purge comes between the bypass and the data.
    const QStringList calls = ft().callNames();
    EXPECT_EQ(calls.lastIndexOf("FT_Purge"), calls.lastIndexOf("FT_Write") - 1);
    EXPECT_TRUE(log().contains("\nnum_of_bytes: 641\n") || log().endsWith("\nnum_of_bytes: 641"));
    EXPECT_TRUE(m.Timer_USB_Read->isEnabled());

    // Twice: the same bytes.
    m.menuUploadTuningsData->trigger();
    ASSERT_EQ(ft().writes.size(), 4u);
    EXPECT_EQ(ft().writes[3], data);
}

TEST_F(SetupTest, UploadTuningDataAnsweredNoSendsNothingButLogsTheData)
{
    TformMain &m = linked();
    fakes.dialogs.answers = {Answer::No};
    editor->console().clear();
    m.menuUploadTuningsData->trigger();
    EXPECT_TRUE(ft().writes.empty());
    EXPECT_TRUE(editor->console().lastLine().startsWith(QLatin1String("tuning data: 007FF5EC")));
}

TEST_F(SetupTest, OptionMenusSendTheirMessages)
{
    TformMain &m = linked();
    struct Case {
        const char *what;
        std::function<void()> click;
        const char *bytes;
        const char *logLine;
    };
    const Case cases[] = {
        {"Low", [&] { m.menuLow->trigger(); }, "0FBA0203040506B3", "0FBA0203040506B3"},
        {"Standard", [&] { m.menuStandard->trigger(); }, "0FFF0102030405F1", "0FFF0102030405F1"},
        {"store bypass", [&] { m.menuStoreBypassStatus->trigger(); }, "1001", "1001"},
        {"do not store bypass", [&] { m.menuDoNotStoreBypassStatus->trigger(); }, "10FF", "10FF"},
        {"range limit on", [&] { m.menuRangeLimitON->trigger(); }, "1101", "1101"},
        {"range limit off", [&] { m.menuRangeLimitOFF->trigger(); }, "11FF", "11FF"},
        {"MIDI 16", [&] { m.MIDIChannelItems[16]->trigger(); }, "0710", "0710"},
        {"MIDI 10", [&] { m.MIDIChannelItems[10]->trigger(); }, "070A", "070A"},
        {"MIDI 9", [&] { m.MIDIChannelItems[9]->trigger(); }, "0709", "0709"},
        {"MIDI OMNI", [&] { m.MIDIChannelItems[0]->trigger(); }, "0700", "0700"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ft().writes.clear();
        c.click();
        EXPECT_EQ(ft().writes, std::vector<QByteArray>{hex(c.bytes)});
        EXPECT_EQ(editor->console().lastLine(), QLatin1String(c.logLine));
    }
    // Only the instrument range asks.
    EXPECT_EQ(fakes.dialogs.questions, (QStringList{"Change current Instrument?", "Change current Instrument?"}));
    EXPECT_TRUE(log().contains("checksum byte: B3\n0FBA0203040506B3"));
    EXPECT_TRUE(log().contains("********************RANGE LIMIT ON********************\n1101"));
    EXPECT_TRUE(log().contains("Midi channel: 16\n0710"));
}

TEST_F(SetupTest, ClicksSetTheTicksAndTheInstrumentFile)
{
    TformMain &m = linked();
    m.menuLow->trigger();
    EXPECT_TRUE(m.menuLow->isChecked());
    EXPECT_FALSE(m.menuStandard->isChecked());
    EXPECT_EQ(editor->state().InstrumentRange, 186);
    QFile file(instrumentFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("LOW"));
    file.close();

    // Clicking the ticked item keeps it ticked.
    m.menuStoreBypassStatus->trigger();
    m.menuStoreBypassStatus->trigger();
    EXPECT_TRUE(m.menuStoreBypassStatus->isChecked());
    EXPECT_FALSE(m.menuDoNotStoreBypassStatus->isChecked());
    m.menuRangeLimitON->trigger();
    EXPECT_TRUE(m.menuRangeLimitON->isChecked());
    EXPECT_FALSE(m.menuRangeLimitOFF->isChecked());

    // A channel is ticked only by the pedal's answer.
    const bool wasTicked = m.MIDIChannelItems[3]->isChecked();
    m.MIDIChannelItems[3]->trigger();
    EXPECT_EQ(m.MIDIChannelItems[3]->isChecked(), wasTicked);
}

TEST_F(SetupTest, InstrumentAnsweredNoKeepsTheChoiceButSendsNothing)
{
    TformMain &m = linked();
    fakes.dialogs.answers = {Answer::No};
    m.menuStandard->trigger();
    fakes.dialogs.answers = {Answer::No};
    m.menuLow->trigger();
    EXPECT_TRUE(ft().writes.empty());
    EXPECT_TRUE(m.menuLow->isChecked());
    EXPECT_EQ(TextFiles::read(instrumentFile()), QStringLiteral("LOW"));
    EXPECT_TRUE(log().endsWith("checksum byte: B3"));
}

TEST_F(SetupTest, AnInstrumentFileThatCannotBeWrittenEndsTheCommandWithTheSystemsText)
{
    TformMain &m = linked();
    ASSERT_TRUE(QDir().mkpath(instrumentFile())); // a folder where the file should be
    m.menuStandard->trigger();
    EXPECT_TRUE(ft().writes.empty());
    EXPECT_TRUE(fakes.dialogs.questions.isEmpty());
    ASSERT_EQ(fakes.dialogs.messages.size(), 1);
    EXPECT_TRUE(fakes.dialogs.messages[0].contains(QLatin1String("Instrument.txt")));
    EXPECT_TRUE(m.menuStandard->isChecked());
}

TEST_F(SetupTest, FirstPresetAtPowerOnToggles)
{
    answer[106] = 255;
    TformMain &m = linked();
    EXPECT_FALSE(m.menuLoadFirstPresetAtStartup->isChecked());
    m.menuLoadFirstPresetAtStartup->trigger();
    m.menuLoadFirstPresetAtStartup->trigger();
    EXPECT_EQ(ft().writes, (std::vector<QByteArray>{hex("1101"), hex("11FF")}));
    EXPECT_FALSE(m.menuLoadFirstPresetAtStartup->isChecked());
}

TEST_F(SetupTest, OptionsFollowTheLink)
{
    TformMain &m = start();
    auto enabled = [&] {
        QStringList out;
        for (QMenu *menu : {m.menuInstrumentRange, m.menuBypassStatus, m.menuRangeLimit, m.menuMIDI})
            out << menu->title() + (menu->isEnabled() ? "+" : "-");
        for (QAction *a : {m.menuLoadFirstPresetAtStartup, m.menuEraseSettings, m.menuUploadTuningsData})
            out << a->text() + (a->isEnabled() ? "+" : "-");
        return out.join(QLatin1Char('|'));
    };
    const QString off = "Instrument Range-|Bypass Status-|Limit Range-|MIDI-|Load 1st Preset At Power ON-|"
                        "Erase Settings-|Upload Tuning Data-";
    EXPECT_EQ(enabled(), off);
    m.menuScanClick();
    EXPECT_EQ(enabled(), QString(off).replace(QLatin1Char('-'), QLatin1Char('+')));
    EXPECT_FALSE(m.menuRangeLimit->menuAction()->isVisible());
    m.menuDisconnectClick();
    EXPECT_EQ(enabled(), off);
}

TEST_F(SetupTest, EraseSettingsAsksTenLinesErasesWaitsAndOffersTheCheck)
{
    TformMain &m = linked();
    fakes.clock.pauses.clear();
    ft().calls.clear();
    fakes.dialogs.answers = {Answer::Yes, Answer::No};
    m.menuEraseSettings->trigger();
    EXPECT_EQ(ft().writes, std::vector<QByteArray>{hex("0B50000000")});
    ASSERT_EQ(fakes.dialogs.questions.size(), 2);
    const QStringList lines = fakes.dialogs.questions[0].split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[0], QStringLiteral("Are you sure you want to delete all settings?"));
    EXPECT_EQ(lines[6],
              QStringLiteral("- uploading the Tharnvik MK3 algorithm once again from \"Upload Selected\" button"));
    EXPECT_EQ(fakes.dialogs.questions[1], QStringLiteral("Memory has been erased, do you want to make a memory check now?"));
    EXPECT_TRUE(log().contains("********************ERASE EEPROM 1********************\nerase message: 0B50000000"));
    EXPECT_EQ(fakes.clock.pauses, (std::vector<int>{100, 4000}));
    EXPECT_TRUE(ft().callNames().contains("FT_Purge"));

    ft().writes.clear();
    fakes.dialogs.answers = {Answer::No};
    m.menuEraseSettings->trigger();
    EXPECT_TRUE(ft().writes.empty());
}

TEST_F(SetupTest, MemoryCheckReportsTheDumpOrItsAbsence)
{
    TformMain &m = linked();
    // The pedal answers the read with an empty memory.
    ft().onWrite = [this](const QByteArray &bytes) {
        if (bytes == hex("0C5000000000"))
            ft().rx += QByteArray(1, '\xAB') + QByteArray(16384, '\xFF');
    };
    m.menuEraseSettings->trigger();
    EXPECT_EQ(ft().writes, (std::vector<QByteArray>{hex("0B50000000"), hex("0C5000000000")}));
    fakes.clock.advance(100);
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"Memory is empty"});
    EXPECT_TRUE(log().contains("Read message: 0C5000000000"));

    // A pedal that never sends its dump.
    ft().onWrite = {};
    fakes.dialogs.messages.clear();
    editor->windows().formPrint->btnReadEEPROM->click();
    fakes.clock.advance(2500);
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty());
    fakes.clock.advance(1000);
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"No memory dump came from the pedal after the read"});
    fakes.clock.advance(20000);
    EXPECT_EQ(fakes.dialogs.messages.size(), 1);
}

TEST_F(SetupTest, NoteCutSendsTheTickedNotesInTableOrder)
{
    linked();
    TformNoteTrackingFilter &w = *editor->windows().formNoteTrackingFilter;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Note Cut"));
    struct Case {
        std::vector<QCheckBox *> ticks;
        const char *bytes;
    };
    const Case cases[] = {
        {{}, "09FFFF"},
        {{w.chkCdiesis3}, "0904FF"},
        {{w.chkE3, w.chkAdiesis2}, "090107"},
        {{w.chkA2, w.chkB2}, "090002"},
    };
    for (const Case &c : cases) {
        for (QCheckBox *box : w.noteBoxes())
            box->setChecked(false);
        for (QCheckBox *box : c.ticks)
            box->click();
        ft().writes.clear();
        editor->console().clear();
        w.btnSave->click();
        EXPECT_EQ(ft().writes, std::vector<QByteArray>{hex(c.bytes)}) << c.bytes;
    }
    EXPECT_EQ(log(), QStringLiteral("byte 1: 00\nbyte 2: 02\nSet note filters: 090002\n3"));
    EXPECT_TRUE(fakes.dialogs.questions.isEmpty());
    // Get does nothing.
    ft().writes.clear();
    w.btnGet->click();
    EXPECT_TRUE(ft().writes.empty());
}

TEST_F(SetupTest, NoteCutAllowsTwoNotesAndGivesThemBack)
{
    start();
    TformNoteTrackingFilter &w = *editor->windows().formNoteTrackingFilter;
    w.chkB2->click();
    w.chkD3->click();
    EXPECT_EQ(w.TickedNoteCount, 2);
    for (QCheckBox *box : w.noteBoxes())
        EXPECT_EQ(box->isEnabled(), box == w.chkB2 || box == w.chkD3) << box->text().toStdString();
    w.chkD3->click();
    EXPECT_EQ(w.TickedNoteCount, 1);
    for (QCheckBox *box : w.noteBoxes())
        EXPECT_TRUE(box->isEnabled());

    // Without a link the write fails and is only logged.
    w.btnSave->click();
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty());
    EXPECT_TRUE(ft().writes.empty());
}

TEST_F(SetupTest, EveryNoteCutControlHasANameAndItsStateForAssistiveTechnology)
{
    start();
    TformNoteTrackingFilter &w = *editor->windows().formNoteTrackingFilter;
    w.show();
    w.chkD3->setChecked(true);
    for (QWidget *c : w.findChildren<QWidget *>()) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(c);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << c->objectName().toStdString();
    }
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(w.chkD3)->state().checked);
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(w.chkA2)->state().checked);
}

TEST_F(SetupTest, CtrlShiftNShowsTheNoteCutWindow)
{
    TformMain &m = start();
    auto *w = editor->windows().formNoteTrackingFilter;
    EXPECT_FALSE(w->isVisible());
    m.show();
    QTest::keyClick(m.lstEffects, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(w->isVisible());
    for (QCheckBox *box : w->noteBoxes())
        EXPECT_FALSE(box->text().isEmpty());
}
