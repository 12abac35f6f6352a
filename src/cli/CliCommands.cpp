#include "CliCommands.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "PedalStack.h"
#include "EffectMessages.h"
#include "FunctionsUnit.h"
#include "PedalContract.h"
#include "PedalSession.h"
#include "UpgradeProcedure.h"
#include "Presets.h"
#include "EffectControls.h"
#include "TextFiles.h"
#include "DeviceOptions.h"
#include "PedalSettings.h"
#include "BootloaderProtocol.h"
#include "FirmwareImage.h"
#include "Resources.h"
#include "Services.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <optional>

namespace cli {
namespace {

// The tunings the effect window's list offers after "No Tuning Selected".
constexpr int kTunings = 8;

const char *const kProgramHelp = R"(Usage: tharnvik-cli [--serial S] [--log FILE] [-q] COMMAND [ARGUMENTS]

The Tharnvik MK3 from a terminal: for service benches and scripts.

Commands:
  list                 one line per bridge: serial, description, driver
  info [--json]        links, runs the REQUEST and prints the pedal's state
  set NAME VALUE       writes one parameter (VALUE decimal or 0x hex)
  preset save FILE     reads the pedal and writes its twenty values as a preset file
  preset load FILE     sends a preset file's values that differ from the pedal's
  upload NAME          uploads an algorithm of the effects list ("Tharnvik MK3 0015")
  upload --file FILE   uploads an algorithm image file
  flash [FIRMWARE_N | --file FILE [--version N]] [--yes] [--legacy]
                       upgrades the pedal's firmware (default: the newest carried image)
  eeprom read 50|51 [--out FILE]
                       reads a settings memory (50 settings, 51 presets): a hex dump, or the raw bytes
  eeprom erase [--yes] [--check]
                       erases the settings memory (50), as Erase Settings does
  backup FILE          keeps the settings the pedal stores as JSON
  restore FILE         sends them back with the editor's messages, then checks them

Options:
  --serial S           the bridge with serial number S (default: the first; flash
                       needs it when several bridges are attached)
  --log FILE           appends what the editor's console would show to FILE
  -q                   no notes on stderr, only failures
  --help               this text; COMMAND --help tells about one command

Exit status: 0 done; 1 the pedal refused, did not answer or the operation
failed; 2 a usage error (nothing was sent); 3 no bridge, or the link failed.
)";

QString commandHelp(const QString &command)
{
    if (command == QLatin1String("list"))
        return QStringLiteral("Usage: tharnvik-cli list\n\nOne line per bridge the drivers see: serial number, description, driver.\n");
    if (command == QLatin1String("info"))
        return QStringLiteral(
            "Usage: tharnvik-cli [--serial S] info [--json]\n\n"
            "Links to the bridge as Scan And Link does, runs the REQUEST and prints the pedal's state.\n"
            "--json prints one JSON object: firmware, algorithm, effect, parameters, assignments,\n"
            "footswitch, tuning, semitones, bypass, store_bypass, instrument_range, midi_channel,\n"
            "first_preset_at_power_on.\n");
    if (command == QLatin1String("set"))
        return QStringLiteral(
            "Usage: tharnvik-cli [--serial S] set NAME VALUE\n\n"
            "Writes one parameter with the seven bytes the effect window writes: 01, the parameter's\n"
            "address in the pedal's running algorithm, the 32-bit value. NAME as the editor names it\n"
            "(\"Dry\", \"-1 Oct\", \"Noise Gate Threshold\"); VALUE in decimal or 0x hex.\n");
    if (command == QLatin1String("preset"))
        return QStringLiteral(
            "Usage: tharnvik-cli [--serial S] preset save FILE\n"
            "       tharnvik-cli [--serial S] preset load FILE\n\n"
            "save runs the REQUEST, then writes the twenty values as a local preset file (\".txt\" is\n"
            "added when the name lacks it), written whole or not at all. load reads the file first\n"
            "(nothing is sent when it cannot be read), runs the REQUEST, then sends what the effect\n"
            "window's controls send when the preset moves them.\n");
    if (command == QLatin1String("upload"))
        return QStringLiteral(
            "Usage: tharnvik-cli [--serial S] upload NAME\n"
            "       tharnvik-cli [--serial S] upload --file FILE\n\n"
            "Uploads an algorithm: an entry of the effects list (\"Tharnvik MK3 0015\") or an image file\n"
            "(1 to 65,536 bytes), with bypass on first, and prints the pedal's answer. This build's\n"
            "carried images are placeholders, refused on every bridge but the virtual pedal's.\n");
    if (command == QLatin1String("flash"))
        return QStringLiteral(
            "Usage: tharnvik-cli [--serial S] flash [FIRMWARE_N | --file FILE [--version N]] [--yes] [--legacy]\n\n"
            "The editor's firmware upgrade. A pedal that runs its application is told to enter its\n"
            "bootloader (hold its SHIFT button when asked; --yes does not wait for Enter); a pedal that\n"
            "does not answer is greeted as a bootloader (the legacy path; --legacy goes there at once,\n"
            "for a pedal plugged in with SHIFT held or left in its bootloader by a failed upgrade).\n"
            "On the legacy path the firmware cannot be read, so it asks before erasing (--yes does not;\n"
            "input that is not a terminal counts as no). Then erase, write, the version record, the\n"
            "restart and the REQUEST: it succeeds only when the pedal answers with the new firmware. A\n"
            "failure never starts the incomplete image. A --file image must be the raw binary written at\n"
            "0x08000000: at most 130,048 bytes, beginning with a stack pointer in the RAM and a reset\n"
            "address in the image; anything else is refused before anything is sent. With several\n"
            "bridges attached, --serial S must name the pedal.\n");
    if (command == QLatin1String("eeprom"))
        return QStringLiteral(
            "Usage: tharnvik-cli [--serial S] eeprom read 50|51 [--out FILE]\n"
            "       tharnvik-cli [--serial S] eeprom erase [--yes] [--check]\n\n"
            "read: the pedal sends the whole memory (16,384 bytes); printed as a hex dump, or written to\n"
            "FILE whole. erase: asks Erase Settings' question (Enter goes on; --yes does not ask), erases\n"
            "EEPROM 50 and with --check reads it back and says whether it is empty.\n");
    if (command == QLatin1String("backup") || command == QLatin1String("restore"))
        return QStringLiteral(
            "Usage: tharnvik-cli [--serial S] backup FILE\n"
            "       tharnvik-cli [--serial S] restore FILE\n\n"
            "backup runs the REQUEST and writes the settings the pedal stores (assignable values,\n"
            "assignments, footswitch, tuning, store bypass, instrument range, MIDI channel, first preset\n"
            "at power on) as JSON. restore checks the whole file first, sends each with the editor's\n"
            "message, then reads the pedal again and says what differs.\n");
    return {};
}

// The editor's pedal, without its windows.
struct Rig {
    Rig(Ftd2xx &bridge, Clock &clock) : pedal(bridge, console, clock, state), session(pedal.session())
    {
        session.useApplicationLine();
        session.setFailuresSaid(true);
    }
    ConsoleModel console;
    AppState state;
    PedalStack pedal;
    PedalSession &session;
};

struct Context {
    Rig &rig;
    Clock &clock;
    const Options &options;
    const Output &output;
    void out(const QString &text) const { output.out(text); }
    void err(const QString &text) const { output.err(text); }
    void note(const QString &text) const
    {
        if (!options.quiet)
            output.err(text);
    }
};

int usage(const Context &c, const QString &what)
{
    c.err(QStringLiteral("tharnvik-cli: ") + what + QStringLiteral(" (tharnvik-cli --help tells the commands)"));
    return Usage;
}

// The newest carried firmware image's number.
int latestFirmware()
{
    int latest = 0;
    static const QRegularExpression name(QStringLiteral("^FIRMWARE_(\\d+)$"), QRegularExpression::CaseInsensitiveOption);
    for (const QString &n : Resources::names()) {
        const QRegularExpressionMatch m = name.match(n);
        if (m.hasMatch())
            latest = std::max(latest, m.captured(1).toInt());
    }
    return latest;
}

QStringList effectsList()
{
    try {
        return Resources::loadLines(QStringLiteral("octave"));
    } catch (const ResourceError &) {
        return {};
    }
}

// "Tharnvik MK3 0015": characters 13 to 17 hold the newest algorithm's number.
int latestAlgorithm(const QStringList &effects)
{
    if (effects.isEmpty())
        return 0;
    bool ok = false;
    const int n = effects.constFirst().mid(12, 5).trimmed().toInt(&ok, 10);
    return ok ? n : 0;
}

// What the drivers left out of the listing and why (the console has it too).
void sayListingNotes(const Context &c)
{
    for (const QString &note : c.rig.session.listingNotes())
        c.err(note);
}

// oneBridgeOnly: without --serial, several bridges are a usage error
// rather than a choice of the first (a command that must not reach the
// wrong pedal).
int link(const Context &c, bool oneBridgeOnly = false)
{
    if (c.rig.state.Linked())
        return Done;
    PedalSession &s = c.rig.session;
    const std::vector<PedalSession::Bridge> bridges = s.bridges();
    sayListingNotes(c);
    c.rig.console.ConsolePrint(QStringLiteral("FT device count: ") + QString::number(bridges.size()));
    if (bridges.empty()) {
        c.err(QStringLiteral("No device found: no bridge is attached. Plug the pedal in (or start the virtual pedal, "
                             "tharnvik-pedal-sim), then try again."));
        return NoLink;
    }
    QString serial = c.options.serial;
    if (serial.isEmpty() && oneBridgeOnly && bridges.size() > 1) {
        QStringList serials;
        for (const PedalSession::Bridge &b : bridges)
            serials << b.serial;
        return usage(c, QStringLiteral("%1 bridges are attached (%2): choose the pedal with --serial S. Nothing was sent")
                            .arg(bridges.size())
                            .arg(serials.join(QStringLiteral(", "))));
    }
    if (serial.isEmpty()) {
        serial = bridges.front().serial;
    } else if (std::none_of(bridges.begin(), bridges.end(), [&](const auto &b) { return b.serial == serial; })) {
        c.err(QStringLiteral("No bridge with serial number %1 is attached: tharnvik-cli list shows the bridges.").arg(serial));
        return NoLink;
    }
    c.rig.console.ConsolePrint(QStringLiteral("FT_Device_String: ") + serial);
    c.rig.state.DeviceSerialNumber = serial;
    const PedalSession::Opened opened = s.open(serial);
    if (!opened.ok) {
        const QString advice = opened.advice.isEmpty()
            ? QStringLiteral("The bridge %1 could not be opened; unplug it, plug it in again and try again.").arg(serial)
            : opened.advice;
        c.rig.console.ConsolePrint(advice);
        c.err(QStringLiteral("Could not link to the pedal. ") + advice
              + (advice.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".")));
        return NoLink;
    }
    c.note(QStringLiteral("Linked to %1").arg(serial));
    return Done;
}

