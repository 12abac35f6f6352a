#include "AppState.h"
#include "EditorFixture.h"
#include "EffectControls.h"
#include "EffectMessages.h"
#include "PedalSnapshot.h"
#include "Presets.h"
#include "FXsettings.h"
#include "KnobControl.h"
#include "KnobMath.h"
#include "Parameters.h"
#include "SwitchControl.h"

#include <QAccessible>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWheelEvent>

#include <functional>

namespace {

class FxTest : public EditorFixture {
protected:
    TformFXsettings &fx() { return *editor->windows().formFXsettings; }
    QByteArray write(std::uint16_t address, std::uint32_t value) const
    {
        return QByteArray::fromHex(EffectMessages::parameterWrite(address, value).toLatin1());
    }
    std::uint16_t addr(int p) { return fx().EffectParameters.address(p); }
};

} // namespace

TEST_F(FxTest, CreatedWithTheParametersAndControlsAsSpecified)
{
    start({});
    TformFXsettings &w = fx();
    EXPECT_EQ(w.size(), QSize(440, 448));
    const EffectParameterSet &p = w.EffectParameters;
    EXPECT_EQ(p.creationOrder()[0], QStringLiteral("Input Level"));
    EXPECT_EQ(p.creationOrder()[10], QStringLiteral("Dry"));
    EXPECT_EQ(p.creationOrder()[19], QStringLiteral("Split"));
    for (int i = 0; i < param::Count; ++i) {
        EXPECT_EQ(p.address(i), i < param::kFirstAssignable ? 0x0000 : 0xFFFF) << i;
        EXPECT_EQ(p.value(i), 0u) << i;
    }
    const std::pair<KnobControl *, int> angles[] = {{w.dialDry, -135}, {w.dialLowPass, -138}, {w.dialHighPass, -128},
                                                    {w.dialRange, -126}, {w.dialDryHPF, -126}};
    for (auto [k, a] : angles)
        EXPECT_EQ(k->angle(), a) << k->objectName().toStdString();
    EXPECT_FALSE(w.dial1stHarmonic->isEnabled());
    EXPECT_FALSE(w.swtWave->isEnabled());
    EXPECT_EQ(w.lblAttack->text(), QStringLiteral("Attack: Fast"));
    EXPECT_EQ(w.cmbVariableWavePitch->count(), 25);
    EXPECT_EQ(w.cmbVariableWavePitch->itemText(0), QStringLiteral("-12"));
    EXPECT_EQ(w.cmbVariableWavePitch->itemText(13), QStringLiteral("+1"));
    EXPECT_EQ(w.cmbSemitonesVariation->currentText(), QStringLiteral("0"));
    EXPECT_EQ(w.cmbGuitarTuning->currentText(), QStringLiteral("No Tuning Selected"));
    EXPECT_EQ(w.cmbAssignCtrlTRE->itemText(5), QStringLiteral("Attack"));
    EXPECT_TRUE(w.chkBypassShortPress->isChecked());
    EXPECT_TRUE(w.chkChangePresetLongPress->isChecked());
    EXPECT_EQ(w.swtLimitRange->toolTip(), QStringLiteral("Limit the tracking range on higher notes."));
    // Filling the lists sent nothing.
    EXPECT_TRUE(ft().writes.empty());
}

TEST_F(FxTest, ShowingReadsTheAddressesOfTheEffect)
{
    TformMain &m = linked();
    EXPECT_EQ(fx().windowTitle(), QStringLiteral("Tharnvik MK3 0015"));
    EXPECT_EQ(addr(param::Dry), 0x0027);
    EXPECT_EQ(addr(param::SubMix), 0x0007);
    EXPECT_EQ(addr(param::Range), 0x0000);
    EXPECT_NE(addr(param::InputLevel), 0xFFFF);

    // An image with a bad field: its error, and the addresses stay.
    const std::uint16_t before = addr(param::Dry);
    EXPECT_FALSE(fx().ReadParameterAddresses(QStringLiteral("0010A0ZZ27") + QString(200, QLatin1Char('0'))));
    EXPECT_EQ(fakes.dialogs.messages.size(), 1);
    EXPECT_EQ(addr(param::Dry), before);
    (void)m;
}

