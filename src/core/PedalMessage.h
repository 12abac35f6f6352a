#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// One message for the pedal: its bytes, and how it goes out. Every message
// is made here, from the command codes the pedal understands; the session
// sends each the one way its kind asks for (PedalSession::send).
struct PedalMessage {
    enum class Kind {
        Plain,    // written as it is
        Settled,  // the bridge's unsent bytes dropped first; the pedal gets 100 ms after
        Paced,    // the pedal gets 100 ms after
    };
    QByteArray bytes;
    Kind kind = Kind::Plain;

    // How each kind goes out.
    struct Rule {
        bool purgeFirst = false;
        int pauseAfterMs = 0;
    };
    static Rule ruleOf(Kind kind);

    // The hex text the console shows, as `count` bytes: pairs up to the
    // first that is not hex, zeros after.
    static PedalMessage fromHex(const QString &hex, int count, Kind kind = Kind::Plain);
};

namespace PedalMessages {

// 01 AAAA VVVVVVVV
PedalMessage parameterWrite(std::uint16_t address, std::uint32_t value);
// 02 00
PedalMessage request();
// 0D 01 / 0D 00
PedalMessage bypass(bool on);
// 05 00 01 02 03 04 05 06
PedalMessage enterBootloader();
// 0E + the tuning tables
PedalMessage tuningData(const QString &tablesHex);
// 09 TT SS: a tuning, or the two notes the note filters take out (FF: none)
PedalMessage tuning(std::uint8_t tuning, std::uint8_t semitones);
PedalMessage noteFilters(const QString &noteByte1, const QString &noteByte2);
// 04 + the five assignments, 16 bytes
PedalMessage assign(const QString &assignHex);
// 08 SS LL
PedalMessage footswitch(const QString &footswitchHex);
// 03 + the ten assignable values
PedalMessage storeSettings(const QString &settingsHex);
// The options: instrument range (0F, 8 bytes with its checksum), storing
// the bypass state (10), first preset at power on / range limit (11), the
// MIDI channel (07).
PedalMessage option(const QString &optionHex);
// 0B AA 00 0000: erase the settings memory (AA 50) or the presets' (51)
PedalMessage eraseEeprom(const QString &i2cAddress);
// 0C AA 0000 0000: the memory is then sent whole
PedalMessage readEeprom(const QString &i2cAddress);

} // namespace PedalMessages
