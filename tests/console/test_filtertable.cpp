// The filter mathematics of the generator, and the carried tuning table it
// must reproduce.
#include "ConsoleModel.h"
#include "FilterTable.h"
#include "Tunings.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// What the tuning data is said to be: equal temperament with A2 = 110 Hz;
// rows 0-17 a 6 dB cut with Q 11 on D2 to G3, rows 18-31 a 20 dB cut with
// Q 12 on C3 to C#4.
struct StatedFilter {
    double hz, q, boostDb;
};
StatedFilter statedFilter(int row)
{
    const int semitonesFromA2 = row < 18 ? row - 7 : row - 18 + 3;
    const double hz = 110.0 * std::pow(2.0, semitonesFromA2 / 12.0);
    return row < 18 ? StatedFilter{hz, 11.0, -6.0} : StatedFilter{hz, 12.0, -20.0};
}

FilterTable::FixedWords wordsOf(double hz, double q, double boostDb)
{
    const auto words = FilterTable::toFixed(FilterTable::peakingFilter(hz, q, boostDb, 0.0).c);
    EXPECT_TRUE(words.has_value());
    return words.value_or(FilterTable::FixedWords{});
}

} // namespace

TEST(FilterTable, GeneratorReproducesEveryRowOfTheCarriedTuningTable)
{
    for (int row = 0; row < Tunings::kRows; ++row) {
        SCOPED_TRACE(row);
        const StatedFilter f = statedFilter(row);
        const auto bytes = FilterTable::toBytes(wordsOf(f.hz, f.q, f.boostDb));
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                  std::vector<std::uint8_t>(Tunings::TuningDataTable[row].begin(), Tunings::TuningDataTable[row].end()));
        // The filters have no gain of their own: b1 is exactly -a1.
        const auto words = FilterTable::fromBytes(Tunings::TuningDataTable[row].data());
        EXPECT_EQ(words[1], -words[3]);
    }
}

TEST(FilterTable, CarriedRowsCutByTheirStatedAmountAtTheirCentre)
{
    for (int row : {0, 7, 17, 18, 31}) {
        SCOPED_TRACE(row);
        const StatedFilter f = statedFilter(row);
        const auto words = FilterTable::fromBytes(Tunings::TuningDataTable[row].data());
        EXPECT_NEAR(FilterTable::magnitudeDb(words, f.hz), f.boostDb, 0.05);
        EXPECT_NEAR(FilterTable::magnitudeDb(words, 1500.0), 0.0, 0.1);
        EXPECT_NEAR(FilterTable::magnitudeDb(words, 20.0), 0.0, 0.1);
    }
}

TEST(FilterTable, TuningDataIsTheWholeTableInHex)
{
    ConsoleModel log;
    const QString text = Tunings::BuildTuningData(log);
    EXPECT_EQ(text.size(), 1280);
    EXPECT_TRUE(text.startsWith(QLatin1String("007FF5ECFF002B70")));
    EXPECT_TRUE(text.endsWith(QLatin1String("00FE9D52FF8137C0")));
    ASSERT_EQ(log.lineCount(), 1);
    EXPECT_EQ(log.lastLine().size(), 1293);
    EXPECT_EQ(log.lastLine(), QStringLiteral("tuning data: ") + text);
}

TEST(FilterTable, PrintedTableHasItsHeaderAndFiveLines)
{
    const QLocale c(QLocale::English, QLocale::UnitedStates);
    // A2 with no boost is a plain wire: b0 = 1.
    const auto flat = wordsOf(FilterTable::NoteFrequency(0), 11.0, 0.0);
    EXPECT_EQ(FilterTable::tableLines(QStringLiteral("A2"), 11.0, 0.0, flat, c),
              (QStringList{"A2_0db_boost_Q11 : array[0..19] of string =", "('00', '80', '00', '00', ",
                           "'FF', '00', '31', 'A7', ", "'00', '7F', 'D5', '23', ", "'00', 'FF', 'CE', '59', ",
                           "'FF', '80', '2A', 'DD');"}));

    // A1 with the start values: a cut; b1 and a2 negative.
    const auto a1 = wordsOf(FilterTable::NoteFrequency(-12), 11.0, -6.0);
    const QStringList lines = FilterTable::tableLines(QStringLiteral("A1"), 11.0, -6.0, a1, c);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("A1_6db_cut_Q11 : array[0..19] of string ="));
    EXPECT_TRUE(lines[2].startsWith(QLatin1String("'FF'")));
    EXPECT_TRUE(lines[5].startsWith(QLatin1String("'FF'")));
}