int request(const Context &c, PedalSnapshot &snapshot)
{
    const PedalSession::RequestReply reply = c.rig.session.request();
    c.rig.session.endRequest();
    using Outcome = PedalSession::RequestOutcome;
    switch (reply.outcome) {
    case Outcome::Answered:
        snapshot = reply.snapshot;
        return Done;
    case Outcome::Silent:
        c.err(QStringLiteral("The pedal did not answer the request. Check that it is powered and the cable is in, then try again."));
        break;
    case Outcome::Short:
        c.err(QStringLiteral("The pedal's answer to the request stopped short: %1 of %2 numbers. Try again; if it keeps "
                             "happening, check the cable.")
                  .arg(reply.numbers)
                  .arg(pedal::kAnswerNumbers));
        break;
    case Outcome::Garbled:
        c.err(QStringLiteral("The pedal's answer to the request was garbled. Try again; if it keeps happening, check the cable."));
        break;
    case Outcome::Refused:
        c.err(QStringLiteral("The request was refused: another exchange waits for the pedal's answer."));
        break;
    case Outcome::Quitting:
        c.err(QStringLiteral("Stopped: interrupted before the pedal answered."));
        break;
    }
    return PedalFailed;
}

// As Scan And Link does: the link, then the REQUEST.
int linkAndRequest(const Context &c, PedalSnapshot &snapshot)
{
    if (const int linked = link(c); linked != Done)
        return linked;
    return request(c, snapshot);
}

// What the pedal runs, with the addresses of its parameters.
struct Running {
    PedalSnapshot snapshot;
    EffectParameterSet parameters;
    QString effectName;
    QString problem; // why the addresses are not known (and what to do)
};

