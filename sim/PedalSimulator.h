#pragma once

// The virtual pedal: the application firmware's side of the serial line,
// without any I/O. Bytes go in with receive(), the pedal's answers come out
// of takeOutput(), both at virtual times in milliseconds that the caller
// supplies (a test's clock, or a monotonic clock in the pty program).

#include "AlgorithmImage.h"
#include "Bootloader.h"
#include "Faults.h"
#include "Pacing.h"
#include "SimProtocol.h"
#include "Stm32Bootloader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

#ifdef THARNVIK_SIM_DEFAULT_PAYLOADS
inline constexpr const char *kDefaultPayloadDir = THARNVIK_SIM_DEFAULT_PAYLOADS;
#else
inline constexpr const char *kDefaultPayloadDir = "";
#endif

struct Config {
    int firmware = 16;
    int algorithm = 15;
    // Effect number; reported with its decimal digits as hex digits (12 as 0x12).
    int effect = 0;
    bool startInBootloader = false;
    // Pace both directions at the line rate, with the bridge's latency timer.
    bool paced = false;
    // The bridge's latency timer when paced (1 to 255 ms).
    int bridgeLatencyMs = kBridgeLatencyMs;
    // Whether the user holds SHIFT, which the enter-bootloader message needs.
    bool shiftHeld = true;
    // Folder of the carried algorithm images; the pedal starts with the one
    // for `algorithm`, or a built-in made-up image when it is not found.
    std::string payloadDir = kDefaultPayloadDir;
    Faults faults;
};

// Everything the pedal keeps; all of it can be seen in the state report.
struct PedalState {
    int firmware = 16;
    std::uint8_t effectCode = 0x00;
    // Reported algorithm number (digits as hex: 0x0015); follows the image.
    std::uint16_t algorithmCode = 0x0015;
    AlgorithmImage image;

    // Current values in pedal order; "Low Pass", "High Pass" and "Range" as step numbers.
    std::array<std::uint32_t, kParameterCount> parameters{};
    // Assignable values kept by the store settings message.
    std::array<std::uint32_t, kAssignableCount> storedAssignable{};

    // UNO, DUE, TRE, QUATTRO, Remote: flag and address (remote: 0xFFFE bypass, 0xFFFD preset).
    std::array<bool, kControlCount> assigned{};
    std::array<std::uint16_t, kControlCount> assignedAddress{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};

    std::uint8_t footswitchMode = 0; // 2 x short-press code + long-press code
    std::uint8_t tuning = 0;
    std::uint8_t semitones = 0;      // two's complement
    bool bypass = false;
    bool storeBypass = false;
    std::uint8_t instrumentRange = kRangeStandard;
    std::uint8_t midiChannel = 0;    // 0 omni, 1..16
    bool powerOnPreset = false;      // reported 1 / 255
    bool rangeLimit = false;         // same message as powerOnPreset, no readback
    std::vector<std::uint8_t> tuningData; // empty until uploaded
    // 0x50 keeps the stored settings (layout in SimProtocol.h, e2p), 0x51 the presets.
    std::array<std::vector<std::uint8_t>, 2> eeprom;

    bool enteredBootloader = false;
};

// What the pedal made of the bytes it received.
struct ReceivedMessage {
    enum class Kind {
        Command,         // a complete message of a known command
        Image,           // a whole algorithm image
        IncompleteImage, // an image (or the bytes after a bad length) dropped after a quiet spell
        Incomplete,      // a command dropped after a quiet spell
        Unknown,         // one byte of an unknown code, skipped
        Bootloader,      // bytes handed to the bootloader
    };
    Kind kind = Kind::Command;
    std::int64_t timeMs = 0; // when its last byte arrived
    std::vector<std::uint8_t> bytes;
};

class PedalSimulator {
public:
    static constexpr std::int64_t kNoOutput = kNever;

    explicit PedalSimulator(Config config = {});
    ~PedalSimulator();
    PedalSimulator(const PedalSimulator &) = delete;
    PedalSimulator &operator=(const PedalSimulator &) = delete;

