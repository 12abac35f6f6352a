#include "ConsoleModel.h"

#include "TextFiles.h"

#include <QDateTime>
#include <QFile>

#include <cstring>

namespace {
constexpr std::uint32_t kBlockSize = 1u << 20;
}

ConsoleModel::ConsoleModel(QObject *parent) : QObject(parent) {}

char *ConsoleModel::reserve(std::size_t bytes, std::uint64_t &locator)
{
    if (m_blocks.empty() || m_blocks.back().capacity - m_blocks.back().size < bytes) {
        Block block;
        // A line longer than a block gets a block of its own.
        block.capacity = static_cast<std::uint32_t>(std::max<std::size_t>(kBlockSize, bytes));
        block.data.reset(new char[block.capacity]);
        m_blocks.push_back(std::move(block));
    }
    Block &b = m_blocks.back();
    locator = (static_cast<std::uint64_t>(m_blocks.size() - 1) << 32) | b.size;
    char *out = b.data.get() + b.size;
    b.size += static_cast<std::uint32_t>(bytes);
    m_textBytes += bytes;
    return out;
}

void ConsoleModel::ConsolePrint(const QString &text)
{
    append(text, m_autoScroll);
}

void ConsoleModel::appendDirect(const QString &text)
{
    append(text, false);
}

void ConsoleModel::append(const QString &text, bool scroll)
{
    const qsizetype first = lineCount();
    const QByteArray utf8 = text.toUtf8();
    const char *p = utf8.constData();
    const qsizetype n = utf8.size();
    qsizetype start = 0;
    auto addLine = [&](qsizetype begin, qsizetype end) {
        std::uint64_t locator = 0;
        const auto length = static_cast<std::size_t>(end - begin);
        char *out = reserve(length, locator);
        if (length)
            std::memcpy(out, p + begin, length);
        m_starts.push_back(locator);
        m_longest = std::max(m_longest, end - begin);
    };
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] != '\r' && p[i] != '\n')
            continue;
        addLine(start, i);
        if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    addLine(start, n);
    emit linesAdded(first, scroll);
}

void ConsoleModel::clear()
{
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_starts.clear();
    m_starts.shrink_to_fit();
    m_textBytes = 0;
    m_longest = 0;
    emit cleared();
}

std::string_view ConsoleModel::lineUtf8(qsizetype i) const
{
    const auto index = static_cast<std::size_t>(i);
    const std::uint64_t locator = m_starts[index];
    const Block &block = m_blocks[locator >> 32];
    const auto begin = static_cast<std::uint32_t>(locator);
    std::uint32_t end = block.size;
    if (index + 1 < m_starts.size() && (m_starts[index + 1] >> 32) == (locator >> 32))
        end = static_cast<std::uint32_t>(m_starts[index + 1]);
    return std::string_view(block.data.get() + begin, end - begin);
}

QString ConsoleModel::line(qsizetype i) const
{
    const std::string_view v = lineUtf8(i);
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

QString ConsoleModel::lastLine() const
{
    return m_starts.empty() ? QString() : line(lineCount() - 1);
}

QString ConsoleModel::text(qsizetype first, qsizetype last, QStringView separator) const
{
    QString out;
    first = std::max<qsizetype>(first, 0);
    last = std::min(last, lineCount());
    for (qsizetype i = first; i < last; ++i) {
        if (i > first)
            out += separator;
        out += line(i);
    }
    return out;
}

bool ConsoleModel::writeLines(QIODevice &device) const
{
    // Written in chunks rather than line by line: a long session holds
    // hundreds of thousands of lines.
    std::string chunk;
    chunk.reserve(1 << 16);
    for (qsizetype i = 0; i < lineCount(); ++i) {
        const std::string_view v = lineUtf8(i);
        chunk.append(v.data(), v.size());
        chunk.append("\r\n", 2);
        if (chunk.size() >= (1 << 16)) {
            if (device.write(chunk.data(), static_cast<qint64>(chunk.size())) != static_cast<qint64>(chunk.size()))
                return false;
            chunk.clear();
        }
    }
    return device.write(chunk.data(), static_cast<qint64>(chunk.size())) == static_cast<qint64>(chunk.size());
}

void appendLogBlock(const QString &logPath, const QDateTime &when, const ConsoleModel &console)
{
    QFile file(logPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw FileError(QStringLiteral("Could not save the debug console to \"%1\": %2")
                            .arg(logPath, file.errorString())
                            .toStdString());
    const QByteArray header = "\n\n" + when.toString(QStringLiteral("dd-MM-yyyy hh:mm:ss")).toUtf8() + "\n";
    const bool ok = file.write(header) == header.size() && console.writeLines(file) && file.flush();
    if (!ok)
        throw FileError(QStringLiteral("Could not save the debug console to \"%1\": %2")
                            .arg(logPath, file.errorString())
                            .toStdString());
}
