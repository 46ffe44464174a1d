#include "findreplacedialog.h"

#include "afxres.h"
#include "registeredmessage.h"
#include "resources.h"
#include "view.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <limits>

namespace {

constexpr unsigned kActions = FR_FINDNEXT | FR_REPLACE | FR_REPLACEALL | FR_DIALOGTERM;

QPushButton* AddButton(QVBoxLayout* pLayout, unsigned nStringID, const char* pszName)
{
    auto* pButton = new QPushButton(AfxLoadString(nStringID));
    pButton->setObjectName(QLatin1String(pszName));
    pLayout->addWidget(pButton);
    return pButton;
}

QLineEdit* AddTextRow(QGridLayout* pGrid, int nRow, unsigned nStringID, const char* pszName, const QString& strText)
{
    auto* pLabel = new QLabel(AfxLoadString(nStringID));
    auto* pEdit = new QLineEdit;
    pEdit->setObjectName(QLatin1String(pszName));
    // A line edit cuts what passes its maximum, silently.
    pEdit->setMaxLength(std::numeric_limits<int>::max());
    pEdit->setText(strText);
    pLabel->setBuddy(pEdit);
    pGrid->addWidget(pLabel, nRow, 0);
    pGrid->addWidget(pEdit, nRow, 1);
    return pEdit;
}

} // namespace

CFindReplaceDialog::CFindReplaceDialog() = default;

bool CFindReplaceDialog::Create(bool bFindDialogOnly, const QString& strFindWhat, const QString& strReplaceWith,
                                unsigned nFlags, CView* pParentWnd)
{
    if (m_pFindEdit)
        return false;
    m_nFlags = (nFlags & ~kActions) | FR_HIDEWHOLEWORD;
    m_pOwner = pParentWnd;
    setParent(pParentWnd, Qt::Dialog);
    setModal(false);
    setWindowTitle(AfxLoadString(bFindDialogOnly ? AFX_IDS_FIND_TITLE : AFX_IDS_REPLACE_TITLE));

    auto* pFields = new QGridLayout;
    m_pFindEdit = AddTextRow(pFields, 0, AFX_IDS_FIND_WHAT, "findWhat", strFindWhat);
    if (!bFindDialogOnly)
        m_pReplaceEdit = AddTextRow(pFields, 1, AFX_IDS_REPLACE_WITH, "replaceWith", strReplaceWith);

    m_pMatchCase = new QCheckBox(AfxLoadString(AFX_IDS_MATCH_CASE));
    m_pMatchCase->setObjectName(QStringLiteral("matchCase"));
    m_pMatchCase->setChecked(nFlags & FR_MATCHCASE);
    auto* pOptions = new QHBoxLayout;
    pOptions->addWidget(m_pMatchCase, 0, Qt::AlignBottom);
    if (bFindDialogOnly) {
        auto* pDirection = new QGroupBox(AfxLoadString(AFX_IDS_DIRECTION));
        m_pUp = new QRadioButton(AfxLoadString(AFX_IDS_UP));
        m_pUp->setObjectName(QStringLiteral("up"));
        m_pDown = new QRadioButton(AfxLoadString(AFX_IDS_DOWN));
        m_pDown->setObjectName(QStringLiteral("down"));
        (nFlags & FR_DOWN ? m_pDown : m_pUp)->setChecked(true);
        auto* pDirectionLayout = new QHBoxLayout(pDirection);
        pDirectionLayout->addWidget(m_pUp);
        pDirectionLayout->addWidget(m_pDown);
        pOptions->addWidget(pDirection);
    }
    pOptions->addStretch();

    auto* pLeft = new QVBoxLayout;
    pLeft->addLayout(pFields);
    pLeft->addLayout(pOptions);
    pLeft->addStretch();

    auto* pButtons = new QVBoxLayout;
    m_pFindNext = AddButton(pButtons, AFX_IDS_FIND_NEXT, "findNext");
    m_pFindNext->setDefault(true);
    connect(m_pFindNext, &QPushButton::clicked, this, [this] { Notify(FR_FINDNEXT); });
    if (!bFindDialogOnly) {
        m_pReplace = AddButton(pButtons, AFX_IDS_REPLACE, "replace");
        connect(m_pReplace, &QPushButton::clicked, this, [this] { Notify(FR_REPLACE); });
        m_pReplaceAll = AddButton(pButtons, AFX_IDS_REPLACE_ALL, "replaceAll");
        connect(m_pReplaceAll, &QPushButton::clicked, this, [this] { Notify(FR_REPLACEALL); });
    }
    QPushButton* pCancel = AddButton(pButtons, AFX_IDS_CANCEL, "cancel");
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);
    pButtons->addStretch();

    auto* pMain = new QHBoxLayout(this);
    pMain->addLayout(pLeft, 1);
    pMain->addLayout(pButtons);

    connect(m_pFindEdit, &QLineEdit::textChanged, this, &CFindReplaceDialog::UpdateButtons);
    UpdateButtons();
    m_pFindEdit->selectAll();
    show();
    m_pFindEdit->setFocus();
    return true;
}

CFindReplaceDialog* CFindReplaceDialog::GetNotifier(qintptr lParam)
{
    return reinterpret_cast<CFindReplaceDialog*>(lParam);
}

QString CFindReplaceDialog::GetFindString() const
{
    return m_pFindEdit ? m_pFindEdit->text() : QString();
}

QString CFindReplaceDialog::GetReplaceString() const
{
    return m_pReplaceEdit ? m_pReplaceEdit->text() : QString();
}

void CFindReplaceDialog::done(int r)
{
    // Every way of closing (Cancel, Escape, the window's close button) ends here.
    if (m_bTerminated)
        return;
    m_bTerminated = true;
    const QPointer<CFindReplaceDialog> self(this);
    Notify(FR_DIALOGTERM);
    if (!self)
        return;
    QDialog::done(r);
    deleteLater();
}

void CFindReplaceDialog::Notify(unsigned nAction)
{
    m_nFlags = (m_nFlags & ~(kActions | FR_MATCHCASE)) | nAction;
    if (m_pMatchCase && m_pMatchCase->isChecked())
        m_nFlags |= FR_MATCHCASE;
    // The replace form has no direction buttons and keeps the direction it was given.
    if (m_pDown)
        m_nFlags = m_pDown->isChecked() ? m_nFlags | FR_DOWN : m_nFlags & ~FR_DOWN;
    static const unsigned s_nFindMsg = RegisterWindowMessage(QLatin1String(FINDMSGSTRING));
    if (CView* pOwner = m_pOwner)
        pOwner->OnRegisteredMessage(s_nFindMsg, 0, reinterpret_cast<qintptr>(this));
}

void CFindReplaceDialog::UpdateButtons()
{
    const bool bHasText = !m_pFindEdit->text().isEmpty();
    m_pFindNext->setEnabled(bHasText);
    if (m_pReplace)
        m_pReplace->setEnabled(bHasText);
    if (m_pReplaceAll)
        m_pReplaceAll->setEnabled(bHasText);
}
