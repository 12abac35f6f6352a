#include "CompositeFtd2xx.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "LatencyChecks.h"
#include "LinuxSerialDriver.h"
#include "PtyPair.h"
#include "VirtualBridgeDriver.h"

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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
// class/tty entry that leads to it. Returns the port as QSerialPortInfo
// describes it, opened as dev/<tty>.
LinuxSerialDriver::PortInfo addPort(const fs::path &sys, const std::string &usbName, const std::string &vendor,
                                    const std::string &serial, const std::string &product, int interface,
                                    const std::string &tty, const std::string &driver, const fs::path &dev = "/dev")
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
    return {tty, (dev / tty).string(), serial, product,
            static_cast<std::uint16_t>(std::stoul(vendor, nullptr, 16)), std::uint16_t{0x6001}};
}

LinuxSerialDriver::PortList listing(std::vector<LinuxSerialDriver::PortInfo> ports)
{
    return [ports = std::move(ports)] { return ports; };
}

} // namespace

TEST(LinuxSerialDriver, ListsFtdiBridgesBoundToTheKernelDriverAndOpensTheirTty)
{
    QTemporaryDir dir;
    const fs::path sys = fs::path(dir.path().toStdString()) / "sys";
    const fs::path dev = fs::path(dir.path().toStdString()) / "dev";
    std::vector<LinuxSerialDriver::PortInfo> ports;
    ports.push_back(addPort(sys, "1-1", "0403", "FT1ABC", "Tharnvik MK3", 0, "ttyUSB0", "ftdi_sio", dev));
    // A two-port chip: each port gets its letter, as FTDI's library names them.
    ports.push_back(addPort(sys, "1-2", "0403", "FT2XYZ", "Dual RS232", 1, "ttyUSB10", "ftdi_sio", dev));
    ports.push_back(addPort(sys, "1-2", "0403", "FT2XYZ", "Dual RS232", 0, "ttyUSB2", "ftdi_sio", dev));
    ports.push_back(addPort(sys, "1-3", "067b", "PL1", "USB-Serial Controller", 0, "ttyUSB1", "pl2303", dev));
    ports.push_back(addPort(sys, "1-4", "1a86", "CH1", "Clone bound to ftdi_sio", 0, "ttyUSB3", "ftdi_sio", dev));
    fs::create_directories(sys / "class/tty/ttyS0");
    ports.push_back({"ttyS0", "/dev/ttyS0", "", "", std::nullopt, std::nullopt});

    PtyPair pty;
    fs::create_directories(dev);
    fs::create_symlink(pty.path, dev / "ttyUSB0");

    LinuxSerialDriver driver(listing(ports), sys.string());
    const std::vector<Listed> expected = {
        {"FT1ABC", "Tharnvik MK3"}, {"FT2XYZA", "Dual RS232 A"}, {"FT2XYZB", "Dual RS232 B"}};
    EXPECT_EQ(listAll(driver), expected);
    // Where sysfs does not tell the ports' interfaces, the ports of one chip
    // take their letters in the order of their names.
    LinuxSerialDriver withoutSysfs(listing(ports), (sys / "absent").string());
    EXPECT_EQ(listAll(withoutSysfs), expected);

    EXPECT_EQ(sendThrough(driver, "FT1ABC", pty), "hello");
    FT_HANDLE h = 0;
    EXPECT_EQ(driver.FT_OpenEx(const_cast<char *>("FT2XYZA"), ft::OPEN_BY_SERIAL_NUMBER, &h),
              ft::DEVICE_NOT_FOUND); // listed, but dev/ttyUSB2 is not there
    EXPECT_EQ(driver.FT_OpenEx(const_cast<char *>("PL1"), ft::OPEN_BY_SERIAL_NUMBER, &h), ft::DEVICE_NOT_FOUND);

    LinuxSerialDriver nothing(listing({}), sys.string());
    EXPECT_TRUE(listAll(nothing).empty());
}

