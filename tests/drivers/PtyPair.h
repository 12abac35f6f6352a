#pragma once

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <thread>
#include <unistd.h>

// A pseudo-terminal whose slave path the code under test opens; the test
// plays the device on the master side.
struct PtyPair {
    int master = -1;
    std::string path;

    PtyPair()
    {
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path = ::ptsname(master);
        ::close(slave);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

    // False when the other side has not taken everything within the time.
    bool send(const std::string &bytes, int timeoutMs = 5000) const
    {
        std::size_t done = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (done < bytes.size() && std::chrono::steady_clock::now() < deadline) {
            const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else {
                pollfd fd{master, POLLOUT, 0};
                ::poll(&fd, 1, 10);
            }
        }
        return done == bytes.size();
    }

    // What the device received: `count` bytes, or fewer if they do not come in time.
    std::string receive(std::size_t count, int timeoutMs = 5000) const
    {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
            } else {
                pollfd fd{master, POLLIN, 0};
                ::poll(&fd, 1, 10);
            }
        }
        return got;
    }
};

template <typename Predicate>
bool waitUntil(Predicate predicate, int timeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline std::string everyByteValue()
{
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes.push_back(static_cast<char>(b));
    return bytes;
}
