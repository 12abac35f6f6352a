#include "LatencyChecks.h"
#include "LinuxSerialDriver.h"
#include "PtyPair.h"
#include "VirtualBridgeDriver.h"

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/wait.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct Listed {
    std::string serial;
    std::string description;
    bool operator==(const Listed &) const = default;
};

void PrintTo(const Listed &l, std::ostream *os)
{
    *os << l.serial << " / " << l.description;
}

std::vector<Listed> listAll(Ftd2xx &driver)
{
    DWORD count = 0;
    EXPECT_EQ(driver.FT_ListDevices(&count, nullptr, ft::LIST_NUMBER_ONLY), ft::OK);
    std::vector<Listed> out;
    for (DWORD i = 0; i < count; ++i) {
        char serial[ft::kListBufferSize] = {};
        char description[ft::kListBufferSize] = {};
        void *index = reinterpret_cast<void *>(static_cast<std::uintptr_t>(i));
        EXPECT_EQ(driver.FT_ListDevices(index, serial, ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER), ft::OK);
        EXPECT_EQ(driver.FT_ListDevices(index, description, ft::LIST_BY_INDEX | ft::OPEN_BY_DESCRIPTION), ft::OK);
        out.push_back({serial, description});
    }
    return out;
}

// Opens by serial number, sends a few bytes through the handle and returns
// what arrived on `pty`'s side.
std::string sendThrough(Ftd2xx &driver, const char *serial, const PtyPair &pty)
{
    FT_HANDLE h = 0;
    const FT_STATUS status = driver.FT_OpenEx(const_cast<char *>(serial), ft::OPEN_BY_SERIAL_NUMBER, &h);
    if (status != ft::OK)
        return "open failed: " + std::to_string(status);
    char bytes[] = "hello";
    DWORD written = 0;
    EXPECT_EQ(driver.FT_Write(h, bytes, 5, &written), ft::OK);
    const std::string got = pty.receive(5);
    EXPECT_EQ(driver.FT_Close(h), ft::OK);
    return got;
}

