#include "BootloaderProtocol.h"

#include "AppState.h"
#include "Communication.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "FunctionsUnit.h"
#include "PedalContract.h"

namespace {

QString hex(std::uint32_t value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// A command byte and its complement, as the bootloader takes them in one frame.
QByteArray withComplement(std::uint8_t command)
{
    QByteArray frame(1, static_cast<char>(command));
    frame.append(static_cast<char>(~command));
    return frame;
}

} // namespace

BootloaderProtocol::BootloaderProtocol(D2XXUnit &usb, Communication &comm, ConsoleModel &console, AppState &state)
    : m_usb(usb), m_comm(comm), m_console(console), m_state(state)
{
}

void BootloaderProtocol::write(const QByteArray &bytes)
{
    m_usb.Write(bytes);
}

QByteArray BootloaderProtocol::addressFrame(std::uint32_t address)
{
    QByteArray frame;
    for (int shift = 24; shift >= 0; shift -= 8)
        frame.append(static_cast<char>((address >> shift) & 0xFF));
    frame.append(static_cast<char>(frame[0] ^ frame[1] ^ frame[2] ^ frame[3]));
    return frame;
}

QByteArray BootloaderProtocol::versionRecord(int version)
{
    QByteArray record(10, '\0');
    record[0] = 0x07;
    record[8] = static_cast<char>(version);
    record[9] = static_cast<char>(0x07 ^ (version & 0xFF));
    return record;
}

BootloaderProtocol::Reply BootloaderProtocol::replyOf(const QString &answer)
{
    if (answer.isEmpty())
        return Reply::Nothing;
    if (answer == hex(pedal::kAck, 2))
        return Reply::Ack;
    if (answer == hex(pedal::kNack, 2))
        return Reply::Nack;
    return Reply::Other;
}

QString BootloaderProtocol::BootloaderSync(int limitMs)
{
    m_usb.SetUsbLinkParameters(D2XXUnit::Line::Bootloader);
    m_usb.SetUsbDataCharacteristics();
    write(QByteArray(1, static_cast<char>(pedal::kBootloaderSync)));
    return m_comm.ReceiveReply(limitMs, Communication::Framing::BootloaderByte);
}

QString BootloaderProtocol::ReadBootloaderAck(int limitMs)
{
    const QString answer = m_comm.ReceiveReply(limitMs, Communication::Framing::BootloaderByte);
    m_console.appendDirect(QStringLiteral("received: ") + answer);
    const Reply reply = replyOf(answer);
    if (reply == Reply::Ack)
        m_console.appendDirect(QStringLiteral("ACK"));
    else if (reply == Reply::Nack)
        m_console.appendDirect(QStringLiteral("NOT ACK"));
    return answer;
}

bool BootloaderProtocol::expectAck(const QString &step, int limitMs)
{
    const QString answer = ReadBootloaderAck(limitMs);
    if (replyOf(answer) == Reply::Ack)
        return true;
    m_failure = Failure{step, BootloaderAddress, answer};
    m_console.ConsolePrint(QStringLiteral("STOPPED: %1 at %2 was answered %3")
                               .arg(step, hex(BootloaderAddress, 8),
                                    answer.isEmpty() ? QStringLiteral("with nothing") : answer));
    return false;
}

bool BootloaderProtocol::SendWriteMemoryCommand()
{
    m_console.ConsolePrint(QStringLiteral("SEND WRITE COMMAND"));
    write(QByteArray(1, static_cast<char>(pedal::boot::WriteMemory)));
    write(QByteArray(1, static_cast<char>(~pedal::boot::WriteMemory)));
    if (!expectAck(QStringLiteral("the write command")))
        return false;
    m_console.ConsolePrint(QStringLiteral("SEND ADDRESS + CHECKSUM"));
    const QByteArray frame = addressFrame(BootloaderAddress);
    m_console.ConsolePrint(QStringLiteral("Address: ") + hex(BootloaderAddress, 8));
    m_console.ConsolePrint(QStringLiteral("address checksum: ") + hex(static_cast<std::uint8_t>(frame[4]), 2));
    write(frame);
    return expectAck(QStringLiteral("the write address"));
}

void BootloaderProtocol::SplitFirmwareIntoChunks()
{
    ChunkCount = FirmwareSize / 256;
    LastChunkSize = FirmwareSize % 256;
    m_console.ConsolePrint(QStringLiteral("num of chunks: ") + QString::number(ChunkCount));
    m_console.ConsolePrint(QStringLiteral("num of bytes last chunk: ") + QString::number(LastChunkSize));
    if (LastChunkSize > 0)
        ++ChunkCount;
    ChunkText.assign(ChunkCount, QString());
    ChunkData.assign(ChunkCount, QByteArray());
    for (std::uint32_t i = 0; i < ChunkCount; ++i) {
        const bool partial = i == ChunkCount - 1 && LastChunkSize > 0;
        ChunkText[i] = partial ? FirmwareHex.mid(static_cast<qsizetype>(i) * 512)
                               : FirmwareHex.mid(static_cast<qsizetype>(i) * 512, 512);
        ChunkData[i] = HexToAnsiBytes(ChunkText[i]).left(partial ? static_cast<qsizetype>(LastChunkSize) : 256);
        if (partial)
            m_console.ConsolePrint(QStringLiteral("num of bytes last chunk: ") + QString::number(LastChunkSize));
        m_console.appendDirect(QStringLiteral("chunk from string %1: ").arg(i));
        m_console.appendDirect(ChunkText[i]);
        m_console.ConsolePrint(QStringLiteral("chunk %1 size: %2").arg(i).arg(ChunkText[i].size() / 2));
        m_console.appendDirect(QString());
        m_console.appendDirect(QString());
    }
}

bool BootloaderProtocol::SendEraseCommand()
{
    m_console.appendDirect(QStringLiteral("Start Erase Command"));
    BootloaderAddress = kFlashStart;
    write(withComplement(pedal::boot::Erase));
    if (!expectAck(QStringLiteral("the erase command")))
        return false;
    write(withComplement(pedal::boot::GlobalErase));
    return expectAck(QStringLiteral("the global erase"), kEraseLimit);
}

void BootloaderProtocol::stopBefore(const QString &step, std::uint32_t address)
{
    m_failure = Failure{step, address, QString(), true};
    m_console.ConsolePrint(QStringLiteral("STOPPED before %1 at %2").arg(step, hex(address, 8)));
}

bool BootloaderProtocol::WriteFirmwareChunks(const std::function<void(int max, int value)> &progress,
                                             const std::function<bool()> &pollTimerOn,
                                             const std::function<bool(std::uint32_t, std::uint32_t)> &goOn)
{
    m_console.appendDirect(QStringLiteral("Start Write Command"));
    m_console.appendDirect(QString());
    BootloaderAddress = kFlashStart;
    for (std::uint32_t i = 0; i < ChunkCount; ++i) {
        if (goOn && !goOn(i, BootloaderAddress))
            return false;
        if (progress)
            progress(static_cast<int>(ChunkCount), static_cast<int>(i));
        if (!SendWriteMemoryCommand())
            return false;
        m_console.ConsolePrint(QStringLiteral("SEND N BYTE + DATA + CHECKSUM"));
        const int size = static_cast<int>(ChunkText[i].size() / 2);
        const auto n = static_cast<std::uint8_t>(size - 1);
        m_console.ConsolePrint(QStringLiteral("N_byte: ") + hex(n, 2));
        write(QByteArray(1, static_cast<char>(n)));
        m_console.ConsolePrint(QStringLiteral("chunk size: ") + QString::number(size));
        QByteArray data = ChunkData[i].left(size);
        data.resize(size, '\0');
        write(data);
        std::uint8_t checksum = n;
        for (char b : data)
            checksum ^= static_cast<std::uint8_t>(b);
        m_console.ConsolePrint(QStringLiteral("data checksum: ") + hex(checksum, 2));
        write(QByteArray(1, static_cast<char>(checksum)));
        if (!expectAck(QStringLiteral("the data of chunk %1").arg(i)))
            return false;
        BootloaderAddress += static_cast<std::uint32_t>(size);
        m_console.ConsolePrint(QString());
        if (pollTimerOn && pollTimerOn())
            m_console.ConsolePrint(QStringLiteral("TIMER IS ON!!!!!!!!!!!"));
        m_console.ConsolePrint(QString());
    }
    return true;
}

bool BootloaderProtocol::WriteVersionRecord(int version)
{
    BootloaderAddress = kVersionRecord;
    if (!SendWriteMemoryCommand())
        return false;
    const QByteArray record = versionRecord(version);
    for (char b : record)
        write(QByteArray(1, b));
    return expectAck(QStringLiteral("the version record"));
}

bool BootloaderProtocol::SendGoCommand()
{
    m_console.ConsolePrint(QString());
    m_console.ConsolePrint(QStringLiteral("SEND GO COMMAND"));
    BootloaderAddress = kFlashStart;
    write(QByteArray(1, static_cast<char>(pedal::boot::Go)));
    write(QByteArray(1, static_cast<char>(~pedal::boot::Go)));
    if (!expectAck(QStringLiteral("the go command")))
        return false;
    m_console.ConsolePrint(QStringLiteral("SEND ADDRESS + CHECKSUM"));
    const QByteArray frame = addressFrame(BootloaderAddress);
    m_console.ConsolePrint(QStringLiteral("Address: ") + hex(BootloaderAddress, 8));
    m_console.ConsolePrint(QStringLiteral("address checksum: ") + hex(static_cast<std::uint8_t>(frame[4]), 2));
    for (char b : frame)
        write(QByteArray(1, b));
    return expectAck(QStringLiteral("the go address"));
}
