#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

// Raised when a file the editor needs cannot be read or written; the text
// names the file and the operating system's reason.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace TextFiles {

// Windows-1252, the 8-bit code page text files fall back to. Bytes the code
// page leaves undefined map to the C1 control of the same value.
QString decodeWindows1252(const QByteArray &bytes);
// Characters outside the code page become '?'.
QByteArray encodeWindows1252(const QString &text);

// Decoding of a whole file's bytes: byte-order mark (UTF-8, UTF-16 LE/BE)
// when present, else UTF-8 when valid, else Windows-1252.
QString decode(const QByteArray &bytes);

// Whole file as text, decoded as above. Throws FileError.
QString read(const QString &path);
// Replaces the file with text in UTF-8 without a byte-order mark. Throws FileError.
void write(const QString &path, const QString &text);

} // namespace TextFiles