TEST_F(FxTest, KnobWritesArePacedByTimer1)
{
    linked();
    KnobControl *dry = fx().dialDry;
    dry->setAngle(90);
    dry->setAngle(0);
    dry->setAngle(-45);
    EXPECT_TRUE(ft().writes.empty());
    fakes.clock.advance(100);
    ASSERT_EQ(ft().writes.size(), 1u);
    EXPECT_EQ(ft().writes[0], write(0x0027, 0x007FE000));
    EXPECT_EQ(fx().EffectParameters.value(param::Dry), 0x007FE000u);
    fakes.clock.advance(500);
    EXPECT_EQ(ft().writes.size(), 1u);

    dry->setAngle(-135);
    fakes.clock.advance(100);
    EXPECT_EQ(ft().writes.back(), write(0x0027, 0));
    EXPECT_TRUE(log().contains("Send Dry string (standard par): 01002700000000"));
}

TEST_F(FxTest, AMessageSentBeforeTheTickDoesNotReplaceThePendingKnobWrite)
{
    linked();
    fx().dialSubMix->setAngle(90);
    fx().swtBypass->setOn(true);
    fakes.clock.advance(100);
    ASSERT_EQ(ft().writes.size(), 2u);
    EXPECT_EQ(ft().writes[0], QByteArray::fromHex("0D01"));
    EXPECT_EQ(ft().writes[1], write(0x0007, 0x003FC000));
}

TEST_F(FxTest, SwitchesAndBoxes)
{
    linked();
    TformFXsettings &w = fx();
    w.swtAttack->setOn(true);
    ASSERT_EQ(ft().writes.size(), 3u);
    for (const QByteArray &b : ft().writes)
        EXPECT_EQ(b, write(addr(param::Attack), 0x800));
    EXPECT_EQ(w.lblAttack->text(), QStringLiteral("Attack: Slow"));

    ft().writes.clear();
    const int linesBefore = static_cast<int>(editor->console().lineCount());
    w.swtBypass->setOn(false); // already off after the readout? make sure a change happens
    w.swtBypass->setOn(true);
    EXPECT_EQ(ft().writes.back(), QByteArray::fromHex("0D01"));
    EXPECT_EQ(editor->console().lineCount(), linesBefore); // no log line

    ft().writes.clear();
    w.cmbVariableWavePitch->setCurrentIndex(13);
    EXPECT_EQ(ft().writes.back(), write(addr(param::HarmonicPitch), 0x455558));
    EXPECT_TRUE(log().endsWith(QStringLiteral("Send Harmonic Pitch string: ") + EffectMessages::parameterWrite(addr(param::HarmonicPitch), 0x455558)));
}

TEST_F(FxTest, NoteCutNeedsATuning)
{
    linked();
    TformFXsettings &w = fx();
    w.cmbGuitarTuning->setCurrentIndex(0);
    ft().writes.clear();
    w.chkDominantNoteCut->setChecked(true);
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"Set a tuning before using this parameter"});
    EXPECT_FALSE(w.chkDominantNoteCut->isChecked());
    ASSERT_EQ(ft().writes.size(), 1u);
    EXPECT_EQ(ft().writes[0], write(addr(param::DominantNotesCut), 0));

    w.cmbGuitarTuning->setCurrentIndex(1);
    w.chkDominantNoteCut->setChecked(true);
    EXPECT_EQ(ft().writes.back(), write(addr(param::DominantNotesCut), 1));
    EXPECT_EQ(w.EffectParameters.value(param::DominantNotesCut), 1u);
}

TEST_F(FxTest, DuringARequestOnlyWaveAndSplitSend)
{
    linked();
    TformFXsettings &w = fx();
    editor->state().RequestInProgress = true;
    w.swtWave->setOn(!w.swtWave->isOn());
    w.swtSplit->setOn(!w.swtSplit->isOn());
    w.swtLimitRange->setOn(!w.swtLimitRange->isOn());
    w.swtBypass->setOn(!w.swtBypass->isOn());
    w.dialDry->setAngle(0);
    w.cmbVariableWavePitch->setCurrentIndex(3);
    fakes.clock.advance(200);
    EXPECT_EQ(ft().writes.size(), 2u);
}

