#pragma once

#include "ByteQueue.h"
#include "Ftd2xx.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>

// One open serial device (a USB bridge's /dev/ttyUSBn or a pseudo-terminal),
// raw, without flow control, on Qt Serial Port, with D2XX-shaped results.
//
// The QSerialPort lives in a worker thread of the port's own, which drives it
// without an event loop (so a process needs no QCoreApplication): it moves
// whatever arrives into a queue (so a long burst that nobody reads yet is
// kept, as the bridge's own driver would) and then calls the data callback.
// Writes, line settings and purges run in that thread; the caller waits for
// them. Reads and the queue status work on the queue.
//
// When the device goes away (unplugged, or the other end of a pseudo-terminal
// closed) the port is dead: every later call returns IO_ERROR, and the data
// callback is called once more so that a waiter notices.
class SerialPort {
public:
    // ::open's shape; tests put in a failing one.
    using OpenFunction = std::function<int(const char *path, int flags)>;
    // What the opened file must be (as fstat describes it).
    using Accept = std::function<bool(const struct stat &)>;

    struct Opened {
        std::unique_ptr<SerialPort> port; // set when status is OK
        FT_STATUS status = ft::OK;
        std::string advice; // one line for the user when the open failed
    };

    // Opens exclusively, raw, 115200 baud, 8 data bits, 1 stop bit, no parity.
    // The path is opened first with `openFunction` (::open when empty): that
    // descriptor names the device, carries our lock for as long as the port
    // is open, and its failure says why the port cannot be used. QSerialPort
    // then opens the device by its path (so that its lock file names the
    // device) and takes the exclusive mode; its descriptor must be the same
    // file. With `accept`, the file must also pass it, and QSerialPort opens
    // the very file already opened (through /proc), never the path again.
    static Opened open(const std::string &path, const OpenFunction &openFunction = {},
                       std::size_t queueLimit = ByteQueue::kDefaultLimit, const Accept &accept = {});
    ~SerialPort();

    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    FT_STATUS setBaudRate(ULONG baudRate);
    // D2XX encodings: 7 or 8 bits; stop bits 0 (one) or 2 (two); parity 0 none,
    // 1 odd, 2 even, 3 mark, 4 space. A pseudo-terminal keeps 8N1 whatever is
    // asked, without an error.
    FT_STATUS setDataCharacteristics(UCHAR wordLength, UCHAR stopBits, UCHAR parity);
    FT_STATUS purge(ULONG mask);
    FT_STATUS queueStatus(DWORD *rxBytes);
    // Copies up to `count` queued bytes; never waits.
    FT_STATUS read(void *buffer, DWORD count, DWORD *bytesRead);
    // Writes all bytes, waiting for the device to take them up to two
    // seconds plus twice the time the bytes take on the line at the current
    // settings (65,536 bytes at 115,200 baud take 5.7 s); `bytesWritten`
    // tells how many it took (fewer only when the limit passed).
    FT_STATUS write(const void *buffer, DWORD count, DWORD *bytesWritten);

    // May be called from the reader thread, also spuriously.
    void setDataCallback(std::function<void()> callback);

    // Where the bridge's latency timer is kept. With `lowLatencyFlag` (the
    // kernel's ftdi_sio) the serial flag ASYNC_LOW_LATENCY is tried first for
    // 1 ms (TIOCSSERIAL, allowed to ordinary users; the driver then uses
    // 1 ms whatever `file` holds). `file` holds the number otherwise: sysfs's
    // latency_timer of the USB serial device, or a virtual bridge's file.
    // With `folder` (a virtual bridge's) only the name of `file` counts: the
    // file is used only inside that folder while the folder is the user's
    // private one, and only when it is a regular file of the user's, opened
    // without following a link or waiting (see PrivateFiles.h); it is never
    // created.
    struct LatencyControl {
        std::string file;
        bool lowLatencyFlag = false;
        std::string folder;
    };
    void setLatencyControl(LatencyControl control) { m_latency = std::move(control); }
    // The latency in force: 1 with the flag, else the file's number, else 16.
    FT_STATUS latencyTimer(UCHAR *ms) const;
    // 1 to 255 ms. When neither the flag nor the file gives it, fails with
    // NOT_SUPPORTED and `advice` says what the latency stays at and how to
    // lower it.
    FT_STATUS setLatencyTimer(UCHAR ms, std::string &advice);

    bool isDead() const { return m_dead.load(); }
    // The longest a write of `count` bytes may wait at the current settings.
    int writeLimitMs(DWORD count) const;
    // Received bytes lost because the queue was full.
    std::uint64_t droppedBytes() const;
    const std::string &path() const { return m_path; }

private:
    class Worker;

    SerialPort(int fd, std::string path, std::size_t queueLimit);

    // Runs `job` in the worker thread and waits for it.
    void run(const std::function<void()> &job) const;
    // In the worker thread, when the device has something: moves what it
    // has into the queue; with `hangUp` the port is dead afterwards.
    void takeArrivals(bool hangUp);
    void markDead();
    void notify();
    // The low-latency flag: 1 set, 0 clear, -1 when the device has none.
    int lowLatency() const;
    bool setLowLatency(bool on);

    const int m_fd; // our own descriptor of the device, holding the lock
    const std::string m_path;
    bool m_pseudoTerminal = false;
    ULONG m_baudRate = 115200;
    int m_bitsPerByte = 10; // start, data, parity and stop bits
    std::atomic<bool> m_dead{false};
    LatencyControl m_latency;

    mutable std::mutex m_mutex; // m_queue
    ByteQueue m_queue;

    std::mutex m_callbackMutex;
    std::shared_ptr<const std::function<void()>> m_callback;

    std::unique_ptr<Worker> m_worker;
};
