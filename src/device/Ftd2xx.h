#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The entry points of FTDI's D2XX library that the editor uses.
// Everything that talks to a bridge (the Linux serial driver, FTDI's own
// library, virtual bridges, the test fakes) sits behind this.

using FT_STATUS = std::uint32_t;
using FT_HANDLE = std::uint32_t; // 0: none
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UCHAR = std::uint8_t;

namespace ft {

enum Status : FT_STATUS {
    OK = 0,
    INVALID_HANDLE = 1,
    DEVICE_NOT_FOUND = 2,
    DEVICE_NOT_OPENED = 3,
    IO_ERROR = 4,
    INSUFFICIENT_RESOURCES = 5,
    INVALID_PARAMETER = 6,
    INVALID_BAUD_RATE = 7,
    DEVICE_NOT_OPENED_FOR_ERASE = 8,
    DEVICE_NOT_OPENED_FOR_WRITE = 9,
    FAILED_TO_WRITE_DEVICE = 10,
    EEPROM_READ_FAILED = 11,
    EEPROM_WRITE_FAILED = 12,
    EEPROM_ERASE_FAILED = 13,
    EEPROM_NOT_PRESENT = 14,
    EEPROM_NOT_PROGRAMMED = 15,
    INVALID_ARGS = 16,
    NOT_SUPPORTED = 17,
    OTHER_ERROR = 18,
};

constexpr DWORD LIST_NUMBER_ONLY = 0x80000000;
constexpr DWORD LIST_BY_INDEX = 0x40000000;
constexpr DWORD LIST_ALL = 0x20000000;
constexpr DWORD OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD OPEN_BY_DESCRIPTION = 2;

constexpr UCHAR BITS_8 = 8;
constexpr UCHAR BITS_7 = 7;
constexpr UCHAR STOP_BITS_1 = 0;
constexpr UCHAR STOP_BITS_2 = 2;
constexpr UCHAR PARITY_NONE = 0;
constexpr UCHAR PARITY_ODD = 1;
constexpr UCHAR PARITY_EVEN = 2;

constexpr ULONG PURGE_RX = 1;
constexpr ULONG PURGE_TX = 2;

// Serial numbers and descriptions are at most 64 bytes with their zero.
constexpr int kListBufferSize = 64;

// The bridge's latency timer: how long it holds received bytes before it
// hands a packet that is not full to the host. 16 ms when nobody changed it.
constexpr UCHAR kDefaultLatencyMs = 16;

} // namespace ft

class Ftd2xx {
public:
    virtual ~Ftd2xx() = default;

    // FT_ListDevices in the three forms the editor uses:
    //  (DWORD *count, nullptr, LIST_NUMBER_ONLY)
    //  (index as pointer-sized integer, char buffer[64], LIST_BY_INDEX | OPEN_BY_SERIAL_NUMBER)
    //  (index as pointer-sized integer, char buffer[64], LIST_BY_INDEX | OPEN_BY_DESCRIPTION)
    virtual FT_STATUS FT_ListDevices(void *pArg1, void *pArg2, DWORD flags) = 0;
    // pArg1: zero-terminated serial number (flags OPEN_BY_SERIAL_NUMBER).
    virtual FT_STATUS FT_OpenEx(void *pArg1, DWORD flags, FT_HANDLE *handle) = 0;
    virtual FT_STATUS FT_Close(FT_HANDLE handle) = 0;
    virtual FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) = 0;
    virtual FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) = 0;
    virtual FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) = 0;
    virtual FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD *rxBytes) = 0;
    virtual FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned) = 0;
    virtual FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten) = 0;
    // The latency timer in milliseconds (1 to 255).
    virtual FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR ms)
    {
        (void)handle;
        (void)ms;
        return ft::NOT_SUPPORTED;
    }
    virtual FT_STATUS FT_GetLatencyTimer(FT_HANDLE handle, UCHAR *ms)
    {
        (void)handle;
        (void)ms;
        return ft::NOT_SUPPORTED;
    }

    // Not part of D2XX: lets a waiting editor sleep until bytes arrive. The
    // callback may be called from any thread, also spuriously; it must only
    // wake the waiter. Drivers that cannot tell leave it unused, and the
    // waiter then looks again after a short while.
    virtual void setDataCallback(std::function<void()> callback) { (void)callback; }
    // True when the handle is a virtual pedal (only a virtual pedal may be
    // sent the made-up images this build may carry).
    virtual bool isVirtualBridge(FT_HANDLE handle) const { (void)handle; return false; }
    // One line of advice for the last failed open (permission, busy port),
    // or empty.
    virtual const char *lastOpenAdvice() const { return ""; }
    // One line after a failed FT_SetLatencyTimer: what the latency stays at
    // and how the user can lower it; or empty.
    virtual const char *lastLatencyAdvice() const { return ""; }
    // Lines for the user about what the listings so far left out and why
    // (an announcement folder that cannot be trusted, and how to fix it),
    // each said once per run; taken, so a line is handed out once.
    virtual std::vector<std::string> takeListingNotes() { return {}; }
    // Which driver lists the device at this index of the last count (a short
    // name for people: "kernel serial", "FTDI library", "virtual bridge").
    virtual const char *driverName(DWORD index) const { (void)index; return "D2XX"; }
};
