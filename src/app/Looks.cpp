#include "Looks.h"

#include "Resources.h"

#include <QApplication>
#include <QStyleFactory>

namespace Looks {

bool applySkin(int n)
{
    const QString name = QStringLiteral("Style_%1").arg(n);
    if (Resources::find(name).isEmpty())
        return false;
    QByteArray sheet;
    try {
        sheet = Resources::load(name);
    } catch (const ResourceError &) {
        return false;
    }
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance())) {
        // The sheets are written against Fusion, the same on every desktop.
        if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
            QApplication::setStyle(fusion);
        app->setStyleSheet(QString::fromUtf8(sheet));
    }
    return true;
}

std::optional<int> parseLookFile(const QString &content)
{
    bool ok = false;
    const QString trimmed = content.trimmed();
    for (QChar c : trimmed) {
        if (!c.isDigit() && c != QLatin1Char('-') && c != QLatin1Char('+'))
            return std::nullopt;
    }
    const int n = trimmed.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return n;
}

} // namespace Looks
