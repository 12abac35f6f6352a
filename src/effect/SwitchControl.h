#pragma once

#include <QString>
#include <QWidget>

#include <optional>
#include <utility>

// An on/off slide switch with an optional caption beside it.
//
// setOn() emits switched() exactly when the state changes, whether code or
// the user changed it. A click (press and release on the control, caption
// included) or the Space key toggles it.
//
// Looks: the track and thumb take the palette's Button colour, the caption
// ButtonText, and an "on" track Highlight; style sheets set them with
// background-color, color and selection-background-color. Disabled, it is
// drawn without the accent colour; the thumb still shows the state.
//
// Assistive technology sees a check box named after the caption (or the
// accessible name, when one is set), checked when on, with press and toggle
// actions that toggle it.
class SwitchControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool on READ isOn WRITE setOn NOTIFY switched USER true)
    Q_PROPERTY(QString caption READ caption WRITE setCaption)

public:
    explicit SwitchControl(QWidget *parent = nullptr);
    explicit SwitchControl(const QString &caption, QWidget *parent = nullptr);

    bool isOn() const { return m_on; }
    void setOn(bool on);
    void toggle() { setOn(!m_on); }

    QString caption() const { return m_caption; }
    // The caption's width and the room beside the switch, when it is cut
    // short.
    std::optional<std::pair<int, int>> captionClipped() const;
    void setCaption(const QString &caption);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void switched(bool on);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QSize trackSize() const;

    bool m_on = false;
    bool m_pressed = false;
    QString m_caption;
};
