#include "PedalMessage.h"

#include "EffectMessages.h"
#include "FunctionsUnit.h"
#include "PedalContract.h"

namespace {

QString code(std::uint8_t command)
{
    return EffectMessages::hex(command, 2);
}

} // namespace

PedalMessage::Rule PedalMessage::ruleOf(Kind kind)
{
    switch (kind) {
    case Kind::Plain:
        break;
    case Kind::Settled:
        return {true, 100};
    case Kind::Paced:
        return {false, 100};
    }
    return {};
}

PedalMessage PedalMessage::fromHex(const QString &hex, int count, Kind kind)
{
    PedalMessage m;
    m.kind = kind;
    m.bytes = QByteArray(std::max(count, 0), '\0');
    for (int i = 0; i < count && 2 * i + 1 < hex.size(); ++i) {
        const int high = hexDigitValue(hex[2 * i]);
        const int low = hexDigitValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            break;
        m.bytes[i] = static_cast<char>(high * 16 + low);
    }
    return m;
}

namespace PedalMessages {

PedalMessage parameterWrite(std::uint16_t address, std::uint32_t value)
{
    return PedalMessage::fromHex(EffectMessages::parameterWrite(address, value), pedal::kWriteDspLength);
}

PedalMessage request()
{
    return PedalMessage::fromHex(code(pedal::cmd::Request) + QStringLiteral("00"), pedal::kRequestLength);
}

PedalMessage bypass(bool on)
{
    return PedalMessage::fromHex(EffectMessages::bypass(on), 2);
}

PedalMessage enterBootloader()
{
    return PedalMessage::fromHex(code(pedal::cmd::EnterBootloader) + QStringLiteral("00010203040506"),
                                 pedal::kEnterBootloaderLength);
}

PedalMessage tuningData(const QString &tablesHex)
{
    const QString text = code(pedal::cmd::TuningData) + tablesHex;
    return PedalMessage::fromHex(text, static_cast<int>(text.size() / 2), PedalMessage::Kind::Settled);
}

PedalMessage tuning(std::uint8_t tuning, std::uint8_t semitones)
{
    return PedalMessage::fromHex(EffectMessages::tuning(tuning, semitones), 3, PedalMessage::Kind::Settled);
}

PedalMessage noteFilters(const QString &noteByte1, const QString &noteByte2)
{
    return PedalMessage::fromHex(code(pedal::cmd::Tuning) + noteByte1 + noteByte2, 3, PedalMessage::Kind::Settled);
}

PedalMessage assign(const QString &assignHex)
{
    return PedalMessage::fromHex(assignHex, 16, PedalMessage::Kind::Paced);
}

PedalMessage footswitch(const QString &footswitchHex)
{
    return PedalMessage::fromHex(footswitchHex, 3);
}

PedalMessage storeSettings(const QString &settingsHex)
{
    return PedalMessage::fromHex(settingsHex, static_cast<int>(settingsHex.size() / 2), PedalMessage::Kind::Settled);
}

PedalMessage option(const QString &optionHex)
{
    return PedalMessage::fromHex(optionHex, static_cast<int>(optionHex.size() / 2));
}

PedalMessage eraseEeprom(const QString &i2cAddress)
{
    return PedalMessage::fromHex(code(pedal::cmd::EraseEeprom) + i2cAddress + QStringLiteral("00") + QStringLiteral("0000"),
                                 5, PedalMessage::Kind::Settled);
}

PedalMessage readEeprom(const QString &i2cAddress)
{
    return PedalMessage::fromHex(code(pedal::cmd::ReadEeprom) + i2cAddress + QStringLiteral("0000") + QStringLiteral("0000"),
                                 6);
}

} // namespace PedalMessages
