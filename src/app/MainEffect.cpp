// The main window's commands for the effect: assignments, footswitch mode,
// Save Parameters, the defaults, tuning.
#include "main.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "EffectMessages.h"
#include "FXsettings.h"
#include "Guard.h"
#include "PedalSession.h"
#include "KnobControl.h"

#include <QAction>
#include <QPushButton>

void TformMain::connectEffectHandlers()
{
    Dialogs &d = m_ctx.dialogs();
    connectGuarded(btnAssign, &QPushButton::clicked, this, d, [this] { btnAssignClick(); });
    connectGuarded(btnSetFootswitchMode, &QPushButton::clicked, this, d, [this] { btnSetFootswitchModeClick(); });
    connectGuarded(btnSaveParameters, &QPushButton::clicked, this, d, [this] { btnSaveParametersClick(); });
    connectGuarded(btnSaveParametersInfo, &QPushButton::clicked, this, d, [this] { btnSaveParametersInfoClick(); });
    connectGuarded(menuSetAssignableParamsToDefault, &QAction::triggered, this, d,
                   [this] { menuSetAssignableParamsToDefaultClick(); });
    connectGuarded(menuEnableAllParameters, &QAction::triggered, this, d, [this] { OnClickEnableAllParameters(); });
    connectGuarded(btnSetTuning, &QPushButton::clicked, this, d, [this] { btnSetTuningClick(); });
}

void TformMain::btnAssignClick()
{
    TformFXsettings *fx = m_effect;
    m_ctx.console.ConsolePrint(QStringLiteral("********************ASSIGN********************"));
    const QString message = fx->BuildAssignMessage();
    // Converted now; written only on Yes.
    const PedalMessage assignment = PedalMessages::assign(message);
    if (m_ctx.dialogs().question(QStringLiteral("Upload Assignments?")) == Answer::No)
        return;
    btnAssign->setEnabled(false);
    m_ctx.session.send(assignment);
    btnAssign->setEnabled(true);
}

void TformMain::btnSetFootswitchModeClick()
{
    m_ctx.console.ConsolePrint(QStringLiteral("********************SET FOOTSWITCH MODE********************"));
    const QString message = m_effect->BuildFootswitchMessage();
    m_ctx.console.ConsolePrint(message);
    m_ctx.session.send(PedalMessages::footswitch(message));
}

void TformMain::btnSaveParametersClick()
{
    const RequestResult read = RequestDeviceInfo();
    if (read == RequestResult::NoAnswer || read == RequestResult::Refused) {
        // Values never read from the pedal must not be stored in it.
        m_ctx.dialogs().message(QStringLiteral(
            "Save Parameters stopped: the pedal's current values could not be read. Check the link and try again."));
        return;
    }
    ConsoleModel &log = m_ctx.console;
    log.ConsolePrint(QStringLiteral("********************SAVE PARAMETERS********************"));
    const QString message = EffectMessages::storeSettings(m_effect->EffectParameters);
    log.ConsolePrint(QStringLiteral("Store settings message (HEX): ") + message);
    log.ConsolePrint(QStringLiteral("num of bytes to send: ") + QString::number(message.size() / 2));
    const PedalMessage settings = PedalMessages::storeSettings(message);
    if (m_ctx.dialogs().question(QStringLiteral("Save Parameters to pedal?")) == Answer::No)
        return;
    const auto sent = m_ctx.session.send(settings);
    log.ConsolePrint(QStringLiteral("num of bytes sent: ") + QString::number(sent));
}

void TformMain::btnSaveParametersInfoClick()
{
    m_ctx.dialogs().message(QStringList{
        QStringLiteral("Permanently saves the current state of all assignable parameters to the pedal, regardless of whether they are currently assigned."),
        QStringLiteral("Assignable parameters are those not available as physical controls on the pedal (e.g., Input Level, Dominant Notes Cut, etc.)."),
        QStringLiteral("Their saved state is preserved even after firmware or algorithm updates."),
        QStringLiteral("Example: you want to set a new Input Level, adjust the Input Level knob in the editor and then click \u201CSave Parameters.\u201D"),
        QStringLiteral("Save Parameters is not related to presets, in this way saving preset from the pedal will not erase Save Parameters settings."),
        QStringLiteral("Think of Save Parameters as a global preset."),
    }.join(QStringLiteral("\r\n")));
}

void TformMain::menuSetAssignableParamsToDefaultClick()
{
    m_effect->setDefaultAssignableParameterValues();
    m_ctx.dialogs().message(QStringLiteral("Click Save Parameters button to save the current status on pedal"));
}

void TformMain::OnClickEnableAllParameters()
{
    AllParametersEnabled = !AllParametersEnabled;
    menuEnableAllParameters->setCheckable(true);
    menuEnableAllParameters->setChecked(AllParametersEnabled);
    TformFXsettings *fx = m_effect;
    for (KnobControl *k : {fx->dialDry, fx->dialSubMix, fx->dialMinus1Oct, fx->dialMinus2Oct, fx->dialRange})
        k->setEnabled(AllParametersEnabled);
    for (KnobControl *k : {fx->dialLowPass, fx->dialHighPass, fx->dial1stHarmonic})
        k->setEnabled(true);
}

void TformMain::btnSetTuningClick()
{
    TformFXsettings *fx = m_effect;
    m_ctx.console.ConsolePrint(QStringLiteral("********************SET TUNING********************"));
    const QString message = EffectMessages::tuning(fx->CurrentTuning, fx->SemitonesVariation);
    m_ctx.console.ConsolePrint(QStringLiteral("Tuning Message: ") + message);
    if (m_ctx.dialogs().question(QStringLiteral("Set new tuning?")) == Answer::No)
        return;
    m_ctx.session.send(PedalMessages::tuning(fx->CurrentTuning, fx->SemitonesVariation));
}
