#include "KnobMath.h"

#include "Parameters.h"

#include <cstdlib>

namespace {

constexpr int kLastPosition = 269;

// The position an angle stands for, a dead-zone angle at the nearer end.
int positionOf(int angle)
{
    return DialAngleToPosition(SnapDialAngle(angle));
}

} // namespace

int SnapDialAngle(int angle)
{
    if (angle > -135 && angle <= -90)
        return -135;
    if (angle > -90 && angle < -45)
        return -45;
    return angle;
}

int DialAngleToPosition(int angle)
{
    if (angle == -180)
        return 44;
    if (angle >= -179 && angle <= -135)
        return -angle - 135;
    if (angle >= 0 && angle <= 180)
        return 224 - angle;
    if (angle >= -45 && angle <= -1)
        return 224 - angle;
    // Dead zone: not a travel position; callers snap first.
    return angle > -90 ? 269 : 0;
}

int PositionToValue(int position)
{
    // Rounded to nearest; the quotient never ends in exactly one half.
    return (position * 1023 * 2 + 269) / (2 * 269);
}

static int mapRange(int x, int a, int b, int c, int d)
{
    return c + (x - a) * (d - c) / (b - a);
}

int ValueToDialAngle(std::uint32_t value, std::uint32_t fullScale)
{
    std::uint32_t v;
    if (fullScale == 0x800000)
        v = value >> 13;
    else
        v = static_cast<std::uint32_t>((8192u / fullScale) * value) >> 3;
    if (v >= 1023)
        v = 1023;
    const int x = static_cast<int>(v);
    if (x <= 169)
        return mapRange(x, 0, 169, -135, -179);
    if (x <= 339)
        return mapRange(x, 170, 339, 180, 135);
    if (x <= 511)
        return mapRange(x, 340, 511, 136, 90);
    if (x <= 680)
        return mapRange(x, 512, 680, 89, 45);
    if (x <= 850)
        return mapRange(x, 681, 850, 44, 0);
    return mapRange(x, 851, 1023, -1, -45);
}

std::uint32_t DialAngleToValue(int angle)
{
    return static_cast<std::uint32_t>(PositionToValue(positionOf(angle))) << 13;
}

int DialAngleToPercent(int angle)
{
    // Rounded half up.
    return (positionOf(angle) * 200 + kLastPosition) / (2 * kLastPosition);
}

int DialAngleToStep(int angle, std::uint32_t fullScale)
{
    // The steps' positions rise with the step: find the first step at or
    // past the knob's position, then take whichever of it and the one below
    // lies nearer (the lower one on a tie).
    const int position = positionOf(angle);
    auto stepPosition = [fullScale](std::uint32_t step) { return positionOf(ValueToDialAngle(step, fullScale)); };
    std::uint32_t low = 0, high = fullScale;
    while (low < high) {
        const std::uint32_t mid = low + (high - low) / 2;
        if (stepPosition(mid) < position)
            low = mid + 1;
        else
            high = mid;
    }
    if (low > 0 && position - stepPosition(low - 1) <= std::abs(stepPosition(low) - position))
        --low;
    return static_cast<int>(low);
}

QString DialValueText(int angle, std::uint32_t fullScale)
{
    if (fullScale == param::kKnobScale)
        return QString::number(DialAngleToPercent(angle)) + QStringLiteral(" %");
    return QString::number(DialAngleToStep(angle, fullScale));
}
