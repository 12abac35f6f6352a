#pragma once

#include <cstdint>

// Everything the editor relies on the pedal to do, in one place: command
// codes and their fixed lengths, the request answer's layout, the
// bootloader's replies, and the times the editor allows.
namespace pedal {

// Command codes (first byte of every message) and message lengths in bytes.
namespace cmd {
constexpr std::uint8_t WriteDsp = 0x01;        // 01 AAAA VVVVVVVV
constexpr std::uint8_t Request = 0x02;         // 02 00
constexpr std::uint8_t StoreSettings = 0x03;
constexpr std::uint8_t Assign = 0x04;
constexpr std::uint8_t EnterBootloader = 0x05; // 05 00 01 02 03 04 05 06
constexpr std::uint8_t MidiChannel = 0x07;
constexpr std::uint8_t Footswitch = 0x08;
constexpr std::uint8_t Tuning = 0x09;          // also the note filters
constexpr std::uint8_t EraseEeprom = 0x0B;
constexpr std::uint8_t ReadEeprom = 0x0C;
constexpr std::uint8_t Bypass = 0x0D;
constexpr std::uint8_t TuningData = 0x0E;
constexpr std::uint8_t InstrumentRange = 0x0F;
constexpr std::uint8_t StoreBypass = 0x10;
constexpr std::uint8_t Option = 0x11;          // first preset at power on; range limit
} // namespace cmd

constexpr int kWriteDspLength = 7;
constexpr int kRequestLength = 2;
constexpr int kEnterBootloaderLength = 8;

// The request answer: decimal numbers, each followed by CR LF.
constexpr int kAnswerNumbers = 107;
namespace pos {
constexpr int Firmware = 0;
constexpr int AlgorithmHigh = 1;
constexpr int AlgorithmLow = 2;
constexpr int Effect = 3;
constexpr int FootswitchMode = 4;
constexpr int Tuning = 5;
constexpr int SemitoneCode = 6;
constexpr int AssignedFlags = 7;     // 5: UNO, DUE, TRE, QUATTRO, Remote
constexpr int AssignedAddresses = 12; // 5 x 2 bytes, high byte first
constexpr int BypassStatus = 22;
constexpr int BypassStoring = 23;
constexpr int InstrumentRange = 24;
constexpr int MidiChannel = 25;
constexpr int ParameterValues = 26; // 20 x 4 bytes, high byte first
constexpr int FirstPreset = 106;
} // namespace pos

constexpr std::uint8_t kInstrumentStandard = 255;
constexpr std::uint8_t kInstrumentLow = 186;
constexpr std::uint8_t kFirstPresetOn = 1;
constexpr std::uint8_t kFirstPresetOff = 255;

// The EEPROM dump the pedal sends on its own after a read: a marker, then
// the memory.
constexpr std::uint8_t kDumpMarker = 0xAB;
constexpr int kDumpBytes = 16384;

// The bootloader's commands, each sent with its complement, and its replies.
constexpr std::uint8_t kBootloaderSync = 0x7F;
namespace boot {
constexpr std::uint8_t Go = 0x21;
constexpr std::uint8_t WriteMemory = 0x31;
constexpr std::uint8_t Erase = 0x43;
constexpr std::uint8_t GlobalErase = 0xFF; // the erase's page count: every page
} // namespace boot
constexpr std::uint8_t kAck = 0x79;
constexpr std::uint8_t kNack = 0x1F;

// Times, in milliseconds.
constexpr int kRequestPause = 200;       // after the request, before reading
constexpr int kBridgeLatency = 16;       // the bridge holds bytes up to this long
// The line counts as quiet (the answer is over) after this long without a byte.
constexpr int kQuietAfter = 3 * kBridgeLatency;
// An answer normally begins within about 250 ms; after this the pedal is
// taken to be silent.
constexpr int kAnswerLimit = 3000;
// A dump that stops short for this long is reported as incomplete.
constexpr int kDumpStall = 1000;
// The dump follows a read at once and takes about 1.5 s on the line; the
// editor pauses 4 s after the read. One that has not begun this long after
// the read is not coming.
constexpr int kDumpStartLimit = 7000;

// Line settings.
constexpr std::uint32_t kBaudRate = 115200;

} // namespace pedal
