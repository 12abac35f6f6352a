#include "KnobControl.h"
#include "SwitchControl.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

bool inDeadZone(int angle)
{
    return angle > KnobControl::kMinimumAngle && angle < KnobControl::kMaximumAngle;
}

// Every angle the spy saw, in order.
std::vector<int> angles(const QSignalSpy &spy)
{
    std::vector<int> out;
    for (const QList<QVariant> &args : spy)
        out.push_back(args.at(0).toInt());
    return out;
}

void wheel(QWidget &w, int units)
{
    const QPointF pos(w.width() / 2.0, w.height() / 2.0);
    QWheelEvent event(pos, w.mapToGlobal(pos), QPoint(), QPoint(0, units), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &event);
}

void mouse(QWidget &w, QEvent::Type type, QPointF pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, w.mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

// Counts the pixels of exactly this colour.
int pixelsOf(const QImage &image, const QColor &colour)
{
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += QColor(img.pixel(x, y)) == colour;
    return n;
}

class KnobTest : public ::testing::Test {
protected:
    KnobTest() : knob(QStringLiteral("Low Pass")), spy(&knob, &KnobControl::angleChanged)
    {
        knob.resize(knob.sizeHint());
    }
    // Puts the knob at an angle without counting that change.
    void start(int angle)
    {
        knob.setAngle(angle);
        spy.clear();
    }
    KnobControl knob;
    QSignalSpy spy;
};

} // namespace

TEST_F(KnobTest, SettingAnAngleSignalsOnlyChanges)
{
    EXPECT_EQ(knob.angle(), -135);
    knob.setAngle(-135);
    EXPECT_EQ(spy.count(), 0);

    // Code may put the knob anywhere, the dead zone included; -180 and 180
    // are kept as given, anything beyond is wrapped into (-180, 180].
    const std::pair<int, int> cases[] = {{90, 90},   {90, 90},   {-100, -100}, {-128, -128}, {-180, -180},
                                         {180, 180}, {540, 180}, {-540, 180},  {200, -160},  {-181, 179}};
    std::vector<int> expected;
    int previous = knob.angle();
    for (auto [set, stored] : cases) {
        knob.setAngle(set);
        EXPECT_EQ(knob.angle(), stored) << set;
        if (stored != previous)
            expected.push_back(stored);
        previous = stored;
    }
    EXPECT_EQ(angles(spy), expected);
}

TEST(KnobTravel, EveryTravelPositionRoundTrips)
{
    std::set<int> seen;
    for (int p = 0; p <= KnobControl::kTravel; ++p) {
        const int a = KnobControl::angleAtTravel(p);
        EXPECT_GT(a, -180) << p;
        EXPECT_LE(a, 180) << p;
        EXPECT_FALSE(inDeadZone(a)) << p;
        EXPECT_EQ(KnobControl::travelOf(a), p) << a;
        seen.insert(a);
    }
    EXPECT_EQ(seen.size(), 271u);

    // Landmarks of the travel, and where dead-zone or out-of-range angles land.
    const std::pair<int, int> travelOfAngle[] = {
        {-135, 0}, {-179, 44}, {180, 45}, {-180, 45}, {90, 135}, {0, 225}, {-1, 226}, {-45, 270},
        {-134, 0}, {-90, 0},   {-89, 270}, {-46, 270}, {540, 45}, {-495, 0}};
    for (auto [angle, travel] : travelOfAngle)
        EXPECT_EQ(KnobControl::travelOf(angle), travel) << angle;
    EXPECT_EQ(KnobControl::angleAtTravel(-10), -135);
    EXPECT_EQ(KnobControl::angleAtTravel(300), -45);
}

