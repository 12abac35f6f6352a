#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

// A rotary knob whose value is an angle in whole degrees, counter-clockwise
// positive with 0 pointing right: 90 is straight up, -90 straight down, 180
// (or -180) left.
//
// The knob turns clockwise from its minimum at -135 (lower left) over the top
// to its maximum at -45 (lower right): 270 degrees of travel. The quarter
// below, from -135 to -45 through -90, is a dead zone. Code may set any angle,
// the dead zone included; the user's own moves (drag, wheel, keys) only ever
// give angles on the travel.
//
// Angles from -180 to 180 are kept exactly as set, so -180 and 180 (the same
// direction) are both possible values; any other angle is wrapped into
// (-180, 180]. The user's own moves give 180, never -180.
//
// Setting an angle emits angleChanged() exactly when the stored angle changes,
// whether code or the user changed it.
//
// Interaction: dragging up turns clockwise (towards the maximum), dragging
// down turns back, one degree per pixel; pressing does not move the knob and
// the pointer need not stay on it. One wheel notch turns wheelStep degrees
// (5 unless set; up = clockwise). Up/Right 1 degree clockwise, Down/Left 1
// degree back, PageUp/PageDown pageStep degrees (27 unless set), Home the
// minimum, End the maximum. A move that starts from a dead-zone angle starts
// from the nearer end of the travel. The knob takes focus by Tab and click
// and draws a dotted frame while it has it.
//
// Value text: given a function from angle to text, the knob shows that text
// on a line under its caption, follows every angle change with it (whoever
// made the change), and gives it to assistive technology as the knob's
// description. Without one the knob shows no value line.
//
// Looks: the body takes the palette's Button colour, the caption ButtonText,
// the pointer and the filled part of the arc Highlight; style sheets set them
// with background-color, color and selection-background-color.
//
// Assistive technology sees a dial named after the caption (or the accessible
// name, when one is set) whose value is the angle, -180 to 180 in steps of 1,
// and whose description is the value text (the tool tip when there is none).
class KnobControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int angle READ angle WRITE setAngle NOTIFY angleChanged USER true)
    Q_PROPERTY(QString caption READ caption WRITE setCaption)
    Q_PROPERTY(QString valueText READ valueText)
    Q_PROPERTY(int wheelStep READ wheelStep WRITE setWheelStep)
    Q_PROPERTY(int pageStep READ pageStep WRITE setPageStep)

public:
    static constexpr int kMinimumAngle = -135;
    static constexpr int kMaximumAngle = -45;
    // Degrees from the minimum to the maximum along the travel.
    static constexpr int kTravel = 270;
    static constexpr int kWheelStep = 5;
    static constexpr int kPageStep = 27;

    explicit KnobControl(QWidget *parent = nullptr);
    explicit KnobControl(const QString &caption, QWidget *parent = nullptr);

    int angle() const { return m_angle; }
    void setAngle(int degrees);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);

    // The text shown for an angle; an empty function shows no value line.
    using ValueTextFunction = std::function<QString(int angle)>;
    void setValueTextFunction(ValueTextFunction function);
    QString valueText() const { return m_valueText; }

    // Degrees per wheel notch and per PageUp/PageDown; at least 1.
    int wheelStep() const { return m_wheelStep; }
    void setWheelStep(int degrees);
    int pageStep() const { return m_pageStep; }
    void setPageStep(int degrees);

    // Where the parts are drawn: the square of the dial (centred across the
    // width, at the top), the caption's line and the value text's line under
    // it (empty when there is nothing to show).
    QRect faceRect() const;
    QRect captionRect() const;
    QRect valueTextRect() const;
    // The texts that would be cut short (caption, value texts across the
    // travel), with the pixels each needs and has.
    struct Clipped {
        QString text;
        int need, room;
    };
    std::vector<Clipped> clippedTexts() const;

    // Position along the travel, measured clockwise from the minimum: 0 at
    // -135, 45 at 180/-180, 135 at 90, 270 at -45. An angle in the dead zone
    // gives the nearer end: above -90 up to -45 gives 270, -90 down to -135
    // gives 0. Accepts any angle (wrapped first).
    static int travelOf(int angle);
    // The angle at a travel position, clamped to 0..270; in (-180, 180].
    static int angleAtTravel(int travel);
    // Wraps any angle into (-180, 180].
    static int normalized(int degrees);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void angleChanged(int angle);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Moves by a number of degrees along the travel, never past either end.
    void stepBy(int degrees);
    void setTravel(int travel);
    int captionHeight() const;
    int valueTextHeight() const;
    void updateValueText();

    int m_angle = kMinimumAngle;
    QString m_caption;
    bool m_dragging = false;
    double m_dragTravel = 0;
    double m_lastDragY = 0;
    // Wheel units times degrees per notch not yet turned.
    int m_wheelRemainder = 0;
    int m_wheelStep = kWheelStep;
    int m_pageStep = kPageStep;
    ValueTextFunction m_valueTextFunction;
    QString m_valueText;

    friend class KnobAccessible;
};
