#include "AppFolder.h"

#include "TextFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace AppFolder {

QString vendorPath(const QString &documentsFolder)
{
    return QDir(documentsFolder).filePath(QLatin1String(kVendorFolder));
}

QString path(const QString &documentsFolder)
{
    return QDir(vendorPath(documentsFolder)).filePath(QLatin1String(kProductFolder));
}

static QString makeFolder(const QString &folder, const char *prefix)
{
    if (QFileInfo(folder).isDir())
        return {};
    errno = 0;
    if (QDir().mkpath(folder) && QFileInfo(folder).isDir())
        return {};
    QString reason = errno ? QString::fromLocal8Bit(std::strerror(errno)) : QString();
    if (QFileInfo::exists(folder))
        reason = QStringLiteral("a file of that name is in the way");
    if (reason.isEmpty())
        reason = QStringLiteral("the folder could not be created");
    return QString::fromLatin1(prefix) + folder + QStringLiteral(" (") + reason + QLatin1Char(')');
}

QString CreateAppFolder(const QString &documentsFolder, const QString &name)
{
    return makeFolder(QDir(documentsFolder).filePath(name), "Error creating folder: ");
}

QString CreateAppSubfolder(const QString &documentsFolder, const QString &name, const QString &subname)
{
    return makeFolder(QDir(QDir(documentsFolder).filePath(name)).filePath(subname), "Error creating subfolder: ");
}

QString ReadFlagFile(const QString &appFolder, const QString &fileName, const QString &defaultText)
{
    const QString file = QDir(appFolder).filePath(fileName);
    if (!QFileInfo::exists(file)) {
        TextFiles::write(file, defaultText);
        return defaultText;
    }
    return TextFiles::read(file);
}

bool flagValue(const QString &content, bool initial)
{
    if (content == QLatin1String("YES"))
        return true;
    if (content == QLatin1String("NO"))
        return false;
    return initial;
}

void TrimLog(const QString &appFolder)
{
    const QFileInfo info(QDir(appFolder).filePath(QLatin1String(kLogFile)));
    if (!info.isFile() || info.size() < kLogSizeLimit)
        return;
    QFile file(info.filePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(QStringLiteral("Cannot empty the log \"%1\": %2")
                            .arg(info.filePath(), file.errorString())
                            .toStdString());
}

} // namespace AppFolder
