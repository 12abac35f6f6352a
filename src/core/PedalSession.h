#pragma once

#include "Ftd2xx.h"
#include "PedalSnapshot.h"

#include <QObject>
#include <QString>

#include <vector>

class Clock;
class Communication;
class ConsoleModel;
class D2XXUnit;
struct AppState;

// The pedal as the editor and tharnvik-cli use it: the bridges, the link,
// the REQUEST and the messages, over the one transport. It narrates what it
// does on the console as the editor always has, reports outcomes as return
// values and signals, and never asks a question: a caller asks first, then
// calls.
class PedalSession : public QObject {
    Q_OBJECT
public:
    enum class LinkState { Unlinked, Application, Bootloader, Upgrading };

    PedalSession(D2XXUnit &usb, Communication &comm, ConsoleModel &console, Clock &clock, AppState &state);

    LinkState linkState() const;

    struct Bridge {
        QString serial;
        QString description;
        QString driver; // which driver sees it
    };
    // Every bridge the drivers see, in their order (empty when counting fails).
    std::vector<Bridge> bridges();

    struct Opened {
        bool ok = false;
        QString advice; // why not, when the player can do something about it
    };
    // Opens the bridge with that serial number and sets the line the
    // application firmware uses, narrating as a link does.
    Opened open(const QString &serial);
    FT_STATUS close();

    enum class RequestOutcome {
        Answered, // all 107 numbers, none garbled
        Silent,   // nothing came
        Short,    // the line went quiet before the answer was whole
        Garbled,  // a line held bytes other than digits
        Refused,  // another exchange waits for its answer
        Quitting, // the program is closing
    };
    struct RequestReply {
        RequestOutcome outcome = RequestOutcome::Silent;
        int numbers = 0;
        PedalSnapshot snapshot; // decoded when Answered
    };
    // The REQUEST (02 00, the pause, the answer), under the exchange guard.
    // RequestInProgress is set until endRequest(): a caller renders the
    // answer first.
    RequestReply request();
    void endRequest();

    // One message, whole, in one write; bytes the bridge took.
    DWORD send(const QByteArray &message);
    // 01 AAAA VVVVVVVV, as the effect window writes a parameter.
    DWORD writeParameter(std::uint16_t address, std::uint32_t value);

    D2XXUnit &usb() { return m_usb; }
    Communication &comm() { return m_comm; }

signals:
    // The REQUEST is about to go out: the poll must not read its answer.
    void requestStarted();

private:
    D2XXUnit &m_usb;
    Communication &m_comm;
    ConsoleModel &m_console;
    Clock &m_clock;
    AppState &m_state;
};
