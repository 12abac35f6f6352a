#include "KnobMath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

TEST(KnobMath, SnapMovesTheDeadZoneToTheNearerEnd)
{
    for (int a = -180; a <= 180; ++a) {
        const int s = SnapDialAngle(a);
        if (a > -135 && a <= -90)
            EXPECT_EQ(s, -135) << a;
        else if (a > -90 && a < -45)
            EXPECT_EQ(s, -45) << a;
        else
            EXPECT_EQ(s, a) << a;
    }
}

TEST(KnobMath, TravelAnglesGiveEveryPositionOnceExceptTheTop)
{
    const std::pair<int, int> table[] = {{-135, 0}, {-179, 44}, {-180, 44}, {180, 44}, {179, 45}, {90, 134},
                                         {0, 224}, {-1, 225}, {-45, 269}};
    for (auto [angle, position] : table)
        EXPECT_EQ(DialAngleToPosition(angle), position) << angle;

    // Clockwise from the minimum the position never goes back, and the 271
    // whole-degree angles of the travel give the 270 positions.
    std::set<int> seen;
    int last = -1;
    for (int step = 0; step <= 270; ++step) {
        int angle = -135 - step;
        if (angle <= -180)
            angle += 360;
        const int p = DialAngleToPosition(angle);
        EXPECT_GE(p, last) << angle;
        last = p;
        seen.insert(p);
    }
    EXPECT_EQ(seen.size(), 270u);
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_EQ(*seen.rbegin(), 269);
}

TEST(KnobMath, PositionsToValues)
{
    const std::pair<int, int> table[] = {{0, 0}, {134, 510}, {135, 513}, {269, 1023}, {1, 4}, {268, 1019}};
    for (auto [p, v] : table)
        EXPECT_EQ(PositionToValue(p), v) << p;
    EXPECT_EQ(DialAngleToValue(-100), 0u);
    EXPECT_EQ(DialAngleToValue(-60), 0x007FE000u);
    EXPECT_EQ(DialAngleToValue(90), 0x003FC000u);
}

TEST(KnobMath, ValuesToAngles)
{
    struct Case {
        std::uint32_t value, scale;
        int angle;
    };
    const Case table[] = {
        {12, 24, 90},         // Low Pass half way: straight up
        {16, 16, -45},        // High Pass at its full scale: the maximum
        {22, 22, -45},        // Range likewise
        {0x800000, 0x800000, -45}, // clamped to 1023
        {0, 0x800000, -135},
        {0x007FE000, 0x800000, -45},
        {169u << 13, 0x800000, -179},
        {170u << 13, 0x800000, 180},
    };
    for (const Case &c : table)
        EXPECT_EQ(ValueToDialAngle(c.value, c.scale), c.angle) << c.value << "/" << c.scale;

    // Every value of every scale lands inside the travel, never in the dead zone.
    for (std::uint32_t scale : {0x800000u, 24u, 16u, 22u}) {
        const std::uint32_t top = scale == 0x800000u ? 1023u << 13 : scale;
        const std::uint32_t step = scale == 0x800000u ? 1u << 13 : 1u;
        for (std::uint32_t v = 0; v <= top; v += step) {
            const int a = ValueToDialAngle(v, scale);
            EXPECT_EQ(SnapDialAngle(a), a) << v << "/" << scale;
        }
    }
}

TEST(KnobMath, RoundTripOfEveryPosition)
{
    // A knob sends its position's value; the pedal's answer shows it again.
    // The two mappings are not exact inverses, and this is what they give:
    // most positions come back where they were or one lower, a few two lower
    // (around the top of the travel) or one higher (past it).
    std::map<int, int> shift;
    for (int p = 0; p <= 269; ++p) {
        const std::uint32_t value = static_cast<std::uint32_t>(PositionToValue(p)) << 13;
        ++shift[DialAngleToPosition(ValueToDialAngle(value, 0x800000)) - p];
    }
    EXPECT_EQ(shift, (std::map<int, int>{{-2, 17}, {-1, 116}, {0, 126}, {1, 11}}));
    // Both ends survive the trip.
    EXPECT_EQ(DialAngleToPosition(ValueToDialAngle(0, 0x800000)), 0);
    EXPECT_EQ(DialAngleToPosition(ValueToDialAngle(1023u << 13, 0x800000)), 269);
}

TEST(KnobMath, ValueTextOfLevelAndStepKnobs)
{
    struct Case {
        int angle;
        std::uint32_t scale;
        const char *text;
    };
    const Case table[] = {
        // Level knobs: whole percent of the travel, rounded.
        {-135, 0x800000, "0 %"},   {-45, 0x800000, "100 %"}, {90, 0x800000, "50 %"},  {91, 0x800000, "49 %"},
        {-136, 0x800000, "0 %"},   {-44, 0x800000, "100 %"}, {-100, 0x800000, "0 %"}, {-60, 0x800000, "100 %"},
        // Step knobs: the step whose readout angle is nearest.
        {-135, 24, "0"},  {90, 24, "12"}, {-45, 24, "24"}, {-100, 24, "0"}, {-60, 24, "24"},
        {-135, 16, "0"},  {89, 16, "8"},  {-45, 16, "16"},
        {-135, 22, "0"},  {90, 22, "11"}, {-45, 22, "22"},
    };
    for (const Case &c : table)
        EXPECT_EQ(DialValueText(c.angle, c.scale), QString::fromLatin1(c.text)) << c.angle << "/" << c.scale;
}

TEST(KnobMath, ValuesFromThePedalShowWhatThePedalHolds)
{
    // Every step of every step knob reads back as itself, and turning the
    // knob clockwise passes the steps in order.
    for (std::uint32_t scale : {24u, 16u, 22u}) {
        for (std::uint32_t step = 0; step <= scale; ++step)
            EXPECT_EQ(DialAngleToStep(ValueToDialAngle(step, scale), scale), int(step)) << step << "/" << scale;
        int last = 0;
        for (int t = 0; t <= 270; ++t) {
            int angle = -135 - t;
            if (angle <= -180)
                angle += 360;
            const int s = DialAngleToStep(angle, scale);
            EXPECT_TRUE(s == last || s == last + 1) << t << "/" << scale;
            last = s;
        }
        EXPECT_EQ(last, int(scale));
    }
    // A level value read from the pedal shows its own percent within one and
    // a half: the readout's mapping may show a value up to three positions
    // low, and the percent is rounded.
    double worst = 0;
    for (int v = 0; v <= 1023; ++v) {
        const int shown = DialAngleToPercent(ValueToDialAngle(std::uint32_t(v) << 13, 0x800000));
        worst = std::max(worst, std::abs(shown - v * 100.0 / 1023));
    }
    EXPECT_LE(worst, 1.5);
    EXPECT_EQ(DialValueText(ValueToDialAngle(0x400000, 0x800000), 0x800000), QStringLiteral("50 %"));
}