TEST_F(FxTest, AssignMessages)
{
    TformMain &m = linked();
    TformFXsettings &w = fx();
    EXPECT_EQ(w.BuildAssignMessage(), QStringLiteral("040000000000FFFFFFFFFFFFFFFFFFFF"));

    w.cmbAssignCtrlUNO->setCurrentIndex(1); // Input Level
    w.cmbAssignRemote->setCurrentIndex(1);  // Bypass
    const QString expected = QStringLiteral("040100000001") + EffectMessages::hex(addr(param::InputLevel), 4)
        + QStringLiteral("FFFFFFFFFFFFFFFE");
    EXPECT_EQ(w.BuildAssignMessage(), expected);
    EXPECT_TRUE(log().contains("lenght of assign message in bytes: 16"));

    fakes.dialogs.answers = {Answer::No};
    m.btnAssign->click();
    EXPECT_TRUE(ft().writes.empty());
    EXPECT_TRUE(log().contains("********************ASSIGN********************"));
    m.btnAssign->click();
    ASSERT_EQ(ft().writes.size(), 1u);
    EXPECT_EQ(ft().writes[0], QByteArray::fromHex(expected.toLatin1()));
    EXPECT_EQ(fakes.dialogs.questions.last(), QStringLiteral("Upload Assignments?"));
    EXPECT_TRUE(m.btnAssign->isEnabled());

    // A note-cut parameter needs a tuning.
    w.cmbGuitarTuning->setCurrentIndex(0);
    w.cmbAssignCtrlQUATTRO->setCurrentIndex(2); // High Notes Cut
    EXPECT_EQ(fakes.dialogs.messages.last(), QStringLiteral("No tuning selected, Select a tuning before assigning this parameter"));
    EXPECT_EQ(w.cmbAssignCtrlQUATTRO->currentIndex(), 0);
    EXPECT_FALSE(w.ControlAssigned[3]);
}

TEST_F(FxTest, FootswitchAndTuningMessages)
{
    TformMain &m = linked();
    TformFXsettings &w = fx();
    m.btnSetFootswitchMode->click();
    EXPECT_EQ(ft().writes.back(), QByteArray::fromHex("080000"));
    w.chkChangePresetShortPress->setChecked(true);
    w.chkBypassLongPress->setChecked(true);
    m.btnSetFootswitchMode->click();
    EXPECT_EQ(ft().writes.back(), QByteArray::fromHex("080101"));

    w.cmbGuitarTuning->setCurrentIndex(1);
    w.cmbSemitonesVariation->setCurrentIndex(4); // -1
    ft().calls.clear();
    m.btnSetTuning->click();
    EXPECT_EQ(ft().writes.back(), QByteArray::fromHex("0901FF"));
    EXPECT_TRUE(log().contains("Tuning Message: 0901FF"));
    EXPECT_EQ(ft().calls.filter("FT_Purge").size(), 1);
    EXPECT_EQ(fakes.clock.pauses.back(), 100);
}

TEST_F(FxTest, ReadoutOfThePedalsAnswer)
{
    answer[4] = 1;      // footswitch mode
    answer[5] = 2;      // Drop D
    answer[6] = 254;    // -2
    answer[22] = 1;     // bypass on
    answer[26] = 0x00;  // Dry 007FE000
    answer[27] = 0x7F;
    answer[28] = 0xE0;
    answer[29] = 0x00;
    answer[26 + 4 * 5 + 3] = 12; // Low Pass step 12
    linked();
    TformFXsettings &w = fx();
    EXPECT_TRUE(w.chkBypassShortPress->isChecked());
    EXPECT_TRUE(w.chkBypassLongPress->isChecked());
    EXPECT_TRUE(log().contains("Footswitch Mode: 1"));
    EXPECT_EQ(w.cmbGuitarTuning->currentText(), QStringLiteral("Drop D (DADGBE)"));
    EXPECT_EQ(w.cmbSemitonesVariation->currentText(), QStringLiteral("-2"));
    EXPECT_TRUE(log().contains("Current Tuning: 2\nSemitones variation: FE"));
    EXPECT_TRUE(w.swtBypass->isOn());
    EXPECT_EQ(w.dialDry->angle(), -45);
    EXPECT_EQ(w.dialLowPass->angle(), 90);
    EXPECT_TRUE(log().contains("Dry: \t007FE000\nSub Mix: 00000000\nSub -1: \t00000000"));
    EXPECT_TRUE(log().contains("Noise Gate Status: \t00000000"));
    // The readout itself sent nothing but Wave and Split.
    for (const QByteArray &b : ft().writes)
        EXPECT_EQ(b[0], '\x01');
}

