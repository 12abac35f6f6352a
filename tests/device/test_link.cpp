#include "PedalStack.h"
#include "AppState.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "Editor.h"
#include "FXsettings.h"
#include "Fakes.h"
#include "EditorFixture.h"
#include "PedalSession.h"
#include "RecordingFtd2xx.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class LinkTest : public EditorFixture {
protected:
    bool commandButtonsEnabled(TformMain &m) const
    {
        return m.btnRequest->isEnabled() && m.btnSaveParameters->isEnabled() && m.btnAssign->isEnabled()
            && m.btnSetFootswitchMode->isEnabled() && m.btnSetTuning->isEnabled();
    }
};

} // namespace

TEST_F(LinkTest, QuietEnumerationAtStartUp)
{
    TformMain &m = start({{"AAA1", "First"}, {"BBB2", "Second"}});
    EXPECT_EQ(m.menuSerialNumber->text(), QStringLiteral("Device Serial: AAA1BBB2"));
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("Second"));
    EXPECT_EQ(editor->console().lineCount(), 0);
    EXPECT_FALSE(ft().open);
}

TEST_F(LinkTest, ScanWithoutDevices)
{
    TformMain &m = start({});
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("No device found"));
    m.menuScan->trigger();
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"No device found"});
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("No device found"));
    EXPECT_TRUE(log().contains("FT device count: 0"));
    EXPECT_FALSE(editor->state().Linked());
}

TEST_F(LinkTest, ScanLinksAndRequests)
{
    TformMain &m = start();
    m.menuScan->trigger();
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty()) << fakes.dialogs.messages.join("|").toStdString();
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("Tharnvik MK3 linked"));
    EXPECT_TRUE(editor->state().Linked());
    EXPECT_EQ(ft().allWritten(), QByteArray::fromHex("0200"));
    EXPECT_EQ(ft().calls.mid(0, 7), (QStringList{"FT_ListDevices(count,0x80000000)",
                                                 "FT_ListDevices(0,buffer,0x40000001)",
                                                 "FT_ListDevices(0,buffer,0x40000002)",
                                                 "FT_ListDevices(count,0x80000000)",
                                                 "FT_ListDevices(0,buffer,0x40000001)",
                                                 "FT_ListDevices(0,buffer,0x40000002)",
                                                 "FT_OpenEx(THV001,1)"}));
    EXPECT_TRUE(log().contains("FT_HANDLE: 0x1A2B3C01"));
    EXPECT_TRUE(log().contains("baud rate = 115200"));
    EXPECT_TRUE(log().contains("firmware upgrade mode: False"));
    EXPECT_EQ(m.lblFirmwareVersion->text(), QStringLiteral("Device Firmware: 16"));
    EXPECT_EQ(m.lblAlgorithmVersion->text(), QStringLiteral("Device Algorithm: 0015"));
    EXPECT_TRUE(commandButtonsEnabled(m));
    EXPECT_TRUE(m.btnUpload->isEnabled());
    EXPECT_FALSE(m.menuScan->isEnabled());
    EXPECT_TRUE(m.menuDisconnect->isEnabled());
    EXPECT_TRUE(m.Timer_USB_Read->isEnabled());
    EXPECT_FALSE(editor->state().RequestInProgress);
    // The option menus follow the answer.
    EXPECT_TRUE(m.menuStoreBypassStatus->isChecked());
    EXPECT_FALSE(m.menuDoNotStoreBypassStatus->isChecked());
    EXPECT_TRUE(m.menuLow->isChecked());
    EXPECT_FALSE(m.menuStandard->isChecked());
    for (int i = 0; i <= 16; ++i)
        EXPECT_EQ(m.MIDIChannelItems[static_cast<std::size_t>(i)]->isChecked(), i == 5) << i;
    EXPECT_TRUE(m.menuLoadFirstPresetAtStartup->isChecked());
    EXPECT_TRUE(log().contains("Load preset at power ON: TRUE"));
    // Entry 0 selected, the effect window opened beside the main window.
    auto *fx = editor->windows().formFXsettings;
    EXPECT_TRUE(fx->isVisible());
    EXPECT_EQ(fx->windowTitle(), QStringLiteral("Tharnvik MK3 0015"));
    EXPECT_EQ(m.lstEffects->currentRow(), 0);
    EXPECT_EQ(editor->state().CurrentEffectName, QStringLiteral("Tharnvik MK3 0015"));
}

