#include "LibFtd2xxDriver.h"

#include <filesystem>
#include <string>
#include <dlfcn.h>

namespace {

// The library's entry points, declared from their documented C
// signatures. Widths are chosen to be right whichever way a given build of
// the library defines its types: the status comes back as the low 32 bits of
// the result, DWORD is 32 bits, and ULONG arguments go out as unsigned long so
// that a callee reading either 32 or 64 bits sees the same value.
using LibHandle = void *;
using LibStatus = std::uint32_t;
using ListDevicesFn = LibStatus (*)(void *, void *, std::uint32_t);
using OpenExFn = LibStatus (*)(void *, std::uint32_t, LibHandle *);
using CloseFn = LibStatus (*)(LibHandle);
using SetBaudRateFn = LibStatus (*)(LibHandle, unsigned long);
using SetDataCharacteristicsFn = LibStatus (*)(LibHandle, unsigned char, unsigned char, unsigned char);
using PurgeFn = LibStatus (*)(LibHandle, unsigned long);
using GetQueueStatusFn = LibStatus (*)(LibHandle, std::uint32_t *);
using ReadFn = LibStatus (*)(LibHandle, void *, std::uint32_t, std::uint32_t *);
using WriteFn = LibStatus (*)(LibHandle, void *, std::uint32_t, std::uint32_t *);
using SetLatencyTimerFn = LibStatus (*)(LibHandle, unsigned char);
using GetLatencyTimerFn = LibStatus (*)(LibHandle, unsigned char *);

template <typename Fn>
bool resolve(void *library, const char *name, Fn &fn)
{
    fn = reinterpret_cast<Fn>(::dlsym(library, name));
    return fn != nullptr;
}

} // namespace

struct LibFtd2xxDriver::Api {
    ListDevicesFn listDevices = nullptr;
    OpenExFn openEx = nullptr;
    CloseFn close = nullptr;
    SetBaudRateFn setBaudRate = nullptr;
    SetDataCharacteristicsFn setDataCharacteristics = nullptr;
    PurgeFn purge = nullptr;
    GetQueueStatusFn getQueueStatus = nullptr;
    ReadFn read = nullptr;
    WriteFn write = nullptr;
    // Optional: without them the latency stays where the library keeps it.
    SetLatencyTimerFn setLatencyTimer = nullptr;
    GetLatencyTimerFn getLatencyTimer = nullptr;
};

LibFtd2xxDriver::LibFtd2xxDriver(const std::string &library)
{
    void *lib = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return;
    auto api = std::make_unique<Api>();
    const bool complete = resolve(lib, "FT_ListDevices", api->listDevices) &&
                          resolve(lib, "FT_OpenEx", api->openEx) && resolve(lib, "FT_Close", api->close) &&
                          resolve(lib, "FT_SetBaudRate", api->setBaudRate) &&
                          resolve(lib, "FT_SetDataCharacteristics", api->setDataCharacteristics) &&
                          resolve(lib, "FT_Purge", api->purge) &&
                          resolve(lib, "FT_GetQueueStatus", api->getQueueStatus) &&
                          resolve(lib, "FT_Read", api->read) && resolve(lib, "FT_Write", api->write);
    if (!complete) {
        ::dlclose(lib);
        return;
    }
    resolve(lib, "FT_SetLatencyTimer", api->setLatencyTimer);
    resolve(lib, "FT_GetLatencyTimer", api->getLatencyTimer);
    // The library stays loaded for the rest of the run: it starts threads of
    // its own, which must not find their code gone.
    m_api = std::move(api);
}

std::string LibFtd2xxDriver::openAdvice(FT_STATUS status, bool kernelDriverLoaded)
{
    if (status != ft::DEVICE_NOT_OPENED)
        return {};
    if (kernelDriverLoaded)
        return "FTDI's library cannot open the bridge while the kernel's ftdi_sio driver holds it: unplug the pedal "
               "and run 'sudo rmmod ftdi_sio', or uninstall FTDI's library so the editor uses /dev/ttyUSB*";
    return "FTDI's library could not open the bridge: close any other program using it, or install the packaged "
           "udev rule if your user lacks permission for USB devices";
}

LibFtd2xxDriver::~LibFtd2xxDriver()
{
    if (m_api)
        for (const auto &[handle, libHandle] : m_handles)
            m_api->close(libHandle);
}

FT_STATUS LibFtd2xxDriver::lookup(FT_HANDLE handle, void **libHandle) const
{
    if (!m_api)
        return ft::DEVICE_NOT_FOUND;
    const auto it = m_handles.find(handle);
    if (it == m_handles.end())
        return ft::INVALID_HANDLE;
    *libHandle = it->second;
    return ft::OK;
}