void writeFile(const fs::path &file, const std::string &text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string firstLine(const fs::path &file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// One USB-serial port in a sysfs-shaped tree: the USB device (idVendor,
// serial, product), its interface, the port bound to `driver`, and the
// class/tty entry that leads to it.
void addPort(const fs::path &sys, const std::string &usbName, const std::string &vendor, const std::string &serial,
             const std::string &product, int interface, const std::string &tty, const std::string &driver)
{
    const fs::path usb = sys / "devices/pci0000:00/0000:00:14.0/usb1" / usbName;
    writeFile(usb / "idVendor", vendor + "\n");
    writeFile(usb / "serial", serial + "\n");
    writeFile(usb / "product", product + "\n");
    const fs::path iface = usb / (usbName + ":1." + std::to_string(interface));
    writeFile(iface / "bInterfaceNumber", "0" + std::to_string(interface) + "\n");
    const fs::path port = iface / tty;
    fs::create_directories(port);
    const fs::path drivers = sys / "bus/usb-serial/drivers" / driver;
    fs::create_directories(drivers);
    fs::create_directory_symlink(drivers, port / "driver");
    fs::create_directories(sys / "class/tty" / tty);
    fs::create_directory_symlink(port, sys / "class/tty" / tty / "device");
}

} // namespace

TEST(LinuxSerialDriver, ListsFtdiBridgesBoundToTheKernelDriverAndOpensTheirTty)
{
    QTemporaryDir dir;
    const fs::path sys = fs::path(dir.path().toStdString()) / "sys";
    const fs::path dev = fs::path(dir.path().toStdString()) / "dev";
    addPort(sys, "1-1", "0403", "FT1ABC", "Tharnvik MK3", 0, "ttyUSB0", "ftdi_sio");
    // A two-port chip: each port gets its letter, as FTDI's library names them.
    addPort(sys, "1-2", "0403", "FT2XYZ", "Dual RS232", 1, "ttyUSB10", "ftdi_sio");
    addPort(sys, "1-2", "0403", "FT2XYZ", "Dual RS232", 0, "ttyUSB2", "ftdi_sio");
    addPort(sys, "1-3", "067b", "PL1", "USB-Serial Controller", 0, "ttyUSB1", "pl2303");
    addPort(sys, "1-4", "1a86", "CH1", "Clone bound to ftdi_sio", 0, "ttyUSB3", "ftdi_sio");
    fs::create_directories(sys / "class/tty/ttyS0");

    PtyPair pty;
    fs::create_directories(dev);
    fs::create_symlink(pty.path, dev / "ttyUSB0");

    LinuxSerialDriver driver(sys.string(), dev.string());
    const std::vector<Listed> expected = {
        {"FT1ABC", "Tharnvik MK3"}, {"FT2XYZA", "Dual RS232 A"}, {"FT2XYZB", "Dual RS232 B"}};
    EXPECT_EQ(listAll(driver), expected);

    EXPECT_EQ(sendThrough(driver, "FT1ABC", pty), "hello");
    FT_HANDLE h = 0;
    EXPECT_EQ(driver.FT_OpenEx(const_cast<char *>("FT2XYZA"), ft::OPEN_BY_SERIAL_NUMBER, &h),
              ft::DEVICE_NOT_FOUND); // listed, but dev/ttyUSB2 is not there
    EXPECT_EQ(driver.FT_OpenEx(const_cast<char *>("PL1"), ft::OPEN_BY_SERIAL_NUMBER, &h), ft::DEVICE_NOT_FOUND);

    LinuxSerialDriver nothing((sys / "absent").string(), dev.string());
    EXPECT_TRUE(listAll(nothing).empty());
}

TEST(LinuxSerialDriver, LatencyTimerGoesThroughSysfsWhenTheLowLatencyFlagIsRefused)
{
    // A pseudo-terminal has no serial flags, so the driver falls back to the port's latency_timer.
    QTemporaryDir dir;
    const fs::path sys = fs::path(dir.path().toStdString()) / "sys";
    const fs::path dev = fs::path(dir.path().toStdString()) / "dev";
    addPort(sys, "1-1", "0403", "FT1ABC", "Tharnvik MK3", 0, "ttyUSB0", "ftdi_sio");
    const fs::path sysfsFile = fs::canonical(sys / "class/tty/ttyUSB0/device") / "latency_timer";
    writeFile(sysfsFile, "16\n");
    PtyPair pty;
    fs::create_directories(dev);
    fs::create_symlink(pty.path, dev / "ttyUSB0");

    LinuxSerialDriver driver(sys.string(), dev.string());
    listAll(driver);
    FT_HANDLE h = 0;
    ASSERT_EQ(driver.FT_OpenEx(const_cast<char *>("FT1ABC"), ft::OPEN_BY_SERIAL_NUMBER, &h), ft::OK);
    expectLatencyMoves(driver, h, 16, 1);
    EXPECT_EQ(firstLine(sysfsFile), "1");
    expectLatencyMoves(driver, h, 1, 16);
    EXPECT_EQ(firstLine(sysfsFile), "16");
    EXPECT_EQ(driver.FT_SetLatencyTimer(h, 0), ft::INVALID_PARAMETER);

    // Neither the flag nor the file: the timer stays, and the advice says how to lower it.
    fs::remove(sysfsFile);
    fs::create_directory(sysfsFile); // cannot be written, not even by root
    EXPECT_EQ(driver.FT_SetLatencyTimer(h, 16), ft::OK); // already in force
    EXPECT_EQ(driver.FT_SetLatencyTimer(h, 1), ft::NOT_SUPPORTED);
    const std::string advice = driver.lastLatencyAdvice();
    EXPECT_EQ(advice.rfind("stays at 16 ms", 0), 0u) << advice;
    for (const std::string part : {std::string("71-tharnvik-latency.rules"), "echo 1 | sudo tee " + sysfsFile.string()})
        EXPECT_NE(advice.find(part), std::string::npos) << advice;
    EXPECT_EQ(driver.FT_SetLatencyTimer(h + 1, 1), ft::INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Close(h), ft::OK);
}

TEST(VirtualBridgeDriver, ListsLiveWellFormedAnnouncementsByFileName)
{
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    PtyPair ptyA;
    PtyPair ptyB;
    const std::string me = std::to_string(::getpid());

    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child);

    auto announcement = [](const std::string &serial, const std::string &path, const std::string &pid) {
        return "serial=" + serial + "\ndescription=Virtual " + serial + "\npath=" + path + "\npid=" + pid + "\n";
    };
    writeFile(folder / "SIMB.bridge", announcement("SIMB", ptyB.path, me));
    // Windows line ends are tolerated.
    std::string crlf = announcement("SIMA", ptyA.path, me);
    for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2))
        crlf.insert(at, "\r");
    writeFile(folder / "SIMA.bridge", crlf);
    writeFile(folder / "DEAD.bridge", announcement("DEAD", ptyA.path, dead));
    writeFile(folder / "WORDPID.bridge", announcement("WORDPID", ptyA.path, "twelve"));
    writeFile(folder / "GONE.bridge", announcement("GONE", ptyA.path + "-gone", me));
    writeFile(folder / "NOPATH.bridge", "serial=NOPATH\ndescription=x\npid=" + me + "\n");
    writeFile(folder / "EMPTY.bridge", "");
    writeFile(folder / "NOTES.txt", announcement("NOTES", ptyA.path, me));
    writeFile(folder / "SIMC.bridge.tmp.1", announcement("SIMC", ptyA.path, me));
    fs::create_directories(folder / "FOLDER.bridge");

    VirtualBridgeDriver driver(folder.string());
    const std::vector<Listed> expected = {{"SIMA", "Virtual SIMA"}, {"SIMB", "Virtual SIMB"}};
    EXPECT_EQ(listAll(driver), expected);
    EXPECT_EQ(sendThrough(driver, "SIMB", ptyB), "hello");
    EXPECT_EQ(sendThrough(driver, "SIMA", ptyA), "hello");

    // A pseudo-terminal that cannot be opened: the pedal exited between listing and opening.
    ptyA.closeMaster();
    FT_HANDLE h = 0;
    EXPECT_EQ(driver.FT_OpenEx(const_cast<char *>("SIMA"), ft::OPEN_BY_SERIAL_NUMBER, &h), ft::DEVICE_NOT_FOUND);

    VirtualBridgeDriver noFolder((folder / "absent").string());
    EXPECT_TRUE(listAll(noFolder).empty());
}