TEST_F(KnobTest, KeysMoveAlongTheTravelAndStopAtItsEnds)
{
    struct Case {
        int from;
        Qt::Key key;
        int to;
    };
    const Case cases[] = {
        {-135, Qt::Key_Down, -135}, {-135, Qt::Key_Left, -135},   {-45, Qt::Key_Up, -45},
        {-45, Qt::Key_Right, -45},  {-135, Qt::Key_Up, -136},    {-179, Qt::Key_Right, 180},
        {180, Qt::Key_Left, -179},  {-180, Qt::Key_Down, -179},  {0, Qt::Key_Up, -1},
        {-1, Qt::Key_Down, 0},      {90, Qt::Key_PageUp, 63},    {90, Qt::Key_PageDown, 117},
        {-50, Qt::Key_PageUp, -45}, {-120, Qt::Key_PageDown, -135}, {0, Qt::Key_Home, -135},
        {90, Qt::Key_End, -45},     {-45, Qt::Key_End, -45},
        // From the dead zone a move starts at the nearer end.
        {-128, Qt::Key_Up, -136},   {-128, Qt::Key_Down, -135}, {-60, Qt::Key_Down, -44},
        {-60, Qt::Key_Up, -45},     {-90, Qt::Key_Home, -135},  {-100, Qt::Key_End, -45},
    };
    for (const Case &c : cases) {
        start(c.from);
        QTest::keyClick(&knob, c.key);
        EXPECT_EQ(knob.angle(), c.to) << c.from << " key " << c.key;
        EXPECT_EQ(spy.count(), c.from == c.to ? 0 : 1) << c.from << " key " << c.key;
    }
}

TEST_F(KnobTest, TurningAllTheWayNeverEntersTheDeadZone)
{
    // One degree at a time from the minimum to the maximum and back: every
    // step is one change, and every angle is on the travel.
    for (int i = 0; i < 300; ++i)
        QTest::keyClick(&knob, Qt::Key_Up);
    EXPECT_EQ(knob.angle(), -45);
    for (int i = 0; i < 300; ++i)
        QTest::keyClick(&knob, Qt::Key_Down);
    EXPECT_EQ(knob.angle(), -135);
    const std::vector<int> seen = angles(spy);
    ASSERT_EQ(seen.size(), 540u);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_FALSE(inDeadZone(seen[i])) << seen[i];
        const int travel = KnobControl::travelOf(seen[i]);
        EXPECT_EQ(travel, i < 270 ? int(i) + 1 : 539 - int(i)) << i;
    }
}

