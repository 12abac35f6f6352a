#include "FunctionsUnit.h"

#include <gtest/gtest.h>

TEST(HexToBytes, ConvertsPairsAndIgnoresATrailingDigit)
{
    EXPECT_EQ(HexToBytes(QStringLiteral("0010A0ff7")), QByteArray::fromHex("0010A0FF"));
    EXPECT_EQ(HexToBytes(QString()), QByteArray());
}

TEST(HexToBytes, BadPairIsAnError)
{
    EXPECT_THROW(HexToBytes(QStringLiteral("01ZZ02")), HexError);
    EXPECT_THROW(HexToBytes(QStringLiteral("0 ")), HexError);
}

TEST(HexToAnsiBytes, StopsAtTheFirstBadPairKeepingTheLength)
{
    EXPECT_EQ(HexToAnsiBytes(QStringLiteral("4142ZZ43")), QByteArray("AB\0\0", 4));
    EXPECT_EQ(HexToAnsiBytes(QStringLiteral("414")), QByteArray("A"));
}

TEST(XorChecksum, XorsTheFirstNBytes)
{
    EXPECT_EQ(XorChecksum(QStringLiteral("0FFF0102030405"), 7), 0xF1);
    EXPECT_EQ(XorChecksum(QStringLiteral("0FFF0102030405"), 2), 0xF0);
    EXPECT_EQ(XorChecksum(QStringLiteral("0FFF0102030405AA"), 1), 0x0F);
}

TEST(ResourceNameOf, ReplacesBlanksDashesPlusAndUpperX)
{
    const std::pair<const char *, const char *> cases[] = {
        {"Tharnvik MK3 0015", "Tharnvik_MK3_0015"},
        // Each rule in turn: blank and dash, then plus, then upper-case X.
        {"A-B+C X", "A_BplusC_mult"},
        {"A - B + C", "A___B_plus_C"},
        {"x2", "x2"},
        {"", ""},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(ResourceNameOf(QString::fromLatin1(in)), QString::fromLatin1(out)) << in;
}