TEST_F(LinkTest, OptionValuesOutsideTheirSetsChangeNothing)
{
    answer[23] = 7;
    answer[24] = 1;
    answer[25] = 17;
    answer[106] = 0;
    TformMain &m = start();
    m.menuScan->trigger();
    EXPECT_TRUE(m.menuDoNotStoreBypassStatus->isChecked());
    EXPECT_FALSE(m.menuLow->isChecked());
    for (QAction *item : m.MIDIChannelItems)
        EXPECT_FALSE(item->isChecked());
    EXPECT_TRUE(log().contains("MIDI channel: 17"));
    EXPECT_FALSE(log().contains("Load preset at power ON"));
}

TEST_F(LinkTest, TwoBridgesAreLinkedInTurn)
{
    TformMain &m = start({{"AAA1", "First"}, {"BBB2", "Second"}});
    m.menuScan->trigger();
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("Second linked"));
    EXPECT_EQ(editor->pedal().usb().handle, 0x1A2B3C02u);
    // The first bridge is given back whole (its latency timer, its handle)
    // before the second is opened; only the second stays held.
    QStringList order;
    for (const QString &call : ft().calls) {
        if (call.startsWith("FT_OpenEx") || call.startsWith("FT_Close") || call.startsWith("FT_SetLatencyTimer"))
            order << call;
    }
    EXPECT_EQ(order, (QStringList{"FT_OpenEx(AAA1,1)", "FT_SetLatencyTimer(1)", "FT_SetLatencyTimer(16)",
                                  "FT_Close(439041025)", "FT_OpenEx(BBB2,1)", "FT_SetLatencyTimer(1)"}));
    EXPECT_EQ(ft().allWritten(), QByteArray::fromHex("02000200")); // each bridge asked once
    EXPECT_TRUE(editor->state().Linked());

    // When the last bridge cannot be opened, nothing is held and the editor is unlinked.
    m.menuDisconnect->trigger();
    ft().calls.clear();
    ft().onWrite = [this](const QByteArray &bytes) {
        if (bytes == QByteArray::fromHex("0200")) {
            ft().rx += answerText(answer);
            ft().fail["FT_OpenEx"] = ft::DEVICE_NOT_OPENED; // the second bridge is held elsewhere
        }
    };
    m.menuScan->trigger();
    EXPECT_EQ(ft().callNames().count("FT_Close"), 1);
    EXPECT_FALSE(ft().open);
    EXPECT_FALSE(editor->state().Linked());
    EXPECT_TRUE(m.menuScan->isEnabled());
    EXPECT_FALSE(m.menuDisconnect->isEnabled());
    EXPECT_FALSE(m.btnRequest->isEnabled());
    EXPECT_FALSE(m.Timer_USB_Read->isEnabled());
}

TEST_F(LinkTest, UnlinkAndRelink)
{
    TformMain &m = start();
    m.menuScan->trigger();
    m.menuDisconnect->trigger();
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("Tharnvik MK3 "));
    EXPECT_FALSE(editor->state().Linked());
    EXPECT_FALSE(m.btnRequest->isEnabled());
    EXPECT_FALSE(m.Timer_USB_Read->isEnabled());
    EXPECT_TRUE(m.menuScan->isEnabled());
    EXPECT_TRUE(m.lstEffects->isEnabled());
    m.menuScan->trigger();
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("Tharnvik MK3 linked"));

    // A failed close changes nothing.
    ft().fail["FT_Close"] = ft::IO_ERROR;
    m.menuDisconnect->trigger();
    EXPECT_TRUE(editor->state().Linked());
    EXPECT_TRUE(m.btnRequest->isEnabled());
}

