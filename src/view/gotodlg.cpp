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
#include <QRegularExpression>

CGoToDlg::CGoToDlg(const QString& strInitial, bool bDecimal, Check check, QWidget* pParent)
    : QDialog(pParent), m_pEdit(new QLineEdit(strInitial)),
      m_pDecimal(new QCheckBox(AfxLoadString(IDS_GOTO_DECIMAL))),
      m_pExtend(new QCheckBox(AfxLoadString(IDS_GOTO_EXTEND))), m_check(std::move(check))
{
    setWindowTitle(AfxLoadString(IDS_GOTO_TITLE));
    setObjectName(QStringLiteral("GoToDialog"));
    m_pEdit->setObjectName(QStringLiteral("offset"));
    m_pEdit->setPlaceholderText(QStringLiteral("1A2B, 0x1A2B, +10, -10"));
    m_pEdit->selectAll();
    m_pDecimal->setObjectName(QStringLiteral("decimal"));
    m_pDecimal->setChecked(bDecimal);
    connect(m_pDecimal, &QCheckBox::toggled, this, &CGoToDlg::OnDecimalToggled);
    m_pExtend->setObjectName(QStringLiteral("extend"));

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
    pLayout->addRow(QString(), m_pExtend);
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

bool CGoToDlg::IsExtend() const
{
    return m_pExtend->isChecked();
}

// A number typed in one base keeps its value in the other: "1A" becomes "26"
// when Decimal is ticked. Anything else in the line stays as it is.
void CGoToDlg::OnDecimalToggled(bool bDecimal)
{
    static const QRegularExpression hex(QStringLiteral("^\\s*([+-]?)(?:0[xX])?([0-9A-Fa-f]+)\\s*$"));
    static const QRegularExpression dec(QStringLiteral("^\\s*([+-]?)([0-9]+)\\s*$"));
    const QRegularExpressionMatch match = (bDecimal ? hex : dec).match(m_pEdit->text());
    if (!match.hasMatch())
        return;
    bool bOk = false;
    const qulonglong nValue = match.captured(2).toULongLong(&bOk, bDecimal ? 16 : 10);
    if (!bOk)
        return;
    const bool bWhole = m_pEdit->selectedText() == m_pEdit->text();
    m_pEdit->setText(match.captured(1) + (bDecimal ? QString::number(nValue) : QString::number(nValue, 16).toUpper()));
    if (bWhole)
        m_pEdit->selectAll();
}

void CGoToDlg::OnOK()
{
    if (m_check && !m_check(GetText(), IsDecimal(), IsExtend())) {
        m_pEdit->setFocus();
        m_pEdit->selectAll();
        return;
    }
    accept();
}
