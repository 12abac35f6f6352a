#include "Bootloader.h"

namespace sim {

std::vector<BootloaderReply> SilentBootloader::receive(const std::uint8_t *, std::size_t size, std::int64_t)
{
    if (!m_noted && size > 0) {
        note("bootloader: silent, bytes are taken in and not answered");
        m_noted = true;
    }
    return {};
}

} // namespace sim
