#include "SystemBridges.h"

#include "CompositeFtd2xx.h"

SystemBridges::SystemBridges() : m_bridges(CompositeFtd2xx::createForSystem()) {}

SystemBridges::~SystemBridges() = default;

Ftd2xx &SystemBridges::bridges()
{
    return *m_bridges;
}

void SystemBridges::setDataCallback(std::function<void()> callback)
{
    m_bridges->setDataCallback(std::move(callback));
}