TEST_F(LinkTest, FirmwareTooOld)
{
    answer[0] = 15;
    TformMain &m = start();
    m.menuScan->trigger();
    ASSERT_EQ(fakes.dialogs.messages.size(), 2);
    EXPECT_EQ(fakes.dialogs.messages[0], QStringLiteral("A firmware upgrade is required. Upgrade to Firmware 16"));
    EXPECT_TRUE(fakes.dialogs.messages[1].startsWith("If current firmware is below 9 follow legacy firmware upgrade mode:\r\n1) close"));
    EXPECT_TRUE(fakes.dialogs.messages[1].endsWith("\r\n\r\nIf current firmware is 9 or above go to Firmware Upgrade menu and follow instructions."));
    EXPECT_FALSE(m.btnUpload->isEnabled());
    EXPECT_FALSE(m.btnRequest->isEnabled());
    EXPECT_FALSE(m.Timer_USB_Read->isEnabled());
    EXPECT_TRUE(editor->state().RequestInProgress);
    EXPECT_EQ(editor->session().requestState(), PedalSession::RequestState::HeldForUpgrade);
    // The stop does not block the request that follows, which ends the hold.
    EXPECT_FALSE(editor->state().ExchangeWaiting);
    answer[0] = 16;
    m.RequestDeviceInfo();
    EXPECT_EQ(editor->session().requestState(), PedalSession::RequestState::Idle);
    EXPECT_FALSE(editor->state().RequestInProgress);
    EXPECT_TRUE(m.Timer_USB_Read->isEnabled());
}

TEST_F(LinkTest, AlgorithmTooOld)
{
    answer[2] = 0x14;
    TformMain &m = start();
    m.menuScan->trigger();
    EXPECT_EQ(fakes.dialogs.messages,
              QStringList{"Upload the latest version of Tharnvik MK3 algorithm:\r\nUpload Tharnvik MK3 0015"});
    EXPECT_FALSE(commandButtonsEnabled(m));
    EXPECT_TRUE(m.btnUpload->isEnabled());
    EXPECT_TRUE(m.lstEffects->isEnabled());
    EXPECT_EQ(m.lstEffects->currentRow(), 0);
    EXPECT_FALSE(editor->windows().formFXsettings->isVisible());
}

TEST_F(LinkTest, UnexpectedIdentityIsTreatedAsAnOldAlgorithm)
{
    for (auto [high, low, effect] : {std::tuple{0x00, 0x1A, 0x00}, std::tuple{0x00, 0x15, 0x07}, std::tuple{0x00, 0x15, 0x0B}}) {
        answer = pedalState(16, high, low, effect);
        fakes.dialogs.messages.clear();
        TformMain &m = start();
        m.menuScan->trigger();
        EXPECT_EQ(fakes.dialogs.messages.size(), 1);
        EXPECT_TRUE(log().contains("Unexpected algorithm or effect from the pedal"));
        EXPECT_FALSE(commandButtonsEnabled(m));
        EXPECT_TRUE(m.btnUpload->isEnabled());
        EXPECT_FALSE(log().contains("resource name:"));
        EXPECT_FALSE(editor->state().RequestInProgress);
        EXPECT_TRUE(m.Timer_USB_Read->isEnabled());
    }
}

TEST_F(LinkTest, ShortAndSilentAnswersLeaveTheEditorUsable)
{
    TformMain &m = start();
    m.menuScan->trigger();

    answer.resize(40);
    m.btnRequest->click();
    EXPECT_TRUE(log().contains("REQUEST stopped: 40 of 107 numbers received from the pedal"));
    EXPECT_FALSE(editor->state().RequestInProgress);
    EXPECT_TRUE(m.Timer_USB_Read->isEnabled());
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty());

    answers = false;
    m.btnRequest->click();
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"The pedal did not answer the request."});
    EXPECT_FALSE(editor->state().RequestInProgress);
    EXPECT_TRUE(m.btnRequest->isEnabled());

    // A full answer works again afterwards.
    answers = true;
    answer = pedalState();
    m.btnRequest->click();
    EXPECT_TRUE(log().endsWith("Load preset at power ON: TRUE"));
}

TEST_F(LinkTest, ARequestWhileAnotherWaitsIsRefused)
{
    TformMain &m = start();
    m.menuScan->trigger();
    answers = false;
    bool clickedInside = false;
    fakes.clock.onWait = [&](qint64) {
        if (!clickedInside) {
            clickedInside = true;
            m.btnRequest->click(); // a second click while the first waits
            answers = true;
            ft().rx += answerText(answer);
        }
    };
    m.btnRequest->click();
    EXPECT_TRUE(log().contains("REQUEST refused: another exchange is waiting for the pedal's answer"));
    EXPECT_EQ(ft().writes.size(), 2u); // the link's request and the first click's
    EXPECT_FALSE(editor->state().RequestInProgress);
}

