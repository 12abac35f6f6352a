#pragma once

#include "BootloaderProtocol.h"
#include "AppState.h"
#include "DeviceInfo.h"
#include "PedalMessage.h"
#include "PedalSnapshot.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Clock;
class Communication;
class EffectParameterSet;
class ExchangeGuard;
class UpgradeProcedure;
class ConsoleModel;
class D2XXUnit;
struct AppState;

// The pedal as the editor and tharnvik-cli use it: the bridges, the link,
// the REQUEST and the messages, over the one transport. It narrates what it
// does on the console as the editor always has, reports outcomes as return
// values and signals, and never asks a question: a caller asks first, then
// calls.
class PedalSession : public QObject {
    Q_OBJECT
public:
    PedalSession(D2XXUnit &usb, Communication &comm, ConsoleModel &console, Clock &clock, AppState &state);
    ~PedalSession() override;

    LinkState linkState() const;

    struct Bridge {
        QString serial;
        QString description;
        QString driver; // which driver sees it
        bool serialRead = false;      // the bridge told its serial number
        bool descriptionRead = false; // and its description
    };
    // Every bridge the drivers see, in their order (empty when counting fails).
    std::vector<Bridge> bridges();

    struct Opened {
        bool ok = false;
        QString advice; // why not, when the player can do something about it
    };
    // Closes the bridge the session holds, if any (as close() does), then
    // opens the bridge with that serial number and sets the line the
    // application firmware uses, narrating as a link does. The bridge's
    // latency timer is then lowered to kLinkLatencyMs (one console line says
    // what it uses now, or what it stays at and how to lower it).
    Opened open(const QString &serial);
    // Puts back the latency timer the bridge had before the link, then closes.
    // True when the bridge closed without an error.
    bool close();
    // Every answer waits up to the latency timer in the bridge; nothing on
    // the pedal's side needs the default 16 ms.
    static constexpr std::uint8_t kLinkLatencyMs = 1;

    enum class RequestOutcome {
        Answered, // all 107 numbers, none garbled
        Silent,   // nothing came
        Short,    // the line went quiet before the answer was whole
        Garbled,  // a line held bytes other than digits
        Refused,  // another exchange waits for its answer
        Quitting, // the program is closing
    };
    struct RequestReply {
        RequestOutcome outcome = RequestOutcome::Silent;
        int numbers = 0;
        PedalSnapshot snapshot; // decoded when Answered
    };
    // The REQUEST (02 00, the pause, the answer), under the exchange guard.
    // The request stays running (RequestInProgress: the effect's controls
    // send nothing while they are moved to the answer) until endRequest(): a
    // caller renders the answer first.
    RequestReply request();
    void endRequest();
    // Where the REQUEST stands: none; running (asked, or its answer being
    // shown); held, when it ended at a check that sends the player to a
    // firmware or algorithm upgrade: the poll stays off and the controls
    // send nothing until the next REQUEST.
    enum class RequestState { Idle, Running, HeldForUpgrade };
    RequestState requestState() const { return m_requestState; }
    void holdForUpgrade();
    // Ends, when it goes, the REQUEST that `reply` answered, on every path
    // that did not hold it for an upgrade (a refused REQUEST started
    // nothing; a program that is closing leaves everything as it is).
    class RequestScope {
    public:
        RequestScope(PedalSession &session, const RequestReply &reply);
        ~RequestScope();
        RequestScope(const RequestScope &) = delete;
        RequestScope &operator=(const RequestScope &) = delete;

    private:
        PedalSession &m_session;
        bool m_started;
    };

    // One message, whole, in one write, the one way every message goes out:
    // the purge before it and the pause after it that its kind asks for
    // (PedalMessage::ruleOf). Bytes the bridge took.
    std::uint32_t send(const PedalMessage &message);
    std::uint32_t send(const QByteArray &bytes) { return send(PedalMessage{bytes}); }
    // 01 AAAA VVVVVVVV, as the effect window writes a parameter.
    std::uint32_t writeParameter(std::uint16_t address, std::uint32_t value);
    // The same, narrated "Send <name> string (<kind> par): <message>".
    void sendParameter(const QString &name, const QString &kind, std::uint16_t address, std::uint32_t value);
    // The same, narrated "write to DSP msg: <message>".
    void writeToDsp(std::uint16_t address, std::uint32_t value);
    // The assignable parameters' defaults as the pedal takes them: nine
    // writes (Limit Range Up, the noise gate threshold and Attack last), 10 ms
    // apart. The noise gate threshold goes out as 0.
    void writeAssignableDefaults(const EffectParameterSet &parameters);
    // The tuning tables: bypass on, the pause the pedal needs, then the data.
    void sendTuningData(const QString &tablesHex);
    // The last write failed while the bridge's failures are not said (during
    // firmware work): the line that says so; empty otherwise.
    QString unsaidWriteFailure() const;

