// Undo, redo and compare of the effect window's values, from the Edit menu
// and its keys: what the pedal is sent, and what the window shows.
#include "EditorFixture.h"
#include "EffectControls.h"
#include "EffectMessages.h"
#include "FXsettings.h"
#include "KnobControl.h"
#include "Presets.h"
#include "SwitchControl.h"

#include <QAction>
#include <QCheckBox>
#include <QRadioButton>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

namespace {

class HistoryTest : public EditorFixture {
protected:
    TformFXsettings &fx() { return *editor->windows().formFXsettings; }
    QByteArray write(int p, std::uint32_t value)
    {
        return QByteArray::fromHex(EffectMessages::parameterWrite(fx().EffectParameters.address(p), value).toLatin1());
    }
    // Turns a knob through the angles as a drag does, the knob's messages
    // written as Timer1 writes them.
    void drag(KnobControl *knob, std::initializer_list<int> angles)
    {
        for (int a : angles) {
            knob->setAngle(a);
            fakes.clock.advance(40);
        }
        fakes.clock.advance(200);
    }
    QLabel *comparingMarker() { return fx().findChild<QLabel *>(QStringLiteral("lblComparing")); }
};

} // namespace

TEST_F(HistoryTest, AKnobTurnedContinuouslyIsOneStepThatUndoesAndRedoesAtOnce)
{
    TformMain &m = linked();
    TformFXsettings &w = fx();
    EXPECT_FALSE(m.menuUndo->isEnabled());
    EXPECT_EQ(m.menuUndo->text(), QStringLiteral("Undo"));
    QSignalSpy edited(&w, &TformFXsettings::edited);

    const std::uint32_t before = w.EffectParameters.value(param::Dry);
    drag(w.dialDry, {-100, -60, -20, 30, 60});
    const std::uint32_t turned = w.EffectParameters.value(param::Dry);
    ASSERT_NE(turned, before);
    EXPECT_EQ(m.menuUndo->text(), QStringLiteral("Undo Dry"));
    EXPECT_TRUE(m.menuUndo->isEnabled());
    EXPECT_FALSE(m.menuRedo->isEnabled());
    EXPECT_GE(edited.count(), 1);

    ft().writes.clear();
    m.menuUndo->trigger();
    // At once, not through Timer1; only the control that moved sends.
    EXPECT_EQ(ft().writes, std::vector<QByteArray>{write(param::Dry, before)});
    EXPECT_EQ(w.EffectParameters.value(param::Dry), before);
    EXPECT_FALSE(m.menuUndo->isEnabled());
    EXPECT_EQ(m.menuRedo->text(), QStringLiteral("Redo Dry"));

    ft().writes.clear();
    // Ctrl+Y in the effect window redoes, as the menu does.
    QTest::keyClick(&w, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(ft().writes, std::vector<QByteArray>{write(param::Dry, turned)});
    EXPECT_EQ(w.dialDry->angle(), 60);
    fakes.clock.advance(500);
    EXPECT_EQ(ft().writes.size(), 1u);
}

TEST_F(HistoryTest, UndoRightAfterATurnSendsTheWaitingMessageFirstSoTheUndoHasTheLastWord)
{
    TformMain &m = linked();
    TformFXsettings &w = fx();
    const std::uint32_t before = w.EffectParameters.value(param::Dry);
    ft().writes.clear();
    w.dialDry->setAngle(45); // its message waits for Timer1
    const std::uint32_t turned = w.EffectParameters.value(param::Dry);
    QTest::keyClick(&m, Qt::Key_Z, Qt::ControlModifier);
    fakes.clock.advance(500);
    EXPECT_EQ(ft().writes, (std::vector<QByteArray>{write(param::Dry, turned), write(param::Dry, before)}));
}

TEST_F(HistoryTest, EveryKindOfControlIsAStepNamedAfterIt)
{
    TformMain &m = linked();
    TformFXsettings &w = fx();
    struct Case {
        const char *name;
        std::function<void()> change;
    };
    const Case cases[] = {
        {"Limit Range", [&] { w.swtLimitRange->toggle(); }},
        {"Harmonic Pitch", [&] { w.cmbVariableWavePitch->setCurrentIndex(3); }},
        {"Tuning", [&] { w.cmbGuitarTuning->setCurrentIndex(2); }},
        {"Dominant Notes Cut", [&] { w.chkDominantNoteCut->setChecked(true); }},
        {"Control III", [&] { w.cmbAssignCtrlTRE->setCurrentIndex(1); }},
        {"Footswitch Short Press", [&] { w.chkChangePresetShortPress->click(); }},
    };
    std::vector<EffectSettings> states{w.currentSettings()};
    for (const Case &c : cases) {
        c.change();
        EXPECT_EQ(m.menuUndo->text(), QStringLiteral("Undo ") + QLatin1String(c.name));
        states.push_back(w.currentSettings());
        EXPECT_NE(states.back(), states[states.size() - 2]) << c.name;
    }
    // Back through every step, then forward again: each shows what it left.
    for (std::size_t i = states.size() - 1; i > 0; --i) {
        m.menuUndo->trigger();
        EXPECT_EQ(w.currentSettings(), states[i - 1]) << i;
    }
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty()) << fakes.dialogs.messages.join('\n').toStdString();
    for (std::size_t i = 1; i < states.size(); ++i) {
        m.menuRedo->trigger();
        EXPECT_EQ(w.currentSettings(), states[i]) << i;
    }
}