Running understand(const PedalSnapshot &snapshot)
{
    Running r;
    r.snapshot = snapshot;
    const DeviceIdentity &id = snapshot.identity;
    const QStringList effects = effectsList();
    const int latest = latestAlgorithm(effects);
    const QString upload = QStringLiteral("Upload the latest version of Tharnvik MK3 algorithm: Upload Tharnvik MK3 00")
        + QString::number(latest);
    if (id.firmware < latestFirmware()) {
        r.problem = QStringLiteral("A firmware upgrade is required. Upgrade to Firmware ") + QString::number(latestFirmware());
        return r;
    }
    if (!id.algorithm || !id.effect || *id.effect >= effects.size()) {
        r.problem = upload;
        return r;
    }
    r.effectName = effects[*id.effect];
    if (*id.algorithm < latest) {
        r.problem = upload;
        return r;
    }
    try {
        const QStringList image = Resources::loadLines(ResourceNameOf(r.effectName));
        const AddressReading reading = readParameterAddresses(image.isEmpty() ? QString() : image.constFirst(), r.parameters);
        if (!reading.error.isEmpty()) {
            r.problem = reading.error;
            return r;
        }
        for (int i = 0; i < param::Count; ++i) {
            if (param::kAddressField[static_cast<std::size_t>(i)] != 0)
                r.parameters.setAddress(i, reading.addresses[static_cast<std::size_t>(i)]);
        }
    } catch (const ResourceError &e) {
        r.problem = QString::fromUtf8(e.what());
    }
    for (int i = 0; i < param::Count; ++i)
        r.parameters.setValue(i, snapshot.values[static_cast<std::size_t>(i)]);
    return r;
}

QString footswitchText(int mode)
{
    static const char *const texts[] = {"short press Bypass, long press Change Preset",
                                        "short press Bypass, long press Bypass",
                                        "short press Change Preset, long press Change Preset",
                                        "short press Change Preset, long press Bypass"};
    return mode >= 0 && mode < 4 ? QString::fromLatin1(texts[mode]) : QStringLiteral("unknown (%1)").arg(mode);
}

const char *const kControls[] = {"Control I", "Control II", "Control III", "Control IV", "Remote"};

QJsonValue assignedName(const Running &r, int c)
{
    if (c == 4) {
        if (!r.snapshot.assigned[4])
            return QJsonValue::Null;
        const std::uint16_t code = r.snapshot.assignedCodes[4];
        if (code == 0xFFFE)
            return QStringLiteral("Bypass");
        if (code == 0xFFFD)
            return QStringLiteral("Preset");
        return QJsonValue::Null;
    }
    const int p = r.problem.isEmpty() ? r.snapshot.controlParameter(c, r.parameters) : -1;
    return p >= 0 ? QJsonValue(r.parameters.name(p)) : QJsonValue(QJsonValue::Null);
}

QString instrumentText(int range)
{
    if (range == pedal::kInstrumentStandard)
        return QStringLiteral("standard");
    if (range == pedal::kInstrumentLow)
        return QStringLiteral("low");
    return QString::number(range);
}

int info(const Context &c, const QStringList &args)
{
    for (const QString &a : args) {
        if (a != QLatin1String("--json"))
            return usage(c, QStringLiteral("info takes only --json, not %1").arg(a));
    }
    const bool json = args.contains(QStringLiteral("--json"));
    PedalSnapshot snapshot;
    if (const int read = linkAndRequest(c, snapshot); read != Done)
        return read;
    const Running r = understand(snapshot);
    const PedalSnapshot &s = r.snapshot;
    if (!r.problem.isEmpty())
        c.note(r.problem);

    QJsonObject parameters;
    for (int i = 0; i < param::Count; ++i)
        parameters.insert(r.parameters.name(i), static_cast<qint64>(s.values[static_cast<std::size_t>(i)]));
    QJsonObject assignments;
    for (int k = 0; k < 5; ++k)
        assignments.insert(QLatin1String(kControls[k]), assignedName(r, k));
    const std::optional<int> semitones = s.semitones();

    if (json) {
        QJsonObject o;
        o.insert(QStringLiteral("serial"), c.rig.state.DeviceSerialNumber);
        o.insert(QStringLiteral("firmware"), s.identity.firmware);
        o.insert(QStringLiteral("algorithm"), s.identity.algorithmDigits);
        o.insert(QStringLiteral("effect"), s.identity.effect ? QJsonValue(*s.identity.effect) : QJsonValue(QJsonValue::Null));
        o.insert(QStringLiteral("effect_name"), r.effectName.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(r.effectName));
        o.insert(QStringLiteral("parameters"), parameters);
        o.insert(QStringLiteral("assignments"), assignments);
        o.insert(QStringLiteral("footswitch"), s.footswitchMode);
        o.insert(QStringLiteral("footswitch_text"), footswitchText(s.footswitchMode));
        o.insert(QStringLiteral("tuning"), s.tuning);
        o.insert(QStringLiteral("semitones"), semitones ? QJsonValue(*semitones) : QJsonValue(QJsonValue::Null));
        o.insert(QStringLiteral("bypass"), s.bypass == 1);
        o.insert(QStringLiteral("store_bypass"), s.storeBypass == 1);
        o.insert(QStringLiteral("instrument_range"), instrumentText(s.instrumentRange));
        o.insert(QStringLiteral("midi_channel"), s.midiChannel == 255 ? 0 : s.midiChannel);
        o.insert(QStringLiteral("first_preset_at_power_on"), s.firstPreset == pedal::kFirstPresetOn);
        if (!r.problem.isEmpty())
            o.insert(QStringLiteral("problem"), r.problem);
        c.out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented)).trimmed());
        return Done;
    }
    QStringList lines;
    lines << QStringLiteral("Bridge: ") + c.rig.state.DeviceSerialNumber
          << QStringLiteral("Firmware: ") + QString::number(s.identity.firmware)
          << QStringLiteral("Algorithm: ") + s.identity.algorithmDigits
          << QStringLiteral("Effect: ") + s.identity.effectDigits
                 + (r.effectName.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(r.effectName));
    for (int i = 0; i < param::Count; ++i)
        lines << QStringLiteral("%1: 0x%2").arg(r.parameters.name(i), EffectMessages::hex(s.values[static_cast<std::size_t>(i)], 8));
    for (int k = 0; k < 5; ++k) {
        const QJsonValue v = assignments.value(QLatin1String(kControls[k]));
        lines << QStringLiteral("%1: %2").arg(QLatin1String(kControls[k]), v.isNull() ? QStringLiteral("Not Assigned") : v.toString());
    }
    lines << QStringLiteral("Footswitch: ") + footswitchText(s.footswitchMode)
          << QStringLiteral("Tuning: ") + QString::number(s.tuning)
          << QStringLiteral("Semitones: ") + (semitones ? QString::number(*semitones) : QStringLiteral("unknown"))
          << QStringLiteral("Bypass: ") + (s.bypass == 1 ? QStringLiteral("on") : QStringLiteral("off"))
          << QStringLiteral("Store bypass: ") + (s.storeBypass == 1 ? QStringLiteral("yes") : QStringLiteral("no"))
          << QStringLiteral("Instrument range: ") + instrumentText(s.instrumentRange)
          << QStringLiteral("MIDI channel: ")
                 + (s.midiChannel == 0 || s.midiChannel == 255 ? QStringLiteral("omni") : QString::number(s.midiChannel))
          << QStringLiteral("First preset at power on: ")
                 + (s.firstPreset == pedal::kFirstPresetOn ? QStringLiteral("yes") : QStringLiteral("no"));
    c.out(lines.join(QLatin1Char('\n')));
    return Done;
}

