#include "Guard.h"

#include <QString>

#include <stdexcept>

void showException(Dialogs &dialogs, std::exception_ptr error)
{
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        text = QStringLiteral("An unexpected error occurred.");
    }
    try {
        dialogs.message(text);
    } catch (...) {
        // Showing the message failed as well; there is nobody left to tell.
    }
}
