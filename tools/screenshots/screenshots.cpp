// Saves pictures of the main window (in every skin, with a menu open) and of
// the debug console into a folder:  tharnvik-screenshots OUTDIR
// Runs offscreen; the editor's own folder goes to a temporary documents folder.
#include "ConsoleModel.h"
#include "Editor.h"
#include "Looks.h"
#include "PrintConsole.h"
#include "RealServices.h"
#include "main.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

class TempDocuments final : public Paths {
public:
    QString documentsFolder() const override { return m_dir.path(); }
    QString programFolder() const override { return QCoreApplication::applicationDirPath(); }
    QString tempFolder() const override { return QDir::tempPath(); }

private:
    QTemporaryDir m_dir;
};

void save(QWidget *w, const QString &path)
{
    QApplication::processEvents();
    w->grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    QtDialogs dialogs;
    SystemClock clock;
    TempDocuments paths;
    DesktopShell shell;
    Editor editor(Services{dialogs, clock, paths, shell});
    TformMain *main = editor.windows().formMain;
    main->show();
    for (int n = 0; n < Looks::kSkins; ++n) {
        Looks::applySkin(n);
        save(main, QDir(out).filePath(QStringLiteral("main-window-style-%1.png").arg(n)));
    }
    Looks::applySkin(0);
    save(main, QDir(out).filePath(QStringLiteral("main-window.png")));

    // A menu opened over the window.
    main->menuSettings->popup(main->mapToGlobal(QPoint(150, 24)));
    QApplication::processEvents();
    save(main->menuSettings, QDir(out).filePath(QStringLiteral("menu-settings.png")));
    main->menuSettings->hide();
    main->menuInfo->popup(main->mapToGlobal(QPoint(300, 24)));
    QApplication::processEvents();
    save(main->menuInfo, QDir(out).filePath(QStringLiteral("menu-info.png")));
    main->menuInfo->hide();

    auto *console = editor.windows().formPrint;
    for (int i = 0; i < 60; ++i)
        editor.console().ConsolePrint(QStringLiteral("received Byte: %1").arg(i, 2, 16, QLatin1Char('0')).toUpper());
    editor.console().ConsolePrint(QStringLiteral("********************REQUEST********************"));
    console->show();
    save(console, QDir(out).filePath(QStringLiteral("debug-console.png")));
    return 0;
}
