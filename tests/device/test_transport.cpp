#include "Communication.h"
#include "AppState.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "DeviceInfo.h"
#include "Fakes.h"
#include "PedalAnswers.h"
#include "RecordingFtd2xx.h"

#include <gtest/gtest.h>

namespace {

struct Transport : ::testing::Test {
    RecordingFtd2xx ft;
    ConsoleModel console;
    FakeClock clock;
    AppState state;
    D2XXUnit usb{ft, console};
    Communication comm{usb, console, clock, state};
};

std::vector<int> numbers(const QByteArray &bytes)
{
    const ParsedAnswer p = ParseResponseNumbers(bytes);
    return {p.numbers.begin(), p.numbers.end()};
}

} // namespace

TEST_F(Transport, OpensWithTheFirst49CharactersOfTheSerial)
{
    const QString serial(60, QLatin1Char('S'));
    EXPECT_EQ(usb.Open_USB_Device_By_Serial_Number(serial), ft::OK);
    EXPECT_EQ(ft.openedSerial, QByteArray(49, 'S'));
    EXPECT_EQ(ft.calls.last(), QStringLiteral("FT_OpenEx(%1,1)").arg(QString(49, QLatin1Char('S'))));
}

TEST_F(Transport, LineSettingsPerMode)
{
    usb.Open_USB_Device_By_Serial_Number(QStringLiteral("A"));
    usb.SetUsbLinkParameters(D2XXUnit::Line::Application);
    usb.SetUsbBaudRate();
    usb.SetUsbDataCharacteristics();
    usb.SetUsbLinkParameters(D2XXUnit::Line::Bootloader);
    usb.SetUsbDataCharacteristics();
    usb.SetUsbLinkParameters(D2XXUnit::Line::Application);
    usb.SetUsbDataCharacteristics();
    EXPECT_EQ(ft.calls.mid(1), (QStringList{"FT_SetBaudRate(115200)", "FT_SetDataCharacteristics(8,0,0)",
                                           "FT_SetDataCharacteristics(8,0,2)", "FT_SetDataCharacteristics(8,0,0)"}));
}

TEST_F(Transport, ReadStoresFromTheStartAndLeavesOlderBytesBehind)
{
    usb.Open_USB_Device_By_Serial_Number(QStringLiteral("A"));
    ft.rx = QByteArray(30, 'a');
    EXPECT_EQ(usb.ReadUsbBuffer(), 30u);
    ft.rx = QByteArray(10, 'b');
    EXPECT_EQ(usb.ReadUsbBuffer(), 10u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(usb.rxBuffer()), 32), QByteArray(10, 'b') + QByteArray(20, 'a') + QByteArray(2, '\0'));
    EXPECT_EQ(usb.ReadUsbBuffer(), 0u);
}

TEST_F(Transport, FailedCallsAreLoggedOnlyWhileReportingIsOn)
{
    usb.Open_USB_Device_By_Serial_Number(QStringLiteral("A"));
    ft.fail["FT_Write"] = ft::INVALID_HANDLE;
    usb.Write(QByteArray(3, '\0'));
    EXPECT_EQ(console.lineCount(), 0);
    usb.FtErrorReporting = true;
    EXPECT_EQ(usb.Write(QByteArray(3, '\0')), 0u);
    ft.fail["FT_Purge"] = ft::DEVICE_NOT_OPENED_FOR_ERASE;
    usb.PurgeUsbTx();
    ft.fail["FT_Purge"] = 42;
    usb.PurgeUsbRx();
    EXPECT_EQ(console.text(0, console.lineCount(), u"|"),
              QStringLiteral("FT_Write - Invalid handle...|FT_Purge TX Device not opened for erase...|"
                             "FT_Purge RX - Unknown error (status 42)..."));
}

TEST_F(Transport, WriteToDspSendsSevenBytesAndLogsTheText)
{
    usb.Open_USB_Device_By_Serial_Number(QStringLiteral("A"));
    comm.WriteToDsp(QStringLiteral("01"), 0x0012, 1);
    ASSERT_EQ(ft.writes.size(), 1u);
    EXPECT_EQ(ft.writes[0], QByteArray::fromHex("01001200000001"));
    EXPECT_EQ(console.lastLine(), QStringLiteral("write to DSP msg: 01001200000001"));
}

TEST_F(Transport, SendHexMessageStopsAtABadPairAndSendsNBytes)
{
    usb.Open_USB_Device_By_Serial_Number(QStringLiteral("A"));
    comm.SendHexMessage(QStringLiteral("AABBCCDD"), 4);
    comm.SendHexMessage(QStringLiteral("11zz"), 4);
    EXPECT_EQ(ft.writes[1], QByteArray::fromHex("11BBCCDD"));
}

