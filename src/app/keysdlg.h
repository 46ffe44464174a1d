#pragma once

#include <QDialog>

class QTableWidget;

// Help > Keyboard Shortcuts: every key of the program and what it does, from
// the key list of src/res in the resource language, in a table a screen reader
// reads cell by cell, with a note under it on the fonts the text column needs.
// Modeless, so the keys can be tried while the list is open.
class CKeysDlg : public QDialog {
    Q_OBJECT

public:
    explicit CKeysDlg(QWidget* pParent = nullptr);

    QTableWidget* Table() const { return m_pTable; }

private:
    QTableWidget* m_pTable;
};
