#include "PresetLibrary.h"

#include "FunctionsUnit.h"
#include "Presets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace Presets {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr qint64 kLoaderLimit = 64 * 1024; // what readPresetFile reads

bool isHexByte(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

} // namespace

QString problemOf(const QByteArray &bytes)
{
    qsizetype at = bytes.startsWith(kBom) ? 3 : 0;
    if (at == bytes.size())
        return QStringLiteral("The file is empty.");
    for (int line = 0; line < kLines; ++line) {
        if (at >= bytes.size())
            return QStringLiteral("It holds %1 of the %2 values.").arg(line).arg(kLines);
        qsizetype end = at;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const bool hex = end - at == 8 && std::all_of(bytes.begin() + at, bytes.begin() + end, isHexByte);
        if (!hex)
            return QStringLiteral("Line %1 is not eight hex digits.").arg(line + 1);
        at = end;
        if (at < bytes.size() && bytes[at] == '\r')
            ++at;
        if (at < bytes.size() && bytes[at] == '\n')
            ++at;
    }
    return {};
}

QString presetTextOf(QByteArray bytes)
{
    if (bytes.startsWith(kBom))
        bytes.remove(0, 3);
    QString text = QString::fromUtf8(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    QString out;
    for (const QString &line : lines)
        out += line + QStringLiteral("\r\n");
    return out;
}

QString nameProblem(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("A preset name cannot be empty or only spaces.");
    if (trimmed.contains(QLatin1Char('/')) || trimmed.contains(QLatin1Char('\\')))
        return QStringLiteral("A preset name cannot hold a path separator (/ or \\).");
    if (trimmed == QLatin1String(".") || trimmed == QLatin1String(".."))
        return QStringLiteral("\".\" and \"..\" cannot be preset names.");
    for (QChar c : trimmed) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Other_Control)
            return QStringLiteral("A preset name cannot hold control characters.");
    }
    if (withTxt(trimmed).toUtf8().size() > 255)
        return QStringLiteral("A preset name can be at most 251 bytes long.");
    return {};
}

} // namespace Presets

namespace {

// Whether the desktop's trash can take a file. On freedesktop systems Qt
// falls back to the trash in the data folder; when that cannot be made it
// would move the file into the working folder instead, so that case is
// caught here. Empty when available, else why not.
QString trashProblem()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return QStringLiteral("no data folder");
    const QDir trash(QDir(data).filePath(QStringLiteral("Trash")));
    for (const char *sub : {"files", "info"}) {
        const QString path = trash.filePath(QLatin1String(sub));
        if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
            return QStringLiteral("%1 cannot be made").arg(QDir::toNativeSeparators(path));
    }
#endif
    return {};
}

} // namespace

PresetStore::PresetStore(QString folder) : m_folder(std::move(folder)) {}

bool PresetStore::scan()
{
    m_entries.clear();
    const QFileInfo where(m_folder);
    if (!where.isDir()) {
        m_error = where.exists() ? QStringLiteral("The preset folder %1 is not a folder.")
                                 : QStringLiteral("The preset folder %1 does not exist.");
        m_error = m_error.arg(QDir::toNativeSeparators(m_folder));
        m_seen.clear();
        return false;
    }
    if (!where.isReadable()) {
        m_error = QStringLiteral("The preset folder %1 cannot be read.").arg(QDir::toNativeSeparators(m_folder));
        m_seen.clear();
        return false;
    }
    m_error.clear();
    const QDir dir(m_folder);
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.txt")}, QDir::Files | QDir::CaseSensitive,
                                                  QDir::NoSort);
    QHash<QString, Seen> seen;
    seen.reserve(files.size());
    m_entries.reserve(files.size());
    for (const QFileInfo &info : files) {
        const QString fileName = info.fileName();
        Seen now{info.size(), info.fileTime(QFileDevice::FileModificationTime), {}};
        const auto before = m_seen.constFind(fileName);
        if (before != m_seen.constEnd() && before->size == now.size && before->modified == now.modified) {
            now.problem = before->problem;
        } else {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly))
                now.problem = QStringLiteral("It cannot be read: %1").arg(file.errorString());
            else
                now.problem = Presets::problemOf(file.read(Presets::kCheckedPrefix));
        }
        m_entries.push_back({fileName.chopped(4), fileName, now.problem});
        seen.insert(fileName, now);
    }
    m_seen = std::move(seen);
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) {
        const int c = QString::compare(a.name, b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return true;
}

int PresetStore::indexOf(const QString &name) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].name == name)
            return i;
    }
    return -1;
}

QString PresetStore::pathOf(const QString &name) const
{
    return QDir(m_folder).filePath(name + QStringLiteral(".txt"));
}

bool PresetStore::exists(const QString &name) const
{
    return QFileInfo::exists(pathOf(name));
}

PresetStore::Read PresetStore::read(const QString &name) const
{
    QFile file(pathOf(name));
    if (!file.exists())
        return {{}, QStringLiteral("The preset \"%1\" is no longer in the preset folder.").arg(name)};
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("The preset \"%1\" cannot be read: %2").arg(name, file.errorString())};
    const QByteArray bytes = file.read(Presets::kLoaderLimit);
    if (file.error() != QFileDevice::NoError)
        return {{}, QStringLiteral("The preset \"%1\" cannot be read: %2").arg(name, file.errorString())};
    const QString problem = Presets::problemOf(bytes);
    if (!problem.isEmpty())
        return {{}, QStringLiteral("\"%1\" is not a preset file, so nothing was sent: %2").arg(name, problem)};
    return {Presets::presetTextOf(bytes), {}};
}

QString PresetStore::save(const QString &name, const QString &text) const
{
    const QString error = Presets::writePresetFile(pathOf(name), text);
    return error.isEmpty() ? QString() : QStringLiteral("The preset \"%1\" was not saved: %2").arg(name, error);
}

QString PresetStore::rename(const QString &from, const QString &to) const
{
    if (exists(to))
        return QStringLiteral("A preset named \"%1\" already exists; choose another name.").arg(to);
    QFile file(pathOf(from));
    if (!file.rename(pathOf(to)))
        return QStringLiteral("\"%1\" was not renamed: %2").arg(from, file.errorString());
    return {};
}

QString PresetStore::moveToTrash(const QString &name) const
{
    QFile file(pathOf(name));
    if (!file.exists())
        return QStringLiteral("The preset \"%1\" is no longer in the preset folder.").arg(name);
    QString problem = trashProblem();
    if (problem.isEmpty() && !file.moveToTrash())
        problem = file.errorString();
    if (!problem.isEmpty())
        return QStringLiteral("The trash is not available (%2), so \"%1\" was not deleted and stays in the folder.")
            .arg(name, problem);
    return {};
}
