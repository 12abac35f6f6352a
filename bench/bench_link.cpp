// The REQUEST round trip against the paced virtual pedal, beside its floor,
// and the CPU the editor uses while it waits for a silent pedal.
#include "BenchTable.h"
#include "AppState.h"
#include "Communication.h"
#include "CompositeFtd2xx.h"
#include "BenchSupport.h"
#include "Editor.h"
#include "RealServices.h"
#include "HttpClient.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include "ConsoleModel.h"
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>

int main(int argc, char **argv)
{
    offscreenUnlessChosen();
    QApplication app(argc, argv);
    BenchServices services;

    // Round trip: the best of several REQUESTs after the link.
    double best = 1e9;
    {
        Pedal pedal({QStringLiteral("--paced")});
        auto bridges = CompositeFtd2xx::createForSystem();
        Editor editor(services.over(*bridges));
        TformMain &m = *editor.windows().formMain;
        m.menuScanClick();
        if (!m.lblFirmwareVersion->text().endsWith(QLatin1String("16")))
            std::fprintf(stderr, "the link did not reach the pedal\n");
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer t;
            t.start();
            m.RequestDeviceInfo();
            best = std::min(best, t.nsecsElapsed() / 1e6);
        }
    }
    // A catalogue upload, then loading a preset, against the same paced pedal.
    double uploadMs = 0, presetMs = 0, presetWireMs = 0;
    {
        Pedal pedal({QStringLiteral("--paced")});
        auto bridges = CompositeFtd2xx::createForSystem();
        Editor editor(services.over(*bridges));
        TformMain &m = *editor.windows().formMain;
        m.menuScanClick();
        QElapsedTimer t;
        t.start();
        m.btnUploadClick();
        uploadMs = t.nsecsElapsed() / 1e6;

        QTemporaryDir dir;
        const QString file = QDir(dir.path()).filePath(QStringLiteral("p.txt"));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        for (int k = 0; k < 20; ++k)
            f.write(k == 4 ? "00400000\r" : k == 19 ? "00000800" : "007FE000\r");
        f.close();
        services.dialogs.nextFile = file;
        const std::size_t linesBefore = static_cast<std::size_t>(editor.console().lineCount());
        t.restart();
        m.menuLoadPresetClick();
        presetMs = t.nsecsElapsed() / 1e6;
        int messages = 0;
        for (qsizetype i = static_cast<qsizetype>(linesBefore); i < editor.console().lineCount(); ++i)
            messages += editor.console().line(i).contains(QLatin1String(" string ")) ? 1 : 0;
        presetWireMs = messages * 7 * 10.0 / 115200.0 * 1000.0;
        services.dialogs.nextFile.clear();
    }

    // The answer's size as the pedal writes it: 107 numbers of one to three
    // digits with CR LF; the default pedal state gives about this many bytes.
    const double answerBytes = 107 * 2 + 107 * 1.6;
    const double wireMs = (2 + answerBytes) * 10.0 / 115200.0 * 1000.0;
    const double floorMs = 200.0 + wireMs + 16.0;

    // Waiting: ten seconds on a pedal that never answers.
    double waitCpu = 0;
    {
        Pedal pedal({QStringLiteral("--silent")});
        auto bridges = CompositeFtd2xx::createForSystem();
        Editor editor(services.over(*bridges));
        TformMain &m = *editor.windows().formMain;
        editor.state().UpgradeModeRequested = true; // link without the REQUEST
        m.menuScanClick();
        m.Timer_USB_Read->setEnabled(false);
        const double before = cpuSeconds();
        QElapsedTimer t;
        t.start();
        Communication comm(editor.usb(), editor.console(), services.clock, editor.state());
        comm.waitForData(10000);
        const double wall = t.nsecsElapsed() / 1e9;
        waitCpu = (cpuSeconds() - before) / wall * 100.0;
    }

    // tharnvik-cli info: from the process's start to its output, the best of five.
    double cliMs = 1e9;
    {
        Pedal pedal({QStringLiteral("--paced")});
        for (int i = 0; i < 5; ++i) {
            const double ms = pedal.runCli({QStringLiteral("info"), QStringLiteral("--json")});
            if (ms > 0)
                cliMs = std::min(cliMs, ms);
        }
    }

    tableHeader("link");
    tableRow("REQUEST round trip, paced pedal (vs floor)", fmt("%.1f ms", best), fmt("%.1f ms", floorMs), best / floorMs,
             fmt("floor: 200 ms pause + %.1f ms wire + 16 ms latency", wireMs));
    if (cliMs < 1e9)
        tableRow("tharnvik-cli info, process start to output (vs REQUEST floor)", fmt("%.1f ms", cliMs),
                 fmt("%.1f ms", floorMs), cliMs / floorMs, "the link, the REQUEST and the JSON, in a new process");
    tableRow("CPU while waiting 10 s for a silent pedal", fmt("%.2f %%", waitCpu), "5 %", waitCpu / 5.0, "of one core");
    const double imageWire = (2 + 4256) * 10.0 / 115200.0 * 1000.0;
    const double answerWire = 17 * 10.0 / 115200.0 * 1000.0;
    const double uploadFloor = 40.0 + imageWire + answerWire + 16.0 + floorMs;
    tableRow("algorithm upload of 0015, paced pedal (vs floor)", fmt("%.1f ms", uploadMs), fmt("%.1f ms", uploadFloor),
             uploadMs / uploadFloor,
             fmt("40 ms + %.1f ms image + %.1f ms answer + 16 ms + REQUEST floor", imageWire, answerWire));
    tableRow("preset push (load), every message sent", fmt("%.1f ms", presetMs), fmt("%.1f ms", presetWireMs),
             presetMs / std::max(presetWireMs, 0.001), "target: the messages' own wire time");
    return 0;
}
