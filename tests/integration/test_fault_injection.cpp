// The cable pulled at every wait (for an answer, or a pause) of every
// operation. After each: the
// operation ends, the log says what happened, no file the player had is lost
// or half-written, and the editor is still usable: Unlink, Scan And Link to
// the pedal plugged in again, and a whole REQUEST succeeds.
#include "AppState.h"
#include "FirmwareUpgrade.h"
#include "Story.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include <functional>

namespace {

struct Operation {
    const char *name;
    bool linkFirst;
    std::function<void(TformMain &)> act;
    bool bootloader = false; // recovery goes through the bootloader
};

class FaultInjection : public Story {
protected:
    TformFirmwareUpgrade &fw() { return *editor->windows().formFirmwareUpgrade; }

    TformMain &prepare(const Operation &op)
    {
        sim::Config config;
        config.paced = true; // answers take their time: pulls land mid-answer too
        TformMain &m = start(config);
        bridge->replug = true;
        bridge->replugConfig = config;
        bridge->replugConfig.startInBootloader = op.bootloader;
        if (op.linkFirst)
            m.menuScan->trigger();
        return m;
    }

    // How many times the editor waits during the operation, undisturbed.
    int countWaits(const Operation &op)
    {
        TformMain &m = prepare(op);
        int waits = 0;
        fakes.clock.onWait = fakes.clock.onPause = [&](qint64) { ++waits; };
        op.act(m);
        fakes.clock.onWait = fakes.clock.onPause = nullptr;
        EXPECT_TRUE(fakes.dialogs.messages.filter("failed").isEmpty()) << op.name << " fails undisturbed";
        return waits;
    }

    // Runs the operation with the cable pulled at its k-th wait (0: just
    // before it starts), then checks everything said above.
    void pullAt(const Operation &op, int k)
    {
        const std::string at = std::string(op.name) + " at wait " + std::to_string(k);
        TformMain &m = prepare(op);
        const qsizetype linesBefore = editor->console().lineCount();
        int waits = 0;
        bool runaway = false;
        if (k == 0)
            bridge->hangUp();
        fakes.clock.onWait = fakes.clock.onPause = [&](qint64) {
            if (++waits == k)
                bridge->hangUp();
            if (waits > k + 100000 && !runaway) { // it would never end: stop it and fail
                runaway = true;
                editor->state().Quitting = true;
            }
        };
        op.act(m);
        ASSERT_FALSE(runaway) << at << ": the operation never ended";
        fakes.clock.advance(1000); // what the operation left to timers
        fakes.clock.onWait = fakes.clock.onPause = nullptr;

        const QString added = editor->console().text(linesBefore, editor->console().lineCount());
        EXPECT_TRUE(added.contains(QLatin1String("IO error")) || added.contains(QLatin1String("stopped"))
                    || added.contains(QLatin1String("STOPPED")) || added.contains(QLatin1String("lost")))
            << at << ": nothing in the log says what happened:\n"
            << added.right(600).toStdString();

        // Usable again.
        if (fw().isVisible())
            fw().close();
        m.menuDisconnect->trigger();
        EXPECT_FALSE(editor->state().Linked()) << at;
        if (op.bootloader) {
            // The pedal restarts in its bootloader; Upgrade Mode, still ticked,
            // greets it at the link and the upgrade runs again.
            if (!m.menuFirmwareUpgradeMode->isChecked())
                m.menuFirmwareUpgradeMode->trigger();
            m.menuScan->trigger();
            ASSERT_TRUE(fw().isVisible()) << at;
            fw().btnUpgradeFirmware->click();
            EXPECT_FALSE(bridge->pedal().inBootloader()) << at;
        } else {
            m.menuScan->trigger();
        }
        EXPECT_TRUE(editor->state().Linked()) << at;
        EXPECT_EQ(m.RequestDeviceInfo(), TformMain::RequestResult::Answered) << at;
        EXPECT_EQ(m.lblFirmwareVersion->text(), QStringLiteral("Device Firmware: 16")) << at;
    }

    // Every wait of short operations; of long ones the first ones, then an
    // even spread up to the end.
    void everyWait(const Operation &op, int most = 60)
    {
        const int total = countWaits(op);
        std::vector<int> points;
        // Unlinked, a pull before the start is a pedal plugged in again.
        for (int k = op.linkFirst ? 0 : 1; k <= total; ++k)
            if (total <= most || k <= most / 2 || (k - most / 2) % std::max(1, (total - most / 2) / (most / 2)) == 0
                || k == total)
                points.push_back(k);
        for (int k : points)
            pullAt(op, k);
    }
};

} // namespace

TEST_F(FaultInjection, LinkRequestAndPoll)
{
    everyWait({"link", false, [](TformMain &m) { m.menuScan->trigger(); }});
    everyWait({"request", true, [](TformMain &m) { m.btnRequest->click(); }});
    everyWait({"poll", true, [](TformMain &m) { m.Timer_USB_ReadTimer(); }});
}

TEST_F(FaultInjection, SaveParametersUploadsAndErase)
{
    everyWait({"save parameters", true, [](TformMain &m) { m.btnSaveParametersClick(); }});
    everyWait({"upload", true, [](TformMain &m) { m.btnUploadClick(); }});
    everyWait({"tuning data upload", true, [](TformMain &m) { m.menuUploadTuningsDataClick(); }});
    everyWait({"erase settings", true, [](TformMain &m) { m.menuEraseSettingsClick(); }});
}

TEST_F(FaultInjection, PresetsLeaveTheirFilesWhole)
{
    const QString folder = fakes.paths.documentsFolder() + QStringLiteral("/presets-under-test");
    QDir().mkpath(folder);
    const QString saved = folder + QStringLiteral("/kept.txt");
    const QString loaded = folder + QStringLiteral("/loaded.txt");
    const QByteArray before = QByteArray("007FE000\r").repeated(19) + "007FE000";
    auto write = [](const QString &path, const QByteArray &bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    auto read = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    auto wholePreset = [](const QByteArray &bytes) {
        QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
        return body.split('\r').size() == 20;
    };
    write(loaded, before);
    write(saved, before);
    everyWait({"save preset", true, [&](TformMain &m) {
                   fakes.dialogs.fileNames = {saved};
                   m.menuSavePresetClick();
                   // The old file, or a whole new one: never a piece.
                   const QByteArray now = read(saved);
                   EXPECT_TRUE(now == before || wholePreset(now)) << now.toStdString();
                   write(saved, before);
               }});
    everyWait({"load preset", true, [&](TformMain &m) {
                   fakes.dialogs.fileNames = {loaded};
                   m.menuLoadPresetClick();
                   EXPECT_EQ(read(loaded), before);
               }});
}

TEST_F(FaultInjection, EveryBootloaderStep)
{
    everyWait({"firmware upgrade", true,
               [this](TformMain &m) {
                   m.menuFirmwareUpgradeMode->trigger();
                   if (fw().isVisible())
                       fw().btnUpgradeFirmware->click();
               },
               true},
              80);
}
