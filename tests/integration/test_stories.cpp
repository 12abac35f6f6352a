// Whole stories against the virtual pedal, in-process, on virtual time.
#include "AppState.h"
#include "ConsoleModel.h"
#include "Editor.h"
#include "FXsettings.h"
#include "Fakes.h"
#include "SimBridge.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class Story : public ::testing::Test {
protected:
    void TearDown() override { qApp->setStyleSheet(QString()); }
    TformMain &start(sim::Config config = {})
    {
        editor.reset(); // before the bridge it uses
        bridge = std::make_unique<SimBridge>(fakes.clock, std::move(config));
        fakes.bridge = bridge.get();
        editor = std::make_unique<Editor>(fakes.services());
        return *editor->windows().formMain;
    }
    QString log() const { return editor->console().text(0, editor->console().lineCount()); }

    FakeServices fakes;
    std::unique_ptr<SimBridge> bridge;
    std::unique_ptr<Editor> editor; // declared last: goes first
};

} // namespace

TEST_F(Story, LinkAndRequestAgainstThePacedPedal)
{
    sim::Config config;
    config.paced = true;
    TformMain &m = start(config);
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("Tharnvik MK3"));
    const qint64 t0 = fakes.clock.nowMs();
    m.menuScan->trigger();
    const qint64 took = fakes.clock.nowMs() - t0;
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty()) << fakes.dialogs.messages.join("|").toStdString();
    EXPECT_EQ(m.lblDeviceName->text(), QStringLiteral("Tharnvik MK3 linked"));
    EXPECT_EQ(m.lblFirmwareVersion->text(), QStringLiteral("Device Firmware: 16"));
    EXPECT_EQ(m.lblAlgorithmVersion->text(), QStringLiteral("Device Algorithm: 0015"));
    EXPECT_TRUE(editor->windows().formFXsettings->isVisible());
    EXPECT_EQ(editor->state().ResponseBytes.size(), 107);
    EXPECT_EQ(bridge->parity(), 0);
    // The answer crosses the wire during the request pause; reading ends as
    // soon as all 107 numbers are in.
    EXPECT_GE(took, 200);
    EXPECT_LE(took, 200 + 40 + 16 + 60);
}

TEST_F(Story, OldFirmwareAndOldAlgorithm)
{
    sim::Config config;
    config.firmware = 15;
    TformMain &m = start(config);
    m.menuScan->trigger();
    ASSERT_EQ(fakes.dialogs.messages.size(), 2);
    EXPECT_FALSE(m.btnUpload->isEnabled());

    sim::Config older;
    older.algorithm = 14;
    fakes.dialogs.messages.clear();
    TformMain &m2 = start(older);
    m2.menuScan->trigger();
    EXPECT_EQ(fakes.dialogs.messages,
              QStringList{"Upload the latest version of Tharnvik MK3 algorithm:\r\nUpload Tharnvik MK3 0015"});
    EXPECT_TRUE(m2.btnUpload->isEnabled());
    EXPECT_FALSE(m2.btnRequest->isEnabled());
}

TEST_F(Story, FaultyPedals)
{
    struct Case {
        const char *name;
        sim::Faults faults;
        const char *logLine;
        int messages;
    };
    sim::Faults silent;
    silent.silent = true;
    sim::Faults shortAnswer;
    shortAnswer.shortAnswer = 50;
    sim::Faults split;
    split.splitPieces = 4;
    split.splitGapMs = 30;
    sim::Faults garbage;
    garbage.garbage = true;
    const Case cases[] = {
        {"silent", silent, "REQUEST stopped: 0 of 107", 1},
        {"short", shortAnswer, "REQUEST stopped: 50 of 107", 0},
        {"split with gaps", split, "Load preset at power ON", 0},
        {"garbage", garbage, "REQUEST stopped: the answer held", 0},
    };
    for (const Case &c : cases) {
        sim::Config config;
        config.faults = c.faults;
        fakes.dialogs.messages.clear();
        TformMain &m = start(config);
        m.menuScan->trigger();
        EXPECT_TRUE(log().contains(QLatin1String(c.logLine))) << c.name;
        EXPECT_EQ(fakes.dialogs.messages.size(), c.messages) << c.name;
        EXPECT_FALSE(editor->state().RequestInProgress) << c.name;
        EXPECT_TRUE(m.Timer_USB_Read->isEnabled()) << c.name;
        EXPECT_TRUE(editor->state().Linked) << c.name;
    }
}

TEST_F(Story, HangUpDuringTheRequestThenUnlink)
{
    sim::Config config;
    config.faults.hangUpAfter = 1; // takes the first byte of the request, then dies
    TformMain &m = start(config);
    m.menuScan->trigger();
    EXPECT_TRUE(log().contains("REQUEST stopped: 0 of 107"));
    m.menuDisconnect->trigger();
    EXPECT_FALSE(editor->state().Linked);
    EXPECT_TRUE(m.menuScan->isEnabled());
}
