// A settings backup as restore reads it: every field is checked before
// anything is sent, and what the check lets through makes the messages and
// comes back the same from the file a backup writes.
#include "PedalSettings.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QString why;
    const std::optional<PedalSettings> settings = PedalSettings::fromJson(json, &why);
    if (!settings) {
        if (why.isEmpty())
            __builtin_trap(); // a refusal always says why
        return 0;
    }
    EffectParameterSet addresses;
    for (int i = 0; i < param::Count; ++i)
        addresses.setAddress(i, static_cast<std::uint16_t>(0x20 + 2 * i));
    (void)settings->messages(addresses);
    const std::optional<PedalSettings> again = PedalSettings::fromJson(settings->toJson(), &why);
    if (!again || !again->differences(*settings).isEmpty())
        __builtin_trap();
    return 0;
}
