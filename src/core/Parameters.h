#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <memory>

// A parameter that also has a knob or switch of its own on the pedal.
class standard_parameter {
public:
    standard_parameter(const QString &name, std::uint16_t address, std::uint8_t numberOfAddresses);

    bool is_assigned = false;          // not used
    std::uint8_t num_of_addresses = 1; // not used
    QString parameter_name;
    std::uint8_t parameter_type = 0;   // not used
    bool control_type = false;         // not used
    std::uint32_t value = 0;
    std::uint16_t address = 0;
};

// A parameter set only from the editor; it can be put on one of the pedal's
// spare controls and is stored in the pedal by Save Parameters.
class assignable_parameter {
public:
    assignable_parameter(const QString &name, std::uint16_t address, bool assigned);

    std::uint16_t address = 0xFFFF;
    bool is_assigned = false;
    QString parameter_name;
    bool control_type = false; // not used
    std::uint32_t value = 0;
};

// Pedal order: the order of the twenty values in the pedal's answer, in
// preset files and (for 10 to 19) in the store settings message.
namespace param {
enum Index {
    Dry, SubMix, Minus1Oct, Minus2Oct, Wave, LowPass, HighPass, FirstHarmonic, Split, Range,
    InputLevel, HarmonicPitch, WaveClip, DominantNotesCut, HighNotesCut, DryHPF, LimitRangeUp,
    NoiseGateStatus, NoiseGateThreshold, Attack,
    Count
};
constexpr int kFirstAssignable = InputLevel;

// 1-based character position of each parameter's address in the first line
// of an algorithm image; 0 for Range, which has none (always address 0).
constexpr std::array<int, Count> kAddressField = {7, 11, 15, 19, 23, 27, 31, 35, 39, 0,
                                                  55, 59, 63, 67, 71, 75, 79, 83, 87, 91};
// Fields that are read and not used.
constexpr std::array<int, 3> kUnusedFields = {43, 47, 51};

// How a knob shows a value: the value that fills its travel.
constexpr std::uint32_t kKnobScale = 0x800000;
constexpr std::uint32_t kLowPassScale = 24;
constexpr std::uint32_t kHighPassScale = 16;
constexpr std::uint32_t kRangeScale = 22;

constexpr std::uint32_t kWaveOn = 0x400000, kWaveOff = 0x600000;
constexpr std::uint32_t kAttackSlow = 0x800, kAttackFast = 0x8000;

// 1st Harmonic Pitch: -12 to +12 semitones, linear steps.
constexpr std::array<std::uint32_t, 25> HarmonicPitchTable = {
    0x200000, 0x22AAA8, 0x255558, 0x280000, 0x2AAAA8, 0x2D5558, 0x300000, 0x32AAA8, 0x355558,
    0x380000, 0x3AAAA8, 0x3D5558, 0x400000, 0x455558, 0x4AAAA8, 0x500000, 0x555558, 0x5AAAA8,
    0x600000, 0x655558, 0x6AAAA8, 0x700000, 0x755558, 0x7AAAA8, 0x800000,
};
constexpr int kPitchZero = 12;

// What Controls I and II (continuous) and III and IV (on/off) can take, in
// the order of their lists.
constexpr std::array<int, 5> kContinuousAssignable = {InputLevel, HarmonicPitch, WaveClip, DryHPF, NoiseGateThreshold};
constexpr std::array<int, 5> kOnOffAssignable = {DominantNotesCut, HighNotesCut, LimitRangeUp, NoiseGateStatus, Attack};

// Defaults of the assignable parameters, in pedal order (10 to 19).
constexpr std::array<std::uint32_t, 10> kAssignableDefaults = {0x800000, 0x400000, 0, 0, 0, 0, 0, 0, 0, 0x8000};
} // namespace param

// The twenty parameter objects, created in their fixed creation order, and
// reachable in pedal order.
class EffectParameterSet {
public:
    EffectParameterSet();

    // Name, address and value of parameter i in pedal order.
    const QString &name(int i) const;
    std::uint16_t address(int i) const;
    std::uint32_t value(int i) const;
    void setValue(int i, std::uint32_t value);
    void setAddress(int i, std::uint16_t address);
    bool isAssignable(int i) const { return i >= param::kFirstAssignable; }

    standard_parameter &standard(int i) { return *m_standard[static_cast<std::size_t>(i)]; }
    assignable_parameter &assignable(int i)
    {
        return *m_assignable[static_cast<std::size_t>(i - param::kFirstAssignable)];
    }
    const assignable_parameter &assignable(int i) const
    {
        return *m_assignable[static_cast<std::size_t>(i - param::kFirstAssignable)];
    }

    // The parameter names in the order they were created.
    const std::array<QString, param::Count> &creationOrder() const { return m_created; }

private:
    std::array<std::unique_ptr<standard_parameter>, 10> m_standard;
    std::array<std::unique_ptr<assignable_parameter>, 10> m_assignable;
    std::array<QString, param::Count> m_created;
};

// The parameter addresses an algorithm image's first line gives, in pedal
// order (Range has none and keeps address 0). Every field is read first: a
// bad or missing field gives its error text and no addresses.
struct AddressReading {
    std::array<std::uint16_t, param::Count> addresses{};
    QString error; // empty when every field held four hex digits
};
AddressReading readParameterAddresses(const QString &firstLine, const EffectParameterSet &names);

// The pedal index of the parameter the editor names so ("Dry", "-1 Oct",
// "Noise Gate Threshold"), or -1.
int parameterIndexOf(const QString &name, const EffectParameterSet &names);
