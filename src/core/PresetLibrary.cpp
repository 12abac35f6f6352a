#include "PresetLibrary.h"

#include "FunctionsUnit.h"
#include "Presets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Presets {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

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
    if (trimmed.startsWith(QLatin1Char('.')))
        return QStringLiteral("A preset name cannot start with a dot: the file would be hidden.");
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

// The preset files of a folder (visible regular files ending in ".txt",
// links to them included), each judged from its first bytes; false when
// the folder cannot be listed. A listing reads thousands of files, so on
// Unix each costs three system calls and no path is built.
bool listFolder(const QString &folder, QVector<PresetStore::Entry> &entries)
{
    char prefix[Presets::kCheckedPrefix];
#ifdef Q_OS_UNIX
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return false;
    const int at = ::dirfd(dir);
    while (const dirent *e = ::readdir(dir)) {
        const std::size_t length = std::strlen(e->d_name);
        if (e->d_name[0] == '.' || length <= 4 || std::memcmp(e->d_name + length - 4, ".txt", 4) != 0)
            continue;
        struct stat st;
        if (e->d_type != DT_REG && (::fstatat(at, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)))
            continue;
        const QString fileName = QFile::decodeName(e->d_name);
        QString problem;
        const int fd = ::openat(at, e->d_name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        ssize_t got = fd < 0 ? -1 : 0;
        while (fd >= 0 && got < Presets::kCheckedPrefix) {
            const ssize_t n = ::read(fd, prefix + got, static_cast<std::size_t>(Presets::kCheckedPrefix - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                got = n < 0 ? -1 : got;
                break;
            }
            got += n;
        }
        problem = got < 0 ? QStringLiteral("It cannot be read: %1").arg(qt_error_string(errno))
                          : Presets::problemOf(QByteArray::fromRawData(prefix, static_cast<qsizetype>(got)));
        if (fd >= 0)
            ::close(fd);
        entries.push_back({fileName.chopped(4), fileName, problem});
    }
    ::closedir(dir);
#else
    const QDir dir(folder);
    const QStringList files = dir.entryList({QStringLiteral("*.txt")}, QDir::Files | QDir::CaseSensitive, QDir::NoSort);
    for (const QString &fileName : files) {
        QFile file(dir.filePath(fileName));
        QString problem;
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            problem = QStringLiteral("It cannot be read: %1").arg(file.errorString());
        else
            problem = Presets::problemOf(QByteArray::fromRawData(
                prefix, static_cast<qsizetype>(std::max<qint64>(0, file.read(prefix, Presets::kCheckedPrefix)))));
        entries.push_back({fileName.chopped(4), fileName, problem});
    }
#endif
    return true;
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
        return false;
    }
    m_error.clear();
    if (!where.isReadable() || !listFolder(m_folder, m_entries)) {
        m_entries.clear();
        m_error = QStringLiteral("The preset folder %1 cannot be read.").arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    // Sorted by the case-folded names, computed once each.
    QVector<std::pair<QString, int>> keys;
    keys.reserve(m_entries.size());
    for (int i = 0; i < m_entries.size(); ++i)
        keys.push_back({m_entries[i].name.toCaseFolded(), i});
    std::sort(keys.begin(), keys.end(), [this](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : m_entries[a.second].name < m_entries[b.second].name;
    });
    QVector<Entry> sorted;
    sorted.reserve(m_entries.size());
    for (const auto &key : keys)
        sorted.push_back(std::move(m_entries[key.second]));
    m_entries = std::move(sorted);
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
    const QByteArray bytes = file.read(Presets::kReadLimit);
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
