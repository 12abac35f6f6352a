#pragma once

#include <QByteArray>

#include <vector>

// A request answer as the pedal writes it: each number in decimal, then CR LF.
inline QByteArray answerText(const std::vector<int> &numbers)
{
    QByteArray text;
    for (int n : numbers)
        text += QByteArray::number(n) + "\r\n";
    return text;
}

// 107 numbers: firmware, algorithm bytes, effect, the rest as given.
inline std::vector<int> pedalState(int firmware = 16, int algHigh = 0x00, int algLow = 0x15, int effect = 0x00)
{
    std::vector<int> n(107, 0);
    n[0] = firmware;
    n[1] = algHigh;
    n[2] = algLow;
    n[3] = effect;
    n[23] = 1;   // store bypass status
    n[24] = 186; // low instrument range
    n[25] = 5;   // MIDI channel 5
    n[106] = 1;  // first preset at power on
    return n;
}
