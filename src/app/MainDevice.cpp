// The main window's link, request and catalogue operations.
#include "main.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "EffectMessages.h"
#include "FXsettings.h"
#include "FunctionsUnit.h"
#include "FirmwareUpgrade.h"
#include "Guard.h"
#include "PedalContract.h"
#include "PedalSession.h"

#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

namespace {

constexpr auto kNoDevice = "No device found";

QString trueFalse(bool b)
{
    return b ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

void TformMain::connectDeviceHandlers()
{
    Dialogs &d = m_ctx.dialogs();
    connectGuarded(menuScan, &QAction::triggered, this, d, [this] { menuScanClick(); });
    connectGuarded(menuConnect, &QAction::triggered, this, d, [this] { ConnectOnClick(); });
    connectGuarded(menuDisconnect, &QAction::triggered, this, d, [this] { menuDisconnectClick(); });
    connectGuarded(btnRequest, &QPushButton::clicked, this, d, [this] { btnRequestClick(); });
    connectGuarded(Timer_USB_Read, &ClockTimer::timeout, this, d, [this] { Timer_USB_ReadTimer(); });
    // The poll must not read a REQUEST's answer.
    connect(&m_ctx.session, &PedalSession::requestStarted, this, [this] { setPoll(false); });
    connect(lstEffects, &QListWidget::itemClicked, this, [this] { guarded(m_ctx.dialogs(), [this] { effetto_cliccato(); }); });
    lstEffects->installEventFilter(this);
}

void TformMain::setPoll(bool on)
{
    Timer_USB_Read->setEnabled(on);
}

void TformMain::sendBypassOn()
{
    m_ctx.session.setBypass(true);
}

void TformMain::EnumerateDevices()
{
    for (const PedalSession::Bridge &bridge : m_ctx.session.bridges()) {
        if (bridge.serialRead) {
            menuSerialNumber->setText(menuSerialNumber->text() + bridge.serial);
            m_ctx.state.DeviceSerialNumber = bridge.serial;
        }
        if (bridge.descriptionRead)
            lblDeviceName->setText(bridge.description);
    }
}

void TformMain::menuScanClick()
{
    ConsoleModel &log = m_ctx.console;
    lblDeviceName->setText(QStringLiteral("Device Name"));
    // A failed enumeration lists nothing.
    const std::vector<PedalSession::Bridge> bridges = m_ctx.session.bridges();
    log.ConsolePrint(QStringLiteral("FT device count: ") + QString::number(bridges.size()));
    if (bridges.empty()) {
        m_ctx.dialogs().message(QLatin1String(kNoDevice));
        lblDeviceName->setText(QLatin1String(kNoDevice));
        return;
    }
    for (const PedalSession::Bridge &bridge : bridges) {
        if (m_ctx.state.Quitting)
            return;
        // Only the last bridge is kept: one linked before it is unlinked
        // (its latency timer put back, its handle and lock given up) before
        // the next is opened.
        if (m_ctx.state.Linked())
            menuDisconnectClick();
        log.ConsolePrint(QStringLiteral("FT_Device_String: ") + bridge.serial);
        m_ctx.state.DeviceSerialNumber = bridge.serial;
        lblDeviceName->setText(bridge.description);
        Link();
    }
}

void TformMain::ConnectOnClick()
{
    Link();
}

void TformMain::Link()
{
    ConsoleModel &log = m_ctx.console;
    AppState &state = m_ctx.state;

    const PedalSession::Opened link = m_ctx.session.open(state.DeviceSerialNumber);
    const bool opened = link.ok;
    if (opened) {
        lblDeviceName->setText(lblDeviceName->text() + QStringLiteral(" linked"));
    } else if (!link.advice.isEmpty()) {
        // A reason the player can fix: say which, once.
        const QString &text = link.advice;
        log.ConsolePrint(text);
        m_ctx.dialogs().message(QStringLiteral("Could not link to the pedal. ") + text
                                + (text.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".")));
    }

    if (state.FirmwareUpgradeMode) {
        // Greet the bootloader: 0x7F, answered by 0x79.
        renderGreeting(m_ctx.session.upgrade().greetLegacy(),
                       QStringLiteral("Connection to bootloader succeeded, ready for firmware upgrade"), false);
    }

    if (opened) {
        menuFirmwareUpgradeMode->setEnabled(true);
        chkFirmwareUpgradeMode->setEnabled(false);
        menuScan->setEnabled(false);
        menuConnect->setEnabled(false);
        menuDisconnect->setEnabled(true);
        menuEraseSettings->setEnabled(true);
        menuLoadFirstPresetAtStartup->setEnabled(true);
        EnableUSBobjects(true);
        log.ConsolePrint(QStringLiteral("firmware upgrade mode: ") + trueFalse(state.FirmwareUpgradeMode));
        setPoll(!state.FirmwareUpgradeMode);
        // While the bootloader runs only the firmware window works.
        if (state.BootloaderActive())
            EnableUSBobjects(false);
    }

    if (!state.UpgradeModeRequested && !state.Quitting)
        RequestDeviceInfo();
}

void TformMain::menuDisconnectClick()
{
    if (!m_ctx.session.close())
        return;
    lblDeviceName->setText(lblDeviceName->text().remove(QStringLiteral("linked"), Qt::CaseSensitive));
    menuScan->setEnabled(true);
    menuConnect->setEnabled(true);
    menuDisconnect->setEnabled(false);
    for (QPushButton *b : {btnUpload, btnRequest, btnAssign, btnSaveParameters, btnSetFootswitchMode, btnSetTuning})
        b->setEnabled(false);
    menuMIDI->setEnabled(false);
    menuUploadTuningsData->setEnabled(false);
    m_deviceControls = false;
    if (auto *fx = m_effect) {
        fx->dropComparing();
        fx->EnableEffectControls(false);
    }
    menuEraseSettings->setEnabled(false);
    menuLoadPreset->setEnabled(false);
    menuSavePreset->setEnabled(false);
    menuLoadAlgorithmFromFile->setEnabled(false);
    menuInstrumentRange->setEnabled(false);
    menuRangeLimit->setEnabled(false);
    setPoll(false);
    m_ctx.session.forgetExpectedDump();
    menuSetAssignableParamsToDefault->setEnabled(false);
    menuBypassStatus->setEnabled(false);
    menuLoadFirstPresetAtStartup->setEnabled(false);
    updateEditMenu();
    emit deviceControlsEnabled(false);
}

void TformMain::EnableUSBobjects(bool status)
{
    for (QPushButton *b : {btnUpload, btnSaveParameters, btnAssign, btnSetFootswitchMode, btnSetTuning, btnRequest})
        b->setEnabled(status);
    for (QMenu *m : {menuInstrumentRange, menuBypassStatus, menuMIDI, menuRangeLimit})
        m->setEnabled(status);
    for (QAction *a : {menuLoadPreset, menuSavePreset, menuLoadAlgorithmFromFile, menuUploadTuningsData,
                       menuSetAssignableParamsToDefault})
        a->setEnabled(status);
    lstEffects->setEnabled(status);
    m_deviceControls = status;
    if (auto *fx = m_effect) {
        // Without the pedal nothing can play the reference or take it back.
        if (!status)
            fx->dropComparing();
        fx->EnableEffectControls(status);
    }
    updateEditMenu();
    emit deviceControlsEnabled(status);
}

void TformMain::Timer_USB_ReadTimer()
{
    PollIncomingData();
}

void TformMain::PollIncomingData()
{
    switch (m_ctx.session.poll()) {
    case DumpCollector::State::Complete:
        reportDump(true);
        return;
    case DumpCollector::State::Incomplete:
        reportDump(false);
        return;
    case DumpCollector::State::Missing:
        m_ctx.dialogs().message(QStringLiteral("No memory dump came from the pedal after the read"));
        return;
    default:
        return;
    }
}

void TformMain::reportDump(bool complete)
{
    PedalSession &session = m_ctx.session;
    session.logDump(complete);
    const QByteArray &memory = session.dumpMemory();
    if (!complete) {
        m_ctx.dialogs().message(QStringLiteral("Memory dump incomplete: %1 of %2 bytes received")
                                    .arg(memory.size())
                                    .arg(pedal::kDumpBytes));
        return;
    }
    m_ctx.dialogs().message(PedalSession::dumpVerdict(memory));
}

void TformMain::closeEffectWindowIfShown()
{
    if (auto *fx = m_effect; fx && fx->isVisible())
        fx->close();
}

void TformMain::showAlgorithmUploadAdvice()
{
    m_ctx.dialogs().message(QStringLiteral("Upload the latest version of Tharnvik MK3 algorithm:\r\nUpload Tharnvik MK3 00")
                            + QString::number(m_ctx.state.LatestAlgorithmVersion));
}

void TformMain::btnRequestClick()
{
    RequestDeviceInfo();
}

TformMain::RequestResult TformMain::RequestDeviceInfo(bool quietWhenSilent)
{
    AppState &state = m_ctx.state;
    ConsoleModel &log = m_ctx.console;
    PedalSession &session = m_ctx.session;
    endCompare();
    // A knob message still waiting would reach the pedal during the wait for
    // its answer, after the pedal had answered: the knob would then show the
    // value read while the pedal holds the turned one.
    if (m_effect && state.Linked())
        m_effect->writeWaitingKnobs();
    const PedalSession::RequestReply reply = session.request();
    const PedalSession::RequestScope requestScope(session, reply);

    auto endUsable = [&] {
        session.endRequest();
        setPoll(state.Linked() && !state.FirmwareUpgradeMode);
    };
    using Outcome = PedalSession::RequestOutcome;
    switch (reply.outcome) {
    case Outcome::Answered:
        break;
    case Outcome::Refused:
        return RequestResult::Refused;
    case Outcome::Quitting:
        return RequestResult::NoAnswer;
    case Outcome::Silent:
    case Outcome::Short:
    case Outcome::Garbled:
        endUsable();
        if (reply.outcome == Outcome::Silent && !quietWhenSilent)
            m_ctx.dialogs().message(QStringLiteral("The pedal did not answer the request."));
        return RequestResult::NoAnswer;
    }
    // Rendered under the guard, as the exchange was: nothing else asks the
    // pedal while its answer is shown.
    const PedalSession::Exchange rendering = m_ctx.session.exchange();

    const PedalSnapshot &snapshot = reply.snapshot;
    const DeviceIdentity &id = snapshot.identity;
    state.DeviceFirmwareVersion = QString::number(id.firmware);
    lblFirmwareVersion->setText(QStringLiteral("Device Firmware: ") + state.DeviceFirmwareVersion);
    log.ConsolePrint(QStringLiteral("Firmware Version: ") + state.DeviceFirmwareVersion);
    state.DeviceAlgorithmVersion = id.algorithmDigits;
    log.ConsolePrint(QStringLiteral("Algorithm version: ") + state.DeviceAlgorithmVersion);
    lblAlgorithmVersion->setText(QStringLiteral("Device Algorithm: ") + state.DeviceAlgorithmVersion);
    log.ConsolePrint(QStringLiteral("Current device firmware: ") + state.DeviceFirmwareVersion);
    log.ConsolePrint(QStringLiteral("Most recent firmware: ") + QString::number(state.LatestFirmwareVersion));
    state.DeviceEffectNumber = id.effectDigits;
    log.ConsolePrint(QStringLiteral("Effect Number: ") + state.DeviceEffectNumber);

    if (id.firmware < state.LatestFirmwareVersion) {
        closeEffectWindowIfShown();
        m_ctx.dialogs().message(QStringLiteral("A firmware upgrade is required. Upgrade to Firmware ")
                                + QString::number(state.LatestFirmwareVersion));
        m_ctx.dialogs().message(QStringList{
            QStringLiteral("If current firmware is below 9 follow legacy firmware upgrade mode:"),
            QStringLiteral("1) close editor application and disconnect pedal from USB"),
            QStringLiteral("2) hold shift button while connecting pedal to USB"),
            QStringLiteral("3) start application, check Firmware Upgrade Mode in Firmware Upgrade menu"),
            QStringLiteral("4) clink Link under Connection menu"),
            QStringLiteral("5) go to Firmware Upgrade menu again and select Firmware Upgrade"),
            QString(),
            QStringLiteral("If current firmware is 9 or above go to Firmware Upgrade menu and follow instructions."),
        }.join(QStringLiteral("\r\n")));
        EnableUSBobjects(false);
        session.holdForUpgrade();
        return RequestResult::FirmwareTooOld;
    }

    EnableUSBobjects(true);

    // Numbers that are not decimal, or an effect the list does not hold:
    // nothing is taken from any image; the player is sent to the upload.
    const bool knownEffect = id.effect && *id.effect < lstEffects->count();
    if (!id.algorithm || !knownEffect) {
        log.ConsolePrint(QStringLiteral("Unexpected algorithm or effect from the pedal: algorithm %1, effect %2")
                             .arg(id.algorithmDigits, id.effectDigits));
        closeEffectWindowIfShown();
        showAlgorithmUploadAdvice();
        EnableCommandButtons(false);
        endUsable();
        return RequestResult::UnknownIdentity;
    }

    if (*id.algorithm < state.LatestAlgorithmVersion) {
        closeEffectWindowIfShown();
        showAlgorithmUploadAdvice();
        lstEffects->setCurrentRow(*id.effect);
        GetResourceFile();
        EnableCommandButtons(false);
        session.holdForUpgrade();
        return RequestResult::AlgorithmTooOld;
    }

    lstEffects->setCurrentRow(*id.effect);
    GetResourceFile();
    if (auto *fx = m_effect; fx && !fx->isVisible())
        OpenEffectWindow();

    TformFXsettings *fx = m_effect;
    fx->ShowFootswitchMode(snapshot);
    fx->ReadTuning(snapshot);
    fx->ReadAssignments(snapshot);
    fx->getBypassStatus(snapshot);

    switch (snapshot.storeBypass) {
    case 0:
        menuDoNotStoreBypassStatus->setChecked(true);
        menuStoreBypassStatus->setChecked(false);
        break;
    case 1:
        menuDoNotStoreBypassStatus->setChecked(false);
        menuStoreBypassStatus->setChecked(true);
        break;
    default:
        break;
    }

    state.InstrumentRange = snapshot.instrumentRange;
    menuStandard->setCheckable(true);
    menuLow->setCheckable(true);
    if (state.InstrumentRange == pedal::kInstrumentStandard) {
        menuStandard->setChecked(true);
        menuLow->setChecked(false);
    } else if (state.InstrumentRange == pedal::kInstrumentLow) {
        menuStandard->setChecked(false);
        menuLow->setChecked(true);
    }

    const int channel = snapshot.midiChannel;
    for (QAction *item : MIDIChannelItems)
        item->setChecked(false);
    if (channel == 0 || channel == 255)
        MIDIChannelItems[0]->setChecked(true);
    else if (channel >= 1 && channel <= 16)
        MIDIChannelItems[static_cast<std::size_t>(channel)]->setChecked(true);
    log.ConsolePrint(QStringLiteral("MIDI channel: ") + QString::number(channel));

    fx->ReadParameterValues(snapshot);
    const int firstPreset = snapshot.firstPreset;
    if (firstPreset == pedal::kFirstPresetOff) {
        menuLoadFirstPresetAtStartup->setChecked(false);
        log.ConsolePrint(QStringLiteral("Load preset at power ON: FALSE"));
    } else if (firstPreset == pedal::kFirstPresetOn) {
        menuLoadFirstPresetAtStartup->setChecked(true);
        log.ConsolePrint(QStringLiteral("Load preset at power ON: TRUE"));
    }

    EnableUSBobjects(true);
    endUsable();
    return RequestResult::Answered;
}

void TformMain::GetResourceFile()
{
    ConsoleModel &log = m_ctx.console;
    AppState &state = m_ctx.state;
    log.ConsolePrint(QStringLiteral("efx index :") + QString::number(lstEffects->currentRow()));
    QListWidgetItem *item = lstEffects->currentItem();
    state.CurrentEffectName = item ? item->text() : QString();
    log.ConsolePrint(QStringLiteral("selected effect name: ") + state.CurrentEffectName);
    const QString resource = ResourceNameOf(state.CurrentEffectName);
    log.ConsolePrint(QStringLiteral("resource name: ") + resource);
    LoadResourceLines(resource);
    const QString first = state.ResourceLines.isEmpty() ? QString() : state.ResourceLines.constFirst();
    log.ConsolePrint(QStringLiteral("filecontent (first 128 bytes): ") + first.left(256));
}

void TformMain::effetto_cliccato()
{
    GetResourceFile();
    AppState &state = m_ctx.state;
    if (!state.Linked()) {
        OpenEffectWindow();
        return;
    }
    bool decimal = false;
    const int pedalAlgorithm = state.DeviceAlgorithmVersion.toInt(&decimal, 10);
    if (decimal && pedalAlgorithm >= state.LatestAlgorithmVersion) {
        OpenEffectWindow();
        return;
    }
    closeEffectWindowIfShown();
    showAlgorithmUploadAdvice();
    EnableCommandButtons(false);
}

bool TformMain::move_up_or_down(int key)
{
    if (key == Qt::Key_Up) {
        m_ctx.console.ConsolePrint(QStringLiteral("arrow up pressed"));
        if (lstEffects->currentRow() > 0)
            lstEffects->setCurrentRow(lstEffects->currentRow() - 1);
        return true;
    }
    if (key == Qt::Key_Down) {
        m_ctx.console.ConsolePrint(QStringLiteral("arrow down pressed"));
        if (lstEffects->currentRow() < lstEffects->count() - 1)
            lstEffects->setCurrentRow(lstEffects->currentRow() + 1);
        return true;
    }
    return false;
}

void TformMain::lstOctaveClick()
{
    lstEffects->clear();
    if (LoadResourceLines(QStringLiteral("octave")))
        FillEffectsList();
}

void TformMain::OpenEffectWindow()
{
    auto *fx = m_effect;
    if (!fx)
        return;
    if (fx->isVisible())
        fx->close();
    fx->move(frameGeometry().left() + frameGeometry().width(), frameGeometry().top());
    fx->show();
    fx->setWindowTitle(m_ctx.state.CurrentEffectName);
    fx->EnableEffectControls(m_ctx.state.Linked());
}
