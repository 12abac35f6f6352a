#pragma once

#include "Context.h"
#include "DeviceInfo.h"
#include "FirmwareUpgrade.h"
#include "PedalSession.h"

#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

class ClockTimer;
class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class TformFXsettings;

// The main window "Tharnvik Editor": menus, command buttons, the labels that
// show the linked pedal, and the effects list.
class TformMain : public QWidget {
    Q_OBJECT
public:
    // Builds the window and runs its start-up sequence (FormCreate). The
    // other windows do not exist yet.
    explicit TformMain(Context &context);
    ~TformMain() override;

    // --- controls
    QMenuBar *MenuBar1 = nullptr;
    QLabel *lblDeviceName = nullptr;
    QLabel *lblFirmwareVersion = nullptr;
    QLabel *lblAlgorithmVersion = nullptr;
    QLabel *lblStatus = nullptr;
    QPushButton *btnUpload = nullptr;
    QPushButton *btnRequest = nullptr;
    QPushButton *btnSaveParameters = nullptr;
    QPushButton *btnSaveParametersInfo = nullptr;
    QPushButton *btnAssign = nullptr;
    QPushButton *btnSetFootswitchMode = nullptr;
    QPushButton *btnSetTuning = nullptr;
    QListWidget *lstEffects = nullptr;
    QCheckBox *chkFirmwareUpgradeMode = nullptr;
    QLabel *lblShowNewVersion = nullptr;

    // --- menus
    QMenu *menuFile = nullptr;
    QAction *menuLoadPreset = nullptr;
    QAction *menuSavePreset = nullptr;
    QAction *menuPresetLibrary = nullptr;
    QAction *menuLoadAlgorithmFromFile = nullptr;
    QAction *menuOpenFilesFolder = nullptr;
    QAction *menuLoadIR = nullptr;
    QMenu *menuConnection = nullptr;
    QAction *menuScan = nullptr;
    QAction *menuConnect = nullptr;
    QAction *menuDisconnect = nullptr;
    QMenu *menuSettings = nullptr;
    QMenu *menuLook = nullptr;
    QMenu *menuMIDI = nullptr;
    QMenu *menuMIDIchannel = nullptr;
    QAction *menuEnableAllParameters = nullptr;
    QAction *menuUploadTuningsData = nullptr;
    QAction *menuReportUSBErrors = nullptr;
    QMenu *menuInstrumentRange = nullptr;
    QAction *menuStandard = nullptr;
    QAction *menuLow = nullptr;
    QMenu *menuBypassStatus = nullptr;
    QAction *menuStoreBypassStatus = nullptr;
    QAction *menuDoNotStoreBypassStatus = nullptr;
    QMenu *menuRangeLimit = nullptr;
    QAction *menuRangeLimitOFF = nullptr;
    QAction *menuRangeLimitON = nullptr;
    QAction *menuSetAssignableParamsToDefault = nullptr;
    QAction *menuLoadFirstPresetAtStartup = nullptr;
    QAction *menuAliveParameters = nullptr;
    QMenu *menuFirmwareUpgrade = nullptr;
    QAction *menuFirmwareUpgradeMode = nullptr;
    QAction *menuStartFirmwareUpgrade = nullptr;
    QAction *menuEraseSettings = nullptr;
    QMenu *menuInfo = nullptr;
    QAction *menuSupport = nullptr;
    QAction *menuAppVersion = nullptr;
    QAction *menuNewAppVersion = nullptr;
    QAction *menuUpdateNow = nullptr;
    QAction *menuShowUpdateMsg = nullptr;
    QAction *menuSerialNumber = nullptr;
    QAction *menuQuickStart = nullptr;
    std::vector<QAction *> lookItems;
    std::vector<QAction *> MIDIChannelItems;

    // --- timers
    ClockTimer *Timer_USB_Read = nullptr;
    ClockTimer *TimerCheckWebVersion = nullptr;
    ClockTimer *UploadCheckTimer = nullptr;

    // --- handlers and operations
    void FormCreate();
    // Returns true when the key was one of the window's shortcuts.
    bool FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void FormClose();
    void menuInfoClick();
    void menuSupportClick();
    void menuOpenFilesFolderClick();
    void menuLookClickItem(QAction *sender);
    void EnableCommandButtons(bool status);
    void FillEffectsList();
    // Loads a carried text resource into ResourceLines; a failure is shown
    // as "Error loading resource: ..." and ResourceLines stays as it was.
    bool LoadResourceLines(const QString &name);
    void OpenURL(const QString &url);
    void BuildLookMenu();
    void ApplySavedLook();
    void BuildMIDIChannelMenu();
    QString GetAppVersion() const;

    // --- link, request, catalogue (MainDevice.cpp)
    void EnumerateDevices();
    void menuScanClick();
    void ConnectOnClick();
    void Link();
    void menuDisconnectClick();
    void EnableUSBobjects(bool status);
    void Timer_USB_ReadTimer();
    void PollIncomingData();
    enum class RequestResult { Answered, FirmwareTooOld, AlgorithmTooOld, UnknownIdentity, NoAnswer, Refused };
    // quietWhenSilent: a pedal that does not answer is only logged.
    RequestResult RequestDeviceInfo(bool quietWhenSilent = false);
    void btnRequestClick();
    void GetResourceFile();
    void effetto_cliccato();
    // Up and down arrows in the effects list; true when the key was one of them.
    bool move_up_or_down(int key);
    void lstOctaveClick();
    void OpenEffectWindow();

