#pragma once

#include <QAbstractScrollArea>

class ConsoleModel;

// A read-only view of the console lines. It paints only the lines in sight,
// so appending and scrolling cost the same with ten lines or a million.
// Whole lines are selected with the mouse or Shift+arrows; Ctrl+C copies
// the selection (everything when nothing is selected).
class ConsoleView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ConsoleView(ConsoleModel &model, QWidget *parent = nullptr);

    ConsoleModel &model() const { return m_model; }
    void scrollToTop();
    void scrollToEnd();
    // First and one past last line in sight.
    qsizetype firstVisibleLine() const;
    qsizetype visibleLineCount() const;
    bool isLineVisible(qsizetype line) const;
    int lineHeight() const { return m_lineHeight; }

    // Selected lines [first, last); empty when first == last.
    std::pair<qsizetype, qsizetype> selectedLines() const;
    QString selectedText() const;
    void copy() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void onLinesAdded(qsizetype first, bool scroll);
    void onCleared();
    void updateMetrics();
    void updateScrollRanges();
    // Appends are gathered and the scroll bars brought up to date once, when
    // the event loop next runs or when someone asks where the view is.
    void sync() const;
    void doSync();
    bool event(QEvent *event) override;
    qsizetype lineAt(int y) const;

    bool m_syncPending = false;
    bool m_scrollPending = false;

    ConsoleModel &m_model;
    int m_lineHeight = 16;
    int m_charWidth = 8;
    qsizetype m_anchor = -1;
    qsizetype m_cursor = -1;
};
