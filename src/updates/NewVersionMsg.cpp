#include "NewVersionMsg.h"

#include "AppFolder.h"
#include "AppState.h"
#include "Context.h"
#include "Guard.h"
#include "HttpClient.h"
#include "Resources.h"
#include "TextFiles.h"
#include "UpdateUpdaterUnit.h"
#include "Versions.h"

#include <algorithm>

#include <QApplication>
#include <QFontMetrics>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

TformNewVersionMsg::TformNewVersionMsg(Context &context) : QWidget(nullptr, Qt::Window), m_ctx(context)
{
    setObjectName(QStringLiteral("formNewVersionMsg"));
    setWindowTitle(QStringLiteral("New Version"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(268, 152);

    const QFont buttonFont = font();
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(11);
    setFont(arial);

    Label1 = new QLabel(QStringLiteral("Label1"), this);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 0, 252, 38);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    Label1->setWordWrap(true);

    Label2 = new QLabel(QStringLiteral("Label2"), this);
    Label2->setTextFormat(Qt::PlainText);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(14, 31, 236, 17);

    btnLaunchUpdate = new QPushButton(QStringLiteral("Update Now"), this);
    btnLaunchUpdate->setObjectName(QStringLiteral("btnLaunchUpdate"));
    btnLaunchUpdate->setFont(buttonFont);
    btnLaunchUpdate->setGeometry(86, 56, 93, 28);

    btnSeeWhatsNew = new QPushButton(QStringLiteral("What's New?"), this);
    btnSeeWhatsNew->setObjectName(QStringLiteral("btnSeeWhatsNew"));
    btnSeeWhatsNew->setGeometry(91, 97, 86, 25);

    CheckBox1 = new QCheckBox(QStringLiteral("Don't Show This Message Again"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(35, 132, 215, 19);

    for (QWidget *w : std::initializer_list<QWidget *>{btnLaunchUpdate, btnSeeWhatsNew, CheckBox1})
        w->setAccessibleName(static_cast<QAbstractButton *>(w)->text());

    Dialogs &d = m_ctx.dialogs();
    connectGuarded(btnLaunchUpdate, &QPushButton::clicked, this, d, [this] { btnLaunchUpdateClick(); });
    connectGuarded(btnSeeWhatsNew, &QPushButton::clicked, this, d, [this] { btnSeeWhatsNewClick(); });
    connectGuarded(CheckBox1, &QCheckBox::toggled, this, d, [this] { CheckBox1Change(); });
    fitToTexts();
}

void TformNewVersionMsg::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    guarded(m_ctx.dialogs(), [this] { FormShow(); });
}

void TformNewVersionMsg::FormShow()
{
    const AppState &state = m_ctx.state;
    Label1->setText(QStringLiteral("A new version of the Tharnvik Editor is available"));
    Label2->setText(QStringLiteral("Your version: ") + state.CurrentAppVersion + QStringLiteral("     New version: ")
                    + state.NewAppVersion);
    fitToTexts();
}

void TformNewVersionMsg::fitToTexts()
{
    // The design's 268 pixels hold the texts only in the design's own font;
    // the window widens, its controls centred, until every text is whole.
    constexpr int kDesignWidth = 268;
    const QFontMetrics fm(font());
    const int needed = std::max({kDesignWidth, fm.horizontalAdvance(Label1->text()) + 16,
                                 fm.horizontalAdvance(Label2->text()) + 28, CheckBox1->sizeHint().width() + 70});
    const int shift = (needed - kDesignWidth) / 2;
    setFixedSize(needed, 152);
    Label1->setGeometry(8, 0, needed - 16, 38);
    Label2->setGeometry(14, 31, needed - 28, std::max(17, fm.height()));
    btnLaunchUpdate->move(86 + shift, 56);
    btnSeeWhatsNew->move(91 + shift, 97);
    CheckBox1->setGeometry(35 + shift, 132, std::max(215, CheckBox1->sizeHint().width()), 19);
}

void TformNewVersionMsg::btnLaunchUpdateClick()
{
    emit updateWanted();
}

void TformNewVersionMsg::btnSeeWhatsNewClick()
{
    m_ctx.services.shell.openUrl(serverBaseUrl() + QLatin1String(Versions::kWhatsNewPath));
}

void TformNewVersionMsg::CheckBox1Change()
{
    // Only the tick writes; taking it back leaves the file as it is.
    if (!CheckBox1->isChecked())
        return;
    const QString flag = QDir(m_ctx.state.AppFolder).filePath(QLatin1String(AppFolder::kShowUpdateMessageFile));
    if (!m_ctx.state.AppFolder.isEmpty() && QFileInfo(flag).isFile())
        TextFiles::write(flag, QStringLiteral("NO"));
}
