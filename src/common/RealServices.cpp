#include "RealServices.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace {

QWidget *dialogParent()
{
    QWidget *w = QApplication::activeWindow();
    return w;
}

QString applicationTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Tharnvik Editor") : name;
}

class QtClockTimer final : public ClockTimer {
public:
    QtClockTimer(QObject *parent, int intervalMs) : ClockTimer(parent), m_timer(this)
    {
        m_timer.setInterval(intervalMs);
        // Coarse timers may fire up to 5 % early; pacing relies on the
        // interval being a lower bound.
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &ClockTimer::timeout);
    }
    void setEnabled(bool enabled) override
    {
        if (enabled == m_timer.isActive())
            return;
        if (enabled)
            m_timer.start();
        else
            m_timer.stop();
    }
    bool isEnabled() const override { return m_timer.isActive(); }
    void setInterval(int ms) override { m_timer.setInterval(ms); }
    int interval() const override { return m_timer.interval(); }

private:
    QTimer m_timer;
};

} // namespace

void QtDialogs::message(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, dialogParent());
    box.exec();
}

Answer QtDialogs::question(const QString &text)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), text,
                    QMessageBox::Yes | QMessageBox::No, dialogParent());
    box.setDefaultButton(QMessageBox::Yes);
    const int result = box.exec();
    if (result == QMessageBox::Yes)
        return Answer::Yes;
    if (result == QMessageBox::No)
        return Answer::No;
    return Answer::Other;
}

static QFileDialog::Options dialogOptions(const FileDialogOptions &o)
{
    QFileDialog::Options options;
    if (!o.confirmOverwrite)
        options |= QFileDialog::DontConfirmOverwrite;
    // Tests and accessibility tools drive Qt's own dialog.
    if (qEnvironmentVariableIsSet("THARNVIK_QT_FILE_DIALOGS"))
        options |= QFileDialog::DontUseNativeDialog;
    return options;
}

static QString startPath(const FileDialogOptions &o)
{
    if (o.fileName.isEmpty())
        return o.initialDir;
    return QDir(o.initialDir).filePath(o.fileName);
}

QString QtDialogs::openFileName(const FileDialogOptions &options)
{
    return QFileDialog::getOpenFileName(dialogParent(), options.title, startPath(options),
                                        options.filter, nullptr, dialogOptions(options));
}

QString QtDialogs::saveFileName(const FileDialogOptions &options)
{
    QFileDialog dialog(dialogParent(), options.title, options.initialDir, options.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOptions(dialogOptions(options));
    if (!options.defaultExt.isEmpty())
        dialog.setDefaultSuffix(options.defaultExt);
    if (!options.fileName.isEmpty())
        dialog.selectFile(options.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void SystemClock::pause(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

qint64 SystemClock::nowMs() const
{
    static const QElapsedTimer start = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return start.elapsed();
}

QDateTime SystemClock::localNow() const
{
    return QDateTime::currentDateTime();
}

ClockTimer *SystemClock::createTimer(QObject *parent, int intervalMs)
{
    return new QtClockTimer(parent, intervalMs);
}

void SystemClock::waitForEvents(int maxMs)
{
    // The timer guarantees a wake-up; data from a device or any other event
    // ends the wait sooner.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(std::max(maxMs, 0));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

QString SystemPaths::documentsFolder() const
{
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        docs = QDir::homePath();
    return QDir::cleanPath(docs);
}

QString SystemPaths::programFolder() const
{
    return QCoreApplication::applicationDirPath();
}

QString SystemPaths::programFile() const
{
    return QCoreApplication::applicationFilePath();
}

QString SystemPaths::tempFolder() const
{
    return QDir::tempPath();
}

void DesktopShell::openUrl(const QString &url)
{
    QDesktopServices::openUrl(QUrl(url));
}

void DesktopShell::openFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool DesktopShell::startProgram(const QString &program, const QStringList &arguments,
                                const QString &workingFolder)
{
    return QProcess::startDetached(program, arguments, workingFolder);
}
