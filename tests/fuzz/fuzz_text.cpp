// Text from outside: files in any encoding, preset fields, hex strings; and
// a firmware file's bytes as the check before an upgrade judges them.
#include "BootloaderProtocol.h"
#include "FirmwareImage.h"
#include "FunctionsUnit.h"
#include "FuzzSupport.h"
#include "Presets.h"
#include "TextFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString text = TextFiles::decode(bytes);
    for (int k = 0; k < Presets::kLines; ++k) {
        const QString field = Presets::fieldOf(text, k);
        (void)Presets::applyField(field, 0x00400000u);
        (void)Presets::ReverseHexBytes(field);
    }
    (void)Presets::withTxt(text);

    const QString latin = QString::fromLatin1(bytes);
    // Bad hex is refused with HexError (shown as a message by the handler
    // that meets it); anything else escaping is a fault.
    try {
        (void)HexToBytes(latin);
    } catch (const HexError &) {
    }
    try {
        (void)XorChecksum(latin, size > 0 ? data[0] : 0);
    } catch (const HexError &) {
    }
    (void)HexToAnsiBytes(latin);
    (void)ResourceNameOf(text);
    (void)TextFiles::encodeWindows1252(TextFiles::decodeWindows1252(bytes));
    const FirmwareImage::Check image = FirmwareImage::check(bytes);
    if (image.ok() != image.reason.isEmpty()
        || (image.ok() && (size < 8 || size > BootloaderProtocol::kMaxImage)))
        __builtin_trap();
    return 0;
}
