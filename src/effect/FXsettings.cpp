#include "FXsettings.h"

#include "Context.h"

TformFXsettings::TformFXsettings(Context &context) : QWidget(nullptr, Qt::Window), m_ctx(context)
{
    setObjectName(QStringLiteral("formFXsettings"));
    setWindowTitle(QStringLiteral("Form1"));
}
