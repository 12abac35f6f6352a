#pragma once

#include <QWidget>

struct Context;

// The "Note Cut" window; created hidden at start-up.
class TformNoteTrackingFilter : public QWidget {
    Q_OBJECT
public:
    explicit TformNoteTrackingFilter(Context &context);

private:
    Context &m_ctx;
};
