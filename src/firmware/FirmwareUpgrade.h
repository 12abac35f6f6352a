#pragma once

#include "UpgradeProcedure.h"

#include <QWidget>

#include <functional>
#include <memory>

struct Context;
class QComboBox;
class QProgressBar;
class QPushButton;

// The "Firmware Upgrade" window: choose a carried image and write it
// through the pedal's bootloader.
class TformFirmwareUpgrade : public QWidget {
    Q_OBJECT
public:
    explicit TformFirmwareUpgrade(Context &context);
    ~TformFirmwareUpgrade() override;
    // Whether the main window's poll runs (the upgrade logs it when it does).
    void setPollQuery(std::function<bool()> pollOn) { m_pollOn = std::move(pollOn); }

    QComboBox *cmbFirmwareChoose = nullptr;
    QPushButton *btnUpgradeFirmware = nullptr;
    QProgressBar *ProgressBar1 = nullptr;

    QString FirmwareResourceName;
    int FirmwareVersion = 0;
    QString openFolder; // OpenDialog1's initial folder

    bool writing() const { return m_writing; }
    // The flash was erased and not completely written since.
    bool flashIncomplete() const;

    void FirmwareSelect();
    void btnUpgradeFirmwareClick();
    bool LoadFirmwareResource();
    void RestartDevice();
    void OpenFirmwareFile();
    bool FormKeyDown(int key, Qt::KeyboardModifiers shift);

signals:
    // Go was answered: the pedal runs its new firmware and can be asked.
    void firmwareStarted();
    // The bootloader work is over and the window has gone.
    void upgradeEnded();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    UpgradeProcedure &upgrade() const;
    // The write of the chosen image, then Go.
    void runUpgrade();
    void reportFailure();
    void renderStart(UpgradeProcedure::Outcome started);
    // True when the image may be written; otherwise says why (naming it) and
    // nothing is sent.
    bool imageAccepted(const QString &name, const QByteArray &image);

    Context &m_ctx;
    std::function<bool()> m_pollOn;
    bool m_writing = false;
    QByteArray m_image; // the chosen image, checked
};
