#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOption>

#include <functional>
#include <vector>

// Which texts of a window do not fit the room their widget gives them, in
// the style (and style sheet) in force: labels, buttons, check boxes and
// radio buttons, every entry of a list or drop-down list, the menu bar, the
// window's caption, and what the custom controls say of themselves.
namespace TextFit {

struct Clipped {
    QString widget;
    QString text;
    int need = 0; // pixels
    int room = 0;
};

inline QString nameOf(const QWidget *w)
{
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

// The width of the widest line of a text in a widget's font.
inline int textWidth(const QWidget *w, const QString &text)
{
    const QFontMetrics fm = w->fontMetrics();
    int widest = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, fm.horizontalAdvance(QString(line).remove(QLatin1Char('&'))));
    return widest;
}

// A custom control that paints its own texts answers for them: the texts it
// would cut short. Registered by the test that knows it.
using CustomCheck = std::function<std::vector<Clipped>(const QWidget *)>;

inline std::vector<Clipped> clippedTexts(QWidget *window, const CustomCheck &custom = {})
{
    std::vector<Clipped> out;
    auto check = [&out](const QWidget *w, const QString &text, int need, int room) {
        if (!text.isEmpty() && need > room)
            out.push_back({nameOf(w), text, need, room});
    };
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (QWidget *w : widgets) {
        if (w != window && !w->isVisibleTo(window))
            continue;
        if (w->isWindow() && !w->windowTitle().isEmpty()) {
            // The title bar keeps room for a close button and its padding.
            QFont bold = w->font();
            bold.setBold(true);
            check(w, w->windowTitle(), QFontMetrics(bold).horizontalAdvance(w->windowTitle()) + 64, w->width());
        }
        if (auto *label = qobject_cast<QLabel *>(w)) {
            if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
                continue;
            const QRect r = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                           -label->margin());
            if (label->wordWrap()) {
                const int h = label->fontMetrics()
                                  .boundingRect(QRect(0, 0, r.width(), 10000), Qt::TextWordWrap, label->text())
                                  .height();
                check(w, label->text(), h, r.height());
                // A single word longer than the line is cut too.
                for (const QString &word : label->text().split(QRegularExpression(QStringLiteral("\\s+"))))
                    check(w, word, textWidth(w, word), r.width());
            } else {
                check(w, label->text(), textWidth(w, label->text()), r.width());
                check(w, label->text(), label->fontMetrics().height() * int(label->text().count(QLatin1Char('\n')) + 1),
                      r.height() + 1);
            }
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            QStyleOptionButton opt;
            opt.initFrom(button);
            opt.text = button->text();
            QStyle::SubElement contents = QStyle::SE_PushButtonContents;
            if (qobject_cast<QCheckBox *>(button))
                contents = QStyle::SE_CheckBoxContents;
            else if (qobject_cast<QRadioButton *>(button))
                contents = QStyle::SE_RadioButtonContents;
            else if (!qobject_cast<QPushButton *>(button))
                continue;
            const QRect r = button->style()->subElementRect(contents, &opt, button);
            check(w, button->text(), textWidth(w, button->text()), r.width());
            check(w, button->text(), button->fontMetrics().height() * int(button->text().count(QLatin1Char('\n')) + 1),
                  r.height() + 2);
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            QStyleOptionComboBox opt;
            opt.initFrom(combo);
            opt.editable = combo->isEditable();
            const QRect r = combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i)
                check(w, combo->itemText(i), textWidth(w, combo->itemText(i)), r.width());
        } else if (auto *view = qobject_cast<QListView *>(w)) {
            const QAbstractItemModel *model = view->model();
            if (!model)
                continue;
            const int room = view->viewport()->width() - 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
            for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
                const QString text = model->index(row, view->modelColumn(), view->rootIndex()).data().toString();
                check(w, text, textWidth(w, text), room);
            }
        } else if (auto *bar = qobject_cast<QMenuBar *>(w)) {
            int need = 0;
            for (QAction *a : bar->actions()) {
                if (a->isVisible())
                    need = std::max(need, bar->actionGeometry(a).right() + 1);
            }
            // Entries that do not fit go behind an extension button.
            const bool overflow = bar->sizeHint().width() > bar->width();
            check(w, QStringLiteral("(menu bar)"), overflow ? bar->sizeHint().width() : need, bar->width());
        }
        if (custom) {
            for (const Clipped &c : custom(w))
                out.push_back(c);
        }
    }
    return out;
}

inline QString describe(const std::vector<Clipped> &clipped)
{
    QStringList lines;
    for (const Clipped &c : clipped)
        lines << QStringLiteral("%1: \"%2\" needs %3 px, has %4").arg(c.widget, c.text).arg(c.need).arg(c.room);
    return lines.join(QLatin1Char('\n'));
}

} // namespace TextFit
