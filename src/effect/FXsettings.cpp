#include "FXsettings.h"

#include "EffectControls.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "Context.h"
#include "FunctionsUnit.h"
#include "Guard.h"
#include "PedalSession.h"
#include "KnobControl.h"
#include "KnobMath.h"
#include "Resources.h"
#include "SwitchControl.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>

namespace {

// Assistive technology picks a combo box item by selecting it in the
// (closed) list; the box takes it as its choice. While the list is open the
// user's own browsing is left alone.
void selectableByAssistiveTechnology(QComboBox *box)
{
    auto take = [box](const QModelIndex &index) {
        if (index.isValid() && !box->view()->isVisible() && index.row() != box->currentIndex())
            box->setCurrentIndex(index.row());
    };
    QItemSelectionModel *selection = box->view()->selectionModel();
    QObject::connect(selection, &QItemSelectionModel::currentChanged, box, take);
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, box, [take](const QItemSelection &selected) {
        if (!selected.indexes().isEmpty())
            take(selected.indexes().constFirst());
    });
}

QString crlf(std::initializer_list<const char *> lines)
{
    QStringList out;
    for (const char *l : lines)
        out << QString::fromUtf8(l);
    return out.join(QStringLiteral("\r\n"));
}

} // namespace

TformFXsettings::TformFXsettings(Context &context) : QWidget(nullptr, Qt::Window), m_ctx(context)
{
    setObjectName(QStringLiteral("formFXsettings"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(440, 448);

    // FormCreate: the parameters exist (EffectParameters above), then the
    // controls, their lists and hints; handlers last, so that filling the
    // lists sends nothing.
    createControls();
    layoutControls();
    Timer1 = m_ctx.clock().createTimer(this, 100);
    connectHandlers();
    qApp->installEventFilter(this);
}

TformFXsettings::~TformFXsettings()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void TformFXsettings::createControls()
{
    auto knob = [this](const char *name, const char *caption, int angle) {
        auto *k = new KnobControl(this);
        k->setObjectName(QLatin1String(name));
        k->setCaption(QString::fromUtf8(caption));
        k->setAngle(angle);
        return k;
    };
    dialDry = knob("dialDry", "Dry", -135);
    dialMinus1Oct = knob("dialMinus1Oct", "-1 OCT", -135);
    dialSubMix = knob("dialSubMix", "Sub Mix", -135);
    dialMinus2Oct = knob("dialMinus2Oct", "-2 OCT", -135);
    dialLowPass = knob("dialLowPass", "Low Pass", -138);
    dialHighPass = knob("dialHighPass", "High Pass", -128);
    dialRange = knob("dialRange", "Range", -126);
    dialDryHPF = knob("dialDryHPF", "Dry HPF", -126);
    dialInputLevel = knob("dialInputLevel", "Input Level", -135);
    dialClipWave = knob("dialClipWave", "Wave Clip", -135);
    dial1stHarmonic = knob("dial1stHarmonic", "1st Harmonic", -135);
    dial1stHarmonic->setEnabled(false);
    dialNoiseGateThreshold = knob("dialNoiseGateThreshold", "Threshold", -135);

    using namespace param;
    m_knobs = {
        {dialDry, Dry, kKnobScale}, {dialSubMix, SubMix, kKnobScale}, {dialMinus1Oct, Minus1Oct, kKnobScale},
        {dialMinus2Oct, Minus2Oct, kKnobScale}, {dialLowPass, LowPass, kLowPassScale},
        {dialHighPass, HighPass, kHighPassScale}, {dial1stHarmonic, FirstHarmonic, kKnobScale},
        {dialRange, Range, kRangeScale}, {dialInputLevel, InputLevel, kKnobScale},
        {dialClipWave, WaveClip, kKnobScale}, {dialDryHPF, DryHPF, kKnobScale},
        {dialNoiseGateThreshold, NoiseGateThreshold, kKnobScale},
    };

    auto toggle = [this](const char *name, const char *caption) {
        auto *s = new SwitchControl(this);
        s->setObjectName(QLatin1String(name));
        s->setCaption(QString::fromUtf8(caption));
        return s;
    };
    swtWave = toggle("swtWave", "Wave");
    swtWave->setEnabled(false);
    swtSplit = toggle("swtSplit", "Split");
    swtSplit->setEnabled(false);
    swtBypass = toggle("swtBypass", "Bypass");
    swtLimitRange = toggle("swtLimitRange", "Limit Range");
    // Attack shows its state in its own label; the noise gate switch sits
    // under the group's title. Both are named for screen readers.
    swtAttack = toggle("swtAttack", "");
    swtAttack->setAccessibleName(QStringLiteral("Attack"));
    swtNoiseGateStatus = toggle("swtNoiseGateStatus", "");
    swtNoiseGateStatus->setAccessibleName(QStringLiteral("Noise Gate"));
    lblAttack = new QLabel(QStringLiteral("Attack: Fast"), this);
    lblAttack->setTextFormat(Qt::PlainText);
    lblAttack->setObjectName(QStringLiteral("lblAttack"));

    auto combo = [this](const char *name, const QStringList &items, const QString &accessible) {
        auto *c = new QComboBox(this);
        c->setObjectName(QLatin1String(name));
        c->addItems(items);
        c->setAccessibleName(accessible);
        selectableByAssistiveTechnology(c);
        return c;
    };
    cmbGuitarTuning = combo("cmbGuitarTuning",
                            {"No Tuning Selected", "Standard (EADGBE)", "Drop D (DADGBE)", "DADGAD",
                             "open D (DADF#AD)", "Blues G (DGDGBD)", "Open A (EAC#EAE)", "Open C (CGCGCE)",
                             "Bass Guitar"},
                            QStringLiteral("Tuning"));
    cmbSemitonesVariation = combo("cmbSemitonesVariation", {"-5", "-4", "-3", "-2", "-1", "0", "+1", "+2", "+3"},
                                  QStringLiteral("Semitones"));
    QStringList pitches;
    for (int s = -12; s <= 12; ++s)
        pitches << (s > 0 ? QStringLiteral("+%1").arg(s) : QString::number(s));
    cmbVariableWavePitch = combo("cmbVariableWavePitch", pitches, QStringLiteral("Harmonic Pitch"));
    cmbVariableWavePitch->setMaxVisibleItems(12);
    cmbGuitarTuning->setCurrentIndex(0);
    cmbSemitonesVariation->setCurrentIndex(5);

    chkDominantNoteCut = new QCheckBox(QStringLiteral("Dominant Notes Cut"), this);
    chkDominantNoteCut->setObjectName(QStringLiteral("chkDominantNoteCut"));
    chkHighNoteCut = new QCheckBox(QStringLiteral("High Notes Cut"), this);
    chkHighNoteCut->setObjectName(QStringLiteral("chkHighNoteCut"));

    const QStringList continuous = {QStringLiteral("Not Assigned"), EffectParameters.name(InputLevel),
                                    EffectParameters.name(HarmonicPitch), EffectParameters.name(WaveClip),
                                    EffectParameters.name(DryHPF), EffectParameters.name(NoiseGateThreshold)};
    const QStringList onOff = {QStringLiteral("Not Assigned"), EffectParameters.name(DominantNotesCut),
                               EffectParameters.name(HighNotesCut), EffectParameters.name(LimitRangeUp),
                               EffectParameters.name(NoiseGateStatus), EffectParameters.name(Attack)};
    cmbAssignCtrlUNO = combo("cmbAssignCtrlUNO", continuous, QStringLiteral("Control I"));
    cmbAssignCtrlDUE = combo("cmbAssignCtrlDUE", continuous, QStringLiteral("Control II"));
    cmbAssignCtrlTRE = combo("cmbAssignCtrlTRE", onOff, QStringLiteral("Control III"));
    cmbAssignCtrlQUATTRO = combo("cmbAssignCtrlQUATTRO", onOff, QStringLiteral("Control IV"));
    cmbAssignRemote = combo("cmbAssignRemote", {"Not Assigned", "Bypass", "Preset"}, QStringLiteral("Remote Footswitch"));
    m_assignBoxes = {cmbAssignCtrlUNO, cmbAssignCtrlDUE, cmbAssignCtrlTRE, cmbAssignCtrlQUATTRO, cmbAssignRemote};

    auto radio = [this](const char *name, const char *caption) {
        auto *r = new QRadioButton(QString::fromLatin1(caption), this);
        r->setObjectName(QLatin1String(name));
        return r;
    };
    chkChangePresetLongPress = radio("chkChangePresetLongPress", "Change Preset");
    chkBypassLongPress = radio("chkBypassLongPress", "Bypass");
    chkBypassShortPress = radio("chkBypassShortPress", "Bypass");
    chkChangePresetShortPress = radio("chkChangePresetShortPress", "Change Preset");
    FtswLongPress = new QButtonGroup(this);
    FtswLongPress->setObjectName(QStringLiteral("FtswLongPress"));
    FtswLongPress->addButton(chkChangePresetLongPress);
    FtswLongPress->addButton(chkBypassLongPress);
    FtswShortPress = new QButtonGroup(this);
    FtswShortPress->setObjectName(QStringLiteral("FtswShortPress"));
    FtswShortPress->addButton(chkBypassShortPress);
    FtswShortPress->addButton(chkChangePresetShortPress);
    chkChangePresetLongPress->setChecked(true);
    chkBypassShortPress->setChecked(true);
    // Screen readers say which press a radio button belongs to.
    chkChangePresetLongPress->setAccessibleName(QStringLiteral("Long Press: Change Preset"));
    chkBypassLongPress->setAccessibleName(QStringLiteral("Long Press: Bypass"));
    chkBypassShortPress->setAccessibleName(QStringLiteral("Short Press: Bypass"));
    chkChangePresetShortPress->setAccessibleName(QStringLiteral("Short Press: Change Preset"));

    auto frame = [this](const char *name, QFrame::Shape shape) {
        auto *f = new QFrame(this);
        f->setObjectName(QLatin1String(name));
        f->setFrameShape(shape);
        f->lower();
        return f;
    };
    Rectangle1 = frame("Rectangle1", QFrame::Box);
    Rectangle2 = frame("Rectangle2", QFrame::Box);
    Rectangle3 = frame("Rectangle3", QFrame::Box);
    Line1 = frame("Line1", QFrame::HLine);
    Line2 = frame("Line2", QFrame::HLine);

    dial1stHarmonic->setToolTip(QStringLiteral("Set the level of the first harmonic."));
    cmbVariableWavePitch->setToolTip(QStringLiteral("Set the pitch of the first harmonic from -12 to +12 semitones"));
    chkDominantNoteCut->setToolTip(crlf({"Improves tracking on lowest chord (E-open chord in standard tuning) when RANGE is set high.",
                                         "Make sure to choose the right tuning for your instrument before applying this parameter."}));
    chkHighNoteCut->setToolTip(crlf({"Reduces undesired tracking and noise on specific notes (e.g., open G string and first frets in standard tuning)",
                                     "Ensure your instrument is set to the correct tuning before applying this parameter."}));
    dialInputLevel->setToolTip(crlf({"Set the input signal level for the octave-down effect. This does not affect the dry signal.",
                                     "Adjust if you hear excessive distortion in the sub. By default, it is set to the max position."}));
    cmbGuitarTuning->setToolTip(crlf({"Select the tuning of your instrument and the pitch variation", "in the box below. Example:",
                                      "- if you play in standard tuning 1 half-step down select standard tuning and -1 Pitch.",
                                      "- if you play in standard tuning and use capo on 3rd fret select standard tuning and +3 Pitch."}));
    cmbSemitonesVariation->setToolTip(QStringLiteral("Select the pitch variation in semitones from -5 to +3"));
    dialDryHPF->setToolTip(QStringLiteral("Filters low frequencies from the dry signal"));
    swtLimitRange->setToolTip(QStringLiteral("Limit the tracking range on higher notes."));
    swtNoiseGateStatus->setToolTip(QStringLiteral("Turn ON the noise gate"));
    // Shown while Compare plays the reference.
    lblComparing = new QLabel(QStringLiteral("Comparing"), this);
    lblComparing->setTextFormat(Qt::PlainText);
    lblComparing->setObjectName(QStringLiteral("lblComparing"));
    lblComparing->setAlignment(Qt::AlignCenter);
    lblComparing->setStyleSheet(QStringLiteral("QLabel { background: #FFD700; color: #000000; font-weight: bold; }"));
    lblComparing->hide();

    dialNoiseGateThreshold->setToolTip(QStringLiteral(
        "Set the level where the noise gate starts. When set to minimum, the Noise Gate is OFF. Turn it up to activate "
        "the gate and set the desired threshold."));
    swtAttack->setToolTip(QStringLiteral("Set Sub Attack speed"));
    chkDominantNoteCut->installEventFilter(this);
}

void TformFXsettings::layoutControls()
{
    auto label = [this](const QString &text, int x, int y, QWidget *buddy = nullptr, bool title = false) {
        auto *l = new QLabel(text, this);
        l->setTextFormat(Qt::PlainText);
        l->move(x, y);
        l->adjustSize();
        if (buddy)
            l->setBuddy(buddy);
        if (title) {
            QFont f = l->font();
            f.setBold(true);
            l->setFont(f);
            l->adjustSize();
        }
        return l;
    };
    // Knobs: four across, three rows.
    const int kw = 62, kh = 74;
    const std::array<KnobControl *, 4> rowA = {dialDry, dialMinus1Oct, dialSubMix, dialMinus2Oct};
    const std::array<KnobControl *, 4> rowB = {dialLowPass, dialHighPass, dialRange, dialDryHPF};
    for (int i = 0; i < 4; ++i) {
        rowA[static_cast<std::size_t>(i)]->setGeometry(6 + 64 * i, 4, kw, kh);
        rowB[static_cast<std::size_t>(i)]->setGeometry(6 + 64 * i, 80, kw, kh);
    }
    dialInputLevel->setGeometry(6, 156, kw, kh);
    dialClipWave->setGeometry(70, 156, kw, kh);

    Rectangle1->setGeometry(136, 156, 132, 78);
    dial1stHarmonic->setGeometry(140, 158, kw, kh);
    QLabel *pitch = label(QStringLiteral("Harmonic Pitch"), 204, 162, cmbVariableWavePitch);
    pitch->setWordWrap(true);
    pitch->setGeometry(204, 162, 62, 32);
    cmbVariableWavePitch->setGeometry(204, 198, 62, 24);

    // Switches down the right side.
    swtBypass->setGeometry(276, 6, 156, 24);
    swtWave->setGeometry(276, 32, 156, 24);
    swtSplit->setGeometry(276, 58, 156, 24);
    swtLimitRange->setGeometry(276, 84, 156, 24);
    swtAttack->setGeometry(276, 110, 64, 24);
    lblAttack->setGeometry(344, 114, 90, 18);

    Rectangle3->setGeometry(272, 140, 162, 94);
    label(QStringLiteral("Noise Gate"), 280, 146, nullptr, true);
    swtNoiseGateStatus->setGeometry(280, 172, 64, 24);
    dialNoiseGateThreshold->setGeometry(360, 152, kw, kh);

    Line1->setGeometry(6, 238, 428, 4);

    // Tracking functions and footswitch, bottom left.
    Rectangle2->setGeometry(6, 244, 210, 116);
    label(QStringLiteral("Tracking Functions"), 12, 248, nullptr, true);
    cmbGuitarTuning->setGeometry(12, 268, 198, 24);
    label(QStringLiteral("Semitones"), 12, 300, cmbSemitonesVariation);
    cmbSemitonesVariation->setGeometry(86, 296, 56, 24);
    chkDominantNoteCut->setGeometry(12, 320, 200, 18);
    chkHighNoteCut->setGeometry(12, 339, 200, 18);

    Line2->setGeometry(6, 362, 210, 4);
    label(QStringLiteral("Footswitch Long Press:"), 8, 368);
    chkChangePresetLongPress->setGeometry(16, 386, 110, 18);
    chkBypassLongPress->setGeometry(130, 386, 80, 18);
    label(QStringLiteral("Footswitch Short Press:"), 8, 408);
    chkBypassShortPress->setGeometry(16, 426, 80, 18);
    chkChangePresetShortPress->setGeometry(100, 426, 110, 18);

    // Assignments, bottom right.
    label(QStringLiteral("Assign Controls"), 226, 248, nullptr, true);
    const std::array<const char *, 5> captions = {"Control I", "Control II", "Control III", "Control IV", "Remote Footswitch"};
    for (int c = 0; c < 5; ++c) {
        QComboBox *box = m_assignBoxes[static_cast<std::size_t>(c)];
        const int y = 270 + 34 * c;
        label(QString::fromLatin1(captions[static_cast<std::size_t>(c)]), 226, y, box);
        box->setGeometry(226, y + 14, 206, 20);
    }
    for (QFrame *f : {Rectangle1, Rectangle2, Rectangle3})
        f->lower();
    lblComparing->setGeometry(150, 229, 140, 22);
    lblComparing->raise();
    setUpKnobs();
    setTabOrderByLayout();
}

void TformFXsettings::setUpKnobs()
{
    // Each knob shows its value on its own scale; the wheel and the page keys
    // turn it by whole travel positions (one degree each).
    for (const Knob &k : m_knobs) {
        k.control->setValueTextFunction([scale = k.fullScale](int angle) { return DialValueText(angle, scale); });
        k.control->setWheelStep(1);
        k.control->setPageStep(10);
    }
}

void TformFXsettings::setTabOrderByLayout()
{
    // The rows of knobs left to right, top to bottom (the harmonic's pitch
    // beside its knob); the right side top to bottom, the noise gate's
    // threshold under its switch; the tracking functions and the footswitch
    // bottom left; the assignments bottom right.
    QWidget *const order[] = {
        dialDry, dialMinus1Oct, dialSubMix, dialMinus2Oct,
        dialLowPass, dialHighPass, dialRange, dialDryHPF,
        dialInputLevel, dialClipWave, dial1stHarmonic, cmbVariableWavePitch,
        swtBypass, swtWave, swtSplit, swtLimitRange, swtAttack, swtNoiseGateStatus, dialNoiseGateThreshold,
        cmbGuitarTuning, cmbSemitonesVariation, chkDominantNoteCut, chkHighNoteCut,
        chkChangePresetLongPress, chkBypassLongPress, chkBypassShortPress, chkChangePresetShortPress,
        cmbAssignCtrlUNO, cmbAssignCtrlDUE, cmbAssignCtrlTRE, cmbAssignCtrlQUATTRO, cmbAssignRemote,
    };
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void TformFXsettings::connectHandlers()
{
    Dialogs &d = m_ctx.dialogs();
    for (const Knob &k : m_knobs)
        connect(k.control, &KnobControl::angleChanged, this, [this, k, &d] { guarded(d, [&] { knobChanged(k); }); });

    // Every change the player makes ends as a step of the history, named
    // after its control.
    auto onSwitch = [this, &d](SwitchControl *s, auto handler) {
        connect(s, &SwitchControl::switched, this, [this, s, handler, &d](bool on) {
            guarded(d, [&] {
                handler(on);
                recordChange(s->accessibleName().isEmpty() ? s->caption() : s->accessibleName());
            });
        });
    };
    using namespace param;
    // Wave and Split send even during a REQUEST's readout.
    onSwitch(swtWave, [this](bool on) { SendStandardParameter(on ? kWaveOn : kWaveOff, Wave); });
    onSwitch(swtSplit, [this](bool on) { SendStandardParameter(on ? 1 : 0, Split); });
    onSwitch(swtLimitRange, [this](bool on) {
        if (!m_ctx.state.RequestInProgress)
            SendAssignableParameter(on ? 1 : 0, LimitRangeUp);
    });
    onSwitch(swtNoiseGateStatus, [this](bool on) {
        if (!m_ctx.state.RequestInProgress)
            SendAssignableParameter(on ? 1 : 0, NoiseGateStatus);
    });
    onSwitch(swtAttack, [this](bool on) {
        if (m_ctx.state.RequestInProgress)
            return;
        for (int i = 0; i < 3; ++i)
            SendAssignableParameter(on ? kAttackSlow : kAttackFast, Attack);
        lblAttack->setText(on ? QStringLiteral("Attack: Slow") : QStringLiteral("Attack: Fast"));
    });
    onSwitch(swtBypass, [this](bool on) {
        if (!m_ctx.state.RequestInProgress)
            SendBypass(on);
    });

    connect(cmbVariableWavePitch, &QComboBox::currentIndexChanged, this, [this, &d](int index) {
        guarded(d, [&] {
            if (m_ctx.state.RequestInProgress || index < 0 || index >= int(HarmonicPitchTable.size()))
                return;
            const std::uint32_t value = HarmonicPitchTable[static_cast<std::size_t>(index)];
            const QString message = EffectMessages::parameterWrite(EffectParameters.address(HarmonicPitch), value);
            m_ctx.console.ConsolePrint(QStringLiteral("Send Harmonic Pitch string: ") + message);
            sendNow(message, 7);
            EffectParameters.setValue(HarmonicPitch, value);
            recordChange(cmbVariableWavePitch->accessibleName());
        });
    });
    connect(chkDominantNoteCut, &QCheckBox::toggled, this, [this, &d] {
        guarded(d, [&] {
            noteCutChanged(chkDominantNoteCut, DominantNotesCut);
            recordChange(chkDominantNoteCut->text());
        });
    });
    connect(chkHighNoteCut, &QCheckBox::toggled, this, [this, &d] {
        guarded(d, [&] {
            noteCutChanged(chkHighNoteCut, HighNotesCut);
            recordChange(chkHighNoteCut->text());
        });
    });
    for (int c = 0; c < 5; ++c)
        connect(m_assignBoxes[static_cast<std::size_t>(c)], &QComboBox::currentIndexChanged, this, [this, c, &d] {
            guarded(d, [&] {
                assignChanged(c);
                recordChange(m_assignBoxes[static_cast<std::size_t>(c)]->accessibleName());
            });
        });
    connect(cmbGuitarTuning, &QComboBox::currentIndexChanged, this, [this, &d](int index) {
        if (index >= 0)
            CurrentTuning = static_cast<std::uint8_t>(index);
        guarded(d, [&] { recordChange(cmbGuitarTuning->accessibleName()); });
    });
    connect(cmbSemitonesVariation, &QComboBox::currentIndexChanged, this, [this, &d] {
        SemitonesVariation = static_cast<std::uint8_t>(cmbSemitonesVariation->currentText().toInt() & 0xFF);
        guarded(d, [&] { recordChange(cmbSemitonesVariation->accessibleName()); });
    });
    for (QButtonGroup *group : {FtswShortPress, FtswLongPress}) {
        connect(group, &QButtonGroup::buttonClicked, this, [this, group, &d] {
            guarded(d, [&] {
                recordChange(group == FtswShortPress ? QStringLiteral("Footswitch Short Press")
                                                     : QStringLiteral("Footswitch Long Press"));
            });
        });
    }
    connectGuarded(Timer1, &ClockTimer::timeout, this, d, [this] { Timer1Timer(); });
}

void TformFXsettings::knobChanged(const Knob &knob)
{
    if (m_ctx.state.RequestInProgress)
        return;
    EffectParameters.setValue(knob.parameter, SendDialValue(knob.control, knob.parameter));
    recordChange(EffectParameters.name(knob.parameter), knob.parameter);
}

KnobControl *TformFXsettings::knobOf(int parameter) const
{
    for (const Knob &k : m_knobs) {
        if (k.parameter == parameter)
            return k.control;
    }
    return nullptr;
}

void TformFXsettings::sendNow(const QString &hex, int bytes)
{
    m_ctx.session.send(PedalMessage::fromHex(hex, bytes));
}

std::uint32_t TformFXsettings::SendDialValue(KnobControl *knob, int parameter)
{
    const int snapped = SnapDialAngle(knob->angle());
    if (snapped != knob->angle()) {
        // Moving the knob out of the dead zone is part of this change, not
        // a change of its own.
        const QSignalBlocker block(knob);
        knob->setAngle(snapped);
    }
    const std::uint32_t value = DialAngleToValue(snapped);
    const QString message = EffectMessages::parameterWrite(EffectParameters.address(parameter), value);
    m_ctx.console.ConsolePrint(QStringLiteral("Send ") + EffectParameters.name(parameter)
                               + QStringLiteral(" string (standard par): ") + message);
    const QByteArray bytes = HexToAnsiBytes(message);
    if (SendImmediately) {
        sendNow(message, 7);
    } else {
        // The newest message of this knob waits apart from the others, so that
        // other messages converted meanwhile (another knob's included)
        // cannot replace it.
        auto pending = std::find_if(m_pendingKnobs.begin(), m_pendingKnobs.end(),
                                    [parameter](const auto &p) { return p.first == parameter; });
        if (pending != m_pendingKnobs.end())
            pending->second = bytes;
        else
            m_pendingKnobs.emplace_back(parameter, bytes);
        if (!Timer1->isEnabled()) {
            Timer1->setInterval(100);
            Timer1->setEnabled(true);
        }
    }
    return value;
}

void TformFXsettings::Timer1Timer()
{
    Timer1->setEnabled(false);
    const auto pending = std::move(m_pendingKnobs);
    m_pendingKnobs.clear();
    for (const auto &[parameter, bytes] : pending)
        m_ctx.session.send(bytes.leftJustified(7, '\0', true));
    if (!pending.empty())
        emit knobWritten();
}

void TformFXsettings::writeWaitingKnobs()
{
    if (knobWritePending())
        Timer1Timer();
}

void TformFXsettings::SendStandardParameter(std::uint32_t value, int parameter)
{
    m_ctx.session.sendParameter(EffectParameters.name(parameter), QStringLiteral("standard"),
                                EffectParameters.address(parameter), value);
}

void TformFXsettings::SendAssignableParameter(std::uint32_t value, int parameter)
{
    m_ctx.session.sendParameter(EffectParameters.name(parameter), QStringLiteral("assignable"),
                                EffectParameters.address(parameter), value);
}

void TformFXsettings::SendBypass(bool on)
{
    m_ctx.session.setBypass(on);
}

void TformFXsettings::noteCutChanged(QCheckBox *box, int parameter)
{
    if (m_ctx.state.RequestInProgress)
        return;
    if (cmbGuitarTuning->currentIndex() == NoTuningIndex && box->isChecked()) {
        m_ctx.dialogs().message(QStringLiteral("Set a tuning before using this parameter"));
        const QSignalBlocker block(box);
        box->setChecked(false);
    }
    EffectParameters.setValue(parameter, box->isChecked() ? 1 : 0);
    m_ctx.session.writeToDsp(EffectParameters.address(parameter), EffectParameters.value(parameter));
}

void TformFXsettings::assignChanged(int control)
{
    QComboBox *box = m_assignBoxes[static_cast<std::size_t>(control)];
    ControlAssigned[static_cast<std::size_t>(control)] = box->currentIndex() > 0;
    if (control != 2 && control != 3)
        return;
    if (m_ctx.state.RequestInProgress || m_applying)
        return;
    const QString chosen = box->currentText();
    const bool noteCut = chosen == EffectParameters.name(param::DominantNotesCut)
        || chosen == EffectParameters.name(param::HighNotesCut);
    if (noteCut && CurrentTuning == NoTuningIndex) {
        m_ctx.dialogs().message(QStringLiteral("No tuning selected, Select a tuning before assigning this parameter"));
        box->setCurrentIndex(0);
    }
}

EffectMessages::Assignment TformFXsettings::assignment() const
{
    using namespace param;
    static constexpr int continuous[] = {InputLevel, HarmonicPitch, WaveClip, DryHPF, NoiseGateThreshold};
    static constexpr int onOff[] = {DominantNotesCut, HighNotesCut, LimitRangeUp, NoiseGateStatus, Attack};
    EffectMessages::Assignment a;
    for (int c = 0; c < 4; ++c) {
        QComboBox *box = m_assignBoxes[static_cast<std::size_t>(c)];
        if (box->currentIndex() <= 0)
            continue;
        // The parameter whose name the list shows, among that list's five.
        for (int p : (c < 2 ? continuous : onOff)) {
            if (EffectParameters.name(p) == box->currentText())
                a.controls[static_cast<std::size_t>(c)] = p;
        }
    }
    a.remote = std::max(0, cmbAssignRemote->currentIndex());
    return a;
}

QString TformFXsettings::BuildAssignMessage()
{
    const EffectMessages::Assignment a = assignment();
    QString text = EffectMessages::assign(a, EffectParameters);
    // The flags follow ControlAssigned.
    for (int c = 0; c < 5; ++c)
        text.replace(2 + 2 * c, 2, ControlAssigned[static_cast<std::size_t>(c)] ? QStringLiteral("01") : QStringLiteral("00"));
    m_ctx.console.ConsolePrint(QStringLiteral("lenght of assign message in bytes: ") + QString::number(text.size() / 2));
    m_ctx.console.ConsolePrint(QStringLiteral("assign message: ") + text);
    return text;
}

QString TformFXsettings::BuildFootswitchMessage()
{
    const QString message = EffectMessages::footswitch(chkChangePresetShortPress->isChecked(), chkBypassLongPress->isChecked());
    m_ctx.console.ConsolePrint(QStringLiteral("footswitch behaviour message: ") + message);
    return message;
}

void TformFXsettings::ApplyParametersToControls(bool sendNow)
{
    applyToControls(sendNow, nullptr);
}

void TformFXsettings::applyToControls(bool sendNow, const std::array<int, param::Count> *angles)
{
    using namespace param;
    const QScopedValueRollback applying(m_applying, true);
    SendImmediately = sendNow;
    // What each control shows for the values is the core's model of these
    // controls; the window moves its controls there, in its own order (each
    // moved control sends what it sends).
    EffectControls shown;
    shown.wave = swtWave->isOn();
    shown.split = swtSplit->isOn();
    shown.attackSlow = swtAttack->isOn();
    shown.pitchIndex = cmbVariableWavePitch->currentIndex();
    std::array<std::uint32_t, Count> values{};
    for (int p = 0; p < Count; ++p)
        values[static_cast<std::size_t>(p)] = EffectParameters.value(p);
    shown.show(values);
    // A knob goes to the angle given, else to the one its value shows.
    auto knob = [&](KnobControl *k, int p) {
        k->setAngle((angles ? *angles : shown.angle)[static_cast<std::size_t>(p)]);
    };
    knob(dialDry, Dry);
    knob(dialSubMix, SubMix);
    knob(dialMinus1Oct, Minus1Oct);
    knob(dialMinus2Oct, Minus2Oct);
    swtWave->setOn(shown.wave);
    knob(dialLowPass, LowPass);
    knob(dialHighPass, HighPass);
    knob(dial1stHarmonic, FirstHarmonic);
    swtSplit->setOn(shown.split);
    knob(dialRange, Range);
    knob(dialInputLevel, InputLevel);
    knob(dialClipWave, WaveClip);
    cmbVariableWavePitch->setCurrentIndex(shown.pitchIndex);
    chkDominantNoteCut->setChecked(shown.dominantCut);
    chkHighNoteCut->setChecked(shown.highCut);
    knob(dialDryHPF, DryHPF);
    swtLimitRange->setOn(shown.limitRange);
    swtNoiseGateStatus->setOn(shown.noiseGate);
    knob(dialNoiseGateThreshold, NoiseGateThreshold);
    swtAttack->setOn(shown.attackSlow);
    SendImmediately = false;
}

void TformFXsettings::setDefaultAssignableParameterValues()
{
    using namespace param;
    setComparing(false);
    for (int i = kFirstAssignable; i < Count; ++i)
        EffectParameters.setValue(i, kAssignableDefaults[static_cast<std::size_t>(i - kFirstAssignable)]);
    m_ctx.session.writeAssignableDefaults(EffectParameters);
    ApplyParametersToControls(false);
    defaultsApplied();
}

void TformFXsettings::EnableEffectControls(bool enabled)
{
    // While Compare plays the reference the controls stay read-only.
    enabled = enabled && !m_comparing;
    for (QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        child->setEnabled(enabled);
    lblComparing->setEnabled(true);
}

void TformFXsettings::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    guarded(m_ctx.dialogs(), [this] { FormShow(); });
}

void TformFXsettings::FormShow()
{
    AppState &state = m_ctx.state;
    const QString resource = ResourceNameOf(state.CurrentEffectName);
    m_ctx.console.ConsolePrint(QStringLiteral("resource name: ") + resource);
    try {
        state.ResourceLines = Resources::loadLines(resource);
    } catch (const ResourceError &e) {
        m_ctx.dialogs().message(QStringLiteral("Error loading resource: ") + QString::fromUtf8(e.what()));
    }
    const QString first = state.ResourceLines.isEmpty() ? QString() : state.ResourceLines.constFirst();
    m_ctx.console.ConsolePrint(QStringLiteral("filecontent (first 128 bytes): ") + first.left(256));
    ReadParameterAddresses(first);
    for (QFrame *f : {Line1, Line2, Rectangle1, Rectangle2, Rectangle3})
        f->setStyleSheet(QStringLiteral("QFrame { color: #F8F8FF; border-color: #F8F8FF; }"));
}

bool TformFXsettings::ReadParameterAddresses(const QString &firstLine)
{
    // An image with a bad field changes nothing.
    const AddressReading reading = readParameterAddresses(firstLine, EffectParameters);
    if (!reading.error.isEmpty()) {
        m_ctx.dialogs().message(reading.error);
        return false;
    }
    for (int i = 0; i < param::Count; ++i) {
        if (param::kAddressField[static_cast<std::size_t>(i)] != 0)
            EffectParameters.setAddress(i, reading.addresses[static_cast<std::size_t>(i)]);
    }
    return true;
}

bool TformFXsettings::FormKeyDown(int key, Qt::KeyboardModifiers shift)
{
    // The Edit menu's keys work here too, where the knobs are turned.
    if ((shift & Qt::ControlModifier) && !(shift & (Qt::ShiftModifier | Qt::AltModifier))) {
        switch (key) {
        case Qt::Key_Z: emit undoWanted(); return true;
        case Qt::Key_Y: emit redoWanted(); return true;
        case Qt::Key_B: emit compareWanted(); return true;
        default: break;
        }
    }
    if (key == Qt::Key_P && (shift & Qt::ControlModifier) && (shift & Qt::ShiftModifier)) {
        emit consoleWanted();
        return true;
    }
    return false;
}

bool TformFXsettings::eventFilter(QObject *watched, QEvent *event)
{
    if (windowKeyDown(this, m_ctx.dialogs(), watched, event,
                      [this](int key, Qt::KeyboardModifiers shift) { return FormKeyDown(key, shift); }))
        return true;
    if (watched == chkDominantNoteCut && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent *>(event)->button() == Qt::RightButton)
        m_ctx.console.ConsolePrint(QStringLiteral("Right mouse button clicked!"));
    return QWidget::eventFilter(watched, event);
}
