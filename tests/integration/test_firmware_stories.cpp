// Firmware upgrades against the virtual pedal's bootloader and flash.
#include "PedalStack.h"
#include "AppState.h"
#include "D2XXUnit.h"
#include "FirmwareUpgrade.h"
#include "Story.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

namespace {

class FirmwareStory : public Story {
protected:
    TformFirmwareUpgrade &fw() { return *editor->windows().formFirmwareUpgrade; }
    sim::Stm32Bootloader &flash() { return *bridge->pedal().flashBootloader(); }

    // A pedal running firmware 15, linked, then into its bootloader by the
    // enter-bootloader message.
    TformMain &inBootloader(sim::Faults faults = {})
    {
        sim::Config config;
        config.firmware = 15;
        config.paced = true;
        config.faults = faults;
        TformMain &m = start(config);
        m.menuScan->trigger();
        EXPECT_EQ(m.lblFirmwareVersion->text(), QStringLiteral("Device Firmware: 15"));
        m.menuFirmwareUpgradeMode->trigger();
        EXPECT_TRUE(bridge->pedal().inBootloader());
        EXPECT_TRUE(fw().isVisible());
        return m;
    }
    void expectRunning16(TformMain &m)
    {
        EXPECT_FALSE(bridge->pedal().inBootloader());
        EXPECT_EQ(m.lblFirmwareVersion->text(), QStringLiteral("Device Firmware: 16"));
        EXPECT_EQ(bridge->parity(), 0);
        EXPECT_FALSE(fw().isVisible());
        EXPECT_FALSE(m.menuFirmwareUpgradeMode->isChecked());
        EXPECT_TRUE(m.btnRequest->isEnabled());
        EXPECT_TRUE(m.Timer_USB_Read->isEnabled());
        EXPECT_EQ(flash().versionRecord(), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 16}));
    }
    bool claimedSuccess() const
    {
        return fakes.dialogs.messages.contains(QStringLiteral("Firmware Upgrade Complete, device will now restart"));
    }
};

} // namespace

TEST_F(FirmwareStory, CurrentPathWritesTheImageAndThePedalStartsIt)
{
    TformMain &m = inBootloader();
    EXPECT_EQ(bridge->parity(), 2); // even
    fw().btnUpgradeFirmware->click();
    EXPECT_TRUE(claimedSuccess());
    expectRunning16(m);
    // The first request after Go meets the firmware still starting; the
    // second, half a second later, is answered; the first one's silence
    // is only logged.
    EXPECT_GE(std::count(fakes.clock.pauses.begin(), fakes.clock.pauses.end(), 500), 1);
    EXPECT_TRUE(log().contains("REQUEST stopped: 0 of 107"));
    EXPECT_FALSE(fakes.dialogs.messages.contains("The pedal did not answer the request."));
}

TEST_F(FirmwareStory, LegacyPathUpgradesAPedalThatStartsInItsBootloader)
{
    sim::Config config;
    config.startInBootloader = true;
    config.paced = true;
    TformMain &m = start(config);
    m.menuFirmwareUpgradeMode->trigger(); // remembered until the link
    m.menuScan->trigger();
    ASSERT_TRUE(fw().isVisible()) << log().toStdString();
    fw().btnUpgradeFirmware->click();
    EXPECT_TRUE(claimedSuccess());
    expectRunning16(m);
}

