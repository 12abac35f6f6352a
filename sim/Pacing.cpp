#include "Pacing.h"

#include "SimProtocol.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
std::int64_t roundUpMicros(double us)
{
    return static_cast<std::int64_t>(std::ceil(us - 1e-6));
}
} // namespace

std::int64_t InputLine::arrive(std::int64_t nowUs)
{
    if (!m_timing.paced)
        return nowUs;
    m_freeAt = std::max<double>(m_freeAt, static_cast<double>(nowUs)) + m_timing.byteMicros();
    return roundUpMicros(m_freeAt);
}

OutputLine::OutputLine() : m_latencyUs(kBridgeLatencyMs * 1000), m_packetBytes(kBridgePacketBytes) {}

void OutputLine::setLatencyMs(int ms)
{
    m_latencyUs = std::clamp(ms, 1, 255) * 1000;
}

void OutputLine::send(const std::vector<std::uint8_t> &bytes, std::int64_t startUs)
{
    if (bytes.empty())
        return;
    if (!m_timing.paced) {
        Packet p;
        p.readyUs = startUs;
        p.timerUs = startUs;
        p.full = true;
        p.bytes = bytes;
        m_packets.push_back(std::move(p));
        return;
    }
    const double byteUs = m_timing.byteMicros();
    for (std::uint8_t b : bytes) {
        m_freeAt = std::max<double>(m_freeAt, static_cast<double>(startUs)) + byteUs;
        const std::int64_t arrival = roundUpMicros(m_freeAt);
        if (m_packets.empty() || m_packets.back().full || arrival > m_packets.back().timerUs) {
            Packet p;
            p.timerUs = arrival + m_latencyUs;
            p.readyUs = p.timerUs;
            m_packets.push_back(std::move(p));
        }
        Packet &p = m_packets.back();
        p.bytes.push_back(b);
        if (p.bytes.size() == m_packetBytes) {
            p.full = true;
            p.readyUs = arrival;
        }
    }
}

std::vector<std::uint8_t> OutputLine::take(std::int64_t nowUs)
{
    std::vector<std::uint8_t> out;
    while (!m_packets.empty() && m_packets.front().readyUs <= nowUs) {
        const auto &bytes = m_packets.front().bytes;
        out.insert(out.end(), bytes.begin(), bytes.end());
        m_packets.pop_front();
    }
    return out;
}

std::int64_t OutputLine::nextReadyUs() const
{
    // Packets become ready in order (a later packet never before an earlier one).
    return m_packets.empty() ? kNever : m_packets.front().readyUs;
}

void OutputLine::clear()
{
    m_packets.clear();
}

} // namespace sim
