#pragma once

#include "AppState.h"
#include "Context.h"

#include <memory>

class ConsoleModel;

// Owns the editor's state, its console and the seven windows, created in
// their fixed order. The program builds one with the real services; a test
// builds one with fakes and throws it away.
class Editor {
public:
    explicit Editor(Services services);
    ~Editor();
    Editor(const Editor &) = delete;
    Editor &operator=(const Editor &) = delete;

    void show();

    AppState &state() { return m_state; }
    ConsoleModel &console() { return *m_console; }
    Windows &windows() { return m_windows; }
    Context &context() { return m_context; }

private:
    AppState m_state;
    std::unique_ptr<ConsoleModel> m_console;
    Windows m_windows;
    Context m_context;
    std::vector<std::unique_ptr<QWidget>> m_owned;
};
