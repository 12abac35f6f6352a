// The pedal core without windows: the REQUEST decoded into a snapshot, the
// session's link and its one write path, against the recording bridge.
#include "AppState.h"
#include "Communication.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "Fakes.h"
#include "PedalAnswers.h"
#include "PedalSession.h"
#include "UpgradeProcedure.h"
#include "PedalSettings.h"
#include "RecordingFtd2xx.h"
#include "Resources.h"

#include <gtest/gtest.h>

namespace {

struct Session : ::testing::Test {
    Session()
    {
        usb.SetUsbLinkParameters(D2XXUnit::Line::Application);
        ft.devices = {{"THV001", "Tharnvik MK3"}, {"THV002", "Tharnvik MK3 spare"}};
        ft.onWrite = [this](const QByteArray &bytes) {
            if (bytes == QByteArray::fromHex("0200") && answers)
                ft.rx += answer;
        };
    }
    QString log() const { return console.text(0, console.lineCount()); }

    RecordingFtd2xx ft;
    ConsoleModel console;
    FakeClock clock;
    AppState state;
    D2XXUnit usb{ft, console};
    Communication comm{usb, console, clock, state};
    PedalSession session{usb, comm, console, clock, state};
    QByteArray answer = answerText(pedalState());
    bool answers = true;
};

} // namespace

TEST(PedalSnapshot, DecodesEveryFieldOfTheAnswer)
{
    std::vector<int> n = pedalState(16, 0x00, 0x15, 0x03);
    n[4] = 2;                       // footswitch: change preset / change preset
    n[5] = 4;                       // tuning
    n[6] = 254;                     // -2 semitones
    n[7] = 1; n[12] = 0x12; n[13] = 0x34; // Control I holds address 1234
    n[11] = 1; n[20] = 0xFF; n[21] = 0xFE; // remote: Bypass
    n[22] = 1;
    for (int b = 0; b < 4; ++b)
        n[26 + 4 * 19 + b] = 0x10 + b; // Attack 0x10111213
    n[26] = 0x00; n[27] = 0x80; n[28] = 0x00; n[29] = 0x00; // Dry 0x00800000
    const QByteArray numbers = [&] {
        QByteArray b;
        for (int v : n)
            b.append(static_cast<char>(v));
        return b;
    }();

    const PedalSnapshot s = PedalSnapshot::decode(numbers);
    EXPECT_EQ(s.identity.firmware, 16);
    EXPECT_EQ(s.identity.algorithmDigits, QStringLiteral("0015"));
    EXPECT_EQ(s.identity.effect, 3);
    EXPECT_EQ(s.footswitchMode, 2);
    EXPECT_EQ(s.tuning, 4);
    EXPECT_EQ(s.semitones(), -2);
    EXPECT_TRUE(s.assigned[0]);
    EXPECT_EQ(s.assignedCodes[0], 0x1234);
    EXPECT_FALSE(s.assigned[1]);
    EXPECT_EQ(s.assignedCodes[4], 0xFFFE);
    EXPECT_EQ(s.bypass, 1);
    EXPECT_EQ(s.storeBypass, 1);
    EXPECT_EQ(s.instrumentRange, 186);
    EXPECT_EQ(s.midiChannel, 5);
    EXPECT_EQ(s.values[param::Dry], 0x00800000u);
    EXPECT_EQ(s.values[param::Attack], 0x10111213u);
    EXPECT_EQ(s.firstPreset, 1);

    // Control I's address names a parameter once the algorithm's addresses are known.
    EffectParameterSet p;
    p.setAddress(param::WaveClip, 0x1234);
    EXPECT_EQ(s.controlParameter(0, p), param::WaveClip);
    EXPECT_EQ(s.controlParameter(1, p), -1);

    // A short answer reads as zeros beyond its end; a code outside the table has no semitones.
    const PedalSnapshot shortOne = PedalSnapshot::decode(numbers.left(5));
    EXPECT_EQ(shortOne.values[param::Dry], 0u);
    EXPECT_EQ(shortOne.footswitchMode, 2);
    EXPECT_EQ(PedalSnapshot::decode(QByteArray(107, '\x07')).semitones(), std::nullopt);
}

