#pragma once

#include "Parameters.h"
#include "PedalSnapshot.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// What the pedal keeps in its settings memory: the ten assignable values,
// what Controls I to IV and the remote footswitch carry, the footswitch
// behaviour, the tuning and the options. Kept as a JSON file by the bench
// tool's backup and sent back by its restore with the editor's own messages.
struct PedalSettings {
    std::array<std::uint32_t, param::Count - param::kFirstAssignable> assignable{};
    std::array<int, 4> controls{-1, -1, -1, -1}; // pedal index, or -1 for Not Assigned
    int remote = 0;                              // 0 none, 1 Bypass, 2 Preset
    int footswitchMode = 0;                      // 0..3: short press x2 + long press
    std::uint8_t tuning = 0;
    int semitones = 0;                           // -4..+3
    bool storeBypass = false;
    int instrumentRange = 255;                   // 255 standard, 186 low
    int midiChannel = 0;                         // 0 omni, 1..16
    bool firstPresetAtPowerOn = false;

    // From the pedal's answer; the addresses name what the controls carry.
    static PedalSettings fromSnapshot(const PedalSnapshot &snapshot, const EffectParameterSet &addresses);

    QByteArray toJson() const;
    // Every field is checked; a bad file gives its reason and no settings.
    static std::optional<PedalSettings> fromJson(const QByteArray &json, QString *error);

    struct Message {
        QString what; // for the narration
        QString hex;
    };
    // The messages that store these settings, in the order they are sent.
    std::vector<Message> messages(const EffectParameterSet &addresses) const;

    // The fields that differ (for a check after a restore), by name.
    QStringList differences(const PedalSettings &other) const;
};
