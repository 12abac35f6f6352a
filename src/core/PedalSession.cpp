#include "PedalSession.h"

#include "UpgradeProcedure.h"

#include <utility>

#include "AppState.h"
#include "Communication.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "EffectMessages.h"
#include "FunctionsUnit.h"
#include "PedalContract.h"
#include "Services.h"
#include "TextFiles.h"

#include <QFile>
#include <algorithm>

PedalSession::PedalSession(D2XXUnit &usb, Communication &comm, ConsoleModel &console, Clock &clock, AppState &state)
    : m_usb(usb), m_comm(comm), m_console(console), m_clock(clock), m_state(state),
      m_bootloader(std::make_unique<BootloaderProtocol>(usb, comm, console, state)),
      m_upgrade(std::make_unique<UpgradeProcedure>(*this, clock))
{
}

PedalSession::~PedalSession() = default;

std::vector<PedalSession::Bridge> PedalSession::bridges()
{
    std::vector<Bridge> out;
    if (m_usb.GetFTDeviceCount() != ft::OK)
        return out;
    for (DWORD i = 0; i < m_usb.deviceCount; ++i) {
        Bridge b;
        b.serialRead = m_usb.GetFTDeviceSerialNo(static_cast<int>(i)) == ft::OK;
        if (b.serialRead)
            b.serial = QString::fromLocal8Bit(m_usb.listedText);
        b.descriptionRead = m_usb.GetFTDeviceDescription(static_cast<int>(i)) == ft::OK;
        if (b.descriptionRead)
            b.description = QString::fromLocal8Bit(m_usb.listedText);
        b.driver = QString::fromUtf8(m_usb.driver().driverName(i));
        out.push_back(std::move(b));
    }
    return out;
}

PedalSession::Opened PedalSession::open(const QString &serial)
{
    Opened result;
    // One bridge at a time: one the session holds is given back first, with
    // its latency timer, so nothing stays held on a bridge it does not keep.
    if (m_open)
        close();
    m_console.ConsolePrint(QStringLiteral("serial number: ") + serial);
    result.ok = m_usb.Open_USB_Device_By_Serial_Number(serial) == ft::OK;
    if (result.ok) {
        m_open = true;
        m_pollFailed = false;
        m_usb.SetUsbBaudRate();
        m_usb.SetUsbDataCharacteristics();
        m_console.ConsolePrint(QStringLiteral("FT_HANDLE: 0x%1")
                                   .arg(m_usb.handle, 8, 16, QLatin1Char('0'))
                                   .toUpper()
                                   .replace(QLatin1String("0X"), QLatin1String("0x")));
        m_console.appendDirect(QStringLiteral("baud rate = ") + QString::number(m_usb.baudRate));
        lowerLatency();
        // The bridge's failures are said again from a new link on, whatever
        // firmware work turned off before it (the upgrade turns them off
        // again when it starts).
        m_usb.FtErrorReporting = true;
        setLink(LinkState::Application);
    } else if (const char *advice = m_usb.driver().lastOpenAdvice(); advice && *advice) {
        result.advice = QString::fromUtf8(advice);
    }
    return result;
}

LinkState PedalSession::linkState() const
{
    return m_state.Link;
}

void PedalSession::lowerLatency()
{
    m_latencyBefore.reset();
    UCHAR before = 0;
    const bool known = m_usb.GetUsbLatencyTimer(before) == ft::OK;
    const QString was = known ? QStringLiteral("%1 ms").arg(before) : QStringLiteral("unknown");
    const FT_STATUS status = m_usb.SetUsbLatencyTimer(kLinkLatencyMs);
    if (status == ft::OK) {
        if (known)
            m_latencyBefore = before;
        UCHAR now = kLinkLatencyMs;
        m_usb.GetUsbLatencyTimer(now);
        m_console.ConsolePrint(QStringLiteral("Latency timer: %1 ms (was %2)").arg(now).arg(was));
        return;
    }
    if (const char *advice = m_usb.driver().lastLatencyAdvice(); advice && *advice) {
        m_console.ConsolePrint(QStringLiteral("Latency timer: ") + QString::fromUtf8(advice));
        return;
    }
    m_console.ConsolePrint(QStringLiteral("Latency timer: %1, not lowered: the bridge refused %2 ms (status %3)")
                               .arg(known ? QStringLiteral("stays at %1 ms").arg(before) : QStringLiteral("unknown"))
                               .arg(kLinkLatencyMs)
                               .arg(status));
}

