#pragma once

// The pedal's own view of its serial protocol: command codes, message
// lengths, where each value sits in the state report, and the texts it
// answers with. Written from the pedal's side; nothing here is taken from
// the editor.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sim {

// Application firmware command codes (first byte of every message).
namespace cmd {
inline constexpr std::uint8_t ImageStart = 0x00;   // not a command: the high byte of an image's length
inline constexpr std::uint8_t Write = 0x01;        // 01 AAAA VVVVVVVV
inline constexpr std::uint8_t Request = 0x02;      // 02 00
inline constexpr std::uint8_t StoreSettings = 0x03;
inline constexpr std::uint8_t Assign = 0x04;
inline constexpr std::uint8_t EnterBootloader = 0x05;
inline constexpr std::uint8_t MidiChannel = 0x07;
inline constexpr std::uint8_t Footswitch = 0x08;
inline constexpr std::uint8_t Tuning = 0x09;        // index, semitone code
inline constexpr std::uint8_t EraseEeprom = 0x0B;
inline constexpr std::uint8_t ReadEeprom = 0x0C;
inline constexpr std::uint8_t Bypass = 0x0D;
inline constexpr std::uint8_t TuningData = 0x0E;
inline constexpr std::uint8_t InstrumentRange = 0x0F;
inline constexpr std::uint8_t StoreBypass = 0x10;
inline constexpr std::uint8_t PowerOnPreset = 0x11; // also switches the range limit
} // namespace cmd

// Total length in bytes of the message that starts with `code`, command byte
// included; 0 for a code the firmware does not know.
constexpr std::size_t commandLength(std::uint8_t code)
{
    switch (code) {
    case cmd::Write: return 7;
    case cmd::Request: return 2;
    case cmd::StoreSettings: return 41;
    case cmd::Assign: return 16;
    case cmd::EnterBootloader: return 8;
    case cmd::MidiChannel: return 2;
    case cmd::Footswitch: return 3;
    case cmd::Tuning: return 3;
    case cmd::EraseEeprom: return 5;
    case cmd::ReadEeprom: return 6;
    case cmd::Bypass: return 2;
    case cmd::TuningData: return 641;
    case cmd::InstrumentRange: return 8;
    case cmd::StoreBypass: return 2;
    case cmd::PowerOnPreset: return 2;
    default: return 0;
    }
}

inline constexpr std::uint8_t kEnterBootloaderKey[8] = {0x05, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};

// Effect parameters, in the pedal's own order (the order of the state report
// and of the store settings message).
inline constexpr int kParameterCount = 20;
inline constexpr int kFirstAssignable = 10;
inline constexpr int kAssignableCount = 10;
namespace param {
inline constexpr int Dry = 0, SubMix = 1, Minus1Oct = 2, Minus2Oct = 3, Wave = 4, LowPass = 5, HighPass = 6,
                     FirstHarmonic = 7, Split = 8, Range = 9, InputLevel = 10, HarmonicPitch = 11, WaveClip = 12,
                     DominantNotesCut = 13, HighNotesCut = 14, DryHpf = 15, LimitRangeUp = 16,
                     NoiseGateStatus = 17, NoiseGateThreshold = 18, Attack = 19;
}
// The "Range" knob always sits at DSP address 0x0000.
inline constexpr std::uint16_t kRangeAddress = 0x0000;

// Knob values arrive as a 10-bit position shifted left by 13 (full scale
// 0x800000). Three knobs are kept by the pedal as small step numbers instead.
inline constexpr std::uint32_t kKnobFullScale = 0x800000;
constexpr std::uint32_t stepCount(int parameter)
{
    switch (parameter) {
    case param::LowPass: return 24;
    case param::HighPass: return 16;
    case param::Range: return 22;
    default: return 0;
    }
}

