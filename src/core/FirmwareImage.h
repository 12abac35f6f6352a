#pragma once

#include <QByteArray>
#include <QString>

// Whether bytes are a firmware image the bootloader may be given: they fit
// the flash below the version record, and they begin with the vector table
// the microcontroller starts from (its initial stack pointer inside the RAM,
// its reset address inside the image with the Thumb bit set). Text, Intel
// HEX or an erased or zeroed file fail here, before anything is sent.
namespace FirmwareImage {

enum class Problem {
    None,
    Empty,
    TooLarge,       // more than BootloaderProtocol::kMaxImage bytes
    TooShort,       // no room for the first two vectors
    StackPointer,   // not in the RAM, or not word-aligned
    ResetOutside,   // the reset address is not in the image
    ResetNotThumb,  // bit 0 of the reset address is clear
};

struct Check {
    Problem problem = Problem::None;
    // What is wrong, for the player ("its reset address 0x08000220 is not a
    // Thumb address (bit 0 is clear)"); empty when nothing is.
    QString reason;
    bool ok() const { return problem == Problem::None; }
};

// A caller that reads a file reads at most kMaxImage + 1 bytes: one more is
// enough to call it too large.
Check check(const QByteArray &image);

// A firmware file, read before anything is checked or sent.
struct File {
    enum class Problem { None, CannotOpen, CannotRead };
    Problem problem = Problem::None;
    QString error; // the system's reason
    QByteArray bytes; // at most kMaxImage + 1 bytes
};
File readFile(const QString &path);

} // namespace FirmwareImage
