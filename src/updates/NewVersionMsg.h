#pragma once

#include <QWidget>

struct Context;

// The "New Version" window; created hidden at start-up.
class TformNewVersionMsg : public QWidget {
    Q_OBJECT
public:
    explicit TformNewVersionMsg(Context &context);

private:
    Context &m_ctx;
};