void PedalSession::restoreLatency()
{
    if (m_latencyBefore)
        m_usb.SetUsbLatencyTimer(*m_latencyBefore);
    m_latencyBefore.reset();
}

bool PedalSession::close()
{
    restoreLatency();
    const FT_STATUS status = m_usb.CloseUsbDevice();
    if (status == ft::OK) {
        m_open = false;
        m_dump.forgetExpected();
        setLink(LinkState::Unlinked);
    }
    return status == ft::OK;
}

DumpCollector::State PedalSession::poll()
{
    m_usb.FtErrorReporting = false;
    const FT_STATUS status = m_usb.GetUsbQueueStatus();
    if (status != ft::OK && m_state.Linked() && !m_pollFailed) {
        // The poll runs quietly, but a broken link is said once.
        m_pollFailed = true;
        m_console.ConsolePrint(QStringLiteral("Link to the pedal lost") + D2XXUnit::errorText(status)
                               + QStringLiteral(" Unlink, check the cable, then Scan And Link."));
    }
    DumpCollector::State state = DumpCollector::State::Idle;
    if (status == ft::OK) {
        const QByteArray bytes = m_usb.Read();
        const auto n = static_cast<DWORD>(bytes.size());
        if (n % 65536 != 0)
            m_console.ConsolePrint(QStringLiteral("num of bytes read: ") + QString::number(n % 65536));
        state = m_dump.feed(bytes, m_clock.nowMs());
        if (state == DumpCollector::State::Missing)
            m_console.ConsolePrint(QStringLiteral("No memory dump came from the pedal after the read"));
    }
    m_usb.FtErrorReporting = true;
    return state;
}

void PedalSession::expectEepromDump()
{
    m_dump.expect(m_clock.nowMs());
}

bool PedalSession::eraseEeprom(const QString &i2cAddr)
{
    const QString text = QStringLiteral("0B") + i2cAddr + QStringLiteral("00") + QStringLiteral("0000");
    m_console.ConsolePrint(QStringLiteral("erase message: ") + text);
    const PedalMessage message = PedalMessages::eraseEeprom(i2cAddr);
    return send(message) == static_cast<DWORD>(message.bytes.size());
}

bool PedalSession::sendEepromRead(const QString &i2cAddr)
{
    const QString text = QStringLiteral("0C") + i2cAddr + QStringLiteral("0000") + QStringLiteral("0000");
    m_console.ConsolePrint(QStringLiteral("Read message: ") + text);
    const PedalMessage message = PedalMessages::readEeprom(i2cAddr);
    // Only a message that went out can be answered.
    const bool sent = send(message) == static_cast<DWORD>(message.bytes.size());
    if (sent)
        expectEepromDump();
    return sent;
}

void PedalSession::logDump(bool complete)
{
    const QByteArray &memory = m_dump.memory();
    for (qsizetype p = 0; p < memory.size(); ++p)
        m_console.ConsolePrint(
            QStringLiteral("%1: %2").arg(p).arg(static_cast<std::uint8_t>(memory[p]), 2, 16, QLatin1Char('0')).toUpper());
    if (!complete)
        m_console.ConsolePrint(QStringLiteral("Memory dump incomplete: %1 of %2 bytes received")
                                   .arg(memory.size())
                                   .arg(pedal::kDumpBytes));
}

QString PedalSession::dumpVerdict(const QByteArray &memory)
{
    return DumpCollector::isEmpty(memory) ? QStringLiteral("Memory is empty") : QStringLiteral("Memory is not empty");
}

