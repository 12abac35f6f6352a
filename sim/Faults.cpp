#include "Faults.h"

#include <algorithm>
#include <string>

namespace sim {

std::vector<std::uint8_t> encodeReport(const std::vector<std::uint8_t> &numbers, const Faults &faults)
{
    static constexpr char kGarbage[] = {' ', '?', 'Z'};
    std::size_t count = numbers.size();
    if (faults.shortAnswer >= 0)
        count = std::min(count, static_cast<std::size_t>(faults.shortAnswer));
    std::vector<std::uint8_t> out;
    out.reserve(count * 5);
    int garbageLines = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string digits = std::to_string(numbers[i]);
        out.insert(out.end(), digits.begin(), digits.end());
        if (faults.garbage && i % 8 == 3)
            out.push_back(static_cast<std::uint8_t>(kGarbage[garbageLines++ % 3]));
        out.push_back('\r');
        out.push_back('\n');
    }
    return out;
}

std::vector<std::vector<std::uint8_t>> splitAnswer(const std::vector<std::uint8_t> &answer, const Faults &faults)
{
    const std::size_t pieces = static_cast<std::size_t>(std::max(faults.splitPieces, 1));
    std::vector<std::vector<std::uint8_t>> out;
    const std::size_t base = answer.size() / pieces;
    const std::size_t extra = answer.size() % pieces;
    std::size_t at = 0;
    for (std::size_t k = 0; k < pieces; ++k) {
        const std::size_t n = base + (k < extra ? 1 : 0);
        if (n > 0)
            out.emplace_back(answer.begin() + static_cast<std::ptrdiff_t>(at),
                             answer.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    }
    return out;
}

} // namespace sim
