#include "UpdateUpdaterUnit.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "Context.h"
#include "HttpClient.h"
#include "Resources.h"
#include "UpdaterSignature.h"
#include "Versions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

namespace {

// Folders of their own in the temporary folder, made with only the user's
// rights (0700): one for a download until it has been checked, one for the
// editor's update that the updater fetches.
constexpr auto kDownloadFolderTemplate = "tharnvik-download-XXXXXX";
constexpr auto kUpdateFolderTemplate = "tharnvik-update-XXXXXX";
// A signature is 64 bytes; anything up to this is read and then judged.
constexpr qint64 kMaxSignatureAnswer = 1024;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString cannotWrite(const QString &path, const QString &reason)
{
    return QStringLiteral("cannot write \"%1\": %2").arg(native(path), reason);
}

QString cannotRead(const QString &path, const QString &reason)
{
    return QStringLiteral("cannot read \"%1\": %2").arg(native(path), reason);
}

QString cannotMakeFolder(const QString &parent, const QString &reason)
{
    return QStringLiteral("cannot make a private folder in \"%1\": %2").arg(native(parent), reason);
}

QString serverAnswered(const HttpReply &reply)
{
    return QStringLiteral("the server answered %1")
        .arg(QString::number(reply.status) + (reply.statusText.isEmpty() ? QString() : QLatin1Char(' ') + reply.statusText));
}

QString signatureOf(const QString &path)
{
    return path + QLatin1String(UpdaterSignature::kSuffix);
}

} // namespace

