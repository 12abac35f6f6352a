#include "Editor.h"

#include "ConsoleModel.h"
#include "PedalStack.h"
#include "FXsettings.h"
#include "FirmwareUpgrade.h"
#include "NewVersionMsg.h"
#include "NoteTrackingFilter.h"
#include "PedalSession.h"
#include "PresetLibraryWindow.h"
#include "PrintConsole.h"
#include "UpdateUpdaterUnit.h"
#include "main.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QEvent>

namespace {

// The editor's windows are plain widgets; assistive technology should know
// them as windows (frames), with their captions as names.
QAccessibleInterface *windowAccessible(const QString &className, QObject *object)
{
    if (!className.startsWith(QLatin1String("Tform")) || !object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (!widget->isWindow())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Window);
}

// Shows a window on top of the others; ready for the keyboard too, when
// asked.
void bringUp(QWidget *window, bool activate = false)
{
    window->show();
    window->raise();
    if (activate)
        window->activateWindow();
}

} // namespace

Editor::Editor(Services services)
    : m_console(std::make_unique<ConsoleModel>()),
      m_pedal(std::make_unique<PedalStack>(services.ftd2xx, *m_console, services.clock, m_state)),
      m_context{services, m_state, *m_console, m_pedal->session()}
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(windowAccessible);
        return true;
    }();
    (void)factoryInstalled;

    // A bridge that receives bytes wakes any wait for the pedal at once. The
    // callback may come from a driver's reader thread: posting is safe there.
    m_wakeTarget = std::make_unique<QObject>();
    QObject *target = m_wakeTarget.get();
    m_pedal->setDataCallback([target] { QCoreApplication::postEvent(target, new QEvent(QEvent::User)); });

    auto own = [this](auto *window) {
        m_owned.emplace_back(window);
        return window;
    };
    m_windows.formMain = own(new TformMain(m_context));
    m_windows.formFirmwareUpgrade = own(new TformFirmwareUpgrade(m_context));
    m_windows.formPrint = own(new TformPrint(m_context));
    m_windows.formFXsettings = own(new TformFXsettings(m_context));
    m_windows.formNoteTrackingFilter = own(new TformNoteTrackingFilter(m_context));
    m_windows.formNewVersionMsg = own(new TformNewVersionMsg(m_context));
    m_windows.formUpdateUpdater = own(new TformUpdateUpdater(m_context));
    m_windows.formPresetLibrary = own(new TformPresetLibrary(m_context));
    joinWindows();
}

PedalSession &Editor::session()
{
    return m_pedal->session();
}

Editor::~Editor()
{
    m_pedal->setDataCallback({});
    // Windows go in reverse order of creation; the console outlives them.
    while (!m_owned.empty())
        m_owned.pop_back();
}

void Editor::show()
{
    m_windows.formMain->show();
}

void Editor::releaseBridge()
{
    if (m_state.Linked())
        session().close();
}

// The windows know nothing of one another: a window says what it wants
// shown or done, and the editor joins it to the window that does it.
void Editor::joinWindows()
{
    TformMain *main = m_windows.formMain;
    TformFirmwareUpgrade *firmware = m_windows.formFirmwareUpgrade;
    TformPrint *console = m_windows.formPrint;
    TformFXsettings *effect = m_windows.formFXsettings;
    TformUpdateUpdater *updater = m_windows.formUpdateUpdater;
    TformNewVersionMsg *newVersion = m_windows.formNewVersionMsg;
    TformNoteTrackingFilter *noteCut = m_windows.formNoteTrackingFilter;
    TformPresetLibrary *library = m_windows.formPresetLibrary;

    // The effect window is the main window's companion: its buttons act on
    // the effect window's choices.
    main->setEffectWindow(effect);

    firmware->setPollQuery([main] { return main->pollTimerOn(); });
    QObject::connect(firmware, &TformFirmwareUpgrade::firmwareStarted, main, &TformMain::firmwareStarted);
    QObject::connect(firmware, &TformFirmwareUpgrade::upgradeEnded, main, &TformMain::upgradeModeEnded);
    QObject::connect(main, &TformMain::firmwareWindowWanted, firmware, [firmware](QPoint topLeft) {
        firmware->move(topLeft);
        bringUp(firmware);
    });

    auto showConsole = [console] { bringUp(console); };
    QObject::connect(main, &TformMain::consoleWanted, console, showConsole);
    QObject::connect(effect, &TformFXsettings::consoleWanted, console, showConsole);
    QObject::connect(effect, &TformFXsettings::undoWanted, main, [main] { main->editKey(Qt::Key_Z); });
    QObject::connect(effect, &TformFXsettings::redoWanted, main, [main] { main->editKey(Qt::Key_Y); });
    QObject::connect(effect, &TformFXsettings::compareWanted, main, [main] { main->editKey(Qt::Key_B); });
    QObject::connect(main, &TformMain::noteCutWanted, noteCut, [noteCut] { bringUp(noteCut, true); });
    QObject::connect(main, &TformMain::newVersionMessageWanted, newVersion, &QWidget::show);
    QObject::connect(main, &TformMain::updateWanted, updater, &TformUpdateUpdater::UpdateEditor);
    QObject::connect(newVersion, &TformNewVersionMsg::updateWanted, updater, &TformUpdateUpdater::UpdateEditor);
    // After starting the updater the editor ends as when its window closes.
    updater->setEndEditor([main] { main->close(); });

    // The preset library loads and saves as Load / Save Local Preset do,
    // follows the link, and marks the preset in use until a value changes.
    library->setLoader([main](const QString &text, const QString &name) { main->applyPresetText(text, name); });
    library->setReader([main] { return main->readPresetText(); });
    QObject::connect(main, &TformMain::presetLibraryWanted, library, [library, main] {
        // First shown under the main window, where the effect window is not.
        if (!library->isVisible())
            library->move(main->frameGeometry().left(), main->frameGeometry().bottom() + 8);
        bringUp(library, true);
    });
    QObject::connect(main, &TformMain::deviceControlsEnabled, library, &TformPresetLibrary::setLinked);
    QObject::connect(main, &TformMain::presetFileUsed, library, &TformPresetLibrary::markUsed);
    QObject::connect(effect, &TformFXsettings::edited, library, &TformPresetLibrary::markEdited);
}
