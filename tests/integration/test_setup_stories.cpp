// Device setup stories against the virtual pedal, in-process, on virtual time:
// what each command sends is kept by the pedal and read back by a REQUEST.
#include "AppState.h"
#include "ConsoleModel.h"
#include "Editor.h"
#include "FXsettings.h"
#include "Fakes.h"
#include "NoteTrackingFilter.h"
#include "PrintConsole.h"
#include "SimBridge.h"
#include "Tunings.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class SetupStory : public ::testing::Test {
protected:
    void TearDown() override { qApp->setStyleSheet(QString()); }
    TformMain &linkedPedal(sim::Config config = {})
    {
        editor.reset();
        bridge = std::make_unique<SimBridge>(fakes.clock, std::move(config));
        fakes.bridge = bridge.get();
        editor = std::make_unique<Editor>(fakes.services());
        TformMain &m = *editor->windows().formMain;
        m.menuScan->trigger();
        return m;
    }
    const sim::PedalState &pedal() { return bridge->pedal().state(); }
    QString log() const { return editor->console().text(0, editor->console().lineCount()); }

    FakeServices fakes;
    std::unique_ptr<SimBridge> bridge;
    std::unique_ptr<Editor> editor;
};

} // namespace

TEST_F(SetupStory, EveryOptionReachesThePedalAndComesBackWithTheRequest)
{
    TformMain &m = linkedPedal();
    // A fresh pedal: Standard, bypass status not stored, OMNI, no first preset.
    EXPECT_TRUE(m.menuStandard->isChecked());
    EXPECT_TRUE(m.menuDoNotStoreBypassStatus->isChecked());
    EXPECT_TRUE(m.MIDIChannelItems[0]->isChecked());
    EXPECT_FALSE(m.menuLoadFirstPresetAtStartup->isChecked());

    m.menuLow->trigger();
    m.menuStoreBypassStatus->trigger();
    m.MIDIChannelItems[12]->trigger();
    m.menuLoadFirstPresetAtStartup->trigger();
    EXPECT_EQ(pedal().instrumentRange, 186);
    EXPECT_TRUE(pedal().storeBypass);
    EXPECT_EQ(pedal().midiChannel, 12);
    EXPECT_TRUE(pedal().powerOnPreset);

    // Whatever the menus show now, the REQUEST puts them in line with the pedal.
    m.menuStandard->setChecked(true);
    m.menuLow->setChecked(false);
    m.menuDoNotStoreBypassStatus->setChecked(true);
    m.menuLoadFirstPresetAtStartup->setChecked(false);
    m.btnRequest->click();
    EXPECT_TRUE(m.menuLow->isChecked());
    EXPECT_FALSE(m.menuStandard->isChecked());
    EXPECT_EQ(editor->state().InstrumentRange, 186);
    EXPECT_TRUE(m.menuStoreBypassStatus->isChecked());
    EXPECT_FALSE(m.menuDoNotStoreBypassStatus->isChecked());
    for (int i = 0; i <= 16; ++i)
        EXPECT_EQ(m.MIDIChannelItems[static_cast<std::size_t>(i)]->isChecked(), i == 12) << i;
    EXPECT_TRUE(m.menuLoadFirstPresetAtStartup->isChecked());
    EXPECT_TRUE(log().contains("Load preset at power ON: TRUE"));

    // And back.
    m.menuStandard->trigger();
    m.menuDoNotStoreBypassStatus->trigger();
    m.MIDIChannelItems[0]->trigger();
    m.menuLoadFirstPresetAtStartup->trigger();
    m.btnRequest->click();
    EXPECT_TRUE(m.menuStandard->isChecked());
    EXPECT_TRUE(m.menuDoNotStoreBypassStatus->isChecked());
    EXPECT_TRUE(m.MIDIChannelItems[0]->isChecked());
    EXPECT_FALSE(m.menuLoadFirstPresetAtStartup->isChecked());

    // The hidden range limit works; it shares the first-preset option.
    m.menuRangeLimitON->trigger();
    EXPECT_TRUE(pedal().rangeLimit);
    m.btnRequest->click();
    EXPECT_TRUE(m.menuLoadFirstPresetAtStartup->isChecked());
    EXPECT_TRUE(bridge->pedal().log().empty()) << bridge->pedal().log().front();
}

