#pragma once

#include "Services.h"

// The real clock and folders; they need Qt Core alone, so the editor and
// tharnvik-cli share them.
class SystemClock final : public Clock {
public:
    void pause(int ms) override;
    qint64 nowMs() const override;
    QDateTime localNow() const override;
    ClockTimer *createTimer(QObject *parent, int intervalMs) override;
    void waitForEvents(int maxMs) override;
};

class SystemPaths final : public Paths {
public:
    QString documentsFolder() const override;
    QString programFolder() const override;
    QString tempFolder() const override;
    QString programFile() const override;
};
