#include "Bootloader.h"

namespace sim {

std::vector<std::uint8_t> SilentBootloader::receive(const std::uint8_t *, std::size_t size, std::int64_t)
{
    if (!m_noted && size > 0) {
        note("bootloader: not modelled yet, bytes are taken in and not answered");
        m_noted = true;
    }
    return {};
}

} // namespace sim
