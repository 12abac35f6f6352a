#include "LinuxSerialDriver.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

// A sysfs attribute: its first line.
std::string attribute(const fs::path &file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

unsigned long ttyNumber(const std::string &name)
{
    return std::strtoul(name.c_str() + 6, nullptr, 10); // after "ttyUSB"
}

struct Port {
    std::string name; // ttyUSBn
    fs::path usbDevice;
    int interfaceNumber = 0;
    std::string serial;
    std::string product;
    fs::path latencyFile;
};

} // namespace

LinuxSerialDriver::LinuxSerialDriver(std::string sysfsRoot, std::string devRoot,
                                     SerialPort::OpenFunction openFunction)
    : SerialPortDriver(std::move(openFunction))
    , m_sysfsRoot(std::move(sysfsRoot))
    , m_devRoot(std::move(devRoot))
{
}

std::vector<SerialPortDriver::Bridge> LinuxSerialDriver::enumerate() const
{
    std::error_code ec;
    const fs::path root = fs::canonical(m_sysfsRoot, ec);
    if (ec)
        return {};

    std::vector<Port> ports;
    for (const fs::directory_entry &entry : fs::directory_iterator(root / "class" / "tty", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("ttyUSB", 0) != 0)
            continue;
        // class/tty/ttyUSBn/device is the usb-serial port; its driver link names the driver.
        const fs::path device = entry.path() / "device";
        if (fs::read_symlink(device / "driver", ec).filename() != "ftdi_sio" || ec)
            continue;
        const fs::path port = fs::canonical(device, ec);
        if (ec)
            continue;
        // Walk up through the USB interface to the USB device (the folder with idVendor).
        fs::path interface;
        fs::path usb;
        for (fs::path p = port.parent_path(); p != root && p.has_relative_path(); p = p.parent_path()) {
            if (fs::exists(p / "idVendor", ec)) {
                usb = p;
                break;
            }
            interface = p;
        }
        if (usb.empty() || attribute(usb / "idVendor") != "0403")
            continue;
        Port found;
        found.name = name;
        found.usbDevice = usb;
        if (!interface.empty()) {
            const long number = std::strtol(attribute(interface / "bInterfaceNumber").c_str(), nullptr, 16);
            found.interfaceNumber = static_cast<int>(std::clamp(number, 0L, 25L));
        }
        found.latencyFile = port / "latency_timer";
        found.serial = attribute(usb / "serial");
        found.product = attribute(usb / "product");
        ports.push_back(std::move(found));
    }
    std::sort(ports.begin(), ports.end(),
              [](const Port &a, const Port &b) { return ttyNumber(a.name) < ttyNumber(b.name); });

    std::map<fs::path, int> portsPerDevice;
    for (const Port &p : ports)
        ++portsPerDevice[p.usbDevice];

    std::vector<Bridge> bridges;
    for (const Port &p : ports) {
        Bridge b{p.serial, p.product, (fs::path(m_devRoot) / p.name).string(), {p.latencyFile.string(), true, {}}};
        if (portsPerDevice[p.usbDevice] > 1) {
            const char letter = static_cast<char>('A' + p.interfaceNumber);
            b.serial += letter;
            b.description += std::string(" ") + letter;
        }
        bridges.push_back(std::move(b));
    }
    return bridges;
}
