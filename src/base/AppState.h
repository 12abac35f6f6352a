#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The editor-wide values, owned by the Editor and handed to every window.
struct AppState {
    // Application folder and flags
    QString AppFolder;
    bool ShowUpdateMessageAtStartup = true;
    bool ReportUSBErrorsSetting = false;

    // Versions
    QString CurrentAppVersion;
    // The server's answer to the version check (empty until it arrives).
    QString NewAppVersion;
    int LatestFirmwareVersion = 0;
    int LatestAlgorithmVersion = 0;

    // Link
    bool Linked = false;
    bool FirmwareUpgradeMode = false;
    bool UpgradeModeRequested = false;
    bool RequestInProgress = false;
    // The pedal's bootloader answered the synchronisation and has not been
    // told to start the firmware since.
    bool BootloaderActive = false;

    // Set when the main window closes: every wait for the pedal ends at once.
    bool Quitting = false;
    // An exchange is waiting for the pedal's answer; other answer-expecting
    // operations are refused meanwhile.
    bool ExchangeWaiting = false;

    // Device information
    QString DeviceSerialNumber;
    QByteArray ResponseBytes;
    QString DeviceFirmwareVersion = QStringLiteral("0");
    QString DeviceAlgorithmVersion;
    QString DeviceEffectNumber;
    int InstrumentRange = 0;

    // Catalogue
    QStringList ResourceLines;
    QString CurrentEffectName;
};
