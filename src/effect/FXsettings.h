#pragma once

#include <QWidget>

struct Context;

// The "Form1" window; created hidden at start-up.
class TformFXsettings : public QWidget {
    Q_OBJECT
public:
    explicit TformFXsettings(Context &context);

private:
    Context &m_ctx;
};
