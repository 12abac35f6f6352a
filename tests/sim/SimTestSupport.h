#pragma once

#include "PedalSimulator.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

// "0F BA 02" or "0FBA02" -> bytes.
inline Bytes bytes(std::string_view hex)
{
    Bytes out;
    int high = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else
            continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

inline std::string text(const Bytes &b)
{
    return std::string(b.begin(), b.end());
}

// The state report read strictly: every line one to three decimal digits
// without leading zeros, value at most 255, ended by CR LF; nothing else.
inline std::optional<std::vector<int>> strictNumbers(const Bytes &answer)
{
    std::vector<int> numbers;
    std::size_t at = 0;
    while (at < answer.size()) {
        std::size_t end = at;
        while (end < answer.size() && answer[end] >= '0' && answer[end] <= '9')
            ++end;
        const std::size_t digits = end - at;
        if (digits < 1 || digits > 3 || (digits > 1 && answer[at] == '0'))
            return std::nullopt;
        if (end + 1 >= answer.size() || answer[end] != '\r' || answer[end + 1] != '\n')
            return std::nullopt;
        const int v = std::stoi(std::string(answer.begin() + at, answer.begin() + end));
        if (v > 255)
            return std::nullopt;
        numbers.push_back(v);
        at = end + 2;
    }
    return numbers;
}

// An algorithm image: length field, 22 fields from `field(i)`, made-up body.
template <typename FieldFn>
Bytes makeImage(std::size_t length, FieldFn field)
{
    Bytes b(length);
    b[0] = static_cast<std::uint8_t>(length >> 16);
    b[1] = static_cast<std::uint8_t>(length >> 8);
    b[2] = static_cast<std::uint8_t>(length);
    for (int i = 0; i < 22; ++i) {
        const std::uint16_t v = field(i);
        b[3 + 2 * i] = static_cast<std::uint8_t>(v >> 8);
        b[4 + 2 * i] = static_cast<std::uint8_t>(v);
    }
    for (std::size_t i = 47; i < length; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return b;
}

inline std::string hexText(const Bytes &b)
{
    static constexpr char d[] = "0123456789ABCDEF";
    std::string s;
    for (auto x : b) {
        s += d[x >> 4];
        s += d[x & 15];
    }
    return s;
}

// A carried image of the project, as the raw bytes the editor uploads.
inline Bytes carriedImage(int algorithm)
{
    char name[32];
    std::snprintf(name, sizeof name, "/THARNVIK_MK3_%04d", algorithm);
    std::ifstream in(std::string(sim::kDefaultPayloadDir) + name);
    std::string hex;
    std::getline(in, hex);
    return bytes(hex);
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tharnvik-sim-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return m_path; }
    void write(const std::string &name, const std::string &content) const
    {
        std::ofstream(m_path + "/" + name, std::ios::binary) << content;
    }

private:
    std::string m_path;
};

} // namespace simtest
