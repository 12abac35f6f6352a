#pragma once

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

signals:
    void knobWritten();
    // Ctrl+Shift+P: the debug console.
    void consoleWanted();
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
    EffectMessages::Assignment assignment() const;

    Context &m_ctx;
    std::vector<Knob> m_knobs;
    std::array<QComboBox *, 5> m_assignBoxes{};
    // The newest message of each knob turned since the last Timer1 tick, in
    // the order the knobs were first turned.
    std::vector<std::pair<int, QByteArray>> m_pendingKnobs;
};
