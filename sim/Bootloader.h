#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// The microcontroller's ROM bootloader, as seen from the serial line. While
// it runs (PedalSimulator::inBootloader()), every received byte goes to it
// instead of to the application firmware, and the line carries 11 bits a byte.
class Bootloader {
public:
    virtual ~Bootloader() = default;

    // Bytes from the host, handed over when they have arrived (time in ms);
    // returns what the bootloader answers, sent at once.
    virtual std::vector<std::uint8_t> receive(const std::uint8_t *data, std::size_t size, std::int64_t nowMs) = 0;
    // True once the bootloader has started the application again.
    virtual bool applicationStarted() const = 0;
    // Firmware number the started application reports.
    virtual int applicationFirmware() const = 0;
    // Notes for the simulator's log, taken (and cleared) by the simulator.
    std::vector<std::string> takeNotes() { return std::exchange(m_notes, {}); }

protected:
    void note(std::string text) { m_notes.push_back(std::move(text)); }

private:
    std::vector<std::string> m_notes;
};

// Stand-in until the bootloader protocol is modelled: takes every byte in,
// answers nothing and never leaves.
class SilentBootloader final : public Bootloader {
public:
    explicit SilentBootloader(int firmware) : m_firmware(firmware) {}
    std::vector<std::uint8_t> receive(const std::uint8_t *data, std::size_t size, std::int64_t nowMs) override;
    bool applicationStarted() const override { return false; }
    int applicationFirmware() const override { return m_firmware; }

private:
    int m_firmware;
    bool m_noted = false;
};

} // namespace sim
