#pragma once

#include <QWidget>

class ConsoleModel;
class ConsoleView;
class QCheckBox;
class QPushButton;

// The "Debug Console" window: every logged line, and the controls that act
// on the log.
class TformPrint : public QWidget {
    Q_OBJECT
public:
    explicit TformPrint(ConsoleModel &console, QWidget *parent = nullptr);

    ConsoleView *Memo1 = nullptr;
    QPushButton *btnClear = nullptr;
    QPushButton *btnScrollTop = nullptr;
    QCheckBox *CheckBox1 = nullptr;

    void btnClearClick();
    void btnScrollTopClick();
    void CheckBox1Change();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    ConsoleModel &m_console;
};
