#pragma once

#include "Ftd2xx.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// A bridge that records every call (with its arguments) and every write's
// exact bytes. Tests list devices, queue bytes to be read, fail chosen calls,
// and may answer writes through onWrite.
class RecordingFtd2xx final : public Ftd2xx {
public:
    struct Device {
        QByteArray serial;
        QByteArray description;
    };
    std::vector<Device> devices;
    QStringList calls;            // e.g. "FT_SetDataCharacteristics(1,8,0,2)"
    std::vector<QByteArray> writes;
    QByteArray rx;                // bytes waiting to be read
    QMap<QString, FT_STATUS> fail; // function name -> status to return
    std::function<void(const QByteArray &)> onWrite;
    QByteArray openedSerial;
    FT_HANDLE nextHandle = 0x1A2B3C01;
    bool open = false;

    QByteArray advice; // what lastOpenAdvice() says after a failed open
    UCHAR latency = ft::kDefaultLatencyMs; // the latency timer, as Set leaves it
    QByteArray latencyAdvice; // what lastLatencyAdvice() says after a failed Set
    const char *lastLatencyAdvice() const override { return latencyAdvice.constData(); }

    const char *lastOpenAdvice() const override { return advice.constData(); }
    bool virtualBridge = true; // whether the editor may send it made-up images
    bool isVirtualBridge(FT_HANDLE) const override { return virtualBridge; }
    QByteArray allWritten() const;
    QStringList callNames() const;

    FT_STATUS FT_ListDevices(void *pArg1, void *pArg2, DWORD flags) override;
    FT_STATUS FT_OpenEx(void *pArg1, DWORD flags, FT_HANDLE *handle) override;
    FT_STATUS FT_Close(FT_HANDLE handle) override;
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) override;
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override;
    FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override;
    FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD *rxBytes) override;
    FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned) override;
    FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten) override;
    FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR ms) override;
    FT_STATUS FT_GetLatencyTimer(FT_HANDLE handle, UCHAR *ms) override;

private:
    FT_STATUS result(const char *name) const { return fail.value(QString::fromLatin1(name), ft::OK); }
};
