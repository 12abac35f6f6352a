// A stand-in for FTDI's library with the same C entry points: two
// devices, each echoing what is written to it. Handles are heap pointers, as
// in the real library, so they do not fit in 32 bits.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Device {
    std::string serial;
    std::vector<char> echo;
    unsigned char latency = 16;
};

const char *const kSerials[] = {"LIB1", "LIB2"};
const char *const kDescriptions[] = {"Library One", "Library Two"};
std::uint32_t g_lastBaud = 0;
int g_openCount = 0;

} // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT std::uint32_t FT_ListDevices(void *arg1, void *arg2, std::uint32_t flags)
{
    if (flags == 0x80000000u) {
        *static_cast<std::uint32_t *>(arg1) = 2;
        return 0;
    }
    const auto index = reinterpret_cast<std::uintptr_t>(arg1);
    if (index >= 2)
        return 2;
    std::strcpy(static_cast<char *>(arg2), (flags & 3) == 1 ? kSerials[index] : kDescriptions[index]);
    return 0;
}

EXPORT std::uint32_t FT_OpenEx(void *arg1, std::uint32_t flags, void **handle)
{
    for (const char *serial : kSerials)
        if (flags == 1 && std::strcmp(static_cast<const char *>(arg1), serial) == 0) {
            *handle = new Device{serial, {}};
            ++g_openCount;
            return 0;
        }
    return 2;
}

EXPORT std::uint32_t FT_Close(void *handle)
{
    delete static_cast<Device *>(handle);
    --g_openCount;
    return 0;
}

EXPORT std::uint32_t FT_SetBaudRate(void *, std::uint32_t baud)
{
    g_lastBaud = baud;
    return baud == 115200 ? 0 : 7;
}

EXPORT std::uint32_t FT_SetDataCharacteristics(void *, unsigned char, unsigned char, unsigned char)
{
    return 0;
}

EXPORT std::uint32_t FT_Purge(void *handle, std::uint32_t mask)
{
    if (mask & 1)
        static_cast<Device *>(handle)->echo.clear();
    return 0;
}

EXPORT std::uint32_t FT_GetQueueStatus(void *handle, std::uint32_t *rx)
{
    *rx = static_cast<std::uint32_t>(static_cast<Device *>(handle)->echo.size());
    return 0;
}

EXPORT std::uint32_t FT_Read(void *handle, void *buffer, std::uint32_t count, std::uint32_t *got)
{
    auto &echo = static_cast<Device *>(handle)->echo;
    *got = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(echo.size()));
    std::memcpy(buffer, echo.data(), *got);
    echo.erase(echo.begin(), echo.begin() + *got);
    return 0;
}

EXPORT std::uint32_t FT_Write(void *handle, void *buffer, std::uint32_t count, std::uint32_t *written)
{
    auto &echo = static_cast<Device *>(handle)->echo;
    echo.insert(echo.end(), static_cast<char *>(buffer), static_cast<char *>(buffer) + count);
    *written = count;
    return 0;
}

EXPORT std::uint32_t FT_SetLatencyTimer(void *handle, unsigned char ms)
{
    if (ms < 2)
        return 6; // as a chip that takes 2 to 255
    static_cast<Device *>(handle)->latency = ms;
    return 0;
}

EXPORT std::uint32_t FT_GetLatencyTimer(void *handle, unsigned char *ms)
{
    *ms = static_cast<Device *>(handle)->latency;
    return 0;
}

// For the tests' eyes only.
EXPORT std::uint32_t fake_last_baud()
{
    return g_lastBaud;
}

EXPORT int fake_open_count()
{
    return g_openCount;
}
