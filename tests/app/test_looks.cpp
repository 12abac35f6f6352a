#include "AppFolder.h"
#include "Editor.h"
#include "Fakes.h"
#include "Looks.h"
#include "Resources.h"
#include "TextFiles.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>

#include <gtest/gtest.h>

namespace {

int currentSkin()
{
    for (int n = 0; n < Looks::kSkins; ++n) {
        if (qApp->styleSheet() == QString::fromUtf8(Resources::load(QStringLiteral("Style_%1").arg(n))))
            return n;
    }
    return -1;
}

class LookTest : public ::testing::Test {
protected:
    void TearDown() override { qApp->setStyleSheet(QString()); }
    QString lookFile() const
    {
        return QDir(AppFolder::vendorPath(fakes.paths.documentsFolder())).filePath("style.txt");
    }
    void writeLook(const QString &content)
    {
        QDir().mkpath(AppFolder::vendorPath(fakes.paths.documentsFolder()));
        TextFiles::write(lookFile(), content);
    }
    FakeServices fakes;
};

} // namespace

TEST(Looks, EightDistinctSkinsAreCarried)
{
    QStringList sheets;
    for (int n = 0; n < Looks::kSkins; ++n) {
        const QString sheet = QString::fromUtf8(Resources::load(QStringLiteral("style_%1").arg(n)));
        EXPECT_FALSE(sheet.isEmpty());
        EXPECT_FALSE(sheets.contains(sheet)) << n;
        sheets << sheet;
    }
    EXPECT_FALSE(Looks::applySkin(8));
}

TEST(Looks, LookFileContent)
{
    const std::pair<const char *, std::optional<int>> cases[] = {
        {"3", 3}, {"7\r\n", 7}, {" 2 ", 2}, {"-1", -1}, {"abc", std::nullopt},
        {"", std::nullopt}, {"99999999999999999999", std::nullopt}, {"3x", std::nullopt},
    };
    for (const auto &[content, expected] : cases)
        EXPECT_EQ(Looks::parseLookFile(QString::fromLatin1(content)), expected) << content;
}

TEST_F(LookTest, StartsWithTheSavedLookOrTheDefault)
{
    const std::pair<const char *, int> cases[] = {
        {nullptr, 0},  // no look file
        {"7", 7},      // reachable only through the file
        {"4", 4},
        {"9", 3},      // no such skin: the look before stays
        {"-2", 3},
        {"text", 0},   // not a number: the default look
    };
    for (const auto &[content, expected] : cases) {
        if (content)
            writeLook(QString::fromLatin1(content));
        Looks::applySkin(3);
        Editor editor(fakes.services());
        EXPECT_EQ(currentSkin(), expected) << (content ? content : "(none)");
        EXPECT_TRUE(fakes.dialogs.messages.isEmpty());
    }
}

TEST_F(LookTest, ClickingALookAppliesAndRemembersIt)
{
    Editor editor(fakes.services());
    TformMain &m = *editor.windows().formMain;
    m.lookItems[3]->trigger();
    EXPECT_EQ(currentSkin(), 3);
    EXPECT_EQ(TextFiles::read(lookFile()), QStringLiteral("3"));
    m.lookItems[0]->trigger();
    EXPECT_EQ(currentSkin(), 0);
    EXPECT_EQ(TextFiles::read(lookFile()), QStringLiteral("0"));
}
