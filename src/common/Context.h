#pragma once

#include "Services.h"

struct AppState;
class ConsoleModel;
class PedalSession;

// What every window is handed: the seams, the state, the console and the
// pedal. No window is handed another: the editor joins the windows that
// work together.
struct Context {
    Services services;
    AppState &state;
    ConsoleModel &console;
    PedalSession &session;

    Dialogs &dialogs() const { return services.dialogs; }
    Clock &clock() const { return services.clock; }
};
