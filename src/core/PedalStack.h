#pragma once

#include <functional>
#include <memory>

class Clock;
class Communication;
class ConsoleModel;
class D2XXUnit;
class Ftd2xx;
class PedalSession;
struct AppState;

// The pedal as a program gets it: the transport over a set of bridges and
// the session on it, made in one place. A program uses the session; only
// the core reaches the transport.
class PedalStack {
public:
    PedalStack(Ftd2xx &bridges, ConsoleModel &console, Clock &clock, AppState &state);
    ~PedalStack();
    PedalStack(const PedalStack &) = delete;
    PedalStack &operator=(const PedalStack &) = delete;

    PedalSession &session() { return *m_session; }
    // The transport under the session, for tests and benchmarks that look
    // at it.
    D2XXUnit &usb() { return *m_usb; }
    // Called (possibly from a driver's reader thread) when bytes arrive.
    void setDataCallback(std::function<void()> callback);

private:
    Ftd2xx &m_bridges;
    std::unique_ptr<D2XXUnit> m_usb;
    std::unique_ptr<Communication> m_comm;
    std::unique_ptr<PedalSession> m_session;
};
