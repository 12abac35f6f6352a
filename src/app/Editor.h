#pragma once

#include "AppState.h"
#include "Context.h"

#include <memory>

class ConsoleModel;
class PedalSession;
class PedalStack;

class TformMain;
class TformFirmwareUpgrade;
class TformPrint;
class TformFXsettings;
class TformNoteTrackingFilter;
class TformNewVersionMsg;
class TformUpdateUpdater;
class TformPresetLibrary;

// The eight windows, filled in as they are created.
struct Windows {
    TformMain *formMain = nullptr;
    TformFirmwareUpgrade *formFirmwareUpgrade = nullptr;
    TformPrint *formPrint = nullptr;
    TformFXsettings *formFXsettings = nullptr;
    TformNoteTrackingFilter *formNoteTrackingFilter = nullptr;
    TformNewVersionMsg *formNewVersionMsg = nullptr;
    TformUpdateUpdater *formUpdateUpdater = nullptr;
    TformPresetLibrary *formPresetLibrary = nullptr;
};

// Owns the editor's state, its console and the eight windows, created in
// their fixed order. The program builds one with the real services; a test
// builds one with fakes and throws it away.
class Editor {
public:
    explicit Editor(Services services);
    ~Editor();
    Editor(const Editor &) = delete;
    Editor &operator=(const Editor &) = delete;

    void show();
    // As the program ends: a bridge still linked is closed, its latency
    // timer put back as the link found it.
    void releaseBridge();

    AppState &state() { return m_state; }
    ConsoleModel &console() { return *m_console; }
    // The pedal: its session, and the transport under it for tests that look at it.
    PedalStack &pedal() { return *m_pedal; }
    PedalSession &session();
    Windows &windows() { return m_windows; }
    Context &context() { return m_context; }

private:
    void joinWindows();

    AppState m_state;
    std::unique_ptr<ConsoleModel> m_console;
    std::unique_ptr<PedalStack> m_pedal;
    Windows m_windows;
    Context m_context;
    std::vector<std::unique_ptr<QWidget>> m_owned;
    std::unique_ptr<QObject> m_wakeTarget;
};