TEST_F(LinkTest, PollLogsDataAndJudgesAWholeDump)
{
    TformMain &m = start();
    m.menuScan->trigger();
    ft().rx = "xyz";
    fakes.clock.advance(50);
    EXPECT_TRUE(log().endsWith("num of bytes read: 3"));

    QByteArray dump = QByteArray(1, '\xAB') + QByteArray(16384, '\xFF');
    ft().rx = dump.left(5000);
    fakes.clock.advance(50);
    ft().rx = dump.mid(5000);
    fakes.clock.advance(50);
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"Memory is empty"});
    EXPECT_TRUE(log().contains("16383: FF"));

    dump[9] = '\0';
    ft().rx = dump.left(6000);
    fakes.clock.advance(1200);
    ASSERT_EQ(fakes.dialogs.messages.size(), 2);
    EXPECT_EQ(fakes.dialogs.messages[1], QStringLiteral("Memory dump incomplete: 5999 of 16384 bytes received"));
}

TEST_F(LinkTest, ClickingAnEntry)
{
    TformMain &m = start({});
    m.lstEffects->setCurrentRow(0);
    m.effetto_cliccato();
    EXPECT_TRUE(log().contains("efx index :0\nselected effect name: Tharnvik MK3 0015\nresource name: Tharnvik_MK3_0015\n"
                               "filecontent (first 128 bytes): 0010A0002700"));
    EXPECT_EQ(editor->console().lastLine().size(), QStringLiteral("filecontent (first 128 bytes): ").size() + 256);
    auto *fx = editor->windows().formFXsettings;
    EXPECT_TRUE(fx->isVisible());
    EXPECT_EQ(fx->pos().x(), m.frameGeometry().right() + 1);

    // Linked to a pedal with an older algorithm.
    editor->state().Link = LinkState::Application;
    editor->state().DeviceAlgorithmVersion = QStringLiteral("0014");
    m.EnableCommandButtons(true);
    m.effetto_cliccato();
    EXPECT_FALSE(fx->isVisible());
    EXPECT_EQ(fakes.dialogs.messages.size(), 1);
    EXPECT_FALSE(commandButtonsEnabled(m));
    editor->state().DeviceAlgorithmVersion = QStringLiteral("0016");
    m.effetto_cliccato();
    EXPECT_TRUE(fx->isVisible());
}

TEST_F(LinkTest, ArrowKeysMoveByOneAndOnlyLog)
{
    TformMain &m = start({});
    m.lstEffects->setCurrentRow(0);
    QTest::keyClick(m.lstEffects, Qt::Key_Up);
    QTest::keyClick(m.lstEffects, Qt::Key_Down);
    EXPECT_EQ(m.lstEffects->currentRow(), 0);
    EXPECT_EQ(log(), QStringLiteral("arrow up pressed\narrow down pressed"));
}

TEST_F(LinkTest, TheLinkLowersTheLatencyTimerAndUnlinkPutsItBack)
{
    TformMain &m = start();
    m.menuScan->trigger();
    EXPECT_EQ(ft().latency, 1);
    EXPECT_EQ(log().count("Latency timer: 1 ms (was 16 ms)"), 1);
    m.menuDisconnect->trigger();
    EXPECT_EQ(ft().latency, 16);
    const QStringList names = ft().callNames();
    EXPECT_EQ(names.lastIndexOf("FT_SetLatencyTimer"), names.lastIndexOf("FT_Close") - 1);
}

TEST_F(LinkTest, QuittingWhileLinkedPutsTheLatencyBackToo)
{
    TformMain &m = start();
    m.menuScan->trigger();
    ASSERT_EQ(ft().latency, 1);
    m.close();
    editor->releaseBridge();
    EXPECT_EQ(ft().latency, 16);
    EXPECT_EQ(ft().callNames().last(), QStringLiteral("FT_Close"));
    EXPECT_FALSE(editor->state().Linked());
}