std::optional<std::uint32_t> parseValue(const QString &text)
{
    bool ok = false;
    qulonglong v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = text.mid(2).toULongLong(&ok, 16);
    else
        v = text.toULongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFull || text.mid(text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? 2 : 0).isEmpty())
        return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

int set(const Context &c, const QStringList &args)
{
    if (args.size() != 2)
        return usage(c, QStringLiteral("set needs NAME and VALUE"));
    const EffectParameterSet names;
    const int parameter = parameterIndexOf(args[0], names);
    if (parameter < 0) {
        QStringList all;
        for (int i = 0; i < param::Count; ++i)
            all << QLatin1Char('"') + names.name(i) + QLatin1Char('"');
        return usage(c, QStringLiteral("no parameter is named \"%1\"; the names are %2").arg(args[0], all.join(QStringLiteral(", "))));
    }
    const std::optional<std::uint32_t> value = parseValue(args[1]);
    if (!value)
        return usage(c, QStringLiteral("\"%1\" is not a 32-bit value (decimal, or hex after 0x)").arg(args[1]));
    PedalSnapshot snapshot;
    if (const int read = linkAndRequest(c, snapshot); read != Done)
        return read;
    const Running r = understand(snapshot);
    if (!r.problem.isEmpty()) {
        c.err(QStringLiteral("Nothing was sent: the parameter addresses of the pedal's algorithm are not known. ") + r.problem);
        return PedalFailed;
    }
    const std::uint16_t address = r.parameters.address(parameter);
    const QString message = EffectMessages::parameterWrite(address, *value);
    c.rig.console.ConsolePrint(QStringLiteral("Send ") + r.parameters.name(parameter)
                               + (r.parameters.isAssignable(parameter) ? QStringLiteral(" string (assignable par): ")
                                                                        : QStringLiteral(" string (standard par): "))
                               + message);
    if (c.rig.state.Quitting) {
        c.err(QStringLiteral("Stopped: interrupted before anything was written."));
        return PedalFailed;
    }
    if (c.rig.session.writeParameter(address, *value) != static_cast<std::uint32_t>(pedal::kWriteDspLength)) {
        c.err(QStringLiteral("The bridge did not take the whole message for %1. Check the cable and try again.").arg(r.parameters.name(parameter)));
        return PedalFailed;
    }
    c.out(QStringLiteral("%1 = 0x%2 (address 0x%3)")
              .arg(r.parameters.name(parameter), EffectMessages::hex(*value, 8), EffectMessages::hex(address, 4)));
    return Done;
}

int presetLoad(const Context &c, const QString &path)
{
    QString text;
    try {
        text = Presets::readPresetFile(path);
    } catch (const FileError &e) {
        QString why = QString::fromUtf8(e.what());
        if (!why.contains(path))
            why = QDir::toNativeSeparators(path) + QStringLiteral(": ") + why;
        return usage(c, QStringLiteral("Error loading file: ") + why + QStringLiteral(". Nothing was sent"));
    }
    c.note(QStringLiteral("File loaded successfully: ") + QDir::toNativeSeparators(path));
    PedalSnapshot snapshot;
    if (const int read = linkAndRequest(c, snapshot); read != Done)
        return read;
    Running r = understand(snapshot);
    if (!r.problem.isEmpty()) {
        c.err(QStringLiteral("Nothing was sent: the parameter addresses of the pedal's algorithm are not known. ") + r.problem);
        return PedalFailed;
    }
    ConsoleModel &log = c.rig.console;
    log.ConsolePrint(QStringLiteral("********************LOAD LOCAL PRESET********************"));
    for (int k = 0; k < Presets::kLines; ++k)
        log.ConsolePrint(QString::fromLatin1(Presets::kLabels[static_cast<std::size_t>(k)]) + Presets::fieldOf(text, k));
    std::array<std::uint32_t, param::Count> values = snapshot.values;
    for (int k = 0; k < Presets::kLines; ++k)
        values[static_cast<std::size_t>(k)] = Presets::applyField(Presets::fieldOf(text, k), values[static_cast<std::size_t>(k)]);
    // The controls as the REQUEST's readout leaves them, then moved by the preset.
    EffectControls controls = EffectControls::initial();
    controls.show(snapshot.values);
    const bool tuningSelected = snapshot.tuning > 0 && snapshot.tuning <= kTunings;
    const EffectControls::Applied applied = controls.apply(values, r.parameters, tuningSelected);
    if (applied.noteCutRefused)
        c.note(QStringLiteral("Set a tuning before using this parameter: the note cut stays off."));
    for (const EffectControls::Write &w : applied.writes) {
        if (c.rig.state.Quitting) {
            c.err(QStringLiteral("Stopped by Ctrl+C: some of the preset's values were sent."));
            return PedalFailed;
        }
        log.ConsolePrint(w.line);
        const PedalMessage message = PedalMessage::fromHex(w.hex, static_cast<int>(w.hex.size() / 2));
        if (c.rig.session.send(message) != static_cast<std::uint32_t>(message.bytes.size())) {
            c.err(QStringLiteral("The bridge did not take the message for %1. Check the link and load again.")
                      .arg(r.parameters.name(w.parameter)));
            return PedalFailed;
        }
    }
    c.out(QStringLiteral("%1 messages sent").arg(applied.writes.size()));
    return Done;
}

