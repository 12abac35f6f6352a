#pragma once

#include "EditHistory.h"
#include "EffectMessages.h"
#include "Parameters.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

struct Context;
struct PedalSnapshot;
class ClockTimer;
class KnobControl;
class SwitchControl;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QRadioButton;

// The effect settings window: one control per effect parameter, the
// assignment of parameters to the pedal's spare controls, the footswitch
// behaviour and the tuning. Shown beside the main window.
class TformFXsettings : public QWidget {
    Q_OBJECT
public:
    explicit TformFXsettings(Context &context);
    ~TformFXsettings() override;

    EffectParameterSet EffectParameters;

    // --- controls
    KnobControl *dialDry, *dialMinus1Oct, *dialSubMix, *dialMinus2Oct, *dialLowPass, *dialHighPass, *dialRange,
        *dialDryHPF, *dialInputLevel, *dialClipWave, *dial1stHarmonic, *dialNoiseGateThreshold;
    SwitchControl *swtWave, *swtSplit, *swtBypass, *swtLimitRange, *swtAttack, *swtNoiseGateStatus;
    QLabel *lblAttack;
    QComboBox *cmbGuitarTuning, *cmbSemitonesVariation, *cmbVariableWavePitch;
    QCheckBox *chkDominantNoteCut, *chkHighNoteCut;
    QComboBox *cmbAssignCtrlUNO, *cmbAssignCtrlDUE, *cmbAssignCtrlTRE, *cmbAssignCtrlQUATTRO, *cmbAssignRemote;
    QRadioButton *chkChangePresetLongPress, *chkBypassLongPress, *chkBypassShortPress, *chkChangePresetShortPress;
    QButtonGroup *FtswLongPress, *FtswShortPress;
    QFrame *Rectangle1, *Rectangle2, *Rectangle3, *Line1, *Line2;
    ClockTimer *Timer1;

    // --- state
    bool SendImmediately = false;
    std::array<bool, 5> ControlAssigned{};
    std::uint8_t CurrentTuning = 0;
    std::uint8_t SemitonesVariation = 0;
    std::uint16_t FootswitchMode = 0;
    static constexpr int NoTuningIndex = 0;

    // --- operations
    void FormShow();
    bool ReadParameterAddresses(const QString &firstLine);
    void EnableEffectControls(bool enabled);
    void ApplyParametersToControls(bool sendNow);
    std::uint32_t SendDialValue(KnobControl *knob, int parameter);
    void SendStandardParameter(std::uint32_t value, int parameter);
    void SendAssignableParameter(std::uint32_t value, int parameter);
    void SendBypass(bool on);
    void setDefaultAssignableParameterValues();
    QString BuildAssignMessage();
    QString BuildFootswitchMessage();
    bool FormKeyDown(int key, Qt::KeyboardModifiers shift);

    // What the pedal said in its answer to the REQUEST, shown.
    void ShowFootswitchMode(const PedalSnapshot &snapshot);
    void ReadAssignments(const PedalSnapshot &snapshot);
    void getBypassStatus(const PedalSnapshot &snapshot);
    int ReadParameterValues(const PedalSnapshot &snapshot);
    void ReadTuning(const PedalSnapshot &snapshot);

    // The knob of a knob-driven parameter, or nullptr.
    KnobControl *knobOf(int parameter) const;
    // Whether a knob write waits for Timer1.
    bool knobWritePending() const { return !m_pendingKnobs.empty(); }
    // Writes the knob messages still waiting for Timer1 now: before the
    // pedal is read, so that it answers with the knobs' last turn.
    void writeWaitingKnobs();

    // --- history and compare
    // What the controls show now, the switches read from the switches.
    EffectSettings currentSettings() const;
    EditHistory &history() { return m_history; }
    // Undo or redo one step: the controls show its settings and send what
    // they send for them, at once. False when there is no such step or
    // Compare is on.
    bool undo();
    bool redo();
    // Compare on: the reference's values are sent (those that differ) and
    // shown, read-only, under a "Comparing" marker; off: the edited values
    // go back. The history is not touched.
    void setComparing(bool on);
    bool comparing() const { return m_comparing; }
    // Compare ends without sending anything (the link is gone).
    void dropComparing();
    // A preset's values were applied: one step, and the new reference.
    void presetApplied(const QString &name);
    // The assignable defaults were applied: one step.
    void defaultsApplied();

signals:
    void knobWritten();
    // Ctrl+Shift+P: the debug console.
    void consoleWanted();
    // Ctrl+Z, Ctrl+Y, Ctrl+B: the main window's Edit menu.
    void undoWanted();
    void redoWanted();
    void compareWanted();
    void comparingChanged(bool on);
    // A value was changed by the player (a knob, switch, list or box), by a
    // preset load, undo or redo: the values no longer match the preset
    // loaded or saved last.
    void edited();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Knob {
        KnobControl *control;
        int parameter;
        std::uint32_t fullScale;
    };
    void createControls();
    void layoutControls();
    void setUpKnobs();
    void setTabOrderByLayout();
    void connectHandlers();
    void knobChanged(const Knob &knob);
    void noteCutChanged(QCheckBox *box, int parameter);
    void assignChanged(int control);
    void sendNow(const QString &hex, int bytes);
    void Timer1Timer();
    void applyToControls(bool sendNow, const std::array<int, param::Count> *angles);
    void recordChange(const QString &name, int mergeKey = -1);
    void showSettings(const EffectSettings &settings);
    bool showStep(const std::optional<EffectSettings> &settings);
    void pedalShown();
    EffectMessages::Assignment assignment() const;

    Context &m_ctx;
    std::vector<Knob> m_knobs;
    std::array<QComboBox *, 5> m_assignBoxes{};
    // The newest message of each knob turned since the last Timer1 tick, in
    // the order the knobs were first turned.
    std::vector<std::pair<int, QByteArray>> m_pendingKnobs;

    EditHistory m_history;
    EffectSettings m_recorded;  // what the newest step left, or what was read
    EffectSettings m_beforeCompare;
    bool m_applying = false;    // controls moved by values, not by the player
    bool m_comparing = false;
    QLabel *lblComparing = nullptr;
};
