// Version texts from the maker's server, and a downloaded updater's
// version record.
#include "Versions.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype cut = size > 0 ? data[0] % (bytes.size() + 1) : 0;
    const QString a = QString::fromUtf8(bytes.left(cut));
    const QString b = QString::fromUtf8(bytes.mid(cut));
    (void)Versions::isDottedNumber(a);
    const auto ab = Versions::compare(a, b);
    const auto ba = Versions::compare(b, a);
    if (ab.has_value() != ba.has_value() || (ab && *ab != -*ba && !(*ab == 0 && *ba == 0)))
        __builtin_trap(); // the order must be antisymmetric
    (void)Versions::fileVersionFromBytes(bytes);
    (void)Versions::statusText(size > 1 ? data[1] * 3 : 0, a);
    return 0;
}