int preset(const Context &c, const QStringList &args)
{
    if (args.size() == 2 && args[0] == QLatin1String("load"))
        return presetLoad(c, args[1]);
    if (args.size() != 2 || args[0] != QLatin1String("save"))
        return usage(c, QStringLiteral("preset takes save FILE or load FILE"));
    const QString path = Presets::withTxt(args[1]);
    PedalSnapshot snapshot;
    if (const int asked = linkAndRequest(c, snapshot); asked != Done) {
        if (asked == PedalFailed)
            c.err(QStringLiteral("Save Local Preset stopped: the pedal's current values could not be read. Check the link and try again."));
        return asked;
    }
    ConsoleModel &log = c.rig.console;
    log.ConsolePrint(QStringLiteral("********************SAVE LOCAL PRESET********************"));
    std::array<std::uint32_t, Presets::kLines> values{};
    for (int k = 0; k < Presets::kLines; ++k) {
        values[static_cast<std::size_t>(k)] = snapshot.values[static_cast<std::size_t>(k)];
        log.ConsolePrint(QString::fromLatin1(Presets::kLabels[static_cast<std::size_t>(k)])
                         + EffectMessages::hex(values[static_cast<std::size_t>(k)], 8));
    }
    const QString error = Presets::writePresetFile(path, Presets::buildPresetText(values));
    if (!error.isEmpty()) {
        c.err(QStringLiteral("Error saving file: ") + error);
        return PedalFailed;
    }
    c.out(QStringLiteral("File saved successfully: ") + QDir::toNativeSeparators(path));
    return Done;
}

bool isVirtual(const Context &c)
{
    return c.rig.session.onVirtualBridge();
}

int upload(const Context &c, const QStringList &args)
{
    ConsoleModel &log = c.rig.console;
    QString resource;
    QByteArray file;
    QString imageHex;
    if (args.size() == 2 && args[0] == QLatin1String("--file")) {
        using File = PedalSession::AlgorithmFile;
        const File read = PedalSession::readAlgorithmFile(args[1]);
        if (read.problem == File::Problem::CannotOpen)
            return usage(c, QStringLiteral("cannot open %1: %2").arg(args[1], read.error));
        if (read.problem == File::Problem::CannotRead)
            return usage(c, QStringLiteral("cannot read %1: %2").arg(args[1], read.error));
        if (read.problem == File::Problem::WrongSize)
            return usage(c, QStringLiteral("%1 holds %2 bytes; an algorithm image holds 1 to %3. Nothing was sent")
                                .arg(args[1]).arg(read.size).arg(File::kLargest));
        file = read.bytes;
    } else if (args.size() == 1 && !args[0].startsWith(QLatin1Char('-'))) {
        if (!effectsList().contains(args[0]))
            return usage(c, QStringLiteral("\"%1\" is not in the effects list (%2)")
                                .arg(args[0], effectsList().join(QStringLiteral(", "))));
        resource = ResourceNameOf(args[0]);
        try {
            const QStringList lines = Resources::loadLines(resource);
            imageHex = lines.isEmpty() ? QString() : lines.constFirst();
        } catch (const ResourceError &e) {
            c.err(QStringLiteral("Error loading resource: ") + QString::fromUtf8(e.what()));
            return PedalFailed;
        }
    } else {
        return usage(c, QStringLiteral("upload takes NAME or --file FILE"));
    }
    if (const int linked = link(c); linked != Done)
        return linked;
    log.ConsolePrint(QStringLiteral("********************UPLOAD********************"));
    if (!resource.isEmpty() && Resources::isPlaceholder(resource) && !isVirtual(c)) {
        log.ConsolePrint(QStringLiteral("UPLOAD stopped: %1 is a placeholder image").arg(resource));
        c.err(QStringLiteral("This editor build carries no real algorithm images, only placeholders for the virtual "
                             "pedal. Nothing was sent to the pedal."));
        return Usage;
    }
    c.rig.session.beforeUpload(resource.isEmpty() ? PedalSession::UploadSource::File
                                                   : PedalSession::UploadSource::Catalogue);
    QString answer;
    bool answered = false;
    {
        const PedalSession::Exchange exchange = c.rig.session.exchange();
        if (resource.isEmpty()) {
            log.ConsolePrint(QStringLiteral("Opening - ") + QDir::toNativeSeparators(args[1]));
            c.rig.session.sendAlgorithmFile(file);
        } else {
            log.ConsolePrint(QStringLiteral("resource name: ") + resource);
            c.rig.session.sendAlgorithmImage(imageHex);
        }
        c.note(QStringLiteral("Uploading..."));
        // The editor waits for ever; a bench wants an end.
        answered = c.rig.session.receiveUploadAnswer(resource.isEmpty(), [&](const QString &text) { answer = text; },
                                                     30000);
    }
    if (!answered) {
        c.err(c.rig.state.Quitting ? QStringLiteral("Stopped: interrupted before the pedal answered the upload.")
                                   : QStringLiteral("Upload Failed: the pedal did not answer within 30 seconds. Check "
                                                    "the link and try again."));
        return PedalFailed;
    }
    c.out(answer.trimmed());
    PedalSnapshot snapshot;
    if (request(c, snapshot) == Done)
        c.note(QStringLiteral("Device Algorithm: ") + snapshot.identity.algorithmDigits);
    return Done;
}

