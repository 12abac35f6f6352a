// Whole stories against the virtual pedal, in-process, on virtual time.
#include "AppState.h"
#include "ConsoleModel.h"
#include "Editor.h"
#include "FXsettings.h"
#include "KnobControl.h"
#include "KnobMath.h"
#include "Parameters.h"
#include "Fakes.h"
#include "SimBridge.h"
#include "Story.h"
#include "main.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>


TEST_F(Story, LinkAndRequestAgainstThePacedPedal)
{
    sim::Config config;
    config.paced = true;
    TformMain &m = start(config);
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("Tharnvik MK3"));
    const qint64 t0 = fakes.clock.nowMs();
    m.menuScan->trigger();
    const qint64 took = fakes.clock.nowMs() - t0;
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty()) << fakes.dialogs.messages.join("|").toStdString();
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("Tharnvik MK3 linked"));
    EXPECT_EQ(m.lblFirmwareVersion->text(), QStringLiteral("Device Firmware: 16"));
    EXPECT_EQ(m.lblAlgorithmVersion->text(), QStringLiteral("Device Algorithm: 0015"));
    EXPECT_TRUE(editor->windows().formFXsettings->isVisible());
    EXPECT_TRUE(editor->console().text(0, editor->console().lineCount()).contains("received_bytes_array size: 107"));
    EXPECT_EQ(bridge->parity(), 0);
    // The answer crosses the wire during the request pause; reading ends as
    // soon as all 107 numbers are in.
    EXPECT_GE(took, 200);
    EXPECT_LE(took, 200 + 40 + 16 + 60);
}

TEST_F(Story, OldFirmwareAndOldAlgorithm)
{
    sim::Config config;
    config.firmware = 15;
    TformMain &m = start(config);
    m.menuScan->trigger();
    ASSERT_EQ(fakes.dialogs.messages.size(), 2);
    EXPECT_FALSE(m.btnUpload->isEnabled());

    sim::Config older;
    older.algorithm = 14;
    fakes.dialogs.messages.clear();
    TformMain &m2 = start(older);
    m2.menuScan->trigger();
    EXPECT_EQ(fakes.dialogs.messages,
              QStringList{"Upload the latest version of Tharnvik MK3 algorithm:\r\nUpload Tharnvik MK3 0015"});
    EXPECT_TRUE(m2.btnUpload->isEnabled());
    EXPECT_FALSE(m2.btnRequest->isEnabled());
}

TEST_F(Story, FaultyPedals)
{
    struct Case {
        const char *name;
        sim::Faults faults;
        const char *logLine;
        int messages;
    };
    sim::Faults silent;
    silent.silent = true;
    sim::Faults shortAnswer;
    shortAnswer.shortAnswer = 50;
    sim::Faults split;
    split.splitPieces = 4;
    split.splitGapMs = 30;
    sim::Faults garbage;
    garbage.garbage = true;
    const Case cases[] = {
        {"silent", silent, "REQUEST stopped: 0 of 107", 1},
        {"short", shortAnswer, "REQUEST stopped: 50 of 107", 0},
        {"split with gaps", split, "Load preset at power ON", 0},
        {"garbage", garbage, "REQUEST stopped: the answer held", 0},
    };
    for (const Case &c : cases) {
        sim::Config config;
        config.faults = c.faults;
        fakes.dialogs.messages.clear();
        TformMain &m = start(config);
        m.menuScan->trigger();
        EXPECT_TRUE(log().contains(QLatin1String(c.logLine))) << c.name;
        EXPECT_EQ(fakes.dialogs.messages.size(), c.messages) << c.name;
        EXPECT_FALSE(editor->state().RequestInProgress) << c.name;
        EXPECT_TRUE(m.Timer_USB_Read->isEnabled()) << c.name;
        EXPECT_TRUE(editor->state().Linked()) << c.name;
    }
}

TEST_F(Story, HangUpDuringTheRequestThenUnlink)
{
    sim::Config config;
    config.faults.hangUpAfter = 1; // takes the first byte of the request, then dies
    TformMain &m = start(config);
    m.menuScan->trigger();
    EXPECT_TRUE(log().contains("REQUEST stopped: 0 of 107"));
    m.menuDisconnect->trigger();
    EXPECT_FALSE(editor->state().Linked());
    EXPECT_TRUE(m.menuScan->isEnabled());
}

namespace {

class EffectStory : public Story {
protected:
    TformFXsettings &fx() { return *editor->windows().formFXsettings; }
    TformMain &linkedPedal()
    {
        TformMain &m = start();
        m.menuScan->trigger();
        return m;
    }
};

} // namespace

TEST_F(EffectStory, TurnAKnobThenTheRequestShowsThePedalsValue)
{
    TformMain &m = linkedPedal();
    fx().dialDry->setAngle(90);
    fx().dialLowPass->setAngle(0);
    fakes.clock.advance(100);
    fakes.clock.advance(100);
    EXPECT_EQ(bridge->pedal().state().parameters[param::Dry], 0x003FC000u);

    m.btnRequest->click();
    // The pedal's value comes back through the readout's own mapping.
    EXPECT_EQ(fx().dialDry->angle(), ValueToDialAngle(0x003FC000, param::kKnobScale));
    EXPECT_EQ(fx().EffectParameters.value(param::Dry), 0x003FC000u);
    const std::uint32_t lowPass = bridge->pedal().state().parameters[param::LowPass];
    EXPECT_LE(lowPass, 24u);
    EXPECT_EQ(fx().dialLowPass->angle(), ValueToDialAngle(lowPass, param::kLowPassScale));
}

