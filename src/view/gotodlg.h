#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QLineEdit;

// Edit, Go To: a line for the offset, a "Decimal" box and an "Extend selection"
// box. Ticking or clearing Decimal rewrites a number already in the line in the
// other base. OK hands the text and the boxes to the check; the dialog closes
// only when the check accepts them, so a refused offset (the check has told the
// user why) can be corrected in place.
class CGoToDlg : public QDialog {
    Q_OBJECT

public:
    using Check = std::function<bool(const QString& strText, bool bDecimal, bool bExtend)>;

    CGoToDlg(const QString& strInitial, bool bDecimal, Check check, QWidget* pParent = nullptr);

    QString GetText() const;
    bool IsDecimal() const;
    bool IsExtend() const;

private:
    void OnOK();
    void OnDecimalToggled(bool bDecimal);

    QLineEdit* m_pEdit;
    QCheckBox* m_pDecimal;
    QCheckBox* m_pExtend;
    Check m_check;
};