TEST(FilterTable, NotesAndFrequencies)
{
    EXPECT_EQ(QString::fromLatin1(FilterTable::NoteNames[0]), QStringLiteral("A1"));
    EXPECT_EQ(QString::fromLatin1(FilterTable::NoteNames[FilterTable::NoteReferenceIndex]), QStringLiteral("A2"));
    EXPECT_EQ(QString::fromLatin1(FilterTable::NoteNames[47]), QStringLiteral("G#5"));
    EXPECT_DOUBLE_EQ(FilterTable::NoteFrequency(-12), 55.0);
    EXPECT_NEAR(FilterTable::NoteFrequency(35), 830.61, 0.01);
}

TEST(FilterTable, NumbersFollowTheLocale)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(FilterTable::formatNumber(6.0, us), QStringLiteral("6"));
    EXPECT_EQ(FilterTable::formatNumber(1.41, us), QStringLiteral("1.41"));
    EXPECT_EQ(FilterTable::formatNumber(1234.5, us), QStringLiteral("1234.5"));
    EXPECT_EQ(FilterTable::formatNumber(3.5, de), QStringLiteral("3,5"));
    EXPECT_EQ(FilterTable::parseNumber(QStringLiteral(" -3,5 "), de), -3.5);
    EXPECT_EQ(FilterTable::parseNumber(QStringLiteral("1.41"), us), 1.41);
    for (const char *bad : {"abc", "", "1.41.2", "1,5"})
        EXPECT_FALSE(FilterTable::parseNumber(QString::fromLatin1(bad), us).has_value()) << bad;

    const auto words = wordsOf(110.0, 11.0, -3.5);
    EXPECT_EQ(FilterTable::tableLines(QStringLiteral("A2"), 11.0, -3.5, words, de)[0],
              QStringLiteral("A2_3,5db_cut_Q11 : array[0..19] of string ="));
}

TEST(FilterTable, UnusableQAndBoostAreRefused)
{
    for (double q : {0.0, -1.0, 1e9, double(INFINITY), double(NAN)})
        EXPECT_FALSE(FilterTable::checkQ(q).isEmpty()) << q;
    for (double q : {0.1, 11.0, 1000.0})
        EXPECT_TRUE(FilterTable::checkQ(q).isEmpty()) << q;
    for (double b : {-61.0, 61.0, 1e300, double(NAN)})
        EXPECT_FALSE(FilterTable::checkBoost(b).isEmpty()) << b;
    for (double b : {-60.0, -6.0, 0.0, 60.0})
        EXPECT_TRUE(FilterTable::checkBoost(b).isEmpty()) << b;
}

TEST(FilterTable, FixedPointRoundsHalvesToEvenAndRefusesWhatDoesNotFit)
{
    const double lsb = std::ldexp(1.0, -23);
    const auto w = FilterTable::toFixed({0.5 * lsb, 1.5 * lsb, 2.5 * lsb, -2.5 * lsb, -256.0});
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(*w, (FilterTable::FixedWords{0, 2, 2, -2, std::numeric_limits<std::int32_t>::min()}));
    EXPECT_FALSE(FilterTable::toFixed({256.0, 0, 0, 0, 0}).has_value());
    EXPECT_FALSE(FilterTable::toFixed({NAN, 0, 0, 0, 0}).has_value());
    // A low Q with a big boost cannot be written in 8.23 fixed point.
    EXPECT_FALSE(FilterTable::toFixed(FilterTable::peakingFilter(830.0, 0.001, 60.0, 0.0).c).has_value());
}
