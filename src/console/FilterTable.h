#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

// The note filter table generator: a peaking (boost or cut) biquad centred on
// a note, for a 48 kHz sample rate, as 32-bit fixed-point words with 23
// fraction bits, printed as a table of twenty two-digit hex texts.
namespace FilterTable {

constexpr int kNoteCount = 48;
// A1 ... G#5
extern const std::array<const char *, kNoteCount> NoteNames;
constexpr int NoteReferenceIndex = 12; // A2
constexpr double NoteReferenceHz = 110.0;
constexpr double SampleRate = 48000.0;
constexpr int kFractionBits = 23;

// The five coefficients, normalised by a0, feedback signs chosen so that
// y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] + a1 y[n-1] + a2 y[n-2].
struct Coefficients {
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};
using FixedWords = std::array<std::int32_t, 5>; // b0, b1, b2, a1, a2

// NoteReferenceHz x 2^(semitoneOffset / 12).
double NoteFrequency(int semitoneOffset);

// The values of one computation, kept until the next.
struct Computation {
    double A = 0, w0 = 0, sn = 0, cs = 0, alpha = 0, a0 = 0, g = 0;
    Coefficients c;
};
Computation peakingFilter(double centreHz, double q, double boostDb, double gainDb);

// c x 2^23 rounded to the nearest integer (halves to even); empty when a
// coefficient is not finite or does not fit in 32 bits.
std::optional<FixedWords> toFixed(const Coefficients &c);
// The coefficients the words stand for (what the pedal computes with).
Coefficients fromFixed(const FixedWords &words);
// The words as they travel: 20 bytes, each word most significant byte first.
std::array<std::uint8_t, 20> toBytes(const FixedWords &words);
FixedWords fromBytes(const std::uint8_t *twentyBytes);

// General floating-point text in the locale's number format, no trailing
// zeros and no group separators (6 -> "6", 1.41 -> "1.41").
QString formatNumber(double value, const QLocale &locale);
// Reads a number typed in the locale's format (surrounding blanks allowed).
std::optional<double> parseNumber(const QString &text, const QLocale &locale);

// The values the generator accepts. Zero, negative, not finite or beyond
// these are refused with a reason.
constexpr double kMaxQ = 1000.0;
constexpr double kMaxBoostDb = 60.0;
// Empty when acceptable, else the reason.
QString checkQ(double q);
QString checkBoost(double boostDb);

// The six printed lines: header, then b0, b1, b2, a1, a2.
QStringList tableLines(const QString &noteName, double q, double boostDb, const FixedWords &words,
                       const QLocale &locale);

// Magnitude response in dB at `hz` of the filter the words describe.
double magnitudeDb(const FixedWords &words, double hz, double sampleRate = SampleRate);

} // namespace FilterTable

// The generator's state, as the console keeps it between commands.
class FilterGenerator {
public:
    int SemitoneOffset = 0;
    double CentreFrequency = 0.0;
    double FilterQ = 11.0;
    double FilterBoostDb = -6.0;
    double FilterGainDb = 0.0;
    FilterTable::Computation last;
    std::optional<FilterTable::FixedWords> words; // of the last table printed

    void selectNote(int index) { SemitoneOffset = index - FilterTable::NoteReferenceIndex; }
    // Computes for CentreFrequency and the current Q and boost. Returns the
    // printed lines, or an empty list when the coefficients do not fit the
    // fixed-point format (words then stays empty).
    QStringList GenerateFilterTable(const QString &noteName, const QLocale &locale);
};
