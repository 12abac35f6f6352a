#pragma once

#include <QWidget>

#include <functional>

struct Context;
struct HttpReply;

// The "UpdateUpdater" window, created hidden at start-up and never shown: it
// carries the update action. The editor does not replace itself; it makes
// sure the updater beside its program file is present and current, starts
// it with two paths and ends.
class TformUpdateUpdater : public QWidget {
    Q_OBJECT
public:
    explicit TformUpdateUpdater(Context &context);

    // How the editor ends after starting the updater: as when its main
    // window closes (the log is appended).
    void setEndEditor(std::function<void()> endEditor) { m_endEditor = std::move(endEditor); }

    QString serverUpdaterVersion;
    QString currentUpdaterVersion;

    // The whole action of "Update Now".
    void UpdateEditor();
    // Version check and, when needed, download of the updater. False when
    // the update cannot go on (no server answer, no comparable versions).
    bool RefreshUpdater();
    void NetHTTPRequest1RequestCompleted(const HttpReply &reply);
    // Downloads the updater and starts it once without arguments. False
    // when the download failed (it has said why).
    bool DownloadUpdater();
    // Starts the updater with the two paths; false when it did not start.
    bool RunUpdater(const QString &updaterPath, const QString &targetPath, const QString &editorPath);

    QString updaterPath() const;

private:
    void stop(const QString &reason);

    Context &m_ctx;
    std::function<void()> m_endEditor;
    bool m_updating = false;
};
