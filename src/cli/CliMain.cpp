// tharnvik-cli: the program. Parses nothing itself; see CliCommands.
#include "CliCommands.h"
#include "SystemBridges.h"
#include "SystemServices.h"

#include <QCoreApplication>
#include <QEvent>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

bool *volatile g_quitting = nullptr;

void onInterrupt(int)
{
    // Every wait for the pedal looks at this flag and ends at its next step.
    if (g_quitting)
        *g_quitting = true;
}

void print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), to);
    std::fputc('\n', to);
    std::fflush(to);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tharnvik-cli"));
    SystemBridges bridge;
    SystemClock clock;
    // Bytes from the bridge wake a wait at once.
    QObject wake;
    bridge.setDataCallback([&wake] { QCoreApplication::postEvent(&wake, new QEvent(QEvent::User)); });

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    cli::Output output{[](const QString &t) { print(stdout, t); }, [](const QString &t) { print(stderr, t); },
                       [] {
                           char line[256];
                           return std::fgets(line, sizeof line, stdin) != nullptr;
                       },
                       {}};
    output.confirm = [](const QString &question) {
        const QByteArray text = question.toLocal8Bit();
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
        if (!::isatty(STDIN_FILENO)) {
            // Piped input is not a player's answer.
            std::fputc('\n', stdout);
            std::fflush(stdout);
            return false;
        }
        std::fflush(stdout);
        char line[256];
        if (!std::fgets(line, sizeof line, stdin))
            return false;
        const QString answer = QString::fromLocal8Bit(line).trimmed().toLower();
        return answer == QLatin1String("y") || answer == QLatin1String("yes");
    };
    if (::isatty(STDERR_FILENO)) {
        output.progress = [](int value, int max) {
            if (max < 0)
                std::fputs("\n", stderr);
            else
                std::fprintf(stderr, "\rwriting chunk %d of %d", value + 1, max);
            std::fflush(stderr);
        };
    }
    const int status = cli::run(arguments, bridge.bridges(), clock, output, [](bool *flag) { g_quitting = flag; });
    bridge.setDataCallback({});
    return status;
}
