#include "EffectMessages.h"

#include "PedalContract.h"

#include "Parameters.h"

namespace EffectMessages {

QString hex(std::uint32_t value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper().right(digits);
}

QString parameterWrite(std::uint16_t address, std::uint32_t value)
{
    return hex(pedal::cmd::WriteDsp, 2) + hex(address, 4) + hex(value, 8);
}

QString bypass(bool on)
{
    return hex(pedal::cmd::Bypass, 2) + (on ? QStringLiteral("01") : QStringLiteral("00"));
}

QString assign(const Assignment &a, const EffectParameterSet &parameters)
{
    QString text = hex(pedal::cmd::Assign, 2);
    for (int c : a.controls)
        text += c >= 0 ? QStringLiteral("01") : QStringLiteral("00");
    text += a.remote != 0 ? QStringLiteral("01") : QStringLiteral("00");
    for (int c : a.controls)
        text += c >= 0 ? hex(parameters.address(c), 4) : QStringLiteral("FFFF");
    static const char *const remoteCodes[] = {"FFFF", "FFFE", "FFFD"};
    text += QLatin1String(remoteCodes[a.remote >= 0 && a.remote <= 2 ? a.remote : 0]);
    return text;
}

QString footswitch(bool shortPressChangesPreset, bool longPressBypasses)
{
    return hex(pedal::cmd::Footswitch, 2) + (shortPressChangesPreset ? QStringLiteral("01") : QStringLiteral("00"))
        + (longPressBypasses ? QStringLiteral("01") : QStringLiteral("00"));
}

QString storeSettings(const EffectParameterSet &parameters)
{
    QString text = hex(pedal::cmd::StoreSettings, 2);
    for (int i = param::kFirstAssignable; i < param::Count; ++i)
        text += hex(parameters.value(i), 8);
    return text;
}

QString tuning(std::uint8_t tuning, std::uint8_t semitones)
{
    return hex(pedal::cmd::Tuning, 2) + hex(tuning, 2) + hex(semitones, 2);
}

} // namespace EffectMessages
