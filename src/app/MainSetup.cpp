// The main window's device setup commands: tuning data, the options the
// pedal keeps, Erase Settings, and the Note Cut window's shortcut.
#include "main.h"

#include "AppFolder.h"
#include "AppState.h"
#include "ConsoleModel.h"
#include "DeviceOptions.h"
#include "FXsettings.h"
#include "FunctionsUnit.h"
#include "Guard.h"
#include "NoteTrackingFilter.h"
#include "PedalContract.h"
#include "PedalSession.h"
#include "TextFiles.h"
#include "Tunings.h"

#include <QAction>
#include <QDir>
#include <QMenu>

namespace {

constexpr auto kInstrumentFile = "Instrument.txt";

} // namespace

void TformMain::connectSetupHandlers()
{
    Dialogs &d = m_ctx.dialogs();
    connectGuarded(menuUploadTuningsData, &QAction::triggered, this, d, [this] { menuUploadTuningsDataClick(); });
    connectGuarded(menuStandard, &QAction::triggered, this, d, [this] { menuStandardClick(); });
    connectGuarded(menuLow, &QAction::triggered, this, d, [this] { menuLowClick(); });
    connectGuarded(menuStoreBypassStatus, &QAction::triggered, this, d, [this] { menuStoreBypassStatusClick(); });
    connectGuarded(menuDoNotStoreBypassStatus, &QAction::triggered, this, d,
                   [this] { menuDoNotStoreBypassStatusClick(); });
    connectGuarded(menuRangeLimitOFF, &QAction::triggered, this, d, [this] { menuRangeLimitOFFClick(); });
    connectGuarded(menuRangeLimitON, &QAction::triggered, this, d, [this] { menuRangeLimitONClick(); });
    connectGuarded(menuLoadFirstPresetAtStartup, &QAction::triggered, this, d,
                   [this] { menuLoadFirstPresetAtStartupClick(); });
    connectGuarded(menuEraseSettings, &QAction::triggered, this, d, [this] { menuEraseSettingsClick(); });
}

void TformMain::menuUploadTuningsDataClick()
{
    ConsoleModel &log = m_ctx.console;
    const QString tuningData = Tunings::BuildTuningData(log);
    if (m_ctx.dialogs().question(QStringLiteral("Upload Tuning Data?")) == Answer::No)
        return;
    m_ctx.session.sendTuningData(tuningData);
}

void TformMain::menuStandardClick()
{
    m_ctx.state.InstrumentRange = pedal::kInstrumentStandard;
    menuStandard->setCheckable(true);
    menuLow->setCheckable(true);
    menuStandard->setChecked(true);
    menuLow->setChecked(false);
    TextFiles::write(QDir(m_ctx.state.AppFolder).filePath(QLatin1String(kInstrumentFile)), QStringLiteral("STANDARD"));
    ChangeInstrument();
}

void TformMain::menuLowClick()
{
    m_ctx.state.InstrumentRange = pedal::kInstrumentLow;
    menuStandard->setCheckable(true);
    menuLow->setCheckable(true);
    menuStandard->setChecked(false);
    menuLow->setChecked(true);
    TextFiles::write(QDir(m_ctx.state.AppFolder).filePath(QLatin1String(kInstrumentFile)), QStringLiteral("LOW"));
    ChangeInstrument();
}

void TformMain::ChangeInstrument()
{
    ConsoleModel &log = m_ctx.console;
    QString text = DeviceOptions::instrumentRangeText(m_ctx.state.InstrumentRange);
    if (text.isEmpty()) {
        // Only the two menu items set a range to send; a value read from the
        // pedal that is neither is not sent back.
        log.ConsolePrint(QStringLiteral("Instrument range %1 unknown: nothing sent").arg(m_ctx.state.InstrumentRange));
        return;
    }
    const QString checksum = QStringLiteral("%1").arg(XorChecksum(text, 7), 2, 16, QLatin1Char('0')).toUpper();
    log.ConsolePrint(QStringLiteral("checksum byte: ") + checksum);
    text += checksum;
    if (m_ctx.dialogs().question(QStringLiteral("Change current Instrument?")) == Answer::No)
        return;
    log.ConsolePrint(text);
    m_ctx.session.send(PedalMessages::option(text));
}

