// A firmware upgrade with FIRMWARE_16 through the paced virtual pedal's
// bootloader (the editor lowers the bridge's latency timer to 1 ms), beside
// its floor at that latency; then stm32flash writing the same image through
// the same paced link (without verifying), once with the bridge at 16 ms as
// a user runs it and once with the latency file lowered to 1 ms first; the
// editor's CPU use and the console lines it wrote.
#include "BenchTable.h"
#include "AppState.h"
#include "BenchSupport.h"
#include "CompositeFtd2xx.h"
#include "ConsoleModel.h"
#include "Editor.h"
#include "FirmwareUpgrade.h"
#include "HttpClient.h"
#include "PedalSession.h"
#include "RealServices.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>
#include <memory>

namespace {

// Passes everything on to the system's drivers, noting when the bootloader's
// Go command is written.
class Watch final : public ForwardingFtd2xx {
public:
    using ForwardingFtd2xx::ForwardingFtd2xx;
    QElapsedTimer *clock = nullptr;
    double goAtMs = -1;
    qint64 bytesWritten = 0;

    FT_STATUS FT_Write(FT_HANDLE h, void *b, DWORD n, DWORD *w) override
    {
        const auto *bytes = static_cast<const unsigned char *>(b);
        if (clock && goAtMs < 0 && n == 1 && bytes[0] == 0x21)
            goAtMs = clock->nsecsElapsed() / 1e6;
        if (clock && goAtMs < 0)
            bytesWritten += n;
        return ForwardingFtd2xx::FT_Write(h, b, n, w);
    }
};

} // namespace

