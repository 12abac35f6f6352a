#include "SerialPort.h"

#include "PrivateFiles.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Any write may wait this long beyond its bytes' time on the line.
constexpr int kWriteSlackMs = 2000;
constexpr std::size_t kReadChunk = 16 * 1024;

struct Speed {
    ULONG rate;
    speed_t code;
};

constexpr Speed kSpeeds[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

// Errors that mean the device itself is gone.
bool isGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

// The slave side of a Unix98 pseudo-terminal (majors 136 to 143).
bool isPseudoTerminal(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

std::string groupOf(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        char buffer[1024];
        struct group entry {};
        struct group *found = nullptr;
        if (::getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) == 0 && found)
            return found->gr_name;
    }
    return "dialout";
}

SerialPort::Opened failure(FT_STATUS status, std::string advice)
{
    SerialPort::Opened result;
    result.status = status;
    result.advice = std::move(advice);
    return result;
}

SerialPort::Opened openFailure(const std::string &path, int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return failure(ft::DEVICE_NOT_FOUND, {});
    case EACCES:
    case EPERM: {
        const std::string group = groupOf(path);
        return failure(ft::DEVICE_NOT_OPENED,
                       "No permission to use " + path + ": add yourself to the '" + group +
                           "' group (sudo usermod -aG " + group +
                           " $USER, then log in again) or install the packaged udev rule");
    }
    case EBUSY:
    case EWOULDBLOCK:
        return failure(ft::DEVICE_NOT_OPENED,
                       path + " is held by another program; close that program and try again");
    default:
        return failure(ft::DEVICE_NOT_OPENED, "Cannot open " + path + ": " + std::strerror(error));
    }
}

// The low-latency flag: 1 set, 0 clear, -1 when the device has no such flag.
int lowLatencyFlag(int fd)
{
    serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return -1;
    return (serial.flags & ASYNC_LOW_LATENCY) ? 1 : 0;
}

bool setLowLatencyFlag(int fd, bool on)
{
    serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return false;
    if (on)
        serial.flags |= ASYNC_LOW_LATENCY;
    else
        serial.flags &= ~ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

// The number in a latency file's text (1 to 255), or 0.
int latencyInText(const std::string &text)
{
    std::istringstream in(text);
    int ms = 0;
    if (!(in >> ms) || ms < 1 || ms > 255)
        return 0;
    return ms;
}

// A virtual bridge's latency file, opened inside its folder (see
// LatencyControl): the descriptor, or -1.
int openConfined(const SerialPort::LatencyControl &latency, int flags)
{
    std::string problem;
    const int dir = privatefiles::openFolder(latency.folder, problem);
    if (dir < 0)
        return -1;
    const int fd = privatefiles::openOwnFile(dir, std::filesystem::path(latency.file).filename().string(), flags);
    ::close(dir);
    return fd;
}

// A latency file's number (1 to 255), or 0.
int latencyInFile(const SerialPort::LatencyControl &latency)
{
    if (latency.file.empty())
        return 0;
    if (latency.folder.empty()) {
        std::ifstream in(latency.file);
        std::string text(64, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        return latencyInText(text);
    }
    const int fd = openConfined(latency, O_RDONLY);
    if (fd < 0)
        return 0;
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return n > 0 ? latencyInText(std::string(buffer, static_cast<std::size_t>(n))) : 0;
}

bool writeLatencyFile(const SerialPort::LatencyControl &latency, int ms)
{
    if (latency.file.empty())
        return false;
    const std::string text = std::to_string(ms) + "\n";
    if (latency.folder.empty()) {
        std::ofstream out(latency.file, std::ios::trunc);
        out << text;
        out.close();
        if (!out)
            return false;
    } else {
        // Emptied only once it is known to be the right file.
        const int fd = openConfined(latency, O_WRONLY);
        if (fd < 0)
            return false;
        const bool written = ::ftruncate(fd, 0) == 0
            && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(fd);
        if (!written)
            return false;
    }
    return latencyInFile(latency) == ms;
}

} // namespace

SerialPort::Opened SerialPort::open(const std::string &path, const OpenFunction &openFunction,
                                    std::size_t queueLimit)
{
    const int flags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    const int fd = openFunction ? openFunction(path.c_str(), flags) : ::open(path.c_str(), flags);
    if (fd < 0)
        return openFailure(path, errno);

    auto fail = [fd](Opened result) {
        ::close(fd);
        return result;
    };
    // Exclusive: TIOCEXCL keeps out other users' opens, the lock keeps out
    // other programs of ours (and root, whom TIOCEXCL lets through).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(openFailure(path, errno == EWOULDBLOCK ? EBUSY : errno));

    struct termios t {};
    if (::tcgetattr(fd, &t) != 0)
        return fail(failure(ft::DEVICE_NOT_OPENED, path + " is not a serial port"));
    ::ioctl(fd, TIOCEXCL);

    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB | PARODD | CMSPAR | CSIZE);
    t.c_cflag |= CS8;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetspeed(&t, B115200);
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return fail(failure(ft::DEVICE_NOT_OPENED,
                            "Cannot set up " + path + ": " + std::strerror(errno)));

    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0)
        return fail(failure(ft::INSUFFICIENT_RESOURCES, {}));

    Opened result;
    result.port.reset(new SerialPort(fd, wakeFd, path, queueLimit));
    result.port->m_pseudoTerminal = isPseudoTerminal(fd);
    try {
        result.port->m_reader = std::thread(&SerialPort::readerLoop, result.port.get());
    } catch (const std::system_error &) {
        return failure(ft::INSUFFICIENT_RESOURCES, {}); // the port closes its descriptors
    }
    return result;
}

