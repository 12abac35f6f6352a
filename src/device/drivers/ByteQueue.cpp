#include "ByteQueue.h"

#include <algorithm>
#include <cstring>

ByteQueue::ByteQueue(std::size_t limit)
    : m_limit(std::max<std::size_t>(limit, 1))
{
    m_bytes.reserve(std::min(kInitialCapacity, m_limit));
}

void ByteQueue::append(const char *data, std::size_t count)
{
    if (count >= m_limit) {
        // Only the newest `m_limit` bytes of this piece can stay.
        m_dropped += size() + (count - m_limit);
        m_bytes.clear();
        m_head = 0;
        data += count - m_limit;
        count = m_limit;
    } else if (size() + count > m_limit) {
        dropFront(size() + count - m_limit);
    }
    // Move the live bytes to the front before the vector would have to grow.
    if (m_head > 0 && m_bytes.size() + count > m_bytes.capacity()) {
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_head));
        m_head = 0;
    }
    m_bytes.insert(m_bytes.end(), data, data + count);
}

std::size_t ByteQueue::take(char *out, std::size_t max)
{
    const std::size_t n = std::min(max, size());
    if (n > 0)
        std::memcpy(out, m_bytes.data() + m_head, n);
    m_head += n;
    if (m_head == m_bytes.size())
        clear();
    return n;
}

void ByteQueue::clear()
{
    m_bytes.clear();
    m_head = 0;
}

void ByteQueue::dropFront(std::size_t count)
{
    m_head += count;
    m_dropped += count;
}
