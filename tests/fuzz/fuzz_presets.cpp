// Preset files as the library judges them, against the loader's reading of
// the same bytes: a file the library offers must load twenty values, and
// the first bytes the library looks at must judge it as the whole file does.
#include "PresetLibrary.h"
#include "Presets.h"

#include <cstddef>
#include <cstdint>

namespace {

bool eightHexDigits(const QString &field)
{
    if (field.size() != 8)
        return false;
    for (QChar c : field) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
              || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString problem = Presets::problemOf(bytes);
    if (Presets::problemOf(bytes.left(Presets::kCheckedPrefix)).isEmpty() != problem.isEmpty())
        __builtin_trap();
    const QString text = Presets::presetTextOf(bytes);
    if (problem.isEmpty()) {
        for (int k = 0; k < Presets::kLines; ++k) {
            const QString field = Presets::fieldOf(text, k);
            if (!eightHexDigits(field))
                __builtin_trap();
            (void)Presets::applyField(field, 0);
        }
    }
    (void)Presets::nameProblem(QString::fromUtf8(bytes));
    return 0;
}
