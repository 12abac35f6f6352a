#include "AlgorithmImage.h"

#include "SimProtocol.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace sim {

AlgorithmImage::AlgorithmImage(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

namespace {
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
} // namespace

std::optional<AlgorithmImage> AlgorithmImage::fromHexText(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = hexValue(text[i]);
        const int lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return AlgorithmImage(std::move(bytes));
}

std::optional<AlgorithmImage> AlgorithmImage::loadCarried(const std::string &folder, int algorithm)
{
    if (folder.empty() || algorithm < 0 || algorithm > 9999)
        return std::nullopt;
    char name[32];
    std::snprintf(name, sizeof name, "THARNVIK_MK3_%04d", algorithm);
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const std::string &file : {std::string(name), lower}) {
        std::ifstream in(folder + "/" + file, std::ios::binary);
        if (!in)
            continue;
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto image = fromHexText(text);
        if (image && image->valid())
            return image;
    }
    return std::nullopt;
}

AlgorithmImage AlgorithmImage::builtIn(int algorithm)
{
    // Header, then a made-up body; addresses 0x0100 + 5 * field, all distinct.
    const std::size_t length = kImageHeaderBytes + 209;
    std::vector<std::uint8_t> bytes(length);
    bytes[0] = static_cast<std::uint8_t>(length >> 16);
    bytes[1] = static_cast<std::uint8_t>(length >> 8);
    bytes[2] = static_cast<std::uint8_t>(length);
    for (int f = 0; f < kImageFieldCount; ++f) {
        std::uint16_t value = static_cast<std::uint16_t>(0x0100 + 5 * f);
        if (f == kAlgorithmNumberField)
            value = reportedCode(algorithm);
        bytes[kImageLengthBytes + 2 * f] = static_cast<std::uint8_t>(value >> 8);
        bytes[kImageLengthBytes + 2 * f + 1] = static_cast<std::uint8_t>(value);
    }
    std::uint32_t x = 0x7A3Du + static_cast<std::uint32_t>(algorithm);
    for (std::size_t i = kImageHeaderBytes; i < length; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<std::uint8_t>(x >> 16);
    }
    return AlgorithmImage(std::move(bytes));
}

std::uint16_t AlgorithmImage::reportedCode(int number)
{
    std::uint16_t code = 0;
    int shift = 0;
    for (int n = std::max(number, 0) % 10000; shift < 16; n /= 10, shift += 4)
        code = static_cast<std::uint16_t>(code | ((n % 10) << shift));
    return code;
}

bool AlgorithmImage::valid() const
{
    return m_bytes.size() >= kImageHeaderBytes && lengthField() == m_bytes.size();
}

std::uint32_t AlgorithmImage::lengthField() const
{
    if (m_bytes.size() < kImageLengthBytes)
        return 0;
    return (std::uint32_t(m_bytes[0]) << 16) | (std::uint32_t(m_bytes[1]) << 8) | m_bytes[2];
}

std::uint16_t AlgorithmImage::field(int index) const
{
    const std::size_t at = kImageLengthBytes + 2 * static_cast<std::size_t>(index);
    if (index < 0 || index >= kImageFieldCount || at + 1 >= m_bytes.size())
        return 0xFFFF;
    return static_cast<std::uint16_t>((m_bytes[at] << 8) | m_bytes[at + 1]);
}

std::uint16_t AlgorithmImage::algorithmCode() const
{
    return field(kAlgorithmNumberField);
}

std::uint16_t AlgorithmImage::parameterAddress(int parameter) const
{
    const int f = addressField(parameter);
    return f < 0 ? kRangeAddress : field(f);
}

std::vector<int> AlgorithmImage::parametersAt(std::uint16_t address) const
{
    std::vector<int> found;
    for (int p = 0; p < kParameterCount; ++p)
        if (parameterAddress(p) == address)
            found.push_back(p);
    return found;
}

} // namespace sim
