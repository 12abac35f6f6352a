#include "SystemServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

class QtClockTimer final : public ClockTimer {
public:
    QtClockTimer(QObject *parent, int intervalMs) : ClockTimer(parent), m_timer(this)
    {
        m_timer.setInterval(intervalMs);
        // Coarse timers may fire up to 5 % early; pacing relies on the
        // interval being a lower bound.
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &ClockTimer::timeout);
    }
    void setEnabled(bool enabled) override
    {
        if (enabled == m_timer.isActive())
            return;
        if (enabled)
            m_timer.start();
        else
            m_timer.stop();
    }
    bool isEnabled() const override { return m_timer.isActive(); }
    void setInterval(int ms) override { m_timer.setInterval(ms); }
    int interval() const override { return m_timer.interval(); }

private:
    QTimer m_timer;
};

} // namespace

void SystemClock::pause(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

qint64 SystemClock::nowMs() const
{
    static const QElapsedTimer start = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return start.elapsed();
}

QDateTime SystemClock::localNow() const
{
    return QDateTime::currentDateTime();
}

ClockTimer *SystemClock::createTimer(QObject *parent, int intervalMs)
{
    return new QtClockTimer(parent, intervalMs);
}

void SystemClock::waitForEvents(int maxMs)
{
    // The timer guarantees a wake-up; data from a device or any other event
    // ends the wait sooner.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(std::max(maxMs, 0));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

QString SystemPaths::documentsFolder() const
{
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        docs = QDir::homePath();
    return QDir::cleanPath(docs);
}

QString SystemPaths::programFolder() const
{
    return QCoreApplication::applicationDirPath();
}

QString SystemPaths::programFile() const
{
    return QCoreApplication::applicationFilePath();
}

QString SystemPaths::tempFolder() const
{
    return QDir::tempPath();
}
