#include "SimBridge.h"

#include "Services.h"

#include <cstdint>
#include <cstring>

SimBridge::SimBridge(Clock &clock, sim::Config config, QByteArray serial, QByteArray description)
    : m_clock(clock),
      m_pedal(std::make_unique<sim::PedalSimulator>(std::move(config))),
      m_serial(std::move(serial)),
      m_description(std::move(description))
{
}

FT_STATUS SimBridge::check(FT_HANDLE handle) const
{
    if (!m_open || handle != m_handle)
        return ft::INVALID_HANDLE;
    if (m_dropped || m_pedal->hungUp()) {
        ++ioErrors;
        return ft::IO_ERROR;
    }
    return ft::OK;
}

void SimBridge::pull()
{
    const std::vector<std::uint8_t> out = m_pedal->takeOutput(m_clock.nowMs());
    m_rx.append(reinterpret_cast<const char *>(out.data()), static_cast<qsizetype>(out.size()));
}

FT_STATUS SimBridge::FT_ListDevices(void *pArg1, void *pArg2, DWORD flags)
{
    if (flags == ft::LIST_NUMBER_ONLY) {
        *static_cast<DWORD *>(pArg1) = 1;
        return ft::OK;
    }
    if (reinterpret_cast<std::uintptr_t>(pArg1) != 0)
        return ft::DEVICE_NOT_FOUND;
    const QByteArray &text = (flags & ft::OPEN_BY_DESCRIPTION) ? m_description : m_serial;
    std::memset(pArg2, 0, ft::kListBufferSize);
    std::memcpy(pArg2, text.constData(), static_cast<std::size_t>(text.size()));
    return ft::OK;
}

FT_STATUS SimBridge::FT_OpenEx(void *pArg1, DWORD flags, FT_HANDLE *handle)
{
    if (flags != ft::OPEN_BY_SERIAL_NUMBER || QByteArray(static_cast<const char *>(pArg1)) != m_serial)
        return ft::DEVICE_NOT_FOUND;
    if (replug && (m_dropped || m_pedal->hungUp())) {
        m_pedal = std::make_unique<sim::PedalSimulator>(replugConfig);
        m_dropped = false;
        m_rx.clear();
    }
    m_open = true;
    m_handle = m_nextHandle++;
    *handle = m_handle;
    return ft::OK;
}

FT_STATUS SimBridge::FT_Close(FT_HANDLE handle)
{
    if (!m_open || handle != m_handle)
        return ft::INVALID_HANDLE;
    m_open = false;
    return ft::OK;
}

FT_STATUS SimBridge::FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return baudRate == 115200 ? check(handle) : ft::INVALID_BAUD_RATE;
}

FT_STATUS SimBridge::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR, UCHAR, UCHAR parity)
{
    m_parity = parity;
    return check(handle);
}

FT_STATUS SimBridge::FT_Purge(FT_HANDLE handle, ULONG mask)
{
    if (const FT_STATUS s = check(handle))
        return s;
    if (mask & ft::PURGE_RX)
        m_rx.clear();
    return ft::OK;
}

FT_STATUS SimBridge::FT_GetQueueStatus(FT_HANDLE handle, DWORD *rxBytes)
{
    if (const FT_STATUS s = check(handle))
        return s;
    pull();
    *rxBytes = static_cast<DWORD>(m_rx.size());
    return ft::OK;
}

FT_STATUS SimBridge::FT_Read(FT_HANDLE handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    *bytesReturned = 0;
    if (const FT_STATUS s = check(handle))
        return s;
    pull();
    const auto n = std::min<qsizetype>(bytesToRead, m_rx.size());
    std::memcpy(buffer, m_rx.constData(), static_cast<std::size_t>(n));
    m_rx.remove(0, n);
    *bytesReturned = static_cast<DWORD>(n);
    return ft::OK;
}

FT_STATUS SimBridge::FT_Write(FT_HANDLE handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    *bytesWritten = 0;
    if (const FT_STATUS s = check(handle))
        return s;
    writes.emplace_back(static_cast<const char *>(buffer), bytesToWrite);
    m_pedal->receive(static_cast<const std::uint8_t *>(buffer), bytesToWrite, m_clock.nowMs());
    *bytesWritten = bytesToWrite;
    return ft::OK;
}

FT_STATUS SimBridge::FT_SetLatencyTimer(FT_HANDLE handle, UCHAR ms)
{
    if (const FT_STATUS s = check(handle))
        return s;
    if (ms == 0)
        return ft::INVALID_PARAMETER;
    m_pedal->setBridgeLatencyMs(ms);
    return ft::OK;
}

FT_STATUS SimBridge::FT_GetLatencyTimer(FT_HANDLE handle, UCHAR *ms)
{
    if (const FT_STATUS s = check(handle))
        return s;
    *ms = static_cast<UCHAR>(m_pedal->bridgeLatencyMs());
    return ft::OK;
}