TEST(VirtualBridgeDriver, TheAnnouncedLatencyFilePlaysTheBridgesLatencyTimer)
{
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    PtyPair withFile;
    PtyPair without;
    const std::string me = std::to_string(::getpid());
    const fs::path latency = folder / "SIMA.latency";
    writeFile(latency, "16\n");
    writeFile(folder / "SIMA.bridge", "serial=SIMA\ndescription=A\npath=" + withFile.path + "\npid=" + me
                                          + "\nlatency=" + latency.string() + "\n");
    writeFile(folder / "SIMB.bridge", "serial=SIMB\ndescription=B\npath=" + without.path + "\npid=" + me + "\n");

    VirtualBridgeDriver driver(folder.string());
    ASSERT_EQ(listAll(driver).size(), 2u);
    FT_HANDLE a = 0;
    FT_HANDLE b = 0;
    ASSERT_EQ(driver.FT_OpenEx(const_cast<char *>("SIMA"), ft::OPEN_BY_SERIAL_NUMBER, &a), ft::OK);
    ASSERT_EQ(driver.FT_OpenEx(const_cast<char *>("SIMB"), ft::OPEN_BY_SERIAL_NUMBER, &b), ft::OK);
    expectLatencyMoves(driver, a, 16, 1);
    EXPECT_EQ(firstLine(latency), "1");
    expectLatencyMoves(driver, a, 1, 16);
    EXPECT_EQ(firstLine(latency), "16");

    // An announcement without the key: the bridge's default, which cannot be changed.
    EXPECT_EQ(latencyInForce(driver, b), 16);
    EXPECT_EQ(driver.FT_SetLatencyTimer(b, 1), ft::NOT_SUPPORTED);
    EXPECT_NE(std::string(driver.lastLatencyAdvice()).find("stays at 16 ms"), std::string::npos);
}

TEST(VirtualBridgeDriver, DefaultFolderFollowsTheEnvironment)
{
    const QByteArray savedBridges = qgetenv("THARNVIK_BRIDGES_DIR");
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    struct Case {
        std::optional<const char *> bridges;
        std::optional<const char *> runtime;
        std::string expected;
    };
    const Case cases[] = {
        {"/b", "/r", "/b"},
        {"", "/r", "/r/tharnvik-bridges"},
        {std::nullopt, "/r", "/r/tharnvik-bridges"},
        {std::nullopt, std::nullopt, "/tmp/tharnvik-bridges-" + std::to_string(::getuid())},
        {std::nullopt, "", "/tmp/tharnvik-bridges-" + std::to_string(::getuid())},
    };
    for (const Case &c : cases) {
        c.bridges ? qputenv("THARNVIK_BRIDGES_DIR", *c.bridges) : qunsetenv("THARNVIK_BRIDGES_DIR");
        c.runtime ? qputenv("XDG_RUNTIME_DIR", *c.runtime) : qunsetenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(VirtualBridgeDriver::defaultFolder(), c.expected);
    }
    savedBridges.isNull() ? qunsetenv("THARNVIK_BRIDGES_DIR") : qputenv("THARNVIK_BRIDGES_DIR", savedBridges);
    savedRuntime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", savedRuntime);
}
