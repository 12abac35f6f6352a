#include "KnobControl.h"
#include "AccessibleFactory.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int kSixteenthsPerDegree = 16; // QPainter arc angles are in 1/16 degree
constexpr int kWheelUnitsPerNotch = 120;

QColor blend(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// The font a line is drawn in: the widget's, made smaller (down to 6.5
// points) before the line is cut short.
QFont fittedFont(const QFont &font, double available, const QString &text)
{
    QFont f = font;
    QFontMetricsF fm(f);
    if (f.pointSizeF() > 0) {
        const double minimum = std::min(f.pointSizeF(), 6.5);
        while (fm.horizontalAdvance(text) > available && f.pointSizeF() - 0.25 >= minimum) {
            f.setPointSizeF(f.pointSizeF() - 0.25);
            fm = QFontMetricsF(f);
        }
    }
    return f;
}

// Draws one line centred in a rect, in a smaller font before it is cut short.
void drawLine(QPainter &p, const QFont &font, const QRectF &rect, const QString &text)
{
    const double available = rect.width() - 2;
    const QFont f = fittedFont(font, available, text);
    p.setFont(f);
    p.drawText(rect, Qt::AlignHCenter | Qt::AlignVCenter, QFontMetricsF(f).elidedText(text, Qt::ElideRight, available));
}

bool onTravel(int angle)
{
    // The dead zone is strictly between the two ends.
    const int a = KnobControl::normalized(angle);
    return !(a > KnobControl::kMinimumAngle && a < KnobControl::kMaximumAngle);
}

} // namespace

// Exposes the knob as a dial whose value is its angle; increase and decrease
// turn it one degree along the travel.
class KnobAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit KnobAccessible(KnobControl *knob) : QAccessibleWidget(knob, QAccessible::Dial) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            if (!knob()->accessibleName().isEmpty())
                return knob()->accessibleName();
            return knob()->caption();
        case QAccessible::Value:
            return QString::number(knob()->angle());
        case QAccessible::Description:
            if (knob()->m_valueTextFunction)
                return knob()->valueText();
            return QAccessibleWidget::text(t);
        case QAccessible::Help:
            // The value took the description's place; the tool tip stays within reach.
            if (knob()->m_valueTextFunction && knob()->whatsThis().isEmpty())
                return knob()->toolTip();
            return QAccessibleWidget::text(t);
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QVariant currentValue() const override { return knob()->angle(); }
    void setCurrentValue(const QVariant &value) override
    {
        // Disabled controls are out of the user's reach, assistive technology included.
        bool ok = false;
        const int degrees = value.toInt(&ok);
        if (ok && knob()->isEnabled())
            knob()->setAngle(degrees);
    }
    QVariant maximumValue() const override { return 180; }
    QVariant minimumValue() const override { return -180; }
    QVariant minimumStepSize() const override { return 1; }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (knob()->isEnabled())
            names << increaseAction() << decreaseAction();
        return names;
    }
    void doAction(const QString &name) override
    {
        if (name == increaseAction() && knob()->isEnabled())
            knob()->stepBy(1);
        else if (name == decreaseAction() && knob()->isEnabled())
            knob()->stepBy(-1);
        else
            QAccessibleWidget::doAction(name);
    }

private:
    KnobControl *knob() const { return static_cast<KnobControl *>(widget()); }
};

KnobControl::KnobControl(QWidget *parent) : KnobControl(QString(), parent) {}

KnobControl::KnobControl(const QString &caption, QWidget *parent) : QWidget(parent), m_caption(caption)
{
    installAccessibleFactoryOnce<KnobControl, KnobAccessible>();

    // Button/ButtonText are the roles a style sheet's background-color and
    // color reach for this widget; the body is painted, not filled.
    setBackgroundRole(QPalette::Button);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

int KnobControl::normalized(int degrees)
{
    int a = degrees % 360;
    if (a > 180)
        a -= 360;
    else if (a <= -180)
        a += 360;
    return a;
}

int KnobControl::travelOf(int angle)
{
    const int p = ((kMinimumAngle - normalized(angle)) % 360 + 360) % 360;
    if (p <= kTravel)
        return p;
    // Dead zone: 271..314 lies nearer the maximum (-46..-89), 315..359 nearer
    // the minimum (-90..-134).
    return p < 315 ? kTravel : 0;
}

int KnobControl::angleAtTravel(int travel)
{
    return normalized(kMinimumAngle - std::clamp(travel, 0, kTravel));
}

void KnobControl::setAngle(int degrees)
{
    const int a = (degrees >= -180 && degrees <= 180) ? degrees : normalized(degrees);
    if (a == m_angle)
        return;
    m_angle = a;
    update();
    // The text first, so that whoever hears of the new value reads its text.
    updateValueText();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, m_angle);
        QAccessible::updateAccessibility(&event);
    }
    emit angleChanged(m_angle);
}