int main(int argc, char **argv)
{
    offscreenUnlessChosen();
    QApplication app(argc, argv);
    BenchServices services;

    constexpr double bitUs = 1e6 / 115200.0;
    double editorMs = 0, writeMs = 0, cpuPercent = 0, consoleLines = 0;
    qint64 imageBytes = 0, editorBytes = 0;
    int latencyMs = 16;
    {
        Pedal pedal({QStringLiteral("--paced"), QStringLiteral("--firmware"), QStringLiteral("15")});
        auto bridges = CompositeFtd2xx::createForSystem();
        Watch watch(*bridges);
        Editor editor(services.over(watch));
        TformMain &m = *editor.windows().formMain;
        m.menuScanClick();
        latencyMs = pedal.latencyMs();
        m.menuFirmwareUpgradeMode->trigger();
        TformFirmwareUpgrade &fw = *editor.windows().formFirmwareUpgrade;
        if (!editor.state().BootloaderActive())
            std::fprintf(stderr, "the pedal did not enter its bootloader\n");
        const qsizetype linesBefore = editor.console().lineCount();
        QElapsedTimer t;
        t.start();
        watch.clock = &t;
        const double cpuBefore = cpuSeconds();
        fw.btnUpgradeFirmwareClick();
        editorMs = t.nsecsElapsed() / 1e6;
        cpuPercent = (cpuSeconds() - cpuBefore) / (editorMs / 1000.0) * 100.0;
        writeMs = watch.goAtMs;
        editorBytes = watch.bytesWritten;
        imageBytes = editor.session().bootloader().FirmwareSize;
        consoleLines = static_cast<double>(editor.console().lineCount() - linesBefore);
        if (!m.lblFirmwareVersion->text().endsWith(QLatin1String("16")))
            std::fprintf(stderr, "the pedal did not come back with firmware 16\n");
    }

    // The floor of everything before Go: every byte across the wire both
    // ways at 11 bits, one latency period (the one in force) for each answer,
    // and the flash's own erase and programming times as the virtual pedal
    // models them.
    const qint64 chunks = (imageBytes + 255) / 256;
    const qint64 answers = 2 + 3 * chunks + 3;
    const double wireMs = (editorBytes + answers) * 11 * bitUs / 1000.0;
    const double eraseMs = 128 * 20.0;
    const double programMs = (imageBytes + 8) / 2 * 0.050;
    const double floorMs = wireMs + answers * latencyMs + eraseMs + programMs;

    // The same image through stm32flash, on a pedal started in its bootloader,
    // with the bridge's latency timer at `flasherLatencyMs`.
    const QString flasher = QStandardPaths::findExecutable(QStringLiteral("stm32flash"));
    auto runFlasher = [&](int flasherLatencyMs) {
        Pedal pedal({QStringLiteral("--paced"), QStringLiteral("--bootloader")});
        pedal.setLatencyMs(flasherLatencyMs);
        QProcess p;
        const QString image = QStringLiteral(THARNVIK_PAYLOAD_DIR "/FIRMWARE_16");
        QElapsedTimer t;
        t.start();
        p.start(flasher, {QStringLiteral("-m"), QStringLiteral("8n1"), QStringLiteral("-b"), QStringLiteral("115200"),
                          QStringLiteral("-w"), image, QStringLiteral("-g"), QStringLiteral("0x08000000"),
                          pedal.ptyPath()});
        p.waitForFinished(300000);
        const double ms = t.nsecsElapsed() / 1e6;
        if (p.exitCode() != 0)
            std::fprintf(stderr, "stm32flash failed: %s\n", p.readAllStandardError().constData());
        return p.exitCode() == 0 ? ms : -1.0;
    };
    double flasherMs = -1, flasherFastMs = -1;
    // THARNVIK_BENCH_NO_PEER=1 leaves it out.
    if (!flasher.isEmpty() && !qEnvironmentVariableIsSet("THARNVIK_BENCH_NO_PEER")) {
        flasherMs = runFlasher(16);
        flasherFastMs = runFlasher(1);
    }

    // tharnvik-cli flash on the same paced link, from a pedal in its
    // bootloader as stm32flash gets it: the greeting, erase, write, the
    // version record, Go, and the REQUEST that confirms the new firmware.
    double cliMs = -1;
    {
        Pedal pedal({QStringLiteral("--paced"), QStringLiteral("--bootloader")});
        cliMs = pedal.runCli({QStringLiteral("-q"), QStringLiteral("flash"), QStringLiteral("FIRMWARE_16"),
                              QStringLiteral("--legacy"), QStringLiteral("--yes")});
    }

    tableHeader("firmware");
    tableRow(fmt("firmware upgrade to Go at %d ms, paced pedal (vs floor)", latencyMs), fmt("%.0f ms", writeMs),
             fmt("%.0f ms", floorMs), writeMs / floorMs,
             fmt("%lld chunks, %lld answers: wire %.0f + latency %.0f + erase %.0f + program %.0f ms",
                 static_cast<long long>(chunks), static_cast<long long>(answers), wireMs,
                 static_cast<double>(answers * latencyMs), eraseMs, programMs));
    if (flasherMs > 0) {
        // stm32flash erases only the pages it writes; the pedal's protocol
        // has the editor erase all 128.
        const double pagesWritten = static_cast<double>((imageBytes + 1023) / 1024);
        const double eraseGapMs = eraseMs - pagesWritten * 20.0;
        tableRow("firmware upgrade beside stm32flash at 16 ms (peer)", fmt("%.0f ms", writeMs),
                 fmt("%.0f ms", flasherMs), writeMs / flasherMs,
                 "target 0.55; stm32flash as a user runs it: the bridge at 16 ms; write + Go, no verify");
        if (flasherFastMs > 0) {
            tableRow("firmware upgrade beside stm32flash at 1 ms (peer)", fmt("%.0f ms", writeMs),
                     fmt("%.0f ms", flasherFastMs), writeMs / flasherFastMs,
                     "stm32flash with the latency file lowered to 1 ms first");
            tableRow("  the same with stm32flash's page erase", fmt("%.0f ms", writeMs - eraseGapMs),
                     fmt("%.0f ms", flasherFastMs), (writeMs - eraseGapMs) / flasherFastMs,
                     fmt("editor less the %.0f ms of erasing %d more pages", eraseGapMs,
                         128 - static_cast<int>(pagesWritten)));
            tableRow("stm32flash: 16 ms -> 1 ms", fmt("%.0f ms", flasherFastMs), fmt("%.0f ms", flasherMs),
                     flasherFastMs / flasherMs, "the same program, only the latency timer lowered");
        }
    } else {
        std::printf("stm32flash beside it: not run (not installed, or THARNVIK_BENCH_NO_PEER)\n");
    }
    tableRow("firmware: whole click to the pedal answering", fmt("%.0f ms", editorMs), "-", -1,
             "with the restart and the REQUEST retry after it");
    if (cliMs > 0) {
        tableRow("tharnvik-cli flash, process start to end (vs the editor)", fmt("%.0f ms", cliMs),
                 fmt("%.0f ms", editorMs), cliMs / editorMs, "greeting + the editor's procedure + REQUEST");
        if (flasherMs > 0)
            tableRow("tharnvik-cli flash beside stm32flash at 16 ms (peer)", fmt("%.0f ms", cliMs),
                     fmt("%.0f ms", flasherMs), cliMs / flasherMs, "stm32flash: write + Go, no verify, page erase");
        if (flasherFastMs > 0)
            tableRow("tharnvik-cli flash beside stm32flash at 1 ms (peer)", fmt("%.0f ms", cliMs),
                     fmt("%.0f ms", flasherFastMs), cliMs / flasherFastMs, "both with the bridge at 1 ms");
    }
    tableRow("firmware: editor CPU during the upgrade", fmt("%.2f %%", cpuPercent), "10 %", cpuPercent / 10.0,
             fmt("of one core; %.0f console lines written", consoleLines));
    return 0;
}
