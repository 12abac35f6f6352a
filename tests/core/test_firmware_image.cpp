// The check every firmware image passes before the bootloader is greeted:
// its size, then the stack pointer and reset address it starts from.
#include "BootloaderProtocol.h"
#include "FirmwareImage.h"
#include "Resources.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QByteArray words(std::uint32_t stack, std::uint32_t reset, qsizetype size)
{
    QByteArray image(size, '\x5A');
    for (int i = 0; i < 4; ++i) {
        image[i] = static_cast<char>(stack >> (8 * i));
        image[4 + i] = static_cast<char>(reset >> (8 * i));
    }
    return image;
}

constexpr std::uint32_t kTop = BootloaderProtocol::kRamEnd; // 0x20005000

} // namespace

TEST(FirmwareImage, EveryCarriedImagePasses)
{
    static const QRegularExpression firmware(QStringLiteral("^FIRMWARE_\\d+$"), QRegularExpression::CaseInsensitiveOption);
    int checked = 0;
    for (const QString &name : Resources::names()) {
        if (!firmware.match(name).hasMatch())
            continue;
        const FirmwareImage::Check check = FirmwareImage::check(Resources::load(name));
        EXPECT_TRUE(check.ok()) << name.toStdString() << ": " << check.reason.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, 12); // FIRMWARE_5 to FIRMWARE_16
}

TEST(FirmwareImage, TakesAVectorTableAtItsLimits)
{
    const QByteArray accepted[] = {
        words(kTop, 0x08000001, 8),                                // the smallest: the two vectors alone
        words(kTop - 4, 0x08000101, 1024),                         // a stack below the top
        words(0x20000004, 0x08000001, 1024),                       // the lowest word of the RAM
        words(kTop, 0x08000000 + 1023, 1024),                      // the reset handler at the image's last byte
        words(kTop, 0x08000221, BootloaderProtocol::kMaxImage),    // as large as the flash allows
    };
    for (const QByteArray &image : accepted) {
        const FirmwareImage::Check check = FirmwareImage::check(image);
        EXPECT_TRUE(check.ok()) << image.left(8).toHex().toStdString() << " " << image.size() << ": "
                                << check.reason.toStdString();
        EXPECT_TRUE(check.reason.isEmpty());
    }
}

TEST(FirmwareImage, RefusesWhatIsNotAnImageAndSaysWhatIsWrong)
{
    using P = FirmwareImage::Problem;
    const QByteArray hexFile = ":020000040800F2\r\n:1000000000500020210200089102000895020008D5\r\n:00000001FF\r\n";
    struct Case {
        const char *name;
        QByteArray image;
        P problem;
        const char *reason;
    };
    const Case cases[] = {
        {"empty", {}, P::Empty, "the file is empty"},
        {"too large", words(kTop, 0x08000221, BootloaderProtocol::kMaxImage + 1), P::TooLarge,
         "too large for the flash: a firmware image holds at most 130048 bytes"},
        {"too short", QByteArray::fromHex("00500020"), P::TooShort, "it holds 4 bytes, too few for the vector table"},
        {"Intel HEX", hexFile, P::StackPointer, "the initial stack pointer 0x3032303A, is not in the microcontroller's RAM "
                                                "(0x20000000 to 0x20005000)"},
        {"text", "This is a firmware image.\n", P::StackPointer, "stack pointer 0x73696854"},
        {"zeros", QByteArray(4096, '\0'), P::StackPointer, "stack pointer 0x00000000, is not in the"},
        {"erased flash", QByteArray(4096, '\xFF'), P::StackPointer, "stack pointer 0xFFFFFFFF"},
        {"an empty stack at the RAM's start", words(0x20000000, 0x08000001, 64), P::StackPointer, "0x20000000, is not in"},
        {"past the RAM", words(kTop + 4, 0x08000001, 64), P::StackPointer, "0x20005004, is not in"},
        {"unaligned stack", words(kTop - 2, 0x08000001, 64), P::StackPointer,
         "stack pointer 0x20004FFE is not aligned to 4 bytes"},
        {"reset past the image", words(kTop, 0x08000041, 64), P::ResetOutside,
         "the reset address 0x08000041, is not in the image (0x08000000 to 0x0800003F)"},
        {"reset below the flash", words(kTop, 0x00000101, 64), P::ResetOutside, "reset address 0x00000101, is not in"},
        {"reset in the RAM", words(kTop, 0x20000001, 64), P::ResetOutside, "reset address 0x20000001"},
        {"reset not Thumb", words(kTop, 0x08000020, 64), P::ResetNotThumb,
         "its reset address 0x08000020 is not a Thumb address (bit 0 is clear)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const FirmwareImage::Check check = FirmwareImage::check(c.image);
        EXPECT_FALSE(check.ok());
        EXPECT_EQ(check.problem, c.problem);
        EXPECT_TRUE(check.reason.contains(QLatin1String(c.reason))) << check.reason.toStdString();
    }
}
