// Random work of a player and a technician, with random faults of the pedal
// and the line, against the virtual pedal in virtual time. Each sequence is
// made from a seed, on a fresh editor and a fresh paced pedal. After every
// operation: it ended, the log says what happened, every preset file is as
// it was or whole; after every REQUEST answered with no fault pending, the
// editor shows exactly what the pedal holds (the virtual pedal is the model).
//
// THARNVIK_SOAK_SECONDS  how long to run new seeds (wall time; default 60)
// THARNVIK_SOAK_FIRST    the first seed (default 1; the next ones follow)
// THARNVIK_SOAK_SEED     replay this one seed only (and shrink it when it fails)
// THARNVIK_SOAK_TRACE    print every operation and what it added to the log
//
// A failure names its seed and the shortest sequence found that still fails.
#include "AppState.h"
#include "ConsoleModel.h"
#include "EffectControls.h"
#include "EffectMessages.h"
#include "FXsettings.h"
#include "FirmwareUpgrade.h"
#include "KnobControl.h"
#include "Parameters.h"
#include "PedalContract.h"
#include "PedalSnapshot.h"
#include "PresetLibrary.h"
#include "PresetLibraryWindow.h"
#include "Presets.h"
#include "PrintConsole.h"
#include "Story.h"
#include "SwitchControl.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>

