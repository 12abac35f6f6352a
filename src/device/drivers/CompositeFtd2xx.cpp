#include "CompositeFtd2xx.h"

#include "LibFtd2xxDriver.h"
#include "LinuxSerialDriver.h"
#include "ListText.h"
#include "VirtualBridgeDriver.h"

#include <set>

CompositeFtd2xx::CompositeFtd2xx(std::vector<std::unique_ptr<Ftd2xx>> drivers)
    : m_drivers(std::move(drivers))
{
}

CompositeFtd2xx::~CompositeFtd2xx() = default;

std::unique_ptr<CompositeFtd2xx> CompositeFtd2xx::createForSystem()
{
    std::vector<std::unique_ptr<Ftd2xx>> drivers;
    drivers.push_back(std::make_unique<LinuxSerialDriver>());
    drivers.push_back(std::make_unique<LibFtd2xxDriver>());
    drivers.push_back(std::make_unique<VirtualBridgeDriver>());
    return std::make_unique<CompositeFtd2xx>(std::move(drivers));
}

void CompositeFtd2xx::enumerate()
{
    m_listed.clear();
    m_enumerated = true;
    std::set<std::string> serials;
    for (const auto &driver : m_drivers) {
        DWORD count = 0;
        if (driver->FT_ListDevices(&count, nullptr, ft::LIST_NUMBER_ONLY) != ft::OK)
            continue;
        for (DWORD i = 0; i < count; ++i) {
            char serial[ft::kListBufferSize] = {};
            char description[ft::kListBufferSize] = {};
            void *index = reinterpret_cast<void *>(static_cast<std::uintptr_t>(i));
            if (driver->FT_ListDevices(index, serial, ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER) != ft::OK)
                continue;
            driver->FT_ListDevices(index, description, ft::LIST_BY_INDEX | ft::OPEN_BY_DESCRIPTION);
            serial[ft::kListBufferSize - 1] = '\0';
            description[ft::kListBufferSize - 1] = '\0';
            // A bridge without a serial number cannot be told apart from another: keep each.
            if (serial[0] != '\0' && !serials.insert(serial).second)
                continue;
            m_listed.push_back({driver.get(), serial, description});
        }
    }
}

std::vector<std::string> CompositeFtd2xx::takeListingNotes()
{
    std::vector<std::string> notes;
    for (const auto &driver : m_drivers)
        for (std::string &note : driver->takeListingNotes())
            notes.push_back(std::move(note));
    return notes;
}

FT_STATUS CompositeFtd2xx::FT_ListDevices(void *pArg1, void *pArg2, DWORD flags)
{
    if (flags == ft::LIST_NUMBER_ONLY) {
        if (!pArg1)
            return ft::INVALID_PARAMETER;
        enumerate();
        *static_cast<DWORD *>(pArg1) = static_cast<DWORD>(m_listed.size());
        return ft::OK;
    }
    const listtext::Field field = listtext::fieldOf(flags);
    if (!(flags & ft::LIST_BY_INDEX) || field == listtext::Field::None)
        return ft::INVALID_PARAMETER;
    if (!m_enumerated)
        enumerate();
    const std::size_t index = listtext::indexOf(pArg1);
    if (index >= m_listed.size())
        return ft::DEVICE_NOT_FOUND;
    const Listed &listed = m_listed[index];
    return listtext::copyTo(pArg2, field == listtext::Field::Serial ? listed.serial : listed.description);
}

FT_STATUS CompositeFtd2xx::FT_OpenEx(void *pArg1, DWORD flags, FT_HANDLE *handle)
{
    m_advice.clear();
    const listtext::Field field = listtext::fieldOf(flags);
    if (!pArg1 || !handle || field == listtext::Field::None)
        return ft::INVALID_PARAMETER;
    const std::string wanted(static_cast<const char *>(pArg1));
    auto find = [&]() -> Ftd2xx * {
        for (const Listed &l : m_listed)
            if ((field == listtext::Field::Serial ? l.serial : l.description) == wanted)
                return l.driver;
        return nullptr;
    };
    Ftd2xx *driver = find();
    if (!driver) {
        enumerate();
        driver = find();
    }
    if (!driver)
        return ft::DEVICE_NOT_FOUND;

    FT_HANDLE inner = 0;
    const FT_STATUS status = driver->FT_OpenEx(pArg1, flags, &inner);
    if (status != ft::OK) {
        m_advice = driver->lastOpenAdvice();
        return status;
    }
    const FT_HANDLE h = m_nextHandle++;
    m_routes.emplace(h, Route{driver, inner});
    *handle = h;
    return ft::OK;
}

