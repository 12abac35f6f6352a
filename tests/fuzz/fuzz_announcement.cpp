// A virtual pedal's announcement file, as the editor lists bridges from it.
#include "VirtualBridgeDriver.h"

#include <QTemporaryDir>

#include <cstdint>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    {
        std::ofstream out(folder + "/THV00001.bridge", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    }
    VirtualBridgeDriver driver(folder);
    DWORD count = 0;
    if (driver.FT_ListDevices(&count, nullptr, ft::LIST_NUMBER_ONLY) == ft::OK) {
        for (DWORD i = 0; i < count; ++i) {
            char text[ft::kListBufferSize] = {};
            driver.FT_ListDevices(reinterpret_cast<void *>(static_cast<std::uintptr_t>(i)), text,
                                  ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER);
            driver.FT_ListDevices(reinterpret_cast<void *>(static_cast<std::uintptr_t>(i)), text,
                                  ft::LIST_BY_INDEX | ft::OPEN_BY_DESCRIPTION);
        }
    }
    return 0;
}
