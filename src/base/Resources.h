#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <stdexcept>

class ResourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The data carried inside the program: the effects list, algorithm and
// firmware images, skins. Names are matched without regard to case.
namespace Resources {

// ":/..." path of the resource, or empty when there is none of that name.
QString find(const QString &name);
// Throws ResourceError when missing or unreadable.
QByteArray load(const QString &name);
// Text lines (CR LF, CR or LF separated). Throws ResourceError.
QStringList loadLines(const QString &name);
// True for made-up images that must never reach a real pedal.
bool isPlaceholder(const QString &name);
QStringList names();

} // namespace Resources
