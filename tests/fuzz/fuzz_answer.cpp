// The state report as the pedal's bytes: decoding, identity, the EEPROM dump.
#include "Communication.h"
#include "DeviceInfo.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const ParsedAnswer parsed = ParseResponseNumbers(bytes);
    (void)parsed;
    (void)decodeIdentity(bytes);

    DumpCollector dump;
    qint64 now = 0;
    for (const QByteArray &piece : pieces(data, size)) {
        now += piece.size() * 7;
        if (piece.isEmpty())
            (void)dump.idleTick(now);
        else
            (void)dump.feed(piece, now);
    }
    (void)DumpCollector::isEmpty(dump.memory());
    return 0;
}
