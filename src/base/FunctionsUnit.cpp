#include "FunctionsUnit.h"

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

static int hexPair(const QString &hex, qsizetype i)
{
    const int hi = hexDigitValue(hex[2 * i]);
    const int lo = hexDigitValue(hex[2 * i + 1]);
    return (hi < 0 || lo < 0) ? -1 : hi * 16 + lo;
}

QByteArray HexToBytes(const QString &hex)
{
    const qsizetype n = hex.size() / 2;
    QByteArray bytes(n, '\0');
    for (qsizetype i = 0; i < n; ++i) {
        const int v = hexPair(hex, i);
        if (v < 0)
            throw HexError(QStringLiteral("\"%1\" is not a valid hexadecimal byte (position %2)")
                               .arg(hex.mid(2 * i, 2))
                               .arg(2 * i + 1)
                               .toStdString());
        bytes[i] = static_cast<char>(v);
    }
    return bytes;
}

QByteArray HexToAnsiBytes(const QString &hex)
{
    const qsizetype n = hex.size() / 2;
    QByteArray bytes(n, '\0');
    for (qsizetype i = 0; i < n; ++i) {
        const int v = hexPair(hex, i);
        if (v < 0)
            break;
        bytes[i] = static_cast<char>(v);
    }
    return bytes;
}

std::uint8_t XorChecksum(const QString &hex, int n)
{
    const QByteArray bytes = HexToBytes(hex.left(2 * qMax(n, 0)));
    std::uint8_t sum = 0;
    for (char b : bytes)
        sum ^= static_cast<std::uint8_t>(b);
    return sum;
}

QString ResourceNameOf(const QString &name)
{
    QString r = name;
    r.replace(QLatin1Char(' '), QLatin1Char('_'));
    r.replace(QLatin1Char('-'), QLatin1Char('_'));
    r.replace(QLatin1Char('+'), QLatin1String("plus"));
    r.replace(QLatin1Char('X'), QLatin1String("mult"), Qt::CaseSensitive);
    return r;
}
