// The main window's part of the updates: the start-up version check and the
// Info menu's update entries.
#include "main.h"

#include "AppFolder.h"
#include "AppState.h"
#include "ConsoleModel.h"
#include "Guard.h"
#include "NewVersionMsg.h"
#include "HttpClient.h"
#include "Resources.h"
#include "TextFiles.h"
#include "UpdateUpdaterUnit.h"
#include "Versions.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

void TformMain::connectUpdateHandlers()
{
    Dialogs &d = m_ctx.dialogs();
    connectGuarded(TimerCheckWebVersion, &ClockTimer::timeout, this, d, [this] { checkmostrecentversiononwebsite(); });
    connectGuarded(menuUpdateNow, &QAction::triggered, this, d, [this] { menuUpdateNowClick(); });
    connectGuarded(menuShowUpdateMsg, &QAction::triggered, this, d, [this] { menuShowUpdateMsgClick(); });
}

void TformMain::prepareVersionCheck()
{
    versionCheckUrl = serverBaseUrl() + QLatin1String(Versions::kEditorVersionPath);
    TimerCheckWebVersion->setEnabled(true);
}

void TformMain::checkmostrecentversiononwebsite()
{
    // Once per start.
    TimerCheckWebVersion->setEnabled(false);
    // The answer only touches the Info menu and a window that is not modal,
    // so the editor stays usable while it is on its way.
    m_ctx.services.network.getLater(versionCheckUrl, Versions::kMaxVersionAnswer, this, [this](const HttpReply &reply) {
        guarded(m_ctx.dialogs(), [&] { WebRequestCompleted(reply); });
    });
}

void TformMain::WebRequestCompleted(const HttpReply &reply)
{
    AppState &state = m_ctx.state;
    ConsoleModel &console = m_ctx.console;
    if (!reply.answered) {
        // Most often no network: nothing the player needs to act on.
        console.ConsolePrint(QStringLiteral("version check failed: ") + reply.error);
        return;
    }
    if (reply.status != 200) {
        m_ctx.dialogs().message(QStringLiteral("Error: ") + Versions::statusText(reply.status, reply.statusText));
        return;
    }
    state.NewAppVersion = QString::fromUtf8(reply.body);
    console.ConsolePrint(QStringLiteral("currentAppVersion: ") + state.CurrentAppVersion);
    console.ConsolePrint(QStringLiteral("newAppVersion: ") + state.NewAppVersion);

    const std::optional<int> order = Versions::compare(state.NewAppVersion, state.CurrentAppVersion);
    if (!order)
        return;
    if (*order > 0) {
        menuNewAppVersion->setText(menuNewAppVersion->text() + QLatin1Char(' ') + state.NewAppVersion);
        if (state.ShowUpdateMessageAtStartup)
            emit newVersionMessageWanted();
        menuUpdateNow->setEnabled(true);
    } else {
        menuNewAppVersion->setText(QStringLiteral("No update available"));
        menuUpdateNow->setEnabled(false);
    }
}

void TformMain::menuUpdateNowClick()
{
    emit updateWanted();
}

void TformMain::menuShowUpdateMsgClick()
{
    // Takes effect at the next start; a missing flag file is not created here.
    const QString flag = QDir(m_ctx.state.AppFolder).filePath(QLatin1String(AppFolder::kShowUpdateMessageFile));
    if (m_ctx.state.AppFolder.isEmpty() || !QFileInfo(flag).isFile())
        return;
    TextFiles::write(flag, menuShowUpdateMsg->isChecked() ? QStringLiteral("YES") : QStringLiteral("NO"));
}