TEST(LinuxSerialDriver, LatencyTimerGoesThroughSysfsWhenTheLowLatencyFlagIsRefused)
{
    // A pseudo-terminal has no serial flags, so the driver falls back to the port's latency_timer.
    QTemporaryDir dir;
    const fs::path sys = fs::path(dir.path().toStdString()) / "sys";
    const fs::path dev = fs::path(dir.path().toStdString()) / "dev";
    const auto port = addPort(sys, "1-1", "0403", "FT1ABC", "Tharnvik MK3", 0, "ttyUSB0", "ftdi_sio", dev);
    const fs::path sysfsFile = fs::canonical(sys / "class/tty/ttyUSB0/device") / "latency_timer";
    writeFile(sysfsFile, "16\n");
    PtyPair pty;
    fs::create_directories(dev);
    fs::create_symlink(pty.path, dev / "ttyUSB0");

    LinuxSerialDriver driver(listing({port}), sys.string());
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
    for (const std::string &part : {std::string("71-tharnvik-latency.rules"), "echo 1 | sudo tee " + sysfsFile.string()})
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

namespace {

std::string wholeFile(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string announcementOf(const std::string &serial, const std::string &path, const std::string &latency = {})
{
    return "serial=" + serial + "\ndescription=Virtual " + serial + "\npath=" + path + "\npid="
        + std::to_string(::getpid()) + "\n" + (latency.empty() ? std::string() : "latency=" + latency + "\n");
}

// The folder of a virtual pedal as it announces itself: a private folder
// holding SIM.bridge for a live pseudo-terminal and its latency file at 16.
// Beside it (outside) a file that nothing may ever write.
struct AnnouncedBridge {
    QTemporaryDir dir;
    fs::path folder = fs::path(dir.path().toStdString()) / "bridges";
    fs::path outside = fs::path(dir.path().toStdString()) / "precious.txt";
    PtyPair pty;

    AnnouncedBridge()
    {
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
        writeFile(outside, "keep me\n");
        writeFile(folder / "SIM.latency", "16\n");
        writeFile(folder / "SIM.bridge", announcementOf("SIM", pty.path, (folder / "SIM.latency").string()));
    }
};

// What a listing of `folder` shows, and what the first and a second
// listing said about it.
struct Looked {
    std::vector<Listed> listed;
    std::vector<std::string> firstNotes;
    std::vector<std::string> secondNotes;
};

Looked look(const fs::path &folder)
{
    VirtualBridgeDriver driver(folder.string());
    Looked seen;
    seen.listed = listAll(driver);
    seen.firstNotes = driver.takeListingNotes();
    listAll(driver);
    seen.secondNotes = driver.takeListingNotes();
    return seen;
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

} // namespace

TEST(VirtualBridgeDriver, AFolderThatIsNotTheUsersPrivateOneListsNothingAndSaysOnceWhy)
{
    struct Case {
        const char *name;
        std::function<fs::path(const AnnouncedBridge &)> spoil; // returns the folder to list
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"group-writable",
         [](const AnnouncedBridge &b) {
             fs::permissions(b.folder, fs::perms::group_all, fs::perm_options::add);
             return b.folder;
         },
         "other users have access to it (mode 0770, not 0700)"},
        {"readable by others",
         [](const AnnouncedBridge &b) {
             fs::permissions(b.folder, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
             return b.folder;
         },
         "other users have access to it (mode 0705, not 0700)"},
        {"a link to a private folder",
         [](const AnnouncedBridge &b) {
             const fs::path link = b.folder.parent_path() / "link";
             fs::create_directory_symlink(b.folder, link);
             return link;
         },
         "it is a symbolic link"},
        {"a link, named with a trailing slash",
         [](const AnnouncedBridge &b) {
             const fs::path link = b.folder.parent_path() / "link";
             fs::create_directory_symlink(b.folder, link);
             return fs::path(link.string() + "/");
         },
         "it is a symbolic link"},
        {"a file",
         [](const AnnouncedBridge &b) {
             const fs::path file = b.folder.parent_path() / "file";
             writeFile(file, "");
             return file;
         },
         "it is not a folder"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AnnouncedBridge bridge;
        const fs::path folder = c.spoil(bridge);
        const Looked seen = look(folder);
        EXPECT_TRUE(seen.listed.empty());
        ASSERT_EQ(seen.firstNotes.size(), 1u);
        const std::string &note = seen.firstNotes[0];
        for (const std::string &part : {folder.string(), c.reason, std::string("Remove that folder"),
                                        std::string("THARNVIK_BRIDGES_DIR")})
            EXPECT_NE(note.find(part), std::string::npos) << note;
        EXPECT_EQ(note.find('\n'), std::string::npos) << note;
        EXPECT_TRUE(seen.secondNotes.empty()) << "said twice";
        EXPECT_EQ(wholeFile(bridge.folder / "SIM.latency"), "16\n");
    }

    // The same announcement in a private folder is listed, and a missing
    // folder is nothing to talk about.
    AnnouncedBridge good;
    const Looked seen = look(good.folder);
    EXPECT_EQ(seen.listed, (std::vector<Listed>{{"SIM", "Virtual SIM"}}));
    EXPECT_TRUE(seen.firstNotes.empty());
    EXPECT_TRUE(look(good.folder / "absent").firstNotes.empty());
}

TEST(VirtualBridgeDriver, FilesOfAnotherUserAreNotTrusted)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "giving a file to another user needs root";
    constexpr uid_t kOther = 12345;
    {
        AnnouncedBridge bridge;
        ASSERT_EQ(::chown(bridge.folder.c_str(), kOther, kOther), 0);
        const Looked seen = look(bridge.folder);
        EXPECT_TRUE(seen.listed.empty());
        ASSERT_EQ(seen.firstNotes.size(), 1u);
        EXPECT_NE(seen.firstNotes[0].find("it belongs to another user (uid 12345)"), std::string::npos)
            << seen.firstNotes[0];
        EXPECT_TRUE(seen.secondNotes.empty());
    }
    // In the user's folder: an announcement, a latency file or a
    // pseudo-terminal of somebody else's.
    for (const char *whose : {"SIM.bridge", "SIM.latency", "pty"}) {
        SCOPED_TRACE(whose);
        AnnouncedBridge bridge;
        const std::string file = std::string(whose) == "pty" ? bridge.pty.path : (bridge.folder / whose).string();
        struct stat before {};
        ASSERT_EQ(::stat(file.c_str(), &before), 0);
        ASSERT_EQ(::chown(file.c_str(), kOther, kOther), 0);
        const Looked seen = look(bridge.folder);
        EXPECT_TRUE(seen.listed.empty());
        EXPECT_TRUE(seen.firstNotes.empty());
        EXPECT_EQ(wholeFile(bridge.folder / "SIM.latency"), "16\n");
        ::chown(file.c_str(), before.st_uid, before.st_gid);
    }
}

TEST(VirtualBridgeDriver, AnAnnouncementIsListedOnlyWhenWhatItNamesIsTheUsersOwn)
{
    AnnouncedBridge bridge;
    const fs::path &folder = bridge.folder;
    const std::string latency = (folder / "SIM.latency").string();
    const std::string outside = bridge.outside.string();
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((folder.parent_path() / "fifo").c_str(), 0600), 0);
    writeFile(folder / "plain", "16\n");
    fs::create_symlink(bridge.pty.path, folder / "pty-link");
    fs::create_symlink(bridge.outside, folder / "outside-link");

    struct Case {
        std::string serial;
        std::string path;
        std::string latency;
    };
    const std::vector<Case> cases = {
        {"PTMX", "/dev/ptmx", latency},
        {"DEVNULL", "/dev/null", latency},
        {"TTY", "/dev/tty", latency},
        {"PLAIN", (folder / "plain").string(), latency},
        {"FIFO", (folder / "fifo").string(), latency},
        {"PTYLINK", (folder / "pty-link").string(), latency},
        {"LATENCYOUT", bridge.pty.path, outside},
        {"LATENCYUP", bridge.pty.path, (folder / ".." / "precious.txt").string()},
        {"LATENCYLINK", bridge.pty.path, (folder / "outside-link").string()},
        {"LATENCYFIFO", bridge.pty.path, (folder / "fifo").string()},
        {"LATENCYDIR", bridge.pty.path, folder.string()},
    };
    for (const Case &c : cases)
        writeFile(folder / (c.serial + ".bridge"), announcementOf(c.serial, c.path, c.latency));
    // Announcements that are not regular files of their own.
    fs::create_symlink(folder / "SIM.bridge", folder / "LINKED.bridge");
    writeFile(folder.parent_path() / "ELSEWHERE.bridge", announcementOf("ELSEWHERE", bridge.pty.path, latency));
    fs::create_symlink(folder.parent_path() / "ELSEWHERE.bridge", folder / "ELSEWHERE.bridge");
    ASSERT_EQ(::mkfifo((folder / "WAITING.bridge").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((folder / "ELSEWHERE-FIFO.bridge").c_str(), 0600), 0);

    VirtualBridgeDriver driver(folder.string());
    EXPECT_EQ(listAll(driver), (std::vector<Listed>{{"SIM", "Virtual SIM"}}));
    EXPECT_TRUE(driver.takeListingNotes().empty());
    for (const Case &c : cases) {
        FT_HANDLE h = 0;
        EXPECT_EQ(driver.FT_OpenEx(const_cast<char *>(c.serial.c_str()), ft::OPEN_BY_SERIAL_NUMBER, &h),
                  ft::DEVICE_NOT_FOUND)
            << c.serial;
    }
    // The one that is the user's works, latency file and all.
    FT_HANDLE h = 0;
    ASSERT_EQ(driver.FT_OpenEx(const_cast<char *>("SIM"), ft::OPEN_BY_SERIAL_NUMBER, &h), ft::OK);
    expectLatencyMoves(driver, h, 16, 1);
    expectLatencyMoves(driver, h, 1, 16);
    EXPECT_EQ(driver.FT_Close(h), ft::OK);

    EXPECT_EQ(wholeFile(bridge.outside), "keep me\n");
    EXPECT_EQ(wholeFile(folder / "plain"), "16\n");
    EXPECT_TRUE(fs::is_fifo(folder / "fifo"));
}

TEST(VirtualBridgeDriver, TheLatencyFileIsCheckedAgainEachTimeItIsUsed)
{
    // Listed with a good latency file, which is then replaced before the
    // editor writes it.
    struct Case {
        const char *name;
        std::function<void(const AnnouncedBridge &)> replace;
    };
    const std::vector<Case> cases = {
        {"a link out of the folder",
         [](const AnnouncedBridge &b) {
             fs::remove(b.folder / "SIM.latency");
             fs::create_symlink(b.outside, b.folder / "SIM.latency");
         }},
        {"a FIFO",
         [](const AnnouncedBridge &b) {
             fs::remove(b.folder / "SIM.latency");
             ASSERT_EQ(::mkfifo((b.folder / "SIM.latency").c_str(), 0600), 0);
         }},
        {"a folder open to others",
         [](const AnnouncedBridge &b) { fs::permissions(b.folder, fs::perms::others_all, fs::perm_options::add); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AnnouncedBridge bridge;
        VirtualBridgeDriver driver(bridge.folder.string());
        ASSERT_EQ(listAll(driver).size(), 1u);
        FT_HANDLE h = 0;
        ASSERT_EQ(driver.FT_OpenEx(const_cast<char *>("SIM"), ft::OPEN_BY_SERIAL_NUMBER, &h), ft::OK);
        c.replace(bridge);
        EXPECT_EQ(latencyInForce(driver, h), 16); // the default: nothing is read from it
        EXPECT_EQ(driver.FT_SetLatencyTimer(h, 1), ft::NOT_SUPPORTED);
        EXPECT_NE(std::string(driver.lastLatencyAdvice()).find("stays at 16 ms"), std::string::npos);
        EXPECT_EQ(driver.FT_Close(h), ft::OK);
        EXPECT_EQ(wholeFile(bridge.outside), "keep me\n");
    }
}

TEST(VirtualBridgeDriver, ThePortIsOpenedOnlyAsAPseudoTerminal)
{
    // A device node that the listing takes for a pseudo-terminal (the same
    // device numbers as the pair's slave), replaced by something else between
    // the listing and the open.
    if (!runningAsRoot())
        GTEST_SKIP() << "making a device node needs root";
    AnnouncedBridge bridge;
    struct stat pts {};
    ASSERT_EQ(::stat(bridge.pty.path.c_str(), &pts), 0);
    const fs::path node = bridge.folder / "node";
    writeFile(bridge.folder / "NODE.bridge", announcementOf("NODE", node.string()));

    for (const std::string replacement : {"fifo", "file", "link to the pseudo-terminal"}) {
        SCOPED_TRACE(replacement);
        fs::remove(node);
        if (::mknod(node.c_str(), S_IFCHR | 0600, pts.st_rdev) != 0)
            GTEST_SKIP() << "no device nodes here: " << std::strerror(errno);
        VirtualBridgeDriver driver(bridge.folder.string());
        ASSERT_EQ(listAll(driver).size(), 2u);
        fs::remove(node);
        if (replacement == "fifo")
            ASSERT_EQ(::mkfifo(node.c_str(), 0600), 0);
        else if (replacement == "file")
            writeFile(node, "");
        else
            fs::create_symlink(bridge.pty.path, node);
        FT_HANDLE h = 0;
        EXPECT_EQ(driver.FT_OpenEx(const_cast<char *>("NODE"), ft::OPEN_BY_SERIAL_NUMBER, &h), ft::DEVICE_NOT_FOUND);
        EXPECT_STREQ(driver.lastOpenAdvice(), "");
    }
}

TEST(VirtualBridgeDriver, TheNoteReachesTheConsoleOncePerRun)
{
    AnnouncedBridge bridge;
    fs::permissions(bridge.folder, fs::perms::group_write, fs::perm_options::add);
    std::vector<std::unique_ptr<Ftd2xx>> drivers;
    drivers.push_back(std::make_unique<VirtualBridgeDriver>(bridge.folder.string()));
    CompositeFtd2xx composite(std::move(drivers));
    ConsoleModel console;
    D2XXUnit usb(composite, console);

    auto notesInConsole = [&] {
        int n = 0;
        for (qsizetype i = 0; i < console.lineCount(); ++i)
            n += console.line(i).contains(QStringLiteral("are ignored: other users have access to it (mode 0720"));
        return n;
    };
    ASSERT_EQ(usb.GetFTDeviceCount(), ft::OK);
    EXPECT_EQ(usb.deviceCount, 0u);
    EXPECT_EQ(notesInConsole(), 1);
    ASSERT_EQ(usb.listingNotes.size(), 1);
    EXPECT_TRUE(usb.listingNotes[0].startsWith(QStringLiteral("Virtual bridges in ")));
    ASSERT_EQ(usb.GetFTDeviceCount(), ft::OK);
    EXPECT_EQ(notesInConsole(), 1);
    EXPECT_TRUE(usb.listingNotes.isEmpty());
}
