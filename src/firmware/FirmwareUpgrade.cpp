#include "FirmwareUpgrade.h"

#include "AppState.h"
#include "ConsoleModel.h"
#include "Context.h"
#include "D2XXUnit.h"
#include "Guard.h"
#include "Communication.h"
#include "FirmwareImage.h"
#include "PedalSession.h"
#include "Resources.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>

TformFirmwareUpgrade::TformFirmwareUpgrade(Context &context)
    : QWidget(nullptr, Qt::Window), m_ctx(context)
{
    setObjectName(QStringLiteral("formFirmwareUpgrade"));
    setWindowTitle(QStringLiteral("Firmware Upgrade"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(196, 140);

    cmbFirmwareChoose = new QComboBox(this);
    cmbFirmwareChoose->setObjectName(QStringLiteral("cmbFirmwareChoose"));
    cmbFirmwareChoose->setGeometry(8, 8, 179, 32);
    cmbFirmwareChoose->addItem(QStringLiteral("Firmware_16"));
    cmbFirmwareChoose->setAccessibleName(QStringLiteral("Firmware"));
    cmbFirmwareChoose->setCurrentIndex(-1);

    btnUpgradeFirmware = new QPushButton(QStringLiteral("Upgrade Firmware"), this);
    btnUpgradeFirmware->setObjectName(QStringLiteral("btnUpgradeFirmware"));
    btnUpgradeFirmware->setGeometry(8, 48, 179, 33);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 94, 179, 34);
    ProgressBar1->setAccessibleName(QStringLiteral("Upgrade progress"));
    ProgressBar1->setValue(0);

    Dialogs &d = m_ctx.dialogs();
    connect(cmbFirmwareChoose, &QComboBox::currentIndexChanged, this, [this, &d] { guarded(d, [this] { FirmwareSelect(); }); });
    connectGuarded(btnUpgradeFirmware, &QPushButton::clicked, this, d, [this] { btnUpgradeFirmwareClick(); });
    qApp->installEventFilter(this);
}

TformFirmwareUpgrade::~TformFirmwareUpgrade()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void TformFirmwareUpgrade::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // FormShow: the last (newest) image is the choice.
    cmbFirmwareChoose->setCurrentIndex(cmbFirmwareChoose->count() - 1);
}

void TformFirmwareUpgrade::FirmwareSelect()
{
    FirmwareResourceName = cmbFirmwareChoose->currentText();
    const int n = static_cast<int>(FirmwareResourceName.size());
    if (n >= 10 && n <= 12) {
        bool ok = false;
        const int version = FirmwareResourceName.right(n - 9).toInt(&ok);
        if (ok)
            FirmwareVersion = version;
    }
    m_ctx.console.ConsolePrint(QStringLiteral("Firmware Version(DEC): ") + QString::number(FirmwareVersion));
    m_ctx.console.ConsolePrint(FirmwareResourceName);
}

bool TformFirmwareUpgrade::LoadFirmwareResource()
{
    QByteArray image;
    try {
        image = Resources::load(FirmwareResourceName);
    } catch (const ResourceError &e) {
        m_ctx.dialogs().message(QStringLiteral("Error loading resource: ") + QString::fromUtf8(e.what()));
        return false;
    }
    m_ctx.console.ConsolePrint(QStringLiteral("Firmware num of bytes: ") + QString::number(image.size()));
    if (!imageAccepted(FirmwareResourceName, image))
        return false;
    m_ctx.session.setFirmwareImage(image);
    return true;
}

void TformFirmwareUpgrade::btnUpgradeFirmwareClick()
{
    if (m_writing)
        return;
    m_ctx.console.ConsolePrint(QStringLiteral("********************FIRMWARE UPGRADE********************"));
    m_ctx.usb.FtErrorReporting = false;
    // A made-up image would brick a real pedal: only the virtual one gets it.
    if (Resources::isPlaceholder(FirmwareResourceName) && !m_ctx.usb.driver().isVirtualBridge(m_ctx.usb.handle)) {
        m_ctx.dialogs().message(QStringLiteral(
            "This editor build carries no real firmware images, only placeholders for the virtual pedal. Nothing was "
            "sent. To write a real image, choose its file with Ctrl+Shift+O."));
        return;
    }
    if (!LoadFirmwareResource())
        return;
    runUpgrade();
}

