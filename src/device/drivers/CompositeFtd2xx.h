#pragma once

#include "Ftd2xx.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// The Ftd2xx the editor uses: the devices of several drivers as one list, in
// the drivers' order. A serial number that more than one driver lists is
// listed once, by the first of them (the kernel's serial driver comes before
// FTDI's library, so a bridge the kernel has bound is opened through the
// kernel). Counting takes a fresh look at every driver; the by-index calls
// answer from that look. Handles are ours: unique across the drivers, never
// 0, never given out twice in a run.
class CompositeFtd2xx : public Ftd2xx {
public:
    explicit CompositeFtd2xx(std::vector<std::unique_ptr<Ftd2xx>> drivers);
    ~CompositeFtd2xx() override;

    // Linux serial (/sys, /dev), FTDI's library when installed, virtual bridges.
    static std::unique_ptr<CompositeFtd2xx> createForSystem();

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

    void setDataCallback(std::function<void()> callback) override;
    const char *lastOpenAdvice() const override { return m_advice.c_str(); }
    const char *lastLatencyAdvice() const override { return m_latencyAdvice.c_str(); }
    bool isVirtualBridge(FT_HANDLE handle) const override;
    const char *driverName(DWORD index) const override;
    // Every driver's, in the drivers' order.
    std::vector<std::string> takeListingNotes() override;

    // The driver behind a handle, or null.
    Ftd2xx *driverOf(FT_HANDLE handle) const;

private:
    struct Listed {
        Ftd2xx *driver;
        std::string serial;
        std::string description;
    };
    struct Route {
        Ftd2xx *driver;
        FT_HANDLE handle; // the driver's own
    };

    void enumerate();
    const Route *route(FT_HANDLE handle) const;

    std::vector<std::unique_ptr<Ftd2xx>> m_drivers;
    std::vector<Listed> m_listed;
    bool m_enumerated = false;
    std::map<FT_HANDLE, Route> m_routes;
    FT_HANDLE m_nextHandle = 1;
    std::string m_advice;
    std::string m_latencyAdvice;
};
