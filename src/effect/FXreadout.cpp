// The effect settings window's side of the REQUEST: what the pedal said,
// shown in the parameters and the controls.
#include "FXsettings.h"

#include "ConsoleModel.h"
#include "Context.h"
#include "PedalSnapshot.h"
#include "SwitchControl.h"

#include <QComboBox>
#include <QRadioButton>

void TformFXsettings::ShowFootswitchMode(const PedalSnapshot &snapshot)
{
    FootswitchMode = snapshot.footswitchMode;
    m_ctx.console.ConsolePrint(QStringLiteral("Footswitch Mode: ") + QString::number(FootswitchMode));
    switch (FootswitchMode) {
    case 0:
        chkBypassShortPress->setChecked(true);
        chkChangePresetLongPress->setChecked(true);
        break;
    case 1:
        chkBypassShortPress->setChecked(true);
        chkBypassLongPress->setChecked(true);
        break;
    case 2:
        chkChangePresetShortPress->setChecked(true);
        chkChangePresetLongPress->setChecked(true);
        break;
    case 3:
        chkChangePresetShortPress->setChecked(true);
        chkBypassLongPress->setChecked(true);
        break;
    default:
        break;
    }
}

void TformFXsettings::ReadAssignments(const PedalSnapshot &snapshot)
{
    using namespace param;
    std::array<int, 5> codes{};
    for (int c = 0; c < 5; ++c) {
        const auto k = static_cast<std::size_t>(c);
        if (!snapshot.assigned[k]) {
            m_assignBoxes[k]->setCurrentIndex(0);
            codes[k] = -1;
        } else {
            codes[k] = snapshot.assignedCodes[k];
        }
    }
    for (int i = kFirstAssignable; i < Count; ++i)
        EffectParameters.assignable(i).is_assigned = false;
    for (int c = 0; c < 4; ++c) {
        const int code = codes[static_cast<std::size_t>(c)];
        if (code < 0)
            continue;
        const auto &list = c < 2 ? kContinuousAssignable : kOnOffAssignable;
        for (int item = 0; item < 5; ++item) {
            if (EffectParameters.address(list[item]) == code) {
                m_assignBoxes[static_cast<std::size_t>(c)]->setCurrentIndex(item + 1);
                EffectParameters.assignable(list[item]).is_assigned = true;
            }
        }
    }
    if (codes[4] == 0xFFFE)
        cmbAssignRemote->setCurrentIndex(1);
    else if (codes[4] == 0xFFFD)
        cmbAssignRemote->setCurrentIndex(2);
}

void TformFXsettings::getBypassStatus(const PedalSnapshot &snapshot)
{
    const std::uint8_t b = snapshot.bypass;
    if (b == 1)
        swtBypass->setOn(true);
    else if (b == 0)
        swtBypass->setOn(false);
}

int TformFXsettings::ReadParameterValues(const PedalSnapshot &snapshot)
{
    static const char *const labels[param::Count] = {
        "Dry: \t", "Sub Mix: ", "Sub -1: \t", "Sub -2: \t", "Wave: \t", "LPF: \t", "HPF: \t", "1st Harmonic: \t",
        "Split: \t", "Range: \t", "Input Lvl: \t", "Harmonic pitch: \t", "Clip: \t", "Dominant notes cut: \t",
        "High notes cut: \t", "Dry HPF: \t", "Limit Range UP: \t", nullptr, nullptr, nullptr,
    };
    for (int i = 0; i < param::Count; ++i) {
        const std::uint32_t value = snapshot.values[static_cast<std::size_t>(i)];
        EffectParameters.setValue(i, value);
        const QString label = labels[i] ? QString::fromLatin1(labels[i])
                                        : EffectParameters.name(i) + QStringLiteral(": \t");
        m_ctx.console.ConsolePrint(label + EffectMessages::hex(value, 8));
    }
    ApplyParametersToControls(false);
    pedalShown();
    return param::Count;
}

void TformFXsettings::ReadTuning(const PedalSnapshot &snapshot)
{
    CurrentTuning = snapshot.tuning;
    SemitonesVariation = snapshot.semitoneCode;
    m_ctx.console.ConsolePrint(QStringLiteral("Current Tuning: ") + QString::number(CurrentTuning));
    m_ctx.console.ConsolePrint(QStringLiteral("Semitones variation: ") + EffectMessages::hex(SemitonesVariation, 2));
    if (CurrentTuning < cmbGuitarTuning->count()) {
        cmbGuitarTuning->setCurrentIndex(CurrentTuning);
    } else {
        // No such tuning in the list: the list stays, and so does the tuning
        // the editor will send.
        m_ctx.console.ConsolePrint(QStringLiteral("Unknown tuning %1 from the pedal; the tuning list keeps \"%2\"")
                                       .arg(CurrentTuning)
                                       .arg(cmbGuitarTuning->currentText()));
        CurrentTuning = static_cast<std::uint8_t>(cmbGuitarTuning->currentIndex());
    }
    int item = 0; // every byte not in the table shows as "-5"
    switch (SemitonesVariation) {
    case 252: item = 1; break;
    case 253: item = 2; break;
    case 254: item = 3; break;
    case 255: item = 4; break;
    case 0: item = 5; break;
    case 1: item = 6; break;
    case 2: item = 7; break;
    case 3: item = 8; break;
    default: item = 0; break;
    }
    cmbSemitonesVariation->setCurrentIndex(item);
}
