// The virtual pedal's application firmware: what each message does and what
// the state report then says.

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

using namespace simtest;
using sim::PedalSimulator;

namespace {

// A pedal whose algorithm 15 image has the addresses 0x0200 + 3 x field and,
// like the oldest algorithms, "Dry HPF" (field 17) at 0000.
class Pedal : public ::testing::Test {
protected:
    Pedal()
    {
        m_image = makeImage(47 + 64, [](int f) -> std::uint16_t {
            if (f == 9)
                return 0x0015;
            if (f == 17)
                return 0x0000;
            return static_cast<std::uint16_t>(0x0200 + 3 * f);
        });
        m_dir.write("THARNVIK_MK3_0015", hexText(m_image));
    }

    sim::Config config() const
    {
        sim::Config c;
        c.payloadDir = m_dir.path();
        return c;
    }

    // Sends the request and reads the whole answer, strictly decoded.
    static std::vector<int> request(PedalSimulator &pedal, std::int64_t t = 0)
    {
        pedal.receive(bytes("02 00"), t);
        const auto numbers = strictNumbers(pedal.takeOutput(t));
        EXPECT_TRUE(numbers.has_value());
        return numbers.value_or(std::vector<int>{});
    }

    TempDir m_dir;
    Bytes m_image;
};

TEST_F(Pedal, ReportHas107NumbersAtTheirPositions)
{
    sim::Config c = config();
    c.firmware = 16;
    c.algorithm = 15;
    c.effect = 12;
    PedalSimulator pedal(c);
    pedal.receive(bytes("01 0200 01020304"), 0); // "Dry"
    pedal.receive(bytes("01 023F 00000800"), 0); // "Attack" (field 21)

    const auto n = request(pedal);
    ASSERT_EQ(n.size(), 107u);
    EXPECT_EQ(n[0], 16);
    EXPECT_EQ(n[1], 0x00); // algorithm digits 0015
    EXPECT_EQ(n[2], 0x15);
    EXPECT_EQ(n[3], 0x12); // effect 12
    for (int i = 7; i <= 11; ++i)
        EXPECT_EQ(n[i], 0) << "assign flag " << i;
    for (int i = 12; i <= 21; ++i)
        EXPECT_EQ(n[i], 255) << "assigned address byte " << i;
    EXPECT_EQ(n[24], 255); // standard range
    EXPECT_EQ((std::vector<int>(n.begin() + 26, n.begin() + 30)), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ((std::vector<int>(n.begin() + 102, n.begin() + 106)), (std::vector<int>{0, 0, 8, 0}));
    EXPECT_EQ(n[106], 255); // first preset at power on: off
}

TEST_F(Pedal, ParameterWritesFindTheParameterThroughTheImageAddresses)
{
    struct Row {
        const char *what;
        const char *message;
        int parameter;
        std::uint32_t stored;
    };
    const Row rows[] = {
        {"Dry, field 0", "01 0200 007FE000", 0, 0x7FE000},
        {"-2 Oct, field 3", "01 0209 00402000", 3, 0x402000},
        {"Split, field 8", "01 0218 00000001", 8, 1},
        {"Input Level, field 12", "01 0224 00800000", 10, 0x800000},
        {"Attack, field 21", "01 023F 00000800", 19, 0x800},
        // Low Pass, High Pass and Range keep step numbers (24, 16, 22 steps).
        {"Low Pass at full travel", "01 020F 007FE000", 5, 24},
        {"Low Pass at position 513", "01 020F 00402000", 5, 12},
        {"High Pass at zero", "01 0212 00000000", 6, 0},
        {"Range, always at 0000", "01 0000 007FE000", 9, 22},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        PedalSimulator pedal(config());
        const auto before = pedal.state().parameters;
        pedal.receive(bytes(row.message), 0);
        auto expected = before;
        expected[row.parameter] = row.stored;
        if (row.parameter == 9) // "Dry HPF" shares 0000 in this image
            expected[15] = 0x7FE000;
        EXPECT_EQ(pedal.state().parameters, expected);
        EXPECT_TRUE(pedal.log().empty());
    }
}

TEST_F(Pedal, WriteToAnAddressNoParameterHasChangesNothing)
{
    PedalSimulator pedal(config());
    const auto before = pedal.state().parameters;
    pedal.receive(bytes("01 021B 00000001"), 0); // field 9: the algorithm number, not an address
    pedal.receive(bytes("01 FFFF 00000001"), 0);
    EXPECT_EQ(pedal.state().parameters, before);
    ASSERT_EQ(pedal.log().size(), 2u);
    EXPECT_NE(pedal.log()[0].find("0x021B"), std::string::npos);
}

TEST_F(Pedal, StartsWithTheCarriedImageOfItsAlgorithm)
{
    for (int algorithm = 8; algorithm <= 15; ++algorithm) {
        SCOPED_TRACE(algorithm);
        const Bytes carried = carriedImage(algorithm);
        ASSERT_GT(carried.size(), 47u);
        sim::Config c;
        c.algorithm = algorithm;
        PedalSimulator pedal(c);
        EXPECT_EQ(pedal.state().image.bytes(), carried);
        const auto n = request(pedal);
        ASSERT_EQ(n.size(), 107u);
        EXPECT_EQ(n[1] * 256 + n[2], (algorithm / 10) * 16 + algorithm % 10);
    }
}

TEST_F(Pedal, WithoutCarriedImagesUsesMadeUpAddressesAndSaysSo)
{
    sim::Config c;
    c.payloadDir = m_dir.path() + "/absent";
    c.algorithm = 14;
    PedalSimulator pedal(c);
    const auto n = request(pedal);
    ASSERT_EQ(n.size(), 107u);
    EXPECT_EQ(n[2], 0x14);
    ASSERT_FALSE(pedal.log().empty());
    // Every parameter but "Range" can still be written.
    const auto &image = pedal.state().image;
    for (int p = 0; p < 20; ++p) {
        if (p != 9) {
            EXPECT_NE(image.parameterAddress(p), 0x0000) << p;
        }
    }
}

TEST_F(Pedal, AlgorithmUploadReplacesTheImageAndAnswers17Characters)
{
    PedalSimulator pedal(config());
    const Bytes upload = carriedImage(12); // raw bytes, as the editor writes them
    ASSERT_EQ(upload.size(), 4512u);
    pedal.receive(bytes("0D 01"), 0);
    // The driver may hand the image over in pieces.
    pedal.receive(upload.data(), 1, 40);
    pedal.receive(upload.data() + 1, 2000, 41);
    pedal.receive(upload.data() + 2001, upload.size() - 2001, 42);

    const Bytes answer = pedal.takeOutput(42);
    EXPECT_EQ(text(answer), "Upload Complete\r\n");
    EXPECT_EQ(answer.size(), 17u);
    EXPECT_EQ(pedal.state().image.bytes(), upload);
    ASSERT_FALSE(pedal.received().empty());
    EXPECT_EQ(pedal.received().back().kind, sim::ReceivedMessage::Kind::Image);

    const auto n = request(pedal, 100);
    ASSERT_EQ(n.size(), 107u);
    EXPECT_EQ(n[1], 0x00);
    EXPECT_EQ(n[2], 0x12);
    EXPECT_EQ(n[22], 1); // bypass on

    // The new image's addresses now lead to the parameters.
    const std::uint16_t dry = static_cast<std::uint16_t>(upload[3] << 8 | upload[4]);
    Bytes write = {0x01, upload[3], upload[4], 0x00, 0x12, 0x34, 0x56};
    pedal.receive(write, 200);
    EXPECT_EQ(pedal.state().parameters[0], 0x123456u) << "Dry at " << dry;
}

TEST_F(Pedal, BrokenUploadsAreAnsweredAfterAQuietSecondAndTheLineRecovers)
{
    struct Row {
        const char *what;
        Bytes sent;
        const char *answer;
    };
    const Bytes whole = carriedImage(15);
    const Row rows[] = {
        {"image cut short", Bytes(whole.begin(), whole.begin() + 100), "Upload Timeout!\r\n"},
        {"length below the header", bytes("00 00 05 11 22 33 44 55 66"), "Upload Rejected\r\n"},
        {"a stray zero byte", bytes("00"), "Upload Timeout!\r\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        PedalSimulator pedal(config());
        pedal.receive(row.sent, 0);
        EXPECT_EQ(pedal.nextOutputTime(), 1000);
        EXPECT_TRUE(pedal.takeOutput(999).empty());
        EXPECT_EQ(text(pedal.takeOutput(1000)), row.answer);
        EXPECT_EQ(pedal.state().algorithmCode, 0x0015);
        EXPECT_EQ(request(pedal, 1500).size(), 107u);
    }
}

TEST_F(Pedal, SettingsMessagesShowInTheReport)
{
    struct Row {
        const char *message;
        std::vector<std::pair<int, int>> positions; // position, value
    };
    const Row rows[] = {
        {"04 01 00 00 00 01 0224 FFFF FFFF FFFF FFFE",
         {{7, 1}, {8, 0}, {11, 1}, {12, 0x02}, {13, 0x24}, {14, 0xFF}, {20, 0xFF}, {21, 0xFE}}},
        {"04 00 01 01 01 00 FFFF 023C 022D 0236 FFFF",
         {{7, 0}, {8, 1}, {9, 1}, {10, 1}, {11, 0}, {14, 0x02}, {15, 0x3C}, {16, 0x02}, {17, 0x2D}, {19, 0x36}}},
        {"08 00 00", {{4, 0}}},
        {"08 00 01", {{4, 1}}},
        {"08 01 00", {{4, 2}}},
        {"08 01 01", {{4, 3}}},
        {"09 02 FE", {{5, 2}, {6, 254}}},
        {"09 01 FF", {{5, 1}, {6, 255}}},
        {"0D 01", {{22, 1}}},
        {"10 01", {{23, 1}}},
        {"0F BA 02 03 04 05 06 B3", {{24, 186}}},
        {"07 10", {{25, 16}}},
        {"07 0A", {{25, 10}}},
        {"11 01", {{106, 1}}},
        {"03 00800000 00400000 00000001 00000000 00000001 00000002 00000003 00000004 00000005 00000800",
         {{66, 0}, {67, 0x80}, {71, 0x40}, {77, 1}, {85, 1}, {89, 2}, {101, 5}, {104, 8}, {105, 0}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.message);
        PedalSimulator pedal(config());
        pedal.receive(bytes(row.message), 0);
        const auto n = request(pedal);
        ASSERT_EQ(n.size(), 107u);
        for (auto [position, value] : row.positions)
            EXPECT_EQ(n[position], value) << "position " << position;
        EXPECT_TRUE(pedal.log().empty()) << pedal.log().front();
    }
}

TEST_F(Pedal, OptionsFollowTheLastMessageAndRefuseBadOnes)
{
    PedalSimulator pedal(config());
    pedal.receive(bytes("0F BA 02 03 04 05 06 B3"), 0);
    pedal.receive(bytes("0F FF 01 02 03 04 05 F1"), 0);
    EXPECT_EQ(pedal.state().instrumentRange, 255);
    pedal.receive(bytes("0F BA 02 03 04 05 06 B4"), 0); // checksum off by one
    EXPECT_EQ(pedal.state().instrumentRange, 255);
    ASSERT_EQ(pedal.log().size(), 1u);
    EXPECT_NE(pedal.log()[0].find("checksum"), std::string::npos);

    pedal.receive(bytes("11 01 10 01 0D 01"), 0);
    pedal.receive(bytes("11 FF 10 FF 0D 00"), 0);
    EXPECT_FALSE(pedal.state().powerOnPreset);
    EXPECT_FALSE(pedal.state().rangeLimit);
    EXPECT_FALSE(pedal.state().storeBypass);
    EXPECT_FALSE(pedal.state().bypass);

    pedal.receive(bytes("07 11 08 02 00 0D 02"), 0); // channel 17, bad press code, bad bypass code
    EXPECT_EQ(pedal.state().midiChannel, 0);
    EXPECT_EQ(pedal.state().footswitchMode, 0);
    EXPECT_EQ(pedal.log().size(), 4u);
}

TEST_F(Pedal, CodeNineIsAlwaysTheTuningEvenWhenItCarriesNoteFilters)
{
    struct Row {
        const char *message;
        std::uint8_t tuning, semitones;
        bool noted;
    };
    const Row rows[] = {
        {"09 01 FF", 1, 0xFF, false}, // Standard, -1
        {"09 08 03", 8, 0x03, false},
        {"09 01 07", 1, 0x07, true},  // notes A#2 and E3: kept as the tuning
        {"09 04 FF", 4, 0xFF, false}, // note C#3 alone reads as open D, -1
        {"09 FF FF", 0xFF, 0xFF, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.message);
        PedalSimulator pedal(config());
        const std::size_t notes = pedal.log().size();
        pedal.receive(bytes(row.message), 0);
        EXPECT_EQ(pedal.log().size() - notes, row.noted ? 1u : 0u);
        EXPECT_EQ(pedal.state().tuning, row.tuning);
        EXPECT_EQ(pedal.state().semitones, row.semitones);
        const auto report = pedal.report();
        EXPECT_EQ(report[5], row.tuning);
        EXPECT_EQ(report[6], row.semitones);
    }
}

TEST_F(Pedal, TuningDataIsKept)
{
    PedalSimulator pedal(config());
    Bytes message = {0x0E};
    for (int i = 0; i < 640; ++i)
        message.push_back(static_cast<std::uint8_t>(i * 13));
    pedal.receive(message, 0);
    EXPECT_EQ(pedal.state().tuningData, Bytes(message.begin() + 1, message.end()));
    EXPECT_TRUE(pedal.takeOutput(10000).empty());
}

TEST_F(Pedal, EepromReadSendsTheMarkerAndTheWholeMemory)
{
    PedalSimulator pedal(config());
    auto dump = [&](const char *message) {
        pedal.receive(bytes(message), 0);
        return pedal.takeOutput(0);
    };
    auto blank = [](const Bytes &d) { return std::all_of(d.begin() + 1, d.end(), [](auto b) { return b == 0xFF; }); };

    Bytes settings = dump("0C 50 00 00 00 00");
    ASSERT_EQ(settings.size(), 16385u);
    EXPECT_EQ(settings[0], 0xAB);
    EXPECT_FALSE(blank(settings));

    EXPECT_TRUE(dump("0B 51 00 00 00").empty());
    Bytes presets = dump("0C 51 00 00 00 00");
    ASSERT_EQ(presets.size(), 16385u);
    EXPECT_EQ(presets[0], 0xAB);
    EXPECT_TRUE(blank(presets));
    EXPECT_EQ(dump("0C 50 00 00 00 00"), settings); // the other one is untouched

    dump("0B 50 00 00 00");
    EXPECT_TRUE(blank(dump("0C 50 00 00 00 00")));

    EXPECT_TRUE(dump("0C 52 00 00 00 00").empty());
    EXPECT_TRUE(dump("0B 52 00 00 00").empty());
    EXPECT_EQ(pedal.log().size(), 3u); // the settings erased, and the two unknown addresses
}

TEST_F(Pedal, StoredSettingsLiveInTheSettingsEepromAndAnEraseForgetsThem)
{
    PedalSimulator pedal(config());
    Bytes tuningData = {0x0E};
    for (int i = 0; i < 640; ++i)
        tuningData.push_back(static_cast<std::uint8_t>(i * 7));
    pedal.receive(tuningData, 0);
    for (const char *m : {"09 01 07", "10 01", "0F BA 02 03 04 05 06 B3", "07 0C", "11 01", "08 01 00"})
        pedal.receive(bytes(m), 0);
    pedal.takeOutput(10);
    pedal.receive(bytes("0C 50 00 00 00 00"), 20);
    const Bytes d = pedal.takeOutput(20);
    ASSERT_EQ(d.size(), 16385u);
    const Bytes memory(d.begin() + 1, d.end());
    EXPECT_EQ(Bytes(memory.begin(), memory.begin() + 7), bytes("01 07 01 BA 0C 01 02"));
    EXPECT_EQ(Bytes(memory.begin() + 0x100, memory.begin() + 0x380), Bytes(tuningData.begin() + 1, tuningData.end()));

    // Erased: the memory is blank and the pedal reports factory settings.
    pedal.receive(bytes("0B 50 00 00 00"), 30);
    const auto report = pedal.report();
    EXPECT_EQ(report[5], 0);     // tuning
    EXPECT_EQ(report[23], 0);    // bypass status not stored
    EXPECT_EQ(report[24], 0xFF); // Standard
    EXPECT_EQ(report[25], 0);    // OMNI
    EXPECT_EQ(report[106], 255); // no first preset
    EXPECT_TRUE(pedal.state().tuningData.empty());
    // A setting stored afterwards is the only thing in the memory.
    pedal.receive(bytes("07 03"), 40);
    const Bytes &e = pedal.state().eeprom[0];
    EXPECT_EQ(std::count_if(e.begin(), e.end(), [](auto b) { return b != 0xFF; }), 1);
    EXPECT_EQ(e[4], 0x03);
}

TEST_F(Pedal, UnknownCodesAreSkippedAndMessagesMayComeInPieces)
{
    PedalSimulator pedal(config());
    pedal.receive(bytes("06 0A 02"), 0);
    pedal.receive(bytes("00"), 5);
    const auto numbers = strictNumbers(pedal.takeOutput(5));
    ASSERT_TRUE(numbers);
    EXPECT_EQ(numbers->size(), 107u);

    const auto &r = pedal.received();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].kind, sim::ReceivedMessage::Kind::Unknown);
    EXPECT_EQ(r[0].bytes, bytes("06"));
    EXPECT_EQ(r[1].bytes, bytes("0A"));
    EXPECT_EQ(r[2].kind, sim::ReceivedMessage::Kind::Command);
    EXPECT_EQ(r[2].bytes, bytes("02 00"));
    EXPECT_EQ(r[2].timeMs, 5);
    ASSERT_EQ(pedal.log().size(), 2u);
    EXPECT_NE(pedal.log()[0].find("0x06"), std::string::npos);
}

TEST_F(Pedal, IncompleteMessageIsDroppedAfterAQuietSecond)
{
    PedalSimulator pedal(config());
    pedal.receive(bytes("0F BA 02"), 0);
    pedal.receive(bytes("02 00"), 999); // still part of the range message
    EXPECT_TRUE(pedal.takeOutput(999).empty());
    pedal.receive(bytes("03 04 05"), 2000); // a second later: a fresh start, 03 begins a message
    pedal.receive(bytes("02 00"), 3100);
    EXPECT_EQ(strictNumbers(pedal.takeOutput(3100)).value_or(std::vector<int>{}).size(), 107u);
    EXPECT_EQ(pedal.received()[0].kind, sim::ReceivedMessage::Kind::Incomplete);
    EXPECT_EQ(pedal.received()[0].bytes, bytes("0F BA 02 02 00"));
}

TEST_F(Pedal, EnterBootloaderMessageHandsTheLineToTheBootloader)
{
    {
        PedalSimulator pedal(config());
        pedal.receive(bytes("05 00 01 02 03 04 05 06 7F"), 0);
        EXPECT_TRUE(pedal.state().enteredBootloader);
        EXPECT_TRUE(pedal.inBootloader());
        EXPECT_EQ(pedal.takeOutput(0), bytes("79")); // the bootloader acknowledges the synchronisation
        pedal.receive(bytes("02 00"), 10);
        // Now 02 is a bootloader command, and 00 is not its complement.
        EXPECT_EQ(pedal.takeOutput(1000), bytes("1F"));
        ASSERT_EQ(pedal.received().size(), 3u);
        EXPECT_EQ(pedal.received()[1].kind, sim::ReceivedMessage::Kind::Bootloader);
        EXPECT_EQ(pedal.received()[1].bytes, bytes("7F"));
    }
    struct Row {
        const char *what;
        const char *message;
        bool shift;
    };
    for (const Row &row : {Row{"SHIFT not held", "05 00 01 02 03 04 05 06", false},
                           Row{"wrong key", "05 00 01 02 03 04 05 07", true}}) {
        SCOPED_TRACE(row.what);
        sim::Config c = config();
        c.shiftHeld = row.shift;
        PedalSimulator pedal(c);
        pedal.receive(bytes(row.message), 0);
        EXPECT_FALSE(pedal.state().enteredBootloader);
        EXPECT_FALSE(pedal.inBootloader());
        EXPECT_EQ(request(pedal, 10).size(), 107u);
    }
}

TEST_F(Pedal, StartsInTheBootloaderWhenAsked)
{
    sim::Config c = config();
    c.startInBootloader = true;
    PedalSimulator pedal(c);
    EXPECT_TRUE(pedal.inBootloader());
    pedal.receive(bytes("02 00"), 0);
    EXPECT_TRUE(pedal.takeOutput(1000).empty());
    EXPECT_EQ(pedal.received().back().kind, sim::ReceivedMessage::Kind::Bootloader);
}

} // namespace
