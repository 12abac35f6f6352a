#include "DeviceOptions.h"

#include "PedalContract.h"

#include <QStringList>

namespace DeviceOptions {

namespace {
QString code(std::uint8_t command)
{
    return QStringLiteral("%1").arg(command, 2, 16, QLatin1Char('0')).toUpper();
}
} // namespace

QString instrumentRangeText(int range)
{
    if (range == pedal::kInstrumentStandard)
        return code(pedal::cmd::InstrumentRange) + QStringLiteral("FF") + QStringLiteral("0102030405");
    if (range == pedal::kInstrumentLow)
        return code(pedal::cmd::InstrumentRange) + QStringLiteral("BA") + QStringLiteral("0203040506");
    return {};
}

QString storeBypassText(bool store)
{
    return code(pedal::cmd::StoreBypass) + (store ? QStringLiteral("01") : QStringLiteral("FF"));
}

QString option11Text(bool on)
{
    return code(pedal::cmd::Option) + (on ? QStringLiteral("01") : QStringLiteral("FF"));
}

QString midiChannelCode(const QString &caption)
{
    if (caption == QLatin1String("OMNI"))
        return QStringLiteral("00");
    bool ok = false;
    const int channel = caption.toInt(&ok, 10);
    if (!ok || channel < 1 || channel > 16)
        return {};
    return QStringLiteral("%1").arg(channel, 2, 16, QLatin1Char('0')).toUpper();
}

QString midiChannelText(const QString &channelCode)
{
    return code(pedal::cmd::MidiChannel) + channelCode;
}

QString eraseSettingsQuestion()
{
    return QStringList{
        QStringLiteral("Are you sure you want to delete all settings?"),
        QStringLiteral("This action will delete the Tharnvik MK3 algorithm and any other settings like presets and assignments"),
        QStringLiteral("Erase settings is suggested in the following cases:"),
        QStringLiteral("- the pedal is unresponsive/freezed after updates"),
        QStringLiteral("- you want to switch to the K-Tol J Zorbelin"),
        QStringLiteral("If you proceed with erasing you can always restore algorithm by:"),
        QStringLiteral("- uploading the Tharnvik MK3 algorithm once again from \"Upload Selected\" button"),
        QStringLiteral("- click Request"),
        QStringLiteral("- set tuning and assignments as desired"),
        QStringLiteral("- click Save Parameters, Set Tuning, Assign"),
    }.join(QStringLiteral("\r\n"));
}

} // namespace DeviceOptions