void KnobControl::setValueTextFunction(ValueTextFunction function)
{
    const bool lineChanges = bool(function) != bool(m_valueTextFunction);
    m_valueTextFunction = std::move(function);
    if (lineChanges)
        updateGeometry();
    updateValueText();
}

void KnobControl::updateValueText()
{
    const QString text = m_valueTextFunction ? m_valueTextFunction(m_angle) : QString();
    if (text == m_valueText)
        return;
    m_valueText = text;
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void KnobControl::setWheelStep(int degrees)
{
    m_wheelStep = std::max(1, degrees);
    m_wheelRemainder = 0;
}

void KnobControl::setPageStep(int degrees)
{
    m_pageStep = std::max(1, degrees);
}

void KnobControl::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    updateGeometry();
    update();
    if (QAccessible::isActive() && accessibleName().isEmpty()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void KnobControl::setTravel(int travel)
{
    travel = std::clamp(travel, 0, kTravel);
    // An angle already on the travel at this position stays as it is (so a
    // -180 set from code is not turned into 180); a dead-zone angle moves
    // onto the travel.
    if (travel == travelOf(m_angle) && onTravel(m_angle))
        return;
    setAngle(angleAtTravel(travel));
}

void KnobControl::stepBy(int degrees)
{
    setTravel(travelOf(m_angle) + degrees);
}

int KnobControl::captionHeight() const
{
    return m_caption.isEmpty() ? 0 : fontMetrics().height() + 2;
}

int KnobControl::valueTextHeight() const
{
    return m_valueTextFunction ? fontMetrics().height() + 2 : 0;
}

QRect KnobControl::faceRect() const
{
    const int side = std::max(8, std::min(width(), height() - captionHeight() - valueTextHeight()));
    return {(width() - side) / 2, 0, side, side};
}

std::vector<KnobControl::Clipped> KnobControl::clippedTexts() const
{
    std::vector<Clipped> out;
    auto check = [this, &out](const QRect &rect, const QString &text) {
        const double available = rect.width() - 2;
        const double need = QFontMetricsF(fittedFont(font(), available, text)).horizontalAdvance(text);
        if (!text.isEmpty() && need > available)
            out.push_back({text, qCeil(need), int(available)});
    };
    check(captionRect(), m_caption);
    // The value text at either end and where the knob stands.
    if (m_valueTextFunction) {
        for (int angle : {angleAtTravel(0), angleAtTravel(kTravel), m_angle})
            check(valueTextRect(), m_valueTextFunction(angle));
    }
    return out;
}

QRect KnobControl::captionRect() const
{
    const int h = captionHeight();
    return {0, height() - valueTextHeight() - h, h > 0 ? width() : 0, h};
}

QRect KnobControl::valueTextRect() const
{
    const int h = valueTextHeight();
    return {0, height() - h, h > 0 ? width() : 0, h};
}

QSize KnobControl::sizeHint() const
{
    return {64, 64 + captionHeight() + valueTextHeight()};
}

QSize KnobControl::minimumSizeHint() const
{
    return {28, 28 + captionHeight() + valueTextHeight()};
}

void KnobControl::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
}

void KnobControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    const QPalette pal = palette();
    const bool enabled = isEnabled();
    const QPalette::ColorGroup group = enabled ? QPalette::Active : QPalette::Disabled;
    const QColor body = pal.color(group, backgroundRole());
    const QColor text = pal.color(group, foregroundRole());
    const QColor accent = pal.color(group, QPalette::Highlight);
    // The track and the rim are drawn between body and text so they follow
    // whatever colours the skin gives; a disabled body is flattened towards
    // grey.
    const QColor flatBody = enabled ? body : blend(body, QColor(128, 128, 128), 0.25);
    const QColor track = blend(flatBody, text, enabled ? 0.28 : 0.18);
    const QColor rim = blend(flatBody, text, enabled ? 0.45 : 0.3);

    // Knob square above the caption.
    const double side = faceRect().height();
    const QPointF centre(width() / 2.0, side / 2.0);
    const double arcWidth = std::max(2.0, side * 0.065);
    const double arcRadius = side / 2.0 - arcWidth / 2.0 - 2.0;
    const double bodyRadius = arcRadius - arcWidth / 2.0 - std::max(2.0, side * 0.06);

    // Focus ring: a thin rounded frame around the whole control.
    if (hasFocus()) {
        QPen focusPen(enabled ? accent : text, 1.0, Qt::DotLine);
        p.setPen(focusPen);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    }

    const QRectF arcRect(centre.x() - arcRadius, centre.y() - arcRadius, 2 * arcRadius, 2 * arcRadius);
    // Track over the whole travel, clockwise from the minimum.
    QPen trackPen(track, arcWidth, Qt::SolidLine, Qt::RoundCap);
    p.setPen(trackPen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(arcRect, kMinimumAngle * kSixteenthsPerDegree, -kTravel * kSixteenthsPerDegree);

    // Filled part, from the minimum to the knob's position.
    const int travel = travelOf(m_angle);
    if (enabled && travel > 0) {
        QPen fillPen(accent, arcWidth, Qt::SolidLine, Qt::RoundCap);
        p.setPen(fillPen);
        p.drawArc(arcRect, kMinimumAngle * kSixteenthsPerDegree, -travel * kSixteenthsPerDegree);
    }

    // Body: a soft top-left light over the skin's colour, with a rim.
    if (bodyRadius > 2) {
        QRadialGradient shade(centre - QPointF(bodyRadius * 0.35, bodyRadius * 0.45), bodyRadius * 1.5);
        if (enabled) {
            shade.setColorAt(0.0, flatBody.lighter(135));
            shade.setColorAt(1.0, flatBody.darker(115));
        } else {
            shade.setColorAt(0.0, flatBody);
            shade.setColorAt(1.0, flatBody);
        }
        p.setPen(QPen(rim, 1.0));
        p.setBrush(shade);
        p.drawEllipse(centre, bodyRadius, bodyRadius);
    }

    // Pointer at the actual angle (which may lie in the dead zone).
    const double rad = m_angle * std::numbers::pi / 180.0;
    const QPointF dir(std::cos(rad), -std::sin(rad));
    const double inner = std::max(0.0, bodyRadius * 0.3);
    const double outer = std::max(inner + 1.0, bodyRadius - std::max(1.5, side * 0.04));
    QPen pointerPen(enabled ? accent : text, std::max(1.5, side * 0.05), Qt::SolidLine, Qt::RoundCap);
    p.setPen(pointerPen);
    p.drawLine(centre + dir * inner, centre + dir * outer);

    // Caption under the knob, the value under the caption.
    p.setPen(text);
    if (!m_caption.isEmpty())
        drawLine(p, font(), captionRect(), m_caption);
    if (!m_valueText.isEmpty())
        drawLine(p, font(), valueTextRect(), m_valueText);
}

void KnobControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    m_dragTravel = travelOf(m_angle);
    m_lastDragY = event->position().y();
    event->accept();
}

