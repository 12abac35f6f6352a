#include "Communication.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "FunctionsUnit.h"
#include "PedalContract.h"
#include "Services.h"

ParsedAnswer ParseResponseNumbers(const QByteArray &bytes)
{
    ParsedAnswer out;
    out.numbers.reserve(pedal::kAnswerNumbers);
    std::uint8_t v = 0;
    int digits = 0;
    int value = 0;
    bool malformed = false;
    for (const char c : bytes) {
        if (c == '\n') {
            digits = 0;
            value = 0;
            malformed = false;
        } else if (c == '\r') {
            if (malformed)
                ++out.malformedLines;
            else if (digits >= 1 && digits <= 3)
                v = static_cast<std::uint8_t>(value % 256);
            out.numbers.push_back(v);
            digits = 0;
            value = 0;
            malformed = false;
        } else if (c >= '0' && c <= '9') {
            ++digits;
            if (digits <= 3)
                value = value * 10 + (c - '0');
        } else {
            malformed = true;
        }
    }
    return out;
}

Communication::Communication(D2XXUnit &usb, ConsoleModel &console, Clock &clock, AppState &state)
    : m_usb(usb), m_console(console), m_clock(clock), m_state(state)
{
}

std::uint32_t Communication::SendHexMessage(const QString &hexText, int n)
{
    return m_usb.WriteHex(hexText, n);
}

void Communication::WriteToDsp(const QString &prefixHex, std::uint16_t address, std::uint32_t value)
{
    const QString text = prefixHex + QStringLiteral("%1").arg(address, 4, 16, QLatin1Char('0')).toUpper()
        + QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
    m_console.ConsolePrint(QStringLiteral("write to DSP msg: ") + text);
    SendHexMessage(text, static_cast<int>((text.size() / 2) % 256));
}

Communication::Outcome Communication::waitForData(int limitMs)
{
    const qint64 deadline = m_clock.nowMs() + limitMs;
    for (;;) {
        if (m_state.Quitting)
            return Outcome::Quitting;
        if (m_usb.GetUsbQueueStatus() != ft::OK)
            return Outcome::NoAnswer;
        if (m_usb.UsbQueueCount > 0)
            return Outcome::Complete;
        const qint64 left = deadline - m_clock.nowMs();
        if (left <= 0)
            return Outcome::Silent;
        m_clock.waitForEvents(static_cast<int>(std::min<qint64>(left, 20)));
    }
}

std::uint32_t Communication::collect(QByteArray &into)
{
    const QByteArray bytes = m_usb.Read();
    into.append(bytes);
    return static_cast<std::uint32_t>(bytes.size());
}

Communication::Answer Communication::ReceiveResponseNumbers()
{
    Answer answer;
    answer.outcome = waitForData(pedal::kAnswerLimit);
    if (answer.outcome != Outcome::Complete)
        return answer;
    m_usb.PurgeUsbTx();

    // Read until the answer holds all its numbers or the line has been quiet
    // for longer than the bridge holds bytes back.
    qint64 lastByte = m_clock.nowMs();
    const qint64 giveUp = lastByte + pedal::kAnswerLimit;
    int lines = 0;
    for (;;) {
        m_clock.waitForEvents(m_state.FirmwareUpgradeMode ? 2 : 10);
        if (m_state.Quitting) {
            answer.outcome = Outcome::Quitting;
            return answer;
        }
        const std::uint32_t n = collect(answer.bytes);
        if (n > 0) {
            lastByte = m_clock.nowMs();
            lines = static_cast<int>(answer.bytes.count('\r'));
            if (lines >= pedal::kAnswerNumbers)
                break;
        } else if (m_clock.nowMs() - lastByte >= pedal::kQuietAfter || m_clock.nowMs() >= giveUp) {
            break;
        }
    }

    const ParsedAnswer parsed = ParseResponseNumbers(answer.bytes);
    answer.numbers = static_cast<int>(parsed.numbers.size());
    answer.malformedLines = parsed.malformedLines;
    m_console.ConsolePrint(QStringLiteral("num of bytes received: ") + QString::number(answer.numbers));
    if (!parsed.numbers.empty())
        m_values = QByteArray(reinterpret_cast<const char *>(parsed.numbers.data()),
                              static_cast<qsizetype>(parsed.numbers.size()));
    answer.values = m_values;
    m_console.ConsolePrint(QStringLiteral("received_bytes_array size: ") + QString::number(m_values.size()));
    for (qsizetype k = 0; k < m_values.size(); ++k)
        m_console.ConsolePrint(QStringLiteral("%1:    %2")
                                   .arg(k)
                                   .arg(static_cast<std::uint8_t>(m_values[k]), 2, 16, QLatin1Char('0'))
                                   .toUpper());
    if (parsed.malformedLines > 0)
        m_console.ConsolePrint(QStringLiteral("answer lines holding bytes other than digits: %1 (each repeats the value before it)")
                                   .arg(parsed.malformedLines));
    m_usb.PurgeUsbRx();
    answer.outcome = answer.numbers >= pedal::kAnswerNumbers ? Outcome::Complete : Outcome::Short;
    return answer;
}

QString Communication::ReceiveReply(int limitMs, Framing framing)
{
    const bool bootloader = framing == Framing::BootloaderByte;
    const Outcome waited = waitForData(limitMs);
    if (waited != Outcome::Complete)
        return {};
    QByteArray bytes;
    // The bootloader's answers are single bytes: read until a read returns
    // nothing, without pausing. Otherwise give the rest of a reply time to come.
    for (;;) {
        if (!bootloader) {
            m_clock.waitForEvents(100);
            if (m_state.Quitting)
                return {};
        }
        if (collect(bytes) == 0)
            break;
    }
    m_console.ConsolePrint(QStringLiteral("num of bytes received: ") + QString::number(bytes.size()));
    m_usb.PurgeUsbRx();
    m_console.ConsolePrint(QStringLiteral("firmware_upgrade_mode: ")
                           + (bootloader ? QStringLiteral("True") : QStringLiteral("False")));
    if (bootloader)
        return QString::fromLatin1(bytes.left(1).toHex().toUpper());
    return QString::fromUtf8(bytes);
}

ExchangeGuard::ExchangeGuard(AppState &state) : m_state(state), m_acquired(!state.ExchangeWaiting)
{
    if (m_acquired)
        m_state.ExchangeWaiting = true;
}

ExchangeGuard::~ExchangeGuard()
{
    if (m_acquired)
        m_state.ExchangeWaiting = false;
}

QString ExchangeGuard::refusedLine(const QString &operation)
{
    return operation + QStringLiteral(" refused: another exchange is waiting for the pedal's answer");
}