TformUpdateUpdater::TformUpdateUpdater(Context &context)
    : QWidget(nullptr, Qt::Window), m_ctx(context), m_trustedKey(UpdaterSignature::makerKey())
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
    // The updater's first argument names a file in a folder of its own that
    // only this user can enter, so no one else can put a file there in the
    // update's place. The folder stays for the updater, which runs after the
    // editor has ended; a start that failed takes it away again.
    const QString temp = QDir::cleanPath(paths.tempFolder());
    QTemporaryDir updateFolder(QDir(temp).filePath(QLatin1String(kUpdateFolderTemplate)));
    if (!updateFolder.isValid()) {
        stop(cannotMakeFolder(temp, updateFolder.errorString()) + QLatin1Char('.'));
        return;
    }
    const QString target = native(updateFolder.filePath(QLatin1String(Versions::kEditorUpdateFile)));
    if (RunUpdater(native(updaterPath()), target, native(paths.programFile())))
        updateFolder.setAutoRemove(false);
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
    if (checkUpdater(updater) != Trust::Signed) {
        // One that is not the maker's (no signature beside it, or one that
        // does not match) is never started: the maker's takes its place.
        console.ConsolePrint(QStringLiteral("Local updater has no matching signature, proceed with download..."));
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

TformUpdateUpdater::Trust TformUpdateUpdater::checkUpdater(const QString &path) const
{
    QFile program(path);
    if (!program.exists())
        return Trust::Absent;
    QFile signature(signatureOf(path));
    if (!signature.open(QIODevice::ReadOnly))
        return Trust::Unsigned;
    const QByteArray signatureBytes = signature.read(kMaxSignatureAnswer);
    if (!program.open(QIODevice::ReadOnly))
        return Trust::Mismatch;
    const QByteArray content = program.read(Versions::kMaxUpdaterSize + 1);
    if (content.size() > Versions::kMaxUpdaterSize || program.error() != QFileDevice::NoError)
        return Trust::Mismatch;
    return UpdaterSignature::matches(content, signatureBytes, m_trustedKey) ? Trust::Signed : Trust::Mismatch;
}

QString TformUpdateUpdater::fetchSignedUpdater(QByteArray &program, QByteArray &signature)
{
    // The download waits in a folder of its own that only this user can
    // enter until it has been checked, and goes away with it.
    const QString temp = QDir::cleanPath(m_ctx.services.paths.tempFolder());
    QTemporaryDir privateFolder(QDir(temp).filePath(QLatin1String(kDownloadFolderTemplate)));
    if (!privateFolder.isValid())
        return cannotMakeFolder(temp, privateFolder.errorString());
    QFile download(privateFolder.filePath(QLatin1String(Versions::kUpdaterFile)));
    if (!download.open(QIODevice::ReadWrite | QIODevice::NewOnly))
        return cannotWrite(download.fileName(), download.errorString());

    const QString url = serverBaseUrl() + QLatin1String(Versions::kUpdaterPath);
    const HttpReply reply = m_ctx.services.network.get(url, Versions::kMaxUpdaterSize, &download);
    if (m_ctx.state.Quitting)
        return {};
    if (!reply.answered)
        return reply.error;
    if (reply.status != 200)
        return serverAnswered(reply);
    if (download.pos() == 0)
        return QStringLiteral("the server sent an empty file");

    const HttpReply signatureReply = m_ctx.services.network.get(signatureOf(url), kMaxSignatureAnswer);
    if (m_ctx.state.Quitting)
        return {};
    const QString missing = QStringLiteral("the updater's signature is missing: ");
    if (!signatureReply.answered)
        return missing + signatureReply.error;
    if (signatureReply.status != 200)
        return missing + serverAnswered(signatureReply);
    if (signatureReply.body.isEmpty())
        return missing + QStringLiteral("the server sent an empty file");

    // The bytes checked are the bytes that go into place.
    if (!download.seek(0))
        return cannotRead(download.fileName(), download.errorString());
    program = download.readAll();
    if (program.size() != download.size())
        return cannotRead(download.fileName(), download.errorString());
    if (!UpdaterSignature::matches(program, signatureReply.body, m_trustedKey))
        return QStringLiteral("the updater's signature does not match");
    signature = signatureReply.body;
    return {};
}

bool TformUpdateUpdater::DownloadUpdater()
{
    const QString folder = m_ctx.services.paths.programFolder();
    // Beside an updater of the maker's the new one waits under its own name
    // for the updater to take it in; otherwise it goes into place as the
    // updater (in place of one that is not the maker's).
    const bool replacing = checkUpdater(updaterPath()) == Trust::Signed;
    const QString target = QDir(folder).filePath(QLatin1String(replacing ? Versions::kUpdaterUpdateFile : Versions::kUpdaterFile));
    const QString signatureTarget = signatureOf(target);

    QString failure;
    {
        // Written beside their targets and moved into place only once the
        // whole answer is in and matches its signature: an error page, a cut
        // transfer or a file that is not the maker's never becomes the
        // updater, and the files that were there stay.
        QSaveFile file(target);
        QSaveFile signatureFile(signatureTarget);
        if (!file.open(QIODevice::WriteOnly)) {
            failure = cannotWrite(target, file.errorString());
        } else if (!signatureFile.open(QIODevice::WriteOnly)) {
            failure = cannotWrite(signatureTarget, signatureFile.errorString());
        } else {
            QByteArray program, signature;
            failure = fetchSignedUpdater(program, signature);
            if (m_ctx.state.Quitting)
                return false;
            // The signature first: should the updater then fail to go into
            // place, what is there does not match and is never started.
            if (failure.isEmpty()) {
                if (signatureFile.write(signature) != signature.size() || !signatureFile.commit())
                    failure = cannotWrite(signatureTarget, signatureFile.errorString());
                else if (file.write(program) != program.size() || !file.commit())
                    failure = cannotWrite(target, file.errorString());
            }
            if (!failure.isEmpty()) {
                file.cancelWriting();
                signatureFile.cancelWriting();
            }
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
    // Started once without arguments, when it checks out (the start with the
    // two paths says why when it does not); whether it started is not
    // examined.
    if (checkUpdater(updaterPath()) == Trust::Signed)
        m_ctx.services.shell.startProgram(native(updaterPath()), {}, native(folder));
    return true;
}

bool TformUpdateUpdater::RunUpdater(const QString &updaterPath, const QString &targetPath, const QString &editorPath)
{
    // Checked right before the start: an updater changed on disk since it
    // was downloaded is not started. (Whoever can write the program folder
    // can replace the editor itself, so the moment between the check and
    // the start is no further opening.)
    switch (checkUpdater(updaterPath)) {
    case Trust::Signed:
        break;
    case Trust::Absent:
        m_ctx.dialogs().message(QStringLiteral("Failed to launch updater. Please run as administrator."));
        return false;
    case Trust::Unsigned:
        stop(QStringLiteral("the updater \"%1\" has no signature beside it.").arg(native(updaterPath)));
        return false;
    case Trust::Mismatch:
        stop(QStringLiteral("the updater \"%1\" does not match its signature.").arg(native(updaterPath)));
        return false;
    }
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