TEST_F(SetupStory, TuningDataUploadIsKeptWhole)
{
    sim::Config paced;
    paced.paced = true;
    TformMain &m = linkedPedal(paced);
    m.menuUploadTuningsData->trigger();
    ASSERT_EQ(pedal().tuningData.size(), 640u);
    for (int row = 0; row < Tunings::kRows; ++row)
        for (int b = 0; b < Tunings::kRowBytes; ++b)
            ASSERT_EQ(pedal().tuningData[static_cast<std::size_t>(row * 20 + b)],
                      Tunings::TuningDataTable[static_cast<std::size_t>(row)][static_cast<std::size_t>(b)]);
    EXPECT_TRUE(pedal().bypass);
    EXPECT_TRUE(m.Timer_USB_Read->isEnabled());

    // The pedal keeps it in its settings memory, where a read shows it.
    editor->windows().formPrint->btnReadEEPROM->click();
    fakes.clock.advance(3000);
    EXPECT_TRUE(log().contains("\n256: 00\n257: 7F\n258: F5\n259: EC\n"));
    EXPECT_TRUE(log().contains("\n892: FF\n893: 81\n894: 37\n895: C0\n"));
}

TEST_F(SetupStory, EraseSettingsThenTheMemoryCheckFindsItEmpty)
{
    sim::Config paced;
    paced.paced = true;
    TformMain &m = linkedPedal(paced);
    // The memory check on a used pedal first.
    editor->windows().formPrint->btnReadEEPROM->click();
    fakes.clock.advance(3000);
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"Memory is not empty"});

    m.menuLow->trigger();
    m.MIDIChannelItems[7]->trigger();
    fakes.dialogs.messages.clear();
    m.menuEraseSettings->trigger();
    fakes.clock.advance(3000);
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"Memory is empty"});
    // The erased pedal is back to its factory settings.
    m.btnRequest->click();
    EXPECT_TRUE(m.menuStandard->isChecked());
    EXPECT_TRUE(m.MIDIChannelItems[0]->isChecked());
    EXPECT_TRUE(log().contains("16383: FF"));
    EXPECT_TRUE(std::all_of(pedal().eeprom[0].begin(), pedal().eeprom[0].end(), [](auto b) { return b == 0xFF; }));
    EXPECT_FALSE(std::all_of(pedal().eeprom[1].begin(), pedal().eeprom[1].end(), [](auto b) { return b == 0xFF; }));
}

TEST_F(SetupStory, ASilentPedalLeavesTheMemoryCheckUnansweredAndSaysSo)
{
    TformMain &m = linkedPedal();
    const_cast<sim::Config &>(bridge->pedal().config()).faults.silent = true;
    m.menuEraseSettings->trigger();
    fakes.clock.advance(10000);
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"No memory dump came from the pedal after the read"});
}

TEST_F(SetupStory, NoteCutOverwritesTheTuning)
{
    TformMain &m = linkedPedal();
    TformFXsettings &fx = *editor->windows().formFXsettings;
    fx.cmbGuitarTuning->setCurrentIndex(2);
    m.btnSetTuning->click();
    EXPECT_EQ(pedal().tuning, 2);

    TformNoteTrackingFilter &notes = *editor->windows().formNoteTrackingFilter;
    notes.chkCdiesis3->click(); // note 04
    notes.btnSave->click();
    EXPECT_EQ(pedal().tuning, 4);
    EXPECT_EQ(pedal().semitones, 0xFF);
    m.btnRequest->click();
    EXPECT_EQ(fx.cmbGuitarTuning->currentText(), QStringLiteral("open D (DADF#AD)"));
    EXPECT_EQ(fx.cmbSemitonesVariation->currentText(), QStringLiteral("-1"));
}
