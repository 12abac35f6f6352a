#pragma once

#include <cstdint>
#include <vector>

namespace sim {

// Misbehaviour the pedal can be told to show, to exercise the editor's
// handling of a bad line or a confused pedal.
struct Faults {
    // Never answer anything (messages are still taken in and acted on).
    bool silent = false;
    // Send only the first N numbers of the state report; negative: all of them.
    int shortAnswer = -1;
    // Mix bytes other than digits and line ends into the state report.
    bool garbage = false;
    // Send every answer in this many pieces, gapMs apart (1: in one piece).
    int splitPieces = 1;
    int splitGapMs = 0;
    // Drop the line once this many bytes have been received (0: never). The
    // bytes up to and including that one are taken in; nothing more is
    // answered or accepted afterwards.
    std::int64_t hangUpAfter = 0;

    // Bootloader faults. A step is one answer of the bootloader: each ACK or
    // NACK it sends, counted from 1 since the pedal was made (the data bytes
    // of Get, Get Version, Get ID and Read Memory belong to the ACK before
    // them). At the given step the bootloader sends NACK instead / sends
    // nothing / sends kBootGarbageByte, and in all three cases drops the
    // command it was answering (nothing is written, erased or started) and
    // waits for the next command (for the synchronisation: stays unsynced).
    // 0: never.
    int bootNackAt = 0;
    int bootSilentAt = 0;
    int bootGarbageAt = 0;
    // Drop the line at the first byte received after this many Write Memory
    // data frames have been accepted (0: never).
    int bootHangUpAfterChunks = 0;
};

inline constexpr std::uint8_t kBootGarbageByte = 0x55;

// The state report as sent: each number as ASCII decimal digits followed by
// CR LF, shaped by the short-answer and garbage faults. Garbage: on every
// eighth line, starting with the fourth, one of the bytes ' ', '?', 'Z' (in
// turn) is placed between the digits and the CR.
std::vector<std::uint8_t> encodeReport(const std::vector<std::uint8_t> &numbers, const Faults &faults);

// An answer cut into the pieces of the split fault (as even as possible, the
// first pieces one byte longer). Empty pieces are left out.
std::vector<std::vector<std::uint8_t>> splitAnswer(const std::vector<std::uint8_t> &answer, const Faults &faults);

} // namespace sim
