#pragma once

#include "Services.h"

#include <exception>
#include <utility>

// Runs a handler so that nothing it throws unwinds into the event loop: the
// exception's text is shown as a message and the editor goes on.
void showException(Dialogs &dialogs, std::exception_ptr error);

template <typename F>
void guarded(Dialogs &dialogs, F &&handler)
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        showException(dialogs, std::current_exception());
    }
}

// connect() whose slot runs inside guarded(); the handler takes no arguments.
template <typename Sender, typename Signal, typename F>
QMetaObject::Connection connectGuarded(Sender *sender, Signal signal, QObject *context,
                                       Dialogs &dialogs, F handler)
{
    return QObject::connect(sender, signal, context,
                            [&dialogs, handler = std::move(handler)]() mutable { guarded(dialogs, handler); });
}
