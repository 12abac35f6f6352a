#pragma once

#include <QString>

#include <optional>

// Version texts, the updater's version record and the addresses on the
// maker's web server.
namespace Versions {

// Paths on the maker's web server (see serverBaseUrl()).
inline constexpr auto kEditorVersionPath = "/download/tharnvik-editor-version.php";
inline constexpr auto kWhatsNewPath = "/download/update/whatsnew.html";
inline constexpr auto kUpdaterVersionPath = "/download/update/Tharnvik_Win_Updater_Version.php";
inline constexpr auto kUpdaterPath = "/download/update/Tharnvik_Win_Updater.exe";

// Files beside the editor's program file, and the updater's first argument.
inline constexpr auto kUpdaterFile = "Tharnvik_Win_Updater.exe";
inline constexpr auto kUpdaterUpdateFile = "Tharnvik_Win_Updater_Update.exe";
inline constexpr auto kEditorUpdateFile = "Tharnvik_Editor_Update.exe";

// Caps on what the server may send: a version is a short line, the updater
// a program of a few megabytes.
inline constexpr qint64 kMaxVersionAnswer = 1024;
inline constexpr qint64 kMaxUpdaterSize = 64 * 1024 * 1024;

// A dotted number: one or more runs of decimal digits joined by single
// dots, nothing else (no blanks, no line end).
bool isDottedNumber(const QString &text);

// Compares two dotted numbers component by component from the left, a
// missing component counting as 0 (1.10 > 1.9, 2.0.0.0 > 1.23.0.0, 1.3 ==
// 1.3.0). Components may be of any length. Empty when either text is not a
// dotted number.
std::optional<int> compare(const QString &a, const QString &b);

// The file version of a Windows program, major and minor joined by a dot
// ("%d.%d"), read from its fixed file-info record (the record that begins
// with the signature 0xFEEF04BD). Empty when the file cannot be read or
// carries no such record.
std::optional<QString> programFileVersion(const QString &path);

// The same from the file's bytes.
std::optional<QString> fileVersionFromBytes(const QByteArray &bytes);

} // namespace Versions

namespace Versions {

// The status text of an answer for "Error: ...": the server's reason
// phrase, or the status number when it sent none (HTTP/2 has none).
QString statusText(int status, const QString &reasonPhrase);

} // namespace Versions
