#include "NewVersionMsg.h"

#include "Context.h"

TformNewVersionMsg::TformNewVersionMsg(Context &context) : QWidget(nullptr, Qt::Window), m_ctx(context)
{
    setObjectName(QStringLiteral("formNewVersionMsg"));
    setWindowTitle(QStringLiteral("New Version"));
}
