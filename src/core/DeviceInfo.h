#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

// The pedal's identity from the request answer: firmware number, and the
// algorithm and effect numbers, which the pedal writes as bytes whose hex
// digits read as decimal (0x00 0x15 is algorithm 15, 0x12 effect 12).
struct DeviceIdentity {
    int firmware = 0;
    QString algorithmDigits; // four upper-case hex digits
    QString effectDigits;    // two upper-case hex digits
    std::optional<int> algorithm; // empty when the digits are not decimal
    std::optional<int> effect;
};
DeviceIdentity decodeIdentity(const QByteArray &response);

// Collects the EEPROM dump the pedal sends on its own (a marker byte, then
// the memory) across as many reads as it takes.
class DumpCollector {
public:
    enum class State { Idle, Collecting, Complete, Incomplete, Missing };

    // Bytes of one read. A read that starts with the marker while idle
    // starts a dump; other data while idle is not a dump (Idle returned).
    State feed(const QByteArray &bytes, qint64 nowMs);
    // Called on reads that brought nothing: a dump quiet for too long is
    // reported as Incomplete (once); an expected dump that has not begun in
    // time as Missing (once).
    State idleTick(qint64 nowMs);
    // A read was asked for at nowMs: its dump should begin soon.
    void expect(qint64 nowMs) { m_expectedSince = nowMs; }
    void forgetExpected() { m_expectedSince = -1; }
    bool collecting() const { return m_collecting; }
    // The memory bytes (without the marker) of the last complete or
    // incomplete dump.
    const QByteArray &memory() const { return m_memory; }
    static bool isEmpty(const QByteArray &memory);

private:
    bool m_collecting = false;
    QByteArray m_memory;
    qint64 m_lastByte = 0;
    qint64 m_expectedSince = -1;
};