TEST_F(FxTest, AssignmentReadoutAndOddValues)
{
    TformMain &m = linked();
    TformFXsettings &w = fx();
    const std::uint16_t input = addr(param::InputLevel);
    answer[7] = 1;
    answer[11] = 1;
    answer[12] = input >> 8;
    answer[13] = input & 0xFF;
    for (int i = 14; i <= 19; ++i)
        answer[static_cast<std::size_t>(i)] = 0xFF;
    answer[20] = 0xFF;
    answer[21] = 0xFE;
    answer[22] = 2;    // bypass: neither on nor off
    answer[5] = 9;     // no such tuning
    answer[6] = 4;     // no such semitone step
    const bool bypassBefore = w.swtBypass->isOn();
    m.btnRequest->click();
    EXPECT_EQ(w.cmbAssignCtrlUNO->currentText(), QStringLiteral("Input Level"));
    EXPECT_EQ(w.cmbAssignCtrlDUE->currentIndex(), 0);
    EXPECT_EQ(w.cmbAssignRemote->currentText(), QStringLiteral("Bypass"));
    EXPECT_TRUE(w.EffectParameters.assignable(param::InputLevel).is_assigned);
    EXPECT_FALSE(w.EffectParameters.assignable(param::WaveClip).is_assigned);
    EXPECT_TRUE(w.ControlAssigned[0]);
    EXPECT_EQ(w.swtBypass->isOn(), bypassBefore);
    EXPECT_EQ(w.cmbGuitarTuning->currentIndex(), 0);
    EXPECT_EQ(w.CurrentTuning, 0);
    EXPECT_TRUE(log().contains("Unknown tuning 9 from the pedal"));
    EXPECT_EQ(w.cmbSemitonesVariation->currentText(), QStringLiteral("-5"));
}

TEST_F(FxTest, SaveParametersStoresWhatTheRequestRead)
{
    answer[26 + 4 * 10 + 1] = 0x12; // Input Level 0x00120000
    TformMain &m = linked();
    fx().EffectParameters.setValue(param::InputLevel, 0x7777); // stale value the editor held
    fakes.dialogs.answers = {Answer::No};
    m.btnSaveParameters->click();
    EXPECT_EQ(ft().writes.size(), 1u); // the REQUEST only
    EXPECT_TRUE(log().contains("num of bytes to send: 41"));

    ft().writes.clear();
    m.btnSaveParameters->click();
    ASSERT_EQ(ft().writes.size(), 2u);
    const QByteArray store = ft().writes[1];
    EXPECT_EQ(store.size(), 41);
    EXPECT_EQ(store.left(5), QByteArray::fromHex("0300120000"));
    EXPECT_TRUE(log().contains("num of bytes sent: 41"));

    // Without an answer nothing is stored.
    answers = false;
    ft().writes.clear();
    fakes.dialogs.messages.clear();
    m.btnSaveParameters->click();
    EXPECT_EQ(ft().writes.size(), 1u);
    EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("Save Parameters stopped"));
}

