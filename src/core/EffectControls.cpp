#include "EffectControls.h"

#include "EffectMessages.h"
#include "KnobMath.h"

#include <algorithm>
#include <functional>

namespace {

using namespace param;

constexpr std::array<int, 12> kKnobs = {Dry, SubMix, Minus1Oct, Minus2Oct, LowPass, HighPass, FirstHarmonic, Range,
                                        InputLevel, WaveClip, DryHPF, NoiseGateThreshold};

} // namespace

EffectControls EffectControls::initial()
{
    EffectControls c;
    for (int p : kKnobs)
        c.angle[static_cast<std::size_t>(p)] = -135;
    c.angle[LowPass] = -138;
    c.angle[HighPass] = -128;
    c.angle[Range] = -126;
    c.angle[DryHPF] = -126;
    return c;
}

bool EffectControls::isKnob(int parameter)
{
    return std::find(kKnobs.begin(), kKnobs.end(), parameter) != kKnobs.end();
}

std::uint32_t EffectControls::knobScale(int parameter)
{
    switch (parameter) {
    case LowPass:
        return kLowPassScale;
    case HighPass:
        return kHighPassScale;
    case Range:
        return kRangeScale;
    default:
        return kKnobScale;
    }
}

void EffectControls::show(const std::array<std::uint32_t, param::Count> &values)
{
    const std::array<std::uint32_t, param::Count> &shown = values;
    // The readout sends nothing of its own but Wave and Split (the window
    // sends those even then); a tool without windows leaves them out.
    auto v = [&](int p) { return shown[static_cast<std::size_t>(p)]; };
    for (int p : kKnobs)
        angle[static_cast<std::size_t>(p)] = ValueToDialAngle(v(p), knobScale(p));
    if (v(Wave) == kWaveOn)
        wave = true;
    else if (v(Wave) == kWaveOff)
        wave = false;
    if (v(Split) == 1)
        split = true;
    else if (v(Split) == 0)
        split = false;
    for (int i = 0; i < int(HarmonicPitchTable.size()); ++i) {
        if (HarmonicPitchTable[static_cast<std::size_t>(i)] == v(HarmonicPitch))
            pitchIndex = i;
    }
    dominantCut = v(DominantNotesCut) == 1;
    highCut = v(HighNotesCut) == 1;
    limitRange = v(LimitRangeUp) == 1;
    noiseGate = v(NoiseGateStatus) == 1;
    if (v(Attack) == kAttackFast)
        attackSlow = false;
    else if (v(Attack) == kAttackSlow)
        attackSlow = true;
}

EffectControls::Applied EffectControls::apply(std::array<std::uint32_t, param::Count> &values,
                                              const EffectParameterSet &addresses, bool tuningSelected)
{
    Applied out;
    auto value = [&](int p) -> std::uint32_t & { return values[static_cast<std::size_t>(p)]; };
    auto write = [&](int p, const QString &kind, std::uint32_t v) {
        const QString hex = EffectMessages::parameterWrite(addresses.address(p), v);
        out.writes.push_back({p, QStringLiteral("Send ") + addresses.name(p) + kind + hex, hex});
    };
    const QString standard = QStringLiteral(" string (standard par): ");
    const QString assignable = QStringLiteral(" string (assignable par): ");
    auto knob = [&](int p) {
        int &a = angle[static_cast<std::size_t>(p)];
        const int shown = ValueToDialAngle(value(p), knobScale(p));
        if (shown == a)
            return;
        a = SnapDialAngle(shown);
        value(p) = DialAngleToValue(a);
        write(p, standard, value(p));
    };
    auto onOff = [&](bool &control, bool on, const std::function<void(bool)> &changed) {
        if (control == on)
            return;
        control = on;
        changed(on);
    };
    auto noteCut = [&](bool &box, int p) {
        const bool wanted = value(p) == 1;
        if (box == wanted)
            return;
        box = wanted;
        if (!tuningSelected && box) {
            out.noteCutRefused = true;
            box = false;
        }
        value(p) = box ? 1 : 0;
        const QString hex = QStringLiteral("01") + EffectMessages::hex(addresses.address(p), 4) + EffectMessages::hex(value(p), 8);
        out.writes.push_back({p, QStringLiteral("write to DSP msg: ") + hex, hex});
    };

    knob(Dry);
    knob(SubMix);
    knob(Minus1Oct);
    knob(Minus2Oct);
    if (value(Wave) == kWaveOn || value(Wave) == kWaveOff)
        onOff(wave, value(Wave) == kWaveOn, [&](bool on) { write(Wave, standard, on ? kWaveOn : kWaveOff); });
    knob(LowPass);
    knob(HighPass);
    knob(FirstHarmonic);
    if (value(Split) == 1 || value(Split) == 0)
        onOff(split, value(Split) == 1, [&](bool on) { write(Split, standard, on ? 1 : 0); });
    knob(Range);
    knob(InputLevel);
    knob(WaveClip);
    for (int i = 0; i < int(HarmonicPitchTable.size()); ++i) {
        if (HarmonicPitchTable[static_cast<std::size_t>(i)] != value(HarmonicPitch) || i == pitchIndex)
            continue;
        pitchIndex = i;
        const QString hex = EffectMessages::parameterWrite(addresses.address(HarmonicPitch), value(HarmonicPitch));
        out.writes.push_back({HarmonicPitch, QStringLiteral("Send Harmonic Pitch string: ") + hex, hex});
    }
    noteCut(dominantCut, DominantNotesCut);
    noteCut(highCut, HighNotesCut);
    knob(DryHPF);
    onOff(limitRange, value(LimitRangeUp) == 1, [&](bool on) { write(LimitRangeUp, assignable, on ? 1 : 0); });
    onOff(noiseGate, value(NoiseGateStatus) == 1, [&](bool on) { write(NoiseGateStatus, assignable, on ? 1 : 0); });
    knob(NoiseGateThreshold);
    if (value(Attack) == kAttackFast || value(Attack) == kAttackSlow)
        onOff(attackSlow, value(Attack) == kAttackSlow, [&](bool on) {
            for (int i = 0; i < 3; ++i)
                write(Attack, assignable, on ? kAttackSlow : kAttackFast);
        });
    return out;
}