const CompositeFtd2xx::Route *CompositeFtd2xx::route(FT_HANDLE handle) const
{
    const auto it = m_routes.find(handle);
    return it == m_routes.end() ? nullptr : &it->second;
}

Ftd2xx *CompositeFtd2xx::driverOf(FT_HANDLE handle) const
{
    const Route *r = route(handle);
    return r ? r->driver : nullptr;
}

FT_STATUS CompositeFtd2xx::FT_Close(FT_HANDLE handle)
{
    const Route *r = route(handle);
    if (!r)
        return ft::INVALID_HANDLE;
    const FT_STATUS status = r->driver->FT_Close(r->handle);
    m_routes.erase(handle);
    return status;
}

FT_STATUS CompositeFtd2xx::FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    const Route *r = route(handle);
    return r ? r->driver->FT_SetBaudRate(r->handle, baudRate) : ft::INVALID_HANDLE;
}

FT_STATUS CompositeFtd2xx::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                                     UCHAR parity)
{
    const Route *r = route(handle);
    return r ? r->driver->FT_SetDataCharacteristics(r->handle, wordLength, stopBits, parity) : ft::INVALID_HANDLE;
}

FT_STATUS CompositeFtd2xx::FT_Purge(FT_HANDLE handle, ULONG mask)
{
    const Route *r = route(handle);
    return r ? r->driver->FT_Purge(r->handle, mask) : ft::INVALID_HANDLE;
}

FT_STATUS CompositeFtd2xx::FT_GetQueueStatus(FT_HANDLE handle, DWORD *rxBytes)
{
    const Route *r = route(handle);
    return r ? r->driver->FT_GetQueueStatus(r->handle, rxBytes) : ft::INVALID_HANDLE;
}

FT_STATUS CompositeFtd2xx::FT_Read(FT_HANDLE handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    if (const Route *r = route(handle))
        return r->driver->FT_Read(r->handle, buffer, bytesToRead, bytesReturned);
    if (bytesReturned)
        *bytesReturned = 0;
    return ft::INVALID_HANDLE;
}

FT_STATUS CompositeFtd2xx::FT_Write(FT_HANDLE handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    if (const Route *r = route(handle))
        return r->driver->FT_Write(r->handle, buffer, bytesToWrite, bytesWritten);
    if (bytesWritten)
        *bytesWritten = 0;
    return ft::INVALID_HANDLE;
}

FT_STATUS CompositeFtd2xx::FT_SetLatencyTimer(FT_HANDLE handle, UCHAR ms)
{
    m_latencyAdvice.clear();
    const Route *r = route(handle);
    if (!r)
        return ft::INVALID_HANDLE;
    const FT_STATUS status = r->driver->FT_SetLatencyTimer(r->handle, ms);
    if (status != ft::OK)
        m_latencyAdvice = r->driver->lastLatencyAdvice();
    return status;
}

FT_STATUS CompositeFtd2xx::FT_GetLatencyTimer(FT_HANDLE handle, UCHAR *ms)
{
    const Route *r = route(handle);
    return r ? r->driver->FT_GetLatencyTimer(r->handle, ms) : ft::INVALID_HANDLE;
}

void CompositeFtd2xx::setDataCallback(std::function<void()> callback)
{
    for (const auto &driver : m_drivers)
        driver->setDataCallback(callback);
}

bool CompositeFtd2xx::isVirtualBridge(FT_HANDLE handle) const
{
    const Ftd2xx *driver = driverOf(handle);
    return driver && driver->isVirtualBridge(handle);
}

const char *CompositeFtd2xx::driverName(DWORD index) const
{
    return index < m_listed.size() ? m_listed[index].driver->driverName(0) : "";
}
