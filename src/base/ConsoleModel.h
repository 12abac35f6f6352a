#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

class QDateTime;
class QIODevice;

// The debug console's lines. Every line is kept for the whole run (until
// Clear) as UTF-8 in fixed blocks of text, with one 64-bit locator per line:
// a line costs about eight bytes beyond its text, and nothing is ever copied
// to grow.
class ConsoleModel : public QObject {
    Q_OBJECT
public:
    explicit ConsoleModel(QObject *parent = nullptr);

    // Appends the text as a new line and, when autoscroll is on, asks the
    // views to show the last line. A text holding line breaks becomes
    // several lines.
    void ConsolePrint(const QString &text);
    // Appends without the scroll step.
    void appendDirect(const QString &text);
    void clear();

    bool autoScroll() const { return m_autoScroll; }
    void setAutoScroll(bool on) { m_autoScroll = on; }

    qsizetype lineCount() const { return static_cast<qsizetype>(m_starts.size()); }
    std::string_view lineUtf8(qsizetype i) const;
    QString line(qsizetype i) const;
    QString lastLine() const;
    // Longest line so far, in UTF-8 bytes (a width estimate for views).
    qsizetype longestLine() const { return m_longest; }
    // Bytes held for the text and for the line index.
    std::size_t textBytes() const { return m_textBytes; }

    // Lines [first, last) joined with the separator.
    QString text(qsizetype first, qsizetype last, QStringView separator = u"\n") const;
    // Writes every line followed by CR LF. Returns false when the device fails.
    bool writeLines(QIODevice &device) const;

signals:
    // Lines [first, lineCount()) were added; scroll: the writer asked for the
    // last line to be shown.
    void linesAdded(qsizetype first, bool scroll);
    void cleared();

private:
    void append(const QString &text, bool scroll);

    struct Block {
        std::unique_ptr<char[]> data;
        std::uint32_t size = 0;
        std::uint32_t capacity = 0;
    };
    // Locator: block index in the high 32 bits, offset in the low 32 bits;
    // a line ends where the next line of its block starts, or at the block's end.
    char *reserve(std::size_t bytes, std::uint64_t &locator);

    std::vector<Block> m_blocks;
    std::deque<std::uint64_t> m_starts;
    std::size_t m_textBytes = 0;
    qsizetype m_longest = 0;
    bool m_autoScroll = true;
};

// Appends the console to the log: LF, LF, "dd-mm-yyyy hh:nn:ss", LF, then
// each line followed by CR LF. Creates the file if needed, never rewrites it.
// Throws FileError.
void appendLogBlock(const QString &logPath, const QDateTime &when, const ConsoleModel &console);