    // --- effect commands (MainEffect.cpp)
    void btnAssignClick();
    void btnSetFootswitchModeClick();
    void btnSaveParametersClick();
    void btnSaveParametersInfoClick();
    void menuSetAssignableParamsToDefaultClick();
    void OnClickEnableAllParameters();
    void btnSetTuningClick();
    bool AllParametersEnabled = false;

    // --- local presets (MainPresets.cpp)
    void menuSavePresetClick();
    void menuLoadPresetClick();
    void SavePresetFile(const QString &text);
    QString OpenPresetFile();
    // Save Local Preset's first half: the REQUEST, then the preset text of
    // the values read (logged). Nothing, after a message, when the pedal
    // could not be read.
    std::optional<QString> readPresetText();
    // Load Local Preset's second half: logs the fields of a preset text
    // (every line ended by CR LF) and sends the changed values at once.
    // A preset's text applied as Load Local Preset applies it; one step of
    // the history, named after the preset.
    void applyPresetText(const QString &text, const QString &name);

    // --- algorithm upload (MainUpload.cpp)
    void btnUploadClick();
    void menuLoadAlgorithmFromFileClick();
    void UploadCheckTimerTimer();
    QString uploadFolder; // OpenDialog1's initial folder

    // --- firmware upgrade (MainFirmware.cpp)
    void menuFirmwareUpgradeModeClick();
    void menuStartFirmwareUpgradeClick();
    void chkFirmwareUpgradeModeChange();
    void StartFirmwareUpgrade();
    // Renders a greeting of the bootloader: on Greeted the message, the
    // bootloader link and the firmware window; else what went wrong.
    void renderGreeting(UpgradeProcedure::Entry entry, const QString &greetedMessage, bool offerUpgradeMenu);
    // The device information request; true when it was answered. A quiet
    // request only logs a pedal that does not answer.
    bool requestDeviceInformation(bool quiet);
    bool pollTimerOn() const;
    // The pedal started its new firmware: read it (once more a moment
    // later if it is still starting), then poll again.
    void firmwareStarted();
    // The bootloader work is over: Upgrade Mode unticked, the controls back.
    void upgradeModeEnded();

    // --- updates (MainUpdates.cpp)
    void checkmostrecentversiononwebsite();
    void WebRequestCompleted(const HttpReply &reply);
    void menuUpdateNowClick();
    void menuShowUpdateMsgClick();
    QString versionCheckUrl; // NetHTTPRequest1's address
    // --- device setup (MainSetup.cpp)
    void menuUploadTuningsDataClick();
    void menuStandardClick();
    void menuLowClick();
    void ChangeInstrument();
    void menuStoreBypassStatusClick();
    void menuDoNotStoreBypassStatusClick();
    void ChangeStoreBypassStatus(bool store);
    void menuRangeLimitOFFClick();
    void menuRangeLimitONClick();
    void RangeLimit(std::uint8_t status);
    void menuLoadFirstPresetAtStartupClick();
    void menuMIDIchannelsClickItem(QAction *sender);
    void menuEraseSettingsClick();
    // Ctrl+Shift+N: the Note Cut window, which no menu offers.
    void ShowNoteTrackingFilter();

    // The effect window, whose choices Assign, Set Footswitch Mode, Set
    // Tuning, Save Parameters and the presets take; shown beside this one.
    void setEffectWindow(TformFXsettings *window);

    // --- the Edit menu: undo, redo and compare of the effect window's values
    QMenu *menuEdit = nullptr;
    QAction *menuUndo = nullptr;
    QAction *menuRedo = nullptr;
    QAction *menuCompare = nullptr;
    void updateEditMenu();
    // Ctrl+Z, Ctrl+Y, Ctrl+B: the Edit menu's entries, when they are enabled.
    bool editKey(int key);

signals:
    // The window was closed: the program ends.
    void closed();
    // What this window wants shown or done by the editor's other windows.
    void firmwareWindowWanted(QPoint topLeft);
    void consoleWanted();
    void noteCutWanted();
    void newVersionMessageWanted();
    void updateWanted();
    // File > Preset Library (Ctrl+L).
    void presetLibraryWanted();
    // A preset file was loaded or saved through Load / Save Local Preset.
    void presetFileUsed(const QString &path);
    // The controls that need a usable link were switched on or off.
    void deviceControlsEnabled(bool enabled);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createMenus();
    void createTimers();
    void startupFolderAndFlags();
    void connectDeviceHandlers();
    void connectEffectHandlers();
    void connectPresetAndUploadHandlers();
    void connectFirmwareHandlers();
    void connectUpdateHandlers();
    void prepareVersionCheck();
    void connectSetupHandlers();
    enum class UploadVariant { Catalogue, File };
    bool waitForUploadAnswer(UploadVariant variant);
    void closeEffectWindowIfShown();
    void showAlgorithmUploadAdvice();
    void setPoll(bool on);
    void reportDump(bool complete);
    void sendBypassOn();
    void createEditMenu();
    // The window grows where its texts need room: the menu titles in one
    // row, the pedal's values whole.
    void fitToTexts();
    void connectEditHandlers();
    // Compare ends before anything reads or replaces the values.
    void endCompare();


    Context &m_ctx;
    TformFXsettings *m_effect = nullptr;
    bool m_deviceControls = false; // the device-dependent controls are enabled
    bool m_closing = false;
    QString m_openedPreset; // the file Load Local Preset opened last
};

// Sets a button's caption, wrapped onto two lines when it does not fit, and
// its accessible name (the caption on one line).
void setButtonCaption(QPushButton *button, const QString &caption);
