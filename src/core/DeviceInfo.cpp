#include "DeviceInfo.h"

#include "PedalContract.h"

static std::optional<int> decimalOf(const QString &digits)
{
    for (QChar c : digits) {
        if (!c.isDigit())
            return std::nullopt;
    }
    return digits.toInt();
}

static QString hex2(std::uint8_t b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

DeviceIdentity decodeIdentity(const QByteArray &response)
{
    DeviceIdentity id;
    auto at = [&](int i) { return i < response.size() ? static_cast<std::uint8_t>(response[i]) : std::uint8_t(0); };
    id.firmware = at(pedal::pos::Firmware);
    id.algorithmDigits = hex2(at(pedal::pos::AlgorithmHigh)) + hex2(at(pedal::pos::AlgorithmLow));
    id.effectDigits = hex2(at(pedal::pos::Effect));
    id.algorithm = decimalOf(id.algorithmDigits);
    id.effect = decimalOf(id.effectDigits);
    return id;
}

DumpCollector::State DumpCollector::feed(const QByteArray &bytes, qint64 nowMs)
{
    if (bytes.isEmpty())
        return idleTick(nowMs);
    if (!m_collecting) {
        if (static_cast<std::uint8_t>(bytes[0]) != pedal::kDumpMarker)
            return State::Idle;
        m_collecting = true;
        m_expectedSince = -1;
        m_memory = bytes.mid(1);
    } else {
        m_memory += bytes;
    }
    m_lastByte = nowMs;
    if (m_memory.size() >= pedal::kDumpBytes) {
        m_memory.truncate(pedal::kDumpBytes);
        m_collecting = false;
        return State::Complete;
    }
    return State::Collecting;
}

DumpCollector::State DumpCollector::idleTick(qint64 nowMs)
{
    if (!m_collecting) {
        if (m_expectedSince >= 0 && nowMs - m_expectedSince >= pedal::kDumpStartLimit) {
            m_expectedSince = -1;
            m_memory.clear();
            return State::Missing;
        }
        return State::Idle;
    }
    if (nowMs - m_lastByte >= pedal::kDumpStall) {
        m_collecting = false;
        return State::Incomplete;
    }
    return State::Collecting;
}

bool DumpCollector::isEmpty(const QByteArray &memory)
{
    if (memory.size() < pedal::kDumpBytes)
        return false;
    for (char c : memory) {
        if (static_cast<std::uint8_t>(c) != 0xFF)
            return false;
    }
    return true;
}
