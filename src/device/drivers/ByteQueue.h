#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The bytes a port has received and nobody has read yet. It grows as needed up
// to its limit; beyond that the oldest bytes give way and are counted, so a
// flood never goes unnoticed and never eats memory. Not locked: its owner is.
class ByteQueue {
public:
    static constexpr std::size_t kInitialCapacity = 64 * 1024;
    static constexpr std::size_t kDefaultLimit = 1024 * 1024;

    explicit ByteQueue(std::size_t limit = kDefaultLimit);

    void append(const char *data, std::size_t count);
    // Copies up to `max` bytes from the front into `out` and removes them.
    std::size_t take(char *out, std::size_t max);
    void clear();

    std::size_t size() const { return m_bytes.size() - m_head; }
    std::uint64_t dropped() const { return m_dropped; }

private:
    void dropFront(std::size_t count);

    std::vector<char> m_bytes; // live bytes are [m_head, end)
    std::size_t m_head = 0;
    std::size_t m_limit;
    std::uint64_t m_dropped = 0;
};
