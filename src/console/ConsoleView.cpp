#include "ConsoleView.h"
#include "AccessibleFactory.h"

#include "ConsoleModel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

namespace {

// Exposes the console to assistive technology as read-only multi-line text.
class ConsoleAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ConsoleAccessible(ConsoleView *view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.focusable = true;
        return s;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return view()->model().lastLine();
        return QAccessibleWidget::text(t);
    }

    // Text interface over the whole console, lines joined by line feeds.
    void selection(int, int *start, int *end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return characterCount(); }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override
    {
        return allText().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(allText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        return {};
    }

private:
    ConsoleView *view() const { return static_cast<ConsoleView *>(widget()); }
    QString allText() const
    {
        const ConsoleModel &m = view()->model();
        return m.text(0, m.lineCount());
    }
};

} // namespace

ConsoleView::ConsoleView(ConsoleModel &model, QWidget *parent) : QAbstractScrollArea(parent), m_model(model)
{
    installAccessibleFactoryOnce<ConsoleView, ConsoleAccessible>();

    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    updateMetrics();
    connect(&m_model, &ConsoleModel::linesAdded, this, &ConsoleView::onLinesAdded);
    connect(&m_model, &ConsoleModel::cleared, this, &ConsoleView::onCleared);
    updateScrollRanges();
}

void ConsoleView::updateMetrics()
{
    const QFontMetrics fm(font());
    m_lineHeight = std::max(1, fm.lineSpacing());
    m_charWidth = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(m_charWidth);
}

qsizetype ConsoleView::visibleLineCount() const
{
    return std::max(1, viewport()->height() / m_lineHeight);
}

qsizetype ConsoleView::firstVisibleLine() const
{
    sync();
    return verticalScrollBar()->value();
}