TEST_F(EffectStory, AssignThenTheRequestShowsTheAssignment)
{
    TformMain &m = linkedPedal();
    fx().cmbAssignCtrlUNO->setCurrentIndex(3);  // Wave Clip
    fx().cmbAssignCtrlTRE->setCurrentIndex(3);  // Limit Range UP
    fx().cmbAssignRemote->setCurrentIndex(2);   // Preset
    m.btnAssign->click();
    fx().cmbAssignCtrlUNO->setCurrentIndex(0);
    fx().cmbAssignCtrlTRE->setCurrentIndex(0);
    fx().cmbAssignRemote->setCurrentIndex(0);
    m.btnRequest->click();
    EXPECT_EQ(fx().cmbAssignCtrlUNO->currentText(), QStringLiteral("Wave Clip"));
    EXPECT_EQ(fx().cmbAssignCtrlTRE->currentText(), QStringLiteral("Limit Range UP"));
    EXPECT_EQ(fx().cmbAssignRemote->currentText(), QStringLiteral("Preset"));
    EXPECT_EQ(fx().cmbAssignCtrlDUE->currentIndex(), 0);
}

TEST_F(EffectStory, DefaultsThenSaveStoresThemInThePedal)
{
    TformMain &m = linkedPedal();
    fx().dialInputLevel->setAngle(-135);
    fakes.clock.advance(100);
    m.menuSetAssignableParamsToDefault->trigger();
    fakes.clock.advance(200);
    m.btnSaveParameters->click();
    // Input Level's knob moved to show the default, so its own (quantised)
    // value went to the pedal last, and that is what the REQUEST read back.
    std::array<std::uint32_t, 10> expected = param::kAssignableDefaults;
    expected[0] = 0x007FE000;
    EXPECT_EQ(bridge->pedal().state().storedAssignable, expected);
    EXPECT_EQ(fx().dialInputLevel->angle(), -45);
}

TEST_F(EffectStory, TuningAndFootswitchComeBack)
{
    TformMain &m = linkedPedal();
    fx().cmbGuitarTuning->setCurrentIndex(3);
    fx().cmbSemitonesVariation->setCurrentIndex(8); // +3
    m.btnSetTuning->click();
    fx().chkChangePresetShortPress->setChecked(true);
    fx().chkBypassLongPress->setChecked(true);
    m.btnSetFootswitchMode->click();
    fx().cmbGuitarTuning->setCurrentIndex(0);
    fx().chkBypassShortPress->setChecked(true);
    m.btnRequest->click();
    EXPECT_EQ(fx().cmbGuitarTuning->currentText(), QStringLiteral("DADGAD"));
    EXPECT_EQ(fx().cmbSemitonesVariation->currentText(), QStringLiteral("+3"));
    EXPECT_TRUE(fx().chkChangePresetShortPress->isChecked());
    EXPECT_TRUE(fx().chkBypassLongPress->isChecked());
}

TEST_F(EffectStory, UploadingTheCarriedAlgorithmUpdatesThePedal)
{
    sim::Config older;
    older.algorithm = 14;
    older.paced = true;
    TformMain &m = start(older);
    m.menuScan->trigger();
    EXPECT_EQ(m.lblAlgorithmVersion->text(), QStringLiteral("Device Algorithm: 0014"));
    m.btnUpload->click();
    EXPECT_EQ(m.lblStatus->text(), QStringLiteral("Upload Complete\r\n"));
    EXPECT_EQ(m.lblAlgorithmVersion->text(), QStringLiteral("Device Algorithm: 0015"));
    EXPECT_TRUE(m.btnRequest->isEnabled());
}

TEST_F(EffectStory, AnUploadThePedalNeverAnswersShowsUploadFailed)
{
    TformMain &m = linkedPedal();
    bridge->pedal().state(); // linked and answered; now it goes silent
    fakes.clock.onWait = [&](qint64) {
        if (m.lblStatus->text() == QLatin1String("Upload Failed"))
            editor->state().Quitting = true; // end the wait as closing the editor would
    };
    sim::Faults silent;
    silent.silent = true;
    const_cast<sim::Config &>(bridge->pedal().config()).faults = silent;
    m.btnUpload->click();
    EXPECT_EQ(m.lblStatus->text(), QStringLiteral("Upload Failed"));
}

TEST_F(EffectStory, ARequestRightAfterATurnReadsTheTurnedValueBack)
{
    // The knob's message still waits for its timer when the REQUEST starts:
    // it goes first, so the pedal answers with it and the knob keeps it.
    sim::Config paced;
    paced.paced = true;
    TformMain &m = start(paced);
    m.menuScan->trigger();
    fx().dialDry->setAngle(90);
    ASSERT_TRUE(fx().knobWritePending());
    m.btnRequest->click();
    EXPECT_EQ(bridge->pedal().state().parameters[param::Dry], 0x003FC000u);
    EXPECT_EQ(fx().EffectParameters.value(param::Dry), 0x003FC000u);
    EXPECT_EQ(fx().dialDry->angle(), ValueToDialAngle(0x003FC000, param::kKnobScale));
    fakes.clock.advance(500);
    EXPECT_EQ(bridge->pedal().state().parameters[param::Dry], 0x003FC000u);
}
