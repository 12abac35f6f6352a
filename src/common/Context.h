#pragma once

#include "Services.h"

struct AppState;
class ConsoleModel;
class D2XXUnit;
class Communication;
class PedalSession;

class TformMain;
class TformFirmwareUpgrade;
class TformPrint;
class TformFXsettings;
class TformNoteTrackingFilter;
class TformNewVersionMsg;
class TformUpdateUpdater;

// The seven windows, filled in as they are created.
struct Windows {
    TformMain *formMain = nullptr;
    TformFirmwareUpgrade *formFirmwareUpgrade = nullptr;
    TformPrint *formPrint = nullptr;
    TformFXsettings *formFXsettings = nullptr;
    TformNoteTrackingFilter *formNoteTrackingFilter = nullptr;
    TformNewVersionMsg *formNewVersionMsg = nullptr;
    TformUpdateUpdater *formUpdateUpdater = nullptr;
};

// What every window and operation is handed: the seams, the state, the
// console and the other windows.
struct Context {
    Services services;
    AppState &state;
    ConsoleModel &console;
    Windows &windows;
    D2XXUnit &usb;
    Communication &comm;
    PedalSession &session;

    Dialogs &dialogs() const { return services.dialogs; }
    Clock &clock() const { return services.clock; }
};
