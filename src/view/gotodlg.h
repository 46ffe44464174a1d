#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QLineEdit;

// Edit, Go To: a line for the offset and a "Decimal" box. OK hands the text and
// the box to the check; the dialog closes only when the check accepts them, so
// a refused offset (the check has told the user why) can be corrected in place.
class CGoToDlg : public QDialog {
    Q_OBJECT

public:
    using Check = std::function<bool(const QString& strText, bool bDecimal)>;

    CGoToDlg(const QString& strInitial, bool bDecimal, Check check, QWidget* pParent = nullptr);

    QString GetText() const;
    bool IsDecimal() const;

private:
    void OnOK();

    QLineEdit* m_pEdit;
    QCheckBox* m_pDecimal;
    Check m_check;
};
