#pragma once

#include "Ftd2xx.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace listtext {

// The index that FT_ListDevices's by-index forms carry in their first argument.
inline std::size_t indexOf(void *arg)
{
    return static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(arg));
}

// Copies a serial number or description into the caller's 64-byte buffer,
// cut to 63 bytes and always terminated.
inline FT_STATUS copyTo(void *buffer, const std::string &text)
{
    if (!buffer)
        return ft::INVALID_PARAMETER;
    const std::size_t n = std::min<std::size_t>(text.size(), ft::kListBufferSize - 1);
    std::memcpy(buffer, text.data(), n);
    static_cast<char *>(buffer)[n] = '\0';
    return ft::OK;
}

// Which field a by-index list or an open names, from the low bits of its flags.
enum class Field { Serial, Description, None };

inline Field fieldOf(DWORD flags)
{
    switch (flags & 0xFF) {
    case ft::OPEN_BY_SERIAL_NUMBER:
        return Field::Serial;
    case ft::OPEN_BY_DESCRIPTION:
        return Field::Description;
    default:
        return Field::None;
    }
}

} // namespace listtext
