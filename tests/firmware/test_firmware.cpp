#include "AppState.h"
#include "BootloaderProtocol.h"
#include "EditorFixture.h"
#include "FirmwareUpgrade.h"
#include "PedalSession.h"
#include "UpgradeProcedure.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// A bootloader on the recording bridge: it parses what the editor writes and
// answers each frame with ACK, or with NACK / nothing at a chosen answer.
struct ScriptedBootloader {
    RecordingFtd2xx &ft;
    int failAt = 0;        // 1-based answer number; 0: never
    bool silentFailure = false;
    int answers = 0;
    QByteArray pending;
    enum class Expect { Command, Address, Data, EraseCode } expect = Expect::Command;
    int dataLength = -1;
    std::vector<std::uint32_t> addresses;

    void answer()
    {
        ++answers;
        if (answers == failAt) {
            if (!silentFailure)
                ft.rx += '\x1F';
            return;
        }
        ft.rx += '\x79';
    }
    void take(const QByteArray &bytes)
    {
        pending += bytes;
        for (;;) {
            switch (expect) {
            case Expect::Command:
                if (pending.startsWith('\x7F')) {
                    pending.remove(0, 1);
                    answer();
                    continue;
                }
                if (pending.size() < 2)
                    return;
                if (pending.startsWith("\x31\xCE") || pending.startsWith("\x21\xDE"))
                    expect = Expect::Address;
                else if (pending.startsWith("\x43\xBC"))
                    expect = Expect::EraseCode;
                pending.remove(0, 2);
                answer();
                continue;
            case Expect::Address:
                if (pending.size() < 5)
                    return;
                addresses.push_back((std::uint32_t(std::uint8_t(pending[0])) << 24) | (std::uint8_t(pending[1]) << 16)
                                    | (std::uint8_t(pending[2]) << 8) | std::uint8_t(pending[3]));
                pending.remove(0, 5);
                answer();
                // After a write address comes data; after a go address, nothing.
                expect = lastWasGo ? Expect::Command : Expect::Data;
                continue;
            case Expect::Data:
                if (pending.isEmpty())
                    return;
                dataLength = std::uint8_t(pending[0]) + 1;
                if (pending.size() < dataLength + 2)
                    return;
                pending.remove(0, dataLength + 2);
                answer();
                expect = Expect::Command;
                continue;
            case Expect::EraseCode:
                if (pending.size() < 2)
                    return;
                pending.remove(0, 2);
                answer();
                expect = Expect::Command;
                continue;
            }
        }
    }
    bool lastWasGo = false;
};

class FirmwareTest : public EditorFixture {
protected:
    TformFirmwareUpgrade &fw() { return *editor->windows().formFirmwareUpgrade; }
    // Linked to firmware 16, then into the bootloader by the current path.
    TformMain &inBootloader()
    {
        TformMain &m = linked();
        boot = std::make_unique<ScriptedBootloader>(ScriptedBootloader{ft()});
        ft().onWrite = [this](const QByteArray &bytes) {
            if (bytes == QByteArray::fromHex("0200")) {
                if (answers)
                    ft().rx += answerText(answer);
                return;
            }
            if (bytes == QByteArray::fromHex("0D01") || bytes == QByteArray::fromHex("0500010203040506"))
                return;
            if (bytes.startsWith('\x21'))
                boot->lastWasGo = true;
            else if (bytes.startsWith('\x31'))
                boot->lastWasGo = false;
            boot->take(bytes);
        };
        m.menuFirmwareUpgradeMode->trigger();
        ft().writes.clear();
        return m;
    }
    std::unique_ptr<ScriptedBootloader> boot;
};

} // namespace

TEST(BootloaderFrames, AddressAndVersionRecord)
{
    EXPECT_EQ(BootloaderProtocol::addressFrame(0x08000000), QByteArray::fromHex("0800000008"));
    EXPECT_EQ(BootloaderProtocol::addressFrame(0x0801FC00), QByteArray::fromHex("0801FC00F5"));
    EXPECT_EQ(BootloaderProtocol::versionRecord(16), QByteArray::fromHex("07000000000000001017"));
    EXPECT_EQ(BootloaderProtocol::versionRecord(5), QByteArray::fromHex("07000000000000000502"));
}

