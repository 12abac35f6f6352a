// The main window's side of the firmware upgrade: Upgrade Mode by the
// current and the legacy path, and the services the firmware window uses.
#include "main.h"

#include "AppState.h"
#include "Communication.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "FXsettings.h"
#include "FirmwareUpgrade.h"
#include "Guard.h"
#include "PedalContract.h"
#include "PedalSession.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>

void TformMain::connectFirmwareHandlers()
{
    Dialogs &d = m_ctx.dialogs();
    connectGuarded(menuFirmwareUpgradeMode, &QAction::triggered, this, d, [this] { menuFirmwareUpgradeModeClick(); });
    connectGuarded(menuStartFirmwareUpgrade, &QAction::triggered, this, d, [this] { menuStartFirmwareUpgradeClick(); });
    connectGuarded(chkFirmwareUpgradeMode, &QCheckBox::toggled, this, d, [this] { chkFirmwareUpgradeModeChange(); });
}

void TformMain::chkFirmwareUpgradeModeChange()
{
    m_ctx.state.FirmwareUpgradeMode = chkFirmwareUpgradeMode->isChecked();
}

void TformMain::menuStartFirmwareUpgradeClick()
{
    StartFirmwareUpgrade();
}

void TformMain::StartFirmwareUpgrade()
{
    setPoll(false);
    m_ctx.usb.FtErrorReporting = false;
    emit firmwareWindowWanted(QPoint(frameGeometry().left(), frameGeometry().top() + frameGeometry().height()));
    // While the bootloader runs only the firmware window works.
    if (m_ctx.state.BootloaderActive())
        EnableUSBobjects(false);
}

void TformMain::menuFirmwareUpgradeModeClick()
{
    AppState &state = m_ctx.state;
    D2XXUnit &usb = m_ctx.usb;
    // The action toggled its own mark; the mark follows the steps below.
    const bool wasMarked = !menuFirmwareUpgradeMode->isChecked();
    if (wasMarked) {
        if (state.BootloaderActive()) {
            // The pedal is still in its bootloader: the way out is the window.
            menuFirmwareUpgradeMode->setChecked(true);
            StartFirmwareUpgrade();
            return;
        }
        menuFirmwareUpgradeMode->setChecked(false);
        state.FirmwareUpgradeMode = false;
        // Back to the application's line settings and its poll.
        usb.SetUsbLinkParameters(0);
        if (state.Linked()) {
            usb.SetUsbDataCharacteristics();
            setPoll(true);
        }
        return;
    }
    menuFirmwareUpgradeMode->setChecked(true);
    state.FirmwareUpgradeMode = true;
    bool known = false;
    const int firmware = state.DeviceFirmwareVersion.toInt(&known);
    if (state.DeviceFirmwareVersion == QLatin1String("0") || !known || firmware < 9) {
        state.UpgradeModeRequested = true;
        return;
    }
    sendBypassOn();
    if (m_ctx.dialogs().question(QStringLiteral("Keep SHIFT button on the pedal pressed and click YES.")) == Answer::No) {
        state.FirmwareUpgradeMode = false;
        menuFirmwareUpgradeMode->setChecked(false);
        return;
    }
    const PedalSession::Greeting greeting = m_ctx.session.enterBootloader([this] { setPoll(false); });
    renderGreeting(greeting, QStringLiteral("Release SHIFT button and click OK."), true);
}

void TformMain::renderGreeting(PedalSession::Greeting greeting, const QString &greetedMessage, bool offerUpgradeMenu)
{
    switch (greeting) {
    case PedalSession::Greeting::Refused:
        return;
    case PedalSession::Greeting::NoAnswer:
    case PedalSession::Greeting::WrongAnswer:
        m_ctx.dialogs().message(QStringLiteral("Connection to bootloader failed"));
        return;
    case PedalSession::Greeting::Greeted:
        break;
    }
    m_ctx.dialogs().message(greetedMessage);
    m_ctx.state.Link = LinkState::Bootloader;
    menuStartFirmwareUpgrade->setEnabled(true);
    btnRequest->setEnabled(false);
    btnUpload->setEnabled(false);
    if (offerUpgradeMenu)
        menuFirmwareUpgrade->setEnabled(true);
    StartFirmwareUpgrade();
}

bool TformMain::requestDeviceInformation(bool quiet)
{
    const RequestResult r = RequestDeviceInfo(quiet);
    return r != RequestResult::NoAnswer && r != RequestResult::Refused;
}

void TformMain::firmwareStarted()
{
    if (!requestDeviceInformation(true)) {
        // The firmware may still be starting: one more try a moment later.
        m_ctx.clock().pause(500);
        requestDeviceInformation(false);
    }
    setPoll(true);
}

bool TformMain::pollTimerOn() const
{
    return Timer_USB_Read->isEnabled();
}

void TformMain::upgradeModeEnded()
{
    menuFirmwareUpgradeMode->setChecked(false);
    menuStartFirmwareUpgrade->setEnabled(false);
    m_ctx.state.FirmwareUpgradeMode = false;
    btnRequest->setEnabled(true);
    btnUpload->setEnabled(true);
}