PedalSession::RequestReply PedalSession::request()
{
    RequestReply reply;
    const Exchange held = exchange(QStringLiteral("REQUEST"));
    if (!held) {
        reply.outcome = RequestOutcome::Refused;
        return reply;
    }
    m_console.ConsolePrint(QStringLiteral("********************REQUEST********************"));
    m_state.RequestInProgress = true;
    m_requestState = RequestState::Running;
    emit requestStarted();
    m_usb.PurgeUsbTx();
    send(PedalMessages::request());
    m_clock.pause(pedal::kRequestPause);
    const Communication::Answer answer = m_comm.ReceiveResponseNumbers();
    reply.numbers = answer.numbers;

    if (answer.outcome != Communication::Outcome::Complete) {
        if (answer.outcome == Communication::Outcome::Quitting) {
            reply.outcome = RequestOutcome::Quitting;
            return reply;
        }
        m_console.ConsolePrint(QStringLiteral("REQUEST stopped: %1 of %2 numbers received from the pedal")
                                   .arg(answer.numbers)
                                   .arg(pedal::kAnswerNumbers));
        reply.outcome = answer.outcome == Communication::Outcome::Silent ? RequestOutcome::Silent
                                                                         : RequestOutcome::Short;
        return reply;
    }
    // A garbled answer says nothing dependable about the pedal.
    if (answer.malformedLines > 0) {
        m_console.ConsolePrint(
            QStringLiteral("REQUEST stopped: the answer held %1 garbled lines").arg(answer.malformedLines));
        reply.outcome = RequestOutcome::Garbled;
        return reply;
    }
    reply.outcome = RequestOutcome::Answered;
    reply.snapshot = PedalSnapshot::decode(answer.values);
    return reply;
}

void PedalSession::endRequest()
{
    m_state.RequestInProgress = false;
    m_requestState = RequestState::Idle;
}

void PedalSession::holdForUpgrade()
{
    if (m_requestState == RequestState::Running)
        m_requestState = RequestState::HeldForUpgrade;
}

PedalSession::RequestScope::RequestScope(PedalSession &session, const RequestReply &reply)
    : m_session(session), m_started(reply.outcome != RequestOutcome::Refused)
{
}

PedalSession::RequestScope::~RequestScope()
{
    if (m_started && !m_session.quitting() && m_session.requestState() == RequestState::Running)
        m_session.endRequest();
}

DWORD PedalSession::send(const PedalMessage &message)
{
    const PedalMessage::Rule rule = PedalMessage::ruleOf(message.kind);
    if (rule.purgeFirst)
        m_usb.PurgeUsbTx();
    const DWORD written = m_usb.Write(message.bytes);
    if (rule.pauseAfterMs > 0)
        m_clock.pause(rule.pauseAfterMs);
    return written;
}

DWORD PedalSession::writeParameter(std::uint16_t address, std::uint32_t value)
{
    return send(PedalMessages::parameterWrite(address, value));
}

void PedalSession::sendParameter(const QString &name, const QString &kind, std::uint16_t address, std::uint32_t value)
{
    m_console.ConsolePrint(QStringLiteral("Send %1 string (%2 par): ").arg(name, kind)
                           + EffectMessages::parameterWrite(address, value));
    writeParameter(address, value);
}

void PedalSession::writeToDsp(std::uint16_t address, std::uint32_t value)
{
    m_console.ConsolePrint(QStringLiteral("write to DSP msg: ") + EffectMessages::parameterWrite(address, value));
    writeParameter(address, value);
}

void PedalSession::writeAssignableDefaults(const EffectParameterSet &p)
{
    using namespace param;
    const auto plain = [&](int i) { writeParameter(p.address(i), p.value(i)); };
    const auto dsp = [&](int i) { writeToDsp(p.address(i), p.value(i)); };
    const auto assignable = [&](int i, std::uint32_t value) {
        sendParameter(p.name(i), QStringLiteral("assignable"), p.address(i), value);
    };
    plain(InputLevel);
    m_clock.pause(10);
    plain(HarmonicPitch);
    m_clock.pause(10);
    plain(WaveClip);
    m_clock.pause(10);
    dsp(DominantNotesCut);
    dsp(HighNotesCut);
    m_clock.pause(10);
    plain(DryHPF);
    m_clock.pause(10);
    assignable(LimitRangeUp, p.value(LimitRangeUp));
    m_clock.pause(10);
    assignable(NoiseGateThreshold, 0);
    m_clock.pause(10);
    assignable(Attack, p.value(Attack));
    m_clock.pause(10);
}

