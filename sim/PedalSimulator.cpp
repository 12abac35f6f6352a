#include "PedalSimulator.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sim {

namespace {

std::uint32_t be32(const std::vector<std::uint8_t> &m, std::size_t at)
{
    return (std::uint32_t(m[at]) << 24) | (std::uint32_t(m[at + 1]) << 16) | (std::uint32_t(m[at + 2]) << 8) |
           m[at + 3];
}

std::uint16_t be16(const std::vector<std::uint8_t> &m, std::size_t at)
{
    return static_cast<std::uint16_t>((m[at] << 8) | m[at + 1]);
}

std::string hex(const std::vector<std::uint8_t> &bytes, std::size_t limit = 16)
{
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        out += buf;
    }
    if (bytes.size() > limit)
        out += "...";
    return out;
}

std::string format(const char *fmt, unsigned a, unsigned b = 0)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

// What a pedal fresh from the factory holds: plausible made-up values.
constexpr std::array<std::uint32_t, kParameterCount> kFactoryParameters = {
    0x600000, 0x400000, 0x700000, 0x200000, 0x400000, 12, 4, 0, 0, 11,
    0x800000, 0x400000, 0, 0, 0, 0, 0, 0, 0, 0x8000,
};

std::vector<std::uint8_t> factoryEeprom(std::size_t used, std::uint8_t seed)
{
    std::vector<std::uint8_t> e(kEepromBytes, 0xFF);
    std::uint8_t x = seed;
    for (std::size_t i = 0; i < used; ++i) {
        x = static_cast<std::uint8_t>(x * 29 + 17);
        e[i] = static_cast<std::uint8_t>(x == 0xFF ? 0x00 : x);
    }
    return e;
}

} // namespace

PedalSimulator::PedalSimulator(Config config) : m_config(std::move(config))
{
    m_state.firmware = m_config.firmware;
    m_state.effectCode = static_cast<std::uint8_t>(AlgorithmImage::reportedCode(m_config.effect % 100));
    m_state.algorithmCode = AlgorithmImage::reportedCode(m_config.algorithm);
    if (auto carried = AlgorithmImage::loadCarried(m_config.payloadDir, m_config.algorithm)) {
        m_state.image = std::move(*carried);
    } else {
        m_state.image = AlgorithmImage::builtIn(m_config.algorithm);
        note(format("no carried image for algorithm %u: using made-up addresses", unsigned(m_config.algorithm)));
    }
    m_state.parameters = kFactoryParameters;
    std::copy(kFactoryParameters.begin() + kFirstAssignable, kFactoryParameters.end(),
              m_state.storedAssignable.begin());
    // The settings memory holds what the factory stored; the presets memory
    // some made-up presets.
    m_state.eeprom[0].assign(kEepromBytes, 0xFF);
    for (std::uint8_t command : {cmd::Tuning, cmd::StoreBypass, cmd::InstrumentRange, cmd::MidiChannel,
                                 cmd::PowerOnPreset, cmd::Footswitch, cmd::Assign, cmd::StoreSettings})
        keep(command);
    m_state.eeprom[1] = factoryEeprom(640, 0x51);

    LineTiming timing;
    timing.paced = m_config.paced;
    timing.bitsPerByte = kAppBitsPerByte;
    timing.baud = kBaud;
    m_input.setTiming(timing);
    m_output.setTiming(timing);
    m_output.setLatencyMs(m_config.bridgeLatencyMs);

    m_bootloader = std::make_unique<Stm32Bootloader>(m_config.faults);
    if (m_config.startInBootloader)
        enterBootloaderMode();
}

PedalSimulator::~PedalSimulator() = default;

void PedalSimulator::setBootloader(std::unique_ptr<Bootloader> bootloader)
{
    if (bootloader)
        m_bootloader = std::move(bootloader);
}

Stm32Bootloader *PedalSimulator::flashBootloader()
{
    return dynamic_cast<Stm32Bootloader *>(m_bootloader.get());
}

void PedalSimulator::setFaults(const Faults &faults)
{
    m_config.faults = faults;
    if (Stm32Bootloader *flash = flashBootloader())
        flash->setFaults(faults);
}

