#pragma once

// Gives a custom widget class its own accessibility interface: what a screen
// reader (and the end-to-end tests) see of it.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QLatin1String>
#include <QObject>

template <class Widget, class Accessible>
QAccessibleInterface *accessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(Widget::staticMetaObject.className()) && object && object->isWidgetType())
        return new Accessible(static_cast<Widget *>(object));
    return nullptr;
}

// Installs the factory once per process; call it from the widget's
// constructor, before the first interface is asked for.
template <class Widget, class Accessible>
void installAccessibleFactoryOnce()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory<Widget, Accessible>);
        return true;
    }();
    (void)installed;
}
