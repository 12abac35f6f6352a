#pragma once

#include <QWidget>

struct Context;

// The "UpdateUpdater" window; created hidden at start-up.
class TformUpdateUpdater : public QWidget {
    Q_OBJECT
public:
    explicit TformUpdateUpdater(Context &context);

private:
    Context &m_ctx;
};