void PedalSimulator::receive(const std::vector<std::uint8_t> &bytes, std::int64_t nowMs)
{
    receive(bytes.data(), bytes.size(), nowMs);
}

void PedalSimulator::receive(const std::uint8_t *data, std::size_t size, std::int64_t nowMs)
{
    receiveAtUs(data, size, nowMs * 1000);
}

void PedalSimulator::receiveAtUs(const std::uint8_t *data, std::size_t size, std::int64_t nowUs)
{
    std::vector<std::uint8_t> forBootloader;
    std::int64_t lastArrival = nowUs;
    auto recordBootloaderBytes = [&] {
        if (!forBootloader.empty())
            record(ReceivedMessage::Kind::Bootloader, lastArrival, std::exchange(forBootloader, {}));
    };
    bool notedStarting = false;

    for (std::size_t i = 0; i < size && !m_hungUp; ++i) {
        lastArrival = m_input.arrive(nowUs);
        m_lastUs = std::max(m_lastUs, lastArrival);
        ++m_bytesReceived;
        if (m_inBootloader) {
            forBootloader.push_back(data[i]);
            for (auto &reply : m_bootloader->receive(&data[i], 1, lastArrival))
                answer(reply.bytes, reply.atUs);
            for (auto &text : m_bootloader->takeNotes())
                note(std::move(text));
            if (m_bootloader->hangUpRequested()) {
                recordBootloaderBytes();
                m_hungUp = true;
                m_output.clear();
                note(format("hang-up: line dropped by the bootloader after %u bytes", unsigned(m_bytesReceived)));
                break;
            }
            if (m_bootloader->applicationStarted()) {
                recordBootloaderBytes();
                leaveBootloaderMode();
            }
        } else if (lastArrival < m_applicationReadyUs) {
            // The application is still starting up: its UART is not read yet.
            if (!notedStarting)
                note(format("application starting: byte 0x%02X lost", data[i]));
            notedStarting = true;
        } else {
            takeByte(data[i], lastArrival);
        }
        if (m_config.faults.hangUpAfter > 0 && m_bytesReceived >= m_config.faults.hangUpAfter) {
            recordBootloaderBytes();
            m_hungUp = true;
            m_output.clear();
            note(format("hang-up: line dropped after %u bytes", unsigned(m_bytesReceived)));
        }
    }
    recordBootloaderBytes();
}

std::vector<std::uint8_t> PedalSimulator::takeOutput(std::int64_t nowMs)
{
    return takeOutputAtUs(nowMs * 1000);
}

std::vector<std::uint8_t> PedalSimulator::takeOutputAtUs(std::int64_t nowUs)
{
    if (m_hungUp)
        return {};
    expireQuietMessage(nowUs);
    return m_output.take(nowUs);
}

std::int64_t PedalSimulator::nextOutputTime() const
{
    const std::int64_t us = nextOutputTimeUs();
    return us == kNoOutput ? kNoOutput : (us + 999) / 1000;
}

std::int64_t PedalSimulator::nextOutputTimeUs() const
{
    if (m_hungUp)
        return kNoOutput;
    std::int64_t us = m_output.nextReadyUs();
    if (m_framing != Framing::Idle)
        us = std::min(us, m_lastArrivalUs + kQuietResetMs * 1000);
    return us == kNever ? kNoOutput : us;
}

