#pragma once

#include "Services.h"

#include <QKeyEvent>
#include <QWidget>

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

// For a window's event filter: a key pressed in any of its controls goes to
// keyDown (run inside guarded()); true when keyDown took it. `key` is set to
// the pressed key's event, or nullptr when the event was not one.
template <typename F>
bool windowKeyDown(QWidget *window, Dialogs &dialogs, QObject *watched, QEvent *event, F &&keyDown,
                   const QKeyEvent **key = nullptr)
{
    if (key)
        *key = nullptr;
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()
        || static_cast<QWidget *>(watched)->window() != window)
        return false;
    const auto *pressed = static_cast<const QKeyEvent *>(event);
    if (key)
        *key = pressed;
    bool consumed = false;
    guarded(dialogs, [&] { consumed = keyDown(pressed->key(), pressed->modifiers()); });
    return consumed;
}