TEST_F(KnobTest, WheelNotchTurnsFiveDegrees)
{
    start(90);
    wheel(knob, 120); // away from the user: clockwise
    EXPECT_EQ(knob.angle(), 85);
    wheel(knob, -240);
    EXPECT_EQ(knob.angle(), 95);
    // Fractions of a notch add up.
    wheel(knob, 12);
    wheel(knob, 12);
    EXPECT_EQ(knob.angle(), 94);
    EXPECT_EQ(angles(spy), (std::vector<int>{85, 95, 94}));

    start(-55);
    wheel(knob, 120 * 10);
    EXPECT_EQ(knob.angle(), -45);
    start(-130);
    wheel(knob, -120);
    EXPECT_EQ(knob.angle(), -135);
    wheel(knob, -120 * 10);
    EXPECT_EQ(knob.angle(), -135);
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(KnobTest, DraggingUpTurnsClockwiseOneDegreePerPixel)
{
    start(90);
    const QPointF p(knob.width() / 2.0, knob.height() / 2.0);
    mouse(knob, QEvent::MouseButtonPress, p, Qt::LeftButton);
    EXPECT_EQ(knob.angle(), 90) << "pressing alone does not move the knob";
    mouse(knob, QEvent::MouseMove, p - QPointF(0, 10), Qt::LeftButton);
    EXPECT_EQ(knob.angle(), 80);
    mouse(knob, QEvent::MouseMove, p + QPointF(0, 20), Qt::LeftButton);
    EXPECT_EQ(knob.angle(), 110);
    // Far past the minimum, then back up: the knob follows at once.
    mouse(knob, QEvent::MouseMove, p + QPointF(0, 1000), Qt::LeftButton);
    EXPECT_EQ(knob.angle(), -135);
    mouse(knob, QEvent::MouseMove, p + QPointF(0, 995), Qt::LeftButton);
    EXPECT_EQ(knob.angle(), -140);
    mouse(knob, QEvent::MouseMove, p - QPointF(0, 2000), Qt::LeftButton);
    EXPECT_EQ(knob.angle(), -45);
    mouse(knob, QEvent::MouseButtonRelease, p - QPointF(0, 2000), Qt::NoButton);
    // Released: moving no longer turns it.
    mouse(knob, QEvent::MouseMove, p, Qt::NoButton);
    EXPECT_EQ(knob.angle(), -45);
    for (int a : angles(spy))
        EXPECT_FALSE(inDeadZone(a)) << a;
}

TEST_F(KnobTest, DisabledKnobIgnoresTheUserButFollowsCode)
{
    start(90);
    knob.setEnabled(false);
    QTest::keyClick(&knob, Qt::Key_Up);
    wheel(knob, 120);
    QAccessibleInterface *ai = QAccessible::queryAccessibleInterface(&knob);
    ai->valueInterface()->setCurrentValue(0);
    EXPECT_TRUE(ai->state().disabled);
    EXPECT_EQ(knob.angle(), 90);
    EXPECT_EQ(spy.count(), 0);
    knob.setAngle(-45);
    EXPECT_EQ(angles(spy), std::vector<int>{-45});
}

TEST_F(KnobTest, AccessibleAsADialWhoseValueIsTheAngle)
{
    start(90);
    QAccessibleInterface *ai = QAccessible::queryAccessibleInterface(&knob);
    ASSERT_NE(ai, nullptr);
    EXPECT_EQ(ai->role(), QAccessible::Dial);
    EXPECT_EQ(ai->text(QAccessible::Name), QStringLiteral("Low Pass"));
    EXPECT_EQ(ai->text(QAccessible::Value), QStringLiteral("90"));
    EXPECT_TRUE(ai->state().focusable);

    QAccessibleValueInterface *value = ai->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), 90);
    EXPECT_EQ(value->minimumValue().toInt(), -180);
    EXPECT_EQ(value->maximumValue().toInt(), 180);
    EXPECT_EQ(value->minimumStepSize().toInt(), 1);

    value->setCurrentValue(-100); // anywhere, as from code
    value->setCurrentValue(-100);
    value->setCurrentValue(QStringLiteral("not a number"));
    EXPECT_EQ(knob.angle(), -100);
    EXPECT_EQ(angles(spy), std::vector<int>{-100});
    EXPECT_EQ(ai->text(QAccessible::Value), QStringLiteral("-100"));

    knob.setCaption(QStringLiteral("High Pass"));
    EXPECT_EQ(ai->text(QAccessible::Name), QStringLiteral("High Pass"));
    knob.setAccessibleName(QStringLiteral("High pass filter"));
    EXPECT_EQ(ai->text(QAccessible::Name), QStringLiteral("High pass filter"));
}

