// The main window's side of the firmware upgrade: Upgrade Mode by the
// current and the legacy path, and the services the firmware window uses.
#include "main.h"

#include "AppState.h"
#include "FirmwareUpgrade.h"
#include "Guard.h"
#include "PedalSession.h"
#include "UpgradeProcedure.h"

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
    m_ctx.session.setUpgradeMode(chkFirmwareUpgradeMode->isChecked());
}

void TformMain::menuStartFirmwareUpgradeClick()
{
    StartFirmwareUpgrade();
}

void TformMain::StartFirmwareUpgrade()
{
    setPoll(false);
    m_ctx.session.upgrade().expectBootloader();
    emit firmwareWindowWanted(QPoint(frameGeometry().left(), frameGeometry().top() + frameGeometry().height()));
    // While the bootloader runs only the firmware window works.
    if (m_ctx.state.BootloaderActive())
        EnableUSBobjects(false);
}

void TformMain::menuFirmwareUpgradeModeClick()
{
    AppState &state = m_ctx.state;
    UpgradeProcedure &upgrade = m_ctx.session.upgrade();
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
        // Back to the application's line settings and its poll.
        m_ctx.session.cancelUpgradeMode();
        if (state.Linked())
            setPoll(true);
        return;
    }
    menuFirmwareUpgradeMode->setChecked(true);
    m_ctx.session.setUpgradeMode(true);
    if (!UpgradeProcedure::entersByMessage(state.DeviceFirmwareVersion)) {
        state.UpgradeModeRequested = true;
        return;
    }
    const UpgradeProcedure::Entry entry = upgrade.enter(
        [this] {
            return m_ctx.dialogs().question(QStringLiteral("Keep SHIFT button on the pedal pressed and click YES."))
                == Answer::Yes;
        },
        [this] { setPoll(false); });
    if (entry == UpgradeProcedure::Entry::Declined) {
        m_ctx.session.setUpgradeMode(false);
        menuFirmwareUpgradeMode->setChecked(false);
        return;
    }
    renderGreeting(entry, QStringLiteral("Release SHIFT button and click OK."), true);
}

void TformMain::renderGreeting(UpgradeProcedure::Entry entry, const QString &greetedMessage, bool offerUpgradeMenu)
{
    switch (entry) {
    case UpgradeProcedure::Entry::Entered:
        break;
    case UpgradeProcedure::Entry::NoAnswer:
        m_ctx.dialogs().message(QStringLiteral("Connection to bootloader failed"));
        return;
    default:
        return;
    }
    m_ctx.dialogs().message(greetedMessage);
    m_ctx.session.setBootloaderLinked();
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
    m_ctx.session.upgrade().confirmRestart([this](bool quiet) { return requestDeviceInformation(quiet); });
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
    m_ctx.session.leaveUpgradeMode();
    btnRequest->setEnabled(true);
    btnUpload->setEnabled(true);
}