void PedalSimulator::takeByte(std::uint8_t byte, std::int64_t arrivalUs)
{
    expireQuietMessage(arrivalUs);
    m_lastArrivalUs = arrivalUs;
    switch (m_framing) {
    case Framing::Idle:
        if (byte == cmd::ImageStart) {
            // No command has code 0: a message starting with 0 is an algorithm
            // image, whose 24-bit length begins with a zero byte (images are
            // far below 64 KiB).
            m_pending.assign(1, byte);
            m_framing = Framing::ImageLength;
        } else if (const std::size_t length = commandLength(byte); length > 0) {
            m_pending.assign(1, byte);
            m_expected = length;
            m_framing = Framing::Command;
        } else {
            note(format("unknown command code 0x%02X skipped", byte));
            record(ReceivedMessage::Kind::Unknown, arrivalUs, {byte});
        }
        break;
    case Framing::Command:
        m_pending.push_back(byte);
        if (m_pending.size() == m_expected)
            finishCommand(arrivalUs);
        break;
    case Framing::ImageLength:
        m_pending.push_back(byte);
        if (m_pending.size() == kImageLengthBytes) {
            m_expected = AlgorithmImage(m_pending).lengthField();
            if (m_expected < kImageHeaderBytes) {
                note(format("algorithm image with impossible length %u: bytes dropped until the line is quiet",
                            unsigned(m_expected)));
                m_framing = Framing::Discard;
            } else {
                m_framing = Framing::Image;
            }
        }
        break;
    case Framing::Image:
        m_pending.push_back(byte);
        if (m_pending.size() == m_expected)
            finishImage(arrivalUs);
        break;
    case Framing::Discard:
        m_pending.push_back(byte);
        break;
    }
}

void PedalSimulator::expireQuietMessage(std::int64_t nowUs)
{
    if (m_framing == Framing::Idle)
        return;
    const std::int64_t deadline = m_lastArrivalUs + kQuietResetMs * 1000;
    if (nowUs < deadline)
        return;
    const Framing framing = m_framing;
    m_framing = Framing::Idle;
    auto bytes = std::move(m_pending);
    m_pending.clear();
    if (framing == Framing::Command) {
        note(format("incomplete message (code 0x%02X, %u bytes) dropped", bytes[0], unsigned(bytes.size())));
        record(ReceivedMessage::Kind::Incomplete, m_lastArrivalUs, std::move(bytes));
        return;
    }
    const bool rejected = framing == Framing::Discard;
    note(format(rejected ? "algorithm upload rejected (%u bytes)" : "algorithm image incomplete (%u bytes): dropped",
                unsigned(bytes.size())));
    record(ReceivedMessage::Kind::IncompleteImage, m_lastArrivalUs, std::move(bytes));
    const auto text = rejected ? kUploadRejected : kUploadTimeout;
    answer(std::vector<std::uint8_t>(text.begin(), text.end()), deadline);
}

void PedalSimulator::record(ReceivedMessage::Kind kind, std::int64_t atUs, std::vector<std::uint8_t> bytes)
{
    m_received.push_back({kind, atUs / 1000, std::move(bytes)});
}

void PedalSimulator::note(std::string text)
{
    m_log.push_back(std::move(text));
}

void PedalSimulator::answer(const std::vector<std::uint8_t> &bytes, std::int64_t atUs)
{
    if (bytes.empty() || m_hungUp)
        return;
    if (m_config.faults.silent) {
        note(format("silent: answer of %u bytes not sent", unsigned(bytes.size())));
        return;
    }
    const auto pieces = splitAnswer(bytes, m_config.faults);
    for (std::size_t k = 0; k < pieces.size(); ++k)
        m_output.send(pieces[k], atUs + static_cast<std::int64_t>(k) * m_config.faults.splitGapMs * 1000);
}

