#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The link to the pedal, one value: not linked; linked to the pedal's
// application; linked to its bootloader, which answered the synchronisation
// and has not been told to start the firmware since; writing an image.
enum class LinkState { Unlinked, Application, Bootloader, Upgrading };

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
    LinkState Link = LinkState::Unlinked;
    bool Linked() const { return Link != LinkState::Unlinked; }
    bool BootloaderActive() const { return Link == LinkState::Bootloader || Link == LinkState::Upgrading; }
    // "Upgrade Mode": the line speaks the bootloader's protocol (8E1, one-byte
    // answers); ticked while unlinked it waits for the link (the legacy path).
    bool FirmwareUpgradeMode = false;
    bool UpgradeModeRequested = false;
    bool RequestInProgress = false;

    // Set when the main window closes: every wait for the pedal ends at once.
    bool Quitting = false;
    // An exchange is waiting for the pedal's answer; other answer-expecting
    // operations are refused meanwhile.
    bool ExchangeWaiting = false;

    // Device information
    QString DeviceSerialNumber;
    QString DeviceFirmwareVersion = QStringLiteral("0");
    QString DeviceAlgorithmVersion;
    QString DeviceEffectNumber;
    int InstrumentRange = 0;

    // Catalogue
    QStringList ResourceLines;
    QString CurrentEffectName;
};
