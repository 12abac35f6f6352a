#pragma once

#include <QString>
#include <QWidget>

#include <array>

struct Context;
class QCheckBox;
class QPushButton;

// The "Note Cut" window: at most two notes from A2 to E3, sent as the "Set
// note filters" message (code 0x09, the shape of the tuning message).
// Created hidden at start-up; Ctrl+Shift+N in the main window shows it.
class TformNoteTrackingFilter : public QWidget {
    Q_OBJECT
public:
    explicit TformNoteTrackingFilter(Context &context);

    QCheckBox *chkA2 = nullptr;
    QCheckBox *chkAdiesis2 = nullptr;
    QCheckBox *chkB2 = nullptr;
    QCheckBox *chkC3 = nullptr;
    QCheckBox *chkCdiesis3 = nullptr;
    QCheckBox *chkD3 = nullptr;
    QCheckBox *chkDdiesis3 = nullptr;
    QCheckBox *chkE3 = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnGet = nullptr;

    int TickedNoteCount = 0;
    QString NoteFilterByte1 = QStringLiteral("FF");
    QString NoteFilterByte2 = QStringLiteral("FF");

    // The eight boxes in note order (note number = index).
    std::array<QCheckBox *, 8> noteBoxes() const;

    // Change handlers of the eight boxes: each counts its box's tick.
    void chkA2Change() { noteBoxChange(chkA2); }
    void chkAdiesis2Change() { noteBoxChange(chkAdiesis2); }
    void chkB2Change() { noteBoxChange(chkB2); }
    void chkC3Change() { noteBoxChange(chkC3); }
    void chkCdiesis3Change() { noteBoxChange(chkCdiesis3); }
    void chkD3Change() { noteBoxChange(chkD3); }
    void chkDdiesis3Change() { noteBoxChange(chkDdiesis3); }
    void chkE3Change() { noteBoxChange(chkE3); }
    void noteBoxChange(QCheckBox *box);
    void UpdateNoteCheckBoxes();
    void btnSaveClick();

private:
    Context &m_ctx;
};
