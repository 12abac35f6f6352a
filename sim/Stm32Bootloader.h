#pragma once

// The pedal's microcontroller bootloader on its USART: the host's byte
// protocol (synchronisation byte, command byte + complement, address and data
// frames with XOR checksums, ACK 0x79 / NACK 0x1F) over a model of the chip's
// memories and of the time its flash takes to erase and program.

#include "Bootloader.h"
#include "Faults.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

namespace boot {
inline constexpr std::uint8_t Ack = 0x79;
inline constexpr std::uint8_t Nack = 0x1F;
inline constexpr std::uint8_t Sync = 0x7F;

inline constexpr std::uint8_t Get = 0x00;
inline constexpr std::uint8_t GetVersion = 0x01;
inline constexpr std::uint8_t GetId = 0x02;
inline constexpr std::uint8_t ReadMemory = 0x11;
inline constexpr std::uint8_t Go = 0x21;
inline constexpr std::uint8_t WriteMemory = 0x31;
inline constexpr std::uint8_t Erase = 0x43;
inline constexpr std::uint8_t ExtendedErase = 0x44;

inline constexpr std::uint8_t Version = 0x22; // bootloader protocol version 2.2
inline constexpr std::uint16_t ProductId = 0x0410;

inline constexpr std::uint32_t FlashStart = 0x08000000;
inline constexpr std::uint32_t FlashBytes = 128 * 1024;
inline constexpr std::uint32_t PageBytes = 1024;
inline constexpr std::uint32_t PageCount = FlashBytes / PageBytes;
inline constexpr std::uint32_t RamStart = 0x20000000;
inline constexpr std::uint32_t RamBytes = 20 * 1024;

// Flash timing: erasing a page, programming a 16-bit half-word.
inline constexpr std::int64_t PageEraseUs = 20000;
inline constexpr std::int64_t HalfWordProgramUs = 50;

// The application image header the started firmware checks itself against.
inline constexpr std::uint32_t HeaderOffset = 0x200;
inline constexpr std::uint32_t HeaderBytes = 20;
inline constexpr std::uint32_t CrcFieldOffset = HeaderOffset + 12;

// Where the editor keeps the 8-byte version record.
inline constexpr std::uint32_t VersionRecordAddress = 0x0801FC00;
inline constexpr std::uint32_t VersionRecordBytes = 8;
} // namespace boot

// CRC-32 as zlib computes it (reflected, polynomial 0xEDB88320).
std::uint32_t crc32(const std::uint8_t *data, std::size_t size, std::uint32_t crc = 0);

// What the flash holds at its start, read as an application image.
struct ApplicationCheck {
    bool good = false;
    std::uint32_t version = 0;
    std::string reason; // why it does not start, when !good
};
ApplicationCheck checkApplication(const std::vector<std::uint8_t> &flash);

class Stm32Bootloader final : public Bootloader {
public:
    explicit Stm32Bootloader(Faults faults = {});

    std::vector<BootloaderReply> receive(const std::uint8_t *data, std::size_t size, std::int64_t nowUs) override;
    void restart(std::int64_t nowUs) override;
    bool applicationStarted() const override { return m_started; }
    std::int64_t applicationStartUs() const override { return m_startUs; }
    int applicationFirmware() const override { return static_cast<int>(m_firmware); }
    bool hangUpRequested() const override { return m_hangUp; }

    bool synced() const { return m_stage != Stage::Unsynced; }
    // Flash contents from 0x08000000 (128 KiB, erased bytes 0xFF).
    const std::vector<std::uint8_t> &flash() const { return m_flash; }
    std::vector<std::uint8_t> &flash() { return m_flash; }
    const std::vector<std::uint8_t> &ram() const { return m_ram; }
    // The 8 bytes at the version record address, as the flash holds them now.
    std::vector<std::uint8_t> versionRecord() const;
    // Answers (ACK or NACK, sent or swallowed by a fault) given so far.
    int steps() const { return m_steps; }
    // Misbehaviour from now on (steps keep counting from the start).
    void setFaults(const Faults &faults) { m_faults = faults; }
    // Write Memory data frames accepted so far.
    int chunksWritten() const { return m_chunks; }
    // Time until which the flash is busy with the latest erase or programming.
    std::int64_t busyUntilUs() const { return m_busyUntilUs; }

private:
    enum class Stage {
        Unsynced,
        Command,
        Complement,
        Address,      // 4 address bytes + checksum, for m_command
        ReadLength,   // N, ~N
        WriteLength,  // N
        WriteData,    // N + 1 bytes + checksum
        EraseCount,   // N or FF
        EraseGlobal,  // 00 after FF
        EraseList,    // N + 1 page numbers + checksum
        ExtCount,     // 2 bytes
        ExtSpecial,   // checksum after a special code
        ExtList,      // 2 (N + 1) bytes + checksum
    };

    void take(std::uint8_t byte, std::int64_t atUs, std::vector<BootloaderReply> &out);
    // Sends ACK (ok) or NACK at `atUs`, followed by `data` when it is an ACK,
    // unless a fault replaces this step's answer. True when an ACK went out
    // and the command may go on.
    bool answer(bool ok, std::int64_t atUs, std::vector<BootloaderReply> &out, std::vector<std::uint8_t> data = {});
    void toCommand() { m_stage = Stage::Command; m_frame.clear(); }
    void onCommand(std::int64_t atUs, std::vector<BootloaderReply> &out);
    void onAddress(std::int64_t atUs, std::vector<BootloaderReply> &out);
    void onWriteData(std::int64_t atUs, std::vector<BootloaderReply> &out);
    void erasePages(const std::vector<std::uint32_t> &pages, std::int64_t atUs, std::vector<BootloaderReply> &out);
    void jump(std::uint32_t address, std::int64_t atUs);
    std::uint8_t *memoryAt(std::uint32_t address, std::size_t size, bool *isFlash = nullptr);

    Faults m_faults;
    std::vector<std::uint8_t> m_flash;
    std::vector<std::uint8_t> m_ram;

    Stage m_stage = Stage::Unsynced;
    std::uint8_t m_command = 0;
    std::vector<std::uint8_t> m_frame;
    std::uint32_t m_address = 0;
    std::size_t m_expected = 0;

    int m_steps = 0;
    int m_chunks = 0;
    bool m_hangUp = false;
    bool m_started = false;
    std::int64_t m_startUs = 0;
    std::uint32_t m_firmware = 0;
    std::int64_t m_busyUntilUs = 0;
    bool m_notedUnsynced = false;
};

} // namespace sim
