#pragma once

#include "Ftd2xx.h"
#include "PedalSimulator.h"

#include <QByteArray>

#include <functional>
#include <memory>

class Clock;

// The virtual pedal behind one bridge, in-process, on the test's clock.
class SimBridge final : public Ftd2xx {
public:
    SimBridge(Clock &clock, sim::Config config = {}, QByteArray serial = "THV00001",
              QByteArray description = "Tharnvik MK3");

    sim::PedalSimulator &pedal() { return *m_pedal; }
    // Pulls the cable: every call on the open handle fails with IO_ERROR.
    void hangUp() { m_dropped = true; }
    // After a hang-up, the next open finds the pedal plugged in again: a
    // fresh pedal made from this configuration.
    bool replug = false;
    sim::Config replugConfig;
    bool isOpen() const { return m_open; }
    bool pulled() const { return m_dropped || m_pedal->hungUp(); }
    UCHAR parity() const { return m_parity; }
    bool isVirtualBridge(FT_HANDLE) const override { return true; }
    std::vector<QByteArray> writes;
    // Calls refused because the cable was pulled.
    mutable int ioErrors = 0;

    FT_STATUS FT_ListDevices(void *pArg1, void *pArg2, DWORD flags) override;
    FT_STATUS FT_OpenEx(void *pArg1, DWORD flags, FT_HANDLE *handle) override;
    FT_STATUS FT_Close(FT_HANDLE handle) override;
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) override;
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override;
    FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override;
    FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD *rxBytes) override;
    FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned) override;
    FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten) override;
    // The pedal's bridge latency timer (what a paced pedal holds its answers for).
    FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR ms) override;
    FT_STATUS FT_GetLatencyTimer(FT_HANDLE handle, UCHAR *ms) override;

private:
    FT_STATUS check(FT_HANDLE handle) const;
    void pull();

    Clock &m_clock;
    std::unique_ptr<sim::PedalSimulator> m_pedal;
    QByteArray m_serial, m_description;
    QByteArray m_rx;
    bool m_open = false;
    FT_HANDLE m_handle = 0;
    FT_HANDLE m_nextHandle = 0x00C0FFEE;
    UCHAR m_parity = 0;
    bool m_dropped = false;
};
