// The real tharnvik-pedal-sim program: announcement, the pseudo-terminal,
// and the withdrawal on SIGTERM or hang-up.

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
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
        m_bridges = m_dir.path() + "/bridges";
        m_pid = ::fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            ::setenv("THARNVIK_BRIDGES_DIR", m_bridges.c_str(), 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
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

    void TearDown() override
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    TempDir m_dir;
    std::string m_bridges;
    pid_t m_pid = -1;
};

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
