#include "NoteTrackingFilter.h"

#include "Context.h"

TformNoteTrackingFilter::TformNoteTrackingFilter(Context &context) : QWidget(nullptr, Qt::Window), m_ctx(context)
{
    setObjectName(QStringLiteral("formNoteTrackingFilter"));
    setWindowTitle(QStringLiteral("Note Cut"));
}
