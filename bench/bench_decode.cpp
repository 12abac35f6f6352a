// Decoding a full request answer: the number parser and the identity decode.
#include "BenchTable.h"
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
    tableHeader("decode");
    tableRow("decode: full answer (107 numbers) parsed", fmt("%.2f us", us), "100 us", us / 100.0);
    return 0;
}
