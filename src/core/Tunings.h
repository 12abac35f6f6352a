#pragma once

#include <QString>

#include <array>
#include <cstdint>

class ConsoleModel;

// The tuning filter data the editor carries and uploads: 32 second-order
// cut filters for a 48 kHz sample rate, each row five 32-bit big-endian
// two's-complement coefficients scaled by 2^23, in the order b0, b1, b2, a1,
// a2 (feedback coefficients signed so that y[n] = b0 x[n] + b1 x[n-1] +
// b2 x[n-2] + a1 y[n-1] + a2 y[n-2]).
//   rows 0-17:  6 dB cut, Q 11, the semitones D2 to G3
//   rows 18-31: 20 dB cut, Q 12, the semitones C3 to C#4
namespace Tunings {

constexpr int kRows = 32;
constexpr int kRowBytes = 20;
constexpr int kTuningDataBytes = kRows * kRowBytes; // 640
constexpr int kTuningMessageBytes = 1 + kTuningDataBytes; // with the command code

using Row = std::array<std::uint8_t, kRowBytes>;
extern const std::array<Row, kRows> TuningDataTable;

// The whole table as 1280 upper-case hex digits, row 0 first; logged as
// "tuning data: " followed by the text.
QString BuildTuningData(ConsoleModel &console);

} // namespace Tunings
