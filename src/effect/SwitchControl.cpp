#include "SwitchControl.h"
#include "AccessibleFactory.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kMargin = 2;
constexpr int kCaptionGap = 6;

QColor blend(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// Exposes the switch as a check box: checked when on; pressing or toggling
// it flips it.
class SwitchAccessible final : public QAccessibleWidget {
public:
    explicit SwitchAccessible(SwitchControl *control) : QAccessibleWidget(control, QAccessible::CheckBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            if (!control()->accessibleName().isEmpty())
                return control()->accessibleName();
            return control()->caption();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = control()->isOn();
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (control()->isEnabled())
            names << pressAction() << toggleAction();
        return names + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name == pressAction() || name == toggleAction()) {
            if (control()->isEnabled())
                control()->toggle();
            return;
        }
        QAccessibleWidget::doAction(name);
    }
    QStringList keyBindingsForAction(const QString &name) const override
    {
        if (name == pressAction() || name == toggleAction())
            return {QStringLiteral("Space")};
        return QAccessibleWidget::keyBindingsForAction(name);
    }

private:
    SwitchControl *control() const { return static_cast<SwitchControl *>(widget()); }
};

} // namespace

SwitchControl::SwitchControl(QWidget *parent) : SwitchControl(QString(), parent) {}

SwitchControl::SwitchControl(const QString &caption, QWidget *parent) : QWidget(parent), m_caption(caption)
{
    installAccessibleFactoryOnce<SwitchControl, SwitchAccessible>();

    // Button/ButtonText are the roles a style sheet's background-color and
    // color reach for this widget; the switch is painted, not filled.
    setBackgroundRole(QPalette::Button);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void SwitchControl::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    update();
    if (QAccessible::isActive()) {
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
    emit switched(m_on);
}

void SwitchControl::setCaption(const QString &caption)
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

QSize SwitchControl::trackSize() const
{
    const int h = std::max(14, fontMetrics().height());
    return {h * 2 - 2, h};
}

std::optional<std::pair<int, int>> SwitchControl::captionClipped() const
{
    const int room = std::max(0, width() - (kMargin + trackSize().width() + kCaptionGap));
    const int need = fontMetrics().horizontalAdvance(m_caption);
    if (m_caption.isEmpty() || need <= room)
        return std::nullopt;
    return std::pair{need, room};
}

QSize SwitchControl::sizeHint() const
{
    const QSize track = trackSize();
    int w = track.width() + 2 * kMargin;
    if (!m_caption.isEmpty())
        w += kCaptionGap + fontMetrics().horizontalAdvance(m_caption);
    return {w, std::max(track.height(), fontMetrics().height()) + 2 * kMargin};
}

QSize SwitchControl::minimumSizeHint() const
{
    const QSize track = trackSize();
    return {track.width() + 2 * kMargin, track.height() + 2 * kMargin};
}

void SwitchControl::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
}

void SwitchControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    const QPalette pal = palette();
    const bool enabled = isEnabled();
    const QPalette::ColorGroup group = enabled ? QPalette::Active : QPalette::Disabled;
    const QColor body = pal.color(group, backgroundRole());
    const QColor text = pal.color(group, foregroundRole());
    const QColor accent = pal.color(group, QPalette::Highlight);
    const QColor flatBody = enabled ? body : blend(body, QColor(128, 128, 128), 0.25);
    const QColor rim = blend(flatBody, text, enabled ? 0.45 : 0.3);

    const QSize ts = trackSize();
    const QRectF track(kMargin + 0.5, (height() - ts.height()) / 2.0 + 0.5, ts.width() - 1.0, ts.height() - 1.0);
    const double radius = track.height() / 2.0;

    if (hasFocus()) {
        p.setPen(QPen(enabled ? accent : text, 1.0, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(track.adjusted(-2, -2, 2, 2), radius + 2, radius + 2);
    }

    // Track: the accent colour when on, a recessed body colour when off.
    const bool lit = m_on && enabled;
    p.setPen(QPen(lit ? accent.darker(120) : rim, 1.0));
    p.setBrush(lit ? accent : flatBody.darker(enabled ? 125 : 105));
    p.drawRoundedRect(track, radius, radius);

    // Thumb: right when on, left when off.
    const double inset = std::max(2.0, track.height() * 0.14);
    const double d = track.height() - 2 * inset;
    const double x = m_on ? track.right() - inset - d : track.left() + inset;
    const QRectF thumb(x, track.top() + inset, d, d);
    QColor thumbColour = blend(flatBody, text, enabled ? 0.8 : 0.7);
    if (lit) {
        // The body colour, unless it is too close to the accent to stand out.
        const int l = accent.lightness();
        const bool bodyShows = std::abs(body.lightness() - l) >= 60
                               || std::abs(body.lightness() - l) >= std::abs(text.lightness() - l);
        thumbColour = bodyShows ? body : text;
    }
    p.setPen(QPen(enabled ? thumbColour.darker(130) : rim, 1.0));
    p.setBrush(thumbColour);
    p.drawEllipse(thumb);

    if (!m_caption.isEmpty()) {
        const int left = kMargin + ts.width() + kCaptionGap;
        const QRect capRect(left, 0, std::max(0, width() - left), height());
        p.setPen(text);
        p.drawText(capRect, Qt::AlignLeft | Qt::AlignVCenter,
                   fontMetrics().elidedText(m_caption, Qt::ElideRight, capRect.width()));
    }
}

void SwitchControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    event->accept();
}

void SwitchControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    // Like a button: releasing away from the control cancels the click.
    if (rect().contains(event->position().toPoint()))
        toggle();
    event->accept();
}

void SwitchControl::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            toggle();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