SerialPort::SerialPort(int fd, int wakeFd, std::string path, std::size_t queueLimit)
    : m_fd(fd)
    , m_wakeFd(wakeFd)
    , m_path(std::move(path))
    , m_queue(queueLimit)
{
}

SerialPort::~SerialPort()
{
    if (m_reader.joinable()) {
        const std::uint64_t one = 1;
        while (::write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        m_reader.join();
    }
    ::close(m_wakeFd);
    // A pseudo-terminal outlives our close while its other end is open, and
    // would keep refusing the next open if it stayed exclusive.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
}

void SerialPort::readerLoop()
{
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        const short events = fds[0].revents;
        if (!events)
            continue;
        {
            std::lock_guard lock(m_mutex);
            drainLocked();
        }
        if (events & (POLLHUP | POLLERR | POLLNVAL))
            markDead();
        notify();
        if (isDead())
            return; // a hung-up descriptor stays readable; nothing more will come
    }
}

void SerialPort::drainLocked()
{
    if (isDead())
        return;
    char chunk[kReadChunk];
    for (;;) {
        const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            m_queue.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // End of file on a terminal in raw mode is a hang-up; any other read
        // failure leaves nothing dependable either.
        markDead();
        return;
    }
}

void SerialPort::markDead()
{
    m_dead.store(true);
}

void SerialPort::notify()
{
    std::shared_ptr<const std::function<void()>> callback;
    {
        std::lock_guard lock(m_callbackMutex);
        callback = m_callback;
    }
    if (callback && *callback)
        (*callback)();
}

void SerialPort::setDataCallback(std::function<void()> callback)
{
    auto shared = std::make_shared<const std::function<void()>>(std::move(callback));
    std::lock_guard lock(m_callbackMutex);
    m_callback = std::move(shared);
}

std::uint64_t SerialPort::droppedBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.dropped();
}

FT_STATUS SerialPort::applyTermios(const struct termios &t)
{
    if (::tcsetattr(m_fd, TCSANOW, &t) == 0)
        return ft::OK;
    // A pseudo-terminal always stays 8N1; asked for nothing but that, the
    // system reports that it changed nothing. The other end takes any bytes.
    if (errno == EINVAL && m_pseudoTerminal)
        return ft::OK;
    if (isGone(errno))
        markDead();
    return ft::IO_ERROR;
}

FT_STATUS SerialPort::setBaudRate(ULONG baudRate)
{
    if (isDead())
        return ft::IO_ERROR;
    const Speed *speed = nullptr;
    for (const Speed &s : kSpeeds)
        if (s.rate == baudRate)
            speed = &s;
    if (!speed)
        return ft::INVALID_BAUD_RATE;
    struct termios t {};
    if (::tcgetattr(m_fd, &t) != 0) {
        if (isGone(errno))
            markDead();
        return ft::IO_ERROR;
    }
    ::cfsetspeed(&t, speed->code);
    const FT_STATUS status = applyTermios(t);
    if (status == ft::OK)
        m_baudRate = baudRate;
    return status;
}

