#include "PedalSnapshot.h"

#include "PedalContract.h"

PedalSnapshot PedalSnapshot::decode(const QByteArray &numbers)
{
    auto at = [&numbers](int i) -> std::uint8_t {
        return i >= 0 && i < numbers.size() ? static_cast<std::uint8_t>(numbers[i]) : 0;
    };
    using namespace pedal::pos;
    PedalSnapshot s;
    s.identity = decodeIdentity(numbers);
    s.footswitchMode = at(FootswitchMode);
    s.tuning = at(Tuning);
    s.semitoneCode = at(SemitoneCode);
    for (int c = 0; c < 5; ++c) {
        s.assigned[static_cast<std::size_t>(c)] = at(AssignedFlags + c) != 0;
        s.assignedCodes[static_cast<std::size_t>(c)] =
            static_cast<std::uint16_t>(at(AssignedAddresses + 2 * c) * 256 + at(AssignedAddresses + 2 * c + 1));
    }
    s.bypass = at(BypassStatus);
    s.storeBypass = at(BypassStoring);
    s.instrumentRange = at(InstrumentRange);
    s.midiChannel = at(MidiChannel);
    for (int i = 0; i < param::Count; ++i) {
        const int p = ParameterValues + 4 * i;
        s.values[static_cast<std::size_t>(i)] = (std::uint32_t(at(p)) << 24) | (std::uint32_t(at(p + 1)) << 16)
            | (std::uint32_t(at(p + 2)) << 8) | std::uint32_t(at(p + 3));
    }
    s.firstPreset = at(FirstPreset);
    return s;
}

std::optional<int> PedalSnapshot::semitones() const
{
    if (semitoneCode >= 252)
        return int(semitoneCode) - 256;
    if (semitoneCode <= 3)
        return int(semitoneCode);
    return std::nullopt;
}

int PedalSnapshot::controlParameter(int c, const EffectParameterSet &addresses) const
{
    if (c < 0 || c > 3 || !assigned[static_cast<std::size_t>(c)])
        return -1;
    const auto &list = c < 2 ? param::kContinuousAssignable : param::kOnOffAssignable;
    for (int p : list) {
        if (addresses.address(p) == assignedCodes[static_cast<std::size_t>(c)])
            return p;
    }
    return -1;
}
