#include "UpdatesSupport.h"
#include "Versions.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Order {
    const char *a;
    const char *b;
    std::optional<int> expected;
};

TEST(Versions, CompareComponentByComponentFromTheLeft)
{
    const Order rows[] = {
        {"1.0.4.0", "1.0.3.0", 1},
        {"1.0.4.0", "1.0.4.0", 0},
        {"2.0.0.0", "1.23.0.0", 1},   // deleting the dots would give 2000 < 12300
        {"2.0.0.0", "1.0.10.0", 1},   // and 2000 < 10100
        {"1.10", "1.9", 1},
        {"1.9", "1.10", -1},
        {"1.3", "1.3.0", 0},          // a missing component counts as 0
        {"1.3.0.1", "1.3", 1},
        {"01.02", "1.2", 0},
        {"1.99999999999999999999999", "1.99999999999999999999998", 1}, // no overflow
        {"1.0.4.0\n", "1.0.3.0", std::nullopt},
        {"1.0.4.0", " 1.0.3.0", std::nullopt},
        {"Version info not available", "1.0.4.0", std::nullopt},
        {"", "1.0", std::nullopt},
        {"1..2", "1.0", std::nullopt},
        {"1.2.", "1.0", std::nullopt},
        {".2", "1.0", std::nullopt},
        {"1,2", "1.0", std::nullopt},
        {"-1.2", "1.0", std::nullopt},
        {"\xd9\xa1.2", "1.0", std::nullopt}, // Arabic-Indic digit one
    };
    for (const Order &row : rows) {
        EXPECT_EQ(Versions::compare(QString::fromUtf8(row.a), QString::fromUtf8(row.b)), row.expected)
            << row.a << " vs " << row.b;
    }
}

TEST(Versions, UpdaterVersionFromTheFixedFileInfoRecord)
{
    // Somewhere inside the file, not aligned, after bytes that look like the
    // signature but are not the record.
    QByteArray file = QByteArray("MZ\x90\x00", 4) + QByteArray(301, '\x11') + QByteArray("\xBD\x04\xEF\xFE\x00\x00\x02\x00", 8)
        + QByteArray(17, '\x22') + versionRecord(1, 12) + QByteArray(40, '\x33');
    EXPECT_EQ(Versions::fileVersionFromBytes(file), QStringLiteral("1.12"));
    EXPECT_EQ(Versions::fileVersionFromBytes(versionRecord(65535, 0)), QStringLiteral("65535.0"));

    EXPECT_EQ(Versions::fileVersionFromBytes(QByteArray("#!/bin/sh\nexit 0\n")), std::nullopt);
    EXPECT_EQ(Versions::fileVersionFromBytes(QByteArray()), std::nullopt);
    // A record cut off by the end of the file is no record.
    EXPECT_EQ(Versions::fileVersionFromBytes(versionRecord(1, 2).left(40)), std::nullopt);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tharnvik_Win_Updater.exe"));
    ASSERT_TRUE(writeFile(path, recordingUpdater(1, 3)));
    EXPECT_EQ(Versions::programFileVersion(path), QStringLiteral("1.3"));
    EXPECT_EQ(Versions::programFileVersion(dir.filePath(QStringLiteral("missing.exe"))), std::nullopt);
    EXPECT_EQ(Versions::programFileVersion(dir.path()), std::nullopt);
}

} // namespace
