#pragma once

#include <QString>

#include <cstdint>

// The messages of the options the pedal keeps, as hex text.
namespace DeviceOptions {

// "0F" + range code + the fixed sequence, without its checksum byte; empty
// for a range that is neither Standard (255) nor Low (186).
QString instrumentRangeText(int range);
// "10" + "01" / "FF".
QString storeBypassText(bool store);
// "1101" for 1, "11FF" for any other status; the first-preset option sends
// the same bytes.
QString option11Text(bool on);
// The channel code of a MIDI channel item's caption: "00" for "OMNI", the
// number as two upper-case hex digits for 1 to 16; empty for anything else.
QString midiChannelCode(const QString &caption);
// 07 + the code.
QString midiChannelText(const QString &code);

// The ten-line question Erase Settings asks.
QString eraseSettingsQuestion();

} // namespace DeviceOptions
