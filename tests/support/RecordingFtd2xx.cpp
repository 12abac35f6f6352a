#include "RecordingFtd2xx.h"

#include <cstdint>
#include <cstring>

QByteArray RecordingFtd2xx::allWritten() const
{
    QByteArray all;
    for (const QByteArray &w : writes)
        all += w;
    return all;
}

QStringList RecordingFtd2xx::callNames() const
{
    QStringList names;
    for (const QString &c : calls)
        names << c.left(c.indexOf('('));
    return names;
}

FT_STATUS RecordingFtd2xx::FT_ListDevices(void *pArg1, void *pArg2, DWORD flags)
{
    if (flags == ft::LIST_NUMBER_ONLY) {
        calls << QStringLiteral("FT_ListDevices(count,0x%1)").arg(flags, 8, 16, QLatin1Char('0'));
        if (const FT_STATUS s = result("FT_ListDevices"))
            return s;
        *static_cast<DWORD *>(pArg1) = static_cast<DWORD>(devices.size());
        return ft::OK;
    }
    const auto index = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(pArg1));
    calls << QStringLiteral("FT_ListDevices(%1,buffer,0x%2)").arg(index).arg(flags, 8, 16, QLatin1Char('0'));
    if (const FT_STATUS s = result("FT_ListDevices"))
        return s;
    if (index >= devices.size())
        return ft::DEVICE_NOT_FOUND;
    const QByteArray &text = (flags & ft::OPEN_BY_DESCRIPTION) ? devices[index].description : devices[index].serial;
    std::memset(pArg2, 0, ft::kListBufferSize);
    std::memcpy(pArg2, text.constData(), std::min<qsizetype>(text.size(), ft::kListBufferSize - 1));
    return ft::OK;
}

FT_STATUS RecordingFtd2xx::FT_OpenEx(void *pArg1, DWORD flags, FT_HANDLE *handle)
{
    openedSerial = QByteArray(static_cast<const char *>(pArg1));
    calls << QStringLiteral("FT_OpenEx(%1,%2)").arg(QString::fromLatin1(openedSerial)).arg(flags);
    if (const FT_STATUS s = result("FT_OpenEx"))
        return s;
    *handle = nextHandle++;
    open = true;
    return ft::OK;
}

FT_STATUS RecordingFtd2xx::FT_Close(FT_HANDLE handle)
{
    calls << QStringLiteral("FT_Close(%1)").arg(handle);
    if (const FT_STATUS s = result("FT_Close"))
        return s;
    open = false;
    return ft::OK;
}

FT_STATUS RecordingFtd2xx::FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    calls << QStringLiteral("FT_SetBaudRate(%1)").arg(baudRate);
    return result("FT_SetBaudRate");
}

FT_STATUS RecordingFtd2xx::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    calls << QStringLiteral("FT_SetDataCharacteristics(%1,%2,%3)").arg(wordLength).arg(stopBits).arg(parity);
    return result("FT_SetDataCharacteristics");
}

FT_STATUS RecordingFtd2xx::FT_Purge(FT_HANDLE handle, ULONG mask)
{
    calls << QStringLiteral("FT_Purge(%1)").arg(mask);
    if (const FT_STATUS s = result("FT_Purge"))
        return s;
    if (mask & ft::PURGE_RX)
        rx.clear();
    return ft::OK;
}

FT_STATUS RecordingFtd2xx::FT_GetQueueStatus(FT_HANDLE handle, DWORD *rxBytes)
{
    if (!open)
        return ft::INVALID_HANDLE;
    if (const FT_STATUS s = result("FT_GetQueueStatus"))
        return s;
    *rxBytes = static_cast<DWORD>(rx.size());
    return ft::OK;
}

FT_STATUS RecordingFtd2xx::FT_Read(FT_HANDLE handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    if (!open) {
        *bytesReturned = 0;
        return ft::INVALID_HANDLE;
    }
    if (const FT_STATUS s = result("FT_Read")) {
        *bytesReturned = 0;
        return s;
    }
    const auto n = std::min<qsizetype>(bytesToRead, rx.size());
    if (n > 0) {
        calls << QStringLiteral("FT_Read(%1)").arg(n);
        std::memcpy(buffer, rx.constData(), static_cast<std::size_t>(n));
    }
    rx.remove(0, n);
    *bytesReturned = static_cast<DWORD>(n);
    return ft::OK;
}

FT_STATUS RecordingFtd2xx::FT_Write(FT_HANDLE handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    const QByteArray bytes(static_cast<const char *>(buffer), bytesToWrite);
    calls << QStringLiteral("FT_Write(%1)").arg(bytesToWrite);
    if (const FT_STATUS s = open ? result("FT_Write") : FT_STATUS(ft::INVALID_HANDLE)) {
        *bytesWritten = 0;
        return s;
    }
    writes.push_back(bytes);
    *bytesWritten = bytesToWrite;
    if (onWrite)
        onWrite(bytes);
    return ft::OK;
}

FT_STATUS RecordingFtd2xx::FT_SetLatencyTimer(FT_HANDLE, UCHAR ms)
{
    calls << QStringLiteral("FT_SetLatencyTimer(%1)").arg(ms);
    if (const FT_STATUS s = result("FT_SetLatencyTimer"))
        return s;
    latency = ms;
    return ft::OK;
}

FT_STATUS RecordingFtd2xx::FT_GetLatencyTimer(FT_HANDLE, UCHAR *ms)
{
    calls << QStringLiteral("FT_GetLatencyTimer()");
    if (const FT_STATUS s = result("FT_GetLatencyTimer"))
        return s;
    *ms = latency;
    return ft::OK;
}
