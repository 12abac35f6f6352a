// tharnvik-pedal-sim: a virtual Tharnvik MK3 behind a pseudo-terminal.
//
// Opens a pseudo-terminal, announces it as a virtual bridge for the editor,
// and plays the pedal on it until SIGINT or SIGTERM; then it withdraws the
// announcement. The pedal itself is PedalSimulator; this file only moves
// bytes between it and the terminal, on the monotonic clock.

#include "Announcement.h"
#include "PedalSimulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

constexpr const char *kUsage = R"(Usage: tharnvik-pedal-sim [options]

A virtual Tharnvik MK3 pedal on a pseudo-terminal, announced for the editor as
<serial>.bridge in $THARNVIK_BRIDGES_DIR (else $XDG_RUNTIME_DIR/tharnvik-bridges,
else /tmp/tharnvik-bridges-<uid>), a folder of the user's own with mode 0700
(made when missing). Runs until SIGINT or SIGTERM.

Pedal:
  --serial S           serial number of the bridge (default THV00001)
  --description D      product description of the bridge (default "Tharnvik MK3")
  --firmware N         firmware number reported (default 16)
  --algorithm N        algorithm number; its carried image gives the parameter
                       addresses (default 15)
  --effect N           effect number reported (default 0)
  --bootloader         start in the microcontroller's bootloader (128 KiB of
                       erased flash; Go to 0x08000000 starts a good image there,
                       and the pedal then reports the image's firmware version)
  --no-shift           SHIFT is not held: the enter-bootloader message is ignored
  --payloads DIR       folder of the carried algorithm images
                       (default: the project's src/resources/payloads, or
                       ../share/tharnvik-editor/payloads beside the program)
  --paced              deliver bytes at 115200 baud (10 bits a byte, 11 in the
                       bootloader) through the bridge's latency timer: the
                       number in <serial>.latency beside the announcement
                       (16 ms as created; an editor lowers it while linked)

Faults:
  --silent             never answer
  --short N            the state report holds only its first N numbers
  --garbage            mix bytes other than digits into the state report
  --split PIECES:GAP   send every answer in PIECES pieces, GAP ms apart
  --hangup-after N     drop the line after N received bytes (the program
                       withdraws its announcement and ends)

Bootloader faults (a step is one answer of the bootloader, an ACK or NACK,
counted from 1 since the program started; at the faulty step the command being
answered is dropped: nothing is written, erased or started):
  --boot-nack-at N     answer NACK (0x1F) at step N
  --boot-silent-at N   answer nothing at step N
  --boot-garbage-at N  answer 0x55 at step N
  --boot-hangup-after-chunks N
                       drop the line at the first byte after N accepted Write
                       Memory data frames (the program withdraws its
                       announcement and ends)

Output:
  --log FILE           append one line per received message, in hex (a skipped
                       unknown byte and each batch of bootloader bytes get a
                       line of their own)
  --help               show this text
)";

bool parseInt(const char *text, long long min, long long max, long long &out)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

struct Options {
    std::string serial = "THV00001";
    std::string description = "Tharnvik MK3";
    std::string logFile;
    sim::Config config;
};

// An installed program finds the images beside it in ../share; a program run
// from its build folder uses the source tree's.
std::string installedPayloads(const std::string &builtIn)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!builtIn.empty() && fs::is_directory(builtIn, ec))
        return builtIn;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return builtIn;
    const fs::path installed = exe.parent_path().parent_path() / "share" / "tharnvik-editor" / "payloads";
    return fs::is_directory(installed, ec) ? installed.string() : builtIn;
}

