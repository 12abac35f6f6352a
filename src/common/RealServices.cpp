#include "RealServices.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
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

} // namespace

void QtDialogs::message(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, dialogParent());
    // Messages carry texts from outside (a bridge's name, a path, the
    // pedal's answer): shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

Answer QtDialogs::question(const QString &text)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), text,
                    QMessageBox::Yes | QMessageBox::No, dialogParent());
    box.setDefaultButton(QMessageBox::Yes);
    box.setTextFormat(Qt::PlainText);
    const int result = box.exec();
    if (result == QMessageBox::Yes)
        return Answer::Yes;
    if (result == QMessageBox::No)
        return Answer::No;
    return Answer::Other;
}

std::optional<QString> QtDialogs::askText(const QString &title, const QString &label, const QString &initial)
{
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setTextValue(initial);
    // The edit is named by its label for assistive technology.
    for (QLineEdit *edit : dialog.findChildren<QLineEdit *>())
        edit->setAccessibleName(label);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
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