int flash(const Context &c, const QStringList &argsIn)
{
    QStringList args = argsIn;
    const bool yes = args.removeAll(QStringLiteral("--yes")) > 0;
    const bool legacy = args.removeAll(QStringLiteral("--legacy")) > 0;
    int version = latestFirmware();
    QString resource = QStringLiteral("FIRMWARE_%1").arg(version);
    QByteArray image;
    QString file;
    if (const qsizetype v = args.indexOf(QStringLiteral("--version")); v >= 0) {
        bool ok = false;
        version = v + 1 < args.size() ? args[v + 1].toInt(&ok) : 0;
        if (!ok || version < 1 || version > 255)
            return usage(c, QStringLiteral("--version needs a firmware number from 1 to 255"));
        args.remove(v, 2);
        if (!args.contains(QStringLiteral("--file")))
            return usage(c, QStringLiteral("--version goes with --file"));
    }
    if (args.size() == 2 && args[0] == QLatin1String("--file")) {
        file = args[1];
        const FirmwareImage::File read = FirmwareImage::readFile(file);
        if (read.problem == FirmwareImage::File::Problem::CannotOpen)
            return usage(c, QStringLiteral("cannot open %1: %2").arg(file, read.error));
        if (read.problem == FirmwareImage::File::Problem::CannotRead)
            return usage(c, QStringLiteral("cannot read %1: %2").arg(file, read.error));
        image = read.bytes;
        if (const FirmwareImage::Check check = FirmwareImage::check(image); !check.ok())
            return usage(c, QStringLiteral("%1 cannot be written: %2. Nothing was sent")
                                .arg(QDir::toNativeSeparators(file), check.reason));
        resource.clear();
    } else if (args.size() == 1 && !args[0].startsWith(QLatin1Char('-'))) {
        static const QRegularExpression name(QStringLiteral("^FIRMWARE_(\\d+)$"), QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = name.match(args[0]);
        if (!m.hasMatch() || Resources::find(args[0]).isEmpty())
            return usage(c, QStringLiteral("no carried firmware image is named %1 (FIRMWARE_5 to FIRMWARE_%2)")
                                .arg(args[0]).arg(latestFirmware()));
        resource = args[0].toUpper();
        version = m.captured(1).toInt();
    } else if (!args.isEmpty()) {
        return usage(c, QStringLiteral("flash takes FIRMWARE_N, or --file FILE"));
    }
    if (!resource.isEmpty()) {
        try {
            image = Resources::load(resource);
        } catch (const ResourceError &e) {
            c.err(QStringLiteral("Error loading resource: ") + QString::fromUtf8(e.what()));
            return PedalFailed;
        }
        if (const FirmwareImage::Check check = FirmwareImage::check(image); !check.ok()) {
            c.err(QStringLiteral("%1 cannot be written: %2. Nothing was sent.").arg(resource, check.reason));
            return PedalFailed;
        }
    }

    // A firmware meant for one pedal never goes to whichever bridge is listed first.
    if (const int linked = link(c, true); linked != Done)
        return linked;
    // A made-up image would brick a real pedal: only the virtual one gets it.
    if (!resource.isEmpty() && Resources::isPlaceholder(resource) && !isVirtual(c)) {
        c.err(QStringLiteral("This editor build carries no real firmware images, only placeholders for the virtual "
                             "pedal. Nothing was sent. To write a real image, give its file with --file."));
        return Usage;
    }
    AppState &state = c.rig.state;
    UpgradeProcedure &upgrade = c.rig.session.upgrade();
    UpgradeProcedure::Plan plan;
    plan.image = image;
    plan.version = version;
    plan.legacy = legacy;
    plan.firmwareKnown = [&](int firmware) { state.DeviceFirmwareVersion = QString::number(firmware); };
    plan.holdShift = [&] {
        c.out(QStringLiteral("Keep SHIFT button on the pedal pressed and press Enter."));
        return yes || (c.output.waitForEnter && c.output.waitForEnter());
    };
    plan.releaseShift = [&] {
        c.out(QStringLiteral("Release SHIFT button and press Enter."));
        if (!yes && c.output.waitForEnter)
            c.output.waitForEnter();
    };
    plan.notApplication = [&] {
        c.note(QStringLiteral("The pedal did not answer as its application: greeting it as a bootloader."));
    };
    plan.confirmErase = [&] {
        c.note(QStringLiteral("Connection to bootloader succeeded, ready for firmware upgrade"));
        const QString what = resource.isEmpty()
            ? QStringLiteral("%1 as firmware %2").arg(QDir::toNativeSeparators(file)).arg(version)
            : resource;
        const QString question = QStringLiteral("The pedal on %1 answered as its bootloader, so its firmware cannot be "
                                                "read. Erase its flash and write %2? [y/N] ")
                                     .arg(state.DeviceSerialNumber, what);
        return yes || (c.output.confirm && c.output.confirm(question) && !state.Quitting);
    };
    plan.told = [&] {
        if (c.output.progress)
            c.output.progress(-1, -1);
        c.note(QStringLiteral("Firmware Upgrade Complete, device will now restart"));
    };
    const QMetaObject::Connection shown = QObject::connect(&upgrade, &UpgradeProcedure::progress, [&](int done, int total) {
        if (c.output.progress)
            c.output.progress(done, total);
    });
    const UpgradeProcedure::Result result = upgrade.run(plan);
    QObject::disconnect(shown);

    using Step = UpgradeProcedure::Result::Step;
    using Entry = UpgradeProcedure::Entry;
    using Outcome = UpgradeProcedure::Outcome;
    switch (result.step) {
    case Step::Entry:
        switch (result.entry) {
        case Entry::Stopped:
            c.err(QStringLiteral("Stopped: interrupted before the pedal answered. Nothing more was sent."));
            return PedalFailed;
        case Entry::FirmwareTooOld:
            c.err(QStringLiteral("Firmware %1 cannot be told to enter its bootloader: unplug the pedal, hold its "
                                 "SHIFT button while plugging it in again, then run tharnvik-cli flash --legacy.")
                      .arg(result.firmwareBefore));
            return PedalFailed;
        case Entry::Declined:
            c.err(QStringLiteral("Stopped before the upgrade: no Enter came (give --yes in scripts). Nothing "
                                 "more was sent; the pedal runs its firmware."));
            return Usage;
        default:
            break;
        }
        if (!result.viaLegacy)
            c.err(QStringLiteral("Connection to bootloader failed: the pedal did not answer as its bootloader. Was "
                                 "SHIFT held? Run tharnvik-cli flash again, or unplug the pedal, plug it in with "
                                 "SHIFT held and run tharnvik-cli flash --legacy."));
        else
            c.err(QStringLiteral("Connection to bootloader failed: neither the application nor the bootloader "
                                 "answered. Check the cable and the pedal's power, then try again."));
        return PedalFailed;
    case Step::Confirm:
        c.err(QStringLiteral("Nothing was erased: the erase was not confirmed (answer y, or give --yes in scripts). "
                             "The pedal stays in its bootloader."));
        return Usage;
    case Step::Write: {
        if (c.output.progress)
            c.output.progress(-1, -1);
        const QString where = upgrade.failureText();
        c.err((result.outcome == Outcome::Stopped ? QStringLiteral("Firmware upgrade stopped by Ctrl+C (%1). ").arg(where)
                                                  : QStringLiteral("Firmware upgrade failed: %1. ").arg(where))
              + QStringLiteral("Nothing more was sent; the pedal stays in its bootloader with an incomplete firmware. "
                               "Run tharnvik-cli flash --legacy to write it again."));
        return PedalFailed;
    }
    case Step::Start:
        c.err(QStringLiteral("The pedal did not start its firmware: the bootloader refused the go command or did not "
                             "answer. It stays in its bootloader; run tharnvik-cli flash --legacy to try again."));
        return PedalFailed;
    case Step::Restart:
        if (result.firmwareAfter < 0)
            c.err(QStringLiteral("The pedal did not answer after its restart. Unplug it and plug it in again, then run "
                                 "tharnvik-cli info."));
        else
            c.err(QStringLiteral("The pedal restarted with firmware %1, not %2. Run tharnvik-cli flash again.")
                      .arg(result.firmwareAfter)
                      .arg(version));
        return PedalFailed;
    case Step::Done:
        break;
    }
    c.out(QStringLiteral("Device Firmware: ") + QString::number(result.firmwareAfter));
    return Done;
}

// The dump of a read that went out, gathered by the poll.
int collectDump(const Context &c, QByteArray &memory)
{
    PedalSession &session = c.rig.session;
    for (;;) {
        c.clock.waitForEvents(50);
        if (c.rig.state.Quitting) {
            c.err(QStringLiteral("Stopped: interrupted while the memory came."));
            return PedalFailed;
        }
        switch (session.poll()) {
        case DumpCollector::State::Complete:
            session.logDump(true);
            memory = session.dumpMemory();
            return Done;
        case DumpCollector::State::Incomplete:
            session.logDump(false);
            c.err(QStringLiteral("Memory dump incomplete: %1 of %2 bytes received. Nothing was written; try again.")
                      .arg(session.dumpMemory().size())
                      .arg(pedal::kDumpBytes));
            return PedalFailed;
        case DumpCollector::State::Missing:
            c.err(QStringLiteral("No memory dump came from the pedal after the read. Check the link and try again."));
            return PedalFailed;
        default:
            break;
        }
    }
}

QString writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

int eeprom(const Context &c, const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.isEmpty())
        return usage(c, QStringLiteral("eeprom takes read 50|51 or erase"));
    const QString verb = args.takeFirst();
    if (verb == QLatin1String("read")) {
        QString out;
        if (const qsizetype o = args.indexOf(QStringLiteral("--out")); o >= 0) {
            if (o + 1 >= args.size())
                return usage(c, QStringLiteral("--out needs a file"));
            out = args[o + 1];
            args.remove(o, 2);
        }
        if (args.size() != 1 || (args[0] != QLatin1String("50") && args[0] != QLatin1String("51")))
            return usage(c, QStringLiteral("eeprom read takes 50 (the settings) or 51 (the presets)"));
        if (const int linked = link(c); linked != Done)
            return linked;
        if (!c.rig.session.sendEepromRead(args[0])) {
            c.err(QStringLiteral("The read message did not go out. Check the link and try again."));
            return PedalFailed;
        }
        QByteArray memory;
        if (const int got = collectDump(c, memory); got != Done)
            return got;
        const QString verdict = PedalSession::dumpVerdict(memory);
        if (!out.isEmpty()) {
            if (const QString error = writeWhole(out, memory); !error.isEmpty()) {
                c.err(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(out), error));
                return PedalFailed;
            }
            c.out(QStringLiteral("%1; %2 bytes written to %3").arg(verdict).arg(memory.size()).arg(QDir::toNativeSeparators(out)));
            return Done;
        }
        QStringList lines;
        for (qsizetype p = 0; p < memory.size(); p += 16) {
            const QByteArray row = memory.mid(p, 16);
            lines << QStringLiteral("%1: %2").arg(p, 4, 16, QLatin1Char('0')).arg(QString::fromLatin1(row.toHex(' ').toUpper()));
        }
        c.out(lines.join(QLatin1Char('\n')));
        c.note(verdict);
        return Done;
    }
    if (verb == QLatin1String("erase")) {
        const bool yes = args.removeAll(QStringLiteral("--yes")) > 0;
        const bool check = args.removeAll(QStringLiteral("--check")) > 0;
        if (!args.isEmpty())
            return usage(c, QStringLiteral("eeprom erase takes --yes and --check, not %1").arg(args.join(QLatin1Char(' '))));
        if (const int linked = link(c); linked != Done)
            return linked;
        if (!yes) {
            c.out(DeviceOptions::eraseSettingsQuestion().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            c.out(QStringLiteral("Press Enter to erase, or Ctrl+C to keep everything."));
            if (!c.output.waitForEnter || !c.output.waitForEnter() || c.rig.state.Quitting) {
                c.err(QStringLiteral("Nothing was erased."));
                return Usage;
            }
        }
        c.rig.console.ConsolePrint(QStringLiteral("********************ERASE EEPROM 1********************"));
        c.rig.session.eraseEeprom(QStringLiteral("50"));
        c.rig.session.settleEeprom();
        c.out(QStringLiteral("Memory has been erased"));
        if (!check)
            return Done;
        if (!c.rig.session.sendEepromRead(QStringLiteral("50"))) {
            c.err(QStringLiteral("The read message did not go out. Check the link and try again."));
            return PedalFailed;
        }
        QByteArray memory;
        if (const int got = collectDump(c, memory); got != Done)
            return got;
        c.out(PedalSession::dumpVerdict(memory));
        return DumpCollector::isEmpty(memory) ? Done : PedalFailed;
    }
    return usage(c, QStringLiteral("eeprom takes read or erase, not %1").arg(verb));
}