void PedalSession::sendTuningData(const QString &tablesHex)
{
    setBypass(true);
    m_clock.pause(400);
    const PedalMessage message = PedalMessages::tuningData(tablesHex);
    m_console.ConsolePrint(QStringLiteral("num_of_bytes: ") + QString::number(message.bytes.size()));
    send(message);
}

QString PedalSession::unsaidWriteFailure() const
{
    if (m_usb.FtErrorReporting || m_usb.lastTransferStatus == ft::OK)
        return {};
    return QStringLiteral("FT_Write") + D2XXUnit::errorText(m_usb.lastTransferStatus);
}

PedalSession::Exchange::Exchange(std::unique_ptr<ExchangeGuard> guard, PedalSession *session)
    : m_guard(std::move(guard)), m_session(m_guard && m_guard->acquired() ? session : nullptr)
{
    if (m_session)
        emit m_session->busyChanged(true);
}

PedalSession::Exchange::Exchange(Exchange &&other) noexcept
    : m_guard(std::move(other.m_guard)), m_session(std::exchange(other.m_session, nullptr))
{
}

PedalSession::Exchange::~Exchange()
{
    m_guard.reset();
    if (m_session)
        emit m_session->busyChanged(false);
}

PedalSession::Exchange::operator bool() const
{
    return m_guard && m_guard->acquired();
}

PedalSession::Exchange PedalSession::exchange(const QString &operation)
{
    auto guard = std::make_unique<ExchangeGuard>(m_state);
    if (!guard->acquired() && !operation.isEmpty())
        m_console.ConsolePrint(ExchangeGuard::refusedLine(operation));
    return Exchange(std::move(guard), this);
}

bool PedalSession::busy() const
{
    return m_state.ExchangeWaiting;
}

void PedalSession::beforeUpload(UploadSource source)
{
    setBypass(true);
    m_clock.pause(source == UploadSource::File ? 400 : 40);
    setFailuresSaid(true);
}

void PedalSession::settleEeprom()
{
    m_clock.pause(kEepromSettleMs);
}

namespace {

PedalSession::Greeting greetingOf(const QString &answer)
{
    switch (BootloaderProtocol::replyOf(answer)) {
    case BootloaderProtocol::Reply::Ack:
    case BootloaderProtocol::Reply::Nack:
        return PedalSession::Greeting::Greeted;
    case BootloaderProtocol::Reply::Nothing:
        return PedalSession::Greeting::NoAnswer;
    case BootloaderProtocol::Reply::Other:
        break;
    }
    return PedalSession::Greeting::WrongAnswer;
}

} // namespace

PedalSession::Greeting PedalSession::enterBootloader(const std::function<void()> &entered)
{
    const Exchange held = exchange(QStringLiteral("Upgrade Mode"));
    if (!held) {
        return Greeting::Refused;
    }
    send(PedalMessages::enterBootloader());
    m_clock.pause(200);
    setUpgradeMode(true);
    if (entered)
        entered();
    return greet(BootloaderProtocol::kAnswerLimit, QStringLiteral("received Byte from bootloader: "));
}

PedalSession::Greeting PedalSession::greetLegacyBootloader()
{
    setUpgradeMode(true);
    const Exchange held = exchange(QStringLiteral("Bootloader greeting"));
    if (!held) {
        return Greeting::Refused;
    }
    return greet(kLegacyGreetingLimit, QStringLiteral("received Byte: "));
}

PedalSession::Greeting PedalSession::greet(int limitMs, const QString &answerLabel)
{
    const QString answer = m_bootloader->BootloaderSync(limitMs);
    m_console.appendDirect(answerLabel + answer);
    return greetingOf(answer);
}

void PedalSession::setFirmwareImage(const QByteArray &image)
{
    m_bootloader->FirmwareSize = static_cast<std::uint32_t>(image.size());
    m_bootloader->FirmwareHex = QString::fromLatin1(image.toHex().toUpper());
}

