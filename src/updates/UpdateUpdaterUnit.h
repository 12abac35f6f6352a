#pragma once

#include <QByteArray>
#include <QWidget>

#include <functional>

struct Context;
struct HttpReply;

// The "UpdateUpdater" window, created hidden at start-up and never shown: it
// carries the update action. The editor does not replace itself; it makes
// sure the updater beside its program file is present and current, starts
// it with two paths and ends. It starts only an updater that carries the
// maker's signature (UpdaterSignature.h).
class TformUpdateUpdater : public QWidget {
    Q_OBJECT
public:
    explicit TformUpdateUpdater(Context &context);

    // How the editor ends after starting the updater: as when its main
    // window closes (the log is appended).
    void setEndEditor(std::function<void()> endEditor) { m_endEditor = std::move(endEditor); }
    // The public key whose signature the updater must carry: the maker's,
    // unless a test hands in its own.
    void setTrustedKey(const QByteArray &publicKey) { m_trustedKey = publicKey; }

    QString serverUpdaterVersion;
    QString currentUpdaterVersion;

    // The whole action of "Update Now".
    void UpdateEditor();
    // Version check and, when needed, download of the updater. False when
    // the update cannot go on (no server answer, no comparable versions).
    bool RefreshUpdater();
    void NetHTTPRequest1RequestCompleted(const HttpReply &reply);
    // Downloads the updater and its signature, checks one against the other
    // and starts the updater once without arguments. False when the
    // download failed (it has said why).
    bool DownloadUpdater();
    // Starts the updater with the two paths once it has checked the
    // updater against its signature; false when it did not start (it has
    // said why).
    bool RunUpdater(const QString &updaterPath, const QString &targetPath, const QString &editorPath);

    QString updaterPath() const;

private:
    enum class Trust { Signed, Absent, Unsigned, Mismatch };
    // Whether the file at path is an updater of the maker's: there, with a
    // signature beside it that matches it.
    Trust checkUpdater(const QString &path) const;
    // The updater and its signature from the server; the reason when they
    // are not both there or do not match.
    QString fetchSignedUpdater(QByteArray &program, QByteArray &signature);
    void stop(const QString &reason);

    Context &m_ctx;
    std::function<void()> m_endEditor;
    QByteArray m_trustedKey;
    bool m_updating = false;
};
