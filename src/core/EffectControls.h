#pragma once

#include "Parameters.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// What the effect window's controls hold, without the window: each knob's
// angle, each switch and box. Showing values moves them; a control that
// moves while values are applied sends what that control sends, so a tool
// without windows sends exactly the editor's messages for the same change.
struct EffectControls {
    std::array<int, param::Count> angle{}; // knob parameters only
    bool wave = false, split = false, limitRange = false, noiseGate = false, attackSlow = false;
    bool dominantCut = false, highCut = false;
    int pitchIndex = 0;

    // As the window is made.
    static EffectControls initial();
    static bool isKnob(int parameter);
    static std::uint32_t knobScale(int parameter);

    struct Write {
        int parameter;
        QString line; // the console's line for it
        QString hex;  // the message
    };
    struct Applied {
        std::vector<Write> writes;
        bool noteCutRefused = false; // a note cut asked for without a tuning
    };
    // Moves the controls to the values, as the REQUEST's readout does
    // (knobs do not send then).
    void show(const std::array<std::uint32_t, param::Count> &values);
    // Moves the controls to the values and returns what they send, in the
    // window's order; values end as the controls left them (a knob sends
    // its own step, not the value it was given).
    Applied apply(std::array<std::uint32_t, param::Count> &values, const EffectParameterSet &addresses,
                  bool tuningSelected);
};
