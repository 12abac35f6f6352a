#pragma once

// Services for benchmarks that build a whole editor: dialogs that never
// block, and a private documents folder.
#include "Ftd2xx.h"
#include "HttpClient.h"
#include "RealServices.h"
#include "Services.h"

#include <QtGlobal>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>

class QuietDialogs final : public Dialogs {
public:
    void message(const QString &text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
    Answer question(const QString &) override { return Answer::Yes; }
    QString openFileName(const FileDialogOptions &) override { return nextFile; }
    QString nextFile; // what an open dialog answers
    QString saveFileName(const FileDialogOptions &) override { return {}; }
    std::optional<QString> askText(const QString &, const QString &, const QString &) override { return std::nullopt; }
};

class TempPaths final : public Paths {
public:
    QString documentsFolder() const override { return m_dir.path(); }
    QString programFolder() const override { return m_dir.path(); }
    QString tempFolder() const override { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// All a benchmark's editor needs but its bridge: the real clock and shell,
// quiet dialogs, a private folder and no network.
struct BenchServices {
    QuietDialogs dialogs;
    SystemClock clock;
    TempPaths paths;
    DesktopShell shell;
    OfflineNetwork network;
    Services over(Ftd2xx &bridge) { return Services{dialogs, clock, paths, shell, bridge, network}; }
};

// Benchmarks draw off screen unless a platform is chosen.
inline void offscreenUnlessChosen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// This process's CPU time (user + system), in seconds.
inline double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Passes every call on to another bridge; a benchmark overrides what it watches.
class ForwardingFtd2xx : public Ftd2xx {
public:
    explicit ForwardingFtd2xx(Ftd2xx &inner) : m_inner(inner) {}

    FT_STATUS FT_ListDevices(void *a, void *b, DWORD f) override { return m_inner.FT_ListDevices(a, b, f); }
    FT_STATUS FT_OpenEx(void *a, DWORD f, FT_HANDLE *h) override { return m_inner.FT_OpenEx(a, f, h); }
    FT_STATUS FT_Close(FT_HANDLE h) override { return m_inner.FT_Close(h); }
    FT_STATUS FT_SetBaudRate(FT_HANDLE h, ULONG b) override { return m_inner.FT_SetBaudRate(h, b); }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, UCHAR w, UCHAR s, UCHAR p) override
    {
        return m_inner.FT_SetDataCharacteristics(h, w, s, p);
    }
    FT_STATUS FT_Purge(FT_HANDLE h, ULONG m) override { return m_inner.FT_Purge(h, m); }
    FT_STATUS FT_GetQueueStatus(FT_HANDLE h, DWORD *n) override { return m_inner.FT_GetQueueStatus(h, n); }
    FT_STATUS FT_Read(FT_HANDLE h, void *b, DWORD n, DWORD *r) override { return m_inner.FT_Read(h, b, n, r); }
    FT_STATUS FT_Write(FT_HANDLE h, void *b, DWORD n, DWORD *w) override { return m_inner.FT_Write(h, b, n, w); }
    FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, UCHAR ms) override { return m_inner.FT_SetLatencyTimer(h, ms); }
    FT_STATUS FT_GetLatencyTimer(FT_HANDLE h, UCHAR *ms) override { return m_inner.FT_GetLatencyTimer(h, ms); }
    void setDataCallback(std::function<void()> callback) override { m_inner.setDataCallback(std::move(callback)); }
    bool isVirtualBridge(FT_HANDLE h) const override { return m_inner.isVirtualBridge(h); }
    const char *lastOpenAdvice() const override { return m_inner.lastOpenAdvice(); }
    const char *lastLatencyAdvice() const override { return m_inner.lastLatencyAdvice(); }
    std::vector<std::string> takeListingNotes() override { return m_inner.takeListingNotes(); }

private:
    Ftd2xx &m_inner;
};

// A bridge whose latency timer stays where it is: the editor as it was
// before it lowered the timer, or on a system that refuses it.
class FixedLatency final : public ForwardingFtd2xx {
public:
    using ForwardingFtd2xx::ForwardingFtd2xx;
    FT_STATUS FT_SetLatencyTimer(FT_HANDLE, UCHAR) override { return ft::NOT_SUPPORTED; }
    const char *lastLatencyAdvice() const override { return "stays where it is (kept by the benchmark)"; }
};

#ifdef THARNVIK_PEDAL_SIM_PROGRAM
// The virtual pedal program, announced in a private folder for the
// editor's drivers to find; ended when this goes.
struct Pedal {
    QTemporaryDir bridges;
    QProcess process;
    explicit Pedal(const QStringList &args)
    {
        qputenv("THARNVIK_BRIDGES_DIR", bridges.path().toLocal8Bit());
        process.start(QStringLiteral(THARNVIK_PEDAL_SIM_PROGRAM), args);
        process.waitForStarted();
        for (int i = 0; i < 100 && QDir(bridges.path()).entryList({QStringLiteral("*.bridge")}).isEmpty(); ++i)
            QThread::msleep(20);
    }
    ~Pedal()
    {
        process.terminate();
        process.waitForFinished(3000);
    }
    // Runs tharnvik-cli against this pedal; wall milliseconds from the
    // process's start to its end, or -1 when it failed.
    double runCli(const QStringList &arguments, QByteArray *output = nullptr) const
    {
#ifdef THARNVIK_CLI_PROGRAM
        QProcess cli;
        cli.setProcessChannelMode(QProcess::SeparateChannels);
        QElapsedTimer t;
        t.start();
        cli.start(QStringLiteral(THARNVIK_CLI_PROGRAM), arguments);
        cli.waitForFinished(300000);
        const double ms = t.nsecsElapsed() / 1e6;
        if (output)
            *output = cli.readAllStandardOutput();
        if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            std::fprintf(stderr, "tharnvik-cli %s failed: %s\n", qPrintable(arguments.join(QLatin1Char(' '))),
                         cli.readAllStandardError().constData());
            return -1;
        }
        return ms;
#else
        (void)arguments;
        (void)output;
        return -1;
#endif
    }
    // A key of its announcement ("path": the pseudo-terminal, "latency": its latency file).
    QString announced(const char *key) const
    {
        const QByteArray prefix = QByteArray(key) + '=';
        for (const QString &name : QDir(bridges.path()).entryList({QStringLiteral("*.bridge")})) {
            QFile f(QDir(bridges.path()).filePath(name));
            if (!f.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &line : f.readAll().split('\n'))
                if (line.startsWith(prefix))
                    return QString::fromLocal8Bit(line.mid(prefix.size()));
        }
        return {};
    }
    QString ptyPath() const { return announced("path"); }
    // The bridge's latency timer as its latency file holds it (what the pedal paces with).
    int latencyMs() const
    {
        QFile f(announced("latency"));
        if (!f.open(QIODevice::ReadOnly))
            return 16;
        bool ok = false;
        const int ms = f.readAll().trimmed().toInt(&ok);
        return ok ? ms : 16;
    }
    // As a user would lower it: `echo 1 > latency_timer`.
    void setLatencyMs(int ms) const
    {
        QFile f(announced("latency"));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(QByteArray::number(ms) + '\n');
    }
};
#endif
