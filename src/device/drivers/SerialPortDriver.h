#pragma once

#include "Ftd2xx.h"
#include "SerialPort.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The D2XX calls over serial devices the operating system gives us as paths.
// A subclass says which bridges exist; this class lists them, opens them with
// SerialPort and keeps the handles.
class SerialPortDriver : public Ftd2xx {
public:
    struct Bridge {
        std::string serial;
        std::string description;
        std::string path;
        // Where the latency timer is kept (see SerialPort::LatencyControl).
        SerialPort::LatencyControl latency = {};
        // The path is used only when it opens, without following a link, as
        // a pseudo-terminal of the user's (see PrivateFiles.h).
        bool pseudoTerminalOnly = false;
    };

    explicit SerialPortDriver(SerialPort::OpenFunction openFunction = {});
    ~SerialPortDriver() override;

    // Counting takes a fresh look and keeps it for the by-index calls.
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

    // The open port behind a handle, or null.
    SerialPort *port(FT_HANDLE handle) const;

protected:
    virtual std::vector<Bridge> enumerate() const = 0;

private:
    SerialPort::OpenFunction m_openFunction;
    std::vector<Bridge> m_listed;
    bool m_enumerated = false;
    std::map<FT_HANDLE, std::unique_ptr<SerialPort>> m_ports;
    FT_HANDLE m_nextHandle = 1;
    std::function<void()> m_callback;
    std::string m_advice;
    std::string m_latencyAdvice;
};
