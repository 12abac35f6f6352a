#include "Editor.h"

#include "ConsoleModel.h"
#include "FXsettings.h"
#include "FirmwareUpgrade.h"
#include "NewVersionMsg.h"
#include "NoteTrackingFilter.h"
#include "PrintConsole.h"
#include "UpdateUpdaterUnit.h"
#include "main.h"

Editor::Editor(Services services)
    : m_console(std::make_unique<ConsoleModel>()),
      m_context{services, m_state, *m_console, m_windows}
{
    auto own = [this](auto *window) {
        m_owned.emplace_back(window);
        return window;
    };
    m_windows.formMain = own(new TformMain(m_context));
    m_windows.formFirmwareUpgrade = own(new TformFirmwareUpgrade(m_context));
    m_windows.formPrint = own(new TformPrint(*m_console));
    m_windows.formFXsettings = own(new TformFXsettings(m_context));
    m_windows.formNoteTrackingFilter = own(new TformNoteTrackingFilter(m_context));
    m_windows.formNewVersionMsg = own(new TformNewVersionMsg(m_context));
    m_windows.formUpdateUpdater = own(new TformUpdateUpdater(m_context));
}

Editor::~Editor()
{
    // Windows go in reverse order of creation; the console outlives them.
    while (!m_owned.empty())
        m_owned.pop_back();
}

void Editor::show()
{
    m_windows.formMain->show();
}
