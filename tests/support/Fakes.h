#pragma once

#include "Services.h"

#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <map>
#include <functional>
#include <memory>
#include <vector>

// Records every message and question; answers questions and file dialogs
// from scripts (Yes and empty names when the script runs out).
class FakeDialogs final : public Dialogs {
public:
    void message(const QString &text) override { messages << text; }
    Answer question(const QString &text) override
    {
        questions << text;
        // What happens while a modal question waits (timers tick in it).
        if (onQuestion)
            onQuestion(text);
        if (answers.empty())
            return Answer::Yes;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    QString openFileName(const FileDialogOptions &options) override { return next(options); }
    QString saveFileName(const FileDialogOptions &options) override { return next(options); }
    // Answers from `texts` (a cancel when the script runs out); records the
    // title and label asked.
    std::optional<QString> askText(const QString &title, const QString &label, const QString &initial) override
    {
        textQuestions << title + QStringLiteral(" | ") + label + QStringLiteral(" | ") + initial;
        if (texts.empty())
            return std::nullopt;
        std::optional<QString> answer = texts.front();
        texts.pop_front();
        return answer;
    }

    QStringList messages;
    QStringList questions;
    std::deque<Answer> answers;
    std::function<void(const QString &)> onQuestion;
    std::deque<QString> fileNames;
    std::vector<FileDialogOptions> fileDialogs;
    std::deque<std::optional<QString>> texts;
    QStringList textQuestions;

private:
    QString next(const FileDialogOptions &options)
    {
        fileDialogs.push_back(options);
        if (fileNames.empty())
            return {};
        QString name = fileNames.front();
        fileNames.pop_front();
        return name;
    }
};

// Virtual time: pauses advance it and are recorded; timers fire when time
// passes their due point.
class FakeClock final : public Clock {
public:
    void pause(int ms) override
    {
        pauses.push_back(ms);
        if (onPause)
            onPause(m_now);
        advance(ms);
    }
    qint64 nowMs() const override { return m_now; }
    QDateTime localNow() const override { return wallStart.addMSecs(m_now); }
    ClockTimer *createTimer(QObject *parent, int intervalMs) override;

    // Advances virtual time (at least 1 ms) and processes pending events;
    // onWait runs first, so a virtual pedal can produce its bytes.
    void waitForEvents(int maxMs) override;
    std::function<void(qint64 nowMs)> onWait;
    std::function<void(qint64 nowMs)> onPause; // runs as a pause starts
    int waits = 0;

    // Moves virtual time forward, firing due timers in order.
    void advance(qint64 ms);

    std::vector<int> pauses;
    QDateTime wallStart = QDateTime(QDate(2026, 12, 9), QTime(14, 5, 9));

private:
    friend class FakeClockTimer;
    qint64 m_now = 0;
    std::vector<class FakeClockTimer *> m_timers;
};

class FakeClockTimer final : public ClockTimer {
public:
    FakeClockTimer(FakeClock &clock, QObject *parent, int intervalMs);
    ~FakeClockTimer() override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }
    void setInterval(int ms) override;
    int interval() const override { return m_interval; }
    qint64 due() const { return m_due; }
    void fire();

private:
    FakeClock &m_clock;
    bool m_enabled = false;
    int m_interval;
    qint64 m_due = 0;
};

// A fresh documents, program and temp folder per test.
class TempPaths final : public Paths {
public:
    TempPaths();
    QString documentsFolder() const override { return m_docs; }
    QString programFolder() const override { return m_program; }
    QString tempFolder() const override { return m_temp; }
    QString root() const { return m_root.path(); }
    void setDocumentsFolder(const QString &path) { m_docs = path; }
    void setProgramFolder(const QString &path) { m_program = path; }
    void setTempFolder(const QString &path) { m_temp = path; }

private:
    QTemporaryDir m_root;
    QString m_docs, m_program, m_temp;
};

class FakeShell final : public Shell {
public:
    void openUrl(const QString &url) override { urls << url; }
    void openFolder(const QString &path) override { folders << path; }
    bool startProgram(const QString &program, const QStringList &arguments, const QString &workingFolder) override
    {
        programs << program;
        starts.push_back({program, arguments, workingFolder});
        return startResult;
    }
    struct Start {
        QString program;
        QStringList arguments;
        QString workingFolder;
    };
    QStringList urls, folders, programs;
    std::vector<Start> starts;
    bool startResult = true;
};

// Answers by the request's path; a path without an answer fails as a
// machine without network does. Requests made later are answered on the
// next pass of the event loop.
class FakeNetwork final : public Network {
public:
    HttpReply get(const QString &url, qint64 maxBody, QIODevice *sink = nullptr) override;
    void getLater(const QString &url, qint64 maxBody, QObject *context,
                  std::function<void(const HttpReply &)> done) override;

    static HttpReply ok(const QByteArray &body) { return {true, 200, QStringLiteral("OK"), body, {}}; }
    static HttpReply status(int code, const QString &text) { return {true, code, text, {}, {}}; }
    static HttpReply failure(const QString &error) { return {false, 0, {}, {}, error}; }

    std::map<QString, HttpReply> answers; // by path
    QStringList requests;                 // full addresses, in order

private:
    HttpReply answer(const QString &url, qint64 maxBody, QIODevice *sink);
};

// All fakes, ready to hand to an Editor; the bridge is a recording fake
// with no devices unless a test swaps in another.
struct FakeServices {
    FakeServices();
    ~FakeServices();
    FakeDialogs dialogs;
    FakeClock clock;
    TempPaths paths;
    FakeShell shell;
    FakeNetwork fakeNetwork;
    Network *network = &fakeNetwork;
    std::unique_ptr<class RecordingFtd2xx> recorder;
    Ftd2xx *bridge;
    Services services() { return Services{dialogs, clock, paths, shell, *bridge, *network}; }
};
