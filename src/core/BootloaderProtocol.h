#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class Clock;
class Communication;
class ConsoleModel;
class D2XXUnit;
struct AppState;

// The editor's side of the microcontroller's serial bootloader: erase,
// write in 256-byte chunks, the version record, Go. Every answer is
// checked; the first NACK, or an answer that does not come in time, stops
// the sequence and says where.
class BootloaderProtocol {
public:
    static constexpr std::uint32_t kFlashStart = 0x08000000;
    static constexpr std::uint32_t kVersionRecord = 0x0801FC00;
    // An image may not reach the version record.
    static constexpr std::uint32_t kMaxImage = kVersionRecord - kFlashStart; // 130,048
    // The microcontroller's SRAM (20 KiB from 0x20000000), where an image's
    // initial stack pointer must lie.
    static constexpr std::uint32_t kRamStart = 0x20000000;
    static constexpr std::uint32_t kRamBytes = 20 * 1024;
    static constexpr std::uint32_t kRamEnd = kRamStart + kRamBytes; // 0x20005000
    static constexpr int kAnswerLimit = 1000;   // command, address and data answers
    static constexpr int kEraseLimit = 40000;   // a global erase of the whole flash

    BootloaderProtocol(D2XXUnit &usb, Communication &comm, ConsoleModel &console, AppState &state);

    // Where a sequence stopped.
    struct Failure {
        QString step;
        std::uint32_t address = 0;
        QString answer; // empty: nothing came
        bool stopped = false; // a stop request, not the bootloader, ended it there
    };
    const Failure &failure() const { return m_failure; }
    bool failed() const { return !m_failure.step.isEmpty(); }
    void clearFailure() { m_failure = {}; }
    // Records that the sequence stopped on request before `step`.
    void stopBefore(const QString &step, std::uint32_t address);

    // What a byte from the bootloader says: 0x79 ACK, 0x1F NOT ACK, nothing
    // within the limit, or another byte.
    enum class Reply { Ack, Nack, Nothing, Other };
    static Reply replyOf(const QString &answer);

    // 0x7F at 8E1; the bootloader's answer as two hex digits, empty when
    // nothing came within the limit.
    QString BootloaderSync(int limitMs = kAnswerLimit);
    QString ReadBootloaderAck(int limitMs = kAnswerLimit);
    bool SendWriteMemoryCommand();
    void SplitFirmwareIntoChunks();
    bool SendEraseCommand();
    // `goOn` is asked before each chunk (its index and address): false ends
    // the sequence there.
    bool WriteFirmwareChunks(const std::function<void(int max, int value)> &progress,
                             const std::function<bool()> &pollTimerOn,
                             const std::function<bool(std::uint32_t chunk, std::uint32_t address)> &goOn = {});
    bool WriteVersionRecord(int version);
    bool SendGoCommand();

    static QByteArray addressFrame(std::uint32_t address);
    static QByteArray versionRecord(int version);

    // The image to write (filled by the upgrade procedure).
    QString FirmwareHex;
    std::uint32_t FirmwareSize = 0;
    std::uint32_t BootloaderAddress = 0;
    std::uint32_t ChunkCount = 0;
    std::uint32_t LastChunkSize = 0;
    std::vector<QString> ChunkText;
    std::vector<QByteArray> ChunkData;

private:
    void write(const QByteArray &bytes);
    bool expectAck(const QString &step, int limitMs = kAnswerLimit);

    D2XXUnit &m_usb;
    Communication &m_comm;
    ConsoleModel &m_console;
    AppState &m_state;
    Failure m_failure;
};