// Returns 0 to run, 1 for a usage error, 2 after --help.
int parseOptions(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        long long n = 0;
        auto bad = [&](const char *what) {
            std::fprintf(stderr, "tharnvik-pedal-sim: %s %s\n", arg.c_str(), what);
            return 1;
        };
        auto number = [&](long long min, long long max) {
            if (!parseInt(value, min, max, n))
                return false;
            ++i;
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 2;
        } else if (arg == "--serial" || arg == "--description" || arg == "--payloads" || arg == "--log") {
            if (!value)
                return bad("needs a value");
            ++i;
            if (arg == "--serial")
                o.serial = value;
            else if (arg == "--description")
                o.description = value;
            else if (arg == "--payloads")
                o.config.payloadDir = value;
            else
                o.logFile = value;
        } else if (arg == "--firmware") {
            if (!number(0, 255))
                return bad("needs a number 0..255");
            o.config.firmware = static_cast<int>(n);
        } else if (arg == "--algorithm") {
            if (!number(0, 9999))
                return bad("needs a number 0..9999");
            o.config.algorithm = static_cast<int>(n);
        } else if (arg == "--effect") {
            if (!number(0, 99))
                return bad("needs a number 0..99");
            o.config.effect = static_cast<int>(n);
        } else if (arg == "--short") {
            if (!number(0, sim::kReportNumbers))
                return bad("needs a number 0..107");
            o.config.faults.shortAnswer = static_cast<int>(n);
        } else if (arg == "--hangup-after") {
            if (!number(1, LLONG_MAX))
                return bad("needs a positive number");
            o.config.faults.hangUpAfter = n;
        } else if (arg == "--boot-nack-at" || arg == "--boot-silent-at" || arg == "--boot-garbage-at" ||
                   arg == "--boot-hangup-after-chunks") {
            if (!number(1, INT_MAX))
                return bad("needs a positive number");
            const int v = static_cast<int>(n);
            if (arg == "--boot-nack-at")
                o.config.faults.bootNackAt = v;
            else if (arg == "--boot-silent-at")
                o.config.faults.bootSilentAt = v;
            else if (arg == "--boot-garbage-at")
                o.config.faults.bootGarbageAt = v;
            else
                o.config.faults.bootHangUpAfterChunks = v;
        } else if (arg == "--split") {
            long long pieces = 0, gap = 0;
            const std::string v = value ? value : "";
            const auto colon = v.find(':');
            if (colon == std::string::npos || !parseInt(v.substr(0, colon).c_str(), 1, 100000, pieces) ||
                !parseInt(v.substr(colon + 1).c_str(), 0, 600000, gap))
                return bad("needs PIECES:GAP_MS, e.g. 3:50");
            ++i;
            o.config.faults.splitPieces = static_cast<int>(pieces);
            o.config.faults.splitGapMs = static_cast<int>(gap);
        } else if (arg == "--bootloader") {
            o.config.startInBootloader = true;
        } else if (arg == "--no-shift") {
            o.config.shiftHeld = false;
        } else if (arg == "--paced") {
            o.config.paced = true;
        } else if (arg == "--silent") {
            o.config.faults.silent = true;
        } else if (arg == "--garbage") {
            o.config.faults.garbage = true;
        } else {
            std::fprintf(stderr, "tharnvik-pedal-sim: unknown option %s (see --help)\n", arg.c_str());
            return 1;
        }
    }
    return 0;
}

std::int64_t monotonicUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string hexLine(const std::vector<std::uint8_t> &bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 2 + 1);
    for (std::uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    s += '\n';
    return s;
}

// The pseudo-terminal: the master we serve on, plus one descriptor of the
// slave kept open by us, so the master never sees a hang-up while no editor
// has the port open (and the editor may close and re-open it at will).
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
};