FT_STATUS SerialPort::setDataCharacteristics(UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    if (isDead())
        return ft::IO_ERROR;
    if ((wordLength != ft::BITS_7 && wordLength != ft::BITS_8) ||
        (stopBits != ft::STOP_BITS_1 && stopBits != ft::STOP_BITS_2) || parity > 4)
        return ft::INVALID_PARAMETER;
    struct termios t {};
    if (::tcgetattr(m_fd, &t) != 0) {
        if (isGone(errno))
            markDead();
        return ft::IO_ERROR;
    }
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
    t.c_cflag |= wordLength == ft::BITS_7 ? CS7 : CS8;
    if (stopBits == ft::STOP_BITS_2)
        t.c_cflag |= CSTOPB;
    constexpr tcflag_t kParity[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
    t.c_cflag |= kParity[parity];
    const FT_STATUS status = applyTermios(t);
    if (status == ft::OK)
        m_bitsPerByte = 1 + (wordLength == ft::BITS_7 ? 7 : 8) + (parity != 0 ? 1 : 0)
            + (stopBits == ft::STOP_BITS_2 ? 2 : 1);
    return status;
}

FT_STATUS SerialPort::purge(ULONG mask)
{
    if (isDead())
        return ft::IO_ERROR;
    if (mask & ~(ft::PURGE_RX | ft::PURGE_TX))
        return ft::INVALID_PARAMETER;
    auto flush = [this](int which) {
        if (::tcflush(m_fd, which) == 0)
            return true;
        if (isGone(errno))
            markDead();
        return false;
    };
    bool ok = true;
    if (mask & ft::PURGE_RX) {
        // Under the lock, so no byte read before the flush lands after the clear.
        std::lock_guard lock(m_mutex);
        ok = flush(TCIFLUSH);
        m_queue.clear();
    }
    if ((mask & ft::PURGE_TX) && !flush(TCOFLUSH))
        ok = false;
    return ok ? ft::OK : ft::IO_ERROR;
}

FT_STATUS SerialPort::queueStatus(DWORD *rxBytes)
{
    if (!rxBytes)
        return ft::INVALID_PARAMETER;
    *rxBytes = 0;
    std::lock_guard lock(m_mutex);
    // Take what the reader thread has not yet moved, so the count is current.
    drainLocked();
    if (isDead())
        return ft::IO_ERROR;
    *rxBytes = static_cast<DWORD>(m_queue.size());
    return ft::OK;
}

FT_STATUS SerialPort::read(void *buffer, DWORD count, DWORD *bytesRead)
{
    if (!bytesRead || (!buffer && count > 0))
        return ft::INVALID_PARAMETER;
    *bytesRead = 0;
    std::lock_guard lock(m_mutex);
    drainLocked();
    if (isDead())
        return ft::IO_ERROR;
    *bytesRead = static_cast<DWORD>(m_queue.take(static_cast<char *>(buffer), count));
    return ft::OK;
}

int SerialPort::writeLimitMs(DWORD count) const
{
    const double lineMs = 1000.0 * count * m_bitsPerByte / std::max<ULONG>(m_baudRate, 1);
    return kWriteSlackMs + static_cast<int>(std::min(2.0 * lineMs, 3600.0 * 1000.0));
}

FT_STATUS SerialPort::write(const void *buffer, DWORD count, DWORD *bytesWritten)
{
    if (!bytesWritten || (!buffer && count > 0))
        return ft::INVALID_PARAMETER;
    *bytesWritten = 0;
    if (isDead())
        return ft::IO_ERROR;
    const auto *bytes = static_cast<const char *>(buffer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(writeLimitMs(count));
    DWORD done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break; // as the bridge's driver does on a write time-out: OK, fewer bytes
            pollfd fd{m_fd, POLLOUT, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count()) + 1) > 0 && (fd.revents & (POLLHUP | POLLERR))) {
                markDead();
                *bytesWritten = done;
                return ft::IO_ERROR;
            }
            continue;
        }
        if (n < 0 && isGone(errno))
            markDead();
        *bytesWritten = done;
        return ft::IO_ERROR;
    }
    *bytesWritten = done;
    return ft::OK;
}

FT_STATUS SerialPort::latencyTimer(UCHAR *ms) const
{
    if (!ms)
        return ft::INVALID_PARAMETER;
    if (isDead())
        return ft::IO_ERROR;
    if (m_latency.lowLatencyFlag && lowLatencyFlag(m_fd) == 1) {
        *ms = 1;
        return ft::OK;
    }
    const int inFile = latencyInFile(m_latency);
    *ms = inFile > 0 ? static_cast<UCHAR>(inFile) : ft::kDefaultLatencyMs;
    return ft::OK;
}

FT_STATUS SerialPort::setLatencyTimer(UCHAR ms, std::string &advice)
{
    advice.clear();
    if (ms == 0)
        return ft::INVALID_PARAMETER;
    if (isDead())
        return ft::IO_ERROR;
    if (m_latency.lowLatencyFlag) {
        if (ms == 1 && setLowLatencyFlag(m_fd, true))
            return ft::OK;
        if (ms > 1 && lowLatencyFlag(m_fd) == 1)
            setLowLatencyFlag(m_fd, false);
    }
    UCHAR now = 0;
    latencyTimer(&now);
    if (now == ms || writeLatencyFile(m_latency, ms))
        return ft::OK;
    latencyTimer(&now);

    const std::string file = m_latency.file.empty() ? std::string("the bridge's latency_timer") : m_latency.file;
    std::string why;
    if (m_latency.lowLatencyFlag)
        why = "the driver refused the low-latency flag and " + file + " cannot be written";
    else if (m_latency.file.empty())
        why = "the bridge has no latency setting";
    else
        why = file + " cannot be written";
    advice = "stays at " + std::to_string(now) + " ms (" + why + "); to lower it to " + std::to_string(ms)
        + " ms, enable the optional udev rule 71-tharnvik-latency.rules (see the README) or run 'echo "
        + std::to_string(ms) + " | sudo tee " + file + "'";
    return ft::NOT_SUPPORTED;
}