PedalSession::StepOutcome PedalSession::writeFirmware(int version, const std::function<void(int, int)> &progress,
                                                      const std::function<bool()> &pollTimerOn,
                                                      const std::function<bool(WriteStep)> &atStep)
{
    const Exchange held = exchange(QStringLiteral("FIRMWARE UPGRADE"));
    if (!held) {
        return StepOutcome::Refused;
    }
    BootloaderProtocol &p = *m_bootloader;
    p.clearFailure();
    // Upgrading while the image goes in; the bootloader stays linked after,
    // whether or not every step was answered.
    const LinkState before = m_state.Link;
    if (m_state.Linked())
        setLink(LinkState::Upgrading);
    p.SplitFirmwareIntoChunks();
    bool stopped = false;
    const auto goOn = [&](WriteStep step, const QString &what, std::uint32_t address) {
        if (!atStep || atStep(step))
            return true;
        p.stopBefore(what, address);
        stopped = true;
        return false;
    };
    bool ok = goOn(WriteStep::Erase, QStringLiteral("the erase"), BootloaderProtocol::kFlashStart)
        && p.SendEraseCommand();
    ok = ok
        && p.WriteFirmwareChunks(progress, pollTimerOn, [&](std::uint32_t chunk, std::uint32_t address) {
               return goOn(WriteStep::Chunk, QStringLiteral("chunk %1").arg(chunk), address);
           });
    ok = ok && goOn(WriteStep::VersionRecord, QStringLiteral("the version record"), BootloaderProtocol::kVersionRecord)
        && p.WriteVersionRecord(version);
    if (m_state.Link == LinkState::Upgrading)
        setLink(before);
    if (ok)
        return StepOutcome::Done;
    return stopped ? StepOutcome::Stopped : StepOutcome::Failed;
}

PedalSession::StepOutcome PedalSession::startFirmware()
{
    m_bootloader->clearFailure();
    {
        const Exchange held = exchange(QStringLiteral("GO"));
        if (!held) {
            return StepOutcome::Refused;
        }
        if (!m_bootloader->SendGoCommand())
            return StepOutcome::Failed;
    }
    m_usb.FtErrorReporting = true;
    m_usb.SetUsbLinkParameters(D2XXUnit::Line::Application);
    m_usb.SetUsbDataCharacteristics();
    setLink(LinkState::Application);
    return StepOutcome::Done;
}

void PedalSession::setBootloaderLinked()
{
    setLink(LinkState::Bootloader);
}

void PedalSession::setLink(LinkState link)
{
    if (m_state.Link == link)
        return;
    m_state.Link = link;
    emit linkChanged(link);
}

void PedalSession::setUpgradeMode(bool on)
{
    if (m_state.FirmwareUpgradeMode == on)
        return;
    m_state.FirmwareUpgradeMode = on;
    emit upgradeModeChanged(on);
}

void PedalSession::leaveUpgradeMode()
{
    setUpgradeMode(false);
}

void PedalSession::useApplicationLine()
{
    m_usb.SetUsbLinkParameters(D2XXUnit::Line::Application);
}

void PedalSession::cancelUpgradeMode()
{
    setUpgradeMode(false);
    m_usb.SetUsbLinkParameters(D2XXUnit::Line::Application);
    if (m_state.Linked())
        m_usb.SetUsbDataCharacteristics();
}

QStringList PedalSession::listingNotes() const
{
    return m_usb.listingNotes;
}

bool PedalSession::onVirtualBridge() const
{
    return m_usb.driver().isVirtualBridge(m_usb.handle);
}

void PedalSession::setBypass(bool on)
{
    send(PedalMessages::bypass(on));
}

void PedalSession::setFailuresSaid(bool said)
{
    m_usb.FtErrorReporting = said;
}

bool PedalSession::quitting() const
{
    return m_state.Quitting;
}

QString PedalSession::failureText() const
{
    const BootloaderProtocol::Failure &f = m_bootloader->failure();
    const QString address = QStringLiteral("%1").arg(f.address, 8, 16, QLatin1Char('0')).toUpper();
    if (f.stopped)
        return QStringLiteral("stopped before %1 at address 0x%2").arg(f.step, address);
    QString answer = QStringLiteral("answered %1").arg(f.answer);
    if (const BootloaderProtocol::Reply reply = BootloaderProtocol::replyOf(f.answer);
        reply == BootloaderProtocol::Reply::Nothing)
        answer = QStringLiteral("did not answer");
    else if (reply == BootloaderProtocol::Reply::Nack)
        answer = QStringLiteral("answered NOT ACK (1F)");
    return QStringLiteral("the bootloader %1 to %2 at address 0x%3").arg(answer, f.step, address);
}