TEST_F(HistoryTest, APresetLoadIsOneStepAndItsUndoSendsWhatTheControlsSendForTheValuesBefore)
{
    answer[26 + 4 * param::Wave + 1] = 0x60; // Wave off
    answer[26 + 4 * param::Attack + 2] = 0x80; // Attack fast
    TformMain &m = linked();
    TformFXsettings &w = fx();
    const EffectSettings before = w.currentSettings();

    std::array<std::uint32_t, param::Count> preset{};
    for (int i = 0; i < param::Count; ++i)
        preset[static_cast<std::size_t>(i)] = 0x00100000u * static_cast<std::uint32_t>(i + 1);
    preset[param::Wave] = param::kWaveOn;
    preset[param::Attack] = param::kAttackSlow;
    preset[param::LowPass] = 20;
    const QString file = fakes.paths.documentsFolder() + QStringLiteral("/Clean.txt");
    ASSERT_TRUE(Presets::writePresetFile(file, Presets::buildPresetText(preset)).isEmpty());
    fakes.dialogs.fileNames = {file};
    m.menuLoadPresetClick();
    EXPECT_EQ(m.menuUndo->text(), QStringLiteral("Undo Load Preset Clean"));
    const EffectSettings loaded = w.currentSettings();

    // The model of the controls, standing where the load left them, says
    // what moving them back sends.
    EffectControls model = EffectControls::initial();
    model.show(before.values);
    std::array<std::uint32_t, param::Count> values = preset;
    model.apply(values, w.EffectParameters, false);
    values = before.values;
    const EffectControls::Applied back = model.apply(values, w.EffectParameters, false);
    std::vector<QByteArray> expected;
    for (const EffectControls::Write &wr : back.writes)
        expected.push_back(QByteArray::fromHex(wr.hex.toLatin1()));
    ASSERT_GT(expected.size(), 5u);

    ft().writes.clear();
    m.menuUndo->trigger();
    EXPECT_EQ(ft().writes, expected);
    EXPECT_EQ(w.currentSettings(), before);
    m.menuRedo->trigger();
    EXPECT_EQ(w.currentSettings(), loaded);
}

TEST_F(HistoryTest, ASwitchThatShowedOffForAValueOfNeitherStateGoesBackOff)
{
    // The pedal's Wave and Attack hold neither of their two values: the
    // switches show off. A preset turns them on; undo turns them off again.
    TformMain &m = linked();
    TformFXsettings &w = fx();
    const EffectSettings before = w.currentSettings();
    w.swtWave->setEnabled(true);
    w.swtWave->setOn(true);
    w.swtAttack->setOn(true);
    ft().writes.clear();
    m.menuUndo->trigger();
    m.menuUndo->trigger();
    EXPECT_EQ(w.currentSettings(), before);
    EXPECT_FALSE(w.swtWave->isOn());
    EXPECT_FALSE(w.swtAttack->isOn());
    EXPECT_EQ(ft().writes.front(), write(param::Attack, param::kAttackFast));
    EXPECT_EQ(ft().writes.back(), write(param::Wave, param::kWaveOff));
}

