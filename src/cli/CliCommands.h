#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class Ftd2xx;
class Clock;

// The commands of tharnvik-cli, over the pedal core. Each returns the
// program's exit status.
namespace cli {

enum Status { Done = 0, PedalFailed = 1, Usage = 2, NoLink = 3 };

struct Options {
    QString serial;  // empty: the first bridge (flash: the only one)
    QString logFile; // the narration, appended when the command ends
    bool quiet = false;
    bool json = false;
};

struct Output {
    std::function<void(const QString &)> out; // results (stdout)
    std::function<void(const QString &)> err; // failures and notes (stderr)
    // Waits for Enter; false when the input ended instead.
    std::function<bool()> waitForEnter;
    // Asks a question that a "y" or "yes" answers; false for any other
    // answer, and without asking when the input is not a terminal.
    std::function<bool(const QString &question)> confirm;
    // Progress of a long step (stderr is a terminal); empty otherwise.
    std::function<void(int value, int max)> progress;
};

// Runs one command line (without the program name). quitFlag is told where
// the flag lives that ends every wait for the pedal (Ctrl+C sets it), and
// told nullptr once the command is over.
int run(const QStringList &arguments, Ftd2xx &bridge, Clock &clock, const Output &output,
        const std::function<void(bool *)> &quitFlag = {});

QString programHelp();

} // namespace cli
