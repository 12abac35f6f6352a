// No text of any window is cut short: every label, button, box, list entry,
// menu title and window caption fits its widget, in every look, after a
// link with the pedal's values shown. Run at scale 1 and (as its own test)
// with QT_SCALE_FACTOR=2.
#include "EditorFixture.h"
#include "FXsettings.h"
#include "FirmwareUpgrade.h"
#include "KnobControl.h"
#include "Looks.h"
#include "NewVersionMsg.h"
#include "NoteTrackingFilter.h"
#include "PresetLibraryWindow.h"
#include "PrintConsole.h"
#include "RealServices.h"
#include "SwitchControl.h"
#include "TextFit.h"
#include "UpdateUpdaterUnit.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

class Texts : public EditorFixture {
protected:
    std::vector<QWidget *> windows()
    {
        Windows &w = editor->windows();
        return {w.formMain, w.formFirmwareUpgrade, w.formPrint, w.formFXsettings, w.formNoteTrackingFilter,
                w.formNewVersionMsg, w.formUpdateUpdater, w.formPresetLibrary};
    }
    // Everything each window can show at once, shown.
    void showEverything()
    {
        for (QWidget *w : windows())
            w->show();
        editor->windows().formPrint->setServiceToolsVisible(true);
        QApplication::processEvents();
    }
    QString clippedEverywhere(const QString &state)
    {
        QString report;
        for (int skin = -1; skin < Looks::kSkins; ++skin) {
            if (skin < 0)
                qApp->setStyleSheet(QString());
            else
                Looks::applySkin(skin);
            QApplication::processEvents();
            for (QWidget *w : windows()) {
                const auto clipped = TextFit::clippedTexts(w, customRooms);
                if (!clipped.empty())
                    report += QStringLiteral("%1, skin %2, %3:\n%4\n")
                                  .arg(state)
                                  .arg(skin)
                                  .arg(TextFit::nameOf(w), TextFit::describe(clipped));
            }
        }
        return report;
    }
    TextFit::CustomCheck customRooms = [](const QWidget *w) {
        std::vector<TextFit::Clipped> out;
        if (auto *knob = qobject_cast<const KnobControl *>(w)) {
            for (const KnobControl::Clipped &c : knob->clippedTexts())
                out.push_back({TextFit::nameOf(w), c.text, c.need, c.room});
        } else if (auto *toggle = qobject_cast<const SwitchControl *>(w)) {
            if (const auto c = toggle->captionClipped())
                out.push_back({TextFit::nameOf(w), toggle->caption(), c->first, c->second});
        }
        return out;
    };
};

} // namespace

TEST_F(Texts, EveryTextOfEveryWindowFitsInEveryLook)
{
    TformMain &m = linked();
    showEverything();
    QString report = clippedEverywhere(QStringLiteral("linked"));

    // The statuses an upload shows.
    for (const char *status : {"Uploading...", "Upload Failed", "Status: "}) {
        m.lblStatus->setText(QString::fromLatin1(status));
        report += clippedEverywhere(QString::fromLatin1(status));
    }
    // Unlinked.
    m.menuDisconnectClick();
    report += clippedEverywhere(QStringLiteral("unlinked"));
    EXPECT_TRUE(report.isEmpty()) << report.toStdString();
}

// Texts from outside (a bridge's name, the pedal's answer, a path, the
// server's version text) are never read as markup: no label of any window,
// no message and no question takes rich text.
TEST_F(Texts, TextsFromOutsideAreShownAsTheyAre)
{
    linked();
    showEverything();
    QStringList rich;
    for (QWidget *w : windows())
        for (const QLabel *label : w->findChildren<QLabel *>())
            if (label->textFormat() != Qt::PlainText)
                rich << TextFit::nameOf(label);
    EXPECT_TRUE(rich.isEmpty()) << rich.join(QStringLiteral(", ")).toStdString();

    const QString markup = QStringLiteral("<b>FT232R</b><img src=\"/etc/passwd\">");
    QtDialogs dialogs;
    for (int kind = 0; kind < 2; ++kind) {
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, [&format] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                format = box->textFormat();
                box->done(QMessageBox::Yes);
            }
        });
        if (kind == 0)
            dialogs.message(markup);
        else
            dialogs.question(markup);
        EXPECT_EQ(format, Qt::PlainText) << (kind == 0 ? "message" : "question");
    }
}

// The texts are checked in the fonts the test asked for: Arial is Liberation
// Sans where the set-up's fonts are there, Debian's default sans font where
// they are not. Anything else means the machine's own fonts leaked in.
TEST(FontWorld, ArialIsTheFontTheTestAskedFor)
{
    const bool dejavuAlone = qEnvironmentVariable("THARNVIK_FONT_WORLD") == QLatin1String("dejavu");
    const QString expected = dejavuAlone ? QStringLiteral("DejaVu Sans") : QStringLiteral("Liberation Sans");
    EXPECT_EQ(QFontInfo(QFont(QStringLiteral("Arial"))).family(), expected)
        << "fonts from " << qgetenv("FONTCONFIG_FILE").constData()
        << (dejavuAlone ? "" : "; the Liberation fonts come with fonts-liberation2 (tools/install-deps.sh)");
    EXPECT_EQ(QFontInfo(QApplication::font()).family(), QStringLiteral("DejaVu Sans"));
}

TEST(TextFit, ReportsEachKindOfTextCutShortAndNothingThatFits)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("A caption far too long for a window this narrow"));
    window.resize(120, 200);
    auto *label = new QLabel(QStringLiteral("Device Algorithm: 0015"), &window);
    label->setGeometry(0, 0, 100, 20);
    auto *fits = new QLabel(QStringLiteral("Ok"), &window);
    fits->setGeometry(0, 20, 100, 20);
    auto *button = new QPushButton(QStringLiteral("Upload Audio Algorithm"), &window);
    button->setGeometry(0, 40, 60, 30);
    auto *box = new QComboBox(&window);
    box->addItems({QStringLiteral("0"), QStringLiteral("Standard (EADGBE) and more")});
    box->setGeometry(0, 80, 60, 24);
    auto *hidden = new QLabel(QStringLiteral("Hidden and much too long for its room"), &window);
    hidden->setGeometry(0, 110, 20, 20);
    hidden->hide();

    QStringList cut;
    for (const TextFit::Clipped &c : TextFit::clippedTexts(&window))
        cut << c.text;
    EXPECT_EQ(cut, (QStringList{window.windowTitle(), label->text(), button->text(), box->itemText(1)}));
}
