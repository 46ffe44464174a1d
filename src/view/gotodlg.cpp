#include "gotodlg.h"

#include "afxres.h"
#include "resource.h"
#include "resources.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CGoToDlg::CGoToDlg(const QString& strInitial, bool bDecimal, Check check, QWidget* pParent)
    : QDialog(pParent), m_pEdit(new QLineEdit(strInitial)),
      m_pDecimal(new QCheckBox(AfxLoadString(IDS_GOTO_DECIMAL))), m_check(std::move(check))
{
    setWindowTitle(AfxLoadString(IDS_GOTO_TITLE));
    setObjectName(QStringLiteral("GoToDialog"));
    m_pEdit->setObjectName(QStringLiteral("offset"));
    m_pEdit->setPlaceholderText(QStringLiteral("1A2B, 0x1A2B, +10, -10"));
    m_pEdit->selectAll();
    m_pDecimal->setObjectName(QStringLiteral("decimal"));
    m_pDecimal->setChecked(bDecimal);

    auto* pLabel = new QLabel(AfxLoadString(IDS_GOTO_OFFSET));
    pLabel->setBuddy(m_pEdit);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    pButtons->button(QDialogButtonBox::Ok)->setText(AfxLoadString(IDS_OK));
    pButtons->button(QDialogButtonBox::Cancel)->setText(AfxLoadString(AFX_IDS_CANCEL));
    connect(pButtons, &QDialogButtonBox::accepted, this, &CGoToDlg::OnOK);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* pLayout = new QFormLayout(this);
    pLayout->addRow(pLabel, m_pEdit);
    pLayout->addRow(QString(), m_pDecimal);
    pLayout->addRow(pButtons);
    m_pEdit->setMinimumWidth(m_pEdit->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 24);
}

QString CGoToDlg::GetText() const
{
    return m_pEdit->text();
}

bool CGoToDlg::IsDecimal() const
{
    return m_pDecimal->isChecked();
}

void CGoToDlg::OnOK()
{
    if (m_check && !m_check(GetText(), IsDecimal())) {
        m_pEdit->setFocus();
        m_pEdit->selectAll();
        return;
    }
    accept();
}