void KnobControl::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const double y = event->position().y();
    const double delta = m_lastDragY - y; // up is clockwise
    m_lastDragY = y;
    if (delta == 0)
        return;
    // Clamping as we go means turning back after overshooting an end takes
    // effect at once.
    m_dragTravel = std::clamp(m_dragTravel + delta, 0.0, static_cast<double>(kTravel));
    setTravel(static_cast<int>(std::lround(m_dragTravel)));
    event->accept();
}

void KnobControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void KnobControl::wheelEvent(QWheelEvent *event)
{
    const QPoint d = event->angleDelta();
    const int units = d.y() != 0 ? d.y() : d.x();
    if (units == 0) {
        event->ignore();
        return;
    }
    // Fine-grained wheels send fractions of a notch: gather them until a
    // whole degree is due.
    m_wheelRemainder += units * m_wheelStep;
    const int degrees = m_wheelRemainder / kWheelUnitsPerNotch;
    m_wheelRemainder -= degrees * kWheelUnitsPerNotch;
    if (degrees != 0)
        stepBy(degrees);
    event->accept();
}

void KnobControl::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
        stepBy(1);
        break;
    case Qt::Key_Down:
    case Qt::Key_Left:
        stepBy(-1);
        break;
    case Qt::Key_PageUp:
        stepBy(m_pageStep);
        break;
    case Qt::Key_PageDown:
        stepBy(-m_pageStep);
        break;
    case Qt::Key_Home:
        setTravel(0);
        break;
    case Qt::Key_End:
        setTravel(kTravel);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}