// The pedal's answer, with the addresses its assignments need.
int readSettings(const Context &c, Running &running)
{
    PedalSnapshot snapshot;
    if (const int read = linkAndRequest(c, snapshot); read != Done)
        return read;
    running = understand(snapshot);
    if (!running.problem.isEmpty()) {
        c.err(QStringLiteral("The assignments cannot be named: the parameter addresses of the pedal's algorithm are not "
                             "known. ") + running.problem);
        return PedalFailed;
    }
    return Done;
}

int backup(const Context &c, const QStringList &args)
{
    if (args.size() != 1 || args[0].startsWith(QLatin1Char('-')))
        return usage(c, QStringLiteral("backup takes FILE"));
    Running r;
    if (const int read = readSettings(c, r); read != Done)
        return read;
    const PedalSettings settings = PedalSettings::fromSnapshot(r.snapshot, r.parameters);
    if (const QString error = writeWhole(args[0], settings.toJson()); !error.isEmpty()) {
        c.err(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(args[0]), error));
        return PedalFailed;
    }
    c.out(QStringLiteral("Settings kept in ") + QDir::toNativeSeparators(args[0]));
    return Done;
}

int restore(const Context &c, const QStringList &args)
{
    if (args.size() != 1 || args[0].startsWith(QLatin1Char('-')))
        return usage(c, QStringLiteral("restore takes FILE"));
    QFile file(args[0]);
    if (!file.open(QIODevice::ReadOnly))
        return usage(c, QStringLiteral("cannot open %1: %2").arg(args[0], file.errorString()));
    QString why;
    const std::optional<PedalSettings> wanted = PedalSettings::fromJson(file.read(1 << 20), &why);
    if (!wanted)
        return usage(c, QStringLiteral("%1 cannot be restored: %2. Nothing was sent").arg(args[0], why));
    Running r;
    if (const int read = readSettings(c, r); read != Done)
        return read;
    ConsoleModel &log = c.rig.console;
    for (const PedalSettings::Message &m : wanted->messages(r.parameters)) {
        if (c.rig.state.Quitting) {
            c.err(QStringLiteral("Stopped by Ctrl+C before the %1: what was sent before it is stored.").arg(m.what));
            return PedalFailed;
        }
        log.ConsolePrint(QStringLiteral("Restore %1: ").arg(m.what) + m.hex);
        const PedalMessage message =
            PedalMessage::fromHex(m.hex, static_cast<int>(m.hex.size() / 2), PedalMessage::Kind::Settled);
        if (c.rig.session.send(message) != static_cast<std::uint32_t>(message.bytes.size())) {
            c.err(QStringLiteral("The bridge did not take the %1 message. Check the link and restore again.").arg(m.what));
            return PedalFailed;
        }
    }
    Running after;
    if (const int read = readSettings(c, after); read != Done)
        return read;
    const QStringList differ = wanted->differences(PedalSettings::fromSnapshot(after.snapshot, after.parameters));
    if (!differ.isEmpty()) {
        c.err(QStringLiteral("The pedal did not take every setting: %1 differ. Restore again.").arg(differ.join(QStringLiteral(", "))));
        return PedalFailed;
    }
    c.out(QStringLiteral("Settings restored from ") + QDir::toNativeSeparators(args[0]));
    return Done;
}

