#include "UpdateUpdaterUnit.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "Context.h"
#include "HttpClient.h"
#include "Resources.h"
#include "Versions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

TformUpdateUpdater::TformUpdateUpdater(Context &context) : QWidget(nullptr, Qt::Window), m_ctx(context)
{
    setObjectName(QStringLiteral("formUpdateUpdater"));
    setWindowTitle(QStringLiteral("UpdateUpdater"));
    resize(185, 117);
}

QString TformUpdateUpdater::updaterPath() const
{
    return QDir(m_ctx.services.paths.programFolder()).filePath(QLatin1String(Versions::kUpdaterFile));
}

void TformUpdateUpdater::UpdateEditor()
{
    // The dialogs are modal and the requests take no input, but a second
    // start from inside one of them must not run the update twice.
    if (m_updating)
        return;
    if (m_ctx.dialogs().question(QStringLiteral("This action will update the Tharnvik Editor to the latest version. "
                                                "Do you want to continue?"))
        == Answer::No)
        return;
    m_updating = true;
    struct Reset {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_updating};

    if (!RefreshUpdater() || m_ctx.state.Quitting)
        return;
    const Paths &paths = m_ctx.services.paths;
    const QString target = native(QDir(QDir::cleanPath(paths.tempFolder())).filePath(QLatin1String(Versions::kEditorUpdateFile)));
    RunUpdater(native(updaterPath()), target, native(paths.programFile()));
    // Whether or not the updater started, the editor ends as when its main
    // window closes.
    if (m_endEditor)
        m_endEditor();
}

bool TformUpdateUpdater::RefreshUpdater()
{
    ConsoleModel &console = m_ctx.console;
    serverUpdaterVersion.clear();
    const HttpReply reply = m_ctx.services.network.get(serverBaseUrl() + QLatin1String(Versions::kUpdaterVersionPath),
                                                       Versions::kMaxVersionAnswer);
    if (m_ctx.state.Quitting)
        return false;
    if (!reply.answered) {
        m_ctx.dialogs().message(reply.error);
        return false;
    }
    NetHTTPRequest1RequestCompleted(reply);

    const QString updater = updaterPath();
    if (!QFileInfo::exists(updater)) {
        console.ConsolePrint(QStringLiteral("Local updater not found, proceed with download..."));
        DownloadUpdater();
        return !m_ctx.state.Quitting;
    }
    console.ConsolePrint(QStringLiteral("local updater exists, check version..."));
    const std::optional<QString> localVersion = Versions::programFileVersion(updater);
    currentUpdaterVersion = localVersion.value_or(QString());
    console.ConsolePrint(QStringLiteral("currentUpdaterVersion: ") + currentUpdaterVersion);
    console.ConsolePrint(QString(serverUpdaterVersion).remove(QLatin1Char('.')));
    console.ConsolePrint(QString(currentUpdaterVersion).remove(QLatin1Char('.')));

    if (reply.status != 200)
        return false; // "Error: ..." has been shown
    if (!localVersion) {
        stop(QStringLiteral("the updater \"%1\" carries no version information.").arg(native(updater)));
        return false;
    }
    const std::optional<int> order = Versions::compare(serverUpdaterVersion, currentUpdaterVersion);
    if (!order) {
        stop(QStringLiteral("the server did not answer with a version number."));
        return false;
    }
    if (*order > 0) {
        console.ConsolePrint(QStringLiteral("New version of the updater found on server, downloading the new updater..."));
        DownloadUpdater();
    }
    return !m_ctx.state.Quitting;
}

void TformUpdateUpdater::NetHTTPRequest1RequestCompleted(const HttpReply &reply)
{
    if (reply.status == 200) {
        serverUpdaterVersion = QString::fromUtf8(reply.body);
        m_ctx.console.ConsolePrint(QStringLiteral("updater version on server: ") + serverUpdaterVersion);
    } else {
        m_ctx.dialogs().message(QStringLiteral("Error: ") + Versions::statusText(reply.status, reply.statusText));
    }
}

bool TformUpdateUpdater::DownloadUpdater()
{
    const QString folder = m_ctx.services.paths.programFolder();
    // Beside a present updater the new one waits under its own name for the
    // updater to take it in; without one it goes into place as the updater.
    const bool replacing = QFileInfo::exists(updaterPath());
    const QString target = QDir(folder).filePath(QLatin1String(replacing ? Versions::kUpdaterUpdateFile : Versions::kUpdaterFile));

    QString failure;
    {
        // Written beside the target and moved into place only when the whole
        // answer is in: an error page or a cut transfer never becomes the
        // updater, and the file that was there stays.
        QSaveFile file(target);
        if (!file.open(QIODevice::WriteOnly)) {
            failure = QStringLiteral("cannot write \"%1\": %2").arg(native(target), file.errorString());
        } else {
            const HttpReply reply = m_ctx.services.network.get(serverBaseUrl() + QLatin1String(Versions::kUpdaterPath),
                                                               Versions::kMaxUpdaterSize, &file);
            if (m_ctx.state.Quitting)
                return false;
            if (!reply.answered)
                failure = reply.error;
            else if (reply.status != 200)
                failure = QStringLiteral("the server answered %1").arg(
                    QString::number(reply.status) + (reply.statusText.isEmpty() ? QString() : QLatin1Char(' ') + reply.statusText));
            else if (file.pos() == 0)
                failure = QStringLiteral("the server sent an empty file");
            else if (!file.commit())
                failure = QStringLiteral("cannot write \"%1\": %2").arg(native(target), file.errorString());
            if (!failure.isEmpty())
                file.cancelWriting();
        }
    }
    if (failure.isEmpty()) {
        const QFileDevice::Permissions permissions = QFile::permissions(target);
        QFileDevice::Permissions executable = QFileDevice::ExeOwner | QFileDevice::ExeUser;
        if (permissions & QFileDevice::ReadGroup)
            executable |= QFileDevice::ExeGroup;
        if (permissions & QFileDevice::ReadOther)
            executable |= QFileDevice::ExeOther;
        if (!QFile::setPermissions(target, permissions | executable))
            failure = QStringLiteral("cannot make \"%1\" executable").arg(native(target));
    }
    if (!failure.isEmpty()) {
        m_ctx.dialogs().message(QStringLiteral("Download failed: ") + failure);
        return false;
    }
    m_ctx.dialogs().message(QStringLiteral("New updater downloaded! Click OK to proceed with the update."));
    // Started once without arguments; whether it started is not examined.
    m_ctx.services.shell.startProgram(native(updaterPath()), {}, native(folder));
    return true;
}

bool TformUpdateUpdater::RunUpdater(const QString &updaterPath, const QString &targetPath, const QString &editorPath)
{
    // The two paths are two arguments, each whole however many blanks it
    // holds. There is no elevation here: the updater raises its own rights
    // when it needs them.
    const bool started = m_ctx.services.shell.startProgram(updaterPath, {targetPath, editorPath},
                                                           native(m_ctx.services.paths.programFolder()));
    if (!started)
        m_ctx.dialogs().message(QStringLiteral("Failed to launch updater. Please run as administrator."));
    return started;
}

void TformUpdateUpdater::stop(const QString &reason)
{
    m_ctx.dialogs().message(QStringLiteral("Update stopped: ") + reason);
}
