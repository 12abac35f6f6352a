// The pedal's microcontroller bootloader: synchronisation, the memory
// commands over the flash model, erase and programming times, the jump into
// the application, and the bootloader faults.

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace simtest;
using sim::PedalSimulator;

namespace {

constexpr std::uint32_t kFlash = 0x08000000;
constexpr std::uint32_t kRam = 0x20000000;
const Bytes kAck = {0x79};
const Bytes kNack = {0x1F};

Bytes addressFrame(std::uint32_t address)
{
    Bytes f = {std::uint8_t(address >> 24), std::uint8_t(address >> 16), std::uint8_t(address >> 8),
               std::uint8_t(address)};
    f.push_back(f[0] ^ f[1] ^ f[2] ^ f[3]);
    return f;
}

Bytes dataFrame(const Bytes &data)
{
    Bytes f = {std::uint8_t(data.size() - 1)};
    f.insert(f.end(), data.begin(), data.end());
    std::uint8_t x = 0;
    for (auto b : f)
        x ^= b;
    f.push_back(x);
    return f;
}

Bytes firmwareImage(int version)
{
    std::ifstream in(std::string(sim::kDefaultPayloadDir) + "/FIRMWARE_" + std::to_string(version), std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The host's side, on a virtual clock in ms: every exchange waits for the
// bootloader's answers before the clock moves on.
struct Host {
    PedalSimulator &pedal;
    std::int64_t t = 0;

    // Sends `b` at the current time and collects everything the pedal answers until it has nothing more on its way.
    Bytes say(const Bytes &b)
    {
        pedal.receive(b, t);
        return drain();
    }
    Bytes drain()
    {
        Bytes got;
        for (std::int64_t due; (due = pedal.nextOutputTime()) != PedalSimulator::kNoOutput;) {
            t = std::max(t, due);
            const Bytes out = pedal.takeOutput(t);
            got.insert(got.end(), out.begin(), out.end());
        }
        return got;
    }
    Bytes command(std::uint8_t code)
    {
        pedal.receive(Bytes{code}, t); // code and complement in separate writes, as the editor sends them
        return say(Bytes{std::uint8_t(~code)});
    }
    // Like a careful client, stops at the first answer that is not an ACK.
    Bytes write(std::uint32_t address, const Bytes &data)
    {
        Bytes got = command(0x31);
        bool acked = got == Bytes{0x79};
        for (const Bytes &part : {addressFrame(address), dataFrame(data)}) {
            if (!acked)
                break;
            const Bytes a = say(part);
            got.insert(got.end(), a.begin(), a.end());
            acked = a == Bytes{0x79};
        }
        return got;
    }
    Bytes read(std::uint32_t address, std::size_t count)
    {
        Bytes got = command(0x11);
        if (got != Bytes{0x79})
            return got;
        Bytes a = say(addressFrame(address));
        got.insert(got.end(), a.begin(), a.end());
        if (a != Bytes{0x79})
            return got;
        a = say(Bytes{std::uint8_t(count - 1), std::uint8_t(~(count - 1))});
        got.insert(got.end(), a.begin(), a.end());
        return got;
    }
    Bytes globalErase()
    {
        Bytes got = command(0x43);
        const Bytes a = say(bytes("FF 00"));
        got.insert(got.end(), a.begin(), a.end());
        return got;
    }
    Bytes go(std::uint32_t address)
    {
        Bytes got = command(0x21);
        const Bytes a = say(addressFrame(address));
        got.insert(got.end(), a.begin(), a.end());
        return got;
    }
    // Flashes `image` as the editor does: global erase, 256-byte chunks (the
    // last one as long as what is left), the version record, Go.
    Bytes upgrade(const Bytes &image, std::uint8_t version)
    {
        Bytes got = globalErase();
        for (std::size_t at = 0; at < image.size(); at += 256) {
            const auto end = image.begin() + static_cast<std::ptrdiff_t>(std::min(at + 256, image.size()));
            const Bytes a = write(kFlash + static_cast<std::uint32_t>(at), Bytes(image.begin() + at, end));
            got.insert(got.end(), a.begin(), a.end());
        }
        Bytes record(8, 0x00);
        record[7] = version;
        Bytes a = write(0x0801FC00, record);
        got.insert(got.end(), a.begin(), a.end());
        a = go(kFlash);
        got.insert(got.end(), a.begin(), a.end());
        return got;
    }
};

Bytes repeat(const Bytes &b, std::size_t times)
{
    Bytes out;
    for (std::size_t i = 0; i < times; ++i)
        out.insert(out.end(), b.begin(), b.end());
    return out;
}

class Boot : public ::testing::Test {
protected:
    sim::Config config(sim::Faults faults = {}) const
    {
        sim::Config c;
        c.startInBootloader = true;
        c.firmware = 12;
        c.faults = faults;
        return c;
    }
    // Request answered with a whole report: its firmware number; -1 for no answer.
    static int firmwareReported(Host &host)
    {
        const auto numbers = strictNumbers(host.say(bytes("02 00")));
        return numbers && numbers->size() == 107 ? (*numbers)[0] : -1;
    }
};

TEST(BootloaderChecks, Crc32MatchesZlibAndEveryCarriedFirmwareStarts)
{
    const std::string check = "123456789";
    EXPECT_EQ(sim::crc32(reinterpret_cast<const std::uint8_t *>(check.data()), check.size()), 0xCBF43926u);
    for (int version = 5; version <= 16; ++version) {
        SCOPED_TRACE(version);
        Bytes flash(128 * 1024, 0xFF);
        const Bytes image = firmwareImage(version);
        ASSERT_GT(image.size(), 0x214u);
        std::copy(image.begin(), image.end(), flash.begin());
        const auto result = sim::checkApplication(flash);
        EXPECT_TRUE(result.good) << result.reason;
        EXPECT_EQ(result.version, static_cast<std::uint32_t>(version));
    }
}

TEST_F(Boot, SynchronisationAndIdentification)
{
    PedalSimulator pedal(config());
    Host host{pedal};
    struct Row {
        const char *what;
        const char *sent;
        const char *answer;
    };
    for (const Row &row : {
             Row{"bytes before the synchronisation are ignored", "02 FD 00", ""},
             Row{"synchronisation", "7F", "79"},
             Row{"a second synchronisation byte", "7F", "1F"},
             Row{"Get", "00 FF", "79 07 22 00 01 02 11 21 31 43 79"},
             Row{"Get Version", "01 FE", "79 22 00 00 79"},
             Row{"Get ID", "02 FD", "79 01 04 10 79"},
             Row{"bad complement", "02 FC", "1F"},
             Row{"unknown command", "63 9C", "1F"},
             Row{"still answering after refusals", "02 FD", "79 01 04 10 79"},
         }) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(hexText(host.say(bytes(row.sent))), hexText(bytes(row.answer)));
    }
    EXPECT_TRUE(pedal.inBootloader());
}

TEST_F(Boot, WritesAndReadsBackFlashAndRam)
{
    PedalSimulator pedal(config());
    Host host{pedal};
    ASSERT_EQ(host.say(bytes("7F")), kAck);
    const Bytes data = bytes("01 02 03 04 05 06 07 08 09 0A"); // not a multiple of 4
    for (std::uint32_t address : {kFlash + 0x100, kRam + 0x10, 0x0801FFF6u}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(host.write(address, data), repeat(kAck, 3));
        Bytes expected = repeat(kAck, 3);
        expected.insert(expected.end(), data.begin(), data.end());
        EXPECT_EQ(host.read(address, data.size()), expected);
    }
    // Single bytes and a whole 256-byte frame.
    Bytes full(256);
    for (std::size_t i = 0; i < full.size(); ++i)
        full[i] = static_cast<std::uint8_t>(i * 13 + 5);
    EXPECT_EQ(host.write(kFlash + 0x400, full), repeat(kAck, 3));
    EXPECT_EQ(host.write(kFlash + 0x800, bytes("5A")), repeat(kAck, 3));
    const auto &flash = pedal.flashBootloader()->flash();
    EXPECT_TRUE(std::equal(full.begin(), full.end(), flash.begin() + 0x400));
    EXPECT_EQ(flash[0x800], 0x5A);
    EXPECT_EQ(flash[0x801], 0xFF);

    // Outside memory: refused at the address, or at the data when the data runs past the end.
    EXPECT_EQ(host.write(0x08020000, data), bytes("79 1F"));
    EXPECT_EQ(host.write(0x0801FFFC, data), bytes("79 79 1F"));
    EXPECT_EQ(host.read(0x20005000, 4), bytes("79 1F"));
    EXPECT_EQ(host.read(0x0801FFFC, 8), bytes("79 79 1F"));
    EXPECT_EQ(host.read(0x0801FFFC, 4), bytes("79 79 79 07 08 09 0A")) << "a refused write changes nothing";
}

TEST_F(Boot, ProgrammingOnlyClearsBitsUntilErased)
{
    PedalSimulator pedal(config());
    Host host{pedal};
    host.say(bytes("7F"));
    host.write(kFlash + 0x10, bytes("F0 3C"));
    host.write(kFlash + 0x10, bytes("0F 35"));
    EXPECT_EQ(host.read(kFlash + 0x10, 2), bytes("79 79 79 00 34"));
    // RAM takes what is written.
    host.write(kRam, bytes("F0"));
    host.write(kRam, bytes("0F"));
    EXPECT_EQ(host.read(kRam, 1), bytes("79 79 79 0F"));
    EXPECT_EQ(host.globalErase(), bytes("79 79"));
    EXPECT_EQ(host.read(kFlash + 0x10, 2), bytes("79 79 79 FF FF"));
}

TEST_F(Boot, ErasesPageListsOrEverything)
{
    struct Row {
        const char *what;
        const char *command; // after the command's ACK
        std::vector<int> erased; // pages 0..3 that end up erased
        bool accepted;
    };
    for (const Row &row : {
             Row{"page list", "01 01 03 03", {1, 3}, true},
             Row{"global", "FF 00", {0, 1, 2, 3}, true},
             Row{"extended page list", "00 01 00 02 00 02 01", {2}, true},
             Row{"extended mass erase", "FF FF 00", {0, 1, 2, 3}, true},
             Row{"page list with a bad checksum", "01 01 03 02", {}, false},
             Row{"page beyond the flash", "00 80 80", {}, false},
             Row{"global with a bad checksum", "FF 01", {}, false},
             Row{"extended bank erase", "FF FE 01", {}, false},
         }) {
        SCOPED_TRACE(row.what);
        PedalSimulator pedal(config());
        Host host{pedal};
        host.say(bytes("7F"));
        for (std::uint32_t page = 0; page < 4; ++page)
            host.write(kFlash + page * 1024 + 8, bytes("00 00"));
        const bool extended = std::string(row.what).find("extended") != std::string::npos;
        EXPECT_EQ(host.command(extended ? 0x44 : 0x43), kAck);
        EXPECT_EQ(host.say(bytes(row.command)), row.accepted ? kAck : kNack);
        const auto &flash = pedal.flashBootloader()->flash();
        for (int page = 0; page < 4; ++page) {
            const bool erased = std::count(row.erased.begin(), row.erased.end(), page) > 0;
            EXPECT_EQ(flash[page * 1024 + 8], erased ? 0xFF : 0x00) << "page " << page;
        }
        EXPECT_EQ(host.say(bytes("02 FD")), bytes("79 01 04 10 79"));
    }
}

TEST_F(Boot, RefusesBadChecksumsAndTakesTheNextCommand)
{
    struct Row {
        const char *what;
        Bytes command;
        Bytes address;
        Bytes data;
        const char *answers;
    };
    Bytes badAddress = addressFrame(kFlash);
    badAddress[4] ^= 1;
    Bytes badData = dataFrame(bytes("11 22 33"));
    badData.back() ^= 0x80;
    for (const Row &row : {
             Row{"write, address checksum", bytes("31 CE"), badAddress, {}, "79 1F"},
             Row{"write, data checksum", bytes("31 CE"), addressFrame(kFlash), badData, "79 79 1F"},
             Row{"read, address checksum", bytes("11 EE"), badAddress, {}, "79 1F"},
             Row{"read, length complement", bytes("11 EE"), addressFrame(kFlash), bytes("03 FB"), "79 79 1F"},
             Row{"go, address checksum", bytes("21 DE"), badAddress, {}, "79 1F"},
         }) {
        SCOPED_TRACE(row.what);
        PedalSimulator pedal(config());
        Host host{pedal};
        host.say(bytes("7F"));
        Bytes got = host.say(row.command);
        for (const Bytes *part : {&row.address, &row.data}) {
            const Bytes a = host.say(*part);
            got.insert(got.end(), a.begin(), a.end());
        }
        EXPECT_EQ(hexText(got), hexText(bytes(row.answers)));
        EXPECT_EQ(pedal.flashBootloader()->flash()[0], 0xFF);
        EXPECT_TRUE(pedal.inBootloader());
        EXPECT_EQ(host.say(bytes("02 FD")), bytes("79 01 04 10 79"));
    }
}

TEST_F(Boot, AnswersAfterTheFlashHasFinished)
{
    struct Row {
        const char *what;
        std::uint8_t command;
        Bytes frame;
        std::int64_t us;
    };
    Bytes full(256, 0xA5);
    for (const Row &row : {
             Row{"global erase of 128 pages", 0x43, bytes("FF 00"), 128 * 20000},
             Row{"extended mass erase", 0x44, bytes("FF FF 00"), 128 * 20000},
             Row{"three pages", 0x43, bytes("02 04 05 06 05"), 3 * 20000},
             Row{"256 bytes programmed", 0x31, {}, 128 * 50},
             Row{"odd byte count", 0x31, {}, 3 * 50},
         }) {
        SCOPED_TRACE(row.what);
        PedalSimulator pedal(config());
        Host host{pedal};
        host.t = 1000;
        host.say(bytes("7F"));
        ASSERT_EQ(host.command(row.command), kAck);
        Bytes frame = row.frame;
        if (row.command == 0x31) {
            ASSERT_EQ(host.say(addressFrame(kFlash)), kAck);
            frame = dataFrame(row.us == 128 * 50 ? full : bytes("01 02 03 04 05"));
        }
        const std::int64_t sentAt = host.t;
        pedal.receive(frame, sentAt);
        const std::int64_t due = sentAt + (row.us + 999) / 1000;
        EXPECT_EQ(pedal.nextOutputTime(), due);
        EXPECT_TRUE(pedal.takeOutput(due - 1).empty());
        EXPECT_EQ(pedal.takeOutput(due), kAck);
        // A command sent while the flash is busy is answered once it is done.
        pedal.receive(bytes("02 FD"), sentAt);
        EXPECT_EQ(pedal.takeOutput(due), bytes("79 01 04 10 79"));
    }
}

TEST_F(Boot, GoIntoAGoodImageStartsItsFirmwareAfterTheStartUpDelay)
{
    PedalSimulator pedal(config());
    Host host{pedal};
    EXPECT_EQ(host.say(bytes("7F")), kAck);
    const Bytes image = firmwareImage(16);
    ASSERT_EQ(image.size(), 53880u);
    const std::size_t chunks = (image.size() + 255) / 256;
    EXPECT_EQ(host.upgrade(image, 16), repeat(kAck, 2 + 3 * chunks + 3 + 2));
    EXPECT_FALSE(pedal.inBootloader());
    EXPECT_EQ(hexText(pedal.flashBootloader()->versionRecord()), "0000000000000010");
    EXPECT_EQ(pedal.flashBootloader()->chunksWritten(), static_cast<int>(chunks + 1));
    EXPECT_EQ(pedal.applicationReadyUs(), (host.t + sim::kApplicationStartMs) * 1000);

    // Starting up: a request gets no answer; the editor's retry half a second later does.
    host.t += 100;
    EXPECT_EQ(firmwareReported(host), -1);
    host.t += 400;
    EXPECT_EQ(firmwareReported(host), 16);
    EXPECT_EQ(pedal.state().firmware, 16);

    // Back into the bootloader: it waits for the synchronisation again, the flash is kept.
    host.say(bytes("05 00 01 02 03 04 05 06"));
    ASSERT_TRUE(pedal.inBootloader());
    EXPECT_EQ(host.say(bytes("7F")), kAck);
    EXPECT_EQ(host.read(kFlash + 0x200, 4), bytes("79 79 79 54 48 56 4B"));
}

TEST_F(Boot, GoIntoABadImageStaysInTheBootloader)
{
    const Bytes good = firmwareImage(9);
    struct Row {
        const char *what;
        std::size_t flip; // byte of the image changed; image.size(): none
        std::uint32_t go;
        bool write;
    };
    for (const Row &row : {
             Row{"erased flash", 0, kFlash, false},
             Row{"one byte changed", 0x3000, kFlash, true},
             Row{"header magic changed", 0x200, kFlash, true},
             Row{"length field changed", 0x208, kFlash, true},
             Row{"jump elsewhere", good.size(), kFlash + 0x400, true},
         }) {
        SCOPED_TRACE(row.what);
        PedalSimulator pedal(config());
        Host host{pedal};
        host.say(bytes("7F"));
        Bytes image = good;
        if (row.flip < image.size())
            image[row.flip] ^= 0x01;
        if (row.write)
            for (std::size_t at = 0; at < image.size(); at += 256)
                host.write(kFlash + static_cast<std::uint32_t>(at),
                           Bytes(image.begin() + at, image.begin() + std::min(at + 256, image.size())));
        EXPECT_EQ(host.go(row.go), bytes("79 79"));
        EXPECT_TRUE(pedal.inBootloader());
        EXPECT_EQ(pedal.state().firmware, 12);
        // The chip restarted in its bootloader: a request is no command to it,
        // and it synchronises afresh.
        host.t += 1000;
        EXPECT_EQ(firmwareReported(host), -1);
        EXPECT_EQ(host.say(bytes("7F")), kAck);
        // A second attempt with the good image brings the pedal back.
        EXPECT_EQ(host.upgrade(good, 9).size(), 2 + 3 * ((good.size() + 255) / 256) + 3 + 2);
        EXPECT_FALSE(pedal.inBootloader());
        host.t += 300;
        EXPECT_EQ(firmwareReported(host), 9);
    }
}

TEST_F(Boot, FaultsReplaceTheAnswerAtTheirStepAndDropTheCommand)
{
    // Steps: 1 synchronisation, 2 write command, 3 address, 4 data.
    struct Row {
        const char *what;
        int sim::Faults::*fault;
        int step;
        const char *answers; // of the synchronisation and the write
        bool synced;
    };
    for (const Row &row : {
             Row{"NACK at the synchronisation", &sim::Faults::bootNackAt, 1, "1F", false},
             Row{"silence at the synchronisation", &sim::Faults::bootSilentAt, 1, "", false},
             Row{"garbage at the synchronisation", &sim::Faults::bootGarbageAt, 1, "55", false},
             Row{"NACK at the write command", &sim::Faults::bootNackAt, 2, "79 1F", true},
             Row{"silence at the address", &sim::Faults::bootSilentAt, 3, "79 79", true},
             Row{"NACK at the data", &sim::Faults::bootNackAt, 4, "79 79 79 1F", true},
             Row{"silence at the data", &sim::Faults::bootSilentAt, 4, "79 79 79", true},
             Row{"garbage at the data", &sim::Faults::bootGarbageAt, 4, "79 79 79 55", true},
         }) {
        SCOPED_TRACE(row.what);
        sim::Faults faults;
        faults.*row.fault = row.step;
        PedalSimulator pedal(config(faults));
        Host host{pedal};
        Bytes got = host.say(bytes("7F"));
        if (row.synced) {
            const Bytes a = host.write(kFlash, bytes("12 34 56 78"));
            got.insert(got.end(), a.begin(), a.end());
        }
        EXPECT_EQ(hexText(got), hexText(bytes(row.answers)));
        EXPECT_EQ(pedal.flashBootloader()->flash()[0], 0xFF) << "nothing written";
        // Only that step is affected: the host can go on.
        if (!row.synced) {
            EXPECT_EQ(host.say(bytes("7F")), kAck);
        }
        EXPECT_EQ(host.write(kFlash, bytes("12 34 56 78")), repeat(kAck, 3));
        EXPECT_EQ(pedal.flashBootloader()->flash()[0], 0x12);
    }
}

TEST_F(Boot, FaultAtAChunksDataStepFailsThatChunkAloneAndTheImageDoesNotStart)
{
    // Steps of an upgrade: 1 synchronisation, 2-3 erase, then three for each chunk.
    const int chunk = 5;
    for (auto fault : {&sim::Faults::bootNackAt, &sim::Faults::bootGarbageAt}) {
        sim::Faults faults;
        faults.*fault = 3 * chunk + 3;
        PedalSimulator pedal(config(faults));
        Host host{pedal};
        host.say(bytes("7F"));
        const Bytes image = firmwareImage(16);
        const Bytes answers = host.upgrade(image, 16);
        ASSERT_EQ(answers.size(), 2 + 3 * ((image.size() + 255) / 256) + 3 + 2);
        for (std::size_t i = 0; i < answers.size(); ++i)
            EXPECT_EQ(answers[i] == 0x79, i != std::size_t(3 * chunk + 3 - 2)) << "answer " << i;
        EXPECT_TRUE(pedal.inBootloader());
        EXPECT_EQ(pedal.flashBootloader()->flash()[(chunk - 1) * 256], 0xFF);
        EXPECT_EQ(hexText(pedal.flashBootloader()->versionRecord()), "0000000000000010");
    }
}

TEST_F(Boot, HangUpAfterChunksDropsTheLineMidWrite)
{
    sim::Faults faults;
    faults.bootHangUpAfterChunks = 2;
    PedalSimulator pedal(config(faults));
    Host host{pedal};
    host.say(bytes("7F"));
    const Bytes image = firmwareImage(16);
    EXPECT_EQ(host.write(kFlash, Bytes(image.begin(), image.begin() + 256)), repeat(kAck, 3));
    EXPECT_EQ(host.write(kFlash + 256, Bytes(image.begin() + 256, image.begin() + 512)), repeat(kAck, 3));
    EXPECT_FALSE(pedal.hungUp());
    EXPECT_TRUE(host.write(kFlash + 512, Bytes(image.begin() + 512, image.begin() + 768)).empty());
    EXPECT_TRUE(pedal.hungUp());
    EXPECT_EQ(pedal.flashBootloader()->chunksWritten(), 2);
    EXPECT_EQ(pedal.flashBootloader()->flash()[512], 0xFF);
}

TEST_F(Boot, PacedAnswersCrossTheLineAtElevenBitsAByte)
{
    sim::Config c = config();
    c.paced = true;
    PedalSimulator pedal(c);
    pedal.receive(bytes("7F"), 0);
    // One byte in (95.5 µs), one out, then the bridge's 16 ms latency timer.
    const std::int64_t readyUs = 2 * 95 + 2 + 16000;
    EXPECT_EQ(pedal.nextOutputTime(), (readyUs + 999) / 1000);
    EXPECT_EQ(pedal.takeOutput(17), kAck);
}

} // namespace