namespace {
const QEvent::Type kSyncEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

void ConsoleView::sync() const
{
    if (m_syncPending)
        const_cast<ConsoleView *>(this)->doSync();
}

void ConsoleView::doSync()
{
    if (!m_syncPending)
        return;
    m_syncPending = false;
    updateScrollRanges();
    if (m_scrollPending)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    m_scrollPending = false;
    viewport()->update();
}

bool ConsoleView::event(QEvent *event)
{
    if (event->type() == kSyncEvent) {
        doSync();
        return true;
    }
    return QAbstractScrollArea::event(event);
}

bool ConsoleView::isLineVisible(qsizetype line) const
{
    const qsizetype first = firstVisibleLine();
    return line >= first && line < first + visibleLineCount();
}

void ConsoleView::updateScrollRanges()
{
    const qsizetype maxFirst = std::max<qsizetype>(0, m_model.lineCount() - visibleLineCount());
    QScrollBar *v = verticalScrollBar();
    v->setPageStep(static_cast<int>(visibleLineCount()));
    v->setRange(0, static_cast<int>(std::min<qsizetype>(maxFirst, INT_MAX)));
    QScrollBar *h = horizontalScrollBar();
    const qsizetype width = m_model.longestLine() * m_charWidth + 2 * m_charWidth;
    h->setPageStep(viewport()->width());
    h->setRange(0, static_cast<int>(std::clamp<qsizetype>(width - viewport()->width(), 0, INT_MAX)));
}

void ConsoleView::onLinesAdded(qsizetype, bool scroll)
{
    m_scrollPending = m_scrollPending || scroll;
    if (!m_syncPending) {
        m_syncPending = true;
        QCoreApplication::postEvent(this, new QEvent(kSyncEvent));
    }
}

void ConsoleView::onCleared()
{
    m_syncPending = m_scrollPending = false;
    m_anchor = m_cursor = -1;
    updateScrollRanges();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

void ConsoleView::scrollToTop()
{
    sync();
    verticalScrollBar()->setValue(0);
}

void ConsoleView::scrollToEnd()
{
    sync();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

std::pair<qsizetype, qsizetype> ConsoleView::selectedLines() const
{
    if (m_anchor < 0 || m_cursor < 0)
        return {0, 0};
    const qsizetype n = m_model.lineCount();
    const qsizetype a = std::min(std::min(m_anchor, m_cursor), n);
    const qsizetype b = std::min(std::max(m_anchor, m_cursor) + 1, n);
    return {a, b};
}

QString ConsoleView::selectedText() const
{
    const auto [a, b] = selectedLines();
    if (a == b)
        return m_model.text(0, m_model.lineCount());
    return m_model.text(a, b);
}

void ConsoleView::copy() const
{
    QApplication::clipboard()->setText(selectedText());
}

void ConsoleView::paintEvent(QPaintEvent *)
{
    sync();
    QPainter p(viewport());
    const QPalette pal = palette();
    const qsizetype first = firstVisibleLine();
    const qsizetype last = std::min(m_model.lineCount(), first + visibleLineCount() + 1);
    const auto [selA, selB] = selectedLines();
    const int x = 2 - horizontalScrollBar()->value();
    const QFontMetrics fm(font());
    for (qsizetype i = first; i < last; ++i) {
        const int top = static_cast<int>(i - first) * m_lineHeight;
        const bool selected = i >= selA && i < selB;
        if (selected)
            p.fillRect(QRect(0, top, viewport()->width(), m_lineHeight), pal.brush(QPalette::Highlight));
        p.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
        p.drawText(x, top + fm.ascent(), m_model.line(i));
    }
}

void ConsoleView::resizeEvent(QResizeEvent *event)
{
    sync();
    const bool atEnd = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRanges();
    if (atEnd)
        scrollToEnd();
}

void ConsoleView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        updateScrollRanges();
    }
}

qsizetype ConsoleView::lineAt(int y) const
{
    const qsizetype line = firstVisibleLine() + std::max(0, y) / m_lineHeight;
    return std::min(line, m_model.lineCount() - 1);
}

void ConsoleView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        m_anchor = 0;
        m_cursor = m_model.lineCount() - 1;
        viewport()->update();
        return;
    }
    QScrollBar *v = verticalScrollBar();
    switch (event->key()) {
    case Qt::Key_Home:
        if (event->modifiers() & Qt::ControlModifier) {
            scrollToTop();
            return;
        }
        break;
    case Qt::Key_End:
        if (event->modifiers() & Qt::ControlModifier) {
            scrollToEnd();
            return;
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (event->modifiers() & Qt::ShiftModifier && m_model.lineCount() > 0) {
            if (m_cursor < 0)
                m_anchor = m_cursor = event->key() == Qt::Key_Up ? m_model.lineCount() - 1 : firstVisibleLine();
            else
                m_cursor = std::clamp<qsizetype>(m_cursor + (event->key() == Qt::Key_Up ? -1 : 1), 0,
                                                 m_model.lineCount() - 1);
            if (!isLineVisible(m_cursor))
                v->setValue(static_cast<int>(m_cursor < firstVisibleLine() ? m_cursor
                                                                           : m_cursor - visibleLineCount() + 1));
            viewport()->update();
            return;
        }
        break;
    default:
        break;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void ConsoleView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_model.lineCount() == 0)
        return;
    const qsizetype line = lineAt(event->position().toPoint().y());
    if (!(event->modifiers() & Qt::ShiftModifier) || m_anchor < 0)
        m_anchor = line;
    m_cursor = line;
    viewport()->update();
}

void ConsoleView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || m_anchor < 0)
        return;
    m_cursor = lineAt(event->position().toPoint().y());
    viewport()->update();
}

void ConsoleView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    const auto [a, b] = selectedLines();
    menu.addAction(a == b ? tr("Copy All") : tr("Copy"), this, &ConsoleView::copy);
    menu.addAction(tr("Select All"), this, [this] {
        m_anchor = 0;
        m_cursor = m_model.lineCount() - 1;
        viewport()->update();
    });
    menu.exec(event->globalPos());
}
