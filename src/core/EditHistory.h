#pragma once

#include "Parameters.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// What the player sets in the effect window: the twenty values and the
// choices beside them that no value carries.
struct EffectSettings {
    std::array<std::uint32_t, param::Count> values{};
    // Where each knob stands (0 for the parameters without a knob): a value
    // shown on a knob and read back is not always the value it came from.
    std::array<int, param::Count> angles{};
    bool bypass = false;
    int tuning = 0;                // index in the tuning list
    int semitones = 0;             // index in the semitones list
    std::array<int, 5> assigned{}; // index in each assignment list, 0 = not assigned
    bool shortPressPreset = false; // footswitch: a short press changes the preset
    bool longPressBypass = false;  // footswitch: a long press switches bypass

    bool operator==(const EffectSettings &) const = default;
};

// The history of the player's changes, as steps that undo and redo, and the
// reference that Compare plays: the settings last read from the pedal or
// loaded from a preset.
class EditHistory : public QObject {
    Q_OBJECT
public:
    // Changes of the same control this close together are one step: a knob
    // turned continuously.
    static constexpr qint64 kMergeMs = 1000;
    // Older steps are forgotten beyond this many.
    static constexpr std::size_t kDepth = 500;

    // A change from before to after, named after what changed ("Dry",
    // "Load Preset Clean"). A step with mergeKey >= 0 joins the step before
    // it when that one has the same key, is the newest and was changed less
    // than kMergeMs ago; a step that comes back to where it started
    // disappears. Redo steps are dropped.
    void record(const QString &name, const EffectSettings &before, const EffectSettings &after, int mergeKey,
                qint64 nowMs);
    // Forgets every step (a REQUEST found the pedal elsewhere).
    void clear();

    bool canUndo() const { return m_done > 0; }
    bool canRedo() const { return m_done < m_steps.size(); }
    QString undoName() const; // empty when nothing to undo
    QString redoName() const;
    // The settings to show after undoing or redoing the step; nothing when
    // there is no such step.
    std::optional<EffectSettings> undo();
    std::optional<EffectSettings> redo();
    // Ends merging: the next change starts a step of its own.
    void closeStep() { m_open = false; }

    const EffectSettings &reference() const { return m_reference; }
    void setReference(const EffectSettings &settings) { m_reference = settings; }

signals:
    void changed();

private:
    struct Step {
        QString name;
        EffectSettings before, after;
        int mergeKey;
        qint64 at;
    };
    std::vector<Step> m_steps;
    std::size_t m_done = 0; // the steps before this index are done
    bool m_open = false;    // the newest step may still take a change
    EffectSettings m_reference;
};
