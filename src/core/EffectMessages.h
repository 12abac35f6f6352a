#pragma once

#include <QString>

#include <array>
#include <cstdint>

class EffectParameterSet;

// The effect's messages to the pedal, as hex text.
namespace EffectMessages {

QString hex(std::uint32_t value, int digits);

// 01 AAAA VVVVVVVV
QString parameterWrite(std::uint16_t address, std::uint32_t value);
// 0D 01 / 0D 00
QString bypass(bool on);

// What the five assign lists show: for Controls I to IV the chosen
// parameter (pedal index) or -1 for "Not Assigned"; for the remote
// footswitch 0 not assigned, 1 Bypass, 2 Preset.
struct Assignment {
    std::array<int, 4> controls{-1, -1, -1, -1};
    int remote = 0;
};
QString assign(const Assignment &a, const EffectParameterSet &parameters);

// 08 SS LL: short press 00 Bypass / 01 Change Preset; long press 00 Change
// Preset / 01 Bypass.
QString footswitch(bool shortPressChangesPreset, bool longPressBypasses);

// 03 + the ten assignable values.
QString storeSettings(const EffectParameterSet &parameters);

// 09 TT SS
QString tuning(std::uint8_t tuning, std::uint8_t semitones);

} // namespace EffectMessages
