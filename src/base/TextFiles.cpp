#include "TextFiles.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <array>

namespace {

// 0x80..0x9F of Windows-1252; the five undefined positions keep their C1 value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        int follow;
        char32_t min;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            follow = 1;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            follow = 2;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            follow = 3;
            min = 0x10000;
        } else {
            return false;
        }
        char32_t cp = b & (0x3F >> follow);
        for (int k = 1; k <= follow; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += follow + 1;
    }
    return true;
}

} // namespace

namespace TextFiles {

QString decodeWindows1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b <= 0x9F) ? QChar(kHighControls[b - 0x80]) : QChar(b);
    }
    return text;
}

QByteArray encodeWindows1252(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes.append(static_cast<char>(u));
            continue;
        }
        char mapped = '?';
        for (std::size_t i = 0; i < kHighControls.size(); ++i) {
            if (kHighControls[i] == u) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        bytes.append(mapped);
    }
    return bytes;
}

QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                           : QStringDecoder::Utf16BE);
        return decoder.decode(bytes.mid(2));
    }
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return decodeWindows1252(bytes);
}

QString read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Cannot open file \"%1\": %2").arg(path, file.errorString()).toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError(QStringLiteral("Cannot read file \"%1\": %2").arg(path, file.errorString()).toStdString());
    return decode(bytes);
}

void write(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("Cannot create file \"%1\": %2").arg(path, file.errorString()).toStdString());
    file.write(text.toUtf8());
    if (!file.commit())
        throw FileError(QStringLiteral("Cannot write file \"%1\": %2").arg(path, file.errorString()).toStdString());
}

} // namespace TextFiles