TEST_F(HistoryTest, ARequestThatFindsOtherValuesStartsAFreshHistory)
{
    TformMain &m = linked();
    TformFXsettings &w = fx();
    drag(w.dialDry, {0});
    // The pedal reports what the editor holds: the history stays.
    const std::uint32_t dry = w.EffectParameters.value(param::Dry);
    for (int b = 0; b < 4; ++b)
        answer[std::size_t(26 + b)] = int((dry >> (24 - 8 * b)) & 0xFF);
    m.btnRequestClick();
    EXPECT_TRUE(m.menuUndo->isEnabled());
    EXPECT_EQ(m.menuUndo->text(), QStringLiteral("Undo Dry"));

    // Its own knob moved on the pedal: the history starts again.
    answer[27] = 0x10;
    m.btnRequestClick();
    EXPECT_FALSE(m.menuUndo->isEnabled());
    EXPECT_EQ(m.menuUndo->text(), QStringLiteral("Undo"));
}

TEST_F(HistoryTest, CompareSendsTheReferenceReadOnlyAndGivesTheEditBack)
{
    TformMain &m = linked();
    TformFXsettings &w = fx();
    EXPECT_TRUE(m.menuCompare->isEnabled());
    const EffectSettings reference = w.currentSettings();
    drag(w.dialDry, {10});
    drag(w.dialSubMix, {-20});
    const EffectSettings edit = w.currentSettings();

    ft().writes.clear();
    m.menuCompare->trigger();
    EXPECT_TRUE(m.menuCompare->isChecked());
    EXPECT_TRUE(w.comparing());
    EXPECT_EQ(ft().writes, (std::vector<QByteArray>{write(param::Dry, reference.values[param::Dry]),
                                                    write(param::SubMix, reference.values[param::SubMix])}));
    EXPECT_EQ(w.currentSettings().angles, reference.angles);
    EXPECT_FALSE(w.dialDry->isEnabled());
    EXPECT_TRUE(comparingMarker()->isVisible() || !w.isVisible());
    EXPECT_FALSE(comparingMarker()->isHidden());
    EXPECT_FALSE(m.menuUndo->isEnabled());
    EXPECT_EQ(m.menuUndo->text(), QStringLiteral("Undo Sub Mix"));

    // Ctrl+B in the effect window ends it: the edit goes back.
    ft().writes.clear();
    QTest::keyClick(&w, Qt::Key_B, Qt::ControlModifier);
    EXPECT_FALSE(m.menuCompare->isChecked());
    EXPECT_EQ(ft().writes, (std::vector<QByteArray>{write(param::Dry, edit.values[param::Dry]),
                                                    write(param::SubMix, edit.values[param::SubMix])}));
    EXPECT_EQ(w.currentSettings(), edit);
    EXPECT_TRUE(w.dialDry->isEnabled());
    EXPECT_TRUE(comparingMarker()->isHidden());
    // The history did not move.
    EXPECT_EQ(m.menuUndo->text(), QStringLiteral("Undo Sub Mix"));
    m.menuUndo->trigger();
    m.menuUndo->trigger();
    EXPECT_EQ(w.currentSettings().angles, reference.angles);
}

TEST_F(HistoryTest, WithoutTheLinkTheEditMenuRestsAndCompareEnds)
{
    TformMain &m = linked();
    TformFXsettings &w = fx();
    drag(w.dialDry, {10});
    m.menuCompare->trigger();
    ASSERT_TRUE(w.comparing());
    ft().writes.clear();
    m.menuDisconnectClick();
    EXPECT_FALSE(w.comparing());
    EXPECT_FALSE(m.menuCompare->isChecked());
    for (QAction *a : {m.menuUndo, m.menuRedo, m.menuCompare})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    QTest::keyClick(&m, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(ft().writes.empty());
    EXPECT_TRUE(comparingMarker()->isHidden());
}
