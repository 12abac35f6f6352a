// Decoding a full request answer: the number parser and the identity decode.
#include "Communication.h"
#include "DeviceInfo.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <cstdio>

int main()
{
    QByteArray answer;
    for (int i = 0; i < 107; ++i)
        answer += QByteArray::number((i * 37) % 256) + "\r\n";
    constexpr int rounds = 20000;
    volatile int sink = 0;
    QElapsedTimer t;
    t.start();
    for (int r = 0; r < rounds; ++r) {
        const ParsedAnswer parsed = ParseResponseNumbers(answer);
        const QByteArray bytes(reinterpret_cast<const char *>(parsed.numbers.data()),
                               static_cast<qsizetype>(parsed.numbers.size()));
        sink = sink + decodeIdentity(bytes).firmware;
    }
    const double us = t.nsecsElapsed() / 1e3 / rounds;
    std::printf("%-44s %10s %10s %8s\n", "decode figure", "measured", "target", "ratio");
    std::printf("%-44s %7.2f us %7.0f us %8.3f\n", "full answer (107 numbers) decoded", us, 100.0, us / 100.0);
    return 0;
}