TEST_F(FirmwareTest, LegacyPathOnlyRemembersTheRequest)
{
    TformMain &m = start();
    m.menuFirmwareUpgradeMode->trigger();
    EXPECT_TRUE(m.menuFirmwareUpgradeMode->isChecked());
    EXPECT_TRUE(editor->state().FirmwareUpgradeMode);
    EXPECT_TRUE(editor->state().UpgradeModeRequested);
    EXPECT_TRUE(ft().writes.empty());
    m.menuFirmwareUpgradeMode->trigger();
    EXPECT_FALSE(m.menuFirmwareUpgradeMode->isChecked());
    EXPECT_FALSE(editor->state().FirmwareUpgradeMode);
}

TEST_F(FirmwareTest, CurrentPathEntersTheBootloaderAndShowsTheWindow)
{
    TformMain &m = inBootloader();
    EXPECT_EQ(fakes.dialogs.questions.last(), QStringLiteral("Keep SHIFT button on the pedal pressed and click YES."));
    EXPECT_EQ(fakes.dialogs.messages.last(), QStringLiteral("Release SHIFT button and click OK."));
    EXPECT_TRUE(fw().isVisible());
    EXPECT_EQ(fw().FirmwareVersion, 16);
    EXPECT_TRUE(log().contains("received Byte from bootloader: 79"));
    EXPECT_TRUE(log().contains("Firmware Version(DEC): 16\nFirmware_16"));
    EXPECT_FALSE(m.btnRequest->isEnabled());
    EXPECT_FALSE(m.Timer_USB_Read->isEnabled());
    EXPECT_TRUE(ft().calls.contains("FT_SetDataCharacteristics(8,0,2)"));
}

TEST_F(FirmwareTest, AFullUpgradeWritesEveryChunkThenRestarts)
{
    TformMain &m = inBootloader();
    const int synchronised = boot->answers;
    fw().btnUpgradeFirmware->click();
    EXPECT_EQ(boot->answers - synchronised, 2 + 211 * 3 + 3 + 2);
    // The last chunk: 120 bytes at 0x0800D200; then the version record.
    EXPECT_EQ(boot->addresses[210], 0x0800D200u);
    EXPECT_EQ(boot->addresses[211], 0x0801FC00u);
    EXPECT_EQ(boot->addresses[212], 0x08000000u); // Go
    EXPECT_TRUE(log().contains("num of chunks: 210\nnum of bytes last chunk: 120"));
    EXPECT_TRUE(log().contains("N_byte: 77\nchunk size: 120"));
    EXPECT_TRUE(fakes.dialogs.messages.contains("Firmware Upgrade Complete, device will now restart"));
    // Writes grouped as the bootloader expects.
    const auto &w = ft().writes;
    EXPECT_EQ(w[0], QByteArray::fromHex("43BC"));
    EXPECT_EQ(w[1], QByteArray::fromHex("FF00"));
    EXPECT_EQ(w[2], QByteArray::fromHex("31"));
    EXPECT_EQ(w[3], QByteArray::fromHex("CE"));
    EXPECT_EQ(w[4], QByteArray::fromHex("0800000008"));
    EXPECT_EQ(w[5], QByteArray::fromHex("FF"));
    EXPECT_EQ(w[6].size(), 256);
    // After Go: the REQUEST at 8N1, the window hidden, Upgrade Mode off.
    EXPECT_TRUE(ft().calls.mid(ft().calls.lastIndexOf(QRegularExpression("FT_SetDataCharacteristics.*"))).first()
                == QStringLiteral("FT_SetDataCharacteristics(8,0,0)"));
    EXPECT_EQ(w.back(), QByteArray::fromHex("0200"));
    EXPECT_FALSE(fw().isVisible());
    EXPECT_FALSE(m.menuFirmwareUpgradeMode->isChecked());
    EXPECT_FALSE(editor->state().FirmwareUpgradeMode);
    EXPECT_TRUE(m.btnRequest->isEnabled());
    EXPECT_TRUE(m.Timer_USB_Read->isEnabled());
}

