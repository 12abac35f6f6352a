#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// The preset folder as a library: its preset files by name, each checked
// from its bytes, and the file operations the library window offers. No
// widgets; every failure comes back as a text for the player.
namespace Presets {

// What is wrong with a preset file's bytes as Load Local Preset reads them
// (BOM optional, CR / CR LF / LF line ends, either case); empty when the
// first twenty lines are eight hex digits each, so that every value loads.
// Bytes past the twentieth line are ignored, as the loader ignores them.
QString problemOf(const QByteArray &bytes);
// How many leading bytes problemOf needs to see to judge a file (a BOM and
// twenty lines of eight digits with CR LF, and one byte more).
constexpr qint64 kCheckedPrefix = 3 + 20 * 10 + 1;
// The loader's text of a preset file's bytes: BOM skipped, every line
// ended by CR LF (what readPresetFile returns).
QString presetTextOf(QByteArray bytes);

// What is wrong with a name the player typed for a preset; empty when it
// can be a file name in the preset folder.
QString nameProblem(const QString &name);

} // namespace Presets

// One preset folder: the listing (sorted without regard to case) and the
// operations on its files by preset name (the file name without ".txt").
class PresetStore {
public:
    struct Entry {
        QString name;     // shown: the file name without ".txt"
        QString fileName; // in the folder
        QString problem;  // why it is not a preset; empty when it is one
    };
    // A file read for loading: its loader text, or why it cannot be loaded.
    struct Read {
        QString text;
        QString error;
    };

    explicit PresetStore(QString folder);

    const QString &folder() const { return m_folder; }
    // Lists the folder again, judging every file from its first bytes
    // (kCheckedPrefix). False, with the reason in error(), when the folder
    // cannot be read; the listing is then empty.
    bool scan();
    const QString &error() const { return m_error; }
    const QVector<Entry> &entries() const { return m_entries; }
    // The index of the entry of that name, or -1.
    int indexOf(const QString &name) const;
    QString pathOf(const QString &name) const;
    bool exists(const QString &name) const;

    // Reads the file once, whole (up to the loader's 64 KiB), and checks it.
    Read read(const QString &name) const;
    // Each returns an empty text on success, else what went wrong.
    QString save(const QString &name, const QString &text) const;
    QString rename(const QString &from, const QString &to) const;
    // Moves the file to the desktop's trash; never deletes it outright.
    QString moveToTrash(const QString &name) const;

private:
    QString m_folder;
    QString m_error;
    QVector<Entry> m_entries;
};
