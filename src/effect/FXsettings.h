#pragma once

#include <QWidget>

struct Context;

// The effect settings window: shows the current effect beside the main
// window; created hidden at start-up.
class TformFXsettings : public QWidget {
    Q_OBJECT
public:
    explicit TformFXsettings(Context &context);

    // Enables or disables every control of the window together.
    void EnableEffectControls(bool enabled);

private:
    Context &m_ctx;
};
