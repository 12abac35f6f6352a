// The REQUEST's answer decoded into a snapshot, as the windows and the bench
// tool read it; a backup made from any snapshot must be one restore takes.
#include "Communication.h"
#include "PedalSettings.h"
#include "PedalSnapshot.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

void use(const PedalSnapshot &s, const EffectParameterSet &addresses)
{
    (void)s.semitones();
    for (int c = -1; c <= 4; ++c)
        (void)s.controlParameter(c, addresses);
    const PedalSettings kept = PedalSettings::fromSnapshot(s, addresses);
    QString why;
    const std::optional<PedalSettings> restored = PedalSettings::fromJson(kept.toJson(), &why);
    if (!restored || !restored->differences(kept).isEmpty())
        __builtin_trap();
    (void)restored->messages(addresses);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    // The parameters' addresses from the input's first bytes (the running
    // algorithm's image gives them), shared as the images share 0000.
    EffectParameterSet addresses;
    for (int i = 0; i < param::Count; ++i) {
        const int at = 2 * i;
        const auto high = at < bytes.size() ? static_cast<std::uint8_t>(bytes[at]) : 0;
        const auto low = at + 1 < bytes.size() ? static_cast<std::uint8_t>(bytes[at + 1]) : 0;
        addresses.setAddress(i, static_cast<std::uint16_t>(high << 8 | low));
    }
    use(PedalSnapshot::decode(bytes), addresses);
    // And as the answer arrives: decimal numbers, one a line.
    const ParsedAnswer parsed = ParseResponseNumbers(bytes);
    const QByteArray numbers(reinterpret_cast<const char *>(parsed.numbers.data()),
                             static_cast<qsizetype>(parsed.numbers.size()));
    use(PedalSnapshot::decode(numbers), addresses);
    return 0;
}