namespace {

enum class Act {
    Link, Unlink, Request, Poll, Knob, Switch, PitchList, NoteCut, Assign, Footswitch, Tuning, SaveParameters,
    Defaults, Option, SavePreset, LoadPreset, LibrarySave, LibraryLoad, Undo, Redo, Compare, Upload, TuningData,
    Firmware, ReadEeprom, RawWrite, Wait,
};

enum class Fault { None, Silent, Garbage, ShortAnswer, Split, HangUp, BootNack, BootSilent };

struct Op {
    Act act = Act::Wait;
    int a = 0, b = 0; // what the act picks (which control, where to)
    Fault fault = Fault::None;
    int at = 0; // for a hang-up: the wait it happens at; in the bootloader: the answer
};

const char *actName(Act act)
{
    static const char *const names[] = {
        "link", "unlink", "request", "poll", "knob", "switch", "pitch list", "note cut", "assign", "footswitch",
        "tuning", "save parameters", "defaults", "option", "save preset", "load preset", "library save as",
        "library load", "undo", "redo", "compare", "algorithm upload", "tuning data upload", "firmware upgrade",
        "read eeprom", "raw write", "wait",
    };
    return names[static_cast<int>(act)];
}

std::string describe(const Op &op)
{
    static const char *const faults[] = {"",        " [pedal silent]", " [garbage answers]", " [short answers]",
                                         " [split answers]", " [cable pulled at wait ", " [bootloader NACK at answer ",
                                         " [bootloader silent at answer "};
    std::ostringstream s;
    s << actName(op.act) << " (" << op.a << ", " << op.b << ")" << faults[static_cast<int>(op.fault)];
    if (op.fault == Fault::HangUp || op.fault == Fault::BootNack || op.fault == Fault::BootSilent)
        s << op.at << "]";
    return s.str();
}

// What players and technicians do, weighted by how often they do it.
Op randomOp(std::mt19937_64 &rng)
{
    static const std::pair<Act, int> weights[] = {
        {Act::Link, 6},        {Act::Unlink, 2},     {Act::Request, 10},    {Act::Poll, 3},
        {Act::Knob, 16},       {Act::Switch, 5},     {Act::PitchList, 2},   {Act::NoteCut, 2},
        {Act::Assign, 3},      {Act::Footswitch, 2}, {Act::Tuning, 3},      {Act::SaveParameters, 2},
        {Act::Defaults, 1},    {Act::Option, 3},     {Act::SavePreset, 3},  {Act::LoadPreset, 3},
        {Act::LibrarySave, 2}, {Act::LibraryLoad, 3}, {Act::Undo, 5},       {Act::Redo, 3},
        {Act::Compare, 3},     {Act::Upload, 1},     {Act::TuningData, 1},  {Act::Firmware, 1},
        {Act::ReadEeprom, 2},  {Act::RawWrite, 2},   {Act::Wait, 5},
    };
    int total = 0;
    for (const auto &w : weights)
        total += w.second;
    int pick = std::uniform_int_distribution<int>(0, total - 1)(rng);
    Op op;
    for (const auto &w : weights) {
        if (pick < w.second) {
            op.act = w.first;
            break;
        }
        pick -= w.second;
    }
    op.a = std::uniform_int_distribution<int>(0, 1 << 20)(rng);
    op.b = std::uniform_int_distribution<int>(0, 1 << 20)(rng);
    // One operation in six meets a fault.
    if (std::uniform_int_distribution<int>(0, 5)(rng) == 0) {
        const Fault pool[] = {Fault::Silent, Fault::Garbage,  Fault::ShortAnswer, Fault::Split,
                              Fault::HangUp, Fault::BootNack, Fault::BootSilent};
        op.fault = pool[std::uniform_int_distribution<int>(0, 6)(rng)];
        op.at = std::uniform_int_distribution<int>(1, op.fault == Fault::HangUp ? 12 : 700)(rng);
        if (op.act == Act::Firmware && op.fault == Fault::HangUp)
            op.at = std::uniform_int_distribution<int>(1, 2000)(rng);
    }
    return op;
}

std::vector<Op> sequenceFor(std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    const int length = std::uniform_int_distribution<int>(20, 60)(rng);
    std::vector<Op> ops;
    ops.push_back(Op{Act::Link}); // most stories start so; later links come at random
    for (int k = 1; k < length; ++k)
        ops.push_back(randomOp(rng));
    return ops;
}

struct Failure {
    std::size_t index = 0; // of the operation after which a check failed
    std::string check;     // which check
    std::string detail;
};

// What the sequences did, for the report.
struct Tally {
    std::map<int, int> done, skipped;
    int compared = 0; // REQUESTs after which the editor was compared with the pedal
    int pulls = 0;    // cable pulls the editor met
    int upgrades = 0; // firmware upgrades completed
};
Tally &tally()
{
    static Tally t;
    return t;
}

constexpr int kRunawayWaits = 400000; // far beyond the longest operation (an upgrade: ~30,000)

// One editor and one pedal playing one sequence.
class Player {
public:
    Player()
    {
        m_config.paced = true;
        m_bridge = std::make_unique<SimBridge>(m_fakes.clock, m_config);
        m_bridge->replug = true;
        m_bridge->replugConfig = m_config;
        m_fakes.bridge = m_bridge.get();
        m_editor = std::make_unique<Editor>(m_fakes.services());
        m_folder = library().store().folder();
        QDir().mkpath(m_folder);
        // A few presets of the player's, and a file that is none.
        for (int k = 0; k < 3; ++k) {
            QByteArray text;
            for (int line = 0; line < 20; ++line)
                text += QByteArray::number(0x00100000u * static_cast<unsigned>(k + 1) + line * 0x1000u, 16)
                            .rightJustified(8, '0')
                            .toUpper()
                        + "\r\n";
            writeFile(m_folder + QStringLiteral("/Mine %1.txt").arg(k), text);
        }
        writeFile(m_folder + QStringLiteral("/notes.txt"), "not a preset\r\n");
        m_files = filesNow();
    }
    ~Player()
    {
        m_editor.reset(); // before the bridge it uses
    }