int list(const Context &c, const QStringList &args)
{
    if (!args.isEmpty())
        return usage(c, QStringLiteral("list takes no arguments"));
    const std::vector<PedalSession::Bridge> bridges = c.rig.session.bridges();
    sayListingNotes(c);
    if (bridges.empty()) {
        c.err(QStringLiteral("No device found: no bridge is attached."));
        return NoLink;
    }
    for (const PedalSession::Bridge &b : bridges)
        c.out(QStringLiteral("%1\t%2\t%3").arg(b.serial, b.description, b.driver));
    return Done;
}

} // namespace

QString programHelp()
{
    return QString::fromUtf8(kProgramHelp);
}

int run(const QStringList &arguments, Ftd2xx &bridge, Clock &clock, const Output &output,
        const std::function<void(bool *)> &quitFlag)
{
    Options options;
    QStringList rest = arguments;
    auto fail = [&](const QString &what) {
        output.err(QStringLiteral("tharnvik-cli: ") + what + QStringLiteral(" (tharnvik-cli --help tells the commands)"));
        return Usage;
    };
    // Options before the command.
    while (!rest.isEmpty() && rest.front().startsWith(QLatin1Char('-'))) {
        const QString o = rest.takeFirst();
        if (o == QLatin1String("--help") || o == QLatin1String("-h")) {
            output.out(programHelp().trimmed());
            return Done;
        }
        if (o == QLatin1String("-q")) {
            options.quiet = true;
        } else if (o == QLatin1String("--serial") || o == QLatin1String("--log")) {
            if (rest.isEmpty())
                return fail(o + QStringLiteral(" needs a value"));
            (o == QLatin1String("--serial") ? options.serial : options.logFile) = rest.takeFirst();
        } else {
            return fail(QStringLiteral("unknown option ") + o);
        }
    }
    if (rest.isEmpty())
        return fail(QStringLiteral("no command given"));
    const QString command = rest.takeFirst();
    using Command = int (*)(const Context &, const QStringList &);
    static const std::pair<const char *, Command> commands[] = {
        {"list", list},     {"info", info},     {"set", set},       {"preset", preset},   {"upload", upload},
        {"flash", flash},   {"eeprom", eeprom}, {"backup", backup}, {"restore", restore},
    };
    Command handler = nullptr;
    for (const auto &[name, h] : commands) {
        if (command == QLatin1String(name))
            handler = h;
    }
    if (!handler)
        return fail(QStringLiteral("unknown command ") + command);
    if (rest.contains(QStringLiteral("--help"))) {
        output.out(commandHelp(command).trimmed());
        return Done;
    }

    // The log is checked before anything is linked or sent: a log that
    // cannot be written is a usage fault, not a surprise after the work.
    if (!options.logFile.isEmpty()) {
        QFile log(options.logFile);
        const bool existed = log.exists();
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
            return fail(QStringLiteral("cannot write the log %1: %2").arg(options.logFile, log.errorString()));
        log.close();
        if (!existed)
            log.remove();
    }

    Rig rig(bridge, clock);
    if (quitFlag)
        quitFlag(&rig.state.Quitting);
    const Context c{rig, clock, options, output};
    const int status = handler(c, rest);
    if (quitFlag)
        quitFlag(nullptr);
    if (rig.state.Linked())
        rig.session.close();
    if (!options.logFile.isEmpty()) {
        try {
            appendLogBlock(options.logFile, clock.localNow(), rig.console);
        } catch (const FileError &e) {
            // Written a moment ago, refused now (a full disk): said, and the
            // work's own status kept.
            output.err(QStringLiteral("tharnvik-cli: ") + QString::fromUtf8(e.what()));
        }
    }
    return status;
}

} // namespace cli