TEST_F(FirmwareTest, TheFirstNackOrSilenceStopsEverything)
{
    struct Case {
        const char *name;
        int failAt;
        bool silent;
        const char *step;
    };
    const Case cases[] = {
        {"after the erase", 2, false, "the global erase"},
        {"after an address frame", 4, true, "the write address"},
        {"after a data frame", 5, false, "the data of chunk 0"},
        {"after the version record", 2 + 211 * 3 + 3, false, "the version record"},
    };
    for (const Case &c : cases) {
        fakes.dialogs.messages.clear();
        TformMain &m = inBootloader();
        boot->failAt = c.failAt + boot->answers;
        boot->silentFailure = c.silent;
        const int answersBefore = boot->answers;
        fw().btnUpgradeFirmware->click();
        EXPECT_EQ(boot->answers - answersBefore, c.failAt) << c.name; // nothing after the failure
        ASSERT_FALSE(fakes.dialogs.messages.isEmpty()) << c.name;
        EXPECT_TRUE(fakes.dialogs.messages.last().contains(QLatin1String(c.step))) << c.name << ": " << fakes.dialogs.messages.last().toStdString();
        EXPECT_FALSE(fakes.dialogs.messages.contains("Firmware Upgrade Complete, device will now restart")) << c.name;
        EXPECT_TRUE(fw().isVisible()) << c.name;
        EXPECT_TRUE(fw().btnUpgradeFirmware->isEnabled()) << c.name;
        // Closing the window now does not jump into the half-written image.
        const std::size_t writes = ft().writes.size();
        fw().close();
        EXPECT_EQ(ft().writes.size(), writes) << c.name;
        EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("The pedal stays in its bootloader")) << c.name;
        // Upgrade Mode reopens the window while the bootloader is active.
        m.menuFirmwareUpgradeMode->trigger();
        EXPECT_TRUE(fw().isVisible()) << c.name;
        EXPECT_TRUE(m.menuFirmwareUpgradeMode->isChecked()) << c.name;
        // And a second try runs the whole sequence from the erase (the
        // scripted bootloader forgets the frame it was left in).
        boot->failAt = 0;
        boot->expect = ScriptedBootloader::Expect::Command;
        boot->pending.clear();
        ft().writes.clear();
        fw().btnUpgradeFirmware->click();
        ASSERT_FALSE(ft().writes.empty());
        EXPECT_EQ(ft().writes[0], QByteArray::fromHex("43BC")) << c.name;
        EXPECT_FALSE(fw().isVisible()) << c.name;
    }
}

TEST_F(FirmwareTest, AStopIsHonouredBetweenStepsAndNeverLeadsToGo)
{
    inBootloader();
    UpgradeProcedure &upgrade = editor->session().upgrade();
    std::vector<UpgradeProcedure::Stage> stages;
    QObject::connect(&upgrade, &UpgradeProcedure::stageChanged, [&](UpgradeProcedure::Stage s) { stages.push_back(s); });
    // The player's stop comes while chunk 2 is written.
    bool stopAtChunk2 = true;
    QObject::connect(&upgrade, &UpgradeProcedure::progress, [&](int done, int) {
        if (done == 2 && stopAtChunk2)
            upgrade.requestStop();
    });
    const int answersBefore = boot->answers;
    fw().btnUpgradeFirmware->click();
    EXPECT_EQ(boot->answers - answersBefore, 2 + 3 * 3); // the erase, chunks 0 to 2, nothing after
    EXPECT_EQ(stages, (std::vector{UpgradeProcedure::Stage::Erase, UpgradeProcedure::Stage::Write}));
    EXPECT_TRUE(log().contains("STOPPED before chunk 3 at 08000300"));
    EXPECT_TRUE(fakes.dialogs.messages.last().contains("stopped before chunk 3 at address 0x08000300"))
        << fakes.dialogs.messages.last().toStdString();
    EXPECT_TRUE(upgrade.flashIncomplete());
    EXPECT_EQ(upgrade.start(), UpgradeProcedure::Outcome::Refused); // never Go into a partial image
    const std::size_t writes = ft().writes.size();
    fw().close();
    EXPECT_EQ(ft().writes.size(), writes);

    // A new write starts afresh and runs through every stage to the restart.
    editor->windows().formMain->menuFirmwareUpgradeMode->trigger();
    boot->expect = ScriptedBootloader::Expect::Command;
    boot->pending.clear();
    stages.clear();
    stopAtChunk2 = false;
    fw().btnUpgradeFirmware->click();
    using S = UpgradeProcedure::Stage;
    EXPECT_EQ(stages, (std::vector{S::Erase, S::Write, S::VersionRecord, S::Go, S::Restart}));
    EXPECT_FALSE(upgrade.flashIncomplete());
    EXPECT_FALSE(fw().isVisible());
}