    std::optional<Failure> play(const std::vector<Op> &ops, int *played = nullptr)
    {
        for (std::size_t k = 0; k < ops.size(); ++k) {
            if (played)
                ++*played;
            if (auto failed = step(ops[k])) {
                failed->index = k;
                return failed;
            }
        }
        return std::nullopt;
    }

private:
    TformMain &main() { return *m_editor->windows().formMain; }
    TformFXsettings &fx() { return *m_editor->windows().formFXsettings; }
    TformFirmwareUpgrade &fw() { return *m_editor->windows().formFirmwareUpgrade; }
    TformPrint &console() { return *m_editor->windows().formPrint; }
    TformPresetLibrary &library() { return *m_editor->windows().formPresetLibrary; }
    sim::PedalSimulator &pedal() { return m_bridge->pedal(); }
    QString log(qsizetype from) const
    {
        return m_editor->console().text(from, m_editor->console().lineCount());
    }

    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    std::map<QString, QByteArray> filesNow() const
    {
        std::map<QString, QByteArray> files;
        const QDir dir(m_folder);
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
            QFile f(dir.filePath(name));
            files[name] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
        }
        return files;
    }
    QStringList presetNames() const
    {
        QStringList names;
        for (const auto &[name, bytes] : m_files)
            if (Presets::problemOf(bytes).isEmpty())
                names << name;
        return names;
    }

    void armFault(const Op &op)
    {
        sim::Faults f;
        switch (op.fault) {
        case Fault::Silent: f.silent = true; break;
        case Fault::Garbage: f.garbage = true; break;
        case Fault::ShortAnswer: f.shortAnswer = op.at % 107; break;
        case Fault::Split:
            f.splitPieces = 2 + op.at % 6;
            f.splitGapMs = op.at % 40;
            break;
        case Fault::BootNack:
        case Fault::BootSilent:
            if (sim::Stm32Bootloader *flash = pedal().flashBootloader())
                (op.fault == Fault::BootNack ? f.bootNackAt : f.bootSilentAt) = flash->steps() + op.at;
            break;
        case Fault::None:
        case Fault::HangUp:
            break;
        }
        pedal().setFaults(f);
    }

