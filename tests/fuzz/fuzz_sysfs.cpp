// FTDI bridges as the kernel-serial driver lists them: the ports as
// QSerialPortInfo describes them (vendor, serial, product, the tty's name),
// and from sysfs the interface number and latency_timer, all from the input;
// then the first bridge is opened by the serial it was listed with and its
// latency timer read and set.
#include "FuzzSupport.h"
#include "LinuxSerialDriver.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path &file, const QByteArray &bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.constData(), bytes.size());
}

// A file name from the input: no separators, no NUL, not "." or "..".
std::string nameFrom(const QByteArray &bytes, const std::string &prefix)
{
    std::string name = prefix;
    for (char c : bytes) {
        if (c != '/' && c != '\0')
            name += c;
    }
    return name == "." || name == ".." ? prefix + "x" : name;
}

// The port in sysfs, and as Qt lists it (opened as dev/<tty>).
LinuxSerialDriver::PortInfo addPort(const fs::path &sys, const fs::path &dev, const std::string &usbName,
                                    const QByteArray &vendor, const QByteArray &serial, const QByteArray &product,
                                    const QByteArray &interfaceNumber, int interface, const std::string &tty,
                                    const char *driver, const QByteArray &latency)
{
    const fs::path usb = sys / "devices/pci0000:00/usb1" / usbName;
    writeFile(usb / "idVendor", vendor);
    writeFile(usb / "serial", serial);
    writeFile(usb / "product", product);
    const fs::path iface = usb / (usbName + ":1." + std::to_string(interface));
    writeFile(iface / "bInterfaceNumber", interfaceNumber);
    const fs::path port = iface / tty;
    writeFile(port / "latency_timer", latency);
    const fs::path drivers = sys / "bus/usb-serial/drivers" / driver;
    fs::create_directories(drivers);
    fs::create_directory_symlink(drivers, port / "driver");
    fs::create_directories(sys / "class/tty" / tty);
    std::error_code ec;
    fs::create_directory_symlink(port, sys / "class/tty" / tty / "device", ec);
    LinuxSerialDriver::PortInfo info{tty, (dev / tty).string(), serial.toStdString(), product.toStdString(), {}, {}};
    bool number = false;
    const uint id = vendor.trimmed().toUInt(&number, 16);
    if (number && id <= 0xFFFF)
        info.vendorId = static_cast<std::uint16_t>(id);
    return info;
}

// A pseudo-terminal whose other side stands in for /dev/ttyUSB0.
std::string terminal()
{
    static std::string path = [] {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return std::string();
        return std::string(::ptsname(master)); // the master stays open for the run
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir(scratchTemplate());
    const fs::path root(dir.path().toStdString());
    const fs::path sys = root / "sys";
    const fs::path dev = root / "dev";
    std::error_code ec;
    fs::remove_all(sys, ec);
    fs::create_directories(dev);
    if (!fs::exists(dev / "ttyUSB0", ec) && !terminal().empty())
        fs::create_symlink(terminal(), dev / "ttyUSB0", ec);

    std::vector<QByteArray> in = pieces(data, size);
    in.resize(12);
    const char *driver = !in[11].isEmpty() && (in[11][0] & 1) ? "pl2303" : "ftdi_sio";
    // A two-port chip (ttyUSB0 and a tty named by the input) and a second
    // device of one port.
    std::vector<LinuxSerialDriver::PortInfo> ports;
    ports.push_back(addPort(sys, dev, "1-1", in[0], in[1], in[2], in[3], 0, "ttyUSB0", "ftdi_sio", in[4]));
    ports.push_back(addPort(sys, dev, "1-1", in[0], in[1], in[2], in[5], 1, nameFrom(in[6], "ttyUSB"), "ftdi_sio",
                            in[4]));
    ports.push_back(addPort(sys, dev, "1-2", in[7], in[8], in[9], "00\n", 0, nameFrom(in[10], "ttyUSB9"), driver,
                            in[4]));

    LinuxSerialDriver bridges([&ports] { return ports; }, sys.string());
    DWORD count = 0;
    if (bridges.FT_ListDevices(&count, nullptr, ft::LIST_NUMBER_ONLY) != ft::OK)
        return 0;
    char first[ft::kListBufferSize] = {};
    for (DWORD i = 0; i < count; ++i) {
        char serial[ft::kListBufferSize] = {};
        char description[ft::kListBufferSize] = {};
        void *index = reinterpret_cast<void *>(static_cast<std::uintptr_t>(i));
        bridges.FT_ListDevices(index, serial, ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER);
        bridges.FT_ListDevices(index, description, ft::LIST_BY_INDEX | ft::OPEN_BY_DESCRIPTION);
        if (i == 0)
            std::copy(std::begin(serial), std::end(serial), first);
    }
    FT_HANDLE handle = 0;
    if (count > 0 && bridges.FT_OpenEx(first, ft::OPEN_BY_SERIAL_NUMBER, &handle) == ft::OK) {
        UCHAR ms = 0;
        bridges.FT_GetLatencyTimer(handle, &ms);
        if (ms < 1)
            __builtin_trap(); // a latency timer is 1 to 255 ms
        bridges.FT_SetLatencyTimer(handle, 1);
        bridges.FT_GetLatencyTimer(handle, &ms);
        bridges.FT_Close(handle);
    }
    return 0;
}
