#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// Bytes the bootloader sends, and the virtual time (µs) at which it starts
// sending them (never before the byte that caused them arrived; later when
// the answer waits for a flash erase or programming to finish).
struct BootloaderReply {
    std::int64_t atUs = 0;
    std::vector<std::uint8_t> bytes;
};

// The microcontroller's ROM bootloader, as seen from the serial line. While
// it runs (PedalSimulator::inBootloader()), every received byte goes to it
// instead of to the application firmware, and the line carries 11 bits a byte.
class Bootloader {
public:
    virtual ~Bootloader() = default;

    // Bytes from the host, all arrived by `nowUs` (virtual time in µs);
    // returns what the bootloader answers, each reply with its own time.
    virtual std::vector<BootloaderReply> receive(const std::uint8_t *data, std::size_t size, std::int64_t nowUs) = 0;
    // The chip starts (again) in its bootloader at `nowUs`: it waits for the
    // synchronisation byte. Memory contents are kept.
    virtual void restart(std::int64_t nowUs) { (void)nowUs; }
    // True once the bootloader has started the application again.
    virtual bool applicationStarted() const = 0;
    // When the jump to the application happened (µs); meaningful once applicationStarted().
    virtual std::int64_t applicationStartUs() const { return 0; }
    // Firmware number the started application reports.
    virtual int applicationFirmware() const = 0;
    // True when a fault wants the line dropped now.
    virtual bool hangUpRequested() const { return false; }
    // Notes for the simulator's log, taken (and cleared) by the simulator.
    std::vector<std::string> takeNotes() { return std::exchange(m_notes, {}); }

protected:
    void note(std::string text) { m_notes.push_back(std::move(text)); }

private:
    std::vector<std::string> m_notes;
};

// A bootloader that takes every byte in, answers nothing and never leaves
// (a chip whose bootloader does not respond at all).
class SilentBootloader final : public Bootloader {
public:
    explicit SilentBootloader(int firmware) : m_firmware(firmware) {}
    std::vector<BootloaderReply> receive(const std::uint8_t *data, std::size_t size, std::int64_t nowUs) override;
    bool applicationStarted() const override { return false; }
    int applicationFirmware() const override { return m_firmware; }

private:
    int m_firmware;
    bool m_noted = false;
};

} // namespace sim
