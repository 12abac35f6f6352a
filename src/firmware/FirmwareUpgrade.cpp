#include "FirmwareUpgrade.h"

#include "ConsoleModel.h"
#include "Context.h"
#include "Guard.h"
#include "FirmwareImage.h"
#include "PedalSession.h"
#include "Resources.h"
#include "UpgradeProcedure.h"

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
    connect(&upgrade(), &UpgradeProcedure::progress, this, [this](int done, int total) {
        ProgressBar1->setMaximum(total);
        ProgressBar1->setValue(done);
    });
    qApp->installEventFilter(this);
}

UpgradeProcedure &TformFirmwareUpgrade::upgrade() const
{
    return m_ctx.session.upgrade();
}

bool TformFirmwareUpgrade::flashIncomplete() const
{
    return upgrade().flashIncomplete();
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
    m_image = image;
    return true;
}

void TformFirmwareUpgrade::btnUpgradeFirmwareClick()
{
    if (m_writing)
        return;
    upgrade().begin();
    // A made-up image would brick a real pedal: only the virtual one gets it.
    if (Resources::isPlaceholder(FirmwareResourceName) && !m_ctx.session.onVirtualBridge()) {
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
    const FirmwareImage::File file = FirmwareImage::readFile(path);
    if (file.problem == FirmwareImage::File::Problem::CannotOpen) {
        m_ctx.dialogs().message(QStringLiteral("Cannot open %1: %2").arg(QDir::toNativeSeparators(path), file.error));
        return;
    }
    if (file.problem == FirmwareImage::File::Problem::CannotRead) {
        m_ctx.dialogs().message(QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.error));
        return;
    }
    const QByteArray &image = file.bytes;
    m_ctx.console.ConsolePrint(QStringLiteral("num of bytes read: ") + QString::number(image.size()));
    if (!imageAccepted(QDir::toNativeSeparators(path), image))
        return;
    upgrade().begin();
    m_image = image;
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
    // While it writes, neither the button nor the close box starts anything.
    m_writing = true;
    btnUpgradeFirmware->setEnabled(false);
    const UpgradeProcedure::Outcome written =
        upgrade().write(m_image, FirmwareVersion, [this] { return m_pollOn && m_pollOn(); });
    m_writing = false;
    btnUpgradeFirmware->setEnabled(true);
    if (written == UpgradeProcedure::Outcome::Refused)
        return;
    if (written != UpgradeProcedure::Outcome::Done) {
        reportFailure();
        return;
    }
    renderStart(upgrade().finish(
        [this] { m_ctx.dialogs().message(QStringLiteral("Firmware Upgrade Complete, device will now restart")); }));
}

void TformFirmwareUpgrade::reportFailure()
{
    m_ctx.dialogs().message(QStringLiteral("Firmware upgrade failed: %1. "
                                           "Nothing more was sent; the pedal stays in its bootloader with an "
                                           "incomplete firmware. Click \"Upgrade Firmware\" to try again.")
                                .arg(upgrade().failureText()));
}

void TformFirmwareUpgrade::RestartDevice()
{
    renderStart(upgrade().start());
}

void TformFirmwareUpgrade::renderStart(UpgradeProcedure::Outcome started)
{
    if (started == UpgradeProcedure::Outcome::Refused)
        return;
    if (started != UpgradeProcedure::Outcome::Done) {
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
    if (flashIncomplete()) {
        // The firmware work is over: the bridge's failures are said again.
        upgrade().abandon();
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
