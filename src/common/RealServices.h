#pragma once

#include "Services.h"
#include "SystemServices.h"

class QWidget;

class QtDialogs final : public Dialogs {
public:
    void message(const QString &text) override;
    Answer question(const QString &text) override;
    QString openFileName(const FileDialogOptions &options) override;
    QString saveFileName(const FileDialogOptions &options) override;
    std::optional<QString> askText(const QString &title, const QString &label, const QString &initial) override;
};

class DesktopShell final : public Shell {
public:
    void openUrl(const QString &url) override;
    void openFolder(const QString &path) override;
    bool startProgram(const QString &program, const QStringList &arguments,
                      const QString &workingFolder) override;
};