    // Does what the player does; false when the control was not there to use.
    bool perform(const Op &op, std::optional<TformMain::RequestResult> &request)
    {
        TformMain &m = main();
        TformFXsettings &w = fx();
        auto trigger = [](QAction *a) {
            // A player reaches an item only through menus that are enabled.
            bool reachable = a->isEnabled();
            for (QObject *o : a->associatedObjects())
                if (auto *menu = qobject_cast<QMenu *>(o))
                    reachable = reachable && menu->isEnabled();
            if (!reachable)
                return false;
            a->trigger();
            return true;
        };
        auto click = [](QPushButton *b) {
            if (!b->isEnabled())
                return false;
            b->click();
            return true;
        };
        // The effect window's controls are there for the player when it shows.
        const bool effectUsable = w.isVisible() && !w.comparing();
        switch (op.act) {
        case Act::Link:
            return trigger(m.menuScan);
        case Act::Unlink:
            return trigger(m.menuDisconnect);
        case Act::Request:
            if (!m.btnRequest->isEnabled())
                return false;
            request = m.RequestDeviceInfo();
            return true;
        case Act::Poll:
            if (!m.Timer_USB_Read->isEnabled())
                return false;
            m.Timer_USB_ReadTimer();
            return true;
        case Act::Knob: {
            if (!effectUsable)
                return false;
            std::vector<int> knobs;
            for (int p = 0; p < param::Count; ++p)
                if (EffectControls::isKnob(p) && w.knobOf(p) && w.knobOf(p)->isEnabled())
                    knobs.push_back(p);
            if (knobs.empty())
                return false;
            KnobControl *knob = w.knobOf(knobs[static_cast<std::size_t>(op.a) % knobs.size()]);
            // A drag: a few positions on the way, Timer1 ticking between them.
            const int travelTo = op.b % (KnobControl::kTravel + 1);
            const int steps = 1 + op.b % 4;
            int from = knob->angle() + 135;
            if (from > KnobControl::kTravel)
                from -= 360;
            for (int s = 1; s <= steps; ++s) {
                int angle = KnobControl::kMinimumAngle + from + (travelTo - from) * s / steps;
                if (angle > 180)
                    angle -= 360;
                knob->setAngle(angle);
                m_fakes.clock.advance(20 + op.a % 60);
            }
            return true;
        }
        case Act::Switch: {
            if (!effectUsable)
                return false;
            SwitchControl *const switches[] = {w.swtWave,   w.swtSplit,  w.swtBypass,
                                               w.swtLimitRange, w.swtAttack, w.swtNoiseGateStatus};
            SwitchControl *s = switches[op.a % 6];
            if (!s->isEnabled())
                return false;
            s->setOn(!s->isOn());
            return true;
        }
        case Act::PitchList:
            if (!effectUsable || !w.cmbVariableWavePitch->isEnabled())
                return false;
            w.cmbVariableWavePitch->setCurrentIndex(op.a % w.cmbVariableWavePitch->count());
            return true;
        case Act::NoteCut: {
            QCheckBox *box = op.a % 2 ? w.chkDominantNoteCut : w.chkHighNoteCut;
            if (!effectUsable || !box->isEnabled())
                return false;
            box->setChecked(!box->isChecked());
            return true;
        }
        case Act::Assign: {
            if (!effectUsable)
                return false;
            QComboBox *const boxes[] = {w.cmbAssignCtrlUNO, w.cmbAssignCtrlDUE, w.cmbAssignCtrlTRE,
                                        w.cmbAssignCtrlQUATTRO, w.cmbAssignRemote};
            QComboBox *box = boxes[op.a % 5];
            if (box->isEnabled())
                box->setCurrentIndex(op.b % box->count());
            return click(m.btnAssign);
        }
        case Act::Footswitch: {
            if (!effectUsable)
                return false;
            (op.a % 2 ? w.chkChangePresetShortPress : w.chkBypassShortPress)->setChecked(true);
            (op.b % 2 ? w.chkBypassLongPress : w.chkChangePresetLongPress)->setChecked(true);
            return click(m.btnSetFootswitchMode);
        }
        case Act::Tuning:
            if (!effectUsable)
                return false;
            w.cmbGuitarTuning->setCurrentIndex(op.a % w.cmbGuitarTuning->count());
            w.cmbSemitonesVariation->setCurrentIndex(op.b % w.cmbSemitonesVariation->count());
            return click(m.btnSetTuning);
        case Act::SaveParameters:
            return click(m.btnSaveParameters);
        case Act::Defaults:
            return trigger(m.menuSetAssignableParamsToDefault);
        case Act::Option: {
            std::vector<QAction *> options{m.menuStandard,          m.menuLow,
                                           m.menuStoreBypassStatus, m.menuDoNotStoreBypassStatus,
                                           m.menuRangeLimitOFF,     m.menuRangeLimitON,
                                           m.menuLoadFirstPresetAtStartup};
            options.insert(options.end(), m.MIDIChannelItems.begin(), m.MIDIChannelItems.end());
            return trigger(options[static_cast<std::size_t>(op.a) % options.size()]);
        }
        case Act::SavePreset:
            m_fakes.dialogs.fileNames = {m_folder + QStringLiteral("/Saved %1.txt").arg(op.a % 3)};
            m_savedTo = QStringLiteral("Saved %1.txt").arg(op.a % 3);
            return trigger(m.menuSavePreset);
        case Act::LoadPreset: {
            const QStringList names = presetNames();
            if (names.isEmpty())
                return false;
            m_fakes.dialogs.fileNames = {m_folder + QLatin1Char('/') + names[op.a % names.size()]};
            return trigger(m.menuLoadPreset);
        }
        case Act::LibrarySave:
            if (!library().btnSaveAs->isEnabled())
                return false;
            m_fakes.dialogs.texts = {QStringLiteral("Library %1").arg(op.a % 3)};
            m_savedTo = QStringLiteral("Library %1.txt").arg(op.a % 3);
            library().saveAs();
            return true;
        case Act::LibraryLoad: {
            const QStringList names = presetNames();
            if (names.isEmpty())
                return false;
            library().refresh();
            QString name = names[op.a % names.size()];
            name.chop(4);
            library().select(name);
            if (!library().btnLoad->isEnabled())
                return false;
            library().loadSelected();
            return true;
        }
        case Act::Undo:
            return trigger(m.menuUndo);
        case Act::Redo:
            return trigger(m.menuRedo);
        case Act::Compare:
            return trigger(m.menuCompare);
        case Act::Upload:
            return click(m.btnUpload);
        case Act::TuningData:
            return trigger(m.menuUploadTuningsData);
        case Act::Firmware:
            if (!fw().isVisible() && !trigger(m.menuFirmwareUpgradeMode))
                return false;
            if (fw().isVisible() && fw().btnUpgradeFirmware->isEnabled())
                fw().btnUpgradeFirmware->click();
            if (fw().isVisible())
                fw().close();
            return true;
        case Act::ReadEeprom:
            if (!console().btnReadEEPROM->isEnabled())
                return false;
            console().cmbI2Caddr->setCurrentIndex(op.a % console().cmbI2Caddr->count());
            console().btnReadEEPROM->click();
            m_fakes.clock.advance(2500); // the dump comes in through the poll
            return true;
        case Act::RawWrite: {
            if (!console().btnSend->isEnabled())
                return false;
            const int p = op.a % param::Count;
            console().edtAddress->setText(EffectMessages::hex(w.EffectParameters.address(p), 4));
            console().edtData->setText(EffectMessages::hex(static_cast<std::uint32_t>(op.b) * 4099u, 8));
            console().btnSend->click();
            return true;
        }
        case Act::Wait:
            m_fakes.clock.advance(10 + op.a % 3000);
            return true;
        }
        return false;
    }