void PedalSimulator::finishCommand(std::int64_t atUs)
{
    const std::vector<std::uint8_t> m = std::move(m_pending);
    m_pending.clear();
    m_framing = Framing::Idle;
    record(ReceivedMessage::Kind::Command, atUs, m);

    switch (m[0]) {
    case cmd::Write:
        onWrite(m);
        break;
    case cmd::Request:
        if (m[1] != 0x00)
            note(format("request with second byte 0x%02X (answered all the same)", m[1]));
        answer(encodeReport(report(), m_config.faults), atUs);
        break;
    case cmd::StoreSettings:
        onStoreSettings(m);
        break;
    case cmd::Assign:
        onAssign(m);
        break;
    case cmd::EnterBootloader:
        onEnterBootloader(m, atUs);
        break;
    case cmd::MidiChannel:
        if (m[1] <= 16)
            m_state.midiChannel = m[1];
        else
            note(format("MIDI channel 0x%02X refused", m[1]));
        break;
    case cmd::Footswitch:
        if (m[1] <= 1 && m[2] <= 1)
            m_state.footswitchMode = static_cast<std::uint8_t>(2 * m[1] + m[2]);
        else
            note(format("footswitch codes %02X %02X refused", m[1], m[2]));
        break;
    case cmd::Tuning:
        onTuning(m);
        break;
    case cmd::EraseEeprom:
        onEraseEeprom(m);
        break;
    case cmd::ReadEeprom:
        onReadEeprom(m, atUs);
        break;
    case cmd::Bypass:
        if (m[1] <= 1)
            m_state.bypass = m[1] == 1;
        else
            note(format("bypass code 0x%02X refused", m[1]));
        break;
    case cmd::TuningData:
        m_state.tuningData.assign(m.begin() + 1, m.end());
        break;
    case cmd::InstrumentRange:
        onInstrumentRange(m);
        break;
    case cmd::StoreBypass:
        if (m[1] == 0x01 || m[1] == 0xFF)
            m_state.storeBypass = m[1] == 0x01;
        else
            note(format("store bypass code 0x%02X refused", m[1]));
        break;
    case cmd::PowerOnPreset:
        // One stored option behind both "first preset at power on" and "range limit".
        if (m[1] == 0x01 || m[1] == 0xFF)
            m_state.powerOnPreset = m_state.rangeLimit = m[1] == 0x01;
        else
            note(format("power-on preset code 0x%02X refused", m[1]));
        break;
    default:
        break;
    }
    keep(m[0]);
}

void PedalSimulator::finishImage(std::int64_t atUs)
{
    std::vector<std::uint8_t> bytes = std::move(m_pending);
    m_pending.clear();
    m_framing = Framing::Idle;
    record(ReceivedMessage::Kind::Image, atUs, bytes);
    m_state.image = AlgorithmImage(std::move(bytes));
    m_state.algorithmCode = m_state.image.algorithmCode();
    note(format("algorithm image of %u bytes loaded, reports algorithm %04X", unsigned(m_state.image.bytes().size()),
                m_state.algorithmCode));
    answer(std::vector<std::uint8_t>(kUploadComplete.begin(), kUploadComplete.end()), atUs);
}

std::vector<std::uint8_t> PedalSimulator::report() const
{
    std::vector<std::uint8_t> n(kReportNumbers, 0);
    n[pos::Firmware] = static_cast<std::uint8_t>(m_state.firmware);
    n[pos::AlgorithmHigh] = static_cast<std::uint8_t>(m_state.algorithmCode >> 8);
    n[pos::AlgorithmLow] = static_cast<std::uint8_t>(m_state.algorithmCode);
    n[pos::Effect] = m_state.effectCode;
    n[pos::FootswitchMode] = m_state.footswitchMode;
    n[pos::Tuning] = m_state.tuning;
    n[pos::Semitones] = m_state.semitones;
    for (int c = 0; c < kControlCount; ++c) {
        n[pos::AssignFlags + c] = m_state.assigned[c] ? 1 : 0;
        n[pos::AssignAddresses + 2 * c] = static_cast<std::uint8_t>(m_state.assignedAddress[c] >> 8);
        n[pos::AssignAddresses + 2 * c + 1] = static_cast<std::uint8_t>(m_state.assignedAddress[c]);
    }
    n[pos::Bypass] = m_state.bypass ? 1 : 0;
    n[pos::StoreBypass] = m_state.storeBypass ? 1 : 0;
    n[pos::InstrumentRange] = m_state.instrumentRange;
    n[pos::MidiChannel] = m_state.midiChannel;
    for (int p = 0; p < kParameterCount; ++p)
        for (int b = 0; b < 4; ++b)
            n[pos::Parameters + 4 * p + b] = static_cast<std::uint8_t>(m_state.parameters[p] >> (24 - 8 * b));
    n[pos::PowerOnPreset] = m_state.powerOnPreset ? 1 : 255;
    return n;
}

void PedalSimulator::setParameter(int parameter, std::uint32_t value)
{
    if (const std::uint32_t steps = stepCount(parameter)) {
        // Knob positions arrive as position << 13; the pedal keeps the nearest step.
        const std::uint64_t step = (std::uint64_t(value) * steps + kKnobFullScale / 2) / kKnobFullScale;
        m_state.parameters[parameter] = static_cast<std::uint32_t>(std::min<std::uint64_t>(step, steps));
    } else {
        m_state.parameters[parameter] = value;
    }
}

