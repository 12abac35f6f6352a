#include "PresetListModel.h"

#include <QApplication>
#include <QFont>
#include <QPalette>

void PresetListModel::setEntries(const QVector<PresetStore::Entry> &entries)
{
    beginResetModel();
    m_entries = entries;
    endResetModel();
}

void PresetListModel::setCurrent(const QString &name, bool edited)
{
    const QString before = m_current;
    m_current = name;
    m_edited = edited && !name.isEmpty();
    currentChanged(before);
    if (name != before)
        currentChanged(name);
}

void PresetListModel::currentChanged(const QString &name)
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].name == name) {
            const QModelIndex at = index(i);
            emit dataChanged(at, at);
        }
    }
}

int PresetListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

QVariant PresetListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const PresetStore::Entry &e = m_entries[index.row()];
    const bool current = !m_current.isEmpty() && e.name == m_current;
    const bool broken = !e.problem.isEmpty();
    switch (role) {
    case Qt::DisplayRole:
        return current && m_edited ? e.name + QStringLiteral(" (edited)") : e.name;
    case Qt::FontRole:
        if (current) {
            QFont bold = QApplication::font();
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ForegroundRole:
        if (broken)
            return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::ToolTipRole:
        if (broken)
            return e.problem;
        return current ? QStringLiteral("The preset loaded or saved last") : QVariant();
    case Qt::AccessibleTextRole:
        if (broken)
            return e.name + QStringLiteral(" (not a preset)");
        if (current)
            return e.name + (m_edited ? QStringLiteral(" (current, edited)") : QStringLiteral(" (current)"));
        return {};
    case Qt::AccessibleDescriptionRole:
        return broken ? e.problem : QVariant();
    default:
        return {};
    }
}
