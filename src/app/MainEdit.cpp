// The main window's Edit menu: undo and redo of the player's changes in the
// effect window, and Compare, which plays the reference against the edit.
#include "main.h"

#include "AppState.h"
#include "FXsettings.h"
#include "Guard.h"

#include <QAction>
#include <QMenu>

void TformMain::connectEditHandlers()
{
    Dialogs &d = m_ctx.dialogs();
    connectGuarded(menuUndo, &QAction::triggered, this, d, [this] {
        if (m_effect)
            m_effect->undo();
    });
    connectGuarded(menuRedo, &QAction::triggered, this, d, [this] {
        if (m_effect)
            m_effect->redo();
    });
    connectGuarded(menuCompare, &QAction::triggered, this, d, [this] {
        if (m_effect)
            m_effect->setComparing(menuCompare->isChecked());
        updateEditMenu();
    });
}

void TformMain::setEffectWindow(TformFXsettings *window)
{
    m_effect = window;
    connect(&window->history(), &EditHistory::changed, this, &TformMain::updateEditMenu);
    connect(window, &TformFXsettings::comparingChanged, this, &TformMain::updateEditMenu);
    updateEditMenu();
}

void TformMain::updateEditMenu()
{
    // Undo, redo and compare send to the pedal: they need the link, and the
    // history rests while Compare plays the reference.
    const bool usable = m_effect && m_deviceControls && m_ctx.state.Linked() && !m_ctx.state.BootloaderActive();
    const bool comparing = m_effect && m_effect->comparing();
    EditHistory *history = m_effect ? &m_effect->history() : nullptr;
    auto name = [](const QString &verb, const QString &step) {
        return step.isEmpty() ? verb : verb + QLatin1Char(' ') + step;
    };
    menuUndo->setText(name(QStringLiteral("Undo"), history ? history->undoName() : QString()));
    menuRedo->setText(name(QStringLiteral("Redo"), history ? history->redoName() : QString()));
    menuUndo->setEnabled(usable && !comparing && history && history->canUndo());
    menuRedo->setEnabled(usable && !comparing && history && history->canRedo());
    menuCompare->setEnabled(usable || comparing);
    menuCompare->setChecked(comparing);
}

bool TformMain::editKey(int key)
{
    QAction *action = key == Qt::Key_Z ? menuUndo : key == Qt::Key_Y ? menuRedo : key == Qt::Key_B ? menuCompare : nullptr;
    if (!action)
        return false;
    updateEditMenu();
    if (action->isEnabled())
        action->trigger();
    return true;
}

void TformMain::endCompare()
{
    if (m_effect && m_effect->comparing())
        m_effect->setComparing(false);
}
