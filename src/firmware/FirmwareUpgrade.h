#pragma once

#include <QWidget>

struct Context;

// The "Firmware Upgrade" window; created hidden at start-up.
class TformFirmwareUpgrade : public QWidget {
    Q_OBJECT
public:
    explicit TformFirmwareUpgrade(Context &context);

private:
    Context &m_ctx;
};