void PedalSimulator::onWrite(const std::vector<std::uint8_t> &m)
{
    const std::uint16_t address = be16(m, 1);
    const std::uint32_t value = be32(m, 3);
    const auto parameters = m_state.image.parametersAt(address);
    if (parameters.empty())
        note(format("write to unknown address 0x%04X (value 0x%08X) ignored", address, value));
    for (int p : parameters)
        setParameter(p, value);
}

void PedalSimulator::onStoreSettings(const std::vector<std::uint8_t> &m)
{
    for (int i = 0; i < kAssignableCount; ++i) {
        const std::uint32_t value = be32(m, 1 + 4 * static_cast<std::size_t>(i));
        m_state.storedAssignable[i] = value;
        m_state.parameters[kFirstAssignable + i] = value;
    }
}

void PedalSimulator::onAssign(const std::vector<std::uint8_t> &m)
{
    for (int c = 0; c < kControlCount; ++c) {
        const bool assigned = m[1 + c] != 0;
        const std::uint16_t address = be16(m, 6 + 2 * static_cast<std::size_t>(c));
        m_state.assigned[c] = assigned;
        m_state.assignedAddress[c] = address;
        if (!assigned)
            continue;
        if (c == kControlCount - 1) {
            if (address != 0xFFFE && address != 0xFFFD)
                note(format("remote footswitch given unknown code 0x%04X", address));
            continue;
        }
        const auto parameters = m_state.image.parametersAt(address);
        const bool assignable = std::any_of(parameters.begin(), parameters.end(),
                                            [](int p) { return p >= kFirstAssignable; });
        if (!assignable)
            note(format("control %u given address 0x%04X, which holds no assignable parameter", unsigned(c + 1),
                        address));
    }
}

void PedalSimulator::onEnterBootloader(const std::vector<std::uint8_t> &m, std::int64_t)
{
    if (!std::equal(m.begin(), m.end(), std::begin(kEnterBootloaderKey))) {
        note("enter-bootloader message with wrong key bytes " + hex(m) + " ignored");
        return;
    }
    if (!m_config.shiftHeld) {
        note("enter-bootloader message while SHIFT is not held: the application keeps running");
        return;
    }
    m_state.enteredBootloader = true;
    note("bootloader started");
    enterBootloaderMode();
}

void PedalSimulator::onTuning(const std::vector<std::uint8_t> &m)
{
    // Code 0x09 is the tuning: an index and a semitone code, kept as they
    // come. The editor's note filter message has the same code and shape, so
    // its two note numbers land here too and replace the tuning.
    const std::uint8_t index = m[1], semitones = m[2];
    m_state.tuning = index;
    m_state.semitones = semitones;
    const bool knownSemitones = semitones >= 0xFB || semitones <= 0x03;
    if (index > 8 || !knownSemitones)
        note(format("tuning bytes %02X %02X kept, though no tuning has them", index, semitones));
}

std::vector<std::uint8_t> *PedalSimulator::eepromAt(std::uint8_t i2cAddress)
{
    if (i2cAddress == kEepromSettings)
        return &m_state.eeprom[0];
    if (i2cAddress == kEepromPresets)
        return &m_state.eeprom[1];
    note(format("no EEPROM at I2C address 0x%02X", i2cAddress));
    return nullptr;
}

void PedalSimulator::onEraseEeprom(const std::vector<std::uint8_t> &m)
{
    if (auto *e = eepromAt(m[1])) {
        std::fill(e->begin(), e->end(), 0xFF);
        if (m[1] == kEepromSettings)
            forgetSettings();
    }
}

void PedalSimulator::keepBytes(std::size_t at, const std::vector<std::uint8_t> &bytes)
{
    std::copy(bytes.begin(), bytes.end(), m_state.eeprom[0].begin() + static_cast<std::ptrdiff_t>(at));
}

