#pragma once

// Services for benchmarks that build a whole editor: dialogs that never
// block, and a private documents folder.
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
    // The pseudo-terminal it announced.
    QString ptyPath() const
    {
        for (const QString &name : QDir(bridges.path()).entryList({QStringLiteral("*.bridge")})) {
            QFile f(QDir(bridges.path()).filePath(name));
            if (!f.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &line : f.readAll().split('\n'))
                if (line.startsWith("path="))
                    return QString::fromLocal8Bit(line.mid(5));
        }
        return {};
    }
};
#endif
