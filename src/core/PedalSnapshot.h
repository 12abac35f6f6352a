#pragma once

#include "DeviceInfo.h"
#include "Parameters.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>

// What the pedal said in its answer to the REQUEST, decoded: a plain value
// that views render and tools print. Decoding is pure and never fails: a
// number the answer does not hold reads as 0.
struct PedalSnapshot {
    DeviceIdentity identity;
    std::uint8_t footswitchMode = 0; // 0..3: short press / long press combination
    std::uint8_t tuning = 0;
    std::uint8_t semitoneCode = 0;   // 252..255 for -4..-1, 0..3 for 0..+3
    // Control I to IV and the remote footswitch: whether something is
    // assigned, and the address (Controls) or code (remote: FFFE Bypass,
    // FFFD Preset) it holds.
    std::array<bool, 5> assigned{};
    std::array<std::uint16_t, 5> assignedCodes{};
    std::uint8_t bypass = 0;         // 1 on, 0 off
    std::uint8_t storeBypass = 0;    // 1 stored, 0 not
    std::uint8_t instrumentRange = 0; // 255 standard, 186 low
    std::uint8_t midiChannel = 0;    // 0 or 255 omni, else 1..16
    std::array<std::uint32_t, param::Count> values{}; // pedal order
    std::uint8_t firstPreset = 0;    // 1 on, 255 off

    static PedalSnapshot decode(const QByteArray &numbers);

    // Semitones as a signed offset (-4..+3); empty for a code outside the table.
    std::optional<int> semitones() const;
    // The parameter (pedal index) whose address Control c (0..3) holds among
    // the parameters it can take, else -1.
    int controlParameter(int c, const EffectParameterSet &addresses) const;
};