    // Bytes from the editor, handed over at `nowMs`.
    void receive(const std::uint8_t *data, std::size_t size, std::int64_t nowMs);
    void receive(const std::vector<std::uint8_t> &bytes, std::int64_t nowMs);
    // The bytes the editor can read by `nowMs` (in order, each only once).
    std::vector<std::uint8_t> takeOutput(std::int64_t nowMs);
    // Earliest virtual time (ms) at which takeOutput() may return more, or at
    // which a quiet spell ends an incomplete message; kNoOutput when nothing is due.
    std::int64_t nextOutputTime() const;
    // The same in microseconds, for a caller whose clock is finer than the
    // pedal's milliseconds (the pty program): nothing waits for the next
    // millisecond.
    void receiveAtUs(const std::uint8_t *data, std::size_t size, std::int64_t nowUs);
    std::vector<std::uint8_t> takeOutputAtUs(std::int64_t nowUs);
    std::int64_t nextOutputTimeUs() const;

    // The bridge's latency timer from now on (paced only; 1 to 255 ms).
    void setBridgeLatencyMs(int ms) { m_output.setLatencyMs(ms); }
    int bridgeLatencyMs() const { return m_output.latencyMs(); }

    // The line was dropped by the hang-up fault: nothing more goes in or out.
    bool hungUp() const { return m_hungUp; }
    bool inBootloader() const { return m_inBootloader; }
    // Replaces the bootloader (by default a Stm32Bootloader with the configured faults).
    void setBootloader(std::unique_ptr<Bootloader> bootloader);
    const Bootloader &bootloader() const { return *m_bootloader; }
    // The default bootloader with its flash, or nullptr after setBootloader().
    Stm32Bootloader *flashBootloader();
    // After the bootloader started the application: until this time (µs) the
    // application is starting up and every received byte is lost.
    std::int64_t applicationReadyUs() const { return m_applicationReadyUs; }

    const Config &config() const { return m_config; }
    // Misbehaviour from now on, in the application and the bootloader alike.
    void setFaults(const Faults &faults);
    const PedalState &state() const { return m_state; }
    PedalState &state() { return m_state; }
    // The 107 numbers of the state report, as they stand now.
    std::vector<std::uint8_t> report() const;
    // Every message taken in, in order.
    const std::vector<ReceivedMessage> &received() const { return m_received; }
    // The pedal's own notes: unknown codes, refused values, faults.
    const std::vector<std::string> &log() const { return m_log; }

private:
    enum class Framing { Idle, Command, ImageLength, Image, Discard };

    void takeByte(std::uint8_t byte, std::int64_t arrivalUs);
    void expireQuietMessage(std::int64_t nowUs);
    void finishCommand(std::int64_t atUs);
    void finishImage(std::int64_t atUs);
    void record(ReceivedMessage::Kind kind, std::int64_t atUs, std::vector<std::uint8_t> bytes);
    void answer(const std::vector<std::uint8_t> &bytes, std::int64_t atUs);
    void note(std::string text);

    void onWrite(const std::vector<std::uint8_t> &m);
    void onStoreSettings(const std::vector<std::uint8_t> &m);
    void onAssign(const std::vector<std::uint8_t> &m);
    void onEnterBootloader(const std::vector<std::uint8_t> &m, std::int64_t atUs);
    void onTuning(const std::vector<std::uint8_t> &m);
    void onEraseEeprom(const std::vector<std::uint8_t> &m);
    void onReadEeprom(const std::vector<std::uint8_t> &m, std::int64_t atUs);
    void onInstrumentRange(const std::vector<std::uint8_t> &m);
    void setParameter(int parameter, std::uint32_t value);
    std::vector<std::uint8_t> *eepromAt(std::uint8_t i2cAddress);
    // Writes the stored setting of a command into the settings EEPROM.
    void keep(std::uint8_t command);
    void keepBytes(std::size_t at, const std::vector<std::uint8_t> &bytes);
    // After the settings EEPROM is erased: every stored setting is the factory one.
    void forgetSettings();
    void enterBootloaderMode();
    void leaveBootloaderMode();

    Config m_config;
    PedalState m_state;
    std::unique_ptr<Bootloader> m_bootloader;
    bool m_inBootloader = false;
    bool m_hungUp = false;
    std::int64_t m_bytesReceived = 0;
    std::int64_t m_applicationReadyUs = 0;

    InputLine m_input;
    OutputLine m_output;
    std::int64_t m_lastUs = 0; // latest time seen, µs

    Framing m_framing = Framing::Idle;
    std::vector<std::uint8_t> m_pending; // the message being gathered
    std::size_t m_expected = 0;          // its full length
    std::int64_t m_lastArrivalUs = 0;    // arrival of its latest byte

    std::vector<ReceivedMessage> m_received;
    std::vector<std::string> m_log;
};

} // namespace sim
