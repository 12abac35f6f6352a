#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The DSP program the pedal runs: raw bytes whose header holds the image
// length and the DSP addresses of the effect parameters.
class AlgorithmImage {
public:
    AlgorithmImage() = default;
    // Takes the bytes as they are; valid() tells whether the header is whole.
    explicit AlgorithmImage(std::vector<std::uint8_t> bytes);

    // Parses one line of hex digits (two per byte; case ignored; trailing
    // CR/LF/blanks allowed). Empty result on any other character or an odd count.
    static std::optional<AlgorithmImage> fromHexText(std::string_view text);
    // Reads the carried image of `algorithm` (file THARNVIK_MK3_<4 digits>,
    // also tried in lower case) from `folder`.
    static std::optional<AlgorithmImage> loadCarried(const std::string &folder, int algorithm);
    // A made-up image with distinct addresses, for when no carried image is at hand.
    static AlgorithmImage builtIn(int algorithm);

    // The algorithm number as the pedal reports it: its decimal digits read as
    // hex digits (algorithm 15 is 0x0015). Numbers above 9999 are cut to 4 digits.
    static std::uint16_t reportedCode(int number);

    bool valid() const;
    const std::vector<std::uint8_t> &bytes() const { return m_bytes; }
    std::uint32_t lengthField() const;
    std::uint16_t field(int index) const;
    std::uint16_t algorithmCode() const;
    // DSP address of a parameter (pedal order); "Range" is always 0x0000.
    std::uint16_t parameterAddress(int parameter) const;
    // Every parameter whose address equals `address` (more than one when an
    // image repeats an address, e.g. a field left at 0000 beside "Range").
    std::vector<int> parametersAt(std::uint16_t address) const;

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace sim