    // One exchange at a time: held while an operation waits for the pedal's
    // answer (or asks the player in the middle of one). When another holds
    // it, nothing is acquired and, for a named operation, the console says
    // that operation was refused.
    // While one is held the session is busy (busyChanged).
    class Exchange {
    public:
        Exchange(std::unique_ptr<ExchangeGuard> guard, PedalSession *session);
        Exchange(Exchange &&other) noexcept;
        ~Exchange();
        explicit operator bool() const;

    private:
        std::unique_ptr<ExchangeGuard> m_guard;
        PedalSession *m_session = nullptr; // set while this one holds it
    };
    [[nodiscard]] Exchange exchange(const QString &operation = {});
    // An exchange waits for the pedal's answer.
    bool busy() const;

    // Before an upload: bypass on, the pause the pedal needs (longer before a
    // file's image), and the bridge's failures said again.
    enum class UploadSource { Catalogue, File };
    void beforeUpload(UploadSource source);

    // --- the poll and the settings memories (EEPROM 50 the settings, 51 the presets)
    // One look at what the pedal sent on its own, quietly: an EEPROM dump is
    // gathered across looks; a broken link is said once per link.
    // Complete, Incomplete and Missing are each returned once; the memory is
    // then in dumpMemory().
    DumpCollector::State poll();
    const QByteArray &dumpMemory() const { return m_dump.memory(); }
    // A read went out: its dump should begin soon.
    void expectEepromDump();
    void forgetExpectedDump() { m_dump.forgetExpected(); }
    // 0B AA 00 0000, narrated; then the pause the pedal needs. False when
    // the bridge did not take the whole message.
    bool eraseEeprom(const QString &i2cAddr);
    // 0C AA 0000 0000, narrated; true when the whole message went out (the
    // dump is then expected).
    bool sendEepromRead(const QString &i2cAddr);
    // The time an EEPROM command is given before anything else goes out.
    void settleEeprom();
    static constexpr int kEepromSettleMs = 4000;
    // The lines the console shows for a dump, and its verdict.
    void logDump(bool complete);
    static QString dumpVerdict(const QByteArray &memory);

    // --- algorithm uploads
    // A catalogue image (the hex text of its first line), converted and
    // written in one call of at most 64 KiB, narrated as the editor does.
    void sendAlgorithmImage(const QString &imageHex);
    // An image file, read whole before anything is sent: the pedal takes 1
    // to 64 KiB in one message (an empty one would leave it waiting, a
    // larger one would be cut short).
    struct AlgorithmFile {
        enum class Problem { None, CannotOpen, CannotRead, WrongSize };
        Problem problem = Problem::None;
        QByteArray bytes;
        qint64 size = 0;     // the file's size
        QString error;       // the system's reason when it cannot be opened or read
        static constexpr int kLargest = 65536;
    };
    static AlgorithmFile readAlgorithmFile(const QString &path);
    // An image file's bytes, written in one call; bytes the bridge took.
    std::uint32_t sendAlgorithmFile(const QByteArray &content);
    // The pedal's answer to an upload: waits for its first byte (without a
    // limit when limitMs < 0), lets the answer gather (17 bytes, or the line
    // quiet), then reads until a read brings nothing; each
    // read's first 17 bytes are the answer's text (Windows-1252), handed to
    // onText. False when the wait ended without an answer (the link broke,
    // the program is closing, the limit passed).
    bool receiveUploadAnswer(bool logReadCounts, const std::function<void(const QString &)> &onText,
                             int limitMs = -1);
    static constexpr int kUploadAnswerChars = 17;

