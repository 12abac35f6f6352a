#pragma once

// What the fuzz targets share: input split into pieces, and a clock that
// only moves when asked.
#include "Services.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

// Splits the input into pieces: each piece starts with a length byte
// (0..63) followed by up to that many bytes.
inline std::vector<QByteArray> pieces(const std::uint8_t *data, std::size_t size)
{
    std::vector<QByteArray> out;
    std::size_t i = 0;
    while (i < size) {
        const std::size_t n = std::min<std::size_t>(data[i] & 0x3F, size - i - 1);
        out.emplace_back(reinterpret_cast<const char *>(data + i + 1), static_cast<qsizetype>(n));
        i += n + 1;
    }
    return out;
}

// Where a target that writes files each run keeps them: a folder in memory
// when the system has one (many times faster than a disk's), else the
// temporary folder.
inline QString scratchTemplate()
{
    if (QDir(QStringLiteral("/dev/shm")).exists())
        return QStringLiteral("/dev/shm/tharnvik-fuzz-XXXXXX");
    return QDir::tempPath() + QStringLiteral("/tharnvik-fuzz-XXXXXX");
}

class StillTimer final : public ClockTimer {
public:
    using ClockTimer::ClockTimer;
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }
    void setInterval(int ms) override { m_interval = ms; }
    int interval() const override { return m_interval; }

private:
    bool m_enabled = false;
    int m_interval = 0;
};

class SteppingClock final : public Clock {
public:
    void pause(int ms) override { m_now += ms; }
    qint64 nowMs() const override { return m_now; }
    QDateTime localNow() const override { return QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addMSecs(m_now); }
    ClockTimer *createTimer(QObject *parent, int intervalMs) override
    {
        auto *t = new StillTimer(parent);
        t->setInterval(intervalMs);
        return t;
    }
    void waitForEvents(int maxMs) override { m_now += std::max(1, maxMs); }

private:
    qint64 m_now = 0;
};
