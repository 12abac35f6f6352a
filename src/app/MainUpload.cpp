// The main window's algorithm uploads: from the catalogue and from a file.
#include "main.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "FXsettings.h"
#include "FunctionsUnit.h"
#include "PedalSession.h"
#include "Resources.h"
#include "TextFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

void TformMain::UploadCheckTimerTimer()
{
    lblStatus->setText(QStringLiteral("Upload Failed"));
}

void TformMain::btnUploadClick()
{
    AppState &state = m_ctx.state;
    ConsoleModel &log = m_ctx.console;
    PedalSession &session = m_ctx.session;
    log.ConsolePrint(QStringLiteral("********************UPLOAD********************"));
    {
        const PedalSession::Exchange exchange = session.exchange(QStringLiteral("UPLOAD"));
        if (!exchange)
            return;
        Timer_USB_Read->setEnabled(false);
        if (m_ctx.dialogs().question(QStringLiteral("Upload the selected algorithm?")) == Answer::No) {
            Timer_USB_Read->setEnabled(true);
            return;
        }
        const QString resource = ResourceNameOf(state.CurrentEffectName);
        // A made-up image would break a real pedal: only the virtual one gets it.
        if (Resources::isPlaceholder(resource) && !session.onVirtualBridge()) {
            log.ConsolePrint(QStringLiteral("UPLOAD stopped: %1 is a placeholder image").arg(resource));
            m_ctx.dialogs().message(QStringLiteral(
                "This editor build carries no real algorithm images, only placeholders for the virtual pedal. "
                "Nothing was sent to the pedal."));
            Timer_USB_Read->setEnabled(true);
            return;
        }
        session.beforeUpload(PedalSession::UploadSource::Catalogue);
        UploadCheckTimer->setEnabled(true);

        log.ConsolePrint(QStringLiteral("resource name: ") + resource);
        if (!LoadResourceLines(resource))
            return; // reported; the check timer shows "Upload Failed"
        m_ctx.session.sendAlgorithmImage(state.ResourceLines.isEmpty() ? QString() : state.ResourceLines.constFirst());
        lblStatus->setText(QStringLiteral("Uploading..."));
        if (!waitForUploadAnswer(UploadVariant::Catalogue))
            return;
    }
    // The guard is released: the REQUEST is an exchange of its own.
    RequestDeviceInfo();
    UploadCheckTimer->setEnabled(false);
    Timer_USB_Read->setEnabled(true);
}

void TformMain::menuLoadAlgorithmFromFileClick()
{
    AppState &state = m_ctx.state;
    ConsoleModel &log = m_ctx.console;
    PedalSession &session = m_ctx.session;
    const PedalSession::Exchange exchange = session.exchange(QStringLiteral("UPLOAD"));
    if (!exchange)
        return;
    FileDialogOptions options;
    options.initialDir = uploadFolder;
    options.filter = QStringLiteral("Dat files (*.dat)");
    const QString path = m_ctx.dialogs().openFileName(options);
    if (path.isEmpty())
        return;
    using File = PedalSession::AlgorithmFile;
    const File file = PedalSession::readAlgorithmFile(path);
    const QString shownPath = QDir::toNativeSeparators(path);
    switch (file.problem) {
    case File::Problem::CannotOpen:
        m_ctx.dialogs().message(QStringLiteral("Cannot open %1: %2").arg(shownPath, file.error));
        return;
    case File::Problem::CannotRead:
        m_ctx.dialogs().message(QStringLiteral("Cannot read %1: %2").arg(shownPath, file.error));
        return;
    case File::Problem::WrongSize:
        m_ctx.dialogs().message(QStringLiteral("%1 holds %2 bytes; an algorithm image holds 1 to %3. Nothing was sent.")
                                    .arg(shownPath)
                                    .arg(file.size)
                                    .arg(File::kLargest));
        return;
    case File::Problem::None:
        break;
    }
    if (m_ctx.dialogs().question(QStringLiteral("Upload the selected algorithm?")) == Answer::No)
        return;
    session.beforeUpload(PedalSession::UploadSource::File);
    Timer_USB_Read->setEnabled(false);
    UploadCheckTimer->setEnabled(true);
    uploadFolder = QFileInfo(path).absolutePath();
    log.ConsolePrint(QStringLiteral("Opening - ") + QDir::toNativeSeparators(path));

    m_ctx.session.sendAlgorithmFile(file.bytes);
    if (waitForUploadAnswer(UploadVariant::File)) {
        UploadCheckTimer->setEnabled(false);
        Timer_USB_Read->setEnabled(true);
    }
}

bool TformMain::waitForUploadAnswer(UploadVariant variant)
{
    // No time limit: the check timer marks the delay, an answer however late
    // ends the upload.
    return m_ctx.session.receiveUploadAnswer(variant == UploadVariant::File,
                                             [this](const QString &text) { lblStatus->setText(text); });
}