TEST_F(KnobTest, ValueTextFollowsEveryAngleAndIsTheAccessibleDescription)
{
    QAccessibleInterface *ai = QAccessible::queryAccessibleInterface(&knob);
    knob.setToolTip(QStringLiteral("Cuts the highs"));
    // Without a value function: no value line, the tool tip describes the knob.
    const QSize plain = knob.sizeHint();
    EXPECT_TRUE(knob.valueText().isEmpty());
    EXPECT_TRUE(knob.valueTextRect().isEmpty());
    EXPECT_EQ(ai->text(QAccessible::Description), QStringLiteral("Cuts the highs"));

    start(90);
    knob.setValueTextFunction([](int angle) { return QStringLiteral("at %1").arg(KnobControl::travelOf(angle)); });
    EXPECT_GT(knob.sizeHint().height(), plain.height());
    knob.resize(knob.sizeHint());
    EXPECT_EQ(knob.valueText(), QStringLiteral("at 135"));

    // Code, keys, wheel and drags all move the text; the name stays the caption.
    knob.setAngle(-100);
    EXPECT_EQ(knob.valueText(), QStringLiteral("at 0"));
    QTest::keyClick(&knob, Qt::Key_End);
    EXPECT_EQ(knob.valueText(), QStringLiteral("at 270"));
    wheel(knob, -120);
    EXPECT_EQ(knob.valueText(), QStringLiteral("at 265"));
    const QPointF p(knob.width() / 2.0, knob.height() / 2.0);
    mouse(knob, QEvent::MouseButtonPress, p, Qt::LeftButton);
    mouse(knob, QEvent::MouseMove, p + QPointF(0, 5), Qt::LeftButton);
    mouse(knob, QEvent::MouseButtonRelease, p + QPointF(0, 5), Qt::NoButton);
    EXPECT_EQ(knob.valueText(), QStringLiteral("at 260"));
    EXPECT_EQ(ai->text(QAccessible::Name), QStringLiteral("Low Pass"));
    EXPECT_EQ(ai->text(QAccessible::Description), QStringLiteral("at 260"));
    EXPECT_EQ(ai->text(QAccessible::Help), QStringLiteral("Cuts the highs"));

    // The face, the caption and the value each have their own part of the knob.
    const QRect face = knob.faceRect(), caption = knob.captionRect(), value = knob.valueTextRect();
    EXPECT_TRUE(knob.rect().contains(face) && knob.rect().contains(caption) && knob.rect().contains(value));
    EXPECT_LE(face.bottom(), caption.top());
    EXPECT_EQ(caption.bottom() + 1, value.top());
    EXPECT_GE(value.height(), knob.fontMetrics().height());
}

TEST_F(KnobTest, WheelAndPageStepsCanBeSet)
{
    knob.setWheelStep(1);
    knob.setPageStep(10);
    start(90);
    wheel(knob, 120);
    EXPECT_EQ(knob.angle(), 89);
    wheel(knob, 60); // half a notch waits for the other half
    EXPECT_EQ(knob.angle(), 89);
    wheel(knob, 60);
    EXPECT_EQ(knob.angle(), 88);
    QTest::keyClick(&knob, Qt::Key_PageDown);
    EXPECT_EQ(knob.angle(), 98);
    QTest::keyClick(&knob, Qt::Key_PageUp);
    QTest::keyClick(&knob, Qt::Key_PageUp);
    EXPECT_EQ(knob.angle(), 78);
}

TEST(SwitchControl, TogglesByClickSpaceAndCodeSignallingOnlyChanges)
{
    SwitchControl sw(QStringLiteral("Limit Range"));
    sw.resize(sw.sizeHint());
    QSignalSpy spy(&sw, &SwitchControl::switched);
    EXPECT_FALSE(sw.isOn());
    sw.setOn(false);
    EXPECT_EQ(spy.count(), 0);

    QTest::mouseClick(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(5, sw.height() / 2));
    EXPECT_TRUE(sw.isOn());
    // The caption is part of the control.
    QTest::mouseClick(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(sw.width() - 3, sw.height() / 2));
    EXPECT_FALSE(sw.isOn());
    QTest::keyClick(&sw, Qt::Key_Space);
    EXPECT_TRUE(sw.isOn());
    sw.setOn(true);
    sw.setOn(false);
    // Releasing away from the control cancels the click.
    QTest::mousePress(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(sw.width() + 40, 5));
    EXPECT_FALSE(sw.isOn());

    std::vector<bool> seen;
    for (const QList<QVariant> &args : spy)
        seen.push_back(args.at(0).toBool());
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true, false}));
}