// Algorithm image layout: a 24-bit big-endian length (the whole image), then
// 22 big-endian 16-bit fields. Fields 0-8 and 12-21 are parameter addresses,
// field 9 carries the algorithm number as the pedal reports it (digits 0015
// for algorithm 15), fields 10 and 11 are unused.
inline constexpr std::size_t kImageLengthBytes = 3;
inline constexpr int kImageFieldCount = 22;
inline constexpr std::size_t kImageHeaderBytes = kImageLengthBytes + 2 * kImageFieldCount; // 47
inline constexpr int kAlgorithmNumberField = 9;
// Field holding the address of each parameter; -1 for "Range".
constexpr int addressField(int parameter)
{
    if (parameter < 9)
        return parameter;
    if (parameter == param::Range)
        return -1;
    return parameter + 2;
}

// The state report: 107 numbers, each sent as ASCII decimal digits + CR LF.
inline constexpr int kReportNumbers = 107;
namespace pos {
inline constexpr int Firmware = 0;
inline constexpr int AlgorithmHigh = 1, AlgorithmLow = 2;
inline constexpr int Effect = 3;
inline constexpr int FootswitchMode = 4;
inline constexpr int Tuning = 5, Semitones = 6;
inline constexpr int AssignFlags = 7;     // 7..11, one per control
inline constexpr int AssignAddresses = 12; // 12..21, two per control, high byte first
inline constexpr int Bypass = 22;
inline constexpr int StoreBypass = 23;
inline constexpr int InstrumentRange = 24;
inline constexpr int MidiChannel = 25;
inline constexpr int Parameters = 26;     // 26..105, four per parameter, high byte first
inline constexpr int PowerOnPreset = 106;
} // namespace pos

// Controls that can carry an assignable parameter: UNO, DUE, TRE, QUATTRO and
// the remote footswitch (which holds a code 0xFFFE bypass / 0xFFFD preset).
inline constexpr int kControlCount = 5;

inline constexpr std::uint8_t kRangeStandard = 0xFF; // 255
inline constexpr std::uint8_t kRangeLow = 0xBA;      // 186

// EEPROMs on the pedal's I2C bus and the dump that answers a read.
inline constexpr std::uint8_t kEepromSettings = 0x50;
inline constexpr std::uint8_t kEepromPresets = 0x51;
inline constexpr std::size_t kEepromBytes = 16384;
inline constexpr std::uint8_t kDumpMarker = 0xAB;

inline constexpr std::size_t kTuningDataBytes = 640;

// Where the pedal keeps its stored settings in the settings EEPROM (0x50).
// An erased byte (0xFF) reads as the factory setting.
namespace e2p {
inline constexpr std::size_t Tuning = 0x000;         // index, semitone code
inline constexpr std::size_t StoreBypass = 0x002;    // 01 / FF
inline constexpr std::size_t InstrumentRange = 0x003;
inline constexpr std::size_t MidiChannel = 0x004;
inline constexpr std::size_t PowerOnPreset = 0x005;  // 01 / FF
inline constexpr std::size_t FootswitchMode = 0x006;
inline constexpr std::size_t Assignments = 0x008;    // 5 flags, then 5 addresses high byte first
inline constexpr std::size_t StoredValues = 0x020;   // 10 x 4 bytes, high byte first
inline constexpr std::size_t TuningData = 0x100;     // 640 bytes
} // namespace e2p

// Answers to an algorithm image, 17 characters each.
inline constexpr std::string_view kUploadComplete = "Upload Complete\r\n";
inline constexpr std::string_view kUploadRejected = "Upload Rejected\r\n";
inline constexpr std::string_view kUploadTimeout = "Upload Timeout!\r\n";

// A message left incomplete for this long is dropped (an image is answered
// with kUploadTimeout or kUploadRejected).
inline constexpr std::int64_t kQuietResetMs = 1000;

// After the bootloader jumps to the application, the application takes this
// long to start; bytes received meanwhile are lost (a request gets no answer).
inline constexpr std::int64_t kApplicationStartMs = 300;

// Serial line: 115200 baud; 8N1 (10 bits a byte) for the application, 8E1
// (11 bits) for the bootloader. The USB bridge hands received bytes to the
// host in packets of up to 62 data bytes, or after its 16 ms latency timer.
inline constexpr int kBaud = 115200;
inline constexpr int kAppBitsPerByte = 10;
inline constexpr int kBootloaderBitsPerByte = 11;
inline constexpr int kBridgeLatencyMs = 16;
inline constexpr int kBridgePacketBytes = 62;

} // namespace sim
