#include "UpgradeProcedure.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "PedalSession.h"
#include "Services.h"

UpgradeProcedure::UpgradeProcedure(PedalSession &session, Clock &clock, QObject *parent)
    : QObject(parent), m_session(session), m_clock(clock)
{
}

bool UpgradeProcedure::entersByMessage(const QString &firmware)
{
    bool known = false;
    const int version = firmware.toInt(&known);
    return firmware != QLatin1String("0") && known && version >= 9;
}

bool UpgradeProcedure::stopRequested() const
{
    return m_stop || m_session.quitting();
}

namespace {

UpgradeProcedure::Entry entryOf(PedalSession::Greeting greeting)
{
    switch (greeting) {
    case PedalSession::Greeting::Greeted:
        return UpgradeProcedure::Entry::Entered;
    case PedalSession::Greeting::Refused:
        return UpgradeProcedure::Entry::Refused;
    case PedalSession::Greeting::NoAnswer:
    case PedalSession::Greeting::WrongAnswer:
        break;
    }
    return UpgradeProcedure::Entry::NoAnswer;
}

} // namespace

UpgradeProcedure::Entry UpgradeProcedure::enter(const std::function<bool()> &goOn,
                                                const std::function<void()> &entered)
{
    m_stop = false;
    emit stageChanged(Stage::Bypass);
    m_session.setBypass(true);
    if (goOn && !goOn())
        return Entry::Declined;
    if (stopRequested())
        return Entry::Stopped;
    emit stageChanged(Stage::EnterBootloader);
    return entryOf(m_session.enterBootloader([&] {
        if (entered)
            entered();
        emit stageChanged(Stage::Greeting);
    }));
}

UpgradeProcedure::Entry UpgradeProcedure::greetLegacy()
{
    m_stop = false;
    emit stageChanged(Stage::Greeting);
    return entryOf(m_session.greetLegacyBootloader());
}

void UpgradeProcedure::expectBootloader()
{
    m_session.setFailuresSaid(false);
}

void UpgradeProcedure::begin()
{
    m_stop = false;
    m_session.console().ConsolePrint(QStringLiteral("********************FIRMWARE UPGRADE********************"));
    expectBootloader();
}

UpgradeProcedure::Outcome UpgradeProcedure::write(const QByteArray &image, int version,
                                                  const std::function<bool()> &pollTimerOn)
{
    m_session.setFirmwareImage(image);
    bool erased = false;
    const PedalSession::StepOutcome written = m_session.writeFirmware(
        version,
        [&](int max, int value) {
            if (!erased) {
                erased = true;
                emit stageChanged(Stage::Write);
            }
            emit progress(value, max);
        },
        pollTimerOn,
        [&](PedalSession::WriteStep step) {
            if (step == PedalSession::WriteStep::Erase && !stopRequested()) {
                // From the erase on, the flash is not whole until the version record is written.
                m_flashIncomplete = true;
                emit stageChanged(Stage::Erase);
            } else if (step == PedalSession::WriteStep::VersionRecord) {
                emit stageChanged(Stage::VersionRecord);
            }
            return !stopRequested();
        });
    switch (written) {
    case PedalSession::StepOutcome::Done:
        m_flashIncomplete = false;
        return Outcome::Done;
    case PedalSession::StepOutcome::Refused:
        return Outcome::Refused;
    case PedalSession::StepOutcome::Stopped:
        return Outcome::Stopped;
    case PedalSession::StepOutcome::Failed:
        break;
    }
    return stopRequested() ? Outcome::Stopped : Outcome::Failed;
}

UpgradeProcedure::Outcome UpgradeProcedure::finish(const std::function<void()> &told)
{
    m_clock.pause(10);
    if (told)
        told();
    return start();
}

UpgradeProcedure::Outcome UpgradeProcedure::start()
{
    if (m_flashIncomplete)
        return Outcome::Refused;
    emit stageChanged(Stage::Go);
    switch (m_session.startFirmware()) {
    case PedalSession::StepOutcome::Done:
        return Outcome::Done;
    case PedalSession::StepOutcome::Refused:
        return Outcome::Refused;
    case PedalSession::StepOutcome::Failed:
    case PedalSession::StepOutcome::Stopped:
        break;
    }
    return Outcome::Failed;
}

bool UpgradeProcedure::confirmRestart(const std::function<bool(bool quiet)> &request)
{
    emit stageChanged(Stage::Restart);
    if (request(true))
        return true;
    if (m_session.quitting())
        return false;
    m_clock.pause(500);
    return request(false);
}

void UpgradeProcedure::abandon()
{
    m_session.setFailuresSaid(true);
}

QString UpgradeProcedure::failureText() const
{
    return m_session.failureText();
}

UpgradeProcedure::Result UpgradeProcedure::run(const Plan &plan)
{
    m_stop = false;
    Result result;
    result.viaLegacy = plan.legacy;
    if (!plan.legacy) {
        emit stageChanged(Stage::VersionGate);
        const PedalSession::RequestReply reply = m_session.request();
        m_session.endRequest();
        if (reply.outcome == PedalSession::RequestOutcome::Quitting) {
            result.entry = Entry::Stopped;
            return result;
        }
        if (reply.outcome == PedalSession::RequestOutcome::Answered) {
            result.firmwareBefore = reply.snapshot.identity.firmware;
            if (plan.firmwareKnown)
                plan.firmwareKnown(result.firmwareBefore);
            if (!entersByMessage(QString::number(result.firmwareBefore))) {
                result.entry = Entry::FirmwareTooOld;
                return result;
            }
            result.entry = enter(plan.holdShift);
            if (result.entry != Entry::Entered)
                return result;
            if (plan.releaseShift)
                plan.releaseShift();
        } else {
            result.viaLegacy = true;
            if (plan.notApplication)
                plan.notApplication();
        }
    }
    if (result.viaLegacy) {
        const Entry greeted = greetLegacy();
        if (greeted != Entry::Entered) {
            result.entry = greeted;
            return result;
        }
        result.entry = Entry::Entered;
        // Nothing tells which firmware this pedal runs, or whether it is the
        // pedal meant: the player says so before its flash is erased.
        result.step = Result::Step::Confirm;
        if (plan.confirmErase && !plan.confirmErase())
            return result;
    }
    m_session.setBootloaderLinked();
    if (stopRequested()) {
        result.step = Result::Step::Entry;
        result.entry = Entry::Stopped;
        return result;
    }

    result.step = Result::Step::Write;
    begin();
    m_session.console().ConsolePrint(QStringLiteral("Firmware num of bytes: ") + QString::number(plan.image.size()));
    result.outcome = write(plan.image, plan.version);
    if (result.outcome != Outcome::Done)
        return result;

    result.step = Result::Step::Start;
    result.outcome = finish(plan.told);
    if (result.outcome != Outcome::Done)
        return result;
    m_session.leaveUpgradeMode();

    result.step = Result::Step::Restart;
    confirmRestart([&](bool) {
        const PedalSession::RequestReply reply = m_session.request();
        m_session.endRequest();
        if (reply.outcome == PedalSession::RequestOutcome::Answered)
            result.firmwareAfter = reply.snapshot.identity.firmware;
        return reply.outcome == PedalSession::RequestOutcome::Answered;
    });
    if (result.firmwareAfter == plan.version)
        result.step = Result::Step::Done;
    return result;
}
