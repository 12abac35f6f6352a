#pragma once

#include "PresetLibrary.h"

#include <QAbstractListModel>

// The library's list: one row per preset file, in the store's order. The
// preset loaded or saved last is set in bold and named so to assistive
// technology, with "(edited)" once a value changed since; a file that is
// not a preset is greyed, with the reason as its tooltip.
class PresetListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    void setEntries(const QVector<PresetStore::Entry> &entries);
    const QVector<PresetStore::Entry> &entries() const { return m_entries; }
    // The marked preset (none when empty) and whether it was edited since.
    void setCurrent(const QString &name, bool edited);
    const QString &currentName() const { return m_current; }
    bool currentEdited() const { return m_edited; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    void currentChanged(const QString &name);

    QVector<PresetStore::Entry> m_entries;
    QString m_current;
    bool m_edited = false;
};
