#include "Fakes.h"

#include "RecordingFtd2xx.h"

#include <QCoreApplication>
#include <QDir>
#include <QIODevice>
#include <QTimer>
#include <QUrl>

#include <algorithm>

ClockTimer *FakeClock::createTimer(QObject *parent, int intervalMs)
{
    return new FakeClockTimer(*this, parent, intervalMs);
}

void FakeClock::advance(qint64 ms)
{
    const qint64 end = m_now + std::max<qint64>(ms, 0);
    for (;;) {
        FakeClockTimer *next = nullptr;
        for (FakeClockTimer *t : m_timers) {
            if (t->isEnabled() && t->due() <= end && (!next || t->due() < next->due()))
                next = t;
        }
        if (!next)
            break;
        m_now = std::max(m_now, next->due());
        next->fire();
    }
    m_now = end;
}

FakeClockTimer::FakeClockTimer(FakeClock &clock, QObject *parent, int intervalMs)
    : ClockTimer(parent), m_clock(clock), m_interval(intervalMs)
{
    m_clock.m_timers.push_back(this);
}

FakeClockTimer::~FakeClockTimer()
{
    auto &timers = m_clock.m_timers;
    timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
}

void FakeClockTimer::setEnabled(bool enabled)
{
    if (enabled && !m_enabled)
        m_due = m_clock.nowMs() + std::max(m_interval, 1);
    m_enabled = enabled;
}

void FakeClockTimer::setInterval(int ms)
{
    m_interval = ms;
    if (m_enabled)
        m_due = m_clock.nowMs() + std::max(m_interval, 1);
}

void FakeClockTimer::fire()
{
    m_due += std::max(m_interval, 1);
    emit timeout();
}

TempPaths::TempPaths()
{
    QDir root(m_root.path());
    root.mkpath(QStringLiteral("Documents"));
    root.mkpath(QStringLiteral("program"));
    root.mkpath(QStringLiteral("temp"));
    m_docs = root.filePath(QStringLiteral("Documents"));
    m_program = root.filePath(QStringLiteral("program"));
    m_temp = root.filePath(QStringLiteral("temp"));
}

void FakeClock::waitForEvents(int maxMs)
{
    ++waits;
    const int step = std::max(1, std::min(maxMs, 5));
    advance(step);
    if (onWait)
        onWait(m_now);
    QCoreApplication::processEvents();
}

FakeServices::FakeServices() : recorder(std::make_unique<RecordingFtd2xx>()), bridge(recorder.get()) {}
FakeServices::~FakeServices() = default;

HttpReply FakeNetwork::answer(const QString &url, qint64 maxBody, QIODevice *sink)
{
    requests << url;
    const auto it = answers.find(QUrl(url).path());
    if (it == answers.end())
        return failure(QStringLiteral("Network unreachable"));
    HttpReply reply = it->second;
    if (reply.answered && reply.body.size() > maxBody)
        return failure(QStringLiteral("The server's answer is larger than %1 bytes").arg(maxBody));
    if (reply.answered && sink) {
        if (sink->write(reply.body) != reply.body.size())
            return failure(QStringLiteral("Cannot write the received data: ") + sink->errorString());
        reply.body.clear();
    }
    return reply;
}

HttpReply FakeNetwork::get(const QString &url, qint64 maxBody, QIODevice *sink)
{
    return answer(url, maxBody, sink);
}

void FakeNetwork::getLater(const QString &url, qint64 maxBody, QObject *context,
                           std::function<void(const HttpReply &)> done)
{
    const HttpReply reply = answer(url, maxBody, nullptr);
    QTimer::singleShot(0, context, [reply, done = std::move(done)] { done(reply); });
}