TEST(ParameterAddresses, FromTheCarriedImageAndARefusedOne)
{
    EffectParameterSet names;
    const QString first = Resources::loadLines(QStringLiteral("THARNVIK_MK3_0015")).constFirst();
    const AddressReading ok = readParameterAddresses(first, names);
    EXPECT_TRUE(ok.error.isEmpty()) << ok.error.toStdString();
    EXPECT_EQ(ok.addresses[param::Dry], 0x0027);
    EXPECT_EQ(ok.addresses[param::SubMix], 0x0007);
    EXPECT_EQ(ok.addresses[param::Range], 0x0000);

    const AddressReading bad = readParameterAddresses(QStringLiteral("0010A0ZZ27") + QString(200, QLatin1Char('0')), names);
    EXPECT_FALSE(bad.error.isEmpty());
    const AddressReading cut = readParameterAddresses(QStringLiteral("0010A0"), names);
    EXPECT_TRUE(cut.error.contains(QStringLiteral("too short"))) << cut.error.toStdString();

    EXPECT_EQ(parameterIndexOf(QStringLiteral("-1 Oct"), names), param::Minus1Oct);
    EXPECT_EQ(parameterIndexOf(QStringLiteral("Noise Gate Threshold"), names), param::NoiseGateThreshold);
    EXPECT_EQ(parameterIndexOf(QStringLiteral("dry"), names), -1);
}

TEST_F(Session, ListsOpensAndRequests)
{
    const auto bridges = session.bridges();
    ASSERT_EQ(bridges.size(), 2u);
    EXPECT_EQ(bridges[1].serial, QStringLiteral("THV002"));
    EXPECT_EQ(bridges[1].description, QStringLiteral("Tharnvik MK3 spare"));
    EXPECT_FALSE(bridges[1].driver.isEmpty());

    EXPECT_EQ(session.linkState(), LinkState::Unlinked);
    usb.FtErrorReporting = false; // as firmware work left it
    ASSERT_TRUE(session.open(QStringLiteral("THV001")).ok);
    EXPECT_TRUE(usb.FtErrorReporting); // a new link says its bridge's failures
    EXPECT_TRUE(ft.calls.contains(QStringLiteral("FT_SetBaudRate(115200)")));
    EXPECT_TRUE(ft.calls.contains(QStringLiteral("FT_SetDataCharacteristics(8,0,0)")));
    state.Link = LinkState::Application;
    EXPECT_EQ(session.linkState(), LinkState::Application);

    int started = 0;
    QObject::connect(&session, &PedalSession::requestStarted, [&] { ++started; });
    const PedalSession::RequestReply reply = session.request();
    EXPECT_EQ(reply.outcome, PedalSession::RequestOutcome::Answered);
    EXPECT_EQ(reply.numbers, 107);
    EXPECT_EQ(reply.snapshot.identity.algorithmDigits, QStringLiteral("0015"));
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(state.RequestInProgress); // until the caller has shown the answer
    session.endRequest();
    EXPECT_FALSE(state.RequestInProgress);
    EXPECT_FALSE(state.ExchangeWaiting);
    EXPECT_TRUE(log().contains(QStringLiteral("********************REQUEST********************")));

    EXPECT_TRUE(session.close());
    EXPECT_EQ(session.linkState(), LinkState::Unlinked);
    EXPECT_FALSE(state.Linked());
}

TEST_F(Session, TheLinkLowersTheLatencyTimerAndClosePutsItBack)
{
    ft.latency = 10;
    ASSERT_TRUE(session.open(QStringLiteral("THV001")).ok);
    const QStringList opened = ft.calls.mid(ft.calls.indexOf(QStringLiteral("FT_SetDataCharacteristics(8,0,0)")) + 1);
    EXPECT_EQ(opened, (QStringList{"FT_GetLatencyTimer()", "FT_SetLatencyTimer(1)", "FT_GetLatencyTimer()"}));
    EXPECT_EQ(console.lastLine(), QStringLiteral("Latency timer: 1 ms (was 10 ms)"));
    EXPECT_EQ(log().count(QStringLiteral("Latency timer")), 1);

    ft.calls.clear();
    EXPECT_TRUE(session.close());
    EXPECT_EQ(ft.calls, (QStringList{"FT_SetLatencyTimer(10)", "FT_Close(439041025)"}));
    EXPECT_EQ(ft.latency, 10);
}

