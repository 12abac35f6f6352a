#include "D2XXUnit.h"

#include "PedalContract.h"

#include "ConsoleModel.h"
#include "FunctionsUnit.h"

#include <cstdint>
#include <cstring>

D2XXUnit::D2XXUnit(Ftd2xx &ft, ConsoleModel &console)
    : TxBufferStore(std::make_unique<std::array<std::uint8_t, kBufferSize>>()),
      RxBufferStore(std::make_unique<std::array<std::uint8_t, kBufferSize>>()),
      TxBuffer(TxBufferStore->data()),
      RxBuffer(RxBufferStore->data()),
      m_ft(ft),
      m_console(console)
{
    TxBufferStore->fill(0);
    RxBufferStore->fill(0);
}

void D2XXUnit::SetUsbLinkParameters(Line line)
{
    baudRate = pedal::kBaudRate;
    wordLength = ft::BITS_8;
    stopBits = ft::STOP_BITS_1;
    parity = line == Line::Bootloader ? ft::PARITY_EVEN : ft::PARITY_NONE;
}

QString D2XXUnit::errorText(FT_STATUS status)
{
    static const char *const texts[] = {
        "",
        " - Invalid handle...",
        " - Device not found...",
        " - Device not opened...",
        " - General IO error...",
        " - Insufficient resources...",
        " - Invalid parameter...",
        " - Invalid baud rate...",
        " Device not opened for erase...",
        " Device not opened for write...",
        " - Failed to write...",
        " - EEPROM read failed...",
        " - EEPROM write failed...",
        " - EEPROM erase failed...",
        " - EEPROM not present...",
        " - EEPROM not programmed...",
        " - Invalid arguments...",
        " - Other error ...",
    };
    if (status < std::size(texts))
        return QString::fromLatin1(texts[status]);
    return QStringLiteral(" - Unknown error (status %1)...").arg(status);
}

void D2XXUnit::ReportFtError(const char *label, FT_STATUS status)
{
    if (!FtErrorReporting || status == ft::OK)
        return;
    m_console.ConsolePrint(QString::fromLatin1(label) + errorText(status));
}

FT_STATUS D2XXUnit::report(const char *label, FT_STATUS status)
{
    if (status != ft::OK)
        ReportFtError(label, status);
    return status;
}

FT_STATUS D2XXUnit::GetFTDeviceCount()
{
    const FT_STATUS status = m_ft.FT_ListDevices(&deviceCount, nullptr, ft::LIST_NUMBER_ONLY);
    listingNotes.clear();
    for (const std::string &note : m_ft.takeListingNotes()) {
        listingNotes.append(QString::fromStdString(note));
        m_console.ConsolePrint(listingNotes.constLast());
    }
    return report("GetFTDeviceCount", status);
}

static QByteArray untilZero(const char *buffer, int size)
{
    int n = 0;
    while (n < size && buffer[n] != '\0')
        ++n;
    return QByteArray(buffer, n);
}

FT_STATUS D2XXUnit::GetFTDeviceSerialNo(int index)
{
    char buffer[ft::kListBufferSize] = {};
    const FT_STATUS status = m_ft.FT_ListDevices(reinterpret_cast<void *>(static_cast<std::uintptr_t>(index)), buffer,
                                                 ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER);
    if (status == ft::OK)
        listedText = untilZero(buffer, ft::kListBufferSize);
    return report("GetFTDeviceSerialNo", status);
}

FT_STATUS D2XXUnit::GetFTDeviceDescription(int index)
{
    char buffer[ft::kListBufferSize] = {};
    const FT_STATUS status = m_ft.FT_ListDevices(reinterpret_cast<void *>(static_cast<std::uintptr_t>(index)), buffer,
                                                 ft::LIST_BY_INDEX | ft::OPEN_BY_DESCRIPTION);
    if (status == ft::OK)
        listedText = untilZero(buffer, ft::kListBufferSize);
    return report("GetFTDeviceDescription", status);
}

FT_STATUS D2XXUnit::Open_USB_Device_By_Serial_Number(const QString &serial)
{
    const QByteArray bytes = serial.toLocal8Bit();
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(bytes.size()), openSerialNumber.size() - 1);
    openSerialNumber.fill(0);
    std::memcpy(openSerialNumber.data(), bytes.constData(), n);
    return report("Open_USB_Device_By_Serial_Number",
                  m_ft.FT_OpenEx(openSerialNumber.data(), ft::OPEN_BY_SERIAL_NUMBER, &handle));
}

