#include "PrintConsole.h"

#include "ConsoleModel.h"
#include "ConsoleView.h"
#include "Context.h"
#include "FilterPlot.h"
#include "Guard.h"
#include "PedalSession.h"
#include "Tunings.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QApplication>
#include <QKeyEvent>

namespace {

QFont arial10()
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(10);
    return f;
}

// A list whose item can be chosen by assistive technology (through the
// item's own action) as well as by the pointer.
void selectableByAssistiveTechnology(QComboBox *box)
{
    auto take = [box](const QModelIndex &index) {
        if (index.isValid() && !box->view()->isVisible() && index.row() != box->currentIndex())
            box->setCurrentIndex(index.row());
    };
    QItemSelectionModel *selection = box->view()->selectionModel();
    QObject::connect(selection, &QItemSelectionModel::currentChanged, box, take);
}

bool isHex(const QString &text)
{
    for (QChar c : text) {
        if (!c.isDigit() && !(c.toUpper() >= QLatin1Char('A') && c.toUpper() <= QLatin1Char('F')))
            return false;
    }
    return true;
}

constexpr int kMemoTop = 62;
constexpr int kServiceMemoTop = 238;

} // namespace

TformPrint::TformPrint(Context &context, QWidget *parent)
    : QWidget(parent, Qt::Window), m_ctx(context), m_console(context.console)
{
    setObjectName(QStringLiteral("formPrint"));
    setWindowTitle(QStringLiteral("Debug Console"));
    resize(508, 676);
    move(1075, 0);
    Dialogs &d = m_ctx.dialogs();

    Memo1 = new ConsoleView(m_console, this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setAccessibleName(QStringLiteral("Debug Console"));
    Memo1->setGeometry(8, kMemoTop, 489, 606);

    btnClear = new QPushButton(QStringLiteral("Clear"), this);
    btnClear->setObjectName(QStringLiteral("btnClear"));
    btnClear->setFont(arial10());
    // Room for the caption in Debian's default sans font too, where Arial is
    // not installed.
    btnClear->setGeometry(8, 5, 41, 25);
    connectGuarded(btnClear, &QPushButton::clicked, this, d, [this] { btnClearClick(); });

    btnScrollTop = new QPushButton(QStringLiteral("UP"), this);
    btnScrollTop->setObjectName(QStringLiteral("btnScrollTop"));
    btnScrollTop->setGeometry(53, 5, 25, 25);
    connectGuarded(btnScrollTop, &QPushButton::clicked, this, d, [this] { btnScrollTopClick(); });

    CheckBox1 = new QCheckBox(QStringLiteral("scroll"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(86, 7, 56, 25);
    CheckBox1->setChecked(true);
    connectGuarded(CheckBox1, &QCheckBox::toggled, this, d, [this] { CheckBox1Change(); });

    // Wrapped captions: the accessible name stays on one line.
    btnEraseEeprom = new QPushButton(QStringLiteral("Erase\nE2P"), this);
    btnEraseEeprom->setObjectName(QStringLiteral("btnEraseEeprom"));
    btnEraseEeprom->setAccessibleName(QStringLiteral("Erase E2P"));
    btnEraseEeprom->setFont(arial10());
    btnEraseEeprom->setGeometry(184, 2, 73, 40);
    connectGuarded(btnEraseEeprom, &QPushButton::clicked, this, d, [this] { btnEraseEepromClick(); });

    btnReadEEPROM = new QPushButton(QStringLiteral("Read\nE2P"), this);
    btnReadEEPROM->setObjectName(QStringLiteral("btnReadEEPROM"));
    btnReadEEPROM->setAccessibleName(QStringLiteral("Read E2P"));
    btnReadEEPROM->setFont(arial10());
    btnReadEEPROM->setGeometry(265, 2, 62, 40);
    connectGuarded(btnReadEEPROM, &QPushButton::clicked, this, d, [this] { btnReadEEPROMClick(); });

    Label1 = new QLabel(QStringLiteral("E2P addr"), this);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(arial10());
    Label1->setGeometry(374, 8, 62, 17);

    cmbI2Caddr = new QComboBox(this);
    cmbI2Caddr->setObjectName(QStringLiteral("cmbI2Caddr"));
    cmbI2Caddr->setFont(arial10());
    cmbI2Caddr->addItems({QStringLiteral("50"), QStringLiteral("51")});
    cmbI2Caddr->setGeometry(438, 4, 58, 26);
    cmbI2Caddr->setAccessibleName(QStringLiteral("E2P addr"));
    Label1->setBuddy(cmbI2Caddr);
    selectableByAssistiveTechnology(cmbI2Caddr);

    createServiceTools();

    // Ctrl+Shift+G, wherever the focus is inside the window.
    qApp->installEventFilter(this);

    // FormCreate
    m_console.setAutoScroll(true);
    cmbNotePicker->setCurrentIndex(0);
    cmbNotePickerChange();
    cmbI2Caddr->setCurrentIndex(0);
}

void TformPrint::createServiceTools()
{
    Dialogs &d = m_ctx.dialogs();
    auto edit = [this](const char *name, const QString &text, const QString &accessible, QRect geometry) {
        auto *e = new QLineEdit(text, this);
        e->setObjectName(QLatin1String(name));
        e->setAccessibleName(accessible);
        e->setGeometry(geometry);
        return e;
    };
    edtAddress = edit("edtAddress", QStringLiteral("addr"), QStringLiteral("Raw write address"), {8, 43, 49, 24});
    edtData = edit("edtData", QStringLiteral("data"), QStringLiteral("Raw write data"), {65, 45, 100, 22});
    btnSend = new QPushButton(QStringLiteral("Send"), this);
    btnSend->setObjectName(QStringLiteral("btnSend"));
    btnSend->setGeometry(173, 45, 36, 22);
    connectGuarded(btnSend, &QPushButton::clicked, this, d, [this] { btnSendClick(); });

    cmbNotePicker = new QComboBox(this);
    cmbNotePicker->setObjectName(QStringLiteral("cmbNotePicker"));
    cmbNotePicker->setAccessibleName(QStringLiteral("Note"));
    for (const char *name : FilterTable::NoteNames)
        cmbNotePicker->addItem(QLatin1String(name));
    cmbNotePicker->setGeometry(265, 44, 58, 22);
    selectableByAssistiveTechnology(cmbNotePicker);
    connectGuarded(cmbNotePicker, &QComboBox::currentIndexChanged, this, d, [this] { cmbNotePickerChange(); });

    edtQ = edit("edtQ", QStringLiteral("1.41"), QStringLiteral("Q"), {326, 45, 42, 22});
    edtBoost = edit("edtBoost", QStringLiteral("0"), QStringLiteral("Boost dB"), {371, 45, 36, 22});
    for (QLineEdit *e : {edtQ, edtBoost})
        connect(e, &QLineEdit::textEdited, e, [e] { e->setProperty("typed", true); });
    connectGuarded(edtQ, &QLineEdit::editingFinished, this, d, [this] { edtQChange(); });
    connectGuarded(edtBoost, &QLineEdit::editingFinished, this, d, [this] { edtBoostChange(); });

    btnGetNoteFrequency = new QPushButton(QStringLiteral("Calc Coeff."), this);
    btnGetNoteFrequency->setObjectName(QStringLiteral("btnGetNoteFrequency"));
    btnGetNoteFrequency->setGeometry(409, 45, 88, 22);
    connectGuarded(btnGetNoteFrequency, &QPushButton::clicked, this, d, [this] { btnGetNoteFrequencyClick(); });

    plotResponse = new FilterPlot(this);
    plotResponse->setGeometry(8, 72, 489, 140);
    chkTuningFilters = new QCheckBox(QStringLiteral("Show the 32 tuning filters"), this);
    chkTuningFilters->setObjectName(QStringLiteral("chkTuningFilters"));
    chkTuningFilters->setGeometry(8, 214, 250, 20);
    connectGuarded(chkTuningFilters, &QCheckBox::toggled, this, d, [this] { chkTuningFiltersChange(); });

    for (QWidget *w : std::initializer_list<QWidget *>{edtAddress, edtData, btnSend, cmbNotePicker, edtQ, edtBoost,
                                                       btnGetNoteFrequency, plotResponse, chkTuningFilters})
        w->setVisible(false);
}

void TformPrint::setServiceToolsVisible(bool visible)
{
    m_serviceTools = visible;
    for (QWidget *w : std::initializer_list<QWidget *>{edtAddress, edtData, btnSend, cmbNotePicker, edtQ, edtBoost,
                                                       btnGetNoteFrequency, plotResponse, chkTuningFilters})
        w->setVisible(visible);
    layoutMemo();
}

TformPrint::~TformPrint()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool TformPrint::FormKeyDown(int key, Qt::KeyboardModifiers shift)
{
    if (key == Qt::Key_G && (shift & Qt::ControlModifier) && (shift & Qt::ShiftModifier)) {
        setServiceToolsVisible(!m_serviceTools);
        return true;
    }
    return false;
}

bool TformPrint::eventFilter(QObject *watched, QEvent *event)
{
    if (windowKeyDown(this, m_ctx.dialogs(), watched, event,
                      [this](int key, Qt::KeyboardModifiers shift) { return FormKeyDown(key, shift); }))
        return true;
    return QWidget::eventFilter(watched, event);
}

void TformPrint::btnClearClick()
{
    m_console.clear();
}

void TformPrint::btnScrollTopClick()
{
    Memo1->scrollToTop();
}

void TformPrint::CheckBox1Change()
{
    m_console.setAutoScroll(CheckBox1->isChecked());
}

void TformPrint::btnEraseEepromClick()
{
    if (m_ctx.dialogs().question(QStringLiteral("Erase EEPROM now?")) != Answer::Yes)
        return;
    EraseEEPROM(cmbI2Caddr->currentText());
}

void TformPrint::btnReadEEPROMClick()
{
    ReadEEPROM(cmbI2Caddr->currentText());
}

void TformPrint::EraseEEPROM(const QString &i2cAddr)
{
    sayRefused(m_ctx.session.eraseEeprom(i2cAddr));
}

void TformPrint::sayRefused(bool sent)
{
    // The bridge's error lines are off during firmware work; a command typed
    // here that the bridge refused is said all the same.
    if (sent)
        return;
    if (const QString line = m_ctx.session.unsaidWriteFailure(); !line.isEmpty())
        m_console.ConsolePrint(line);
}

void TformPrint::ReadEEPROM(const QString &i2cAddr)
{
    const bool sent = m_ctx.session.sendEepromRead(i2cAddr);
    sayRefused(sent);
    if (sent)
        emit eepromReadSent();
    m_ctx.session.settleEeprom();
}

void TformPrint::btnSendClick()
{
    const QString address = edtAddress->text();
    const QString data = edtData->text();
    const QString text = QStringLiteral("01") + address + data;
    m_console.ConsolePrint(text);
    // The message always has 7 bytes: edits that do not fill them exactly
    // would send whatever an earlier message left behind.
    if (address.size() != 4 || data.size() != 8 || !isHex(address) || !isHex(data)) {
        const QString why = QStringLiteral("Raw write not sent: the address needs 4 hex digits and the data 8");
        m_console.ConsolePrint(why);
        m_ctx.dialogs().message(why);
        return;
    }
    sayRefused(m_ctx.session.send(PedalMessage::fromHex(text, 7)) == 7);
}

void TformPrint::cmbNotePickerChange()
{
    generator.selectNote(cmbNotePicker->currentIndex());
}

std::optional<double> TformPrint::readNumber(QLineEdit *edit, QString &handled, const QString &what,
                                             QString (*check)(double))
{
    // Runs once per change, when the user is done with the box: a message
    // box taking the focus must not run it again.
    const QString text = edit->text();
    const bool typed = edit->property("typed").toBool();
    if (text == handled && !typed)
        return std::nullopt;
    handled = text;
    edit->setProperty("typed", false);
    const std::optional<double> value = FilterTable::parseNumber(text, QLocale());
    QString problem;
    if (!value)
        problem = QStringLiteral("'%1' is not a number").arg(text);
    else if (const QString why = check(*value); !why.isEmpty())
        problem = QStringLiteral("%1 is refused: %2").arg(text, why);
    if (!problem.isEmpty()) {
        problem = what + QStringLiteral(" unchanged: ") + problem;
        m_console.ConsolePrint(problem);
        m_ctx.dialogs().message(problem);
        return std::nullopt;
    }
    return value;
}

void TformPrint::edtQChange()
{
    if (const auto q = readNumber(edtQ, m_handledQ, QStringLiteral("Q"), &FilterTable::checkQ)) {
        generator.FilterQ = *q;
        m_console.ConsolePrint(QStringLiteral("Q: ") + FilterTable::formatNumber(*q, QLocale()));
    }
}

void TformPrint::edtBoostChange()
{
    if (const auto boost = readNumber(edtBoost, m_handledBoost, QStringLiteral("Boost"), &FilterTable::checkBoost)) {
        generator.FilterBoostDb = *boost;
        m_console.ConsolePrint(QStringLiteral("boost: ") + FilterTable::formatNumber(*boost, QLocale()));
    }
}

void TformPrint::btnGetNoteFrequencyClick()
{
    // Boxes changed without leaving them (assistive technology can set a
    // text without moving the focus) count as finished now.
    edtQChange();
    edtBoostChange();
    generator.CentreFrequency = FilterTable::NoteFrequency(generator.SemitoneOffset);
    const QString note = cmbNotePicker->currentText();
    const QStringList lines = generator.GenerateFilterTable(note, QLocale());
    if (lines.isEmpty()) {
        const QString why = QStringLiteral("No table for %1: its coefficients do not fit the 32-bit format").arg(note);
        m_console.ConsolePrint(why);
        m_ctx.dialogs().message(why);
        plotResponse->clearMain();
        return;
    }
    for (const QString &line : lines)
        m_console.ConsolePrint(line);
    plotResponse->setMain(lines.constFirst().section(QLatin1Char(' '), 0, 0), *generator.words);
}

void TformPrint::chkTuningFiltersChange()
{
    std::vector<FilterTable::FixedWords> curves;
    if (chkTuningFilters->isChecked()) {
        for (const Tunings::Row &row : Tunings::TuningDataTable)
            curves.push_back(FilterTable::fromBytes(row.data()));
    }
    plotResponse->setBackground(curves);
}

void TformPrint::layoutMemo()
{
    const int top = m_serviceTools ? kServiceMemoTop : kMemoTop;
    Memo1->setGeometry(8, top, std::max(40, width() - 19), std::max(40, height() - top - 8));
    plotResponse->setGeometry(8, 72, std::max(160, width() - 19), 140);
}

void TformPrint::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The text keeps its margins when the window is resized.
    layoutMemo();
}
