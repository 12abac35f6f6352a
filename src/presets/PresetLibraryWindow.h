#pragma once

#include "Context.h"
#include "PresetLibrary.h"

#include <QFileSystemWatcher>
#include <QWidget>

#include <functional>
#include <optional>

class ClockTimer;
class PresetListModel;
class QLabel;
class QListView;
class QPushButton;
class QTimer;

// The "Preset Library" window: the preset folder's files as a list that
// follows the folder, with Load, Save As, Rename and Delete. It knows no
// other window: the editor hands it what Load and Save As do to the pedal.
class TformPresetLibrary : public QWidget {
    Q_OBJECT
public:
    explicit TformPresetLibrary(Context &context);
    ~TformPresetLibrary() override;

    // Applies a checked preset text (every line ended by CR LF) to the pedal.
    // Sends a preset's text (its name names the step of the history).
    void setLoader(std::function<void(const QString &text, const QString &name)> load) { m_load = std::move(load); }
    // Reads the pedal's values as a preset text; nothing (after a message)
    // when the pedal could not be read.
    void setReader(std::function<std::optional<QString>()> read) { m_read = std::move(read); }

    // Load and Save As need a usable link; the files are managed without one.
    void setLinked(bool linked);
    // A value changed since the preset loaded or saved last.
    void markEdited();
    // A preset file was loaded or saved elsewhere (Load / Save Local Preset):
    // marked when it lies in the preset folder.
    void markUsed(const QString &path);
    // Lists the folder again now.
    void refresh();
    void watchFilesThatAreNoPresets();

    // --- controls
    QLabel *lblFolder = nullptr;
    QListView *lstPresets = nullptr;
    QLabel *lblCurrent = nullptr;
    QPushButton *btnLoad = nullptr;
    QPushButton *btnSaveAs = nullptr;
    QPushButton *btnRename = nullptr;
    QPushButton *btnDelete = nullptr;

    // --- operations on the selected entry
    void loadSelected();
    void saveAs();
    void renameSelected();
    void deleteSelected();

    QString selectedName() const;
    void select(const QString &name);
    const PresetStore &store() const { return m_store; }
    const PresetListModel &model() const { return *m_model; }

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void updateButtons();
    void showCurrent();
    void setCurrent(const QString &name, bool edited);
    // Asks a preset name until it is one that can be used (or the player
    // cancels); Save As may replace an existing preset after a question,
    // Rename never.
    std::optional<QString> askName(const QString &title, const QString &initial, bool mayReplace);
    bool ensureFolder();

    Context &m_ctx;
    PresetStore m_store;
    PresetListModel *m_model = nullptr;
    QFileSystemWatcher m_watcher;
    QTimer *m_refreshSoon = nullptr;  // gathers the folder's changes into one listing
    QTimer *m_refreshSettled = nullptr;
    static constexpr int kSettleMs = 700;
    static constexpr int kWatchedFiles = 64;
    ClockTimer *m_retry = nullptr;    // looks for a missing folder again
    std::function<void(const QString &, const QString &)> m_load;
    std::function<std::optional<QString>()> m_read;
    bool m_linked = false;
    bool m_started = false; // listed and watched once shown
};