TEST_F(FxTest, DefaultsSendNineMessagesInOrder)
{
    TformMain &m = linked();
    TformFXsettings &w = fx();
    // The controls already show the defaults.
    w.setDefaultAssignableParameterValues();
    fakes.clock.advance(200);
    ft().writes.clear();
    fakes.clock.pauses.clear();
    w.setDefaultAssignableParameterValues();
    fakes.clock.advance(200);
    using namespace param;
    const std::vector<QByteArray> expected = {
        write(addr(InputLevel), 0x800000), write(addr(HarmonicPitch), 0x400000), write(addr(WaveClip), 0),
        write(addr(DominantNotesCut), 0), write(addr(HighNotesCut), 0), write(addr(DryHPF), 0),
        write(addr(LimitRangeUp), 0), write(addr(NoiseGateThreshold), 0), write(addr(Attack), 0x8000),
    };
    EXPECT_EQ(ft().writes, expected);
    EXPECT_EQ(fakes.clock.pauses, (std::vector<int>{10, 10, 10, 10, 10, 10, 10, 10}));

    // Ctrl+Shift+Z in the main window does the same; the menu also says to save.
    ft().writes.clear();
    EXPECT_TRUE(m.FormKeyDown(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_EQ(ft().writes.size(), 9u);
    m.menuSetAssignableParamsToDefault->trigger();
    EXPECT_EQ(fakes.dialogs.messages.last(), QStringLiteral("Click Save Parameters button to save the current status on pedal"));
}

TEST_F(FxTest, ApplyingValuesSendsWhatChangedAtOnceWhenAsked)
{
    linked();
    TformFXsettings &w = fx();
    w.EffectParameters.setValue(param::Dry, 0x400000);
    w.EffectParameters.setValue(param::Wave, 0x123); // neither code: unchanged
    const bool waveBefore = w.swtWave->isOn();
    w.ApplyParametersToControls(true);
    ASSERT_EQ(ft().writes.size(), 1u);
    EXPECT_EQ(ft().writes[0][0], '\x01');
    EXPECT_EQ(w.swtWave->isOn(), waveBefore);
    EXPECT_FALSE(w.SendImmediately);
}

TEST_F(FxTest, TwoKnobsTurnedWithinOneTickBothReachThePedal)
{
    linked();
    fx().dialDry->setAngle(90);
    fx().dialSubMix->setAngle(0);
    fx().dialDry->setAngle(-45);
    fakes.clock.advance(100);
    ASSERT_EQ(ft().writes.size(), 2u);
    EXPECT_EQ(ft().writes[0], write(0x0027, 0x007FE000));
    EXPECT_EQ(ft().writes[1][2], '\x07');
}

TEST_F(FxTest, AKnobTickInsideTheQuestionDoesNotChangeTheAnsweredMessage)
{
    // The player turned a knob just before the click; its Timer1 tick runs
    // while the question waits, and writes its own message first.
    struct Case {
        const char *name;
        QPushButton *TformMain::*button;
        int length;
        char command;
    };
    const Case cases[] = {
        {"assign", &TformMain::btnAssign, 16, '\x04'},
        {"save parameters", &TformMain::btnSaveParameters, 41, '\x03'},
    };
    for (const Case &c : cases) {
        TformMain &m = linked();
        fakes.dialogs.onQuestion = [this](const QString &) {
            fx().dialDry->setAngle(90);
            fakes.clock.advance(100);
        };
        (m.*c.button)->click();
        fakes.dialogs.onQuestion = nullptr;
        ASSERT_GE(ft().writes.size(), 2u) << c.name;
        const QByteArray &knob = ft().writes[ft().writes.size() - 2];
        const QByteArray &sent = ft().writes.back();
        EXPECT_EQ(knob, write(0x0027, 0x003FC000)) << c.name;
        EXPECT_EQ(sent.size(), c.length) << c.name;
        EXPECT_EQ(sent[0], c.command) << c.name;
        EXPECT_EQ(sent.left(7).indexOf(knob), -1) << c.name;
        fx().dialDry->setAngle(-135);
        fakes.clock.advance(100);
    }
}

TEST_F(FxTest, TheControlsModelSendsWhatTheWindowSendsForAPresetLoad)
{
    // The same preset loaded by the window and by the model of its controls
    // (what tharnvik-cli uses): the same messages, in the same order.
    struct Case {
        const char *name;
        std::array<std::uint32_t, param::Count> preset;
        int tuning; // the pedal's tuning: 0 none, so a note cut is refused
    };
    std::array<std::uint32_t, param::Count> everything{};
    for (int i = 0; i < param::Count; ++i)
        everything[static_cast<std::size_t>(i)] = 0x00100000u * static_cast<std::uint32_t>(i + 1);
    everything[param::Wave] = param::kWaveOn;
    everything[param::Split] = 1;
    everything[param::HarmonicPitch] = param::HarmonicPitchTable[3];
    everything[param::DominantNotesCut] = 1;
    everything[param::HighNotesCut] = 1;
    everything[param::LimitRangeUp] = 1;
    everything[param::NoiseGateStatus] = 1;
    everything[param::Attack] = param::kAttackSlow;
    everything[param::LowPass] = 20;
    everything[param::HighPass] = 3;
    everything[param::Range] = 7;
    std::array<std::uint32_t, param::Count> odd = everything;
    odd[param::Wave] = 0x123;     // neither on nor off: the switch stays
    odd[param::Attack] = 0x5;     // neither: the switch stays
    odd[param::HarmonicPitch] = 7; // not in the table: the list stays
    const Case cases[] = {
        {"every control moves", everything, 2},
        {"note cut without a tuning", everything, 0},
        {"values no control shows", odd, 3},
        {"nothing changes", {}, 1},
    };
    for (const Case &c : cases) {
        answer = pedalState();
        answer[5] = c.tuning;
        TformMain &m = linked();
        TformFXsettings &w = fx();
        const bool tuningSelected = w.cmbGuitarTuning->currentIndex() != 0;

        EffectControls model = EffectControls::initial();
        const PedalSnapshot pedal = PedalSnapshot::decode([&] {
            QByteArray b;
            for (int v : answer)
                b.append(static_cast<char>(v));
            return b;
        }());
        model.show(pedal.values);
        std::array<std::uint32_t, param::Count> values = pedal.values;
        const QString text = Presets::buildPresetText(c.preset);
        const QString file = fakes.paths.documentsFolder() + QStringLiteral("/case.txt");
        ASSERT_TRUE(Presets::writePresetFile(file, text).isEmpty());
        const QString read = Presets::readPresetFile(file);
        for (int k = 0; k < param::Count; ++k)
            values[static_cast<std::size_t>(k)] =
                Presets::applyField(Presets::fieldOf(read, k), values[static_cast<std::size_t>(k)]);
        const EffectControls::Applied applied = model.apply(values, w.EffectParameters, tuningSelected);

        fakes.dialogs.messages.clear();
        fakes.dialogs.fileNames = {file};
        m.menuLoadPresetClick();
        std::vector<QByteArray> expected;
        for (const EffectControls::Write &wr : applied.writes) {
            expected.push_back(QByteArray::fromHex(wr.hex.toLatin1()));
            EXPECT_TRUE(log().contains(wr.line)) << c.name << ": " << wr.line.toStdString();
        }
        EXPECT_EQ(ft().writes, expected) << c.name;
        if (c.tuning == 2)
            EXPECT_GT(expected.size(), 20u) << c.name; // every control sent
        for (int i = 0; i < param::Count; ++i)
            EXPECT_EQ(values[static_cast<std::size_t>(i)], w.EffectParameters.value(i)) << c.name << " " << i;
        EXPECT_EQ(applied.noteCutRefused,
                  fakes.dialogs.messages.contains(QStringLiteral("Set a tuning before using this parameter")))
            << c.name;
    }
}

namespace {

// What Timer1 writes after a change to a knob, the change made by `act`.
std::vector<QByteArray> writtenAfter(FakeServices &fakes, RecordingFtd2xx &ft, const std::function<void()> &act)
{
    ft.writes.clear();
    act();
    fakes.clock.advance(100);
    return ft.writes;
}

void turnByWheel(KnobControl *knob, int notches)
{
    const QPointF pos(knob->width() / 2.0, knob->height() / 2.0);
    QWheelEvent event(pos, knob->mapToGlobal(pos), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(knob, &event);
}

// Drags the knob up by `pixels` (down when negative), one degree of travel each.
void drag(KnobControl *knob, int pixels)
{
    const QPointF from(knob->width() / 2.0, knob->height() / 2.0);
    const QPointF to = from - QPointF(0, pixels);
    QMouseEvent press(QEvent::MouseButtonPress, from, knob->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, to, knob->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, knob->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    for (QMouseEvent *e : {&press, &move, &release})
        QApplication::sendEvent(knob, e);
}

} // namespace

TEST_F(FxTest, KnobsShowTheirValueOnTheirOwnScale)
{
    start({});
    TformFXsettings &w = fx();
    struct Case {
        KnobControl *knob;
        int angle;
        const char *text;
    };
    const Case table[] = {
        {w.dialDry, -135, "0 %"},       {w.dialDry, 90, "50 %"},        {w.dialDry, -45, "100 %"},
        {w.dialNoiseGateThreshold, -60, "100 %"},
        {w.dialLowPass, -135, "0"},     {w.dialLowPass, 90, "12"},      {w.dialLowPass, -45, "24"},
        {w.dialHighPass, -135, "0"},    {w.dialHighPass, 89, "8"},      {w.dialHighPass, -45, "16"},
        {w.dialRange, -135, "0"},       {w.dialRange, 90, "11"},        {w.dialRange, -45, "22"},
    };
    for (const Case &c : table) {
        c.knob->setAngle(c.angle);
        const QString name = c.knob->caption();
        EXPECT_EQ(c.knob->valueText(), QString::fromLatin1(c.text)) << name.toStdString() << " " << c.angle;
        QAccessibleInterface *ai = QAccessible::queryAccessibleInterface(c.knob);
        EXPECT_EQ(ai->text(QAccessible::Name), name);
        EXPECT_EQ(ai->text(QAccessible::Description), c.knob->valueText()) << name.toStdString();
    }
    // The hint of a knob with one is still within reach.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(w.dialDryHPF)->text(QAccessible::Help),
              QStringLiteral("Filters low frequencies from the dry signal"));
}

TEST_F(FxTest, AKnobReadFromThePedalShowsThePedalsValue)
{
    auto put = [this](int parameter, std::uint32_t value) {
        for (int b = 0; b < 4; ++b)
            answer[static_cast<std::size_t>(26 + 4 * parameter + b)] = int((value >> (24 - 8 * b)) & 0xFF);
    };
    put(param::Dry, 0x400000);
    put(param::SubMix, 0x800000);
    put(param::LowPass, 7);
    put(param::HighPass, 3);
    put(param::Range, 22);
    linked();
    TformFXsettings &w = fx();
    EXPECT_EQ(w.dialDry->valueText(), QStringLiteral("50 %"));
    EXPECT_EQ(w.dialSubMix->valueText(), QStringLiteral("100 %"));
    EXPECT_EQ(w.dialLowPass->valueText(), QStringLiteral("7"));
    EXPECT_EQ(w.dialHighPass->valueText(), QStringLiteral("3"));
    EXPECT_EQ(w.dialRange->valueText(), QStringLiteral("22"));
    EXPECT_EQ(w.dialMinus1Oct->valueText(), QStringLiteral("0 %"));
}

TEST_F(FxTest, KnobTextsFitWithTheProgramsFont)
{
    start({});
    TformFXsettings &w = fx();
    QFont font = QApplication::font();
    font.setPointSize(9); // as the program sets it
    w.setFont(font);
    const QFontMetrics fm(font);
    const QList<KnobControl *> knobs = w.findChildren<KnobControl *>();
    ASSERT_EQ(knobs.size(), 12);
    for (KnobControl *k : knobs) {
        const std::string name = k->caption().toStdString();
        EXPECT_EQ(k->size(), QSize(62, 74)) << name;
        int widest = 0;
        for (int t = 0; t <= KnobControl::kTravel; ++t) {
            k->setAngle(KnobControl::angleAtTravel(t));
            widest = std::max(widest, fm.horizontalAdvance(k->valueText()));
        }
        // Drawn without shrinking or cutting, one pixel clear of either side.
        EXPECT_LE(widest, k->valueTextRect().width() - 2) << name;
        EXPECT_GE(k->valueTextRect().height(), fm.height()) << name;
        EXPECT_GE(k->captionRect().height(), fm.height()) << name;
        EXPECT_EQ(k->valueTextRect().bottom(), k->height() - 1) << name;
        // The face keeps room to grab and to read the pointer.
        EXPECT_GE(k->faceRect().height(), 40) << name;
        EXPECT_LE(k->faceRect().bottom(), k->captionRect().top()) << name;
    }
}

TEST_F(FxTest, WheelAndKeysSendWhatADragToTheSameAngleSends)
{
    linked();
    KnobControl *dry = fx().dialDry;
    struct Case {
        int from;
        std::function<void()> act;
        int to;
    };
    auto key = [dry](Qt::Key k) { return [dry, k] { QTest::keyClick(dry, k); }; };
    const Case cases[] = {
        {90, [dry] { turnByWheel(dry, 1); }, 89},   {90, [dry] { turnByWheel(dry, -1); }, 91},
        {90, [dry] { turnByWheel(dry, 3); }, 87},   {90, key(Qt::Key_Up), 89},
        {90, key(Qt::Key_Right), 89},               {90, key(Qt::Key_Down), 91},
        {90, key(Qt::Key_Left), 91},                {90, key(Qt::Key_PageUp), 80},
        {90, key(Qt::Key_PageDown), 100},           {-40, key(Qt::Key_PageUp), -45},
        {-140, key(Qt::Key_PageDown), -135},        {90, key(Qt::Key_Home), -135},
        {90, key(Qt::Key_End), -45},
    };
    for (const Case &c : cases) {
        dry->setAngle(c.from);
        fakes.clock.advance(100);
        const std::vector<QByteArray> sent = writtenAfter(fakes, ft(), c.act);
        EXPECT_EQ(dry->angle(), c.to) << c.from << " to " << c.to;
        dry->setAngle(c.from);
        fakes.clock.advance(100);
        const std::vector<QByteArray> dragged = writtenAfter(
            fakes, ft(), [&] { drag(dry, KnobControl::travelOf(c.to) - KnobControl::travelOf(c.from)); });
        EXPECT_EQ(dry->angle(), c.to);
        EXPECT_EQ(sent, dragged) << c.from << " to " << c.to;
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0], write(0x0027, DialAngleToValue(c.to)));
    }

    // At an end, or with the controls disabled (unlinked), the knob stays
    // and nothing is sent.
    struct Still {
        bool enabled;
        int at;
        std::function<void()> act;
    };
    const Still still[] = {
        {true, -45, key(Qt::Key_Up)},        {true, -45, key(Qt::Key_End)},
        {true, -45, [dry] { turnByWheel(dry, 1); }},
        {true, -135, key(Qt::Key_PageDown)}, {true, -135, [dry] { turnByWheel(dry, -1); }},
        {false, 90, key(Qt::Key_Up)},        {false, 90, key(Qt::Key_Home)},
        {false, 90, [dry] { turnByWheel(dry, 1); }},
    };
    for (const Still &c : still) {
        fx().EnableEffectControls(c.enabled);
        dry->setAngle(c.at);
        fakes.clock.advance(100);
        EXPECT_TRUE(writtenAfter(fakes, ft(), c.act).empty()) << c.at << (c.enabled ? "" : " disabled");
        EXPECT_EQ(dry->angle(), c.at);
    }
}

TEST_F(FxTest, TabFollowsTheLayout)
{
    linked(); // every control enabled
    TformFXsettings &w = fx();
    for (KnobControl *k : w.findChildren<KnobControl *>())
        EXPECT_EQ(k->focusPolicy(), Qt::StrongFocus) << k->caption().toStdString();
    // Tab from the first knob round the window and back to it. Of each
    // footswitch group Tab reaches one button (the one that had focus last;
    // the arrows move within the group).
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.dialDry->setFocus();
    QStringList visited;
    do {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    } while (QApplication::focusWidget() != w.dialDry && visited.size() < 100);
    const QStringList expected = {
        "dialDry", "dialMinus1Oct", "dialSubMix", "dialMinus2Oct",
        "dialLowPass", "dialHighPass", "dialRange", "dialDryHPF",
        "dialInputLevel", "dialClipWave", "dial1stHarmonic", "cmbVariableWavePitch",
        "swtBypass", "swtWave", "swtSplit", "swtLimitRange", "swtAttack", "swtNoiseGateStatus", "dialNoiseGateThreshold",
        "cmbGuitarTuning", "cmbSemitonesVariation", "chkDominantNoteCut", "chkHighNoteCut",
        "chkChangePresetLongPress", "chkBypassShortPress",
        "cmbAssignCtrlUNO", "cmbAssignCtrlDUE", "cmbAssignCtrlTRE", "cmbAssignCtrlQUATTRO", "cmbAssignRemote",
    };
    EXPECT_EQ(visited.join(QLatin1Char(' ')).toStdString(), expected.join(QLatin1Char(' ')).toStdString());
}
