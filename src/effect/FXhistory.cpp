// The effect window's history: every change the player makes is a step that
// undoes and redoes, and Compare plays the reference (the settings last read
// from the pedal or loaded from a preset) against the edit.
#include "FXsettings.h"

#include "AppState.h"
#include "Context.h"
#include "KnobControl.h"
#include "SwitchControl.h"

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QScopedValueRollback>

EffectSettings TformFXsettings::currentSettings() const
{
    using namespace param;
    EffectSettings s;
    for (int i = 0; i < Count; ++i)
        s.values[static_cast<std::size_t>(i)] = EffectParameters.value(i);
    // The switches send without keeping their value: what they show counts.
    auto follow = [&s](int p, bool on, std::uint32_t onValue, std::uint32_t offValue) {
        std::uint32_t &v = s.values[static_cast<std::size_t>(p)];
        if ((v == onValue) != on)
            v = on ? onValue : offValue;
    };
    follow(Wave, swtWave->isOn(), kWaveOn, kWaveOff);
    follow(Split, swtSplit->isOn(), 1, 0);
    follow(LimitRangeUp, swtLimitRange->isOn(), 1, 0);
    follow(NoiseGateStatus, swtNoiseGateStatus->isOn(), 1, 0);
    follow(Attack, swtAttack->isOn(), kAttackSlow, kAttackFast);
    for (const Knob &k : m_knobs)
        s.angles[static_cast<std::size_t>(k.parameter)] = k.control->angle();
    s.bypass = swtBypass->isOn();
    s.tuning = cmbGuitarTuning->currentIndex();
    s.semitones = cmbSemitonesVariation->currentIndex();
    for (std::size_t c = 0; c < m_assignBoxes.size(); ++c)
        s.assigned[c] = m_assignBoxes[c]->currentIndex();
    s.shortPressPreset = chkChangePresetShortPress->isChecked();
    s.longPressBypass = chkBypassLongPress->isChecked();
    return s;
}

void TformFXsettings::recordChange(const QString &name, int mergeKey)
{
    if (m_applying || m_comparing || m_ctx.state.RequestInProgress)
        return;
    const EffectSettings now = currentSettings();
    if (now == m_recorded)
        return;
    m_history.record(name, m_recorded, now, mergeKey, m_ctx.clock().nowMs());
    m_recorded = now;
    emit edited();
}

void TformFXsettings::showSettings(const EffectSettings &settings)
{
    // A knob message still waiting goes first, so that what is sent now
    // has the last word.
    writeWaitingKnobs();
    const QScopedValueRollback applying(m_applying, true);
    // The lists first: a note cut shown below needs its tuning.
    cmbGuitarTuning->setCurrentIndex(settings.tuning);
    cmbSemitonesVariation->setCurrentIndex(settings.semitones);
    for (std::size_t c = 0; c < m_assignBoxes.size(); ++c)
        m_assignBoxes[c]->setCurrentIndex(settings.assigned[c]);
    (settings.shortPressPreset ? chkChangePresetShortPress : chkBypassShortPress)->setChecked(true);
    (settings.longPressBypass ? chkBypassLongPress : chkChangePresetLongPress)->setChecked(true);
    for (int i = 0; i < param::Count; ++i)
        EffectParameters.setValue(i, settings.values[static_cast<std::size_t>(i)]);
    applyToControls(true, &settings.angles);
    // A switch shows "off" for a value that is neither of its two; moved
    // back to such a value it goes off, as it showed then.
    using namespace param;
    auto is = [&settings](int p, std::uint32_t v) { return settings.values[static_cast<std::size_t>(p)] == v; };
    swtWave->setOn(is(Wave, kWaveOn));
    swtSplit->setOn(is(Split, 1));
    swtAttack->setOn(is(Attack, kAttackSlow));
    swtBypass->setOn(settings.bypass);
}

bool TformFXsettings::undo()
{
    return !m_comparing && showStep(m_history.undo());
}

bool TformFXsettings::redo()
{
    return !m_comparing && showStep(m_history.redo());
}

bool TformFXsettings::showStep(const std::optional<EffectSettings> &settings)
{
    if (!settings)
        return false;
    showSettings(*settings);
    m_recorded = currentSettings();
    emit edited();
    return true;
}

void TformFXsettings::setComparing(bool on)
{
    if (on == m_comparing)
        return;
    if (on) {
        m_beforeCompare = currentSettings();
        EffectSettings reference = m_beforeCompare;
        reference.values = m_history.reference().values;
        reference.angles = m_history.reference().angles;
        showSettings(reference);
    } else {
        showSettings(m_beforeCompare);
    }
    m_comparing = on;
    m_history.closeStep();
    EnableEffectControls(!on && m_ctx.state.Linked());
    lblComparing->setVisible(on);
    lblComparing->setEnabled(true);
    emit comparingChanged(on);
}

void TformFXsettings::dropComparing()
{
    if (!m_comparing)
        return;
    m_comparing = false;
    lblComparing->hide();
    emit comparingChanged(false);
}

void TformFXsettings::presetApplied(const QString &name)
{
    m_history.closeStep();
    recordChange(QStringLiteral("Load Preset ") + name);
    m_history.closeStep();
    m_history.setReference(currentSettings());
}

void TformFXsettings::defaultsApplied()
{
    m_history.closeStep();
    recordChange(QStringLiteral("Assignable Defaults"));
    m_history.closeStep();
}

void TformFXsettings::pedalShown()
{
    // The pedal's own controls may have moved: a history of other values
    // no longer leads anywhere.
    // (A knob shows a value read back a hair from where it was turned: the
    // values decide, not the angles.)
    const EffectSettings now = currentSettings();
    EffectSettings held = m_recorded;
    held.angles = now.angles;
    if (now != held)
        m_history.clear();
    m_recorded = now;
    m_history.setReference(now);
}
