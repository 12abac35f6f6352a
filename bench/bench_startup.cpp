// The real program: time from starting it to its first shown main window,
// then its CPU use and memory while it sits idle.
#include "BenchTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

// utime + stime of a process, in seconds.
double cpuOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double rssMiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

struct Run {
    QTemporaryDir home, bridges;
    QProcess editor;
    double shownMs = -1;
    Run()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("THARNVIK_BRIDGES_DIR"), bridges.path());
        env.insert(QStringLiteral("THARNVIK_REPORT_SHOWN"), QStringLiteral("1"));
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        editor.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        editor.start(QStringLiteral(THARNVIK_EDITOR_PROGRAM), {});
        while (editor.state() != QProcess::NotRunning && t.elapsed() < 30000) {
            editor.waitForReadyRead(50);
            if (editor.readAllStandardOutput().contains("shown")) {
                shownMs = t.nsecsElapsed() / 1e6;
                break;
            }
        }
    }
    ~Run()
    {
        editor.terminate();
        editor.waitForFinished(10000);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        Run run;
        if (run.shownMs < 0) {
            std::fprintf(stderr, "the editor did not show its window\n");
            return 1;
        }
        times.push_back(run.shownMs);
    }
    std::sort(times.begin(), times.end());

    Run idle;
    QThread::msleep(2000); // past the start-up work and the version check's start
    const double before = cpuOf(idle.editor.processId());
    QElapsedTimer t;
    t.start();
    QThread::msleep(10000);
    const double cpu = (cpuOf(idle.editor.processId()) - before) / (t.nsecsElapsed() / 1e9) * 100.0;
    const double rss = rssMiB(idle.editor.processId());

    tableHeader("start-up and idle");
    tableRow("start-up: launch to the main window shown", fmt("%.0f ms", times[times.size() / 2]), "-", -1,
             fmt("median of 5 (best %.0f ms), offscreen", times.front()));
    tableRow("idle CPU, unlinked, 10 s", fmt("%.2f %%", cpu), "1 %", cpu / 1.0, "of one core");
    tableRow("idle memory (resident)", fmt("%.1f MiB", rss), "-", -1);
    return 0;
}