FT_STATUS LibFtd2xxDriver::FT_ListDevices(void *pArg1, void *pArg2, DWORD flags)
{
    if (!m_api) {
        if (flags == ft::LIST_NUMBER_ONLY && pArg1) {
            *static_cast<DWORD *>(pArg1) = 0;
            return ft::OK;
        }
        return ft::DEVICE_NOT_FOUND;
    }
    return m_api->listDevices(pArg1, pArg2, flags);
}

FT_STATUS LibFtd2xxDriver::FT_OpenEx(void *pArg1, DWORD flags, FT_HANDLE *handle)
{
    if (!m_api)
        return ft::DEVICE_NOT_FOUND;
    if (!handle)
        return ft::INVALID_PARAMETER;
    LibHandle libHandle = nullptr;
    m_advice.clear();
    const FT_STATUS status = m_api->openEx(pArg1, flags, &libHandle);
    if (status != ft::OK) {
        std::error_code ec;
        m_advice = openAdvice(status, std::filesystem::exists("/sys/module/ftdi_sio", ec));
        return status;
    }
    const FT_HANDLE h = m_nextHandle++;
    m_handles.emplace(h, libHandle);
    *handle = h;
    return ft::OK;
}

FT_STATUS LibFtd2xxDriver::FT_Close(FT_HANDLE handle)
{
    void *lib = nullptr;
    if (const FT_STATUS status = lookup(handle, &lib))
        return status;
    m_handles.erase(handle);
    return m_api->close(lib);
}

FT_STATUS LibFtd2xxDriver::FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    void *lib = nullptr;
    if (const FT_STATUS status = lookup(handle, &lib))
        return status;
    return m_api->setBaudRate(lib, baudRate);
}

FT_STATUS LibFtd2xxDriver::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                                     UCHAR parity)
{
    void *lib = nullptr;
    if (const FT_STATUS status = lookup(handle, &lib))
        return status;
    return m_api->setDataCharacteristics(lib, wordLength, stopBits, parity);
}

FT_STATUS LibFtd2xxDriver::FT_Purge(FT_HANDLE handle, ULONG mask)
{
    void *lib = nullptr;
    if (const FT_STATUS status = lookup(handle, &lib))
        return status;
    return m_api->purge(lib, mask);
}

FT_STATUS LibFtd2xxDriver::FT_GetQueueStatus(FT_HANDLE handle, DWORD *rxBytes)
{
    void *lib = nullptr;
    if (const FT_STATUS status = lookup(handle, &lib))
        return status;
    return m_api->getQueueStatus(lib, rxBytes);
}

FT_STATUS LibFtd2xxDriver::FT_Read(FT_HANDLE handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    if (bytesReturned)
        *bytesReturned = 0;
    void *lib = nullptr;
    if (const FT_STATUS status = lookup(handle, &lib))
        return status;
    return m_api->read(lib, buffer, bytesToRead, bytesReturned);
}

FT_STATUS LibFtd2xxDriver::FT_Write(FT_HANDLE handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    if (bytesWritten)
        *bytesWritten = 0;
    void *lib = nullptr;
    if (const FT_STATUS status = lookup(handle, &lib))
        return status;
    return m_api->write(lib, buffer, bytesToWrite, bytesWritten);
}

FT_STATUS LibFtd2xxDriver::FT_SetLatencyTimer(FT_HANDLE handle, UCHAR ms)
{
    m_latencyAdvice.clear();
    void *lib = nullptr;
    if (const FT_STATUS status = lookup(handle, &lib))
        return status;
    const FT_STATUS status = m_api->setLatencyTimer ? m_api->setLatencyTimer(lib, ms) : ft::NOT_SUPPORTED;
    if (status != ft::OK) {
        unsigned char now = ft::kDefaultLatencyMs;
        if (!m_api->getLatencyTimer || m_api->getLatencyTimer(lib, &now) != ft::OK)
            now = ft::kDefaultLatencyMs;
        m_latencyAdvice = "stays at " + std::to_string(now) + " ms (FTDI's library refused " + std::to_string(ms)
            + " ms); to lower it, uninstall FTDI's library so that the editor uses the kernel's ftdi_sio driver, "
              "which lowers it itself";
    }
    return status;
}

FT_STATUS LibFtd2xxDriver::FT_GetLatencyTimer(FT_HANDLE handle, UCHAR *ms)
{
    if (!ms)
        return ft::INVALID_PARAMETER;
    void *lib = nullptr;
    if (const FT_STATUS status = lookup(handle, &lib))
        return status;
    return m_api->getLatencyTimer ? m_api->getLatencyTimer(lib, ms) : ft::NOT_SUPPORTED;
}
