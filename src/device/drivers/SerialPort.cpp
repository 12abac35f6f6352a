#include "SerialPort.h"

#include "PrivateFiles.h"

#include <QSerialPort>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Any write may wait this long beyond its bytes' time on the line.
constexpr int kWriteSlackMs = 2000;

// The rates a bridge is asked for; anything else is refused as FTDI's library does.
constexpr ULONG kRates[] = {
    50, 75, 110, 134, 150, 200, 300, 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400, 57600, 115200,
    230400, 460800, 500000, 576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000,
    3500000, 4000000,
};

// The slave side of a Unix98 pseudo-terminal (majors 136 to 143).
bool isPseudoTerminal(const struct stat &st)
{
    return S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_rdev == b.st_rdev;
}

// Qt keeps the last error, and says so each time it is cleared.
void clearError(QSerialPort &port)
{
    if (port.error() != QSerialPort::NoError)
        port.clearError();
}

// A descriptor whose device hung up or went away.
bool hungUp(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
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

// QSerialPort's failed open in the same words. It says PermissionError both
// for a device we may not use and for one that is busy (locked by another
// program, or exclusive): which one it is, the device's permissions tell.
SerialPort::Opened qtOpenFailure(const std::string &path, const QSerialPort &port)
{
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return failure(ft::DEVICE_NOT_FOUND, {});
    case QSerialPort::PermissionError:
        if (::access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
            return openFailure(path, EACCES);
        return openFailure(path, EBUSY);
    case QSerialPort::UnsupportedOperationError:
        return failure(ft::DEVICE_NOT_OPENED, "Cannot set up " + path + ": " + port.errorString().toStdString());
    default:
        return failure(ft::DEVICE_NOT_OPENED, "Cannot open " + path + ": " + port.errorString().toStdString());
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

// The thread that owns the QSerialPort. It waits on the port's descriptor and
// on a wake-up for jobs, with poll: QSerialPort's waitFor calls do the reading
// and writing, so no event loop (and no QCoreApplication) is needed.
class SerialPort::Worker final : public QThread {
public:
    explicit Worker(SerialPort &owner)
        : m_owner(owner)
        , m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
    }
    ~Worker() override
    {
        if (isRunning()) {
            call([this] { m_stopping = true; });
            wait();
        }
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
    }

    bool usable() const { return m_wakeFd >= 0; }
    QSerialPort &port() { return *m_port; }

    void call(const std::function<void()> &job)
    {
        if (QThread::currentThread() == this) {
            job(); // from the data callback
            return;
        }
        std::promise<void> done;
        std::future<void> finished = done.get_future();
        {
            std::lock_guard lock(m_jobsMutex);
            m_jobs.push_back({&job, &done});
        }
        const std::uint64_t one = 1;
        while (::write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        finished.wait();
    }

protected:
    void run() override
    {
        QSerialPort port;
        m_port = &port;
        QObject::connect(
            &port, &QSerialPort::errorOccurred, &port,
            [this](QSerialPort::SerialPortError error) {
                // A read that fails or finds the end of the stream (a terminal
                // in raw mode ends only when it hangs up): nothing dependable
                // comes any more. Qt would keep reporting it.
                if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
                    m_owner.markDead();
            },
            Qt::DirectConnection);
        while (!m_stopping) {
            const bool watching = port.isOpen() && !m_owner.isDead();
            pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {watching ? port.handle() : -1, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0)
                continue;
            if (fds[0].revents)
                runJobs();
            if (watching && !m_stopping && fds[1].revents)
                m_owner.takeArrivals(fds[1].revents & (POLLHUP | POLLERR | POLLNVAL));
        }
        if (port.isOpen())
            port.close();
        m_port = nullptr;
    }

private:
    struct Job {
        const std::function<void()> *work;
        std::promise<void> *done;
    };

    void runJobs()
    {
        std::uint64_t count = 0;
        while (::read(m_wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
        }
        for (;;) {
            Job job{};
            {
                std::lock_guard lock(m_jobsMutex);
                if (m_jobs.empty())
                    return;
                job = m_jobs.front();
                m_jobs.pop_front();
            }
            (*job.work)();
            job.done->set_value();
        }
    }

    SerialPort &m_owner;
    const int m_wakeFd;
    QSerialPort *m_port = nullptr;
    bool m_stopping = false; // worker thread only
    std::mutex m_jobsMutex;
    std::deque<Job> m_jobs;
};

SerialPort::Opened SerialPort::open(const std::string &path, const OpenFunction &openFunction,
                                    std::size_t queueLimit, const Accept &accept)
{
    const int flags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    const int fd = openFunction ? openFunction(path.c_str(), flags) : ::open(path.c_str(), flags);
    if (fd < 0)
        return openFailure(path, errno);

    auto fail = [fd](Opened result) {
        ::close(fd);
        return result;
    };
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || (accept && !accept(opened)))
        return fail(failure(ft::DEVICE_NOT_FOUND, {}));
    // Exclusive: QSerialPort's exclusive mode keeps out other users' opens
    // and its lock file programs that honour it; this lock keeps out other
    // programs of ours (and root, whom the exclusive mode lets through).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(openFailure(path, errno == EWOULDBLOCK ? EBUSY : errno));
    if (!::isatty(fd))
        return fail(failure(ft::DEVICE_NOT_OPENED, path + " is not a serial port"));

    std::unique_ptr<SerialPort> port(new SerialPort(fd, path, queueLimit)); // closes fd from here on
    port->m_pseudoTerminal = isPseudoTerminal(opened);
    port->m_worker = std::make_unique<Worker>(*port);
    if (!port->m_worker->usable())
        return failure(ft::INSUFFICIENT_RESOURCES, {});
    port->m_worker->start();

    // With `accept`, the name is the descriptor already checked: the very
    // file, whatever the path names by now.
    const std::string name = accept ? "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(fd) : path;
    Opened result;
    port->run([&] {
        QSerialPort &serial = port->m_worker->port();
        serial.setPortName(QString::fromStdString(name));
        serial.setBaudRate(115200);
        serial.setDataBits(QSerialPort::Data8);
        serial.setParity(QSerialPort::NoParity);
        serial.setStopBits(QSerialPort::OneStop);
        serial.setFlowControl(QSerialPort::NoFlowControl);
        serial.setReadBufferSize(0); // the queue keeps the limit
        if (!serial.open(QIODevice::ReadWrite)) {
            result = qtOpenFailure(path, serial);
            return;
        }
        struct stat theirs {};
        if (::fstat(static_cast<int>(serial.handle()), &theirs) != 0 || !sameFile(theirs, opened)
            || (accept && !accept(theirs))) {
            serial.close();
            result = failure(ft::DEVICE_NOT_FOUND, {});
        }
    });
    if (result.status == ft::OK)
        result.port = std::move(port);
    return result;
}

SerialPort::SerialPort(int fd, std::string path, std::size_t queueLimit)
    : m_fd(fd)
    , m_path(std::move(path))
    , m_queue(queueLimit)
{
}

SerialPort::~SerialPort()
{
    // QSerialPort closes in its thread: it leaves the exclusive mode (a
    // pseudo-terminal outlives our close while its other end is open, and
    // would refuse the next open) and removes its lock file.
    m_worker.reset();
    ::close(m_fd);
}

void SerialPort::run(const std::function<void()> &job) const
{
    m_worker->call(job);
}

void SerialPort::takeArrivals(bool hangUp)
{
    QSerialPort &serial = m_worker->port();
    bool arrived = false;
    // One read a wake-up (poll comes back while there is more), but
    // everything there is before a hang-up.
    do {
        if (!serial.waitForReadyRead(0))
            break;
        const QByteArray bytes = serial.readAll();
        if (bytes.isEmpty())
            continue;
        std::lock_guard lock(m_mutex);
        m_queue.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        arrived = true;
    } while (hangUp && !isDead());
    clearError(serial);
    if (arrived)
        notify();
    if (hangUp)
        markDead();
}

void SerialPort::markDead()
{
    // The waiter hears of it once, whoever noticed it first.
    if (!m_dead.exchange(true))
        notify();
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

FT_STATUS SerialPort::setBaudRate(ULONG baudRate)
{
    if (isDead())
        return ft::IO_ERROR;
    if (std::find(std::begin(kRates), std::end(kRates), baudRate) == std::end(kRates))
        return ft::INVALID_BAUD_RATE;
    FT_STATUS status = ft::OK;
    run([&] {
        QSerialPort &serial = m_worker->port();
        if (isDead() || !serial.setBaudRate(static_cast<qint32>(baudRate))) {
            if (hungUp(static_cast<int>(serial.handle())))
                markDead();
            status = ft::IO_ERROR;
        }
        clearError(serial);
    });
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
    constexpr QSerialPort::Parity kParity[] = {QSerialPort::NoParity, QSerialPort::OddParity, QSerialPort::EvenParity,
                                               QSerialPort::MarkParity, QSerialPort::SpaceParity};
    FT_STATUS status = ft::OK;
    run([&] {
        QSerialPort &serial = m_worker->port();
        bool ok = !isDead();
        bool refused = false; // the system would not take the setting
        auto apply = [&](bool applied) {
            if (!applied) {
                ok = false;
                refused = refused || serial.error() == QSerialPort::UnsupportedOperationError;
            }
        };
        if (ok) {
            apply(serial.setDataBits(wordLength == ft::BITS_7 ? QSerialPort::Data7 : QSerialPort::Data8));
            apply(serial.setParity(kParity[parity]));
            apply(serial.setStopBits(stopBits == ft::STOP_BITS_2 ? QSerialPort::TwoStop : QSerialPort::OneStop));
        }
        clearError(serial);
        // A pseudo-terminal always stays 8N1 and refuses anything else. The
        // other end takes any bytes.
        if (ok || (refused && m_pseudoTerminal && !isDead()))
            return;
        if (hungUp(static_cast<int>(serial.handle())))
            markDead();
        status = ft::IO_ERROR;
    });
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
    bool ok = true;
    run([&] {
        QSerialPort &serial = m_worker->port();
        if (mask & ft::PURGE_RX) {
            // In the thread that fills the queue, so no byte read before the
            // flush lands after the clear.
            ok = serial.clear(QSerialPort::Input);
            std::lock_guard lock(m_mutex);
            m_queue.clear();
        }
        if ((mask & ft::PURGE_TX) && !serial.clear(QSerialPort::Output))
            ok = false;
        clearError(serial);
        if (!ok && hungUp(static_cast<int>(serial.handle())))
            markDead();
    });
    return ok && !isDead() ? ft::OK : ft::IO_ERROR;
}

FT_STATUS SerialPort::queueStatus(DWORD *rxBytes)
{
    if (!rxBytes)
        return ft::INVALID_PARAMETER;
    *rxBytes = 0;
    std::lock_guard lock(m_mutex);
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(writeLimitMs(count));
    FT_STATUS status = ft::OK;
    run([&] {
        QSerialPort &serial = m_worker->port();
        if (isDead()) {
            status = ft::IO_ERROR;
            return;
        }
        serial.write(static_cast<const char *>(buffer), count);
        bool failed = false;
        while (serial.bytesToWrite() > 0 && !isDead()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break; // as the bridge's driver does on a write time-out: OK, fewer bytes
            const bool moved = serial.waitForBytesWritten(static_cast<int>(left.count()) + 1);
            // Waiting for the line also reads; those bytes are queued now.
            if (const QByteArray bytes = serial.readAll(); !bytes.isEmpty()) {
                {
                    std::lock_guard lock(m_mutex);
                    m_queue.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
                }
                notify();
            }
            if (!moved && serial.error() == QSerialPort::WriteError) {
                failed = true;
                break;
            }
        }
        const qint64 left = serial.bytesToWrite();
        *bytesWritten = count - static_cast<DWORD>(std::clamp<qint64>(left, 0, count));
        if (left > 0)
            serial.clear(QSerialPort::Output); // nothing of this write goes out later
        clearError(serial);
        if (failed && hungUp(static_cast<int>(serial.handle())))
            markDead();
        if (failed || isDead())
            status = ft::IO_ERROR;
    });
    return status;
}

// Qt has no word for the serial flags; they go through its descriptor.
int SerialPort::lowLatency() const
{
    int flag = -1;
    run([&] { flag = lowLatencyFlag(static_cast<int>(m_worker->port().handle())); });
    return flag;
}

bool SerialPort::setLowLatency(bool on)
{
    bool set = false;
    run([&] { set = setLowLatencyFlag(static_cast<int>(m_worker->port().handle()), on); });
    return set;
}

FT_STATUS SerialPort::latencyTimer(UCHAR *ms) const
{
    if (!ms)
        return ft::INVALID_PARAMETER;
    if (isDead())
        return ft::IO_ERROR;
    if (m_latency.lowLatencyFlag && lowLatency() == 1) {
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
        if (ms == 1 && setLowLatency(true))
            return ft::OK;
        if (ms > 1 && lowLatency() == 1)
            setLowLatency(false);
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