    // What the editor shows against what the pedal holds; empty when equal.
    std::string showsPedal()
    {
        const std::vector<std::uint8_t> report = pedal().report();
        const PedalSnapshot snap = PedalSnapshot::decode(
            QByteArray(reinterpret_cast<const char *>(report.data()), static_cast<qsizetype>(report.size())));
        TformFXsettings &w = fx();
        TformMain &m = main();
        std::ostringstream out;
        auto expect = [&out](bool same, const std::string &what) {
            if (!same)
                out << what << "; ";
        };
        for (int p = 0; p < param::Count; ++p)
            expect(w.EffectParameters.value(p) == snap.values[static_cast<std::size_t>(p)],
                   "value of " + w.EffectParameters.name(p).toStdString() + " is "
                       + std::to_string(w.EffectParameters.value(p)) + ", the pedal's "
                       + std::to_string(snap.values[static_cast<std::size_t>(p)]));
        EffectControls model = EffectControls::initial();
        model.show(snap.values);
        for (int p = 0; p < param::Count; ++p)
            if (EffectControls::isKnob(p) && w.knobOf(p))
                expect(w.knobOf(p)->angle() == model.angle[static_cast<std::size_t>(p)],
                       "knob " + w.EffectParameters.name(p).toStdString() + " at "
                           + std::to_string(w.knobOf(p)->angle()) + ", the pedal's value shows at "
                           + std::to_string(model.angle[static_cast<std::size_t>(p)]));
        // A switch or list keeps where it stood for a value that is none of
        // its own: the pedal's value says nothing about it then.
        auto value = [&snap](int p) { return snap.values[static_cast<std::size_t>(p)]; };
        if (value(param::Wave) == param::kWaveOn || value(param::Wave) == param::kWaveOff)
            expect(w.swtWave->isOn() == model.wave, "Wave switch");
        if (value(param::Split) <= 1)
            expect(w.swtSplit->isOn() == model.split, "Split switch");
        if (value(param::Attack) == param::kAttackFast || value(param::Attack) == param::kAttackSlow)
            expect(w.swtAttack->isOn() == model.attackSlow, "Attack switch");
        if (std::find(param::HarmonicPitchTable.begin(), param::HarmonicPitchTable.end(), value(param::HarmonicPitch))
            != param::HarmonicPitchTable.end())
            expect(w.cmbVariableWavePitch->currentIndex() == model.pitchIndex, "pitch list");
        expect(w.swtLimitRange->isOn() == model.limitRange, "Limit Range switch");
        expect(w.swtNoiseGateStatus->isOn() == model.noiseGate, "Noise Gate switch");
        expect(w.chkDominantNoteCut->isChecked() == model.dominantCut, "Dominant notes cut box");
        expect(w.chkHighNoteCut->isChecked() == model.highCut, "High notes cut box");
        if (snap.bypass <= 1)
            expect(w.swtBypass->isOn() == (snap.bypass == 1), "Bypass switch");
        if (snap.tuning < w.cmbGuitarTuning->count())
            expect(w.cmbGuitarTuning->currentIndex() == snap.tuning, "tuning list");
        const std::optional<int> semitones = snap.semitones();
        expect(w.cmbSemitonesVariation->currentIndex() == (semitones ? *semitones + 5 : 0), "semitones list");
        QComboBox *const boxes[] = {w.cmbAssignCtrlUNO, w.cmbAssignCtrlDUE, w.cmbAssignCtrlTRE,
                                    w.cmbAssignCtrlQUATTRO};
        for (int c = 0; c < 4; ++c) {
            const int p = snap.assigned[static_cast<std::size_t>(c)] ? snap.controlParameter(c, w.EffectParameters)
                                                                     : -1;
            const int shown = boxes[c]->currentIndex();
            if (p < 0)
                expect(shown == 0, "Control " + std::to_string(c + 1) + " shows an assignment");
            else
                expect(shown > 0 && boxes[c]->currentText() == w.EffectParameters.name(p),
                       "Control " + std::to_string(c + 1) + " shows " + boxes[c]->currentText().toStdString()
                           + ", the pedal's " + w.EffectParameters.name(p).toStdString());
        }
        const std::uint16_t remote = snap.assigned[4] ? snap.assignedCodes[4] : 0;
        expect(w.cmbAssignRemote->currentIndex() == (remote == 0xFFFE ? 1 : remote == 0xFFFD ? 2 : 0),
               "remote footswitch");
        const int mode = snap.footswitchMode;
        if (mode <= 3) {
            expect(w.chkChangePresetShortPress->isChecked() == (mode >= 2), "footswitch short press");
            expect(w.chkBypassLongPress->isChecked() == (mode == 1 || mode == 3), "footswitch long press");
        }
        if (snap.storeBypass <= 1)
            expect(m.menuStoreBypassStatus->isChecked() == (snap.storeBypass == 1), "store bypass option");
        expect(m.menuLow->isChecked() == (snap.instrumentRange == pedal::kInstrumentLow), "instrument range");
        const int channel = snap.midiChannel == 255 ? 0 : snap.midiChannel;
        if (channel <= 16)
            expect(m.MIDIChannelItems[static_cast<std::size_t>(channel)]->isChecked(), "MIDI channel");
        expect(m.menuLoadFirstPresetAtStartup->isChecked() == (snap.firstPreset == pedal::kFirstPresetOn),
               "load first preset option");
        expect(m.lblFirmwareVersion->text() == QStringLiteral("Device Firmware: %1").arg(snap.identity.firmware),
               "firmware label " + m.lblFirmwareVersion->text().toStdString());
        expect(m.lblAlgorithmVersion->text() == QStringLiteral("Device Algorithm: ") + snap.identity.algorithmDigits,
               "algorithm label " + m.lblAlgorithmVersion->text().toStdString());
        return out.str();
    }

