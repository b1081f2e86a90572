// What the program's modal dialogs share: the dialog font, controls placed at their positions in
// dialog units and named by their control identifiers, texts from the string table, and the
// dialog's set-up run once when it is first shown (whether it runs modally or not).
#pragma once

#include <QDialog>

#include <cstdint>

#include "ui/DialogUnits.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CQobDialog : public QDialog {
    Q_OBJECT
public:
    // The dialog's client size in dialog units; captionId 0 leaves the caption to OnInitDialog.
    CQobDialog(QWidget* parent, int cx, int cy, uint32_t captionId);

    // The control with that identifier (OK is 1, Cancel 2).
    QWidget* GetDlgItem(int id) const;
    const ui::CDialogUnits& Units() const { return m_units; }

protected:
    virtual void OnInitDialog() {}
    void showEvent(QShowEvent* event) override;

    // Places a control at a rectangle in dialog units and names it by its identifier (0: none).
    void Place(QWidget* w, int id, int x, int y, int cx, int cy);
    QLabel* AddLabel(uint32_t textId, int x, int y, int cx, int cy, QWidget* buddy = nullptr,
                     Qt::Alignment align = Qt::AlignLeft);
    QPushButton* AddButton(uint32_t textId, int id, int x, int y, int cx, int cy);
    QLineEdit* AddEdit(int id, int x, int y, int cx, int cy, int maxBytes, bool password = false);
    QCheckBox* AddCheckBox(uint32_t textId, int id, int x, int y, int cx, int cy);
    QRadioButton* AddRadioButton(const QString& text, int id, int x, int y, int cx, int cy);
    void AddEtchedLine(int x, int y, int cx);
    // OK (identifier 1, the default button) and Cancel (2).
    void AddOkCancel(int okX, int okY, int cancelX, int cancelY);

private:
    ui::CDialogUnits m_units;
    bool m_bInitDone = false;
};
