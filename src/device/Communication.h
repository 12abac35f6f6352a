#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class Clock;
class ConsoleModel;
class D2XXUnit;
struct AppState;

// How the request answer is decoded: decimal numbers, each ended by CR (an
// LF starts the next line). A line of one to three digits gives its value
// modulo 256; an empty line, a line of four or more digits, or a line holding
// any byte other than a digit repeats the previous value (0 at the start),
// so every line ended by CR keeps its position. Bytes after the last CR give
// nothing.
struct ParsedAnswer {
    std::vector<std::uint8_t> numbers;
    int malformedLines = 0; // lines with bytes other than digits
};
ParsedAnswer ParseResponseNumbers(const QByteArray &bytes);

// Writing messages and collecting the pedal's answers.
class Communication {
public:
    Communication(D2XXUnit &usb, ConsoleModel &console, Clock &clock, AppState &state);

    // Converts the hex text into the transmit buffer (up to n pairs,
    // stopping at the first pair that is not hex) and writes n bytes in one call.
    std::uint32_t SendHexMessage(const QString &hexText, int n);
    // prefix + address (4 hex digits) + value (8 hex digits), logged, sent.
    void WriteToDsp(const QString &prefixHex, std::uint16_t address, std::uint32_t value);

    enum class Outcome {
        Complete,   // the answer holds all its numbers
        Short,      // the line went quiet before the answer was whole
        NoAnswer,   // the device could not be asked (queue query failed)
        Silent,     // nothing arrived within the answer limit
        Quitting,   // the editor is closing
    };
    struct Answer {
        Outcome outcome = Outcome::NoAnswer;
        QByteArray bytes;
        int numbers = 0;
        int malformedLines = 0;
        // The numbers of the last answer that held any (this one's when it
        // did), one byte each.
        QByteArray values;
    };
    // Waits for the request answer, collects every byte of it in order and
    // decodes exactly those bytes (the values are kept only when it holds
    // numbers). Complete at kAnswerNumbers numbers or when the line is quiet.
    Answer ReceiveResponseNumbers();
    // How a reply is framed: the bootloader's single byte (as two hex
    // digits), or text.
    enum class Framing { Text, BootloaderByte };
    // Waits for a reply and returns it as its framing says. Empty when
    // nothing came.
    QString ReceiveReply(int limitMs = 3000, Framing framing = Framing::Text);

    // Waits until bytes are queued. Returns NoAnswer when the queue query
    // fails, Silent after limitMs, Quitting when the editor closes.
    Outcome waitForData(int limitMs);

private:
    // Reads what is queued and appends it; returns the count read.
    std::uint32_t collect(QByteArray &into);

    D2XXUnit &m_usb;
    ConsoleModel &m_console;
    Clock &m_clock;
    AppState &m_state;
    QByteArray m_values; // the last answer's numbers
};

// Held while an exchange waits for its answer: one at a time.
class ExchangeGuard {
public:
    explicit ExchangeGuard(AppState &state);
    ~ExchangeGuard();
    ExchangeGuard(const ExchangeGuard &) = delete;
    ExchangeGuard &operator=(const ExchangeGuard &) = delete;
    bool acquired() const { return m_acquired; }
    // The log line for a refused operation.
    static QString refusedLine(const QString &operation);

private:
    AppState &m_state;
    bool m_acquired;
};
