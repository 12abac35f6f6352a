// The line between editor and pedal: pacing at the line rate through the
// bridge's latency timer, and the faults the pedal can be told to show.

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace simtest;
using sim::PedalSimulator;

namespace {

std::vector<int> toInts(const std::vector<std::uint8_t> &v)
{
    return std::vector<int>(v.begin(), v.end());
}

// When each of `count` bytes becomes readable if the pedal starts sending at
// `startUs`: byte k (from 1) has crossed the wire at start + k x bit time x
// bits; the bridge releases 62 bytes at once when its packet fills, and
// otherwise the latency timer (16 ms unless given) after the first byte of
// the packet arrived.
std::vector<double> readableTimesUs(double startUs, std::size_t count, int bitsPerByte, double latencyUs = 16000)
{
    const double byteUs = 1e6 * bitsPerByte / 115200.0;
    std::vector<double> ready(count);
    for (std::size_t first = 0; first < count; first += 62) {
        const std::size_t last = std::min(first + 62, count); // one past
        const double t = last - first == 62 ? startUs + last * byteUs : startUs + (first + 1) * byteUs + latencyUs;
        std::fill(ready.begin() + first, ready.begin() + last, t);
    }
    return ready;
}

std::size_t readableBy(const std::vector<double> &ready, double nowUs)
{
    return std::count_if(ready.begin(), ready.end(), [&](double t) { return t <= nowUs; });
}

TEST(PedalPacing, ReportBecomesReadableInBridgePacketsAtTheLineRate)
{
    sim::Config config;
    const std::size_t size = [&] {
        PedalSimulator unpaced(config);
        unpaced.receive(bytes("02 00"), 0);
        return unpaced.takeOutput(0).size();
    }();
    ASSERT_GT(size, 62u * 3);

    config.paced = true;
    PedalSimulator pedal(config);
    pedal.receive(bytes("02 00"), 1000);
    // The request itself takes two byte times to arrive.
    const auto ready = readableTimesUs(1000e3 + 2 * 1e7 / 115200.0, size, 10);

    std::size_t got = 0;
    for (std::int64_t t = 1000; t <= 1100; ++t) {
        const double nowUs = t * 1000.0;
        const bool nearEdge = std::any_of(ready.begin(), ready.end(), [&](double r) { return std::abs(r - nowUs) < 2; });
        got += pedal.takeOutput(t).size();
        if (!nearEdge) {
            EXPECT_EQ(got, readableBy(ready, nowUs)) << "at " << t << " ms";
        }
    }
    EXPECT_EQ(got, size);
    // The last, partial packet waited for the latency timer.
    EXPECT_GT(ready.back(), 1000e3 + (2 + size) * 1e7 / 115200.0 + 1000);
}

TEST(PedalPacing, BootloaderBytesTakeElevenBitTimes)
{
    for (int bits : {10, 11}) {
        SCOPED_TRACE(bits);
        sim::OutputLine line;
        line.setTiming({true, bits, 115200});
        line.send(std::vector<std::uint8_t>(130, 0x79), 0);
        const auto ready = readableTimesUs(0, 130, bits);
        std::size_t got = 0;
        for (std::int64_t us = 0; us <= 40000; us += 250) {
            got += line.take(us).size();
            EXPECT_EQ(got, readableBy(ready, static_cast<double>(us))) << us << " us";
        }
        EXPECT_TRUE(line.idle());
    }
}

TEST(PedalPacing, ALowerLatencyTimerReleasesTheLastPacketSooner)
{
    for (int latencyMs : {16, 1, 255}) {
        SCOPED_TRACE(latencyMs);
        sim::OutputLine line;
        line.setTiming({true, 10, 115200});
        line.setLatencyMs(latencyMs);
        line.send(std::vector<std::uint8_t>(8, 0x30), 0); // an ACK-sized answer, far from a full packet
        const auto ready = readableTimesUs(0, 8, 10, latencyMs * 1000.0);
        ASSERT_EQ(ready.front(), ready.back());
        EXPECT_TRUE(line.take(static_cast<std::int64_t>(ready.back()) - 1).empty());
        EXPECT_EQ(line.take(static_cast<std::int64_t>(ready.back()) + 1).size(), 8u);
    }

    // The pedal takes its bridge's latency from its configuration, and later from whoever sets it.
    sim::Config config;
    config.paced = true;
    config.bridgeLatencyMs = 1;
    PedalSimulator pedal(config);
    EXPECT_EQ(pedal.bridgeLatencyMs(), 1);
    pedal.setBridgeLatencyMs(16);
    EXPECT_EQ(pedal.bridgeLatencyMs(), 16);
    pedal.setBridgeLatencyMs(0);
    EXPECT_EQ(pedal.bridgeLatencyMs(), 1); // 1 to 255
}

TEST(PedalPacing, AMicrosecondClockGetsAnswersWithoutWaitingForTheNextMillisecond)
{
    sim::Config config;
    config.paced = true;
    config.startInBootloader = true;
    config.bridgeLatencyMs = 1;
    PedalSimulator pedal(config);
    pedal.receiveAtUs(bytes("7F").data(), 1, 1500);
    // 0x7F has crossed at 1596 µs (11 bit times), the ACK at 1692; then the bridge's 1 ms.
    const std::int64_t due = pedal.nextOutputTimeUs();
    EXPECT_EQ(due, 2692);
    EXPECT_EQ(pedal.nextOutputTime(), (due + 999) / 1000);
    EXPECT_TRUE(pedal.takeOutputAtUs(due - 1).empty());
    EXPECT_EQ(toInts(pedal.takeOutputAtUs(due)), std::vector<int>{0x79});
}

TEST(PedalPacing, UploadAnswerWaitsForTheWholeImageToCrossTheLine)
{
    sim::Config config;
    config.paced = true;
    PedalSimulator pedal(config);
    const Bytes image = carriedImage(15);
    ASSERT_EQ(image.size(), 4256u);
    pedal.receive(image, 0);
    // 4256 bytes at 86.8 us arrive by 369.4 ms; the 17-byte answer then waits
    // for the bridge's 16 ms timer.
    const double lastInUs = 4256 * 1e7 / 115200.0;
    const auto ready = readableTimesUs(std::ceil(lastInUs), 17, 10);
    const auto due = static_cast<std::int64_t>(std::ceil(ready.front() / 1000));
    EXPECT_EQ(pedal.nextOutputTime(), due);
    EXPECT_TRUE(pedal.takeOutput(due - 1).empty());
    EXPECT_EQ(text(pedal.takeOutput(due)), "Upload Complete\r\n");
    EXPECT_EQ(pedal.nextOutputTime(), PedalSimulator::kNoOutput);
}

TEST(PedalFaults, SilentPedalActsButNeverAnswers)
{
    sim::Config config;
    config.faults.silent = true;
    PedalSimulator pedal(config);
    pedal.receive(bytes("0D 01 02 00 0C 50 00 00 00 00"), 0);
    pedal.receive(carriedImage(14), 10);
    EXPECT_EQ(pedal.nextOutputTime(), PedalSimulator::kNoOutput);
    EXPECT_TRUE(pedal.takeOutput(60000).empty());
    EXPECT_TRUE(pedal.state().bypass);
    EXPECT_EQ(pedal.state().algorithmCode, 0x0014);
}

TEST(PedalFaults, ShortAnswerHoldsOnlyTheFirstNumbers)
{
    sim::Config config;
    config.faults.shortAnswer = 26;
    PedalSimulator pedal(config);
    pedal.receive(bytes("02 00"), 0);
    const auto numbers = strictNumbers(pedal.takeOutput(0));
    ASSERT_TRUE(numbers);
    const auto report = toInts(pedal.report());
    EXPECT_EQ(*numbers, std::vector<int>(report.begin(), report.begin() + 26));
}

TEST(PedalFaults, GarbageIsMixedIntoTheReport)
{
    sim::Config config;
    config.faults.garbage = true;
    PedalSimulator pedal(config);
    pedal.receive(bytes("02 00"), 0);
    Bytes answer = pedal.takeOutput(0);
    auto foreign = [](std::uint8_t b) { return !(b >= '0' && b <= '9') && b != '\r' && b != '\n'; };
    EXPECT_GE(std::count_if(answer.begin(), answer.end(), foreign), 10);
    EXPECT_FALSE(strictNumbers(answer));
    answer.erase(std::remove_if(answer.begin(), answer.end(), foreign), answer.end());
    EXPECT_EQ(strictNumbers(answer).value_or(std::vector<int>{}), toInts(pedal.report()));
}

TEST(PedalFaults, SplitAnswerComesInPiecesWithGaps)
{
    sim::Config config;
    const Bytes whole = [&] {
        PedalSimulator plain(config);
        plain.receive(bytes("02 00"), 0);
        return plain.takeOutput(0);
    }();
    config.faults.splitPieces = 3;
    config.faults.splitGapMs = 100;
    PedalSimulator pedal(config);
    pedal.receive(bytes("02 00"), 50);

    Bytes got = pedal.takeOutput(50);
    EXPECT_NEAR(static_cast<double>(got.size()), whole.size() / 3.0, 1.0);
    EXPECT_EQ(pedal.nextOutputTime(), 150);
    EXPECT_TRUE(pedal.takeOutput(149).empty());
    const Bytes second = pedal.takeOutput(150);
    EXPECT_FALSE(second.empty());
    got.insert(got.end(), second.begin(), second.end());
    EXPECT_EQ(pedal.nextOutputTime(), 250);
    const Bytes third = pedal.takeOutput(250);
    got.insert(got.end(), third.begin(), third.end());
    EXPECT_EQ(got, whole);
}

TEST(PedalFaults, HangUpDropsTheLineAfterTheNthByte)
{
    sim::Config config;
    config.faults.hangUpAfter = 4;
    PedalSimulator pedal(config);
    pedal.receive(bytes("0D 01"), 0);
    EXPECT_FALSE(pedal.hungUp());
    pedal.receive(bytes("02 00 0D 00"), 10); // the request is the 3rd and 4th byte
    EXPECT_TRUE(pedal.hungUp());
    EXPECT_TRUE(pedal.takeOutput(1000).empty());
    EXPECT_EQ(pedal.nextOutputTime(), PedalSimulator::kNoOutput);
    ASSERT_EQ(pedal.received().size(), 2u);
    EXPECT_EQ(pedal.received()[1].bytes, bytes("02 00"));
    EXPECT_TRUE(pedal.state().bypass); // 0D 00 never got in
    pedal.receive(bytes("02 00"), 20);
    EXPECT_EQ(pedal.received().size(), 2u);
}

} // namespace
