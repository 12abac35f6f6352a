#include "UpdateUpdaterUnit.h"

#include "Context.h"

TformUpdateUpdater::TformUpdateUpdater(Context &context) : QWidget(nullptr, Qt::Window), m_ctx(context)
{
    setObjectName(QStringLiteral("formUpdateUpdater"));
    setWindowTitle(QStringLiteral("UpdateUpdater"));
}
