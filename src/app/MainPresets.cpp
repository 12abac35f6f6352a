// The main window's local preset commands.
#include "main.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "FXsettings.h"
#include "Guard.h"
#include "Presets.h"
#include "TextFiles.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>

namespace {

// Makes sure the preset folder exists; false (after a message) when it
// cannot be made.
bool ensurePresetFolder(Dialogs &dialogs, const QString &folder)
{
    if (QFileInfo(folder).isDir() || (QDir().mkpath(folder) && QFileInfo(folder).isDir()))
        return true;
    dialogs.message(QStringLiteral("Cannot create the preset folder %1").arg(QDir::toNativeSeparators(folder)));
    return false;
}

FileDialogOptions presetDialog(const QString &title, const QString &folder)
{
    FileDialogOptions o;
    o.title = title;
    o.initialDir = folder;
    o.filter = QStringLiteral("Preset files (*.txt)");
    o.defaultExt = QStringLiteral("txt");
    o.confirmOverwrite = false;
    return o;
}

} // namespace

void TformMain::connectPresetAndUploadHandlers()
{
    Dialogs &d = m_ctx.dialogs();
    connectGuarded(menuSavePreset, &QAction::triggered, this, d, [this] { menuSavePresetClick(); });
    connectGuarded(menuLoadPreset, &QAction::triggered, this, d, [this] { menuLoadPresetClick(); });
    connect(menuPresetLibrary, &QAction::triggered, this, &TformMain::presetLibraryWanted);
    connectGuarded(btnUpload, &QPushButton::clicked, this, d, [this] { btnUploadClick(); });
    connectGuarded(menuLoadAlgorithmFromFile, &QAction::triggered, this, d, [this] { menuLoadAlgorithmFromFileClick(); });
    connectGuarded(UploadCheckTimer, &ClockTimer::timeout, this, d, [this] { UploadCheckTimerTimer(); });
}

void TformMain::menuSavePresetClick()
{
    const std::optional<QString> text = readPresetText();
    if (text)
        SavePresetFile(*text);
}

std::optional<QString> TformMain::readPresetText()
{
    const RequestResult read = RequestDeviceInfo();
    if (read == RequestResult::NoAnswer || read == RequestResult::Refused) {
        m_ctx.dialogs().message(QStringLiteral(
            "Save Local Preset stopped: the pedal's current values could not be read. Check the link and try again."));
        return std::nullopt;
    }
    ConsoleModel &log = m_ctx.console;
    log.ConsolePrint(QStringLiteral("********************SAVE LOCAL PRESET********************"));
    const EffectParameterSet &p = m_effect->EffectParameters;
    std::array<std::uint32_t, Presets::kLines> values{};
    for (int k = 0; k < Presets::kLines; ++k) {
        values[static_cast<std::size_t>(k)] = p.value(k);
        log.ConsolePrint(QString::fromLatin1(Presets::kLabels[static_cast<std::size_t>(k)])
                         + QStringLiteral("%1").arg(p.value(k), 8, 16, QLatin1Char('0')).toUpper());
    }
    return Presets::buildPresetText(values);
}

void TformMain::SavePresetFile(const QString &text)
{
    const QString folder = Presets::PresetFolder(m_ctx.services.paths.documentsFolder());
    if (!ensurePresetFolder(m_ctx.dialogs(), folder))
        return;
    const QString chosen = m_ctx.dialogs().saveFileName(presetDialog(QStringLiteral("Save Preset File"), folder));
    if (chosen.isEmpty())
        return;
    const QString path = Presets::withTxt(chosen);
    // The ".txt" is added after the file dialog, which therefore cannot tell
    // that a file of that name is there: a preset is replaced only when the
    // player says so.
    if (QFileInfo::exists(path)
        && m_ctx.dialogs().question(QStringLiteral("A preset named \"%1\" already exists. Replace it?")
                                        .arg(QFileInfo(path).completeBaseName()))
               == Answer::No)
        return;
    const QString error = Presets::writePresetFile(path, text);
    if (error.isEmpty()) {
        m_ctx.dialogs().message(QStringLiteral("File saved successfully: ") + QDir::toNativeSeparators(path));
        emit presetFileUsed(path);
    } else
        m_ctx.dialogs().message(QStringLiteral("Error saving file: ") + error);
}

QString TformMain::OpenPresetFile()
{
    const QString folder = Presets::PresetFolder(m_ctx.services.paths.documentsFolder());
    if (!ensurePresetFolder(m_ctx.dialogs(), folder))
        return {};
    const QString path = m_ctx.dialogs().openFileName(presetDialog(QStringLiteral("Open Preset File"), folder));
    if (path.isEmpty())
        return {};
    try {
        const QString text = Presets::readPresetFile(path);
        m_ctx.dialogs().message(QStringLiteral("File loaded successfully: ") + QDir::toNativeSeparators(path));
        m_openedPreset = path;
        return text;
    } catch (const FileError &e) {
        m_ctx.dialogs().message(QStringLiteral("Error loading file: ") + QString::fromUtf8(e.what()));
        return {};
    }
}

void TformMain::menuLoadPresetClick()
{
    m_openedPreset.clear();
    const QString text = OpenPresetFile();
    applyPresetText(text, QFileInfo(m_openedPreset).completeBaseName());
    if (!m_openedPreset.isEmpty())
        emit presetFileUsed(m_openedPreset);
}

void TformMain::applyPresetText(const QString &text, const QString &name)
{
    ConsoleModel &log = m_ctx.console;
    log.ConsolePrint(QStringLiteral("********************LOAD LOCAL PRESET********************"));
    for (int k = 0; k < Presets::kLines; ++k)
        log.ConsolePrint(QString::fromLatin1(Presets::kLabels[static_cast<std::size_t>(k)]) + Presets::fieldOf(text, k));
    TformFXsettings *fx = m_effect;
    endCompare();
    for (int k = 0; k < Presets::kLines; ++k)
        fx->EffectParameters.setValue(k, Presets::applyField(Presets::fieldOf(text, k), fx->EffectParameters.value(k)));
    fx->ApplyParametersToControls(true);
    fx->presetApplied(name);
}
