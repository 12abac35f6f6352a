#include "ConsoleRig.h"
#include "ConsoleModel.h"
#include "ConsoleView.h"
#include "PrintConsole.h"
#include "TextFiles.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ConsoleModel, LinesWithBreaksBecomeSeveralLinesAndEmptyTextOneLine)
{
    ConsoleModel m;
    m.ConsolePrint(QStringLiteral("one"));
    m.ConsolePrint(QStringLiteral("two\r\nthree\nfour\rfive"));
    m.ConsolePrint(QString());
    m.appendDirect(QStringLiteral("received Byte: \u00E9"));
    ASSERT_EQ(m.lineCount(), 7);
    EXPECT_EQ(m.text(0, 7, u"|"), QStringLiteral("one|two|three|four|five||received Byte: \u00E9"));
}

TEST(ConsoleModel, OnlyConsolePrintAsksForScrollingAndOnlyWhenAutoscrollIsOn)
{
    ConsoleModel m;
    QSignalSpy spy(&m, &ConsoleModel::linesAdded);
    m.ConsolePrint(QStringLiteral("a"));
    m.appendDirect(QStringLiteral("b"));
    m.setAutoScroll(false);
    m.ConsolePrint(QStringLiteral("c"));
    ASSERT_EQ(spy.size(), 3);
    EXPECT_TRUE(spy[0][1].toBool());
    EXPECT_FALSE(spy[1][1].toBool());
    EXPECT_FALSE(spy[2][1].toBool());
}

TEST(ConsoleModel, LogBlockIsAppendedExactly)
{
    QTemporaryDir dir;
    const QString log = QDir(dir.path()).filePath(QStringLiteral("log.txt"));
    ConsoleModel m;
    m.ConsolePrint(QStringLiteral("lost"));
    m.clear();
    m.ConsolePrint(QStringLiteral("********************REQUEST********************"));
    m.ConsolePrint(QStringLiteral("x\ny"));
    const QDateTime when(QDate(2026, 3, 7), QTime(9, 4, 5));
    appendLogBlock(log, when, m);
    appendLogBlock(log, when.addSecs(3600 * 12), m);
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray block = "********************REQUEST********************\r\nx\r\ny\r\n";
    EXPECT_EQ(f.readAll(), "\n\n07-03-2026 09:04:05\n" + block + "\n\n07-03-2026 21:04:05\n" + block);
}

TEST(ConsoleModel, UnwritableLogIsAnError)
{
    QTemporaryDir dir;
    ConsoleModel m;
    m.ConsolePrint(QStringLiteral("kept"));
    EXPECT_THROW(appendLogBlock(dir.path(), QDateTime::currentDateTime(), m), FileError);
    EXPECT_EQ(m.lineCount(), 1);
}

TEST(ConsoleWindow, AutoscrollFollowsTheCheckBoxAndUpAndClearWork)
{
    ConsoleRig rig;
    ConsoleModel &m = rig.model;
    TformPrint &window = rig.window;
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Debug Console"));
    ConsoleView *view = window.Memo1;
    for (int i = 0; i < 1000; ++i)
        m.ConsolePrint(QString::number(i));
    EXPECT_TRUE(view->isLineVisible(999));

    window.btnScrollTop->click();
    EXPECT_EQ(view->firstVisibleLine(), 0);

    // Unticked: new lines land but the view stays where the user left it.
    window.CheckBox1->setChecked(false);
    EXPECT_FALSE(m.autoScroll());
    m.ConsolePrint(QStringLiteral("late"));
    EXPECT_EQ(view->firstVisibleLine(), 0);
    EXPECT_EQ(m.lastLine(), QStringLiteral("late"));

    window.CheckBox1->setChecked(true);
    m.ConsolePrint(QStringLiteral("later"));
    EXPECT_TRUE(view->isLineVisible(m.lineCount() - 1));

    window.btnClear->click();
    EXPECT_EQ(m.lineCount(), 0);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 0);
}

TEST(ConsoleWindow, DirectAppendsDoNotScroll)
{
    ConsoleRig rig;
    ConsoleModel &m = rig.model;
    TformPrint &window = rig.window;
    window.show();
    for (int i = 0; i < 200; ++i)
        m.ConsolePrint(QString::number(i));
    window.Memo1->scrollToTop();
    m.appendDirect(QStringLiteral("Midi channel: 3"));
    EXPECT_EQ(window.Memo1->firstVisibleLine(), 0);
}

TEST(ConsoleWindow, SelectionCopiesWholeLines)
{
    ConsoleModel m;
    ConsoleView view(m);
    view.resize(300, 200);
    for (const char *s : {"a", "b", "c"})
        m.ConsolePrint(QString::fromLatin1(s));
    EXPECT_EQ(view.selectedText(), QStringLiteral("a\nb\nc"));
}
