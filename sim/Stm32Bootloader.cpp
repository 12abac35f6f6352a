#include "Stm32Bootloader.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

using namespace boot;

std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

std::uint32_t le32(const std::vector<std::uint8_t> &m, std::size_t at)
{
    return std::uint32_t(m[at]) | (std::uint32_t(m[at + 1]) << 8) | (std::uint32_t(m[at + 2]) << 16) |
           (std::uint32_t(m[at + 3]) << 24);
}

std::uint8_t xorOf(const std::vector<std::uint8_t> &bytes, std::size_t count)
{
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < count; ++i)
        x ^= bytes[i];
    return x;
}

std::string format(const char *fmt, unsigned long a, unsigned long b = 0, unsigned long c = 0)
{
    char buf[200];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

bool knownCommand(std::uint8_t code)
{
    switch (code) {
    case Get:
    case GetVersion:
    case GetId:
    case ReadMemory:
    case Go:
    case WriteMemory:
    case Erase:
    case ExtendedErase:
        return true;
    default:
        return false;
    }
}

} // namespace

std::uint32_t crc32(const std::uint8_t *data, std::size_t size, std::uint32_t crc)
{
    static const std::array<std::uint32_t, 256> table = makeCrcTable();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

ApplicationCheck checkApplication(const std::vector<std::uint8_t> &flash)
{
    ApplicationCheck check;
    if (flash.size() < HeaderOffset + HeaderBytes) {
        check.reason = "flash too small for a header";
        return check;
    }
    if (!std::equal(flash.begin() + HeaderOffset, flash.begin() + HeaderOffset + 4, "THVK")) {
        check.reason = "no image header at 0x200";
        return check;
    }
    const std::uint32_t version = le32(flash, HeaderOffset + 4);
    const std::uint32_t length = le32(flash, HeaderOffset + 8);
    const std::uint32_t stored = le32(flash, CrcFieldOffset);
    if (length < HeaderOffset + HeaderBytes || length > flash.size()) {
        check.reason = format("image length %lu impossible", length);
        return check;
    }
    static constexpr std::uint8_t kZero[4] = {0, 0, 0, 0};
    std::uint32_t crc = crc32(flash.data(), CrcFieldOffset);
    crc = crc32(kZero, 4, crc);
    crc = crc32(flash.data() + CrcFieldOffset + 4, length - CrcFieldOffset - 4, crc);
    if (crc != stored) {
        check.reason = format("image CRC %08lX does not match its header (%08lX)", crc, stored);
        return check;
    }
    if (version > 255) {
        check.reason = format("image version %lu impossible", version);
        return check;
    }
    check.good = true;
    check.version = version;
    return check;
}

Stm32Bootloader::Stm32Bootloader(Faults faults)
    : m_faults(faults), m_flash(FlashBytes, 0xFF), m_ram(RamBytes, 0x00)
{
}

void Stm32Bootloader::restart(std::int64_t)
{
    m_stage = Stage::Unsynced;
    m_frame.clear();
    m_started = false;
    m_notedUnsynced = false;
}

std::vector<std::uint8_t> Stm32Bootloader::versionRecord() const
{
    const auto at = m_flash.begin() + (VersionRecordAddress - FlashStart);
    return {at, at + VersionRecordBytes};
}

std::vector<BootloaderReply> Stm32Bootloader::receive(const std::uint8_t *data, std::size_t size, std::int64_t nowUs)
{
    std::vector<BootloaderReply> out;
    for (std::size_t i = 0; i < size && !m_started && !m_hangUp; ++i)
        take(data[i], nowUs, out);
    return out;
}

std::uint8_t *Stm32Bootloader::memoryAt(std::uint32_t address, std::size_t size, bool *isFlash)
{
    const std::uint64_t end = std::uint64_t(address) + size;
    if (address >= FlashStart && end <= std::uint64_t(FlashStart) + FlashBytes) {
        if (isFlash)
            *isFlash = true;
        return m_flash.data() + (address - FlashStart);
    }
    if (address >= RamStart && end <= std::uint64_t(RamStart) + RamBytes) {
        if (isFlash)
            *isFlash = false;
        return m_ram.data() + (address - RamStart);
    }
    return nullptr;
}

bool Stm32Bootloader::answer(bool ok, std::int64_t atUs, std::vector<BootloaderReply> &out,
                             std::vector<std::uint8_t> data)
{
    const int step = ++m_steps;
    if (step == m_faults.bootNackAt) {
        note(format("fault: NACK at step %lu", unsigned(step)));
        out.push_back({atUs, {Nack}});
        return false;
    }
    if (step == m_faults.bootSilentAt) {
        note(format("fault: no answer at step %lu", unsigned(step)));
        return false;
    }
    if (step == m_faults.bootGarbageAt) {
        note(format("fault: byte 0x%02lX instead of the answer at step %lu", kBootGarbageByte, unsigned(step)));
        out.push_back({atUs, {kBootGarbageByte}});
        return false;
    }
    if (!ok) {
        out.push_back({atUs, {Nack}});
        return false;
    }
    data.insert(data.begin(), Ack);
    out.push_back({atUs, std::move(data)});
    return true;
}

void Stm32Bootloader::take(std::uint8_t byte, std::int64_t arrivalUs, std::vector<BootloaderReply> &out)
{
    if (m_faults.bootHangUpAfterChunks > 0 && m_chunks >= m_faults.bootHangUpAfterChunks) {
        note(format("fault: line dropped after %lu written chunks", unsigned(m_chunks)));
        m_hangUp = true;
        return;
    }
    // Bytes that arrive while the flash is busy wait in the UART until it is done.
    const std::int64_t t = std::max(arrivalUs, m_busyUntilUs);
    switch (m_stage) {
    case Stage::Unsynced:
        if (byte == Sync) {
            if (answer(true, t, out))
                toCommand();
        } else if (!m_notedUnsynced) {
            note(format("bootloader: byte 0x%02lX before the synchronisation byte ignored", byte));
            m_notedUnsynced = true;
        }
        break;
    case Stage::Command:
        if (byte == Sync) {
            note("bootloader: synchronisation byte when already synchronised");
            answer(false, t, out);
            break;
        }
        m_command = byte;
        m_stage = Stage::Complement;
        break;
    case Stage::Complement:
        if (byte != static_cast<std::uint8_t>(~m_command) || !knownCommand(m_command)) {
            note(format("bootloader: command %02lX %02lX refused", m_command, byte));
            answer(false, t, out);
            toCommand();
            break;
        }
        onCommand(t, out);
        break;
    case Stage::Address:
        m_frame.push_back(byte);
        if (m_frame.size() == 5)
            onAddress(t, out);
        break;
    case Stage::ReadLength:
        m_frame.push_back(byte);
        if (m_frame.size() == 2) {
            const std::size_t count = std::size_t(m_frame[0]) + 1;
            const std::uint8_t *at = memoryAt(m_address, count);
            const bool ok = m_frame[1] == static_cast<std::uint8_t>(~m_frame[0]) && at;
            if (!ok)
                note(format("bootloader: read of %lu bytes at 0x%08lX refused", count, m_address));
            answer(ok, t, out, ok ? std::vector<std::uint8_t>(at, at + count) : std::vector<std::uint8_t>{});
            toCommand();
        }
        break;
    case Stage::WriteLength:
        m_frame.assign(1, byte);
        m_expected = std::size_t(byte) + 1;
        m_stage = Stage::WriteData;
        break;
    case Stage::WriteData:
        m_frame.push_back(byte);
        if (m_frame.size() == m_expected + 2)
            onWriteData(t, out);
        break;
    case Stage::EraseCount:
        if (byte == 0xFF) {
            m_stage = Stage::EraseGlobal;
        } else {
            m_frame.assign(1, byte);
            m_expected = std::size_t(byte) + 1;
            m_stage = Stage::EraseList;
        }
        break;
    case Stage::EraseGlobal:
        if (byte == 0x00) {
            std::vector<std::uint32_t> all(PageCount);
            for (std::uint32_t p = 0; p < PageCount; ++p)
                all[p] = p;
            erasePages(all, t, out);
        } else {
            note(format("bootloader: global erase with checksum %02lX refused", byte));
            answer(false, t, out);
        }
        toCommand();
        break;
    case Stage::EraseList:
        m_frame.push_back(byte);
        if (m_frame.size() == m_expected + 2) {
            std::vector<std::uint32_t> pages(m_frame.begin() + 1, m_frame.end() - 1);
            const bool valid = std::all_of(pages.begin(), pages.end(), [](std::uint32_t p) { return p < PageCount; });
            if (xorOf(m_frame, m_frame.size() - 1) == m_frame.back() && valid) {
                erasePages(pages, t, out);
            } else {
                note("bootloader: page erase with a bad checksum or page number refused");
                answer(false, t, out);
            }
            toCommand();
        }
        break;
    case Stage::ExtCount:
        m_frame.push_back(byte);
        if (m_frame.size() == 2) {
            const std::size_t n = (std::size_t(m_frame[0]) << 8) | m_frame[1];
            if (n >= 0xFFF0) {
                m_stage = Stage::ExtSpecial;
            } else {
                m_expected = n + 1;
                m_stage = Stage::ExtList;
            }
        }
        break;
    case Stage::ExtSpecial: {
        const bool mass = m_frame[0] == 0xFF && m_frame[1] == 0xFF;
        if (mass && byte == static_cast<std::uint8_t>(m_frame[0] ^ m_frame[1])) {
            std::vector<std::uint32_t> all(PageCount);
            for (std::uint32_t p = 0; p < PageCount; ++p)
                all[p] = p;
            erasePages(all, t, out);
        } else {
            note(format("bootloader: extended erase code %02lX%02lX with checksum %02lX refused", m_frame[0],
                        m_frame[1], byte));
            answer(false, t, out);
        }
        toCommand();
        break;
    }
    case Stage::ExtList:
        m_frame.push_back(byte);
        if (m_frame.size() == 2 + 2 * m_expected + 1) {
            std::vector<std::uint32_t> pages;
            for (std::size_t i = 0; i < m_expected; ++i)
                pages.push_back((std::uint32_t(m_frame[2 + 2 * i]) << 8) | m_frame[3 + 2 * i]);
            const bool valid = std::all_of(pages.begin(), pages.end(), [](std::uint32_t p) { return p < PageCount; });
            if (xorOf(m_frame, m_frame.size() - 1) == m_frame.back() && valid) {
                erasePages(pages, t, out);
            } else {
                note("bootloader: extended page erase with a bad checksum or page number refused");
                answer(false, t, out);
            }
            toCommand();
        }
        break;
    }
}

void Stm32Bootloader::onCommand(std::int64_t t, std::vector<BootloaderReply> &out)
{
    m_frame.clear();
    switch (m_command) {
    case Get:
        if (answer(true, t, out, {7, Version, Get, GetVersion, GetId, ReadMemory, Go, WriteMemory, Erase}))
            answer(true, t, out);
        toCommand();
        break;
    case GetVersion:
        if (answer(true, t, out, {Version, 0x00, 0x00}))
            answer(true, t, out);
        toCommand();
        break;
    case GetId:
        if (answer(true, t, out, {0x01, std::uint8_t(ProductId >> 8), std::uint8_t(ProductId & 0xFF)}))
            answer(true, t, out);
        toCommand();
        break;
    case ReadMemory:
    case Go:
    case WriteMemory:
        if (answer(true, t, out))
            m_stage = Stage::Address;
        else
            toCommand();
        break;
    case Erase:
        if (answer(true, t, out))
            m_stage = Stage::EraseCount;
        else
            toCommand();
        break;
    case ExtendedErase:
        if (answer(true, t, out))
            m_stage = Stage::ExtCount;
        else
            toCommand();
        break;
    default:
        toCommand();
        break;
    }
}

void Stm32Bootloader::onAddress(std::int64_t t, std::vector<BootloaderReply> &out)
{
    const std::uint32_t address = (std::uint32_t(m_frame[0]) << 24) | (std::uint32_t(m_frame[1]) << 16) |
                                  (std::uint32_t(m_frame[2]) << 8) | m_frame[3];
    const bool ok = xorOf(m_frame, 4) == m_frame[4] && memoryAt(address, 1);
    if (!ok)
        note(format("bootloader: address frame %08lX checksum %02lX refused", address, m_frame[4]));
    m_frame.clear();
    if (!answer(ok, t, out)) {
        toCommand();
        return;
    }
    m_address = address;
    switch (m_command) {
    case ReadMemory:
        m_stage = Stage::ReadLength;
        break;
    case WriteMemory:
        m_stage = Stage::WriteLength;
        break;
    default:
        toCommand();
        jump(address, t);
        break;
    }
}

void Stm32Bootloader::onWriteData(std::int64_t t, std::vector<BootloaderReply> &out)
{
    const std::size_t count = m_expected;
    bool isFlash = false;
    std::uint8_t *at = memoryAt(m_address, count, &isFlash);
    const bool sumOk = xorOf(m_frame, m_frame.size() - 1) == m_frame.back();
    if (!sumOk || !at) {
        note(format(sumOk ? "bootloader: write of %lu bytes at 0x%08lX leaves memory: refused"
                          : "bootloader: write of %lu bytes at 0x%08lX with a bad checksum refused",
                    count, m_address));
        answer(false, t, out);
        toCommand();
        return;
    }
    const std::int64_t done = isFlash ? t + std::int64_t((count + 1) / 2) * HalfWordProgramUs : t;
    if (answer(true, done, out)) {
        const std::uint8_t *data = m_frame.data() + 1;
        for (std::size_t i = 0; i < count; ++i)
            at[i] = isFlash ? static_cast<std::uint8_t>(at[i] & data[i]) : data[i];
        m_busyUntilUs = std::max(m_busyUntilUs, done);
        ++m_chunks;
        if (isFlash && m_address < VersionRecordAddress + VersionRecordBytes &&
            m_address + count > VersionRecordAddress) {
            const auto record = versionRecord();
            std::string hex;
            char buf[4];
            for (auto b : record) {
                std::snprintf(buf, sizeof buf, "%02X", b);
                hex += buf;
            }
            note("bootloader: version record now " + hex);
        }
    }
    toCommand();
}

void Stm32Bootloader::erasePages(const std::vector<std::uint32_t> &pages, std::int64_t t,
                                 std::vector<BootloaderReply> &out)
{
    const std::int64_t done = t + std::int64_t(pages.size()) * PageEraseUs;
    if (!answer(true, done, out))
        return;
    for (std::uint32_t p : pages)
        std::fill_n(m_flash.begin() + std::ptrdiff_t(p) * PageBytes, PageBytes, 0xFF);
    m_busyUntilUs = std::max(m_busyUntilUs, done);
    note(format("bootloader: %lu flash pages erased (%lu ms)", pages.size(),
                static_cast<unsigned long>((done - t) / 1000)));
}

void Stm32Bootloader::jump(std::uint32_t address, std::int64_t t)
{
    if (address != FlashStart) {
        note(format("bootloader: jump to 0x%08lX runs no application; the chip restarts in its bootloader", address));
        m_stage = Stage::Unsynced;
        return;
    }
    const ApplicationCheck check = checkApplication(m_flash);
    if (!check.good) {
        note("bootloader: the application does not start (" + check.reason +
             "); the chip restarts in its bootloader");
        m_stage = Stage::Unsynced;
        return;
    }
    m_started = true;
    m_startUs = t;
    m_firmware = check.version;
    m_stage = Stage::Unsynced;
    note(format("bootloader: jump to 0x%08lX, application firmware %lu starts", address, check.version));
}

} // namespace sim