    std::optional<Failure> step(const Op &op)
    {
        const qsizetype linesBefore = m_editor->console().lineCount();
        const qsizetype messagesBefore = m_fakes.dialogs.messages.size();
        const int ioErrorsBefore = m_bridge->ioErrors;
        m_savedTo.clear();
        armFault(op);

        int waits = 0, failedWaits = 0;
        bool runaway = false, gaveUp = false;
        m_fakes.clock.onWait = m_fakes.clock.onPause = [&](qint64) {
            ++waits;
            if (op.fault == Fault::HangUp && waits == op.at)
                m_bridge->hangUp();
            // An upload the pedal never answers waits for ever, saying
            // "Upload Failed": the player gives up and unlinks.
            if (!gaveUp && main().lblStatus->text() == QLatin1String("Upload Failed")
                && main().menuDisconnect->isEnabled() && ++failedWaits > 200) {
                gaveUp = true;
                main().menuDisconnect->trigger();
            }
            if (waits > kRunawayWaits && !runaway) {
                runaway = true;
                m_editor->state().Quitting = true; // stop it as closing the editor would
            }
        };
        std::optional<TformMain::RequestResult> request;
        const bool done = perform(op, request);
        ++(done ? tally().done : tally().skipped)[static_cast<int>(op.act)];
        m_fakes.clock.onWait = m_fakes.clock.onPause = nullptr;
        // An operation shorter than that: the cable is pulled after it.
        if (op.fault == Fault::HangUp && waits < op.at)
            m_bridge->hangUp();
        if (runaway)
            return Failure{0, "ended", "the operation never ended"};
        pedal().setFaults({});
        if (op.fault != Fault::None)
            m_fakes.clock.advance(1000); // what the fault left in flight settles

        const QString added = log(linesBefore);
        const QStringList messages = m_fakes.dialogs.messages.mid(messagesBefore);
        if (std::getenv("THARNVIK_SOAK_TRACE"))
            std::cout << "== " << describe(op) << (done ? "" : " (not possible)") << "\n"
                      << added.right(1500).toStdString() << messages.join(QLatin1Char('\n')).toStdString() << "\n";
        const QString said = added + messages.join(QLatin1Char('\n'));

        // The log says what happened.
        // (Once said, a pulled cable need not be said at every poll again.)
        // Unlinking from a pulled cable reaches what was asked: unlinked.
        if (op.act == Act::Unlink && done && m_editor->state().Linked())
            return Failure{0, "unlink", "still linked after Unlink"};
        if (m_bridge->ioErrors > ioErrorsBefore && !m_pullSaid && op.act != Act::Unlink) {
            static const char *const words[] = {"IO error", "stopped", "STOPPED", "lost", "failed", "Failed"};
            for (const char *word : words)
                m_pullSaid = m_pullSaid || said.contains(QLatin1String(word));
            if (!m_pullSaid)
                return Failure{0, "log", "the cable was pulled and nothing says so:\n"
                                             + added.right(800).toStdString()};
        }
        if (m_bridge->ioErrors > ioErrorsBefore && !m_pullMet) {
            m_pullMet = true;
            ++tally().pulls;
        }
        if (!m_bridge->pulled())
            m_pullSaid = m_pullMet = false;
        if (said.contains(QLatin1String("Firmware Upgrade Complete"))) {
            if (pedal().inBootloader() || pedal().state().firmware != 16)
                return Failure{0, "log", "an upgrade said complete, and the pedal is not running the new firmware"};
            ++tally().upgrades;
        }
        if (request && (op.fault == Fault::Silent || op.fault == Fault::Garbage)
            && *request == TformMain::RequestResult::Answered)
            return Failure{0, "log", "a REQUEST to a faulty pedal claimed an answer"};
        if (request && *request != TformMain::RequestResult::Answered
            && *request != TformMain::RequestResult::Refused && !said.contains(QLatin1String("REQUEST stopped"))
            && !said.contains(QLatin1String("did not answer")) && !said.contains(QLatin1String("IO error"))
            && !said.contains(QLatin1String("upgrade")) && !said.contains(QLatin1String("Upload")))
            return Failure{0, "log", "a REQUEST without an answer, and nothing says why:\n"
                                         + added.right(800).toStdString()};

        // Preset files: as they were, or whole.
        const std::map<QString, QByteArray> now = filesNow();
        for (const auto &[name, bytes] : now) {
            const auto was = m_files.find(name);
            if (was != m_files.end() && was->second == bytes)
                continue;
            if (name != m_savedTo)
                return Failure{0, "files", name.toStdString() + " changed, and nothing saved it"};
            if (!Presets::problemOf(bytes).isEmpty())
                return Failure{0, "files", name.toStdString() + " saved in pieces: "
                                               + Presets::problemOf(bytes).toStdString()};
        }
        for (const auto &[name, bytes] : m_files)
            if (!now.count(name))
                return Failure{0, "files", name.toStdString() + " disappeared"};
        m_files = now;

        // The editor shows the pedal.
        if (request && *request == TformMain::RequestResult::Answered && op.fault == Fault::None) {
            const std::string differs = showsPedal();
            if (!differs.empty())
                return Failure{0, "shows", differs};
            ++tally().compared;
        }
        return std::nullopt;
    }

