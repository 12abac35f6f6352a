#include "PedalSettings.h"

#include "DeviceOptions.h"
#include "EffectMessages.h"
#include "FunctionsUnit.h"
#include "PedalContract.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

constexpr auto kFormat = "tharnvik-mk3-settings";
const char *const kControlNames[] = {"Control I", "Control II", "Control III", "Control IV"};

const std::array<int, 5> &choicesOf(int control)
{
    return control < 2 ? param::kContinuousAssignable : param::kOnOffAssignable;
}

std::uint8_t semitoneCode(int semitones)
{
    return static_cast<std::uint8_t>(semitones & 0xFF);
}

} // namespace

PedalSettings PedalSettings::fromSnapshot(const PedalSnapshot &s, const EffectParameterSet &addresses)
{
    PedalSettings p;
    for (int i = param::kFirstAssignable; i < param::Count; ++i)
        p.assignable[static_cast<std::size_t>(i - param::kFirstAssignable)] = s.values[static_cast<std::size_t>(i)];
    for (int c = 0; c < 4; ++c)
        p.controls[static_cast<std::size_t>(c)] = s.controlParameter(c, addresses);
    if (s.assigned[4])
        p.remote = s.assignedCodes[4] == 0xFFFE ? 1 : s.assignedCodes[4] == 0xFFFD ? 2 : 0;
    p.footswitchMode = s.footswitchMode <= 3 ? s.footswitchMode : 0;
    p.tuning = s.tuning;
    p.semitones = s.semitones().value_or(0);
    p.storeBypass = s.storeBypass == 1;
    p.instrumentRange = s.instrumentRange == pedal::kInstrumentLow ? pedal::kInstrumentLow : pedal::kInstrumentStandard;
    p.midiChannel = s.midiChannel >= 1 && s.midiChannel <= 16 ? s.midiChannel : 0;
    p.firstPresetAtPowerOn = s.firstPreset == pedal::kFirstPresetOn;
    return p;
}

QByteArray PedalSettings::toJson() const
{
    const EffectParameterSet names;
    QJsonObject values;
    for (int i = param::kFirstAssignable; i < param::Count; ++i)
        values.insert(names.name(i), static_cast<qint64>(assignable[static_cast<std::size_t>(i - param::kFirstAssignable)]));
    QJsonObject assignments;
    for (int c = 0; c < 4; ++c) {
        const int p = controls[static_cast<std::size_t>(c)];
        assignments.insert(QLatin1String(kControlNames[c]), p >= 0 ? QJsonValue(names.name(p)) : QJsonValue());
    }
    assignments.insert(QStringLiteral("Remote"), remote == 1   ? QJsonValue(QStringLiteral("Bypass"))
                                                 : remote == 2 ? QJsonValue(QStringLiteral("Preset"))
                                                               : QJsonValue());
    QJsonObject o;
    o.insert(QStringLiteral("format"), QLatin1String(kFormat));
    o.insert(QStringLiteral("version"), 1);
    o.insert(QStringLiteral("assignable"), values);
    o.insert(QStringLiteral("assignments"), assignments);
    o.insert(QStringLiteral("footswitch"), footswitchMode);
    o.insert(QStringLiteral("tuning"), tuning);
    o.insert(QStringLiteral("semitones"), semitones);
    o.insert(QStringLiteral("store_bypass"), storeBypass);
    o.insert(QStringLiteral("instrument_range"),
             instrumentRange == pedal::kInstrumentLow ? QStringLiteral("low") : QStringLiteral("standard"));
    o.insert(QStringLiteral("midi_channel"), midiChannel);
    o.insert(QStringLiteral("first_preset_at_power_on"), firstPresetAtPowerOn);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<PedalSettings> PedalSettings::fromJson(const QByteArray &json, QString *error)
{
    auto fail = [error](const QString &why) -> std::optional<PedalSettings> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON (%1 at byte %2)").arg(parse.errorString()).arg(parse.offset));
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("format")).toString() != QLatin1String(kFormat))
        return fail(QStringLiteral("not a settings backup of this tool (\"format\" is not \"%1\")").arg(QLatin1String(kFormat)));

    auto integer = [&o](const char *key, int low, int high, int *into) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isDouble() || v.toDouble() != static_cast<double>(v.toInteger()) || v.toInteger() < low || v.toInteger() > high)
            return false;
        *into = static_cast<int>(v.toInteger());
        return true;
    };
    auto boolean = [&o](const char *key, bool *into) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isBool())
            return false;
        *into = v.toBool();
        return true;
    };
    PedalSettings p;
    const EffectParameterSet names;
    const QJsonObject values = o.value(QStringLiteral("assignable")).toObject();
    for (int i = param::kFirstAssignable; i < param::Count; ++i) {
        const QJsonValue v = values.value(names.name(i));
        if (!v.isDouble() || v.toDouble() != static_cast<double>(v.toInteger()) || v.toInteger() < 0
            || v.toInteger() > 0xFFFFFFFFll)
            return fail(QStringLiteral("\"assignable\" needs \"%1\" as a 32-bit number").arg(names.name(i)));
        p.assignable[static_cast<std::size_t>(i - param::kFirstAssignable)] = static_cast<std::uint32_t>(v.toInteger());
    }
    const QJsonObject assignments = o.value(QStringLiteral("assignments")).toObject();
    for (int c = 0; c < 4; ++c) {
        const QJsonValue v = assignments.value(QLatin1String(kControlNames[c]));
        if (v.isNull() || v.isUndefined())
            continue;
        const int index = parameterIndexOf(v.toString(), names);
        const auto &choices = choicesOf(c);
        if (std::find(choices.begin(), choices.end(), index) == choices.end())
            return fail(QStringLiteral("%1 cannot carry \"%2\"").arg(QLatin1String(kControlNames[c]), v.toString()));
        p.controls[static_cast<std::size_t>(c)] = index;
    }
    const QJsonValue remote = assignments.value(QStringLiteral("Remote"));
    if (remote.toString() == QLatin1String("Bypass"))
        p.remote = 1;
    else if (remote.toString() == QLatin1String("Preset"))
        p.remote = 2;
    else if (!remote.isNull() && !remote.isUndefined())
        return fail(QStringLiteral("Remote carries \"Bypass\", \"Preset\" or null"));

    int tuning = 0;
    const QString range = o.value(QStringLiteral("instrument_range")).toString();
    if (!integer("footswitch", 0, 3, &p.footswitchMode))
        return fail(QStringLiteral("\"footswitch\" is 0 to 3"));
    if (!integer("tuning", 0, 255, &tuning))
        return fail(QStringLiteral("\"tuning\" is 0 to 255"));
    p.tuning = static_cast<std::uint8_t>(tuning);
    if (!integer("semitones", -4, 3, &p.semitones))
        return fail(QStringLiteral("\"semitones\" is -4 to 3"));
    if (!integer("midi_channel", 0, 16, &p.midiChannel))
        return fail(QStringLiteral("\"midi_channel\" is 0 (omni) to 16"));
    if (!boolean("store_bypass", &p.storeBypass) || !boolean("first_preset_at_power_on", &p.firstPresetAtPowerOn))
        return fail(QStringLiteral("\"store_bypass\" and \"first_preset_at_power_on\" are true or false"));
    if (range == QLatin1String("standard"))
        p.instrumentRange = pedal::kInstrumentStandard;
    else if (range == QLatin1String("low"))
        p.instrumentRange = pedal::kInstrumentLow;
    else
        return fail(QStringLiteral("\"instrument_range\" is \"standard\" or \"low\""));
    return p;
}