bool PedalSession::receiveUploadAnswer(bool logReadCounts, const std::function<void(const QString &)> &onText,
                                       int limitMs)
{
    const qint64 giveUp = limitMs < 0 ? -1 : m_clock.nowMs() + limitMs;
    for (;;) {
        m_clock.waitForEvents(20);
        if (m_state.Quitting)
            return false;
        if (m_usb.GetUsbQueueStatus() != ft::OK)
            return false;
        if (m_usb.UsbQueueCount > 0)
            break;
        if (giveUp >= 0 && m_clock.nowMs() >= giveUp)
            return false;
    }
    // At a low latency timer the bridge hands the seventeen characters over
    // in more than one packet. Let the answer gather first: until it is all
    // there, or the line has been quiet for as long as a REQUEST's answer is
    // given, so that a read does not show a piece of it.
    DWORD seen = m_usb.UsbQueueCount;
    qint64 lastGrowth = m_clock.nowMs();
    while (seen < static_cast<DWORD>(kUploadAnswerChars) && m_clock.nowMs() - lastGrowth < pedal::kQuietAfter) {
        m_clock.waitForEvents(2);
        if (m_state.Quitting)
            return false;
        if (m_usb.GetUsbQueueStatus() != ft::OK)
            return false;
        if (m_usb.UsbQueueCount > seen) {
            seen = m_usb.UsbQueueCount;
            lastGrowth = m_clock.nowMs();
        }
    }
    for (;;) {
        m_clock.waitForEvents(1);
        const DWORD n = m_usb.ReadUsbBuffer();
        if (logReadCounts)
            m_console.ConsolePrint(QStringLiteral("num of bytes received from device: ") + QString::number(n));
        if (n == 0)
            break;
        const QString text = TextFiles::decodeWindows1252(
            QByteArray(reinterpret_cast<const char *>(m_usb.rxBuffer()), kUploadAnswerChars));
        m_console.ConsolePrint(QStringLiteral("received: ") + text);
        if (onText)
            onText(text);
    }
    return true;
}

void PedalSession::sendAlgorithmImage(const QString &imageHex)
{
    const int byteCount = static_cast<int>(imageHex.size() / 2);
    m_console.ConsolePrint(QStringLiteral("size: ") + QString::number(byteCount));
    m_console.ConsolePrint(QStringLiteral("filecontent (first 128 bytes): ") + imageHex.left(256));
    const int toSend = std::min(byteCount, D2XXUnit::kBufferSize);
    m_console.ConsolePrint(QStringLiteral("num of bytes: ") + QString::number(D2XXUnit::hexPairs(imageHex, toSend)));
    send(PedalMessage::fromHex(imageHex, toSend));
    m_console.ConsolePrint(QStringLiteral("write to device"));
}

PedalSession::AlgorithmFile PedalSession::readAlgorithmFile(const QString &path)
{
    static_assert(AlgorithmFile::kLargest == D2XXUnit::kBufferSize);
    AlgorithmFile result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.problem = AlgorithmFile::Problem::CannotOpen;
        result.error = file.errorString();
        return result;
    }
    result.bytes = file.read(AlgorithmFile::kLargest + 1);
    if (result.bytes.isEmpty() && file.error() != QFileDevice::NoError) {
        result.problem = AlgorithmFile::Problem::CannotRead;
        result.error = file.errorString();
        return result;
    }
    result.size = std::max<qint64>(file.size(), result.bytes.size());
    if (result.bytes.isEmpty() || result.bytes.size() > AlgorithmFile::kLargest)
        result.problem = AlgorithmFile::Problem::WrongSize;
    return result;
}

DWORD PedalSession::sendAlgorithmFile(const QByteArray &content)
{
    const DWORD written = send(content);
    m_console.ConsolePrint(QString::number(written) + QStringLiteral(" Bytes Sent ..."));
    return written;
}