TEST_F(FirmwareTest, AFailedSynchronisationCanBeUndone)
{
    TformMain &m = linked();
    ft().onWrite = [this](const QByteArray &bytes) {
        if (bytes == QByteArray::fromHex("0200") && answers)
            ft().rx += answerText(answer);
    };
    m.menuFirmwareUpgradeMode->trigger();
    EXPECT_EQ(fakes.dialogs.messages.last(), QStringLiteral("Connection to bootloader failed"));
    EXPECT_TRUE(m.menuFirmwareUpgradeMode->isChecked());
    ft().calls.clear();
    m.menuFirmwareUpgradeMode->trigger();
    EXPECT_FALSE(editor->state().FirmwareUpgradeMode);
    EXPECT_EQ(ft().calls, QStringList{"FT_SetDataCharacteristics(8,0,0)"});
    EXPECT_TRUE(m.Timer_USB_Read->isEnabled());
}

TEST_F(FirmwareTest, PlaceholdersStayOffRealPedalsAndFilesAreChecked)
{
    inBootloader();
    ft().virtualBridge = false;
    fw().btnUpgradeFirmware->click();
    EXPECT_TRUE(ft().writes.empty());
    EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("This editor build carries no real firmware images"));

    // A file that is not a firmware image is refused with what is wrong in
    // it, before anything goes to the bootloader.
    QTemporaryDir dir;
    auto file = [&dir](const char *name, const QByteArray &bytes) {
        const QString path = QDir(dir.path()).filePath(QLatin1String(name));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    };
    // Stack pointer 0x20005000, reset address 0x08000101, then filler.
    const QByteArray vectors = QByteArray::fromHex("0050002001010008");
    const std::pair<QString, const char *> refused[] = {
        {file("empty.bin", {}), "the file is empty"},
        {file("big.bin", vectors + QByteArray(130041, '\x11')), "too large for the flash"},
        {file("notes.txt", "Firmware 17 notes\r\n"), "stack pointer 0x6D726946, is not in the microcontroller's RAM"},
        {file("fw.hex", ":1000000000500020010100089102000895020008D5\r\n"), "stack pointer 0x3030313A"},
        {file("zeros.bin", QByteArray(4096, '\0')), "stack pointer 0x00000000"},
        {file("outside.bin", QByteArray::fromHex("0050002001F00008") + QByteArray(292, '\x22')),
         "reset address 0x0800F001, is not in the image (0x08000000 to 0x0800012B)"},
        {file("arm.bin", QByteArray::fromHex("0050002000010008") + QByteArray(292, '\x22')), "not a Thumb address"},
    };
    for (const auto &[path, reason] : refused) {
        SCOPED_TRACE(path.toStdString());
        fakes.dialogs.fileNames = {path};
        EXPECT_TRUE(fw().FormKeyDown(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier));
        const QString shown = fakes.dialogs.messages.last();
        EXPECT_TRUE(shown.startsWith(QDir::toNativeSeparators(path) + " cannot be written: ")) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QLatin1String(reason))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(". Nothing was sent.")) << shown.toStdString();
        EXPECT_TRUE(ft().writes.empty());
        EXPECT_FALSE(fw().flashIncomplete());
    }
    // An image is written as it is, with the chosen version.
    const QByteArray image = vectors + QByteArray(292, '\x22');
    fakes.dialogs.fileNames = {file("good.bin", image)};
    fw().FormKeyDown(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(ft().writes[6], image.left(256));
    EXPECT_TRUE(log().contains("num of bytes read: 300"));
}
