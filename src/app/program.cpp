#include "AppState.h"
#include "SystemBridges.h"
#include "Editor.h"
#include "Guard.h"
#include "HttpClient.h"
#include "RealServices.h"
#include "main.h"
#ifdef THARNVIK_TEST_UPDATER_KEY
#include "TestUpdaterKey.h"
#include "UpdateUpdaterUnit.h"
#endif

#include <QTimer>
#include <QApplication>
#include <QFont>
#include <QGuiApplication>

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

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

// SIGTERM and SIGINT close the main window as a click on its close box
// would, so the log is saved when the session ends or a script stops us.
int g_signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char b = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &b, 1);
}

void closeOnSignals(QWidget *mainWindow)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, mainWindow, [mainWindow] {
        char b;
        while (::read(g_signalPipe[0], &b, 1) > 0) {
        }
        mainWindow->close();
    });
    struct sigaction sa = {};
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}

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
    HttpClient network;
    SystemBridges bridges;
    Editor editor(Services{dialogs, clock, paths, shell, bridges.bridges(), network});
#ifdef THARNVIK_TEST_UPDATER_KEY
    // The end-to-end tests' build of the program (tharnvik-editor-e2e, never
    // installed) trusts their updater signing key in place of the maker's.
    editor.windows().formUpdateUpdater->setTrustedKey(
        QByteArray(reinterpret_cast<const char *>(kTestUpdaterKey), sizeof kTestUpdaterKey));
#endif
    QObject::connect(editor.windows().formMain, &TformMain::closed, &app, [&editor, &app] {
        // Every wait for the pedal ends at once, then the event loop.
        editor.state().Quitting = true;
        app.quit();
    });
    closeOnSignals(editor.windows().formMain);
    editor.show();
    if (qEnvironmentVariableIsSet("THARNVIK_REPORT_SHOWN")) {
        // For the start-up benchmark: one line once the first pass of the
        // event loop has drawn the main window.
        QTimer::singleShot(0, &app, [] {
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
        });
    }
    const int code = app.exec();
    editor.releaseBridge();
    return code;
}