std::vector<PedalSettings::Message> PedalSettings::messages(const EffectParameterSet &addresses) const
{
    EffectParameterSet parameters;
    for (int i = 0; i < param::Count; ++i)
        parameters.setAddress(i, addresses.address(i));
    for (int i = param::kFirstAssignable; i < param::Count; ++i)
        parameters.setValue(i, assignable[static_cast<std::size_t>(i - param::kFirstAssignable)]);
    EffectMessages::Assignment a;
    a.controls = controls;
    a.remote = remote;
    QString instrument = DeviceOptions::instrumentRangeText(instrumentRange);
    instrument += QStringLiteral("%1").arg(XorChecksum(instrument, 7), 2, 16, QLatin1Char('0')).toUpper();
    return {
        {QStringLiteral("assignable values"), EffectMessages::storeSettings(parameters)},
        {QStringLiteral("assignments"), EffectMessages::assign(a, parameters)},
        {QStringLiteral("footswitch"), EffectMessages::footswitch(footswitchMode >= 2, footswitchMode % 2 == 1)},
        {QStringLiteral("tuning"), EffectMessages::tuning(tuning, semitoneCode(semitones))},
        {QStringLiteral("store bypass"), DeviceOptions::storeBypassText(storeBypass)},
        {QStringLiteral("instrument range"), instrument},
        {QStringLiteral("MIDI channel"),
         DeviceOptions::midiChannelText(DeviceOptions::midiChannelCode(midiChannel == 0 ? QStringLiteral("OMNI") : QString::number(midiChannel)))},
        {QStringLiteral("first preset at power on"), DeviceOptions::option11Text(firstPresetAtPowerOn)},
    };
}

QStringList PedalSettings::differences(const PedalSettings &o) const
{
    QStringList out;
    if (assignable != o.assignable)
        out << QStringLiteral("assignable values");
    if (controls != o.controls || remote != o.remote)
        out << QStringLiteral("assignments");
    if (footswitchMode != o.footswitchMode)
        out << QStringLiteral("footswitch");
    if (tuning != o.tuning || semitones != o.semitones)
        out << QStringLiteral("tuning");
    if (storeBypass != o.storeBypass)
        out << QStringLiteral("store bypass");
    if (instrumentRange != o.instrumentRange)
        out << QStringLiteral("instrument range");
    if (midiChannel != o.midiChannel)
        out << QStringLiteral("MIDI channel");
    if (firstPresetAtPowerOn != o.firstPresetAtPowerOn)
        out << QStringLiteral("first preset at power on");
    return out;
}
