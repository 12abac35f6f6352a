#include "PresetLibraryWindow.h"

#include "Guard.h"
#include "PresetListModel.h"
#include "Presets.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kRetryMs = 1000; // how often a missing folder is looked for
const QString kNameLabel = QStringLiteral("Preset name");

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(caption);
    return button;
}

} // namespace

TformPresetLibrary::TformPresetLibrary(Context &context)
    : m_ctx(context), m_store(Presets::PresetFolder(context.services.paths.documentsFolder()))
{
    setObjectName(QStringLiteral("formPresetLibrary"));
    setWindowTitle(QStringLiteral("Preset Library"));
    resize(360, 420);
    createControls();

    Dialogs &d = m_ctx.dialogs();
    m_refreshSoon = new QTimer(this);
    m_refreshSoon->setSingleShot(true);
    m_refreshSoon->setInterval(0);
    connectGuarded(m_refreshSoon, &QTimer::timeout, this, d, [this] { refresh(); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, m_refreshSoon, qOverload<>(&QTimer::start));
    // A program that makes a file and then writes it changes the folder only
    // at the start: look again once the folder has been quiet for a moment,
    // or a preset still being written would stay marked as none.
    m_refreshSettled = new QTimer(this);
    m_refreshSettled->setSingleShot(true);
    m_refreshSettled->setInterval(kSettleMs);
    connectGuarded(m_refreshSettled, &QTimer::timeout, this, d, [this] { refresh(); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, m_refreshSettled, qOverload<>(&QTimer::start));
    // The files that are no presets are watched themselves: written later,
    // they become presets.
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, m_refreshSoon, qOverload<>(&QTimer::start));
    m_retry = m_ctx.clock().createTimer(this, kRetryMs);
    connectGuarded(m_retry, &ClockTimer::timeout, this, d, [this] { refresh(); });

    connectGuarded(btnLoad, &QPushButton::clicked, this, d, [this] { loadSelected(); });
    connectGuarded(btnSaveAs, &QPushButton::clicked, this, d, [this] { saveAs(); });
    connectGuarded(btnRename, &QPushButton::clicked, this, d, [this] { renameSelected(); });
    connectGuarded(btnDelete, &QPushButton::clicked, this, d, [this] { deleteSelected(); });
    connectGuarded(lstPresets, &QListView::doubleClicked, this, d, [this] { loadSelected(); });
    connect(lstPresets->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { updateButtons(); });
    lstPresets->installEventFilter(this);
    showCurrent();
    updateButtons();
}

TformPresetLibrary::~TformPresetLibrary() = default;

void TformPresetLibrary::createControls()
{
    lblFolder = new QLabel(this);
    lblFolder->setTextFormat(Qt::PlainText);
    lblFolder->setObjectName(QStringLiteral("lblFolder"));
    lblFolder->setWordWrap(true);

    m_model = new PresetListModel(this);
    lstPresets = new QListView(this);
    lstPresets->setObjectName(QStringLiteral("lstPresets"));
    lstPresets->setAccessibleName(QStringLiteral("Presets"));
    lstPresets->setUniformItemSizes(true);
    lstPresets->setSelectionMode(QAbstractItemView::SingleSelection);
    lstPresets->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstPresets->setModel(m_model);

    lblCurrent = new QLabel(this);
    lblCurrent->setTextFormat(Qt::PlainText);
    lblCurrent->setObjectName(QStringLiteral("lblCurrent"));

    btnLoad = makeButton(this, "btnLoad", QStringLiteral("Load"));
    btnSaveAs = makeButton(this, "btnSaveAs", QStringLiteral("Save As"));
    btnRename = makeButton(this, "btnRename", QStringLiteral("Rename"));
    btnDelete = makeButton(this, "btnDelete", QStringLiteral("Delete"));

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {btnLoad, btnSaveAs, btnRename, btnDelete})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblFolder);
    layout->addWidget(lstPresets, 1);
    layout->addWidget(lblCurrent);
    layout->addLayout(buttons);
}