TEST_F(Session, OpeningAnotherBridgeGivesTheHeldOneBackFirst)
{
    ft.latency = 10;
    ASSERT_TRUE(session.open(QStringLiteral("THV001")).ok);
    EXPECT_EQ(state.Link, LinkState::Application);
    ft.calls.clear();
    ASSERT_TRUE(session.open(QStringLiteral("THV002")).ok);
    // The first bridge's timer is put back and its handle closed before the second is opened.
    const QStringList calls = ft.calls.mid(0, 5);
    EXPECT_EQ(calls, (QStringList{"FT_SetLatencyTimer(10)", "FT_Close(439041025)", "FT_OpenEx(THV002,1)",
                                  "FT_SetBaudRate(115200)", "FT_SetDataCharacteristics(8,0,0)"}));
    EXPECT_EQ(usb.handle, 0x1A2B3C02u);
    EXPECT_EQ(state.Link, LinkState::Application); // linked to the second bridge now

    // Once closed, there is nothing to give back.
    EXPECT_TRUE(session.close());
    ft.calls.clear();
    ASSERT_TRUE(session.open(QStringLiteral("THV001")).ok);
    EXPECT_EQ(ft.callNames().first(), QStringLiteral("FT_OpenEx"));
}

TEST_F(Session, ABridgeThatKeepsItsLatencySaysSoAndStillLinks)
{
    struct Case {
        const char *name;
        QByteArray advice;
        bool getFails;
        const char *line;
    };
    const Case cases[] = {
        {"advice", "stays at 16 ms (x); to lower it to 1 ms, enable the rule", false,
         "Latency timer: stays at 16 ms (x); to lower it to 1 ms, enable the rule"},
        {"no advice", {}, false, "Latency timer: stays at 16 ms, not lowered: the bridge refused 1 ms (status 17)"},
        {"unknown", {}, true, "Latency timer: unknown, not lowered: the bridge refused 1 ms (status 17)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ft.fail[QStringLiteral("FT_SetLatencyTimer")] = ft::NOT_SUPPORTED;
        if (c.getFails)
            ft.fail[QStringLiteral("FT_GetLatencyTimer")] = ft::NOT_SUPPORTED;
        ft.latencyAdvice = c.advice;
        console.clear();
        ASSERT_TRUE(session.open(QStringLiteral("THV001")).ok);
        EXPECT_EQ(console.lastLine(), QLatin1String(c.line));
        EXPECT_EQ(log().count(QStringLiteral("Latency timer")), 1);
        EXPECT_EQ(session.request().outcome, PedalSession::RequestOutcome::Answered);
        session.endRequest();
        ft.calls.clear();
        EXPECT_TRUE(session.close());
        EXPECT_EQ(ft.callNames(), QStringList{"FT_Close"}); // nothing changed, nothing to put back
        ft.fail.clear();
    }
}

TEST_F(Session, RequestOutcomesWhenThePedalFailsOrAnotherExchangeWaits)
{
    session.open(QStringLiteral("THV001"));
    struct Case {
        const char *name;
        QByteArray answer;
        bool answers;
        PedalSession::RequestOutcome expected;
        const char *line;
    };
    const Case cases[] = {
        {"silent", {}, false, PedalSession::RequestOutcome::Silent, "REQUEST stopped: 0 of 107 numbers"},
        {"short", answerText(std::vector<int>(50, 1)), true, PedalSession::RequestOutcome::Short,
         "REQUEST stopped: 50 of 107 numbers"},
        {"garbled", answerText(std::vector<int>(106, 1)) + "1x\r\n", true, PedalSession::RequestOutcome::Garbled,
         "REQUEST stopped: the answer held 1 garbled lines"},
    };
    for (const Case &c : cases) {
        answer = c.answer;
        answers = c.answers;
        const PedalSession::RequestReply reply = session.request();
        EXPECT_EQ(reply.outcome, c.expected) << c.name;
        EXPECT_TRUE(log().contains(QLatin1String(c.line))) << c.name;
        EXPECT_FALSE(state.ExchangeWaiting) << c.name;
    }

    ExchangeGuard other(state);
    ft.writes.clear();
    EXPECT_EQ(session.request().outcome, PedalSession::RequestOutcome::Refused);
    EXPECT_TRUE(ft.writes.empty());
}

TEST_F(Session, WritesAParameterInSevenBytes)
{
    session.open(QStringLiteral("THV001"));
    EXPECT_EQ(session.writeParameter(0x0027, 0x00800000), 7u);
    ASSERT_EQ(ft.writes.size(), 1u);
    EXPECT_EQ(ft.writes[0], QByteArray::fromHex("01002700800000"));
}

TEST_F(Session, GreetingsOfTheBootloaderByEitherPath)
{
    session.open(QStringLiteral("THV001"));
    QByteArray greetingAnswer;
    ft.onWrite = [&](const QByteArray &bytes) {
        if (bytes == QByteArray(1, '\x7F'))
            ft.rx += greetingAnswer;
    };
    struct Case {
        const char *name;
        QByteArray answer;
        PedalSession::Greeting expected;
    };
    const Case cases[] = {
        {"ack", QByteArray::fromHex("79"), PedalSession::Greeting::Greeted},
        {"synchronised already", QByteArray::fromHex("1F"), PedalSession::Greeting::Greeted},
        {"nothing", {}, PedalSession::Greeting::NoAnswer},
        {"another byte", QByteArray::fromHex("00"), PedalSession::Greeting::WrongAnswer},
    };
    for (const Case &c : cases) {
        greetingAnswer = c.answer;
        const QString shown = QString::fromLatin1(c.answer.toHex().toUpper());

        state.FirmwareUpgradeMode = false;
        ft.writes.clear();
        clock.pauses.clear();
        std::size_t writtenWhenEntered = 0;
        EXPECT_EQ(session.enterBootloader([&] { writtenWhenEntered = ft.writes.size(); }), c.expected) << c.name;
        ASSERT_EQ(ft.writes.size(), 2u) << c.name;
        EXPECT_EQ(ft.writes[0], QByteArray::fromHex("0500010203040506")) << c.name;
        EXPECT_EQ(ft.writes[1], QByteArray(1, '\x7F')) << c.name;
        EXPECT_EQ(writtenWhenEntered, 1u) << c.name; // after the message and its pause, before the greeting
        EXPECT_EQ(clock.pauses.front(), 200) << c.name;
        EXPECT_TRUE(state.FirmwareUpgradeMode) << c.name;
        EXPECT_FALSE(state.ExchangeWaiting) << c.name;
        EXPECT_TRUE(log().endsWith(QStringLiteral("received Byte from bootloader: ") + shown)) << c.name;

        state.FirmwareUpgradeMode = false;
        ft.writes.clear();
        EXPECT_EQ(session.greetLegacyBootloader(), c.expected) << c.name;
        ASSERT_EQ(ft.writes.size(), 1u) << c.name;
        EXPECT_EQ(ft.writes[0], QByteArray(1, '\x7F')) << c.name;
        EXPECT_TRUE(state.FirmwareUpgradeMode) << c.name;
        EXPECT_TRUE(log().endsWith(QStringLiteral("received Byte: ") + shown)) << c.name;
    }

    // Another exchange waits: nothing goes out, and the console says which was refused.
    ExchangeGuard other(state);
    ft.writes.clear();
    EXPECT_EQ(session.enterBootloader(), PedalSession::Greeting::Refused);
    EXPECT_TRUE(log().contains(ExchangeGuard::refusedLine(QStringLiteral("Upgrade Mode"))));
    EXPECT_EQ(session.greetLegacyBootloader(), PedalSession::Greeting::Refused);
    EXPECT_TRUE(log().contains(ExchangeGuard::refusedLine(QStringLiteral("Bootloader greeting"))));
    EXPECT_TRUE(ft.writes.empty());
}

TEST(PedalSettings, KeptAsJsonAndSentWithTheEditorsMessages)
{
    EffectParameterSet addresses;
    addresses.setAddress(param::WaveClip, 0x0123);
    addresses.setAddress(param::Attack, 0x0456);
    PedalSettings s;
    s.assignable[param::InputLevel - param::kFirstAssignable] = 0x800000;
    s.controls = {param::WaveClip, -1, param::Attack, -1};
    s.remote = 2;
    s.footswitchMode = 3;
    s.tuning = 2;
    s.semitones = -2;
    s.storeBypass = true;
    s.instrumentRange = 186;
    s.midiChannel = 16;
    s.firstPresetAtPowerOn = true;

    QString error;
    const std::optional<PedalSettings> back = PedalSettings::fromJson(s.toJson(), &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_TRUE(back->differences(s).isEmpty()) << back->differences(s).join(", ").toStdString();

    QStringList hex;
    for (const PedalSettings::Message &m : s.messages(addresses))
        hex << m.hex;
    ASSERT_EQ(hex.size(), 8);
    EXPECT_TRUE(hex[0].startsWith("0300800000")) << hex[0].toStdString();
    EXPECT_EQ(hex[0].size(), 82);
    EXPECT_EQ(hex[1], QStringLiteral("0401000100010123FFFF0456FFFFFFFD"));
    EXPECT_EQ(hex[2], QStringLiteral("080101"));
    EXPECT_EQ(hex[3], QStringLiteral("0902FE"));
    EXPECT_EQ(hex[4], QStringLiteral("1001"));
    EXPECT_EQ(hex[5].left(14), QStringLiteral("0FBA0203040506"));
    EXPECT_EQ(hex[5].size(), 16);
    EXPECT_EQ(hex[6], QStringLiteral("0710"));
    EXPECT_EQ(hex[7], QStringLiteral("1101"));

    // A file that is not whole or not right gives its reason and no settings.
    QByteArray good = s.toJson();
    const std::pair<QByteArray, const char *> bad[] = {
        {"{", "not JSON"},
        {QByteArray(good).replace("tharnvik-mk3-settings", "other"), "format"},
        {QByteArray(good).replace("\"Control I\": \"Wave Clip\"", "\"Control I\": \"Attack\""), "Control I cannot carry"},
        {QByteArray(good).replace("\"semitones\": -2", "\"semitones\": 9"), "semitones"},
        {QByteArray(good).replace("\"low\"", "\"tiny\""), "instrument_range"},
        {QByteArray(good).replace("8388608", "-1"), "Input Level"},
    };
    for (const auto &[json, reason] : bad) {
        QString why;
        EXPECT_FALSE(PedalSettings::fromJson(json, &why)) << reason;
        EXPECT_TRUE(why.contains(QLatin1String(reason))) << reason << ": " << why.toStdString();
    }
}

TEST_F(Session, EveryMessageGoesOutTheWayItsKindAsks)
{
    session.open(QStringLiteral("THV001"));
    struct Case {
        const char *name;
        PedalMessage message;
        QByteArray bytes;
        bool purged;
        int pause;
    };
    const Case cases[] = {
        {"parameter", PedalMessages::parameterWrite(0x1234, 0x00800000), QByteArray::fromHex("01123400800000"), false, 0},
        {"request", PedalMessages::request(), QByteArray::fromHex("0200"), false, 0},
        {"bypass", PedalMessages::bypass(true), QByteArray::fromHex("0D01"), false, 0},
        {"enter bootloader", PedalMessages::enterBootloader(), QByteArray::fromHex("0500010203040506"), false, 0},
        {"tuning", PedalMessages::tuning(4, 0xFE), QByteArray::fromHex("0904FE"), true, 100},
        {"note filters", PedalMessages::noteFilters(QStringLiteral("03"), QStringLiteral("FF")), QByteArray::fromHex("0903FF"), true, 100},
        {"assign", PedalMessages::assign(QStringLiteral("0401000000011234FFFFFFFFFFFFFFFE")),
         QByteArray::fromHex("0401000000011234FFFFFFFFFFFFFFFE"), false, 100},
        {"erase settings", PedalMessages::eraseEeprom(QStringLiteral("50")), QByteArray::fromHex("0B50000000"), true, 100},
        {"read presets", PedalMessages::readEeprom(QStringLiteral("51")), QByteArray::fromHex("0C5100000000"), false, 0},
        {"option", PedalMessages::option(QStringLiteral("1101")), QByteArray::fromHex("1101"), false, 0},
        // Text that stops being hex: the pairs before it, zeros after, never
        // what an earlier message left behind.
        {"short text", PedalMessage::fromHex(QStringLiteral("01AB"), 7), QByteArray::fromHex("01AB0000000000"), false, 0},
        {"not hex", PedalMessage::fromHex(QStringLiteral("01XY23"), 3), QByteArray::fromHex("010000"), false, 0},
    };
    for (const Case &c : cases) {
        ft.writes.clear();
        ft.calls.clear();
        clock.pauses.clear();
        EXPECT_EQ(session.send(c.message), static_cast<DWORD>(c.bytes.size())) << c.name;
        ASSERT_EQ(ft.writes.size(), 1u) << c.name;
        EXPECT_EQ(ft.writes[0], c.bytes) << c.name;
        EXPECT_EQ(ft.calls.contains(QStringLiteral("FT_Purge(2)")), c.purged) << c.name << ft.calls.join(' ').toStdString();
        EXPECT_EQ(clock.pauses, c.pause ? std::vector<int>{c.pause} : std::vector<int>{}) << c.name;
    }
}

TEST_F(Session, TheLinkIsWrittenOnlyHereAndEveryChangeIsAnnounced)
{
    std::vector<LinkState> seen;
    QObject::connect(&session, &PedalSession::linkChanged, [&](LinkState l) { seen.push_back(l); });
    std::vector<bool> modes;
    QObject::connect(&session, &PedalSession::upgradeModeChanged, [&](bool on) { modes.push_back(on); });

    ASSERT_TRUE(session.open(QStringLiteral("THV001")).ok);
    EXPECT_EQ(session.linkState(), LinkState::Application);
    // The bootloader answers the greeting; an image goes in; Go.
    ft.onWrite = [&](const QByteArray &bytes) {
        if (bytes != QByteArray::fromHex("0D01") && bytes != QByteArray::fromHex("0500010203040506")
            && bytes != QByteArray(1, '\x31') && bytes != QByteArray(1, '\x21'))
            ft.rx += '\x79';
    };
    UpgradeProcedure &upgrade = session.upgrade();
    ASSERT_EQ(upgrade.enter([] { return true; }), UpgradeProcedure::Entry::Entered);
    session.setBootloaderLinked();
    const QByteArray image = QByteArray::fromHex("0050002001010008") + QByteArray(292, '\x22');
    upgrade.begin();
    EXPECT_EQ(upgrade.write(image, 16), UpgradeProcedure::Outcome::Done);
    EXPECT_EQ(upgrade.finish(), UpgradeProcedure::Outcome::Done);
    session.leaveUpgradeMode();
    EXPECT_TRUE(session.close());
    EXPECT_EQ(seen, (std::vector{LinkState::Application, LinkState::Bootloader, LinkState::Upgrading,
                                 LinkState::Bootloader, LinkState::Application, LinkState::Unlinked}));
    EXPECT_EQ(modes, (std::vector{true, false}));
    EXPECT_EQ(state.Link, LinkState::Unlinked);
}

TEST_F(Session, AnExchangeIsAnnouncedWhileItWaitsAndEndsOnEveryPath)
{
    session.open(QStringLiteral("THV001"));
    std::vector<bool> busy;
    QObject::connect(&session, &PedalSession::busyChanged, [&](bool b) { busy.push_back(b); });

    session.request();
    session.endRequest();
    answers = false; // a silent pedal ends the exchange all the same
    session.request();
    session.endRequest();
    EXPECT_EQ(busy, (std::vector{true, false, true, false}));
    EXPECT_FALSE(session.busy());

    busy.clear();
    {
        const PedalSession::Exchange held = session.exchange(QStringLiteral("UPLOAD"));
        ASSERT_TRUE(held);
        EXPECT_TRUE(session.busy());
        // Another operation is refused, said once, and announces nothing.
        EXPECT_EQ(session.request().outcome, PedalSession::RequestOutcome::Refused);
        EXPECT_TRUE(log().contains(ExchangeGuard::refusedLine(QStringLiteral("REQUEST"))));
        PedalSession::Exchange moved = session.exchange();
        EXPECT_FALSE(moved);
    }
    EXPECT_EQ(busy, (std::vector{true, false}));
    EXPECT_FALSE(session.busy());
}
