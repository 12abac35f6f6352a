// The debug console's service commands: EEPROM erase and read, the hidden
// raw write, and the hidden generator with its plot.
#include "ConsoleRig.h"
#include "FilterPlot.h"
#include "FilterTable.h"
#include "Tunings.h"

#include "ConsoleView.h"

#include <functional>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Types into a box as the user does and leaves it.
void typeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    emit edit->editingFinished();
}

class LocaleScope {
public:
    explicit LocaleScope(const QLocale &locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

} // namespace

TEST(ConsoleService, EraseAsksFirstAndPurgesBeforeWriting)
{
    ConsoleRig rig;
    rig.fakes.dialogs.answers = {Answer::No, Answer::Yes};
    rig.window.btnEraseEeprom->click();
    EXPECT_TRUE(rig.ft().writes.empty());
    EXPECT_EQ(rig.fakes.dialogs.questions, QStringList{"Erase EEPROM now?"});

    rig.ft().calls.clear();
    rig.window.btnEraseEeprom->click();
    ASSERT_EQ(rig.ft().writes, std::vector<QByteArray>{hex("0B50000000")});
    EXPECT_EQ(rig.model.lastLine(), QStringLiteral("erase message: 0B50000000"));
    const QStringList names = rig.ft().callNames();
    EXPECT_LT(names.indexOf("FT_Purge"), names.indexOf("FT_Write"));
    EXPECT_EQ(rig.fakes.clock.pauses, std::vector<int>{100});
}

TEST(ConsoleService, ReadUsesTheChosenAddressAndAnnouncesOnlyAReadThatWentOut)
{
    ConsoleRig rig;
    QSignalSpy sent(&rig.window, &TformPrint::eepromReadSent);
    rig.window.cmbI2Caddr->setCurrentIndex(1);
    rig.window.btnReadEEPROM->click();
    EXPECT_EQ(rig.ft().writes, std::vector<QByteArray>{hex("0C5100000000")});
    EXPECT_FALSE(rig.ft().callNames().contains("FT_Purge"));
    EXPECT_TRUE(rig.log().contains(QLatin1String("Read message: 0C5100000000")));
    EXPECT_EQ(rig.fakes.clock.pauses, std::vector<int>{4000});
    EXPECT_TRUE(rig.fakes.dialogs.questions.isEmpty());
    EXPECT_EQ(sent.size(), 1);

    rig.ft().fail.insert(QStringLiteral("FT_Write"), ft::IO_ERROR);
    rig.window.btnReadEEPROM->click();
    EXPECT_EQ(sent.size(), 1);
}

TEST(ConsoleService, RawWriteSendsSevenBytesOnlyFromWholeEdits)
{
    ConsoleRig rig;
    rig.window.edtAddress->setText(QStringLiteral("0010"));
    rig.window.edtData->setText(QStringLiteral("00800000"));
    rig.window.btnSendClick();
    EXPECT_EQ(rig.ft().writes, std::vector<QByteArray>{hex("01001000800000")});
    EXPECT_EQ(rig.model.lastLine(), QStringLiteral("01001000800000"));

    const std::pair<const char *, const char *> bad[] = {
        {"addr", "data"}, {"10", "00800000"}, {"0010", "008000"}, {"0010", "0080000000"}, {"00G0", "00800000"},
    };
    for (const auto &[address, data] : bad) {
        rig.window.edtAddress->setText(QLatin1String(address));
        rig.window.edtData->setText(QLatin1String(data));
        rig.window.btnSendClick();
    }
    EXPECT_EQ(rig.ft().writes.size(), 1u);
    EXPECT_EQ(rig.fakes.dialogs.messages.size(), 5);
}

TEST(ConsoleService, ShortcutShowsTheHiddenToolsAndMakesRoomForThem)
{
    ConsoleRig rig;
    rig.window.show();
    EXPECT_FALSE(rig.window.btnSend->isVisible());
    EXPECT_FALSE(rig.window.cmbNotePicker->isVisible());
    const int top = rig.window.Memo1->y();
    QTest::keyClick(&rig.window, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(rig.window.serviceToolsVisible());
    for (QWidget *w : std::initializer_list<QWidget *>{rig.window.btnSend, rig.window.edtAddress, rig.window.edtData,
                                                       rig.window.cmbNotePicker, rig.window.edtQ, rig.window.edtBoost,
                                                       rig.window.btnGetNoteFrequency, rig.window.plotResponse})
        EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_GT(rig.window.Memo1->y(), rig.window.plotResponse->geometry().bottom());
    QTest::keyClick(&rig.window, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(rig.window.btnSend->isVisible());
    EXPECT_EQ(rig.window.Memo1->y(), top);
}

TEST(ConsoleService, EveryControlHasANameForAssistiveTechnology)
{
    ConsoleRig rig;
    rig.window.show();
    rig.window.setServiceToolsVisible(true);
    for (QWidget *c : rig.window.findChildren<QWidget *>()) {
        if (!c->isVisible() || c->parentWidget() != &rig.window)
            continue;
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(c);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << c->objectName().toStdString();
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(rig.window.btnEraseEeprom)->text(QAccessible::Name),
              QStringLiteral("Erase E2P"));
    EXPECT_FALSE(rig.window.plotResponse->accessibleDescription().isEmpty());
}

TEST(ConsoleService, GeneratorStartsAtA1WithItsOwnStartValues)
{
    ConsoleRig rig;
    EXPECT_EQ(rig.window.cmbNotePicker->count(), 48);
    EXPECT_EQ(rig.window.cmbNotePicker->currentText(), QStringLiteral("A1"));
    EXPECT_EQ(rig.window.generator.SemitoneOffset, -12);
    EXPECT_EQ(rig.window.edtQ->text(), QStringLiteral("1.41"));
    rig.window.btnGetNoteFrequency->click();
    EXPECT_DOUBLE_EQ(rig.window.generator.CentreFrequency, 55.0);
    const QStringList lines = rig.model.text(0, rig.model.lineCount()).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("A1_6db_cut_Q11 : array[0..19] of string ="));

    rig.window.cmbNotePicker->setCurrentIndex(47);
    EXPECT_EQ(rig.window.generator.SemitoneOffset, 35);
}

TEST(ConsoleService, QAndBoostTakeTypedNumbersAndRefuseTheRest)
{
    ConsoleRig rig;
    rig.window.show();
    TformPrint &w = rig.window;
    // Typing the boost the box already shows still counts as a change.
    typeInto(w.edtBoost, QStringLiteral("0"));
    EXPECT_EQ(w.generator.FilterBoostDb, 0.0);
    EXPECT_EQ(rig.model.lastLine(), QStringLiteral("boost: 0"));

    typeInto(w.edtQ, QStringLiteral("12"));
    EXPECT_EQ(w.generator.FilterQ, 12.0);
    EXPECT_EQ(rig.model.lastLine(), QStringLiteral("Q: 12"));
    // Leaving the box again without a change runs nothing.
    emit w.edtQ->editingFinished();
    EXPECT_EQ(rig.model.lineCount(), 2);

    for (const char *bad : {"abc", "0", "-3", "1e9", ""}) {
        typeInto(w.edtQ, QLatin1String(bad));
        EXPECT_EQ(w.generator.FilterQ, 12.0) << bad;
    }
    typeInto(w.edtBoost, QStringLiteral("400"));
    typeInto(w.edtBoost, QStringLiteral("x"));
    EXPECT_EQ(w.generator.FilterBoostDb, 0.0);
    ASSERT_EQ(rig.fakes.dialogs.messages.size(), 7);
    EXPECT_EQ(rig.fakes.dialogs.messages[0], QStringLiteral("Q unchanged: 'abc' is not a number"));
    EXPECT_EQ(rig.log().count(QRegularExpression(QStringLiteral("(^|\n)Q: "))), 1);
    EXPECT_EQ(w.edtQ->text(), QString()); // what the user typed stays in the box
}

TEST(ConsoleService, CalcTakesABoxChangedWithoutLeavingIt)
{
    ConsoleRig rig;
    rig.window.edtQ->setText(QStringLiteral("12"));
    rig.window.btnGetNoteFrequency->click();
    EXPECT_EQ(rig.window.generator.FilterQ, 12.0);
    EXPECT_EQ(rig.model.text(0, 2), QStringLiteral("Q: 12\nA1_6db_cut_Q12 : array[0..19] of string ="));
    rig.window.btnGetNoteFrequency->click();
    EXPECT_EQ(rig.log().count(QLatin1String("Q: 12")), 1);
}

TEST(ConsoleService, NumbersUseTheUsersDecimalSeparator)
{
    const LocaleScope german{QLocale(QLocale::German, QLocale::Germany)};
    ConsoleRig rig;
    rig.window.show();
    typeInto(rig.window.edtBoost, QStringLiteral("-3,5"));
    EXPECT_EQ(rig.window.generator.FilterBoostDb, -3.5);
    EXPECT_EQ(rig.model.lastLine(), QStringLiteral("boost: -3,5"));
    rig.window.cmbNotePicker->setCurrentIndex(12);
    rig.window.btnGetNoteFrequency->click();
    EXPECT_TRUE(rig.log().contains(QLatin1String("A2_3,5db_cut_Q11 : array[0..19] of string =")));
}

TEST(ConsoleService, PlotShowsThePrintedCoefficientsAndOnRequestTheTuningFilters)
{
    ConsoleRig rig;
    TformPrint &w = rig.window;
    w.cmbNotePicker->setCurrentIndex(12); // A2, 110 Hz, Q 11, 6 dB cut
    w.btnGetNoteFrequency->click();
    ASSERT_TRUE(w.plotResponse->hasMain());

    // The twenty printed bytes are the plotted words.
    QByteArray printed;
    for (int i = 1; i <= 5; ++i) {
        const qsizetype at = rig.model.lineCount() - 6 + i;
        const QString line = rig.model.text(at, at + 1);
        for (const QString &item : line.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString digits = QString(item).remove(QRegularExpression(QStringLiteral("[^0-9A-F]")));
            if (!digits.isEmpty())
                printed += QByteArray::fromHex(digits.toLatin1());
        }
    }
    ASSERT_EQ(printed.size(), 20);
    EXPECT_EQ(FilterTable::fromBytes(reinterpret_cast<const std::uint8_t *>(printed.constData())),
              w.plotResponse->mainWords());
    EXPECT_NEAR(FilterTable::magnitudeDb(w.plotResponse->mainWords(), 110.0), -6.0, 0.05);
    EXPECT_TRUE(w.plotResponse->accessibleDescription().contains(QLatin1String("A2_6db_cut_Q11: -6.0 dB near 110 Hz")))
        << w.plotResponse->accessibleDescription().toStdString();
    // A narrow filter between two samples of the curve is still found.
    w.edtQ->setText(QStringLiteral("60"));
    w.cmbNotePicker->setCurrentIndex(0);
    w.btnGetNoteFrequency->click();
    EXPECT_TRUE(w.plotResponse->accessibleDescription().contains(QLatin1String("A1_6db_cut_Q60: -6.0 dB near 55 Hz")))
        << w.plotResponse->accessibleDescription().toStdString();
    w.cmbNotePicker->setCurrentIndex(12);
    w.btnGetNoteFrequency->click();
    // The log axis spans 20 Hz to 2 kHz.
    EXPECT_NEAR(w.plotResponse->hzAt(w.plotResponse->xOf(20.0)), 20.0, 1e-9);
    EXPECT_NEAR(w.plotResponse->hzAt(w.plotResponse->xOf(2000.0)), 2000.0, 1e-9);
    EXPECT_NEAR(w.plotResponse->xOf(200.0) - w.plotResponse->xOf(20.0),
                w.plotResponse->xOf(2000.0) - w.plotResponse->xOf(200.0), 1e-9);

    w.chkTuningFilters->setChecked(true);
    ASSERT_EQ(w.plotResponse->background().size(), 32u);
    EXPECT_EQ(w.plotResponse->background()[31], FilterTable::fromBytes(Tunings::TuningDataTable[31].data()));
    // Room for the 20 dB cuts.
    EXPECT_LE(w.plotResponse->lowDb(), -20.0);
    w.chkTuningFilters->setChecked(false);
    EXPECT_TRUE(w.plotResponse->background().empty());
}

TEST(ConsoleService, CoefficientsThatDoNotFitPrintNothing)
{
    ConsoleRig rig;
    rig.window.show();
    typeInto(rig.window.edtQ, QStringLiteral("0.001"));
    typeInto(rig.window.edtBoost, QStringLiteral("60"));
    rig.window.cmbNotePicker->setCurrentIndex(47);
    const int before = rig.model.lineCount();
    rig.window.btnGetNoteFrequency->click();
    EXPECT_EQ(rig.model.lineCount(), before + 1);
    EXPECT_TRUE(rig.model.lastLine().startsWith(QLatin1String("No table for G#5")));
    EXPECT_EQ(rig.fakes.dialogs.messages.size(), 1);
    EXPECT_FALSE(rig.window.plotResponse->hasMain());
}

TEST(ConsoleService, ACommandTheBridgeRefusesIsSaidAlsoWhileItsErrorLinesAreOff)
{
    // During firmware work the bridge's error lines are off; a command typed
    // in the console that does not go out still says so, once.
    const std::pair<const char *, std::function<void(TformPrint &)>> commands[] = {
        {"raw write", [](TformPrint &w) {
             w.edtAddress->setText(QStringLiteral("0010"));
             w.edtData->setText(QStringLiteral("00800000"));
             w.btnSendClick();
         }},
        {"read", [](TformPrint &w) { w.btnReadEEPROM->click(); }},
        {"erase", [](TformPrint &w) { w.btnEraseEepromClick(); }},
    };
    for (bool reporting : {false, true}) {
        for (const auto &[name, command] : commands) {
            ConsoleRig rig;
            rig.usb.FtErrorReporting = reporting;
            rig.ft().fail.insert(QStringLiteral("FT_Write"), ft::IO_ERROR);
            command(rig.window);
            EXPECT_EQ(rig.log().count(QStringLiteral("FT_Write - General IO error...")), 1) << name << reporting;
        }
    }
}
