#pragma once

#include "SerialPortDriver.h"

#include <string>

// FTDI bridges (USB vendor 0403) that the kernel's ftdi_sio driver has bound,
// found in sysfs and opened as <dev>/ttyUSBn. The serial number and the
// description are the USB device's serial and product strings; a chip with
// several ports lists each one with the port's letter appended ("FT1234A",
// "Dual RS232 A"), as FTDI's own library does. The latency timer is lowered
// with the low-latency flag, else through sysfs's latency_timer of the port.
class LinuxSerialDriver : public SerialPortDriver {
public:
    explicit LinuxSerialDriver(std::string sysfsRoot = "/sys", std::string devRoot = "/dev",
                               SerialPort::OpenFunction openFunction = {});

protected:
    std::vector<Bridge> enumerate() const override;
    const char *driverName(DWORD) const override { return "kernel serial"; }

private:
    std::string m_sysfsRoot;
    std::string m_devRoot;
};
