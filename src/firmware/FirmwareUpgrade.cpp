#include "FirmwareUpgrade.h"

#include "Context.h"

TformFirmwareUpgrade::TformFirmwareUpgrade(Context &context) : QWidget(nullptr, Qt::Window), m_ctx(context)
{
    setObjectName(QStringLiteral("formFirmwareUpgrade"));
    setWindowTitle(QStringLiteral("Firmware Upgrade"));
}