FT_STATUS D2XXUnit::CloseUsbDevice()
{
    return report("FT_Close", m_ft.FT_Close(handle));
}

FT_STATUS D2XXUnit::SetUsbBaudRate()
{
    return report("FT_SetBaudRate", m_ft.FT_SetBaudRate(handle, baudRate));
}

FT_STATUS D2XXUnit::SetUsbDataCharacteristics()
{
    return report("FT_SetDataCharacteristics", m_ft.FT_SetDataCharacteristics(handle, wordLength, stopBits, parity));
}

FT_STATUS D2XXUnit::PurgeUsbRx()
{
    return report("FT_Purge RX", m_ft.FT_Purge(handle, ft::PURGE_RX));
}

FT_STATUS D2XXUnit::PurgeUsbTx()
{
    return report("FT_Purge TX", m_ft.FT_Purge(handle, ft::PURGE_TX));
}

FT_STATUS D2XXUnit::GetUsbQueueStatus()
{
    return report("FT_GetQueueStatus", m_ft.FT_GetQueueStatus(handle, &UsbQueueCount));
}

FT_STATUS D2XXUnit::GetUsbLatencyTimer(UCHAR &ms)
{
    return m_ft.FT_GetLatencyTimer(handle, &ms);
}

FT_STATUS D2XXUnit::SetUsbLatencyTimer(UCHAR ms)
{
    return m_ft.FT_SetLatencyTimer(handle, ms);
}

DWORD D2XXUnit::ReadUsbBuffer()
{
    DWORD queued = 0;
    m_ft.FT_GetQueueStatus(handle, &queued);
    queued = std::min<DWORD>(queued, kBufferSize);
    DWORD read = 0;
    lastTransferStatus = m_ft.FT_Read(handle, RxBuffer, queued, &read);
    report("FT_Read", lastTransferStatus);
    if (lastTransferStatus != ft::OK)
        return 0;
    return std::min<DWORD>(read, kBufferSize);
}

QByteArray D2XXUnit::Read()
{
    const DWORD n = ReadUsbBuffer();
    return QByteArray(reinterpret_cast<const char *>(RxBuffer), static_cast<qsizetype>(n));
}

DWORD D2XXUnit::Write(const QByteArray &message)
{
    const auto n = static_cast<DWORD>(std::min<qsizetype>(message.size(), kBufferSize));
    std::copy_n(message.cbegin(), n, TxBuffer);
    return WriteUsbBuffer(n);
}

int D2XXUnit::hexPairs(const QString &hexText, int limit)
{
    const qsizetype pairs = std::min<qsizetype>(hexText.size() / 2, limit);
    for (qsizetype i = 0; i < pairs; ++i) {
        if (hexDigitValue(hexText[2 * i]) < 0 || hexDigitValue(hexText[2 * i + 1]) < 0)
            return static_cast<int>(i);
    }
    return static_cast<int>(pairs);
}

DWORD D2XXUnit::WriteHex(const QString &hexText, int n)
{
    n = std::clamp(n, 0, kBufferSize);
    const int pairs = hexPairs(hexText, n);
    for (int i = 0; i < pairs; ++i)
        TxBuffer[i] = static_cast<std::uint8_t>(hexDigitValue(hexText[2 * i]) * 16 + hexDigitValue(hexText[2 * i + 1]));
    return WriteUsbBuffer(static_cast<DWORD>(n));
}

DWORD D2XXUnit::WriteUsbBuffer(DWORD n)
{
    DWORD written = 0;
    lastTransferStatus = m_ft.FT_Write(handle, TxBuffer, std::min<DWORD>(n, kBufferSize), &written);
    report("FT_Write", lastTransferStatus);
    if (lastTransferStatus != ft::OK)
        return 0;
    const DWORD asked = std::min<DWORD>(n, kBufferSize);
    if (written < asked && FtErrorReporting)
        m_console.ConsolePrint(QStringLiteral("FT_Write - the bridge took only %1 of %2 bytes...").arg(written).arg(asked));
    return written;
}