bool openPty(Pty &pty, std::string &error)
{
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pty.master < 0 || ::grantpt(pty.master) != 0 || ::unlockpt(pty.master) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (::ptsname_r(pty.master, name, sizeof name) != 0) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    pty.path = name;
    pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) {
        error = "cannot open " + pty.path + ": " + std::strerror(errno);
        return false;
    }
    termios t{};
    if (::tcgetattr(pty.slave, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B115200);
        ::cfsetospeed(&t, B115200);
        ::tcsetattr(pty.slave, TCSANOW, &t);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (const int rc = parseOptions(argc, argv, options))
        return rc == 2 ? 0 : 2;
    if (options.config.payloadDir == sim::kDefaultPayloadDir)
        options.config.payloadDir = installedPayloads(options.config.payloadDir);

    sigset_t blocked, original;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    sigprocmask(SIG_BLOCK, &blocked, &original);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Pty pty;
    std::string error;
    if (!openPty(pty, error)) {
        std::fprintf(stderr, "tharnvik-pedal-sim: %s\n", error.c_str());
        return 1;
    }

    sim::PedalSimulator pedal(options.config);
    std::ofstream log;
    if (!options.logFile.empty()) {
        log.open(options.logFile, std::ios::app | std::ios::binary);
        if (!log) {
            std::fprintf(stderr, "tharnvik-pedal-sim: cannot open %s\n", options.logFile.c_str());
            return 1;
        }
    }

    const sim::Announced announced = sim::announce(
        sim::bridgesFolder(), {options.serial, options.description, pty.path, static_cast<long>(::getpid())}, error);
    if (announced.file.empty()) {
        std::fprintf(stderr, "tharnvik-pedal-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("tharnvik-pedal-sim: %s on %s, announced in %s\n", options.serial.c_str(), pty.path.c_str(),
                announced.file.c_str());
    std::fflush(stdout);

    // The loop hands the pedal the monotonic clock in microseconds and wakes
    // to the microsecond an answer is due.
    const std::int64_t start = monotonicUs();
    auto nowUs = [&] { return monotonicUs() - start; };
    auto now = [&] { return nowUs() / 1000; };
    std::size_t messagesLogged = 0, notesShown = 0;
    auto report = [&] {
        const auto &received = pedal.received();
        for (; messagesLogged < received.size(); ++messagesLogged)
            if (log.is_open())
                log << hexLine(received[messagesLogged].bytes);
        if (log.is_open())
            log.flush();
        const auto &notes = pedal.log();
        for (; notesShown < notes.size(); ++notesShown)
            std::fprintf(stderr, "tharnvik-pedal-sim: [%lld ms] %s\n", static_cast<long long>(now()),
                         notes[notesShown].c_str());
    };

    // The latency file plays the bridge's latency_timer: an editor lowers it
    // at its link and puts it back at its unlink. Looked at whenever bytes
    // arrive, read again when it changed; 16 when missing or unreadable.
    const std::string &latencyFile = announced.latency;
    struct timespec latencyStamp {};
    off_t latencySize = -1;
    auto followLatency = [&] {
        struct stat st {};
        if (::lstat(latencyFile.c_str(), &st) != 0) {
            st = {};
            st.st_size = -2;
        }
        if (st.st_mtim.tv_sec == latencyStamp.tv_sec && st.st_mtim.tv_nsec == latencyStamp.tv_nsec
            && st.st_size == latencySize)
            return;
        latencyStamp = st.st_mtim;
        latencySize = st.st_size;
        pedal.setBridgeLatencyMs(sim::readLatencyFile(latencyFile, sim::kBridgeLatencyMs));
    };

    std::vector<std::uint8_t> unsent;
    bool masterFailed = false;
    while (!g_stop) {
        const std::vector<std::uint8_t> out = pedal.takeOutputAtUs(nowUs());
        unsent.insert(unsent.end(), out.begin(), out.end());
        report();
        if (pedal.hungUp())
            break;
        while (!unsent.empty()) {
            const ssize_t n = ::write(pty.master, unsent.data(), unsent.size());
            if (n <= 0)
                break; // full (EAGAIN): wait for POLLOUT
            unsent.erase(unsent.begin(), unsent.begin() + n);
        }

        std::int64_t timeoutUs = -1;
        if (const std::int64_t due = pedal.nextOutputTimeUs(); due != sim::PedalSimulator::kNoOutput)
            timeoutUs = std::clamp<std::int64_t>(due - nowUs(), 0, 60000000);
        if (masterFailed)
            timeoutUs = timeoutUs < 0 ? 50000 : std::min<std::int64_t>(timeoutUs, 50000);
        pollfd p{pty.master, static_cast<short>(masterFailed ? 0 : POLLIN), 0};
        if (!unsent.empty())
            p.events |= POLLOUT;
        timespec ts{}, *tsp = nullptr;
        if (timeoutUs >= 0) {
            ts.tv_sec = timeoutUs / 1000000;
            ts.tv_nsec = (timeoutUs % 1000000) * 1000L;
            tsp = &ts;
        }
        const int ready = ::ppoll(&p, 1, tsp, &original);
        if (ready < 0)
            continue; // a signal: the loop condition decides
        masterFailed = false;
        if (p.revents & POLLIN) {
            std::uint8_t buf[4096];
            const ssize_t n = ::read(pty.master, buf, sizeof buf);
            if (n > 0) {
                followLatency(); // before the answer is scheduled
                pedal.receiveAtUs(buf, static_cast<std::size_t>(n), nowUs());
            }
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                masterFailed = true; // no slave open; try again shortly
        } else if (p.revents & (POLLHUP | POLLERR)) {
            masterFailed = true;
        }
    }

    report();
    if (pedal.hungUp())
        std::fprintf(stderr, "tharnvik-pedal-sim: line dropped (hang-up fault)\n");
    sim::withdraw(announced);
    ::close(pty.slave);
    ::close(pty.master);
    return 0;
}
