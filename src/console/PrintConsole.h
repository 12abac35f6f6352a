#pragma once

#include "FilterTable.h"

#include <QWidget>

struct Context;
class ConsoleModel;
class ConsoleView;
class FilterPlot;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The "Debug Console" window: every logged line, the controls that act on
// the log, and the service commands: erasing and reading the pedal's
// EEPROMs, and (hidden until Ctrl+Shift+G) a raw parameter write and the
// note filter table generator with its response plot.
class TformPrint : public QWidget {
    Q_OBJECT
public:
    explicit TformPrint(Context &context, QWidget *parent = nullptr);
    ~TformPrint() override;

    ConsoleView *Memo1 = nullptr;
    QPushButton *btnClear = nullptr;
    QPushButton *btnScrollTop = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QPushButton *btnEraseEeprom = nullptr;
    QPushButton *btnReadEEPROM = nullptr;
    QLabel *Label1 = nullptr;
    QComboBox *cmbI2Caddr = nullptr;

    // Hidden service tools.
    QPushButton *btnSend = nullptr;
    QLineEdit *edtAddress = nullptr;
    QLineEdit *edtData = nullptr;
    QComboBox *cmbNotePicker = nullptr;
    QLineEdit *edtQ = nullptr;
    QLineEdit *edtBoost = nullptr;
    QPushButton *btnGetNoteFrequency = nullptr;
    FilterPlot *plotResponse = nullptr;
    QCheckBox *chkTuningFilters = nullptr;

    FilterGenerator generator;

    void btnClearClick();
    void btnScrollTopClick();
    void CheckBox1Change();
    void btnEraseEepromClick();
    void btnReadEEPROMClick();
    void EraseEEPROM(const QString &i2cAddr);
    void ReadEEPROM(const QString &i2cAddr);
    void btnSendClick();
    void cmbNotePickerChange();
    void edtQChange();
    void edtBoostChange();
    void btnGetNoteFrequencyClick();
    void chkTuningFiltersChange();

    // Returns true when the key was one of the window's shortcuts.
    bool FormKeyDown(int key, Qt::KeyboardModifiers shift);
    // Shows or hides the raw write, the generator and the plot.
    void setServiceToolsVisible(bool visible);
    bool serviceToolsVisible() const { return m_serviceTools; }

signals:
    // A Read EEPROM message went out: the pedal's dump should follow.
    void eepromReadSent();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createServiceTools();
    void layoutMemo();
    // Says a command the bridge refused while its error lines are off.
    void sayRefused(bool sent);
    // Reads an edit box as a number for Q or the boost; nullopt (after
    // saying why) when it is not one the generator can use.
    std::optional<double> readNumber(QLineEdit *edit, QString &handled, const QString &what, QString (*check)(double));

    Context &m_ctx;
    ConsoleModel &m_console;
    bool m_serviceTools = false;
    QString m_handledQ = QStringLiteral("1.41");
    QString m_handledBoost = QStringLiteral("0");
};