TEST(ParseResponseNumbers, DigitsAndLineEnds)
{
    struct Case {
        const char *name;
        QByteArray bytes;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"three lines", "16\r\n0\r\n21\r\n", {16, 0, 21}},
        {"empty line repeats", "7\r\n\r\n9\r\n", {7, 7, 9}},
        {"modulo 256", "300\r\n", {44}},
        {"four digits repeat", "5\r\n1234\r\n", {5, 5}},
        {"empty first line is 0", "\r\n3\r\n", {0, 3}},
        {"no line feeds", "1\r2\r3\r", {1, 2, 3}},
        {"unfinished last line", "1\r\n2", {1}},
        {"zero bytes after", QByteArray("4\r\n\0\0\0", 6), {4}},
        {"foreign byte repeats", "8\r\n1x2\r\n9\r\n", {8, 8, 9}},
        {"high bytes keep positions", "8\r\n\xAA\xDD\r\n9\r\n", {8, 8, 9}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(numbers(c.bytes), c.expected) << c.name;
    EXPECT_EQ(ParseResponseNumbers("8\r\n1x2\r\n").malformedLines, 1);
}

TEST_F(Transport, AnswerInPiecesIsCollectedWhole)
{
    const QByteArray text = answerText(pedalState());
    usb.Open_USB_Device_By_Serial_Number(QStringLiteral("A"));
    // The answer arrives in three pieces 16 ms apart.
    int piece = 0;
    const qsizetype third = text.size() / 3;
    ft.rx = text.left(third);
    clock.onWait = [&](qint64) {
        if (++piece == 4)
            ft.rx += text.mid(third, third);
        if (piece == 8)
            ft.rx += text.mid(2 * third);
    };
    const Communication::Answer a = comm.ReceiveResponseNumbers();
    EXPECT_EQ(a.outcome, Communication::Outcome::Complete);
    EXPECT_EQ(a.bytes, text);
    EXPECT_EQ(a.values.size(), 107);
    EXPECT_EQ(static_cast<std::uint8_t>(a.values[24]), 186);
    EXPECT_TRUE(console.text(0, console.lineCount()).contains(QStringLiteral("num of bytes received: 107")));
    EXPECT_TRUE(console.text(0, console.lineCount()).contains(QStringLiteral("24:    BA")));
}

TEST_F(Transport, ShortSilentAndFailedAnswers)
{
    usb.Open_USB_Device_By_Serial_Number(QStringLiteral("A"));
    ft.rx = answerText({1, 2, 3});
    Communication::Answer a = comm.ReceiveResponseNumbers();
    EXPECT_EQ(a.outcome, Communication::Outcome::Short);
    EXPECT_EQ(a.numbers, 3);

    const qint64 before = clock.nowMs();
    a = comm.ReceiveResponseNumbers();
    EXPECT_EQ(a.outcome, Communication::Outcome::Silent);
    EXPECT_GE(clock.nowMs() - before, 3000);

    ft.fail["FT_GetQueueStatus"] = ft::IO_ERROR;
    a = comm.ReceiveResponseNumbers();
    EXPECT_EQ(a.outcome, Communication::Outcome::NoAnswer);
}

TEST_F(Transport, BootloaderReplyKeepsTheFirstByte)
{
    usb.Open_USB_Device_By_Serial_Number(QStringLiteral("A"));
    ft.rx = QByteArray::fromHex("791F00");
    EXPECT_EQ(comm.ReceiveReply(3000, Communication::Framing::BootloaderByte), QStringLiteral("79"));
    EXPECT_EQ(comm.ReceiveReply(3000, Communication::Framing::BootloaderByte), QString()); // nothing more came
}

TEST(ExchangeGuard, OneAtATime)
{
    AppState state;
    {
        ExchangeGuard first(state);
        ExchangeGuard second(state);
        EXPECT_TRUE(first.acquired());
        EXPECT_FALSE(second.acquired());
    }
    EXPECT_FALSE(state.ExchangeWaiting);
}

TEST(DeviceIdentity, HexDigitsReadAsDecimal)
{
    const DeviceIdentity ok = decodeIdentity(QByteArray::fromHex("10001512"));
    EXPECT_EQ(ok.firmware, 16);
    EXPECT_EQ(ok.algorithmDigits, QStringLiteral("0015"));
    EXPECT_EQ(ok.algorithm, 15);
    EXPECT_EQ(ok.effect, 12);
    const DeviceIdentity bad = decodeIdentity(QByteArray::fromHex("10001A1B"));
    EXPECT_EQ(bad.algorithmDigits, QStringLiteral("001A"));
    EXPECT_FALSE(bad.algorithm.has_value());
    EXPECT_FALSE(bad.effect.has_value());
}

TEST(DumpCollector, CollectsAcrossReadsAndJudgesOnce)
{
    DumpCollector d;
    EXPECT_EQ(d.feed("hello", 0), DumpCollector::State::Idle);
    QByteArray dump = QByteArray(1, '\xAB') + QByteArray(16384, '\xFF');
    EXPECT_EQ(d.feed(dump.left(4000), 0), DumpCollector::State::Collecting);
    EXPECT_EQ(d.idleTick(500), DumpCollector::State::Collecting);
    EXPECT_EQ(d.feed(dump.mid(4000), 600), DumpCollector::State::Complete);
    EXPECT_TRUE(DumpCollector::isEmpty(d.memory()));

    dump[100] = '\0';
    d.feed(dump, 700);
    EXPECT_FALSE(DumpCollector::isEmpty(d.memory()));

    EXPECT_EQ(d.feed(dump.left(9000), 1000), DumpCollector::State::Collecting);
    EXPECT_EQ(d.idleTick(1999), DumpCollector::State::Collecting);
    EXPECT_EQ(d.idleTick(2000), DumpCollector::State::Incomplete);
    EXPECT_EQ(d.memory().size(), 8999);
    EXPECT_EQ(d.idleTick(3000), DumpCollector::State::Idle);
}