void TformFirmwareUpgrade::OpenFirmwareFile()
{
    if (m_writing)
        return;
    FileDialogOptions options;
    options.initialDir = openFolder;
    const QString path = m_ctx.dialogs().openFileName(options);
    if (path.isEmpty())
        return;
    openFolder = QFileInfo(path).absolutePath();
    m_ctx.console.appendDirect(QStringLiteral("Opening: ") + QDir::toNativeSeparators(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_ctx.dialogs().message(QStringLiteral("Cannot open %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    const QByteArray image = file.read(BootloaderProtocol::kMaxImage + 1);
    if (file.error() != QFileDevice::NoError) {
        m_ctx.dialogs().message(QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    m_ctx.console.ConsolePrint(QStringLiteral("num of bytes read: ") + QString::number(image.size()));
    if (!imageAccepted(QDir::toNativeSeparators(path), image))
        return;
    m_ctx.console.ConsolePrint(QStringLiteral("********************FIRMWARE UPGRADE********************"));
    m_ctx.usb.FtErrorReporting = false;
    m_ctx.session.setFirmwareImage(image);
    runUpgrade();
}

bool TformFirmwareUpgrade::imageAccepted(const QString &name, const QByteArray &image)
{
    const FirmwareImage::Check check = FirmwareImage::check(image);
    if (check.ok())
        return true;
    m_ctx.dialogs().message(QStringLiteral("%1 cannot be written: %2. Nothing was sent.").arg(name, check.reason));
    return false;
}

void TformFirmwareUpgrade::runUpgrade()
{
    if (m_ctx.state.ExchangeWaiting) {
        m_ctx.console.ConsolePrint(ExchangeGuard::refusedLine(QStringLiteral("FIRMWARE UPGRADE")));
        return;
    }
    // While it writes, neither the button nor the close box starts anything.
    m_writing = true;
    btnUpgradeFirmware->setEnabled(false);
    m_flashIncomplete = true;
    const PedalSession::StepOutcome written = m_ctx.session.writeFirmware(
        FirmwareVersion,
        [this](int max, int value) {
            ProgressBar1->setMaximum(max);
            ProgressBar1->setValue(value);
        },
        [this] { return m_pollOn && m_pollOn(); });
    m_writing = false;
    btnUpgradeFirmware->setEnabled(true);
    if (written != PedalSession::StepOutcome::Done) {
        reportFailure();
        return;
    }
    m_flashIncomplete = false;
    m_ctx.clock().pause(10);
    m_ctx.dialogs().message(QStringLiteral("Firmware Upgrade Complete, device will now restart"));
    RestartDevice();
}

void TformFirmwareUpgrade::reportFailure()
{
    m_ctx.dialogs().message(QStringLiteral("Firmware upgrade failed: %1. "
                                           "Nothing more was sent; the pedal stays in its bootloader with an "
                                           "incomplete firmware. Click \"Upgrade Firmware\" to try again.")
                                .arg(m_ctx.session.failureText()));
}

void TformFirmwareUpgrade::RestartDevice()
{
    const PedalSession::StepOutcome started = m_ctx.session.startFirmware();
    if (started == PedalSession::StepOutcome::Refused)
        return;
    if (started == PedalSession::StepOutcome::Failed) {
        m_ctx.dialogs().message(QStringLiteral(
            "The pedal did not start its firmware: the bootloader refused the go command or did not answer. It stays "
            "in its bootloader; click \"Upgrade Firmware\" to try again."));
        return;
    }
    emit firmwareStarted();
    btnUpgradeFirmware->setEnabled(true);
    ProgressBar1->setValue(0);
    hide();
    emit upgradeEnded();
}

void TformFirmwareUpgrade::closeEvent(QCloseEvent *event)
{
    if (m_writing) {
        event->ignore();
        return;
    }
    event->accept();
    if (m_flashIncomplete) {
        // The firmware work is over: the bridge's failures are said again.
        m_ctx.usb.FtErrorReporting = true;
        // Never jump into a half-written image.
        m_ctx.dialogs().message(QStringLiteral(
            "The pedal stays in its bootloader: its firmware is incomplete. Tick \"Upgrade Mode\" again to reopen "
            "this window and upgrade, or restart the pedal with SHIFT held and use the legacy path."));
        return;
    }
    guarded(m_ctx.dialogs(), [this] { RestartDevice(); });
}

bool TformFirmwareUpgrade::FormKeyDown(int key, Qt::KeyboardModifiers shift)
{
    if (key == Qt::Key_O && (shift & Qt::ControlModifier) && (shift & Qt::ShiftModifier)) {
        OpenFirmwareFile();
        return true;
    }
    return false;
}

bool TformFirmwareUpgrade::eventFilter(QObject *watched, QEvent *event)
{
    if (windowKeyDown(this, m_ctx.dialogs(), watched, event,
                      [this](int key, Qt::KeyboardModifiers shift) { return FormKeyDown(key, shift); }))
        return true;
    return QWidget::eventFilter(watched, event);
}
