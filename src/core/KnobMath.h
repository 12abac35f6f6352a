#pragma once

#include <QString>

#include <cstdint>

// Between knob angles (whole degrees, counter-clockwise positive, 0 pointing
// right; travel clockwise from -135 over the top to -45) and parameter values.

// Angles in the dead zone below the knob move to the nearer end.
int SnapDialAngle(int angle);
// Travel position 0 to 269, clockwise from the minimum.
int DialAngleToPosition(int angle);
// 10-bit knob value 0 to 1023.
int PositionToValue(int position);
// The angle that shows a value from the pedal or a preset. Not the exact
// inverse of the way there: many positions come back one lower.
int ValueToDialAngle(std::uint32_t value, std::uint32_t fullScale);
// The value a knob at this angle sends: its 10-bit value shifted left by 13.
std::uint32_t DialAngleToValue(int angle);

// What a knob shows of its angle. Level knobs (full scale 0x800000) show
// their travel position as a whole percent of the travel, rounded: "0 %" to
// "100 %". The knobs the pedal keeps as step numbers (Low Pass 24, High Pass
// 16, Range 22) show the step whose readout angle (ValueToDialAngle) lies
// nearest, so a value read from the pedal shows the step the pedal holds.
// Dead-zone angles count as the nearer end.
int DialAngleToPercent(int angle);
int DialAngleToStep(int angle, std::uint32_t fullScale);
QString DialValueText(int angle, std::uint32_t fullScale);
