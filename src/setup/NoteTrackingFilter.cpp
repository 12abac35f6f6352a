#include "NoteTrackingFilter.h"

#include "ConsoleModel.h"
#include "Context.h"
#include "Guard.h"
#include "PedalSession.h"

#include <QCheckBox>
#include <QPushButton>

TformNoteTrackingFilter::TformNoteTrackingFilter(Context &context) : QWidget(nullptr, Qt::Tool), m_ctx(context)
{
    setObjectName(QStringLiteral("formNoteTrackingFilter"));
    setWindowTitle(QStringLiteral("Note Cut"));
    setFixedSize(222, 115);

    using Handler = void (TformNoteTrackingFilter::*)();
    struct Box {
        QCheckBox **box;
        const char *name;
        const char *caption;
        Handler change;
    };
    const Box boxes[] = {
        {&chkA2, "chkA2", "A2", &TformNoteTrackingFilter::chkA2Change},
        {&chkAdiesis2, "chkAdiesis2", "A#2", &TformNoteTrackingFilter::chkAdiesis2Change},
        {&chkB2, "chkB2", "B2", &TformNoteTrackingFilter::chkB2Change},
        {&chkC3, "chkC3", "C3", &TformNoteTrackingFilter::chkC3Change},
        {&chkCdiesis3, "chkCdiesis3", "C#3", &TformNoteTrackingFilter::chkCdiesis3Change},
        {&chkD3, "chkD3", "D3", &TformNoteTrackingFilter::chkD3Change},
        {&chkDdiesis3, "chkDdiesis3", "D#3", &TformNoteTrackingFilter::chkDdiesis3Change},
        {&chkE3, "chkE3", "E3", &TformNoteTrackingFilter::chkE3Change},
    };
    Dialogs &d = m_ctx.dialogs();
    for (int i = 0; i < 8; ++i) {
        auto *box = new QCheckBox(QLatin1String(boxes[i].caption), this);
        box->setObjectName(QLatin1String(boxes[i].name));
        // Left column A2 to C3, right column C#3 to E3.
        box->setGeometry(i < 4 ? 16 : 120, 8 + 19 * (i % 4), 90, 19);
        *boxes[i].box = box;
        const Handler change = boxes[i].change;
        connectGuarded(box, &QCheckBox::toggled, this, d, [this, change] { (this->*change)(); });
    }

    btnSave = new QPushButton(QStringLiteral("Save"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setGeometry(16, 86, 75, 23);
    connectGuarded(btnSave, &QPushButton::clicked, this, d, [this] { btnSaveClick(); });
    btnGet = new QPushButton(QStringLiteral("Get"), this);
    btnGet->setObjectName(QStringLiteral("btnGet"));
    btnGet->setGeometry(120, 86, 75, 23);
}

std::array<QCheckBox *, 8> TformNoteTrackingFilter::noteBoxes() const
{
    return {chkA2, chkAdiesis2, chkB2, chkC3, chkCdiesis3, chkD3, chkDdiesis3, chkE3};
}

void TformNoteTrackingFilter::noteBoxChange(QCheckBox *box)
{
    TickedNoteCount += box->isChecked() ? 1 : -1;
    UpdateNoteCheckBoxes();
}

void TformNoteTrackingFilter::UpdateNoteCheckBoxes()
{
    for (QCheckBox *box : noteBoxes()) {
        if (!box->isChecked())
            box->setEnabled(TickedNoteCount != 2);
    }
}

void TformNoteTrackingFilter::btnSaveClick()
{
    ConsoleModel &log = m_ctx.console;
    NoteFilterByte1 = QStringLiteral("FF");
    NoteFilterByte2 = QStringLiteral("FF");
    const auto boxes = noteBoxes();
    for (int note = 0; note < 8; ++note) {
        if (!boxes[static_cast<std::size_t>(note)]->isChecked())
            continue;
        const QString digits = QStringLiteral("%1").arg(note, 2, 16, QLatin1Char('0')).toUpper();
        if (NoteFilterByte1 == QLatin1String("FF"))
            NoteFilterByte1 = digits;
        else
            NoteFilterByte2 = digits;
    }
    log.ConsolePrint(QStringLiteral("byte 1: ") + NoteFilterByte1);
    log.ConsolePrint(QStringLiteral("byte 2: ") + NoteFilterByte2);
    const QString text = QStringLiteral("09") + NoteFilterByte1 + NoteFilterByte2;
    log.ConsolePrint(QStringLiteral("Set note filters: ") + text);
    const int count = static_cast<int>(text.size() / 2);
    log.ConsolePrint(QString::number(count));
    m_ctx.session.send(PedalMessages::noteFilters(NoteFilterByte1, NoteFilterByte2));
}