void TformMain::menuStoreBypassStatusClick()
{
    menuStoreBypassStatus->setChecked(true);
    menuDoNotStoreBypassStatus->setChecked(false);
    ChangeStoreBypassStatus(true);
}

void TformMain::menuDoNotStoreBypassStatusClick()
{
    menuStoreBypassStatus->setChecked(false);
    menuDoNotStoreBypassStatus->setChecked(true);
    ChangeStoreBypassStatus(false);
}

void TformMain::ChangeStoreBypassStatus(bool store)
{
    const QString text = DeviceOptions::storeBypassText(store);
    m_ctx.console.ConsolePrint(text);
    m_ctx.session.send(PedalMessages::option(text));
}

void TformMain::menuRangeLimitONClick()
{
    m_ctx.console.ConsolePrint(QStringLiteral("********************RANGE LIMIT ON********************"));
    RangeLimit(1);
    menuRangeLimitON->setCheckable(true);
    menuRangeLimitOFF->setCheckable(true);
    menuRangeLimitON->setChecked(true);
    menuRangeLimitOFF->setChecked(false);
}

void TformMain::menuRangeLimitOFFClick()
{
    m_ctx.console.ConsolePrint(QStringLiteral("********************RANGE LIMIT OFF********************"));
    RangeLimit(0);
    menuRangeLimitON->setCheckable(true);
    menuRangeLimitOFF->setCheckable(true);
    menuRangeLimitOFF->setChecked(true);
    menuRangeLimitON->setChecked(false);
}

void TformMain::RangeLimit(std::uint8_t status)
{
    const QString text = DeviceOptions::option11Text(status == 1);
    m_ctx.console.ConsolePrint(text);
    m_ctx.session.send(PedalMessages::option(text));
}

void TformMain::menuLoadFirstPresetAtStartupClick()
{
    // The item is checkable: the click has already inverted its tick.
    const QString text = DeviceOptions::option11Text(menuLoadFirstPresetAtStartup->isChecked());
    m_ctx.console.ConsolePrint(text);
    m_ctx.session.send(PedalMessages::option(text));
}

void TformMain::menuMIDIchannelsClickItem(QAction *sender)
{
    const QString caption = sender->text();
    ConsoleModel &log = m_ctx.console;
    log.appendDirect(QStringLiteral("Midi channel: ") + caption);
    const QString code = DeviceOptions::midiChannelCode(caption);
    if (code.isEmpty()) {
        log.ConsolePrint(QStringLiteral("MIDI channel \"%1\" unknown: nothing sent").arg(caption));
        return;
    }
    const QString text = DeviceOptions::midiChannelText(code);
    log.ConsolePrint(text);
    m_ctx.session.send(PedalMessages::option(text));
}

void TformMain::menuEraseSettingsClick()
{
    Dialogs &dialogs = m_ctx.dialogs();
    if (dialogs.question(DeviceOptions::eraseSettingsQuestion()) == Answer::No)
        return;
    m_ctx.console.ConsolePrint(QStringLiteral("********************ERASE EEPROM 1********************"));
    m_ctx.session.eraseEeprom(QStringLiteral("50"));
    m_ctx.session.settleEeprom();
    if (dialogs.question(QStringLiteral("Memory has been erased, do you want to make a memory check now?")) == Answer::Yes) {
        m_ctx.session.sendEepromRead(QStringLiteral("50"));
        m_ctx.session.settleEeprom();
    }
}

void TformMain::ShowNoteTrackingFilter()
{
    emit noteCutWanted();
}
