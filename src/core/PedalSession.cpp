#include "PedalSession.h"

#include "AppState.h"
#include "Communication.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "EffectMessages.h"
#include "FunctionsUnit.h"
#include "PedalContract.h"
#include "Services.h"

PedalSession::PedalSession(D2XXUnit &usb, Communication &comm, ConsoleModel &console, Clock &clock, AppState &state)
    : m_usb(usb), m_comm(comm), m_console(console), m_clock(clock), m_state(state)
{
}

PedalSession::LinkState PedalSession::linkState() const
{
    if (!m_state.Linked)
        return LinkState::Unlinked;
    if (m_state.ExchangeWaiting && m_state.BootloaderActive)
        return LinkState::Upgrading;
    if (m_state.BootloaderActive || m_state.FirmwareUpgradeMode)
        return LinkState::Bootloader;
    return LinkState::Application;
}

std::vector<PedalSession::Bridge> PedalSession::bridges()
{
    std::vector<Bridge> out;
    if (m_usb.GetFTDeviceCount() != ft::OK)
        return out;
    for (DWORD i = 0; i < m_usb.deviceCount; ++i) {
        Bridge b;
        if (m_usb.GetFTDeviceSerialNo(static_cast<int>(i)) == ft::OK)
            b.serial = QString::fromLocal8Bit(m_usb.listedText);
        if (m_usb.GetFTDeviceDescription(static_cast<int>(i)) == ft::OK)
            b.description = QString::fromLocal8Bit(m_usb.listedText);
        b.driver = QString::fromUtf8(m_usb.driver().driverName(i));
        out.push_back(std::move(b));
    }
    return out;
}

PedalSession::Opened PedalSession::open(const QString &serial)
{
    Opened result;
    m_console.ConsolePrint(QStringLiteral("serial number: ") + serial);
    result.ok = m_usb.Open_USB_Device_By_Serial_Number(serial) == ft::OK;
    if (result.ok) {
        m_usb.SetUsbBaudRate();
        m_usb.SetUsbDataCharacteristics();
        m_console.ConsolePrint(QStringLiteral("FT_HANDLE: 0x%1")
                                   .arg(m_usb.handle, 8, 16, QLatin1Char('0'))
                                   .toUpper()
                                   .replace(QLatin1String("0X"), QLatin1String("0x")));
        m_console.appendDirect(QStringLiteral("baud rate = ") + QString::number(m_usb.baudRate));
    } else if (const char *advice = m_usb.driver().lastOpenAdvice(); advice && *advice) {
        result.advice = QString::fromUtf8(advice);
    }
    return result;
}

FT_STATUS PedalSession::close()
{
    return m_usb.CloseUsbDevice();
}

PedalSession::RequestReply PedalSession::request()
{
    RequestReply reply;
    ExchangeGuard guard(m_state);
    if (!guard.acquired()) {
        m_console.ConsolePrint(ExchangeGuard::refusedLine(QStringLiteral("REQUEST")));
        reply.outcome = RequestOutcome::Refused;
        return reply;
    }
    m_console.ConsolePrint(QStringLiteral("********************REQUEST********************"));
    m_state.RequestInProgress = true;
    emit requestStarted();
    m_usb.PurgeUsbTx();
    m_comm.SendHexMessage(QLatin1String(pedal::kRequestHex), pedal::kRequestLength);
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
    reply.snapshot = PedalSnapshot::decode(m_state.ResponseBytes);
    return reply;
}

void PedalSession::endRequest()
{
    m_state.RequestInProgress = false;
}

DWORD PedalSession::send(const QByteArray &message)
{
    return m_usb.Write(message);
}

DWORD PedalSession::writeParameter(std::uint16_t address, std::uint32_t value)
{
    return send(HexToBytes(EffectMessages::parameterWrite(address, value)));
}
