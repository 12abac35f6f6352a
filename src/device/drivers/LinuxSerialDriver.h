#pragma once

#include "SerialPortDriver.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// FTDI bridges (USB vendor 0403) that the system offers as serial ports (on
// Linux, the ports of the kernel's ftdi_sio driver), listed by
// QSerialPortInfo and opened by their path (/dev/ttyUSBn). The serial number
// and the description are the USB device's serial and product strings; a
// chip with several ports lists each one with the port's letter appended
// ("FT1234A", "Dual RS232 A"), as FTDI's own library does. What Qt does not
// tell comes from sysfs: the port's interface number (its letter) and
// latency_timer. The latency timer is lowered with the low-latency flag, else
// through that latency_timer.
class LinuxSerialDriver : public SerialPortDriver {
public:
    // One serial port as QSerialPortInfo describes it.
    struct PortInfo {
        std::string name; // ttyUSB0
        std::string path; // /dev/ttyUSB0
        std::string serial;
        std::string description;
        std::optional<std::uint16_t> vendorId;
        std::optional<std::uint16_t> productId;
    };
    using PortList = std::function<std::vector<PortInfo>()>;

    // The system's serial ports, from QSerialPortInfo.
    static std::vector<PortInfo> systemPorts();

    explicit LinuxSerialDriver(PortList ports = systemPorts, std::string sysfsRoot = "/sys",
                               SerialPort::OpenFunction openFunction = {});

protected:
    std::vector<Bridge> enumerate() const override;
    const char *driverName(DWORD) const override { return "kernel serial"; }

private:
    PortList m_ports;
    std::string m_sysfsRoot;
};
