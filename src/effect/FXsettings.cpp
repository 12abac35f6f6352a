#include "FXsettings.h"

#include "Context.h"

TformFXsettings::TformFXsettings(Context &context) : QWidget(nullptr, Qt::Window), m_ctx(context)
{
    setObjectName(QStringLiteral("formFXsettings"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(440, 448);
}

void TformFXsettings::EnableEffectControls(bool enabled)
{
    for (QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        child->setEnabled(enabled);
}
