// The REQUEST round trip, the catalogue upload and the EEPROM dump against
// the paced virtual pedal, each beside its floor for the latency timer in
// force: once as the editor links (1 ms) and once with the bridge kept at
// 16 ms; the preset push; and the CPU the editor uses while it waits for a
// silent pedal.
#include "PedalStack.h"
#include "BenchTable.h"
#include "AppState.h"
#include "Communication.h"
#include "CompositeFtd2xx.h"
#include "BenchSupport.h"
#include "Editor.h"
#include "PedalSession.h"
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

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

struct Figures {
    int latencyMs = 16; // what the pedal paced with
    double request = 1e9, upload = 0, dump = 0;
    qsizetype dumpBytes = 0;
};

// The REQUEST (best of five), the catalogue upload and the EEPROM dump of
// 51 on one paced pedal; `keep16` leaves the bridge's timer where it is.
Figures measure(BenchServices &services, bool keep16)
{
    Figures f;
    Pedal pedal({QStringLiteral("--paced")});
    auto bridges = CompositeFtd2xx::createForSystem();
    FixedLatency fixed(*bridges);
    Editor editor(services.over(keep16 ? static_cast<Ftd2xx &>(fixed) : *bridges));
    TformMain &m = *editor.windows().formMain;
    m.menuScanClick();
    f.latencyMs = pedal.latencyMs();
    if (!m.lblFirmwareVersion->text().endsWith(QLatin1String("16")))
        std::fprintf(stderr, "the link did not reach the pedal\n");
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        m.RequestDeviceInfo();
        f.request = std::min(f.request, t.nsecsElapsed() / 1e6);
    }
    QElapsedTimer t;
    t.start();
    m.btnUploadClick();
    f.upload = t.nsecsElapsed() / 1e6;

    // The dump as the poll gathers it, looking every millisecond rather
    // than on the window's 50 ms timer.
    m.Timer_USB_Read->setEnabled(false);
    PedalSession &session = editor.session();
    using State = DumpCollector::State;
    t.restart();
    session.sendEepromRead(QStringLiteral("51"));
    State state = State::Idle;
    while (t.elapsed() < 20000 && state != State::Complete && state != State::Incomplete && state != State::Missing) {
        state = session.poll();
        if (state != State::Complete)
            QThread::msleep(1);
    }
    f.dump = t.nsecsElapsed() / 1e6;
    f.dumpBytes = session.dumpMemory().size();
    if (state != State::Complete)
        std::fprintf(stderr, "the EEPROM dump did not complete\n");
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    offscreenUnlessChosen();
    QApplication app(argc, argv);
    BenchServices services;

    const Figures fast = measure(services, false);
    const Figures slow = measure(services, true);

    // Loading a preset against a paced pedal.
    double presetMs = 0, presetWireMs = 0;
    {
        Pedal pedal({QStringLiteral("--paced")});
        auto bridges = CompositeFtd2xx::createForSystem();
        Editor editor(services.over(*bridges));
        TformMain &m = *editor.windows().formMain;
        m.menuScanClick();
        QTemporaryDir dir;
        const QString file = QDir(dir.path()).filePath(QStringLiteral("p.txt"));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        for (int k = 0; k < 20; ++k)
            f.write(k == 4 ? "00400000\r" : k == 19 ? "00000800" : "007FE000\r");
        f.close();
        services.dialogs.nextFile = file;
        const std::size_t linesBefore = static_cast<std::size_t>(editor.console().lineCount());
        QElapsedTimer t;
        t.start();
        m.menuLoadPresetClick();
        presetMs = t.nsecsElapsed() / 1e6;
        int messages = 0;
        for (qsizetype i = static_cast<qsizetype>(linesBefore); i < editor.console().lineCount(); ++i)
            messages += editor.console().line(i).contains(QLatin1String(" string ")) ? 1 : 0;
        presetWireMs = messages * 7 * 10.0 / 115200.0 * 1000.0;
        services.dialogs.nextFile.clear();
    }

    // Floors. Bytes cross the wire at 10 bits; a bridge packet that is not
    // full (62 bytes) becomes readable the latency timer after its first byte.
    const double byteMs = 10.0 / 115200.0 * 1000.0;
    // When the last byte of an answer of `bytes` bytes is readable, from its start.
    auto answerMs = [&](double bytes, int latencyMs) {
        const double full = std::floor(bytes / 62.0) * 62.0;
        return full == bytes ? bytes * byteMs : std::max(bytes * byteMs, (full + 1) * byteMs + latencyMs);
    };
    // The REQUEST: 02 00, the editor's 200 ms pause, then its read. The
    // answer (107 numbers of one to three digits with CR LF; the default
    // pedal state gives about this many bytes) crosses during the pause, so
    // the pause is the floor unless the answer takes longer.
    const double answerBytes = 107 * 2 + 107 * 1.6;
    const double wireMs = (2 + answerBytes) * byteMs;
    auto requestFloor = [&](int latencyMs) { return std::max(200.0, 2 * byteMs + answerMs(answerBytes, latencyMs)); };
    // The upload: 40 ms, the image, the 17-character answer through the
    // bridge, then the REQUEST.
    const double imageWire = (2 + 4256) * byteMs;
    auto uploadFloor = [&](int latencyMs) { return 40.0 + imageWire + answerMs(17, latencyMs) + requestFloor(latencyMs); };
    // The dump: the 6-byte read, then the marker and the memory.
    auto dumpFloor = [&](const Figures &f) { return 6 * byteMs + answerMs(1.0 + f.dumpBytes, f.latencyMs); };

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
        Communication comm(editor.pedal().usb(), editor.console(), services.clock, editor.state());
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
    for (const Figures *f : {&fast, &slow}) {
        const int l = f->latencyMs;
        tableRow(fmt("REQUEST round trip at %d ms, paced pedal (vs floor)", l), fmt("%.1f ms", f->request),
                 fmt("%.1f ms", requestFloor(l)), f->request / requestFloor(l),
                 fmt("floor: the 200 ms pause, in which %.1f ms wire + %d ms latency pass", wireMs, l));
    }
    if (cliMs < 1e9)
        tableRow("tharnvik-cli info, process start to output (vs REQUEST floor)", fmt("%.1f ms", cliMs),
                 fmt("%.1f ms", requestFloor(fast.latencyMs)), cliMs / requestFloor(fast.latencyMs),
                 "the link, the REQUEST and the JSON, in a new process");
    tableRow("CPU while waiting 10 s for a silent pedal", fmt("%.2f %%", waitCpu), "5 %", waitCpu / 5.0, "of one core");
    for (const Figures *f : {&fast, &slow}) {
        const int l = f->latencyMs;
        tableRow(fmt("algorithm upload of 0015 at %d ms, paced pedal (vs floor)", l), fmt("%.1f ms", f->upload),
                 fmt("%.1f ms", uploadFloor(l)), f->upload / uploadFloor(l),
                 fmt("40 ms + %.1f ms image + answer %.1f ms (its latency included) + REQUEST floor", imageWire,
                     answerMs(17, l)));
    }
    for (const Figures *f : {&fast, &slow})
        tableRow(fmt("EEPROM 51 dump at %d ms, paced pedal (vs floor)", f->latencyMs), fmt("%.1f ms", f->dump),
                 fmt("%.1f ms", dumpFloor(*f)), f->dump / dumpFloor(*f),
                 fmt("read + %lld bytes on the wire + the last packet's latency; polled every 1 ms",
                     static_cast<long long>(f->dumpBytes + 1)));
    tableRow("preset push (load), every message sent", fmt("%.1f ms", presetMs), fmt("%.1f ms", presetWireMs),
             presetMs / std::max(presetWireMs, 0.001), "target: the messages' own wire time");
    return 0;
}
