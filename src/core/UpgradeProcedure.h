#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class Clock;
class PedalSession;

// The firmware upgrade, the one way the editor and tharnvik-cli do it: the
// version gate, bypass on, the enter-bootloader message or the legacy
// greeting, the erase, every chunk, the version record, Go, the restart and
// the REQUEST that shows the new firmware.
//
// The steps are separate calls because a player stands between them (holds
// SHIFT, chooses an image); run() chains them for a caller that has all its
// answers up front. Nothing here asks a question: a caller's prompt is a
// function it hands in. A stop request is honoured at the next step boundary
// (before the erase, between chunks, before the version record) and never
// leads to Go: a partial image is never started.
class UpgradeProcedure : public QObject {
    Q_OBJECT
public:
    enum class Stage { VersionGate, Bypass, EnterBootloader, Greeting, Erase, Write, VersionRecord, Go, Restart };
    Q_ENUM(Stage)

    enum class Entry {
        Entered,        // the bootloader answered: an image may be written
        FirmwareTooOld, // this firmware cannot be told to enter its bootloader
        Declined,       // the player did not go on (bypass is on, nothing more was sent)
        NoAnswer,       // the greeting brought nothing, or a byte that is neither ACK nor NOT ACK
        Refused,        // another exchange waits for its answer (one console line says so)
        Stopped,        // a stop request, or the program is closing
    };
    enum class Outcome { Done, Refused, Failed, Stopped };

    UpgradeProcedure(PedalSession &session, Clock &clock, QObject *parent = nullptr);

    // Firmware 9 and later enter their bootloader on a message; an older or
    // unknown one ("0", not a number) needs SHIFT held at power-on.
    static bool entersByMessage(const QString &firmware);

    // The current path: bypass on, then `goOn` (the player holds SHIFT; false
    // ends here), then the enter message, the pause, upgrade mode, `entered`
    // and the greeting.
    Entry enter(const std::function<bool()> &goOn, const std::function<void()> &entered = {});
    // The legacy path, for a pedal already in its bootloader.
    Entry greetLegacy();

    // The bootloader's silences are expected from here: the bridge's failures
    // are not said as errors until the application runs again.
    void expectBootloader();
    // The header line of an upgrade, and expectBootloader(); an earlier stop
    // request is forgotten.
    void begin();
    // Erase, every chunk, the version record (`image` checked by the caller
    // with FirmwareImage::check). progress() is emitted before each chunk.
    // After Failed or Stopped, failureText() says where; nothing more was
    // sent and the flash stays incomplete.
    Outcome write(const QByteArray &image, int version, const std::function<bool()> &pollTimerOn = {});
    // After a whole write: the pause the bootloader needs, `told` (the player
    // learns that the pedal restarts), then start().
    Outcome finish(const std::function<void()> &told = {});
    // Go; refused while the flash is incomplete. On Done the line is back at
    // the application's settings.
    Outcome start();
    // The REQUEST after the restart, by the caller's `request` (quiet first):
    // the firmware may still be starting, so one more try a moment later.
    bool confirmRestart(const std::function<bool(bool quiet)> &request);
    // The upgrade was left with the flash incomplete (the window closed, the
    // program stops): the bridge's failures are said again.
    void abandon();

    // Erased and not completely written since.
    bool flashIncomplete() const { return m_flashIncomplete; }
    QString failureText() const;

    // May be called from any thread (a signal handler's helper included).
    void requestStop() { m_stop = true; }
    bool stopRequested() const;

    // Everything at once, for a caller with its answers up front.
    struct Plan {
        QByteArray image;
        int version = 0;
        bool legacy = false; // greet a pedal already in its bootloader
        std::function<bool()> holdShift;      // current path: the player holds SHIFT (false: stop)
        std::function<void()> releaseShift;   // current path: greeted, the player may let go
        std::function<void()> notApplication; // no answer to the REQUEST: the bootloader is greeted next
        std::function<bool()> confirmErase;   // the bootloader answered without a REQUEST first
        std::function<void()> told;           // the write is whole: the pedal restarts
        std::function<void(int firmware)> firmwareKnown; // the REQUEST before told which firmware runs
    };
    struct Result {
        enum class Step { Entry, Confirm, Write, Start, Restart, Done };
        Step step = Step::Entry;  // where it ended
        Entry entry = Entry::Entered;
        Outcome outcome = Outcome::Done;
        int firmwareBefore = -1; // -1: not known (legacy path)
        bool viaLegacy = false;
        int firmwareAfter = -1;  // the REQUEST after the restart, -1 when none answered
    };
    Result run(const Plan &plan);

signals:
    void stageChanged(UpgradeProcedure::Stage stage);
    // Chunks written of the image's chunks.
    void progress(int done, int total);

private:
    PedalSession &m_session;
    Clock &m_clock;
    std::atomic<bool> m_stop{false};
    bool m_flashIncomplete = false;
};
