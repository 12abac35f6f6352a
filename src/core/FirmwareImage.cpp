#include "FirmwareImage.h"

#include <QFile>

#include "BootloaderProtocol.h"

#include <cstdint>

namespace FirmwareImage {

namespace {

QString hex(std::uint32_t value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"),
                                                                                           QLatin1String("0x"));
}

std::uint32_t word(const QByteArray &image, int index)
{
    std::uint32_t w = 0;
    for (int i = 3; i >= 0; --i)
        w = (w << 8) | static_cast<std::uint8_t>(image[4 * index + i]);
    return w;
}

Check fail(Problem problem, const QString &reason)
{
    return Check{problem, reason};
}

} // namespace

Check check(const QByteArray &image)
{
    using BP = BootloaderProtocol;
    if (image.isEmpty())
        return fail(Problem::Empty, QStringLiteral("the file is empty"));
    if (image.size() > static_cast<qsizetype>(BP::kMaxImage))
        return fail(Problem::TooLarge, QStringLiteral("it is too large for the flash: a firmware image holds at most %1 "
                                                      "bytes (it may not reach the version record at 0x0801FC00)")
                                           .arg(BP::kMaxImage));
    if (image.size() < 8)
        return fail(Problem::TooShort, QStringLiteral("it holds %1 bytes, too few for the vector table a firmware "
                                                      "image begins with (its stack pointer and reset address)")
                                           .arg(image.size()));
    const std::uint32_t stack = word(image, 0);
    const std::uint32_t reset = word(image, 1);
    // The stack grows down from its initial value, so the end of the RAM
    // itself is the usual top; the core keeps the stack pointer word-aligned.
    if (stack <= BP::kRamStart || stack > BP::kRamEnd)
        return fail(Problem::StackPointer, QStringLiteral("its first word, the initial stack pointer %1, is not in the "
                                                          "microcontroller's RAM (%2 to %3): this is not a raw binary "
                                                          "image (a text or Intel HEX file cannot be written)")
                                               .arg(hex(stack), hex(BP::kRamStart), hex(BP::kRamEnd)));
    if (stack % 4 != 0)
        return fail(Problem::StackPointer,
                    QStringLiteral("its initial stack pointer %1 is not aligned to 4 bytes").arg(hex(stack)));
    const std::uint32_t entry = reset & ~std::uint32_t{1};
    const std::uint32_t end = BP::kFlashStart + static_cast<std::uint32_t>(image.size());
    if (entry < BP::kFlashStart || entry >= end)
        return fail(Problem::ResetOutside, QStringLiteral("its second word, the reset address %1, is not in the image "
                                                          "(%2 to %3)")
                                               .arg(hex(reset), hex(BP::kFlashStart), hex(end - 1)));
    if ((reset & 1) == 0)
        return fail(Problem::ResetNotThumb,
                    QStringLiteral("its reset address %1 is not a Thumb address (bit 0 is clear)").arg(hex(reset)));
    return {};
}

} // namespace FirmwareImage

FirmwareImage::File FirmwareImage::readFile(const QString &path)
{
    File result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.problem = File::Problem::CannotOpen;
        result.error = file.errorString();
        return result;
    }
    result.bytes = file.read(BootloaderProtocol::kMaxImage + 1);
    if (file.error() != QFileDevice::NoError) {
        result.problem = File::Problem::CannotRead;
        result.error = file.errorString();
        result.bytes.clear();
    }
    return result;
}
