// Saves pictures of the main window (in every skin, with a menu open) and of
// the debug console into a folder:  tharnvik-screenshots OUTDIR
// Runs offscreen; the editor's own folder goes to a temporary documents folder.
#include "FirmwareUpgrade.h"
#include "ConsoleModel.h"
#include "Editor.h"
#include "Ftd2xx.h"
#include "Looks.h"
#include "FXsettings.h"
#include "NoteTrackingFilter.h"
#include "PrintConsole.h"
#include "RealServices.h"
#include "HttpClient.h"
#include "NewVersionMsg.h"
#include "main.h"

#include <QProgressBar>
#include <QApplication>
#include <QDir>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

class TempDocuments final : public Paths {
public:
    QString documentsFolder() const override { return m_dir.path(); }
    QString programFolder() const override { return QCoreApplication::applicationDirPath(); }
    QString tempFolder() const override { return QDir::tempPath(); }

private:
    QTemporaryDir m_dir;
};

// The pictures show the editor without a pedal.
class NoBridges final : public Ftd2xx {
public:
    FT_STATUS FT_ListDevices(void *pArg1, void *, DWORD flags) override
    {
        if (flags == ft::LIST_NUMBER_ONLY)
            *static_cast<DWORD *>(pArg1) = 0;
        return ft::OK;
    }
    FT_STATUS FT_OpenEx(void *, DWORD, FT_HANDLE *) override { return ft::DEVICE_NOT_FOUND; }
    FT_STATUS FT_Close(FT_HANDLE) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_SetBaudRate(FT_HANDLE, ULONG) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_Purge(FT_HANDLE, ULONG) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD *) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_Read(FT_HANDLE, void *, DWORD, DWORD *) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_Write(FT_HANDLE, void *, DWORD, DWORD *) override { return ft::INVALID_HANDLE; }
};

void save(QWidget *w, const QString &path)
{
    QApplication::processEvents();
    w->grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    QtDialogs dialogs;
    SystemClock clock;
    TempDocuments paths;
    DesktopShell shell;
    OfflineNetwork network;
    NoBridges bridges;
    Editor editor(Services{dialogs, clock, paths, shell, bridges, network});
    TformMain *main = editor.windows().formMain;
    main->show();
    for (int n = 0; n < Looks::kSkins; ++n) {
        Looks::applySkin(n);
        save(main, QDir(out).filePath(QStringLiteral("main-window-style-%1.png").arg(n)));
    }
    Looks::applySkin(0);
    save(main, QDir(out).filePath(QStringLiteral("main-window.png")));

    // A menu opened over the window.
    main->menuSettings->popup(main->mapToGlobal(QPoint(150, 24)));
    QApplication::processEvents();
    save(main->menuSettings, QDir(out).filePath(QStringLiteral("menu-settings.png")));
    main->menuSettings->hide();
    main->menuInfo->popup(main->mapToGlobal(QPoint(300, 24)));
    QApplication::processEvents();
    save(main->menuInfo, QDir(out).filePath(QStringLiteral("menu-info.png")));
    main->menuInfo->hide();

    // The effect settings window, enabled as when a pedal is linked.
    editor.state().CurrentEffectName = QStringLiteral("Tharnvik MK3 0015");
    main->OpenEffectWindow();
    auto *fx = editor.windows().formFXsettings;
    fx->EnableEffectControls(true);
    for (int n = 0; n < Looks::kSkins; ++n) {
        Looks::applySkin(n);
        save(fx, QDir(out).filePath(QStringLiteral("effect-window-style-%1.png").arg(n)));
    }
    Looks::applySkin(0);
    save(fx, QDir(out).filePath(QStringLiteral("effect-window.png")));
    fx->hide();

    auto *console = editor.windows().formPrint;
    for (int i = 0; i < 60; ++i)
        editor.console().ConsolePrint(QStringLiteral("received Byte: %1").arg(i, 2, 16, QLatin1Char('0')).toUpper());
    editor.console().ConsolePrint(QStringLiteral("********************REQUEST********************"));
    console->show();
    save(console, QDir(out).filePath(QStringLiteral("debug-console.png")));
    // The service tools (Ctrl+Shift+G): a filter table and its response
    // beside the carried tuning filters.
    console->setServiceToolsVisible(true);
    console->cmbNotePicker->setCurrentIndex(12);
    console->btnGetNoteFrequency->click();
    console->chkTuningFilters->setChecked(true);
    save(console, QDir(out).filePath(QStringLiteral("debug-console-service.png")));

    // The Note Cut window (Ctrl+Shift+N) with two notes ticked.
    auto *notes = editor.windows().formNoteTrackingFilter;
    notes->chkCdiesis3->setChecked(true);
    notes->chkE3->setChecked(true);
    notes->show();
    save(notes, QDir(out).filePath(QStringLiteral("note-cut.png")));
    console->setServiceToolsVisible(false);
    notes->hide();
    console->hide();

    // The firmware window part-way through an upgrade.
    auto *firmware = editor.windows().formFirmwareUpgrade;
    firmware->ProgressBar1->setMaximum(211);
    firmware->ProgressBar1->setValue(120);
    firmware->show();
    save(firmware, QDir(out).filePath(QStringLiteral("firmware-window.png")));
    firmware->ProgressBar1->setValue(0);
    firmware->hide();

    // The new-version window as the start-up check opens it.
    editor.state().NewAppVersion = QStringLiteral("1.24.0.0");
    auto *newVersion = editor.windows().formNewVersionMsg;
    newVersion->show();
    save(newVersion, QDir(out).filePath(QStringLiteral("new-version.png")));
    return 0;
}
