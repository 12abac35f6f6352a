// The look file (style.txt) as the editor reads it at start: a text in any
// encoding, the skin number it names.
#include "FuzzSupport.h"
#include "Looks.h"
#include "TextFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir(scratchTemplate());
    const QString path = dir.filePath(QStringLiteral("style.txt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    QString content;
    try {
        content = TextFiles::read(path);
    } catch (const FileError &) {
        return 0;
    }
    const std::optional<int> n = Looks::parseLookFile(content);
    if (!n)
        return 0;
    // The number the menu writes reads back as itself.
    if (Looks::parseLookFile(QString::number(*n)) != n)
        __builtin_trap();
    (void)Looks::applySkin(*n); // no application: only the skin is looked up
    return 0;
}
