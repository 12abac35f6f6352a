#include "Editor.h"
#include "Guard.h"
#include "RealServices.h"
#include "main.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>

#include <cstdio>
#include <exception>

namespace {

// The last line of defence: a handler that escaped its own guard must not end
// the editor.
class EditorApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "tharnvik-editor: unhandled error: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "tharnvik-editor: unhandled error\n");
        }
        return false;
    }
};

bool displayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty())
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayAvailable()) {
        std::fputs("The Tharnvik Editor needs a graphical desktop: start it from a desktop session, "
                   "or without one run it as `xvfb-run make run`.\n",
                   stderr);
        return 2;
    }
    EditorApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tharnvik Editor"));
    QApplication::setApplicationVersion(QStringLiteral(THARNVIK_APP_VERSION));
    // The windows are laid out at fixed positions for a 9-point interface font.
    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);
    // The main window ends the program even while other windows are open.
    QApplication::setQuitOnLastWindowClosed(false);

    QtDialogs dialogs;
    SystemClock clock;
    SystemPaths paths;
    DesktopShell shell;
    Editor editor(Services{dialogs, clock, paths, shell});
    QObject::connect(editor.windows().formMain, &TformMain::closed, &app, &QApplication::quit);
    editor.show();
    return app.exec();
}
