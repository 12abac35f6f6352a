#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

namespace sim {

// Virtual time inside the simulator is kept in microseconds.
inline constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

// Timing of one direction of the serial line.
struct LineTiming {
    bool paced = false;
    int bitsPerByte = 10;
    int baud = 115200;

    // Time one byte occupies the wire, in microseconds (86.8 at 10 bits).
    double byteMicros() const { return 1e6 * bitsPerByte / baud; }
};

// Bytes the editor sends on their way to the pedal. Unpaced, every byte
// arrives when it is handed over; paced, the bytes follow one another on the
// wire at the line rate, so the last byte of a long write arrives well after
// the write. (The bridge forwards data from the host at once: no latency
// timer in this direction.)
class InputLine {
public:
    void setTiming(const LineTiming &timing) { m_timing = timing; }
    // Arrival time (µs) of the next byte handed over at `nowUs`.
    std::int64_t arrive(std::int64_t nowUs);

private:
    LineTiming m_timing;
    double m_freeAt = 0; // µs when the wire is free again
};

// Bytes the pedal sends, on their way to the editor.
//
// Paced model: the pedal's UART sends byte after byte (a byte is on the wire
// for bitsPerByte / baud seconds and has arrived in the bridge at the end of
// that time; a byte queued while the line is busy waits its turn). The bridge
// gathers arrived bytes into a packet; a packet becomes readable by the host
// when it holds 62 bytes (at the arrival of its 62nd byte) or when the
// latency timer (16 ms unless set) has passed since its first byte arrived,
// whichever comes first. The next byte
// starts a new packet. The real chip runs its latency timer from the last
// transfer rather than from the first byte; the difference is below one
// period and does not change which waits succeed.
//
// Unpaced, bytes are readable the moment they are sent.
class OutputLine {
public:
    OutputLine();
    void setTiming(const LineTiming &timing) { m_timing = timing; }
    const LineTiming &timing() const { return m_timing; }
    // The bridge's latency timer (1 to 255 ms), for packets started from now on.
    void setLatencyMs(int ms);
    int latencyMs() const { return m_latencyUs / 1000; }

    // The pedal starts sending `bytes` at `startUs` (later if the line is busy).
    void send(const std::vector<std::uint8_t> &bytes, std::int64_t startUs);
    // Everything readable at `nowUs`, in order.
    std::vector<std::uint8_t> take(std::int64_t nowUs);
    // When the next bytes become readable; kNever when nothing is on its way.
    std::int64_t nextReadyUs() const;
    bool idle() const { return m_packets.empty(); }
    void clear();

private:
    struct Packet {
        std::int64_t readyUs = 0;
        std::int64_t timerUs = 0; // latency-timer deadline
        bool full = false;
        std::vector<std::uint8_t> bytes;
    };
    LineTiming m_timing;
    double m_freeAt = 0; // µs when the pedal's UART has finished its last byte
    std::deque<Packet> m_packets;
    int m_latencyUs;
    std::size_t m_packetBytes;
};

} // namespace sim
