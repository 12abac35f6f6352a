#pragma once

#include "Ftd2xx.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

class ConsoleModel;

// The thin layer over the D2XX calls: the one open handle, the line
// settings, the two 64 KiB transfer buffers, and one operation per call.
// A failed call becomes one log line while FtErrorReporting is on. Nothing
// here retries, waits or shows a dialog.
//
// The buffers are the transport's own: every message is handed over whole
// and written in the same call, so nothing that runs between building a
// message and sending it (a timer tick inside a question) can change it.
class D2XXUnit {
public:
    static constexpr int kBufferSize = 65536;

    D2XXUnit(Ftd2xx &ft, ConsoleModel &console);

    // The line settings of who answers: the application firmware (8N1), the
    // bootloader (8E1). Only stored; SetUsbDataCharacteristics applies them.
    enum class Line { Application, Bootloader };
    void SetUsbLinkParameters(Line line);

    // Counts the bridges; the drivers' notes on what they left out go to
    // the console (each once per run) and stay in listingNotes until the
    // next count.
    FT_STATUS GetFTDeviceCount();
    FT_STATUS GetFTDeviceSerialNo(int index);
    FT_STATUS GetFTDeviceDescription(int index);
    FT_STATUS Open_USB_Device_By_Serial_Number(const QString &serial);
    FT_STATUS CloseUsbDevice();
    FT_STATUS SetUsbBaudRate();
    FT_STATUS SetUsbDataCharacteristics();
    FT_STATUS PurgeUsbRx();
    FT_STATUS PurgeUsbTx();
    FT_STATUS GetUsbQueueStatus();
    // The bridge's latency timer, quietly: the caller says in one line what
    // came of it.
    FT_STATUS GetUsbLatencyTimer(UCHAR &ms);
    FT_STATUS SetUsbLatencyTimer(UCHAR ms);
    // Reads everything queued into the start of the receive buffer; bytes read.
    DWORD ReadUsbBuffer();
    // What the last reads left in the receive buffer (a read stores from
    // the start and leaves older bytes behind it).
    const std::uint8_t *rxBuffer() const { return RxBuffer; }
    // Everything queued, as bytes.
    QByteArray Read();

    // The one write path: the message, whole, in one call (at most
    // kBufferSize bytes); bytes accepted.
    DWORD Write(const QByteArray &message);
    // Converts up to n hex pairs of the text over the transmit buffer,
    // stopping at the first pair that is not hex (the bytes after it keep
    // what the last message left there), then writes n bytes in one call.
    DWORD WriteHex(const QString &hexText, int n);
    // How many leading pairs of the text are hex, up to limit.
    static int hexPairs(const QString &hexText, int limit);

    void ReportFtError(const char *label, FT_STATUS status);
    static QString errorText(FT_STATUS status);

    Ftd2xx &driver() { return m_ft; }

    bool FtErrorReporting = false;
    FT_HANDLE handle = 0;
    FT_STATUS lastTransferStatus = 0;
    DWORD UsbQueueCount = 0;
    DWORD deviceCount = 0;
    QByteArray listedText;
    QStringList listingNotes;
    std::array<char, 50> openSerialNumber{};
    ULONG baudRate = 0;
    UCHAR wordLength = 0;
    UCHAR stopBits = 0;
    UCHAR parity = 0;

private:
    FT_STATUS report(const char *label, FT_STATUS status);
    DWORD WriteUsbBuffer(DWORD n);

    std::unique_ptr<std::array<std::uint8_t, kBufferSize>> TxBufferStore;
    std::unique_ptr<std::array<std::uint8_t, kBufferSize>> RxBufferStore;
    std::uint8_t *TxBuffer;
    std::uint8_t *RxBuffer;

    Ftd2xx &m_ft;
    ConsoleModel &m_console;
};
