#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <stdexcept>

// Raised when a text that must be hexadecimal is not.
class HexError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// (length / 2) bytes, one per pair of hex digits; a trailing odd digit is
// ignored. A pair that is not hexadecimal throws HexError.
QByteArray HexToBytes(const QString &hex);

// Like HexToBytes, but filling stops at the first pair that is not
// hexadecimal; the rest of the (length / 2) bytes stay zero.
QByteArray HexToAnsiBytes(const QString &hex);

// XOR of the first n bytes written in hex, starting from 0.
std::uint8_t XorChecksum(const QString &hex, int n);

// Effect list entry to resource name: blanks and '-' become '_', '+' becomes
// "plus", an upper-case 'X' becomes "mult".
QString ResourceNameOf(const QString &name);

// Value of one hex digit, or -1.
int hexDigitValue(QChar c);