TEST_F(FirmwareStory, AFailedStepStopsAndTryingAgainSucceeds)
{
    // Steps count the bootloader's answers: 1 the synchronisation, 2 and 3
    // the erase, then three for each chunk (command, address, data; the
    // editor counts chunks from 0).
    struct Case {
        const char *name;
        sim::Faults faults;
        const char *step;
    };
    auto nackAt = [](int step) { sim::Faults f; f.bootNackAt = step; return f; };
    auto silentAt = [](int step) { sim::Faults f; f.bootSilentAt = step; return f; };
    auto garbageAt = [](int step) { sim::Faults f; f.bootGarbageAt = step; return f; };
    const Case cases[] = {
        {"NACK to the erase", nackAt(3), "the global erase"},
        {"silence after an address frame", silentAt(5), "the write address"},
        {"NACK to a data frame half-way", nackAt(3 * 100 + 3), "the data of chunk"},
        {"garbage to a data frame", garbageAt(3 * 7 + 3), "the data of chunk"},
        {"silence after the version record", silentAt(3 * 211 + 6), "the version record"},
    };
    for (const Case &c : cases) {
        fakes.dialogs.messages.clear();
        TformMain &m = inBootloader(c.faults);
        fw().btnUpgradeFirmware->click();
        EXPECT_FALSE(claimedSuccess()) << c.name;
        ASSERT_FALSE(fakes.dialogs.messages.isEmpty()) << c.name;
        EXPECT_TRUE(fakes.dialogs.messages.last().contains(QLatin1String(c.step)))
            << c.name << ": " << fakes.dialogs.messages.last().toStdString();
        EXPECT_TRUE(bridge->pedal().inBootloader()) << c.name; // no jump into the incomplete image
        EXPECT_TRUE(fw().isVisible()) << c.name;
        // The fault happened once; the whole sequence again succeeds.
        fw().btnUpgradeFirmware->click();
        EXPECT_TRUE(claimedSuccess()) << c.name;
        expectRunning16(m);
    }
}

TEST_F(FirmwareStory, ClosingAfterAFailureLeavesThePedalInItsBootloaderForTheLegacyPath)
{
    sim::Faults faults;
    faults.bootNackAt = 3 * 50 + 3;
    TformMain &m = inBootloader(faults);
    fw().btnUpgradeFirmware->click();
    fw().close();
    EXPECT_TRUE(bridge->pedal().inBootloader());
    EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("The pedal stays in its bootloader"));
    EXPECT_TRUE(editor->pedal().usb().FtErrorReporting); // what fails from now on is said
    // Upgrade Mode brings the window back and the upgrade completes.
    m.menuFirmwareUpgradeMode->trigger();
    ASSERT_TRUE(fw().isVisible());
    fw().btnUpgradeFirmware->click();
    expectRunning16(m);
}

TEST_F(FirmwareStory, HangUpMidWriteIsAFailureNotASuccess)
{
    sim::Faults faults;
    faults.bootHangUpAfterChunks = 40;
    TformMain &m = inBootloader(faults);
    fw().btnUpgradeFirmware->click();
    EXPECT_FALSE(claimedSuccess());
    // The line drops at the next command after chunk 40's data.
    EXPECT_TRUE(fakes.dialogs.messages.last().contains("the write command at address 0x08002800"))
        << fakes.dialogs.messages.last().toStdString();
    EXPECT_TRUE(bridge->pedal().inBootloader());
    EXPECT_FALSE(fw().writing());
    EXPECT_TRUE(fw().btnUpgradeFirmware->isEnabled());
    // The line is gone: unlinking still works and leaves the editor usable.
    fw().close();
    m.menuDisconnect->trigger();
    EXPECT_FALSE(editor->state().Linked());
    EXPECT_TRUE(m.menuScan->isEnabled());
}

TEST_F(FirmwareStory, ARefusedGoLeavesTheWrittenPedalInItsBootloaderAndSaysSo)
{
    for (int goStep : {3 * 211 + 7, 3 * 211 + 8}) { // the command, then its address
        sim::Faults faults;
        faults.bootNackAt = goStep;
        TformMain &m = inBootloader(faults);
        fw().btnUpgradeFirmware->click();
        EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("The pedal did not start its firmware")) << goStep;
        EXPECT_TRUE(bridge->pedal().inBootloader()) << goStep;
        EXPECT_TRUE(fw().isVisible()) << goStep;
        EXPECT_TRUE(editor->state().BootloaderActive()) << goStep;
        // Closing the window now sends Go again: the image is complete.
        fw().close();
        expectRunning16(m);
    }
}
