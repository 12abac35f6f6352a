#include "Versions.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

namespace Versions {

bool isDottedNumber(const QString &text)
{
    if (text.isEmpty())
        return false;
    bool digitBefore = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('.')) {
            if (!digitBefore)
                return false;
            digitBefore = false;
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digitBefore = true;
        } else {
            return false;
        }
    }
    return digitBefore;
}

namespace {

QString withoutLeadingZeros(const QString &digits)
{
    qsizetype i = 0;
    while (i < digits.size() - 1 && digits[i] == QLatin1Char('0'))
        ++i;
    return digits.mid(i);
}

// Decimal digit strings of any length.
int compareComponent(const QString &a, const QString &b)
{
    const QString x = withoutLeadingZeros(a);
    const QString y = withoutLeadingZeros(b);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    const int c = x.compare(y);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

std::optional<int> compare(const QString &a, const QString &b)
{
    if (!isDottedNumber(a) || !isDottedNumber(b))
        return std::nullopt;
    const QStringList x = a.split(QLatin1Char('.'));
    const QStringList y = b.split(QLatin1Char('.'));
    const qsizetype n = std::max(x.size(), y.size());
    const QString zero = QStringLiteral("0");
    for (qsizetype i = 0; i < n; ++i) {
        const int c = compareComponent(i < x.size() ? x[i] : zero, i < y.size() ? y[i] : zero);
        if (c != 0)
            return c;
    }
    return 0;
}

std::optional<QString> fileVersionFromBytes(const QByteArray &bytes)
{
    // VS_FIXEDFILEINFO, little-endian: signature, structure version,
    // file version (most significant: major << 16 | minor), ... 13 words.
    static constexpr char kSignature[] = {'\xBD', '\x04', '\xEF', '\xFE'};
    static constexpr qsizetype kRecordSize = 13 * 4;
    auto word = [&bytes](qsizetype at) {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData() + at);
        return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
    };
    const QByteArray signature(kSignature, sizeof kSignature);
    for (qsizetype at = bytes.indexOf(signature); at >= 0; at = bytes.indexOf(signature, at + 1)) {
        if (at + kRecordSize > bytes.size())
            break;
        // Only the record's one structure version (1.0) is taken: four
        // bytes that merely look like the signature are passed over.
        if (word(at + 4) != 0x00010000)
            continue;
        const quint32 ms = word(at + 8);
        return QStringLiteral("%1.%2").arg(ms >> 16).arg(ms & 0xFFFF);
    }
    return std::nullopt;
}

std::optional<QString> programFileVersion(const QString &path)
{
    QFile file(path);
    // Far larger than any updater; a bigger file is not one.
    static constexpr qint64 kMaxProgramSize = 256 * 1024 * 1024;
    if (file.size() > kMaxProgramSize || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return fileVersionFromBytes(file.readAll());
}

} // namespace Versions

namespace Versions {

QString statusText(int status, const QString &reasonPhrase)
{
    return reasonPhrase.isEmpty() ? QString::number(status) : reasonPhrase;
}

} // namespace Versions
