#pragma once

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
    int LatestFirmwareVersion = 0;
    int LatestAlgorithmVersion = 0;

    // Link
    bool Linked = false;
    bool FirmwareUpgradeMode = false;
    bool UpgradeModeRequested = false;
    bool RequestInProgress = false;

    // Catalogue
    QStringList ResourceLines;
    QString CurrentEffectName;
};
