#include "EditHistory.h"

void EditHistory::record(const QString &name, const EffectSettings &before, const EffectSettings &after,
                         int mergeKey, qint64 nowMs)
{
    if (before == after)
        return;
    m_steps.resize(m_done);
    if (m_open && !m_steps.empty() && mergeKey >= 0) {
        Step &last = m_steps.back();
        if (last.mergeKey == mergeKey && nowMs - last.at < kMergeMs && last.after == before) {
            last.after = after;
            last.at = nowMs;
            if (last.after == last.before) {
                m_steps.pop_back();
                m_open = false;
            }
            m_done = m_steps.size();
            emit changed();
            return;
        }
    }
    m_steps.push_back({name, before, after, mergeKey, nowMs});
    if (m_steps.size() > kDepth)
        m_steps.erase(m_steps.begin());
    m_done = m_steps.size();
    m_open = true;
    emit changed();
}

void EditHistory::clear()
{
    if (m_steps.empty())
        return;
    m_steps.clear();
    m_done = 0;
    m_open = false;
    emit changed();
}

QString EditHistory::undoName() const
{
    return canUndo() ? m_steps[m_done - 1].name : QString();
}

QString EditHistory::redoName() const
{
    return canRedo() ? m_steps[m_done].name : QString();
}

std::optional<EffectSettings> EditHistory::undo()
{
    if (!canUndo())
        return std::nullopt;
    m_open = false;
    --m_done;
    emit changed();
    return m_steps[m_done].before;
}

std::optional<EffectSettings> EditHistory::redo()
{
    if (!canRedo())
        return std::nullopt;
    m_open = false;
    ++m_done;
    emit changed();
    return m_steps[m_done - 1].after;
}
