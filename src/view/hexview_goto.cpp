#include "hexview.h"

#include "afxmsg.h"
#include "gotodlg.h"
#include "gotooffset.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"

// The text starts as the caret's offset in the base last used, selected, so
// that typing replaces it.
void CHexView::OnEditGoTo()
{
    const qint64 nCaret = m_bSelection ? m_nSelEnd : m_nCaretPos;
    const QString strInitial = m_bGoToDecimal ? QString::number(nCaret) : QString::number(nCaret, 16).toUpper();
    CGoToDlg dlg(strInitial, m_bGoToDecimal,
                 [this](const QString& strText, bool bDecimal, bool bExtend) {
                     return GoToOffset(strText, bDecimal, bExtend);
                 },
                 this);
    dlg.exec();
    m_bGoToDecimal = dlg.IsDecimal();
    ResetCaret();
}

bool CHexView::GoToOffset(const QString& strText, bool bDecimal, bool bExtend)
{
    const qint64 nLength = GetDocument()->Length();
    const qint64 nCaret = m_bSelection ? m_nSelEnd : m_nCaretPos;
    qint64 nOffset = 0;
    std::uint64_t nPastEnd = 0;
    switch (ParseGoToOffset(strText, bDecimal, nCaret, nLength, &nOffset, &nPastEnd)) {
    case GoToResult::Ok:
        if (bExtend)
            ExtendSelectionTo(nOffset);
        else
            MoveCaretTo(nOffset);
        return true;
    case GoToResult::Invalid:
        AfxMessageBox(AfxLoadString(IDS_GOTO_INVALID).arg(strText.trimmed()), MB_OK | MB_ICONEXCLAMATION);
        return false;
    case GoToResult::BeforeStart:
        AfxMessageBox(AfxLoadString(IDS_GOTO_BEFORE_START).arg(strText.trimmed()), MB_OK | MB_ICONEXCLAMATION);
        return false;
    case GoToResult::PastEnd: {
        // The offset in both bases, as the end is named; digits past any offset
        // as they were typed.
        const QString strOffset = nPastEnd >= kGoToTooFar
                                      ? strText.trimmed()
                                      : QStringLiteral("%1 (0x%2)").arg(nPastEnd).arg(QString::number(nPastEnd, 16).toUpper());
        AfxMessageBox(AfxLoadString(IDS_GOTO_PAST_END)
                          .arg(strOffset, QString::number(nLength), QString::number(nLength, 16).toUpper()),
                      MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    }
    return false;
}

// A row already wholly in the window stays where it is; any other becomes the
// top row, as a found match does.
void CHexView::MoveCaretTo(qint64 nOffset)
{
    if (m_bResumeInsert)
        EndInsertPause();
    HideSelection();
    m_nCaretPos = m_nSelAnchor = m_nSelEnd = nOffset;
    m_bHighNibble = true;
    ShowRowOf(nOffset);
    ResetCaret();
}

// The selection, or one from the caret, extended to the offset, which is
// brought on screen as MoveCaretTo brings it.
void CHexView::ExtendSelectionTo(qint64 nOffset)
{
    if (m_bResumeInsert)
        EndInsertPause();
    if (!m_bSelection)
        m_nSelAnchor = m_nSelEnd = m_nCaretPos;
    ShowRowOf(nOffset);
    ExtendSelection(nOffset);
}

void CHexView::ShowRowOf(qint64 nOffset)
{
    if (m_nLineHeight) {
        const qint64 nLineHeight = m_nLineHeight;
        const qint64 nTopPixel = GetScrollPos(SB_VERT);
        const qint64 nRowPixel = nOffset / 16 * nLineHeight;
        if (nRowPixel < nTopPixel || nRowPixel + nLineHeight > nTopPixel + m_nClientHeight) {
            ScrollToPosition(0, nRowPixel);
            UpdateWindow();
        }
    }
}
