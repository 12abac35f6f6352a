#pragma once

#include "BootloaderProtocol.h"

#include <QWidget>

#include <memory>

struct Context;
class QComboBox;
class QProgressBar;
class QPushButton;

// What the firmware window needs from the main window.
class FirmwareHost {
public:
    virtual ~FirmwareHost() = default;
    // The device information request; true when it was answered. A quiet
    // request only logs a pedal that does not answer.
    virtual bool requestDeviceInformation(bool quiet) = 0;
    virtual void setPollTimer(bool on) = 0;
    virtual bool pollTimerOn() const = 0;
    // The bootloader work is over: Upgrade Mode unticked, the main
    // window's controls back.
    virtual void upgradeModeEnded() = 0;
};

// The "Firmware Upgrade" window: choose a carried image and write it
// through the pedal's bootloader.
class TformFirmwareUpgrade : public QWidget {
    Q_OBJECT
public:
    explicit TformFirmwareUpgrade(Context &context);
    ~TformFirmwareUpgrade() override;
    void setHost(FirmwareHost *host) { m_host = host; }

    QComboBox *cmbFirmwareChoose = nullptr;
    QPushButton *btnUpgradeFirmware = nullptr;
    QProgressBar *ProgressBar1 = nullptr;

    QString FirmwareResourceName;
    int FirmwareVersion = 0;
    QString openFolder; // OpenDialog1's initial folder

    bool writing() const { return m_writing; }
    // The flash was erased and not completely written since.
    bool flashIncomplete() const { return m_flashIncomplete; }

    void FirmwareSelect();
    void btnUpgradeFirmwareClick();
    bool LoadFirmwareResource();
    void RestartDevice();
    void OpenFirmwareFile();
    bool FormKeyDown(int key, Qt::KeyboardModifiers shift);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Steps 2 to 10 of an upgrade with the image already in FirmwareHex.
    void runUpgrade();
    void reportFailure();

    Context &m_ctx;
    FirmwareHost *m_host = nullptr;
    bool m_writing = false;
    bool m_flashIncomplete = false;
};