void TformPresetLibrary::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_started) {
        m_started = true;
        guarded(m_ctx.dialogs(), [this] {
            // As Load Local Preset does, the folder is made when missing.
            QDir().mkpath(m_store.folder());
            refresh();
        });
    }
}

bool TformPresetLibrary::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstPresets && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            guarded(m_ctx.dialogs(), [this] { loadSelected(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TformPresetLibrary::watchFilesThatAreNoPresets()
{
    QStringList wanted;
    for (const PresetStore::Entry &e : m_store.entries()) {
        if (!e.problem.isEmpty() && wanted.size() < kWatchedFiles)
            wanted << QDir(m_store.folder()).filePath(e.fileName);
    }
    const QStringList watched = m_watcher.files();
    for (const QString &f : watched) {
        if (!wanted.contains(f))
            m_watcher.removePath(f);
    }
    for (const QString &f : wanted) {
        if (!watched.contains(f))
            m_watcher.addPath(f);
    }
}

void TformPresetLibrary::refresh()
{
    m_started = true;
    const QString selected = selectedName();
    const QString &folder = m_store.folder();
    const bool readable = m_store.scan();
    m_model->setEntries(m_store.entries());
    if (readable) {
        if (!m_watcher.directories().contains(folder))
            m_watcher.addPath(folder);
        watchFilesThatAreNoPresets();
        m_retry->setEnabled(false);
        lblFolder->setText(QStringLiteral("Preset folder: %1").arg(QDir::toNativeSeparators(folder)));
    } else {
        // A folder that is gone is no longer watched: look for it now and then.
        m_retry->setEnabled(true);
        lblFolder->setText(m_store.error() + QStringLiteral(" The list comes back once it can be read."));
    }
    lblFolder->setAccessibleName(lblFolder->text());
    if (!selected.isEmpty())
        select(selected);
    updateButtons();
}

void TformPresetLibrary::setLinked(bool linked)
{
    m_linked = linked;
    updateButtons();
}

void TformPresetLibrary::markEdited()
{
    if (!m_model->currentName().isEmpty() && !m_model->currentEdited())
        setCurrent(m_model->currentName(), true);
}

void TformPresetLibrary::markUsed(const QString &path)
{
    const QFileInfo file(path);
    if (file.suffix() != QLatin1String("txt") || QDir::cleanPath(file.absolutePath()) != QDir::cleanPath(m_store.folder()))
        return;
    setCurrent(file.completeBaseName(), false);
}

void TformPresetLibrary::setCurrent(const QString &name, bool edited)
{
    m_model->setCurrent(name, edited);
    showCurrent();
}

void TformPresetLibrary::showCurrent()
{
    const QString &name = m_model->currentName();
    QString text = name.isEmpty() ? QStringLiteral("No preset loaded or saved yet.")
                                  : QStringLiteral("Loaded or saved last: %1").arg(name);
    if (m_model->currentEdited())
        text += QStringLiteral(" (edited)");
    lblCurrent->setText(text);
    lblCurrent->setAccessibleName(text);
}

QString TformPresetLibrary::selectedName() const
{
    // Assistive technology may select a row without making it current.
    const QModelIndexList rows = lstPresets->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.first().row() >= m_model->entries().size())
        return {};
    return m_model->entries()[rows.first().row()].name;
}

void TformPresetLibrary::select(const QString &name)
{
    const int row = m_store.indexOf(name);
    if (row < 0)
        return;
    const QModelIndex at = m_model->index(row);
    lstPresets->setCurrentIndex(at);
    lstPresets->selectionModel()->select(at, QItemSelectionModel::ClearAndSelect);
    lstPresets->scrollTo(at);
    updateButtons();
}

void TformPresetLibrary::updateButtons()
{
    const QString name = selectedName();
    const int row = m_store.indexOf(name);
    const bool preset = row >= 0 && m_store.entries()[row].problem.isEmpty();
    btnLoad->setEnabled(m_linked && preset);
    btnSaveAs->setEnabled(m_linked);
    btnRename->setEnabled(row >= 0);
    btnDelete->setEnabled(row >= 0);
}

void TformPresetLibrary::loadSelected()
{
    const QString name = selectedName();
    if (name.isEmpty())
        return;
    if (!m_linked) {
        m_ctx.dialogs().message(QStringLiteral("Loading a preset needs a linked pedal: use Connection > Scan And Link."));
        return;
    }
    // Read once, whole, and checked before anything is sent.
    const PresetStore::Read read = m_store.read(name);
    if (!read.error.isEmpty()) {
        m_ctx.dialogs().message(read.error);
        refresh();
        return;
    }
    if (m_load)
        m_load(read.text, name);
    setCurrent(name, false);
}

bool TformPresetLibrary::ensureFolder()
{
    const QString &folder = m_store.folder();
    if (QFileInfo(folder).isDir() || (QDir().mkpath(folder) && QFileInfo(folder).isDir()))
        return true;
    m_ctx.dialogs().message(QStringLiteral("Cannot create the preset folder %1").arg(QDir::toNativeSeparators(folder)));
    return false;
}

std::optional<QString> TformPresetLibrary::askName(const QString &title, const QString &initial, bool mayReplace)
{
    QString typed = initial;
    for (;;) {
        const std::optional<QString> answer = m_ctx.dialogs().askText(title, kNameLabel, typed);
        if (!answer)
            return std::nullopt;
        typed = *answer;
        QString name = answer->trimmed();
        if (name.endsWith(QLatin1String(".txt")))
            name.chop(4);
        QString problem = Presets::nameProblem(name);
        if (problem.isEmpty() && m_store.exists(name)) {
            if (!mayReplace) {
                problem = QStringLiteral("A preset named \"%1\" already exists; choose another name.").arg(name);
            } else if (m_ctx.dialogs().question(
                           QStringLiteral("A preset named \"%1\" already exists. Replace it?").arg(name))
                       == Answer::No) {
                continue;
            }
        }
        if (problem.isEmpty())
            return name;
        m_ctx.dialogs().message(QStringLiteral("That name cannot be used. ") + problem);
    }
}

void TformPresetLibrary::saveAs()
{
    if (!m_linked || !m_read)
        return;
    // The pedal is read first, as Save Local Preset does.
    const std::optional<QString> text = m_read();
    if (!text || !ensureFolder())
        return;
    const QString guess = m_model->currentName().isEmpty() ? selectedName() : m_model->currentName();
    const std::optional<QString> name = askName(QStringLiteral("Save Preset As"), guess, true);
    if (!name)
        return;
    const QString error = m_store.save(*name, *text);
    if (!error.isEmpty()) {
        m_ctx.dialogs().message(error);
        return;
    }
    setCurrent(*name, false);
    refresh();
    select(*name);
}

void TformPresetLibrary::renameSelected()
{
    const QString from = selectedName();
    if (from.isEmpty())
        return;
    const std::optional<QString> to = askName(QStringLiteral("Rename Preset"), from, false);
    if (!to || *to == from)
        return;
    const QString error = m_store.rename(from, *to);
    if (!error.isEmpty()) {
        m_ctx.dialogs().message(error);
        refresh();
        return;
    }
    if (m_model->currentName() == from)
        setCurrent(*to, m_model->currentEdited());
    refresh();
    select(*to);
}

void TformPresetLibrary::deleteSelected()
{
    const QString name = selectedName();
    if (name.isEmpty())
        return;
    if (m_ctx.dialogs().question(QStringLiteral("Move the preset \"%1\" to the trash?").arg(name)) == Answer::No)
        return;
    const QString error = m_store.moveToTrash(name);
    if (!error.isEmpty())
        m_ctx.dialogs().message(error);
    else if (m_model->currentName() == name)
        setCurrent({}, false);
    refresh();
}
