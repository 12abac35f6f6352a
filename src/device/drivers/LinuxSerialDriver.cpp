#include "LinuxSerialDriver.h"

#include <QSerialPortInfo>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t kFtdiVendor = 0x0403;

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

// Orders ttyUSB2 before ttyUSB10.
auto nameOrder(const std::string &name)
{
    const std::size_t digits = name.find_last_not_of("0123456789") + 1;
    const std::string number = name.substr(digits);
    return std::make_tuple(name.substr(0, digits), number.size(), number);
}

struct Port {
    LinuxSerialDriver::PortInfo info;
    std::string device; // what the ports of one chip share
    std::optional<int> interfaceNumber; // when sysfs tells it
    std::string latencyFile;
};

// What sysfs adds to a port: the USB device it belongs to, its interface
// number and its latency_timer. Nothing when sysfs does not know the port.
void addSysfs(Port &port, const fs::path &root)
{
    std::error_code ec;
    const fs::path device = fs::canonical(root / "class" / "tty" / port.info.name / "device", ec);
    if (ec || root.empty())
        return;
    // Walk up through the USB interface to the USB device (the folder with idVendor).
    fs::path interface;
    for (fs::path p = device.parent_path(); p != root && p.has_relative_path(); p = p.parent_path()) {
        if (fs::exists(p / "idVendor", ec)) {
            port.device = p.string();
            break;
        }
        interface = p;
    }
    if (!port.device.empty() && !interface.empty()) {
        const long number = std::strtol(attribute(interface / "bInterfaceNumber").c_str(), nullptr, 16);
        port.interfaceNumber = static_cast<int>(std::clamp(number, 0L, 25L));
    }
    port.latencyFile = (device / "latency_timer").string();
}

} // namespace

std::vector<LinuxSerialDriver::PortInfo> LinuxSerialDriver::systemPorts()
{
    std::vector<PortInfo> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PortInfo port{info.portName().toStdString(), info.systemLocation().toStdString(),
                      info.serialNumber().toStdString(), info.description().toStdString(), {}, {}};
        if (info.hasVendorIdentifier())
            port.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.productId = info.productIdentifier();
        ports.push_back(std::move(port));
    }
    return ports;
}

LinuxSerialDriver::LinuxSerialDriver(PortList ports, std::string sysfsRoot, SerialPort::OpenFunction openFunction)
    : SerialPortDriver(std::move(openFunction))
    , m_ports(std::move(ports))
    , m_sysfsRoot(std::move(sysfsRoot))
{
}

std::vector<SerialPortDriver::Bridge> LinuxSerialDriver::enumerate() const
{
    std::error_code ec;
    const fs::path root = fs::canonical(m_sysfsRoot, ec);

    std::vector<Port> ports;
    for (PortInfo &info : m_ports ? m_ports() : std::vector<PortInfo>()) {
        if (info.vendorId != kFtdiVendor || info.name.empty() || info.path.empty())
            continue;
        Port port;
        port.info = std::move(info);
        if (!ec)
            addSysfs(port, root);
        if (port.device.empty()) // without sysfs: one chip, one serial number
            port.device = port.info.serial + '\n' + port.info.description;
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(),
              [](const Port &a, const Port &b) { return nameOrder(a.info.name) < nameOrder(b.info.name); });

    std::map<std::string, int> portsPerDevice;
    for (const Port &p : ports)
        ++portsPerDevice[p.device];

    std::vector<Bridge> bridges;
    std::map<std::string, int> seenOfDevice;
    for (const Port &p : ports) {
        Bridge b{p.info.serial, p.info.description, p.info.path, {p.latencyFile, true, {}}};
        const int inOrder = seenOfDevice[p.device]++;
        if (portsPerDevice[p.device] > 1) {
            const char letter = static_cast<char>('A' + std::clamp(p.interfaceNumber.value_or(inOrder), 0, 25));
            b.serial += letter;
            b.description += std::string(" ") + letter;
        }
        bridges.push_back(std::move(b));
    }
    return bridges;
}
