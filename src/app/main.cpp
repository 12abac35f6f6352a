#include "main.h"

#include "AppFolder.h"
#include "AppState.h"
#include "ConsoleModel.h"
#include "Guard.h"
#include "Looks.h"
#include "FXsettings.h"
#include "PrintConsole.h"
#include "HttpClient.h"
#include "Resources.h"
#include "TextFiles.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#ifndef THARNVIK_APP_VERSION
#define THARNVIK_APP_VERSION ""
#endif

namespace {

constexpr auto kNoDevice = "No device found";

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *label = new QLabel(text, parent);
    // The labels show what the bridge and the pedal say: never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    setButtonCaption(button, caption);
    return button;
}

QAction *makeAction(QMenu *menu, const char *name, const QString &caption)
{
    auto *action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

QMenu *makeMenu(QWidget *parent, const char *name, const QString &caption)
{
    auto *menu = new QMenu(caption, parent);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

} // namespace

void setButtonCaption(QPushButton *button, const QString &caption)
{
    button->setAccessibleName(caption);
    const int room = button->width() - 8;
    // Two lines, broken at the blank that leaves the longer line shortest;
    // a caption that still does not fit is set a point smaller.
    auto layout = [&caption](const QFontMetrics &fm, int *width) {
        QString best = caption;
        *width = fm.horizontalAdvance(caption);
        for (int i = 0; i < caption.size(); ++i) {
            if (caption[i] != QLatin1Char(' '))
                continue;
            const int w = std::max(fm.horizontalAdvance(caption.left(i)), fm.horizontalAdvance(caption.mid(i + 1)));
            if (w < *width) {
                *width = w;
                best = caption.left(i) + QLatin1Char('\n') + caption.mid(i + 1);
            }
        }
        return best;
    };
    QFont font = button->font();
    int width = 0;
    QString shown = caption;
    if (QFontMetrics(font).horizontalAdvance(caption) > room)
        shown = layout(QFontMetrics(font), &width);
    while (width > room && font.pointSize() > 7) {
        font.setPointSize(font.pointSize() - 1);
        shown = layout(QFontMetrics(font), &width);
        button->setFont(font);
    }
    button->setText(shown);
}

TformMain::TformMain(Context &context) : QWidget(nullptr), m_ctx(context)
{
    setObjectName(QStringLiteral("formMain"));
    setWindowTitle(QStringLiteral("Tharnvik Editor"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(356, 228);
    move(37, 31);
    setAttribute(Qt::WA_DeleteOnClose, false);

    createControls();
    createMenus();
    createTimers();
    connectDeviceHandlers();
    connectEffectHandlers();
    connectPresetAndUploadHandlers();
    connectFirmwareHandlers();
    // Undo, redo and Compare are offered only while the application is linked.
    connect(&m_ctx.session, &PedalSession::linkChanged, this, [this] { updateEditMenu(); });
    connectUpdateHandlers();
    connectSetupHandlers();
    connectEditHandlers();
    fitToTexts();
    qApp->installEventFilter(this);

    guarded(m_ctx.dialogs(), [this] { FormCreate(); });
}

TformMain::~TformMain()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void TformMain::fitToTexts()
{
    if (!lstEffects)
        return; // not made yet
    constexpr int kWidth = 356, kHeight = 228, kListLeft = 202;
    const int width = std::max(kWidth, MenuBar1->sizeHint().width());
    setFixedSize(width, kHeight);
    MenuBar1->setGeometry(0, 0, width, 24);
    // The labels take the room up to the effects list, which takes the rest.
    for (QLabel *label : {lblDeviceName, lblFirmwareVersion, lblAlgorithmVersion, lblStatus})
        label->resize(kListLeft - 4 - label->x(), label->height());
    lstEffects->resize(width - kListLeft - (kWidth - 345), lstEffects->height());
}

void TformMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A look or font of other sizes: the room the texts need changes, once
    // the controls have taken the new look too.
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        QMetaObject::invokeMethod(this, &TformMain::fitToTexts, Qt::QueuedConnection);
}

void TformMain::createControls()
{
    MenuBar1 = new QMenuBar(this);
    MenuBar1->setObjectName(QStringLiteral("MenuBar1"));
    MenuBar1->setGeometry(0, 0, 356, 24);
    MenuBar1->setNativeMenuBar(false);

    lblDeviceName = makeLabel(this, "lblDeviceName", QLatin1String(kNoDevice), {9, 32, 174, 17});
    lblFirmwareVersion = makeLabel(this, "lblFirmwareVersion", QStringLiteral("Device Firmware:"), {9, 48, 144, 20});
    lblFirmwareVersion->setToolTip(QStringLiteral("Shows which firmware is currently installed on the pedal"));
    lblAlgorithmVersion = makeLabel(this, "lblAlgorithmVersion", QStringLiteral("Device Algorithm:"), {9, 66, 133, 17});
    lblStatus = makeLabel(this, "lblStatus", QStringLiteral("Status: "), {9, 84, 174, 17});
    // The pedal's answer ends in a line break: held at the top, its text
    // shows whole instead of centred on two lines and cut.
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    btnUpload = makeButton(this, "btnUpload", QStringLiteral("Upload Audio Algorithm"), {9, 103, 86, 33});
    btnRequest = makeButton(this, "btnRequest", QStringLiteral("Request"), {108, 103, 86, 33});
    btnSaveParameters = makeButton(this, "btnSaveParameters", QStringLiteral("Save Parameters"), {8, 144, 87, 33});
    btnSaveParametersInfo = makeButton(btnSaveParameters, "btnSaveParametersInfo", QStringLiteral("i"), {71, 0, 16, 18});
    btnSaveParametersInfo->setAccessibleDescription(QStringLiteral("About Save Parameters"));
    btnAssign = makeButton(this, "btnAssign", QStringLiteral("Assign"), {108, 144, 86, 33});
    btnSetFootswitchMode = makeButton(this, "btnSetFootswitchMode", QStringLiteral("Set Footswitch Mode"), {9, 185, 86, 31});
    btnSetTuning = makeButton(this, "btnSetTuning", QStringLiteral("Set Tuning"), {108, 185, 86, 31});
    for (QPushButton *b : {btnUpload, btnRequest, btnSaveParameters, btnAssign, btnSetFootswitchMode, btnSetTuning})
        b->setEnabled(false);

    lstEffects = new QListWidget(this);
    lstEffects->setObjectName(QStringLiteral("lstEffects"));
    lstEffects->setGeometry(202, 32, 143, 168);
    lstEffects->setAccessibleName(QStringLiteral("Audio Algorithms"));

    chkFirmwareUpgradeMode = new QCheckBox(QStringLiteral("Firmware Upgrade Mode"), this);
    chkFirmwareUpgradeMode->setObjectName(QStringLiteral("chkFirmwareUpgradeMode"));
    chkFirmwareUpgradeMode->move(9, 423);
    chkFirmwareUpgradeMode->setVisible(false);

    lblShowNewVersion = makeLabel(this, "lblShowNewVersion", QString(), {8, 450, 300, 17});
}

void TformMain::createEditMenu()
{
    menuEdit = makeMenu(this, "menuEdit", QStringLiteral("Edit"));
    menuUndo = makeAction(menuEdit, "menuUndo", QStringLiteral("Undo"));
    menuRedo = makeAction(menuEdit, "menuRedo", QStringLiteral("Redo"));
    menuEdit->addSeparator();
    menuCompare = makeAction(menuEdit, "menuCompare", QStringLiteral("Compare"));
    menuCompare->setCheckable(true);
    // The keys are read by the windows' key routing; the menu only shows them.
    const std::pair<QAction *, QKeySequence> keys[] = {{menuUndo, QKeySequence(Qt::CTRL | Qt::Key_Z)},
                                                       {menuRedo, QKeySequence(Qt::CTRL | Qt::Key_Y)},
                                                       {menuCompare, QKeySequence(Qt::CTRL | Qt::Key_B)}};
    for (const auto &[action, key] : keys) {
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setEnabled(false);
    }
}

void TformMain::createMenus()
{
    menuFile = makeMenu(this, "menuFile", QStringLiteral("File"));
    menuLoadPreset = makeAction(menuFile, "menuLoadPreset", QStringLiteral("Load Local Preset"));
    menuSavePreset = makeAction(menuFile, "menuSavePreset", QStringLiteral("Save Local Preset"));
    menuPresetLibrary = makeAction(menuFile, "menuPresetLibrary", QStringLiteral("Preset Library"));
    // Shown as a hint; the key itself is read by eventFilter.
    menuPresetLibrary->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    menuPresetLibrary->setShortcutContext(Qt::WidgetShortcut);
    menuLoadAlgorithmFromFile = makeAction(menuFile, "menuLoadAlgorithmFromFile", QStringLiteral("Load Effect From File"));
    menuOpenFilesFolder = makeAction(menuFile, "menuOpenFilesFolder", QStringLiteral("Open Files Folder"));
    menuLoadIR = makeAction(menuFile, "menuLoadIR", QStringLiteral("Load IR"));
    menuLoadIR->setVisible(false);
    for (QAction *a : {menuLoadPreset, menuSavePreset, menuLoadAlgorithmFromFile})
        a->setEnabled(false);

    menuConnection = makeMenu(this, "menuConnection", QStringLiteral("Connection"));
    menuScan = makeAction(menuConnection, "menuScan", QStringLiteral("Scan And Link"));
    menuConnect = makeAction(menuConnection, "menuConnect", QStringLiteral("Link"));
    menuConnect->setVisible(false);
    menuDisconnect = makeAction(menuConnection, "menuDisconnect", QStringLiteral("Unlink"));
    menuDisconnect->setEnabled(false);

    menuSettings = makeMenu(this, "menuSettings", QStringLiteral("Settings"));
    menuLook = makeMenu(menuSettings, "menuLook", QStringLiteral("Look"));
    menuSettings->addMenu(menuLook);
    menuMIDI = makeMenu(menuSettings, "menuMIDI", QStringLiteral("MIDI"));
    menuSettings->addMenu(menuMIDI);
    menuMIDI->setEnabled(false);
    menuMIDIchannel = makeMenu(menuMIDI, "menuMIDIchannel", QStringLiteral("Channel"));
    menuMIDI->addMenu(menuMIDIchannel);
    menuEnableAllParameters = makeAction(menuSettings, "menuEnableAllParameters", QStringLiteral("Enable All Parameters"));
    menuEnableAllParameters->setVisible(false);
    menuUploadTuningsData = makeAction(menuSettings, "menuUploadTuningsData", QStringLiteral("Upload Tuning Data"));
    menuUploadTuningsData->setEnabled(false);
    menuReportUSBErrors = makeAction(menuSettings, "menuReportUSBErrors", QStringLiteral("Report USB Errors"));
    menuReportUSBErrors->setVisible(false);
    menuReportUSBErrors->setCheckable(true);
    menuReportUSBErrors->setChecked(true);
    menuInstrumentRange = makeMenu(menuSettings, "menuInstrumentRange", QStringLiteral("Instrument Range"));
    menuSettings->addMenu(menuInstrumentRange);
    menuInstrumentRange->setEnabled(false);
    menuStandard = makeAction(menuInstrumentRange, "menuStandard",
                              QStringLiteral("Standard: Guitar or other instrument with similar range"));
    menuLow = makeAction(menuInstrumentRange, "menuLow", QStringLiteral("Low: Bass Guitar, Baritone, tuned down guitar etc."));
    menuBypassStatus = makeMenu(menuSettings, "menuBypassStatus", QStringLiteral("Bypass Status"));
    menuSettings->addMenu(menuBypassStatus);
    menuBypassStatus->setEnabled(false);
    menuStoreBypassStatus = makeAction(menuBypassStatus, "menuStoreBypassStatus", QStringLiteral("Store Bypass Status"));
    menuStoreBypassStatus->setCheckable(true);
    menuDoNotStoreBypassStatus = makeAction(menuBypassStatus, "menuDoNotStoreBypassStatus", QStringLiteral("Do Not Store Bypass Status"));
    menuDoNotStoreBypassStatus->setCheckable(true);
    menuDoNotStoreBypassStatus->setChecked(true);
    menuRangeLimit = makeMenu(menuSettings, "menuRangeLimit", QStringLiteral("Limit Range"));
    menuSettings->addMenu(menuRangeLimit)->setVisible(false);
    menuRangeLimit->setEnabled(false);
    menuRangeLimitOFF = makeAction(menuRangeLimit, "menuRangeLimitOFF", QStringLiteral("Range Limit OFF"));
    menuRangeLimitON = makeAction(menuRangeLimit, "menuRangeLimitON", QStringLiteral("Range Limit ON"));
    menuSetAssignableParamsToDefault = makeAction(menuSettings, "menuSetAssignableParamsToDefault",
                                                  QStringLiteral("Set Assignable Parameters to Default"));
    menuSetAssignableParamsToDefault->setEnabled(false);
    menuLoadFirstPresetAtStartup = makeAction(menuSettings, "menuLoadFirstPresetAtStartup",
                                              QStringLiteral("Load 1st Preset At Power ON"));
    menuLoadFirstPresetAtStartup->setEnabled(false);
    menuLoadFirstPresetAtStartup->setCheckable(true);
    menuAliveParameters = makeAction(menuSettings, "menuAliveParameters", QStringLiteral("Alive Parameters!"));
    menuAliveParameters->setVisible(false);

    menuFirmwareUpgrade = makeMenu(this, "menuFirmwareUpgrade", QStringLiteral("Firmware Upgrade"));
    menuFirmwareUpgradeMode = makeAction(menuFirmwareUpgrade, "menuFirmwareUpgradeMode", QStringLiteral("Upgrade Mode"));
    // Its handler sets the check mark itself.
    menuFirmwareUpgradeMode->setCheckable(true);
    menuStartFirmwareUpgrade = makeAction(menuFirmwareUpgrade, "menuStartFirmwareUpgrade", QStringLiteral("Start Firmware Upgrade"));
    menuStartFirmwareUpgrade->setEnabled(false);
    menuStartFirmwareUpgrade->setVisible(false);
    menuEraseSettings = makeAction(menuFirmwareUpgrade, "menuEraseSettings", QStringLiteral("Erase Settings"));
    menuEraseSettings->setEnabled(false);

    menuInfo = makeMenu(this, "menuInfo", QStringLiteral("Info"));
    menuSupport = makeAction(menuInfo, "menuSupport", QStringLiteral("Support"));
    menuAppVersion = makeAction(menuInfo, "menuAppVersion", QStringLiteral("Editor Version: "));
    menuAppVersion->setEnabled(false);
    menuNewAppVersion = makeAction(menuInfo, "menuNewAppVersion", QStringLiteral("New version available:"));
    menuNewAppVersion->setEnabled(false);
    menuUpdateNow = makeAction(menuInfo, "menuUpdateNow", QStringLiteral("Update Now"));
    menuUpdateNow->setEnabled(false);
    menuShowUpdateMsg = makeAction(menuInfo, "menuShowUpdateMsg", QStringLiteral("Show Update Message"));
    menuShowUpdateMsg->setCheckable(true);
    menuSerialNumber = makeAction(menuInfo, "menuSerialNumber", QStringLiteral("Device Serial: "));
    menuSerialNumber->setEnabled(false);
    menuQuickStart = makeAction(menuInfo, "menuQuickStart", QStringLiteral("Quick Start"));
    menuQuickStart->setVisible(false);

    createEditMenu();
    for (QMenu *m : {menuFile, menuEdit, menuConnection, menuSettings, menuFirmwareUpgrade, menuInfo})
        MenuBar1->addMenu(m);

    Dialogs &dialogs = m_ctx.dialogs();
    // A menu title has no click of its own: the Info entry reacts when it opens.
    connectGuarded(menuInfo, &QMenu::aboutToShow, this, dialogs, [this] { menuInfoClick(); });
    connectGuarded(menuSupport, &QAction::triggered, this, dialogs, [this] { menuSupportClick(); });
    connectGuarded(menuOpenFilesFolder, &QAction::triggered, this, dialogs, [this] { menuOpenFilesFolderClick(); });
}

void TformMain::createTimers()
{
    Clock &clock = m_ctx.clock();
    Timer_USB_Read = clock.createTimer(this, 50);
    TimerCheckWebVersion = clock.createTimer(this, 1000);
    UploadCheckTimer = clock.createTimer(this, 5000);
}

void TformMain::startupFolderAndFlags()
{
    const QString docs = m_ctx.services.paths.documentsFolder();
    AppState &state = m_ctx.state;
    state.AppFolder = AppFolder::path(docs);

    for (const QString &error : {AppFolder::CreateAppFolder(docs, QLatin1String(AppFolder::kVendorFolder)),
                                 AppFolder::CreateAppSubfolder(docs, QLatin1String(AppFolder::kVendorFolder),
                                                               QLatin1String(AppFolder::kProductFolder))}) {
        if (!error.isEmpty())
            m_ctx.dialogs().message(error);
    }
    // Without the folder there is nothing to read; the message above said why.
    if (!QFileInfo(state.AppFolder).isDir())
        return;

    Dialogs &dialogs = m_ctx.dialogs();
    guarded(dialogs, [&] {
        const QString content = AppFolder::ReadFlagFile(state.AppFolder, QLatin1String(AppFolder::kShowUpdateMessageFile),
                                                        QStringLiteral("YES"));
        state.ShowUpdateMessageAtStartup = AppFolder::flagValue(content, true);
    });
    menuShowUpdateMsg->setChecked(state.ShowUpdateMessageAtStartup);
    guarded(dialogs, [&] {
        const QString content = AppFolder::ReadFlagFile(state.AppFolder, QLatin1String(AppFolder::kReportUsbErrorsFile),
                                                        QStringLiteral("YES"));
        state.ReportUSBErrorsSetting = AppFolder::flagValue(content, false);
    });
    menuReportUSBErrors->setChecked(state.ReportUSBErrorsSetting);
    guarded(dialogs, [&] { AppFolder::ReadFlagFile(state.AppFolder, QLatin1String(AppFolder::kLogFile), QString()); });
    guarded(dialogs, [&] { AppFolder::TrimLog(state.AppFolder); });
}

void TformMain::FormCreate()
{
    AppState &state = m_ctx.state;

    // Folder, flag files, log size.
    startupFolderAndFlags();

    EnumerateDevices();
    m_ctx.session.useApplicationLine();

    if (lblDeviceName->text().isEmpty() || lblDeviceName->text() == QLatin1String(kNoDevice))
        menuConnect->setEnabled(false);

    m_ctx.session.setUpgradeMode(false);

    for (QPushButton *b : {btnRequest, btnAssign, btnSaveParameters, btnUpload, btnSetFootswitchMode, btnSetTuning})
        b->setEnabled(false);
    menuMIDI->setEnabled(false);
    menuUploadTuningsData->setEnabled(false);
    menuBypassStatus->setEnabled(false);
    menuSetAssignableParamsToDefault->setEnabled(false);

    lstEffects->clear();
    if (LoadResourceLines(QStringLiteral("octave")))
        FillEffectsList();

    prepareVersionCheck();

    state.CurrentAppVersion = GetAppVersion();
    menuAppVersion->setText(menuAppVersion->text() + QLatin1Char(' ') + state.CurrentAppVersion);

    BuildLookMenu();
    ApplySavedLook();

    BuildMIDIChannelMenu();

    // "Tharnvik MK3 0015": characters 13 to 17 hold the newest algorithm's number.
    if (lstEffects->count() > 0) {
        bool ok = false;
        const int n = lstEffects->item(0)->text().mid(12, 5).trimmed().toInt(&ok, 10);
        if (ok)
            state.LatestAlgorithmVersion = n;
    }
    state.LatestFirmwareVersion = 16;

    btnSaveParameters->setToolTip(QStringLiteral("Saves current status of assignable parameters to pedal."));
}

bool TformMain::LoadResourceLines(const QString &name)
{
    try {
        m_ctx.state.ResourceLines = Resources::loadLines(name);
        return true;
    } catch (const ResourceError &e) {
        m_ctx.dialogs().message(QStringLiteral("Error loading resource: ") + QString::fromUtf8(e.what()));
        return false;
    }
}

void TformMain::FillEffectsList()
{
    lstEffects->addItems(m_ctx.state.ResourceLines);
}

QString TformMain::GetAppVersion() const
{
    const QString version = QStringLiteral(THARNVIK_APP_VERSION);
    return version.isEmpty() ? QStringLiteral("Version info not available") : version;
}

void TformMain::EnableCommandButtons(bool status)
{
    for (QPushButton *b : {btnRequest, btnSaveParameters, btnAssign, btnSetFootswitchMode, btnSetTuning})
        b->setEnabled(status);
}

void TformMain::OpenURL(const QString &url)
{
    m_ctx.services.shell.openUrl(url);
}

void TformMain::menuSupportClick()
{
    OpenURL(serverBaseUrl() + QStringLiteral("/contact-us/"));
}

void TformMain::menuOpenFilesFolderClick()
{
    m_ctx.services.shell.openFolder(AppFolder::path(m_ctx.services.paths.documentsFolder()));
}

void TformMain::menuInfoClick()
{
    m_ctx.console.ConsolePrint(QStringLiteral("current app version: ") + m_ctx.state.CurrentAppVersion);
}

void TformMain::BuildLookMenu()
{
    for (int i = 0; i < Looks::kMenuLooks; ++i) {
        QAction *item = menuLook->addAction(QString::number(i));
        item->setObjectName(QStringLiteral("menuLook%1").arg(i));
        lookItems.push_back(item);
        connectGuarded(item, &QAction::triggered, this, m_ctx.dialogs(), [this, item] { menuLookClickItem(item); });
    }
}

void TformMain::ApplySavedLook()
{
    const QString file = QDir(AppFolder::vendorPath(m_ctx.services.paths.documentsFolder()))
                             .filePath(QLatin1String(AppFolder::kLookFile));
    if (!QFileInfo::exists(file)) {
        Looks::applySkin(0);
        return;
    }
    // An unreadable look file, or one that holds no number, leaves the
    // default look.
    std::optional<int> n;
    try {
        n = Looks::parseLookFile(TextFiles::read(file));
    } catch (const FileError &) {
    }
    if (!n)
        Looks::applySkin(0);
    else
        Looks::applySkin(*n);
}

void TformMain::menuLookClickItem(QAction *sender)
{
    int n = 0;
    for (int i = 0; i < static_cast<int>(lookItems.size()); ++i) {
        if (lookItems[static_cast<std::size_t>(i)] == sender)
            n = i;
    }
    Looks::applySkin(n);
    const QString file = QDir(AppFolder::vendorPath(m_ctx.services.paths.documentsFolder()))
                             .filePath(QLatin1String(AppFolder::kLookFile));
    TextFiles::write(file, QString::number(n));
}

void TformMain::BuildMIDIChannelMenu()
{
    for (int i = 0; i <= 16; ++i) {
        QAction *item = menuMIDIchannel->addAction(i == 0 ? QStringLiteral("OMNI") : QString::number(i));
        item->setObjectName(QStringLiteral("MIDIChannelItem%1").arg(i));
        // Ticked only by the pedal's answer, never by a click.
        item->setCheckable(true);
        connect(item, &QAction::triggered, item, [item](bool checked) { item->setChecked(!checked); });
        connectGuarded(item, &QAction::triggered, this, m_ctx.dialogs(), [this, item] { menuMIDIchannelsClickItem(item); });
        MIDIChannelItems.push_back(item);
    }
}

bool TformMain::FormKeyDown(int key, Qt::KeyboardModifiers shift)
{
    if (key == Qt::Key_L && (shift & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) == Qt::ControlModifier) {
        emit presetLibraryWanted();
        return true;
    }
    const bool ctrlShift = (shift & Qt::ControlModifier) && (shift & Qt::ShiftModifier);
    if ((shift & Qt::ControlModifier) && !(shift & (Qt::ShiftModifier | Qt::AltModifier)))
        return editKey(key);
    if (!ctrlShift)
        return false;
    if (key == Qt::Key_P) {
        emit consoleWanted();
        return true;
    }
    if (key == Qt::Key_N) {
        ShowNoteTrackingFilter();
        return true;
    }
    if (key == Qt::Key_Z) {
        if (m_effect)
            m_effect->setDefaultAssignableParameterValues();
        return true;
    }
    return false;
}

bool TformMain::eventFilter(QObject *watched, QEvent *event)
{
    // Shortcuts work wherever the focus is inside the main window.
    const QKeyEvent *key = nullptr;
    if (windowKeyDown(this, m_ctx.dialogs(), watched, event,
                      [this](int k, Qt::KeyboardModifiers shift) { return FormKeyDown(k, shift); }, &key))
        return true;
    if (key) {
        bool consumed = false;
        if (watched == lstEffects) {
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                // The keyboard's way to pick the entry, as a click does.
                guarded(m_ctx.dialogs(), [this] { effetto_cliccato(); });
                return true;
            }
            guarded(m_ctx.dialogs(), [&] { consumed = move_up_or_down(key->key()); });
            if (consumed)
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TformMain::FormClose()
{
    const QString log = QDir(m_ctx.state.AppFolder).filePath(QLatin1String(AppFolder::kLogFile));
    appendLogBlock(log, m_ctx.clock().localNow(), m_ctx.console);
}

void TformMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_closing)
        return;
    m_closing = true;
    guarded(m_ctx.dialogs(), [this] { FormClose(); });
    emit closed();
}
