#include "Resources.h"

#include "TextFiles.h"

#include <QDir>
#include <QFile>

namespace {

constexpr auto kRoot = ":/carried";

} // namespace

namespace Resources {

QStringList names()
{
    return QDir(QLatin1String(kRoot)).entryList(QDir::Files, QDir::Name);
}

QString find(const QString &name)
{
    if (name.isEmpty())
        return {};
    for (const QString &entry : names()) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return QLatin1String(kRoot) + QLatin1Char('/') + entry;
    }
    return {};
}

QByteArray load(const QString &name)
{
    const QString path = find(name);
    if (path.isEmpty())
        throw ResourceError(QStringLiteral("Resource %1 not found").arg(name).toStdString());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ResourceError(QStringLiteral("Resource %1: %2").arg(name, file.errorString()).toStdString());
    return file.readAll();
}

QStringList loadLines(const QString &name)
{
    QString text = TextFiles::decode(load(name));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    // A final line break ends the last line; it does not start another.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

bool isPlaceholder(const QString &name)
{
    QFile index(QLatin1String(kRoot) + QLatin1String("/INDEX"));
    if (!index.open(QIODevice::ReadOnly))
        return true;
    while (!index.atEnd()) {
        const QList<QByteArray> fields = index.readLine().simplified().split(' ');
        if (fields.size() >= 3 && QString::fromLatin1(fields[0]).compare(name, Qt::CaseInsensitive) == 0)
            return fields[2] != "no";
    }
    // Anything the index does not vouch for is treated as made up.
    return true;
}

} // namespace Resources
