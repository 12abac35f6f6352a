#include "KnobMath.h"

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
    return static_cast<std::uint32_t>(PositionToValue(DialAngleToPosition(SnapDialAngle(angle)))) << 13;
}
