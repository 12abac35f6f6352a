// The real tharnvik-pedal-sim program: announcement, the pseudo-terminal,
// and the withdrawal on SIGTERM or hang-up.

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace simtest;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

std::map<std::string, std::string> readAnnouncement(const std::string &file)
{
    std::map<std::string, std::string> keys;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (const auto eq = line.find('='); eq != std::string::npos)
            keys[line.substr(0, eq)] = line.substr(eq + 1);
    return keys;
}

// The program, started with THARNVIK_BRIDGES_DIR pointing into a temporary folder.
class PedalProgram : public ::testing::Test {
protected:
    void start(std::vector<std::string> args)
    {
        if (m_bridges.empty())
            m_bridges = m_dir.path() + "/bridges";
        m_stderr = m_dir.path() + "/stderr.txt";
        m_pid = ::fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            ::setenv("THARNVIK_BRIDGES_DIR", m_bridges.c_str(), 1);
            const int null = ::open("/dev/null", O_WRONLY);
            const int err = ::open(m_stderr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(null, 1);
            ::dup2(err, 2);
            std::vector<char *> argv;
            argv.push_back(const_cast<char *>(THARNVIK_PEDAL_SIM_PROGRAM));
            for (auto &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }

    // Waits for the program to end by itself; its exit status, or -1.
    int waitForExit(std::chrono::milliseconds limit)
    {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

    bool waitForFile(const std::string &file)
    {
        const auto end = Clock::now() + 10s;
        while (Clock::now() < end) {
            if (::access(file.c_str(), F_OK) == 0)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // Until the file announces this program.
    bool waitUntilAnnouncedBy(const std::string &file)
    {
        const auto end = Clock::now() + 10s;
        while (Clock::now() < end) {
            if (readAnnouncement(file)["pid"] == std::to_string(m_pid))
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    static int openRaw(const std::string &path)
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd >= 0) {
            termios t{};
            ::tcgetattr(fd, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
        return fd;
    }

    // Reads until `enough` says so, the line ends, or 5 seconds pass.
    template <typename Enough>
    static Bytes readUntil(int fd, Enough enough)
    {
        Bytes got;
        const auto end = Clock::now() + 5s;
        while (!enough(got) && Clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            std::uint8_t buf[4096];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    void TearDown() override { stop(); }

    void stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

    std::string said() const
    {
        std::ifstream in(m_stderr);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    TempDir m_dir;
    std::string m_bridges; // set before start() to announce elsewhere
    std::string m_stderr;
    pid_t m_pid = -1;
};

std::string wholeFile(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> namesIn(const std::string &folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(PedalProgram, AnnouncesServesTheRequestAndWithdrawsOnSigterm)
{
    const std::string log = m_dir.path() + "/received.txt";
    start({"--firmware", "14", "--serial", "THV00042", "--description", "Tharnvik MK3 test", "--log", log});
    const std::string file = m_bridges + "/THV00042.bridge";
    ASSERT_TRUE(waitForFile(file));

    struct stat st {};
    ASSERT_EQ(::stat(m_bridges.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    auto keys = readAnnouncement(file);
    EXPECT_EQ(keys["serial"], "THV00042");
    EXPECT_EQ(keys["description"], "Tharnvik MK3 test");
    EXPECT_EQ(keys["pid"], std::to_string(m_pid));
    ASSERT_FALSE(keys["path"].empty());

    // The editor may open, close and re-open the port.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const int fd = openRaw(keys["path"]);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "\x02\x00", 2), 2);
        const Bytes answer = readUntil(fd, [](const Bytes &b) { return std::count(b.begin(), b.end(), '\n') >= 107; });
        ::close(fd);
        const auto numbers = strictNumbers(answer);
        ASSERT_TRUE(numbers);
        ASSERT_EQ(numbers->size(), 107u);
        EXPECT_EQ((*numbers)[0], 14);
    }

    ASSERT_EQ(::kill(m_pid, SIGTERM), 0);
    EXPECT_EQ(waitForExit(5s), 0);
    EXPECT_NE(::access(file.c_str(), F_OK), 0);
    std::ifstream in(log);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all, "0200\n0200\n");
}

TEST_F(PedalProgram, AnnouncesALatencyFileAtSixteenAndRemovesItWithTheAnnouncement)
{
    start({"--paced", "--serial", "THV00043"});
    const std::string file = m_bridges + "/THV00043.bridge";
    ASSERT_TRUE(waitForFile(file));
    const std::string latency = readAnnouncement(file)["latency"];
    EXPECT_EQ(latency, m_bridges + "/THV00043.latency");
    std::ifstream in(latency);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "16");

    ASSERT_EQ(::kill(m_pid, SIGTERM), 0);
    EXPECT_EQ(waitForExit(5s), 0);
    EXPECT_NE(::access(file.c_str(), F_OK), 0);
    EXPECT_NE(::access(latency.c_str(), F_OK), 0);
}

TEST_F(PedalProgram, HangUpEndsTheLineAndTheAnnouncement)
{
    start({"--hangup-after", "2"});
    const std::string file = m_bridges + "/THV00001.bridge";
    ASSERT_TRUE(waitForFile(file));
    const int fd = openRaw(readAnnouncement(file)["path"]);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "\x02\x00", 2), 2);
    EXPECT_EQ(waitForExit(5s), 0);
    EXPECT_NE(::access(file.c_str(), F_OK), 0);
    // Like an unplugged bridge: no answer, the port reports the end.
    const Bytes rest = readUntil(fd, [](const Bytes &) { return false; });
    EXPECT_TRUE(rest.empty());
    ::close(fd);
}

// An independent flasher, speaking the bootloader protocol from the host's
// side, writes, verifies and starts a carried firmware image.
TEST_F(PedalProgram, IndependentFlasherUpgradesThePedalInItsBootloader)
{
    if (std::system("command -v stm32flash >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "stm32flash is not installed";
    start({"--bootloader", "--firmware", "12"});
    const std::string file = m_bridges + "/THV00001.bridge";
    ASSERT_TRUE(waitForFile(file));
    const std::string path = readAnnouncement(file)["path"];
    ASSERT_FALSE(path.empty());

    // A pseudo-terminal carries no parity: 8N1 instead of the chip's 8E1.
    const std::string output = m_dir.path() + "/stm32flash.txt";
    const std::string command = "timeout 120 stm32flash -m 8n1 -b 115200 -w '" + std::string(sim::kDefaultPayloadDir) +
                                "/FIRMWARE_16' -v -g 0x08000000 '" + path + "' >'" + output + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(output);
    const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
    EXPECT_NE(said.find("0x0410"), std::string::npos) << said;

    // The application reads nothing during its start-up (300 ms after Go);
    // half a second later a request is answered by the new firmware.
    std::this_thread::sleep_for(500ms);
    const int fd = openRaw(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "\x02\x00", 2), 2);
    const auto numbers =
        strictNumbers(readUntil(fd, [](const Bytes &b) { return std::count(b.begin(), b.end(), '\n') >= 107; }));
    ::close(fd);
    ASSERT_TRUE(numbers);
    ASSERT_EQ(numbers->size(), 107u);
    EXPECT_EQ((*numbers)[0], 16);
}

TEST_F(PedalProgram, RefusesAFolderThatIsNotTheUsersPrivateOne)
{
    namespace fs = std::filesystem;
    struct Case {
        const char *name;
        std::function<bool(const std::string &privateFolder, const std::string &given)> make; // false: not here
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"group-writable",
         [](const std::string &, const std::string &given) {
             return ::mkdir(given.c_str(), 0700) == 0 && ::chmod(given.c_str(), 0770) == 0;
         },
         "other users have access to it (mode 0770, not 0700)"},
        {"a link to a private folder",
         [](const std::string &privateFolder, const std::string &given) {
             return ::symlink(privateFolder.c_str(), given.c_str()) == 0;
         },
         "it is a symbolic link"},
        {"another user's",
         [](const std::string &, const std::string &given) {
             return ::geteuid() == 0 && ::mkdir(given.c_str(), 0700) == 0 && ::chown(given.c_str(), 12345, 12345) == 0;
         },
         "it belongs to another user (uid 12345)"},
    };
    const std::string privateFolder = m_dir.path() + "/private";
    ASSERT_EQ(::mkdir(privateFolder.c_str(), 0700), 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_bridges = m_dir.path() + "/" + c.name;
        if (!c.make(privateFolder, m_bridges)) {
            std::fprintf(stderr, "not tried here (needs root): %s\n", c.name);
            continue;
        }
        start({"--serial", "THV00045"});
        EXPECT_EQ(waitForExit(5s), 1);
        stop(); // when it did not end
        const std::string message = said();
        for (const std::string &part : {m_bridges + " cannot hold the announcement: " + c.reason,
                                        std::string("THARNVIK_BRIDGES_DIR")})
            EXPECT_NE(message.find(part), std::string::npos) << message;
        EXPECT_TRUE(namesIn(m_bridges).empty());
        EXPECT_TRUE(namesIn(privateFolder).empty());
    }
}

TEST_F(PedalProgram, OnExitRemovesOnlyTheFilesItMade)
{
    const std::string precious = m_dir.path() + "/precious.txt";
    std::ofstream(precious) << "keep me\n";
    start({"--serial", "THV00046"});
    const std::string file = m_bridges + "/THV00046.bridge";
    ASSERT_TRUE(waitForFile(file));
    const std::string latency = m_bridges + "/THV00046.latency";
    ASSERT_EQ(readAnnouncement(file)["latency"], latency);

    // The announcement now names another file; and the latency file is
    // another file than the one the pedal made.
    auto keys = readAnnouncement(file);
    std::ofstream(file, std::ios::trunc) << "serial=THV00046\npath=" << keys["path"] << "\npid=" << keys["pid"]
                                         << "\nlatency=" << precious << "\n";
    const std::string other = m_bridges + "/other";
    std::ofstream(other) << "1\n";
    ASSERT_EQ(::rename(other.c_str(), latency.c_str()), 0);

    ASSERT_EQ(::kill(m_pid, SIGTERM), 0);
    EXPECT_EQ(waitForExit(5s), 0);
    EXPECT_EQ(wholeFile(precious), "keep me\n");
    EXPECT_EQ(namesIn(m_bridges), std::vector<std::string>{"THV00046.latency"});
    EXPECT_EQ(wholeFile(latency), "1\n");
}

TEST_F(PedalProgram, WritesNothingThroughWhatAnEarlierRunLeftBehind)
{
    // A latency file that is now a link to another file, and the
    // announcement of a process that is gone.
    const std::string precious = m_dir.path() + "/precious.txt";
    std::ofstream(precious) << "keep me\n";
    m_bridges = m_dir.path() + "/bridges";
    ASSERT_EQ(::mkdir(m_bridges.c_str(), 0700), 0);
    const std::string latency = m_bridges + "/THV00047.latency";
    ASSERT_EQ(::symlink(precious.c_str(), latency.c_str()), 0);
    const std::string file = m_bridges + "/THV00047.bridge";
    std::ofstream(file) << "serial=THV00047\npath=/dev/null\npid=999999999\nlatency=" << precious << "\n";

    start({"--serial", "THV00047", "--paced"});
    ASSERT_TRUE(waitUntilAnnouncedBy(file));
    EXPECT_EQ(wholeFile(precious), "keep me\n");
    struct stat st {};
    ASSERT_EQ(::lstat(latency.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(wholeFile(latency), "16\n");

    ASSERT_EQ(::kill(m_pid, SIGTERM), 0);
    EXPECT_EQ(waitForExit(5s), 0);
    EXPECT_TRUE(namesIn(m_bridges).empty());
    EXPECT_EQ(wholeFile(precious), "keep me\n");
}

TEST_F(PedalProgram, RefusesBadOptions)
{
    for (std::vector<std::string> args : {std::vector<std::string>{"--split", "3"},
                                          std::vector<std::string>{"--firmware", "x"},
                                          std::vector<std::string>{"--boot-nack-at", "0"},
                                          std::vector<std::string>{"--frobnicate"}}) {
        SCOPED_TRACE(args[0]);
        start(args);
        EXPECT_EQ(waitForExit(5s), 2);
    }
    EXPECT_NE(::access(m_bridges.c_str(), F_OK), 0);
}

} // namespace
