#pragma once

#include "Services.h"

class QWidget;

class QtDialogs final : public Dialogs {
public:
    void message(const QString &text) override;
    Answer question(const QString &text) override;
    QString openFileName(const FileDialogOptions &options) override;
    QString saveFileName(const FileDialogOptions &options) override;
};

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

class DesktopShell final : public Shell {
public:
    void openUrl(const QString &url) override;
    void openFolder(const QString &path) override;
    bool startProgram(const QString &program, const QStringList &arguments,
                      const QString &workingFolder) override;
};
