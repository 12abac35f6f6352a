#pragma once

#include <functional>
#include <memory>

class Ftd2xx;

// The bridges of this system: the kernel's serial ports, FTDI's own
// library when it is installed, and the virtual pedals the user runs.
class SystemBridges {
public:
    SystemBridges();
    ~SystemBridges();
    SystemBridges(const SystemBridges &) = delete;
    SystemBridges &operator=(const SystemBridges &) = delete;

    Ftd2xx &bridges();
    // Called (possibly from a driver's reader thread) when bytes arrive.
    void setDataCallback(std::function<void()> callback);

private:
    std::unique_ptr<Ftd2xx> m_bridges;
};
