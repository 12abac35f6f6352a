#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QIODevice;

// The editor's outside-world seams. The program uses the real ones
// (RealServices.h); tests substitute recording fakes.

enum class Answer { Yes, No, Other };

struct FileDialogOptions {
    QString title;
    QString initialDir;
    QString filter;      // Qt filter text, e.g. "Text files (*.txt)"
    QString defaultExt;  // without the dot
    QString fileName;
    bool confirmOverwrite = true;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal message with an OK button.
    virtual void message(const QString &text) = 0;
    // A modal Yes/No question. Operations go on for every answer but No.
    virtual Answer question(const QString &text) = 0;
    // Empty result: the user cancelled.
    virtual QString openFileName(const FileDialogOptions &options) = 0;
    virtual QString saveFileName(const FileDialogOptions &options) = 0;
    // A modal one-line text input under a title; the edit's accessible name
    // is label. Nothing when the user cancelled.
    virtual std::optional<QString> askText(const QString &title, const QString &label, const QString &initial) = 0;
};

// A repeating timer with the semantics of a classic toolkit timer: while
// enabled it fires every interval; a handler that wants one tick disables it.
class ClockTimer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
signals:
    void timeout();
};

class Clock {
public:
    virtual ~Clock() = default;
    // Blocking pause; the windows do not repaint during it.
    virtual void pause(int ms) = 0;
    // Monotonic milliseconds.
    virtual qint64 nowMs() const = 0;
    virtual QDateTime localNow() const = 0;
    // A disabled timer owned by parent.
    virtual ClockTimer *createTimer(QObject *parent, int intervalMs) = 0;
    // Processes pending window events, first waiting up to maxMs for one to
    // arrive (a device that receives data posts one). Never spins.
    virtual void waitForEvents(int maxMs) = 0;
};

class Paths {
public:
    virtual ~Paths() = default;
    virtual QString documentsFolder() const = 0;
    virtual QString programFolder() const = 0;
    virtual QString tempFolder() const = 0;
    // Full path of the running program file.
    virtual QString programFile() const { return programFolder() + QStringLiteral("/tharnvik-editor"); }
};

class Shell {
public:
    virtual ~Shell() = default;
    virtual void openUrl(const QString &url) = 0;
    virtual void openFolder(const QString &path) = 0;
    // Starts a detached program; false when it could not be started.
    virtual bool startProgram(const QString &program, const QStringList &arguments,
                              const QString &workingFolder) = 0;
};

// The outcome of one HTTP GET.
struct HttpReply {
    // A complete answer arrived (any status). False when the request failed
    // without one: no network, name or certificate failure, refused
    // redirect, a transfer cut short, the deadline passed, the body cap.
    bool answered = false;
    int status = 0;
    QString statusText;
    QByteArray body; // empty when the body went into a sink
    QString error;   // why there is no answer
};

class Network {
public:
    virtual ~Network() = default;
    // Blocking GET. While it runs, timers and sockets are served but no
    // user input is processed. A body larger than maxBody bytes fails the
    // request. With a sink the body is written there as it arrives
    // (a sink that refuses a write fails the request).
    virtual HttpReply get(const QString &url, qint64 maxBody, QIODevice *sink = nullptr) = 0;
    // Non-blocking GET: done runs later on this thread, unless context has
    // been destroyed by then.
    virtual void getLater(const QString &url, qint64 maxBody, QObject *context,
                          std::function<void(const HttpReply &)> done) = 0;
};

class Ftd2xx;

struct Services {
    Dialogs &dialogs;
    Clock &clock;
    Paths &paths;
    Shell &shell;
    Ftd2xx &ftd2xx;
    Network &network;
};