    sim::Config m_config;
    FakeServices m_fakes;
    std::unique_ptr<SimBridge> m_bridge;
    std::unique_ptr<Editor> m_editor;
    QString m_folder;
    std::map<QString, QByteArray> m_files;
    QString m_savedTo;
    bool m_pullSaid = false, m_pullMet = false;
};

std::uint64_t envNumber(const char *name, std::uint64_t fallback)
{
    const char *text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

std::optional<Failure> replay(const std::vector<Op> &ops)
{
    Player player;
    return player.play(ops);
}

// The shortest sequence found that still fails the same check: the ops
// after the failure dropped, then one op at a time while it still fails.
std::vector<Op> shrink(std::vector<Op> ops, Failure &failure)
{
    ops.resize(failure.index + 1);
    QElapsedTimer spent;
    spent.start();
    bool smaller = true;
    while (smaller && spent.elapsed() < 300000) {
        smaller = false;
        for (std::size_t k = ops.size(); k-- > 0 && spent.elapsed() < 300000;) {
            std::vector<Op> fewer = ops;
            fewer.erase(fewer.begin() + static_cast<std::ptrdiff_t>(k));
            if (fewer.empty())
                continue;
            if (std::optional<Failure> f = replay(fewer); f && f->check == failure.check) {
                fewer.resize(f->index + 1);
                ops = std::move(fewer);
                failure = *f;
                smaller = true;
            }
        }
    }
    return ops;
}

void report(std::uint64_t seed, const std::vector<Op> &ops, Failure failure)
{
    const std::vector<Op> shortest = shrink(ops, failure);
    std::ostringstream s;
    s << "seed " << seed << " failed (" << failure.check << "): " << failure.detail << "\n"
      << "shortest sequence found, " << shortest.size() << " operations (replay: THARNVIK_SOAK_SEED=" << seed
      << "):\n";
    for (std::size_t k = 0; k < shortest.size(); ++k)
        s << "  " << k + 1 << ". " << describe(shortest[k]) << "\n";
    ADD_FAILURE() << s.str();
}

} // namespace