TEST(SwitchControl, AccessibleAsACheckBoxWithToggleActions)
{
    SwitchControl sw(QStringLiteral("Bypass"));
    QSignalSpy spy(&sw, &SwitchControl::switched);
    QAccessibleInterface *ai = QAccessible::queryAccessibleInterface(&sw);
    ASSERT_NE(ai, nullptr);
    EXPECT_EQ(ai->role(), QAccessible::CheckBox);
    EXPECT_EQ(ai->text(QAccessible::Name), QStringLiteral("Bypass"));
    EXPECT_TRUE(ai->state().checkable);
    EXPECT_FALSE(ai->state().checked);

    QAccessibleActionInterface *actions = ai->actionInterface();
    ASSERT_NE(actions, nullptr);
    EXPECT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    EXPECT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(sw.isOn());
    EXPECT_TRUE(ai->state().checked);
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(sw.isOn());
    EXPECT_EQ(spy.count(), 2);

    // Disabled: neither the user nor assistive technology can flip it.
    sw.setEnabled(false);
    sw.resize(sw.sizeHint());
    actions->doAction(QAccessibleActionInterface::toggleAction());
    QTest::mouseClick(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(5, sw.height() / 2));
    QTest::keyClick(&sw, Qt::Key_Space);
    EXPECT_FALSE(sw.isOn());
    EXPECT_TRUE(ai->state().disabled);
    sw.setOn(true);
    EXPECT_TRUE(ai->state().checked);
    EXPECT_EQ(spy.count(), 3);

    sw.setAccessibleName(QStringLiteral("Noise gate"));
    EXPECT_EQ(ai->text(QAccessible::Name), QStringLiteral("Noise gate"));
}

TEST(ControlLooks, AccentColourFollowsTheStyleSheetAndIsDroppedWhenDisabled)
{
    const QColor accent(0x8f, 0xb3, 0xdb);
    const QColor disabledAccent(0x7a, 0x5a, 0x30);
    QWidget window;
    window.setStyleSheet(QStringLiteral("QWidget { background-color: #2b2b2b; color: #e6e6e6; }"
                                        "KnobControl, SwitchControl { background-color: #3a3a3a; color: #f0f0f0;"
                                        " selection-background-color: #8fb3db; }"
                                        "KnobControl:disabled, SwitchControl:disabled { color: #828282;"
                                        " selection-background-color: #7a5a30; }"));
    auto *knob = new KnobControl(QStringLiteral("Dry"), &window);
    auto *sw = new SwitchControl(QStringLiteral("Wave"), &window);
    knob->resize(knob->sizeHint());
    sw->setGeometry(0, knob->height(), sw->sizeHint().width(), sw->sizeHint().height());
    window.ensurePolished();
    knob->ensurePolished();
    sw->ensurePolished();
    EXPECT_EQ(knob->palette().color(QPalette::Highlight), accent);
    EXPECT_EQ(knob->palette().color(knob->backgroundRole()), QColor(0x3a, 0x3a, 0x3a));
    EXPECT_EQ(knob->palette().color(knob->foregroundRole()), QColor(0xf0, 0xf0, 0xf0));

    // The filled arc grows with the angle; only the pointer is accent at the minimum.
    const int atMinimum = pixelsOf(knob->grab().toImage(), accent);
    knob->setAngle(-45);
    const int atMaximum = pixelsOf(knob->grab().toImage(), accent);
    EXPECT_GT(atMinimum, 0);
    EXPECT_GT(atMaximum, 4 * atMinimum);
    EXPECT_EQ(pixelsOf(sw->grab().toImage(), accent), 0);
    sw->setOn(true);
    EXPECT_GT(pixelsOf(sw->grab().toImage(), accent), 20);

    knob->setEnabled(false);
    sw->setEnabled(false);
    for (QWidget *w : {static_cast<QWidget *>(knob), static_cast<QWidget *>(sw)}) {
        const QImage img = w->grab().toImage();
        EXPECT_EQ(pixelsOf(img, accent), 0) << w->metaObject()->className();
        EXPECT_EQ(pixelsOf(img, disabledAccent), 0) << w->metaObject()->className();
    }
}