    // --- the firmware upgrade, by either path
    BootloaderProtocol &bootloader() { return *m_bootloader; }
    // How a greeting of the bootloader (0x7F at 8E1) ended.
    enum class Greeting {
        Greeted,     // ACK, or NOT ACK: the bootloader was synchronised already
        NoAnswer,    // nothing came within the limit
        WrongAnswer, // a byte that is neither
        Refused,     // another exchange waits for its answer (one console line says so)
    };
    // The current path, under the exchange guard: the enter-bootloader
    // message (05 00 01 02 03 04 05 06), the pause the pedal needs to restart
    // into its bootloader, upgrade mode on, `entered` (the editor stops its
    // poll there), then the greeting; the console gets the answer.
    Greeting enterBootloader(const std::function<void()> &entered = {});
    // The legacy path, for a pedal already in its bootloader: upgrade mode
    // on, then the greeting under the exchange guard with the longer limit.
    Greeting greetLegacyBootloader();
    static constexpr int kLegacyGreetingLimit = 3000;
    // The image the next write takes (1 to BootloaderProtocol::kMaxImage bytes).
    void setFirmwareImage(const QByteArray &image);
    enum class StepOutcome { Done, Refused, Failed, Stopped };
    // The boundaries of a write, where it may stop.
    enum class WriteStep { Erase, Chunk, VersionRecord };
    // Erase, every chunk, the version record, under the exchange guard.
    // `atStep` is asked before the erase, each chunk and the version record:
    // false stops there (Stopped). After Failed or Stopped, failureText()
    // says where; nothing more was sent.
    StepOutcome writeFirmware(int version, const std::function<void(int max, int value)> &progress,
                              const std::function<bool()> &pollTimerOn = {},
                              const std::function<bool(WriteStep)> &atStep = {});
    // Go, under the exchange guard; on Done the line is back at 8N1 and the
    // bootloader is no longer active.
    StepOutcome startFirmware();
    // "the bootloader answered NOT ACK (1F) to the data of chunk 3 at address 0x08000300"
    QString failureText() const;
    // The pedal answered its bootloader's greeting: the link is to the bootloader.
    void setBootloaderLinked();
    // The application runs again: the line's reply framing is the application's.
    void leaveUpgradeMode();
    // "Upgrade Mode": the line speaks the bootloader's protocol (8E1,
    // one-byte answers); chosen while unlinked it waits for the link.
    void setUpgradeMode(bool on);
    // The line settings the application firmware uses, for the next link.
    void useApplicationLine();
    // Upgrade mode left without an upgrade: the application's line settings again.
    void cancelUpgradeMode();
    // What the drivers left out of the last listing, and why.
    QStringList listingNotes() const;
    // Whether the bridge the session holds is a virtual pedal's.
    bool onVirtualBridge() const;

    // Bypass on or off (03 01 / 03 00), as the pedal's own switch.
    void setBypass(bool on);
    // Whether a failed call of the bridge is said on the console; off while
    // the bootloader's silences are expected.
    void setFailuresSaid(bool said);
    // The program is closing (or the CLI was interrupted).
    bool quitting() const;
    ConsoleModel &console() { return m_console; }
    // The firmware upgrade, the one way it is done.
    UpgradeProcedure &upgrade() { return *m_upgrade; }

    D2XXUnit &usb() { return m_usb; }
    Communication &comm() { return m_comm; }

signals:
    // The REQUEST is about to go out: the poll must not read its answer.
    void requestStarted();
    // The link changed: opened, closed, to the bootloader, writing an image, back.
    void linkChanged(LinkState link);
    void upgradeModeChanged(bool on);
    // An exchange began waiting for the pedal's answer, or ended.
    void busyChanged(bool busy);

private:
    // The one place the link state is written.
    void setLink(LinkState link);
    void lowerLatency();
    // 0x7F at 8E1; the console gets the label and the answer.
    Greeting greet(int limitMs, const QString &answerLabel);
    void restoreLatency();

    D2XXUnit &m_usb;
    Communication &m_comm;
    ConsoleModel &m_console;
    Clock &m_clock;
    AppState &m_state;
    std::unique_ptr<BootloaderProtocol> m_bootloader;
    std::unique_ptr<UpgradeProcedure> m_upgrade;
    DumpCollector m_dump;
    bool m_open = false;       // a bridge was opened and not closed since
    bool m_pollFailed = false; // the poll found the link broken and said so
    std::optional<std::uint8_t> m_latencyBefore; // to put back at close, when the link changed it
    RequestState m_requestState = RequestState::Idle;
};
