// The history of the player's changes: which changes make one step, what
// undo and redo give back.
#include "EditHistory.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

EffectSettings withDry(std::uint32_t v)
{
    EffectSettings s;
    s.values[param::Dry] = v;
    return s;
}

} // namespace

TEST(EditHistory, ChangesOfOneControlCloseTogetherAreOneStep)
{
    struct Case {
        const char *what;
        int secondKey;
        qint64 secondAt;
        int steps;
    };
    const Case cases[] = {
        {"the same knob keeps moving", param::Dry, 900, 1},
        {"the same knob after a pause", param::Dry, 1000, 2},
        {"another knob", param::SubMix, 100, 2},
        {"a control that never merges", -1, 100, 2},
    };
    for (const Case &c : cases) {
        EditHistory h;
        h.record("Dry", withDry(0), withDry(1), param::Dry, 0);
        h.record("Next", withDry(1), withDry(2), c.secondKey, c.secondAt);
        int steps = 0;
        while (h.undo())
            ++steps;
        EXPECT_EQ(steps, c.steps) << c.what;
        EXPECT_EQ(h.redo()->values[param::Dry], c.steps == 1 ? 2u : 1u) << c.what;
    }
}

TEST(EditHistory, UndoAndRedoWalkTheStepsAndANewChangeDropsTheRedoSteps)
{
    EditHistory h;
    QSignalSpy changed(&h, &EditHistory::changed);
    EXPECT_FALSE(h.undo());
    h.record("Dry", withDry(0), withDry(5), param::Dry, 0);
    h.record("Load Preset Clean", withDry(5), withDry(9), -1, 10);
    EXPECT_EQ(h.undoName(), "Load Preset Clean");
    EXPECT_EQ(h.undo()->values[param::Dry], 5u);
    EXPECT_EQ(h.undoName(), "Dry");
    EXPECT_EQ(h.redoName(), "Load Preset Clean");
    EXPECT_EQ(h.undo()->values[param::Dry], 0u);
    EXPECT_FALSE(h.canUndo());
    EXPECT_EQ(h.redo()->values[param::Dry], 5u);

    // A change after an undo: the undone step is gone, and the change does
    // not merge into the step that was undone to.
    h.record("Dry", withDry(5), withDry(6), param::Dry, 20);
    EXPECT_FALSE(h.canRedo());
    EXPECT_EQ(h.undo()->values[param::Dry], 5u);
    EXPECT_EQ(h.undo()->values[param::Dry], 0u);
    EXPECT_GE(changed.count(), 7);
}

TEST(EditHistory, AKnobTurnedBackToWhereItStartedLeavesNoStepAndNothingIsNoStep)
{
    EditHistory h;
    h.record("Dry", withDry(3), withDry(3), param::Dry, 0);
    EXPECT_FALSE(h.canUndo());
    h.record("Dry", withDry(3), withDry(4), param::Dry, 0);
    h.record("Dry", withDry(4), withDry(3), param::Dry, 10);
    EXPECT_FALSE(h.canUndo());

    // A closed step takes no more changes; clearing forgets everything.
    h.record("Dry", withDry(3), withDry(4), param::Dry, 20);
    h.closeStep();
    h.record("Dry", withDry(4), withDry(5), param::Dry, 30);
    EXPECT_EQ(h.undo()->values[param::Dry], 4u);
    h.clear();
    EXPECT_FALSE(h.canUndo());
    EXPECT_FALSE(h.canRedo());
}

TEST(EditHistory, KeepsTheNewestStepsOnly)
{
    EditHistory h;
    const int n = static_cast<int>(EditHistory::kDepth) + 10;
    for (int i = 0; i < n; ++i)
        h.record("Step", withDry(std::uint32_t(i)), withDry(std::uint32_t(i + 1)), -1, i);
    int steps = 0;
    std::optional<EffectSettings> last;
    while (auto s = h.undo()) {
        last = s;
        ++steps;
    }
    EXPECT_EQ(steps, int(EditHistory::kDepth));
    EXPECT_EQ(last->values[param::Dry], 10u);
}
