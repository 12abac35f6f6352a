// Knob traffic: a drag delivering 120 angle changes a second for 5 s, in
// real time, against a bridge that only counts; and ApplyParametersToControls
// with all twenty values changing; undo and redo of a twenty-value preset
// load.
#include "BenchTable.h"
#include "BenchSupport.h"
#include "CountingBridge.h"
#include "Communication.h"
#include "Editor.h"
#include "FXsettings.h"
#include "PedalSnapshot.h"
#include "Ftd2xx.h"
#include "KnobControl.h"
#include "RealServices.h"
#include "HttpClient.h"
#include "ConsoleModel.h"
#include "AppState.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    offscreenUnlessChosen();
    QApplication app(argc, argv);
    BenchServices services;
    CountingBridge bridge;
    Editor editor(services.over(bridge));
    TformFXsettings &fx = *editor.windows().formFXsettings;
    fx.show();

    // The drag: every 1000/120 ms one degree along the travel, back and forth.
    bridge.clock.start();
    int travel = 0, direction = 1, changes = 0;
    qint64 lastChange = 0, worstLate = 0;
    QElapsedTimer run;
    run.start();
    QTimer drag;
    drag.setTimerType(Qt::PreciseTimer);
    drag.setInterval(8);
    QObject::connect(&drag, &QTimer::timeout, [&] {
        const qint64 due = static_cast<qint64>(changes) * 1000 / 120;
        worstLate = std::max(worstLate, run.elapsed() - due);
        if (run.elapsed() < due)
            return;
        travel += direction;
        if (travel == 0 || travel == 270)
            direction = -direction;
        fx.dialDry->setAngle(KnobControl::angleAtTravel(travel));
        lastChange = bridge.clock.elapsed();
        if (++changes == 600)
            drag.stop();
    });
    drag.start();
    QEventLoop loop;
    QTimer::singleShot(5300, &loop, &QEventLoop::quit);
    loop.exec();

    int busiest = 0;
    for (std::size_t i = 0; i < bridge.writeTimes.size(); ++i) {
        int n = 0;
        for (std::size_t j = i; j < bridge.writeTimes.size() && bridge.writeTimes[j] < bridge.writeTimes[i] + 1000; ++j)
            ++n;
        busiest = std::max(busiest, n);
    }
    const qint64 lastWriteDelay = bridge.writeTimes.empty() ? -1 : bridge.writeTimes.back() - lastChange;

    // Applying twenty changed values.
    double applyMs = 1e9;
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < param::Count; ++i)
            fx.EffectParameters.setValue(i, round % 2 ? 0x00700000u + static_cast<std::uint32_t>(i) : 0x00100000u);
        fx.EffectParameters.setValue(param::Wave, round % 2 ? param::kWaveOn : param::kWaveOff);
        fx.EffectParameters.setValue(param::Attack, round % 2 ? param::kAttackSlow : param::kAttackFast);
        QElapsedTimer t;
        t.start();
        fx.ApplyParametersToControls(true);
        applyMs = std::min(applyMs, t.nsecsElapsed() / 1e6);
    }

    // A whole answer: parse, then the effect window's decoders.
    QByteArray answer;
    for (int i = 0; i < 107; ++i)
        answer += QByteArray::number((i * 37) % 256) + "\r\n";
    editor.state().RequestInProgress = true;
    double decodeUs = 1e9;
    for (int round = 0; round < 50; ++round) {
        QElapsedTimer t;
        t.start();
        const ParsedAnswer parsed = ParseResponseNumbers(answer);
        const PedalSnapshot snapshot = PedalSnapshot::decode(QByteArray(
            reinterpret_cast<const char *>(parsed.numbers.data()), static_cast<qsizetype>(parsed.numbers.size())));
        fx.ShowFootswitchMode(snapshot);
        fx.ReadTuning(snapshot);
        fx.ReadAssignments(snapshot);
        fx.getBypassStatus(snapshot);
        fx.ReadParameterValues(snapshot);
        decodeUs = std::min(decodeUs, t.nsecsElapsed() / 1e3);
        editor.console().clear();
    }
    editor.state().RequestInProgress = false;

    // Undo of a preset load that moved all twenty values, and its redo: the
    // controls move back and every message goes out at once.
    double undoMs = 1e9, redoMs = 1e9;
    std::size_t undoWrites = 0;
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < param::Count; ++i)
            fx.EffectParameters.setValue(i, round % 2 ? 0x00700000u - static_cast<std::uint32_t>(i) * 0x10000u
                                                      : 0x00080000u + static_cast<std::uint32_t>(i) * 0x10000u);
        fx.EffectParameters.setValue(param::Wave, round % 2 ? param::kWaveOn : param::kWaveOff);
        fx.EffectParameters.setValue(param::Attack, round % 2 ? param::kAttackSlow : param::kAttackFast);
        fx.EffectParameters.setValue(param::HarmonicPitch, param::HarmonicPitchTable[round % 2 ? 3 : 20]);
        fx.ApplyParametersToControls(true);
        fx.presetApplied(QStringLiteral("Bench"));
        QElapsedTimer t;
        t.start();
        const std::size_t writesBefore = bridge.writeTimes.size();
        fx.undo();
        undoWrites = bridge.writeTimes.size() - writesBefore;
        undoMs = std::min(undoMs, t.nsecsElapsed() / 1e6);
        t.restart();
        fx.redo();
        redoMs = std::min(redoMs, t.nsecsElapsed() / 1e6);
        editor.console().clear();
    }

    tableHeader("knob");
    tableRow("knob: writes in the busiest second", fmt("%d/s", busiest), "10/s", busiest / 10.0,
             fmt("%d changes, %zu writes", changes, bridge.writeTimes.size()));
    tableRow("knob: last change to its write", fmt("%lld ms", static_cast<long long>(lastWriteDelay)), "100 ms",
             lastWriteDelay / 100.0);
    tableRow("knob: latest event handled late by", fmt("%lld ms", static_cast<long long>(worstLate)), "20 ms",
             worstLate / 20.0);
    tableRow("knob: ApplyParametersToControls, 20 changes", fmt("%.3f ms", applyMs), "5 ms", applyMs / 5.0);
    tableRow("decode: full answer with the decoders", fmt("%.1f us", decodeUs), "100 us", decodeUs / 100.0);
    tableRow("undo: a twenty-value preset load", fmt("%.3f ms", undoMs), "10 ms", undoMs / 10.0,
             fmt("%zu messages", undoWrites));
    tableRow("redo: the same load", fmt("%.3f ms", redoMs), "10 ms", redoMs / 10.0);
    return 0;
}
