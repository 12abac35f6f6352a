#include "FilterTable.h"

#include <cfenv>
#include <cmath>
#include <complex>
#include <limits>

namespace FilterTable {

const std::array<const char *, kNoteCount> NoteNames = {
    "A1", "A#1", "B1", "C2", "C#2", "D2", "D#2", "E2", "F2", "F#2", "G2", "G#2",
    "A2", "A#2", "B2", "C3", "C#3", "D3", "D#3", "E3", "F3", "F#3", "G3", "G#3",
    "A3", "A#3", "B3", "C4", "C#4", "D4", "D#4", "E4", "F4", "F#4", "G4", "G#4",
    "A4", "A#4", "B4", "C5", "C#5", "D5", "D#5", "E5", "F5", "F#5", "G5", "G#5",
};

double NoteFrequency(int semitoneOffset)
{
    return NoteReferenceHz * std::pow(2.0, semitoneOffset / 12.0);
}

Computation peakingFilter(double centreHz, double q, double boostDb, double gainDb)
{
    Computation k;
    k.A = std::pow(10.0, boostDb / 40.0);
    k.w0 = 2.0 * M_PI * centreHz / SampleRate;
    k.sn = std::sin(k.w0);
    k.cs = std::cos(k.w0);
    k.alpha = k.sn / (2.0 * q);
    k.a0 = k.alpha / k.A + 1.0;
    k.g = std::pow(10.0, gainDb / 20.0) / k.a0;
    k.c.b0 = (k.alpha * k.A + 1.0) * k.g;
    k.c.b1 = -2.0 * k.cs * k.g;
    k.c.b2 = (1.0 - k.alpha * k.A) * k.g;
    k.c.a1 = 2.0 * k.cs / k.a0;
    k.c.a2 = -(1.0 - k.alpha / k.A) / k.a0;
    return k;
}

std::optional<FixedWords> toFixed(const Coefficients &c)
{
    FixedWords out{};
    const double values[5] = {c.b0, c.b1, c.b2, c.a1, c.a2};
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST); // halves go to the even neighbour
    bool ok = true;
    for (int i = 0; i < 5; ++i) {
        const double v = std::nearbyint(std::ldexp(values[i], kFractionBits));
        if (!std::isfinite(v) || v < std::numeric_limits<std::int32_t>::min()
            || v > std::numeric_limits<std::int32_t>::max()) {
            ok = false;
            break;
        }
        out[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(v);
    }
    std::fesetround(mode);
    if (!ok)
        return std::nullopt;
    return out;
}

Coefficients fromFixed(const FixedWords &w)
{
    auto f = [](std::int32_t v) { return std::ldexp(static_cast<double>(v), -kFractionBits); };
    return {f(w[0]), f(w[1]), f(w[2]), f(w[3]), f(w[4])};
}

std::array<std::uint8_t, 20> toBytes(const FixedWords &words)
{
    std::array<std::uint8_t, 20> out{};
    for (std::size_t i = 0; i < 5; ++i) {
        const auto u = static_cast<std::uint32_t>(words[i]);
        for (std::size_t b = 0; b < 4; ++b)
            out[4 * i + b] = static_cast<std::uint8_t>(u >> (24 - 8 * b));
    }
    return out;
}

FixedWords fromBytes(const std::uint8_t *bytes)
{
    FixedWords out{};
    for (std::size_t i = 0; i < 5; ++i) {
        std::uint32_t u = 0;
        for (std::size_t b = 0; b < 4; ++b)
            u = (u << 8) | bytes[4 * i + b];
        out[i] = static_cast<std::int32_t>(u);
    }
    return out;
}

QString formatNumber(double value, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(value, 'g', 15);
}

std::optional<double> parseNumber(const QString &text, const QLocale &locale)
{
    QLocale strict = locale;
    strict.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = strict.toDouble(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return v;
}

QString checkQ(double q)
{
    if (!std::isfinite(q) || q <= 0.0 || q > kMaxQ)
        return QStringLiteral("Q must be above 0 and at most %1").arg(kMaxQ);
    return {};
}

QString checkBoost(double boostDb)
{
    if (!std::isfinite(boostDb) || std::fabs(boostDb) > kMaxBoostDb)
        return QStringLiteral("the boost must lie between -%1 and %1 dB").arg(kMaxBoostDb);
    return {};
}

QStringList tableLines(const QString &noteName, double q, double boostDb, const FixedWords &words,
                       const QLocale &locale)
{
    const bool cut = boostDb < 0;
    const double amount = cut ? -boostDb : boostDb;
    QStringList lines;
    lines << noteName + QLatin1Char('_') + formatNumber(amount, locale) + QStringLiteral("db_")
                 + (cut ? QStringLiteral("cut") : QStringLiteral("boost")) + QStringLiteral("_Q")
                 + formatNumber(q, locale) + QStringLiteral(" : array[0..19] of string =");
    const auto bytes = toBytes(words);
    for (std::size_t i = 0; i < 5; ++i) {
        QStringList items;
        for (std::size_t b = 0; b < 4; ++b)
            items << QStringLiteral("'%1'").arg(bytes[4 * i + b], 2, 16, QLatin1Char('0')).toUpper();
        QString line = items.join(QStringLiteral(", "));
        if (i == 0)
            line.prepend(QLatin1Char('('));
        line += i == 4 ? QStringLiteral(");") : QStringLiteral(", ");
        lines << line;
    }
    return lines;
}

double magnitudeDb(const FixedWords &words, double hz, double sampleRate)
{
    const Coefficients c = fromFixed(words);
    const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * hz / sampleRate); // z^-1
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> num = c.b0 + c.b1 * z1 + c.b2 * z2;
    const std::complex<double> den = 1.0 - c.a1 * z1 - c.a2 * z2;
    return 20.0 * std::log10(std::abs(num) / std::abs(den));
}

} // namespace FilterTable

QStringList FilterGenerator::GenerateFilterTable(const QString &noteName, const QLocale &locale)
{
    last = FilterTable::peakingFilter(CentreFrequency, FilterQ, FilterBoostDb, FilterGainDb);
    words = FilterTable::toFixed(last.c);
    if (!words)
        return {};
    return FilterTable::tableLines(noteName, FilterQ, FilterBoostDb, *words, locale);
}
