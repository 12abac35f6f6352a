#pragma once

#include <QString>

#include <array>
#include <cstdint>

// Local preset files: the twenty parameter values as eight upper-case hex
// digits each, in pedal order, joined by CR, after a UTF-8 byte-order mark.
namespace Presets {

constexpr int kLines = 20;
constexpr int kStride = 10; // eight digits and the CR LF every line gets when read
constexpr qint64 kReadLimit = 64 * 1024; // what a load reads of a preset file at most
// The log label of each line.
extern const std::array<const char *, kLines> kLabels;

QString PresetFolder(const QString &documentsFolder);
QString buildPresetText(const std::array<std::uint32_t, kLines> &values);
// Characters 7-8, 5-6, 3-4, 1-2 of an 8-digit hex text.
QString ReverseHexBytes(const QString &hex);
// The field converted into value: pair by pair, least significant byte
// first, stopping at the first pair that is not hex; the other bytes keep
// their content.
std::uint32_t applyField(const QString &field, std::uint32_t value);
// The field of line k (0-based) of text that every line ends with CR LF.
QString fieldOf(const QString &text, int k);

// A chosen name that does not end in ".txt" (case-sensitive) gets ".txt".
QString withTxt(const QString &fileName);
// Writes BOM + UTF-8 text through a temporary file in the same folder,
// moved into place only when the whole file is written. Returns an empty
// text on success, else the system's error text.
QString writePresetFile(const QString &path, const QString &text);
// A preset file's text, BOM skipped, every line ended by CR LF. At most the
// first 64 KiB are read (a preset is 182 bytes). Throws FileError.
QString readPresetFile(const QString &path);

} // namespace Presets