TEST(Soak, RandomWorkAndFaultsKeepTheEditorWholeAndTrue)
{
    if (const std::uint64_t seed = envNumber("THARNVIK_SOAK_SEED", 0)) {
        const std::vector<Op> ops = sequenceFor(seed);
        if (std::optional<Failure> f = replay(ops))
            report(seed, ops, *f);
        return;
    }
    const std::uint64_t seconds = envNumber("THARNVIK_SOAK_SECONDS", 60);
    const std::uint64_t first = envNumber("THARNVIK_SOAK_FIRST", 1);
    QElapsedTimer clock;
    clock.start();
    int operations = 0;
    std::uint64_t seed = first;
    for (; clock.elapsed() < static_cast<qint64>(seconds * 1000); ++seed) {
        const std::vector<Op> ops = sequenceFor(seed);
        Player player;
        if (std::optional<Failure> f = player.play(ops, &operations)) {
            report(seed, ops, *f);
            return;
        }
    }
    std::cout << "soak: " << operations << " operations in " << seed - first << " sequences (seeds " << first
              << " to " << seed - 1 << ") without a failure, " << clock.elapsed() / 1000 << " s; "
              << tally().compared << " REQUESTs compared with the pedal, " << tally().pulls << " cable pulls met, "
              << tally().upgrades << " firmware upgrades completed\n";
    for (int a = 0; a <= static_cast<int>(Act::Wait); ++a)
        std::cout << "  " << actName(static_cast<Act>(a)) << ": " << tally().done[a] << " done, "
                  << tally().skipped[a] << " not possible then\n";
}
