#pragma once

#include <QWidget>

struct Context;
class QCheckBox;
class QLabel;
class QPushButton;

// The "New Version" window: opened (not modal) by the start-up version check
// when the server offers a newer editor; closing it hides it.
class TformNewVersionMsg : public QWidget {
    Q_OBJECT
public:
    explicit TformNewVersionMsg(Context &context);

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *btnLaunchUpdate = nullptr;
    QPushButton *btnSeeWhatsNew = nullptr;
    QCheckBox *CheckBox1 = nullptr;

    void FormShow();
    void btnLaunchUpdateClick();
    void btnSeeWhatsNewClick();
    void CheckBox1Change();

signals:
    // "Update Now": the updater's refresh and launch.
    void updateWanted();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fitToTexts();

    Context &m_ctx;
};