TEST_F(LinkTest, ABridgeThatKeepsItsLatencyStillLinksAndRequests)
{
    ft().fail["FT_SetLatencyTimer"] = ft::NOT_SUPPORTED;
    ft().latencyAdvice = "stays at 16 ms (the driver refused); to lower it to 1 ms, enable the optional udev rule";
    TformMain &m = start();
    m.menuScan->trigger();
    EXPECT_TRUE(log().contains("Latency timer: stays at 16 ms (the driver refused); to lower it to 1 ms, enable the "
                               "optional udev rule"));
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty()) << fakes.dialogs.messages.join("|").toStdString();
    EXPECT_TRUE(editor->state().Linked());
    EXPECT_EQ(m.lblFirmwareVersion->text(), QStringLiteral("Device Firmware: 16"));
}

TEST_F(LinkTest, ABridgeThatVanishesDuringTheWaitEndsItAndUnlinkStillWorks)
{
    TformMain &m = start();
    m.menuScan->trigger();
    answers = false;
    fakes.clock.onWait = [&](qint64) { ft().fail["FT_GetQueueStatus"] = ft::IO_ERROR; };
    m.btnRequest->click();
    EXPECT_TRUE(log().contains("REQUEST stopped: 0 of 107 numbers received from the pedal"));
    EXPECT_FALSE(editor->state().RequestInProgress);
    m.menuDisconnect->trigger();
    EXPECT_FALSE(editor->state().Linked());
    EXPECT_TRUE(m.menuScan->isEnabled());
}

TEST_F(LinkTest, AFailedOpenLogsTheAdviceAndStillRequests)
{
    ft().fail["FT_OpenEx"] = ft::DEVICE_NOT_OPENED;
    ft().advice = "The bridge is held by another program: close it and link again.";
    TformMain &m = start();
    m.menuScan->trigger();
    EXPECT_TRUE(log().contains("The bridge is held by another program: close it and link again."));
    // One message, naming the reason, rather than a bare failure.
    EXPECT_EQ(fakes.dialogs.messages,
              QStringList{"Could not link to the pedal. The bridge is held by another program: close it and link again."});
    EXPECT_FALSE(editor->state().Linked());
    EXPECT_TRUE(m.menuScan->isEnabled());
    // The request after a failed open finds no answer and says so.
    EXPECT_TRUE(log().contains("REQUEST stopped"));
}

TEST_F(LinkTest, TheRequestPurgesAroundItsExchange)
{
    TformMain &m = start();
    m.menuScan->trigger();
    const QStringList calls = ft().calls.filter(QRegularExpression("^FT_(Purge|Write)"));
    EXPECT_EQ(calls, (QStringList{"FT_Purge(2)", "FT_Write(2)", "FT_Purge(2)", "FT_Purge(1)"}));
}

TEST_F(LinkTest, LinkInUpgradeModeGreetsTheBootloader)
{
    TformMain &m = start();
    editor->state().FirmwareUpgradeMode = true;
    editor->state().UpgradeModeRequested = true;
    ft().onWrite = [this](const QByteArray &bytes) {
        if (bytes == QByteArray(1, '\x7F'))
            ft().rx += QByteArray::fromHex("79");
    };
    m.menuScan->trigger();
    EXPECT_EQ(ft().allWritten(), QByteArray(1, '\x7F'));
    EXPECT_TRUE(ft().calls.contains("FT_SetDataCharacteristics(8,0,2)"));
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"Connection to bootloader succeeded, ready for firmware upgrade"});
    EXPECT_TRUE(reinterpret_cast<QWidget *>(editor->windows().formFirmwareUpgrade)->isVisible());
    EXPECT_TRUE(log().contains("received Byte: 79"));
    EXPECT_FALSE(m.Timer_USB_Read->isEnabled());
    EXPECT_TRUE(log().contains("Latency timer: 1 ms (was 16 ms)")); // the bootloader's link too

    // No answer at all: the greeting failed.
    m.menuDisconnect->trigger();
    fakes.dialogs.messages.clear();
    ft().onWrite = nullptr;
    m.menuScan->trigger();
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"Connection to bootloader failed"});
}

TEST_F(LinkTest, ClosingTheEditorEndsAWaitAtOnce)
{
    TformMain &m = start();
    answers = false;
    fakes.clock.onWait = [&](qint64) { editor->state().Quitting = true; };
    const qint64 before = fakes.clock.nowMs();
    m.menuScan->trigger();
    EXPECT_LT(fakes.clock.nowMs() - before, 300);
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty());
}
