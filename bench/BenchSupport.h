#pragma once

// Services for benchmarks that build a whole editor: dialogs that never
// block, and a private documents folder.
#include "Services.h"

#include <QTemporaryDir>

#include <cstdio>

class QuietDialogs final : public Dialogs {
public:
    void message(const QString &text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
    Answer question(const QString &) override { return Answer::Yes; }
    QString openFileName(const FileDialogOptions &) override { return nextFile; }
    QString nextFile; // what an open dialog answers
    QString saveFileName(const FileDialogOptions &) override { return {}; }
};

class TempPaths final : public Paths {
public:
    QString documentsFolder() const override { return m_dir.path(); }
    QString programFolder() const override { return m_dir.path(); }
    QString tempFolder() const override { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
