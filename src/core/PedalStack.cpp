#include "PedalStack.h"

#include "Communication.h"
#include "D2XXUnit.h"
#include "PedalSession.h"

PedalStack::PedalStack(Ftd2xx &bridges, ConsoleModel &console, Clock &clock, AppState &state)
    : m_bridges(bridges), m_usb(std::make_unique<D2XXUnit>(bridges, console)),
      m_comm(std::make_unique<Communication>(*m_usb, console, clock, state)),
      m_session(std::make_unique<PedalSession>(*m_usb, *m_comm, console, clock, state))
{
}

PedalStack::~PedalStack() = default;

void PedalStack::setDataCallback(std::function<void()> callback)
{
    m_bridges.setDataCallback(std::move(callback));
}