void PedalSimulator::keep(std::uint8_t command)
{
    const PedalState &s = m_state;
    switch (command) {
    case cmd::Tuning:
        keepBytes(e2p::Tuning, {s.tuning, s.semitones});
        break;
    case cmd::StoreBypass:
        keepBytes(e2p::StoreBypass, {std::uint8_t(s.storeBypass ? 0x01 : 0xFF)});
        break;
    case cmd::InstrumentRange:
        keepBytes(e2p::InstrumentRange, {s.instrumentRange});
        break;
    case cmd::MidiChannel:
        keepBytes(e2p::MidiChannel, {s.midiChannel});
        break;
    case cmd::PowerOnPreset:
        keepBytes(e2p::PowerOnPreset, {std::uint8_t(s.powerOnPreset ? 0x01 : 0xFF)});
        break;
    case cmd::Footswitch:
        keepBytes(e2p::FootswitchMode, {s.footswitchMode});
        break;
    case cmd::Assign: {
        std::vector<std::uint8_t> bytes;
        for (int c = 0; c < kControlCount; ++c)
            bytes.push_back(s.assigned[c] ? 1 : 0);
        for (int c = 0; c < kControlCount; ++c) {
            bytes.push_back(static_cast<std::uint8_t>(s.assignedAddress[c] >> 8));
            bytes.push_back(static_cast<std::uint8_t>(s.assignedAddress[c]));
        }
        keepBytes(e2p::Assignments, bytes);
        break;
    }
    case cmd::StoreSettings: {
        std::vector<std::uint8_t> bytes;
        for (std::uint32_t v : s.storedAssignable)
            for (int b = 0; b < 4; ++b)
                bytes.push_back(static_cast<std::uint8_t>(v >> (24 - 8 * b)));
        keepBytes(e2p::StoredValues, bytes);
        break;
    }
    case cmd::TuningData:
        keepBytes(e2p::TuningData, s.tuningData);
        break;
    default:
        break; // nothing stored
    }
}

void PedalSimulator::forgetSettings()
{
    PedalState &s = m_state;
    s.tuning = 0;
    s.semitones = 0;
    s.storeBypass = false;
    s.instrumentRange = kRangeStandard;
    s.midiChannel = 0;
    s.powerOnPreset = s.rangeLimit = false;
    s.footswitchMode = 0;
    s.assigned.fill(false);
    s.assignedAddress.fill(0xFFFF);
    std::copy(kFactoryParameters.begin() + kFirstAssignable, kFactoryParameters.end(), s.storedAssignable.begin());
    s.tuningData.clear();
    note("settings memory erased: every stored setting is back to the factory one");
}

void PedalSimulator::onReadEeprom(const std::vector<std::uint8_t> &m, std::int64_t atUs)
{
    if (auto *e = eepromAt(m[1])) {
        std::vector<std::uint8_t> dump;
        dump.reserve(1 + e->size());
        dump.push_back(kDumpMarker);
        dump.insert(dump.end(), e->begin(), e->end());
        answer(dump, atUs);
    }
}

void PedalSimulator::onInstrumentRange(const std::vector<std::uint8_t> &m)
{
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < 7; ++i)
        x ^= m[i];
    if (x != m[7]) {
        note(format("instrument range message with bad checksum %02X (expected %02X) ignored", m[7], x));
        return;
    }
    if (m[1] == kRangeStandard || m[1] == kRangeLow)
        m_state.instrumentRange = m[1];
    else
        note(format("instrument range code 0x%02X refused", m[1]));
}

void PedalSimulator::enterBootloaderMode()
{
    m_inBootloader = true;
    m_bootloader->restart(m_lastUs);
    m_framing = Framing::Idle;
    m_pending.clear();
    LineTiming timing = m_output.timing();
    timing.bitsPerByte = kBootloaderBitsPerByte;
    m_input.setTiming(timing);
    m_output.setTiming(timing);
}

void PedalSimulator::leaveBootloaderMode()
{
    m_inBootloader = false;
    m_state.firmware = m_bootloader->applicationFirmware();
    m_applicationReadyUs = m_bootloader->applicationStartUs() + kApplicationStartMs * 1000;
    LineTiming timing = m_output.timing();
    timing.bitsPerByte = kAppBitsPerByte;
    m_input.setTiming(timing);
    m_output.setTiming(timing);
    note("application started");
}

} // namespace sim
