#include "Presets.h"

#include "FunctionsUnit.h"
#include "PresetLibrary.h"
#include "TextFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Presets {

const std::array<const char *, kLines> kLabels = {
    "Dry: ", "SubMix: ", "Minus1oct: ", "Minus2oct: ", "Wave: ", "LowPass: ", "HighPass: ", "FirstHarmonic: ",
    "Split: ", "Range: ", "input_level: ", "Wave2_Pitch: ", "Clip: ", "DominantNoteCut: ", "HighNoteCut: ",
    "DryHPF: ", "Limit Range UP: ", "Noise Gate Status: ", "Noise Gate Threshold: ", "Attack: ",
};

QString PresetFolder(const QString &documentsFolder)
{
    return QDir(documentsFolder).filePath(QStringLiteral("VORMA/Tharnvik MK3/Preset"));
}

QString buildPresetText(const std::array<std::uint32_t, kLines> &values)
{
    QStringList lines;
    for (std::uint32_t v : values)
        lines << QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
    return lines.join(QLatin1Char('\r'));
}

QString ReverseHexBytes(const QString &hex)
{
    return hex.mid(6, 2) + hex.mid(4, 2) + hex.mid(2, 2) + hex.mid(0, 2);
}

std::uint32_t applyField(const QString &field, std::uint32_t value)
{
    const QString reversed = ReverseHexBytes(field);
    for (int i = 0; i + 1 < reversed.size() && i < 8; i += 2) {
        const int hi = hexDigitValue(reversed[i]);
        const int lo = hexDigitValue(reversed[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        const int shift = 8 * (i / 2);
        value = (value & ~(0xFFu << shift)) | (static_cast<std::uint32_t>(hi * 16 + lo) << shift);
    }
    return value;
}

QString fieldOf(const QString &text, int k)
{
    return text.mid(kStride * k, 8);
}

QString withTxt(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".txt")) ? fileName : fileName + QStringLiteral(".txt");
}

QString writePresetFile(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QByteArray bytes = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

QString readPresetFile(const QString &path)
{
    QFile file(path);
    if (QFileInfo(path).isDir())
        throw FileError(QStringLiteral("%1 is a folder").arg(path).toStdString());
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(file.errorString().toStdString());
    const QByteArray bytes = file.read(kReadLimit);
    if (file.error() != QFileDevice::NoError)
        throw FileError(file.errorString().toStdString());
    return presetTextOf(bytes);
}

} // namespace Presets
