#include "PrintConsole.h"

#include "ConsoleModel.h"
#include "ConsoleView.h"

#include <QCheckBox>
#include <QPushButton>

static QFont arial10()
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(10);
    return f;
}

TformPrint::TformPrint(ConsoleModel &console, QWidget *parent) : QWidget(parent, Qt::Window), m_console(console)
{
    setObjectName(QStringLiteral("formPrint"));
    setWindowTitle(QStringLiteral("Debug Console"));
    resize(508, 676);
    move(1075, 0);

    Memo1 = new ConsoleView(console, this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setAccessibleName(QStringLiteral("Debug Console"));
    Memo1->setGeometry(8, 62, 489, 606);

    btnClear = new QPushButton(QStringLiteral("Clear"), this);
    btnClear->setObjectName(QStringLiteral("btnClear"));
    btnClear->setFont(arial10());
    btnClear->setGeometry(8, 5, 37, 25);
    connect(btnClear, &QPushButton::clicked, this, &TformPrint::btnClearClick);

    btnScrollTop = new QPushButton(QStringLiteral("UP"), this);
    btnScrollTop->setObjectName(QStringLiteral("btnScrollTop"));
    btnScrollTop->setGeometry(53, 5, 25, 25);
    connect(btnScrollTop, &QPushButton::clicked, this, &TformPrint::btnScrollTopClick);

    CheckBox1 = new QCheckBox(QStringLiteral("scroll"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(86, 7, 56, 25);
    CheckBox1->setChecked(true);
    connect(CheckBox1, &QCheckBox::toggled, this, &TformPrint::CheckBox1Change);

    // FormCreate
    m_console.setAutoScroll(true);
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

void TformPrint::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The text keeps its margins when the window is resized.
    Memo1->setGeometry(8, 62, std::max(40, width() - 19), std::max(40, height() - 70));
}
