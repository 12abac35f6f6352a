#pragma once

#include "Ftd2xx.h"

#include <map>
#include <memory>
#include <string>

// FTDI's own D2XX library, loaded at run time when it is installed. Without
// it this driver lists no devices and every other call gives
// DEVICE_NOT_FOUND. The library's handles are pointers; the editor gets
// 32-bit handles of ours in their place. The library keeps its own receive
// queue, so there is no reader thread and no data callback here.
class LibFtd2xxDriver : public Ftd2xx {
public:
    explicit LibFtd2xxDriver(const std::string &library = "libftd2xx.so");
    ~LibFtd2xxDriver() override;

    bool isLoaded() const { return m_api != nullptr; }

    FT_STATUS FT_ListDevices(void *pArg1, void *pArg2, DWORD flags) override;
    FT_STATUS FT_OpenEx(void *pArg1, DWORD flags, FT_HANDLE *handle) override;
    FT_STATUS FT_Close(FT_HANDLE handle) override;
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) override;
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override;
    FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override;
    FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD *rxBytes) override;
    FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned) override;
    FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten) override;
    // NOT_SUPPORTED from a library without them.
    FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR ms) override;
    FT_STATUS FT_GetLatencyTimer(FT_HANDLE handle, UCHAR *ms) override;
    const char *lastLatencyAdvice() const override { return m_latencyAdvice.c_str(); }
    const char *lastOpenAdvice() const override { return m_advice.c_str(); }
    const char *driverName(DWORD) const override { return "FTDI library"; }

    // What to tell the player when the library cannot open a bridge.
    static std::string openAdvice(FT_STATUS status, bool kernelDriverLoaded);

private:
    struct Api;
    // The library's handle behind ours, or the status to return.
    FT_STATUS lookup(FT_HANDLE handle, void **libHandle) const;

    std::unique_ptr<Api> m_api;
    std::map<FT_HANDLE, void *> m_handles;
    FT_HANDLE m_nextHandle = 1;
    std::string m_advice;
    std::string m_latencyAdvice;
};
