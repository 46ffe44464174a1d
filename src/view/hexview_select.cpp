#include "hexview.h"

#include "afxmsg.h"
#include "afxres.h"
#include "clipboard.h"
#include "cmdui.h"
#include "codepage.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"

#include <algorithm>
#include <new>

void CHexView::RegisterSelectCommands()
{
    OnCommand(ID_EDIT_SELECT_ALL, [this] { OnEditSelectAll(); });
    OnUpdateCommand(ID_EDIT_SELECT_ALL, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(GetDocument()->Length() > 0); });
    OnCommand(ID_EDIT_COPY_HEX, [this] { OnEditCopyHex(); });
    OnUpdateCommand(ID_EDIT_COPY_HEX, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(m_bSelection); });
    OnCommand(ID_EDIT_GOTO, [this] { OnEditGoTo(); });
}

// The shown highlight goes first, so that its cells are repainted plain
// before the new regions are built. The caret hides while a selection shows,
// as during a drag.
void CHexView::SelectRange(qint64 nAnchor, qint64 nEnd)
{
    if (m_bResumeInsert)
        EndInsertPause();
    HideSelection();
    m_nSelAnchor = nAnchor;
    m_nSelEnd = nEnd;
    m_nCaretPos = nAnchor;
    if (IsCaretVisible())
        HideCaret();
    ShowSelection(nAnchor, nEnd);
    UpdateCaretPane();
}

void CHexView::OnEditSelectAll()
{
    const qint64 nLength = GetDocument()->Length();
    if (nLength > 0)
        SelectRange(0, nLength);
}

// The text is built whole before the clipboard is touched: a selection too
// large for memory leaves the clipboard as it was.
void CHexView::OnEditCopyHex()
{
    const CSelection sel = ShownSelection();
    if (sel.IsEmpty())
        return;
    const qint64 nStart = sel.First();
    const qint64 nLength = sel.Length();
    QByteArray bytes;
    if (!ReadRange(nStart, nLength, bytes))
        return;
    try {
        CClipboard::Instance()->SetText(QString::fromLatin1(bytes.toHex(' ').toUpper()));
    } catch (const std::bad_alloc&) {
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
    }
}

// Pairs as the text column does: from the row's first byte, or its second when
// the row begins with the trail byte of the row above's last character; a lead
// byte pairs only with a trail byte after it. The end marker is no trail byte.
void CHexView::CharacterAt(qint64 nOffset, qint64& nStart, qint64& nLength)
{
    const CHexDoc* pDoc = GetDocument();
    const qint64 nRow = nOffset / 16;
    qint64 nPos = nRow * 16;
    if (nRow > 0 && IsRowContinued(nRow, true)) {
        if (nOffset == nPos) {
            nStart = nPos - 1;
            nLength = 2;
            return;
        }
        ++nPos;
    }
    for (;;) {
        const bool bPair = nPos + 1 <= pDoc->Length() && IsLeadByte(pDoc->GetCodePage(), pDoc->ByteAt(nPos))
                           && IsTrailByte(pDoc->GetCodePage(), pDoc->ByteAt(nPos + 1));
        const qint64 n = bPair ? 2 : 1;
        if (nOffset < nPos + n) {
            nStart = nPos;
            nLength = n;
            return;
        }
        nPos += n;
    }
}

// A double-click selects the byte under the pointer, in the text column the
// whole character. The end marker is no byte: a double-click there leaves the
// caret on it.
void CHexView::OnLButtonDblClk(unsigned, const QPoint& point)
{
    if (!GetClientRect().contains(point))
        return;
    const qint64 nHit = HitTest(point, true);
    if (nHit >= GetDocument()->Length())
        return;
    qint64 nStart = nHit;
    qint64 nLength = 1;
    if (!m_bHexColumn)
        CharacterAt(nHit, nStart, nLength);
    SelectRange(nStart, nStart + nLength);
}

// The context menu's commands act on what was clicked: the caret goes to the
// clicked byte unless it lies in the selection, which then stays.
void CHexView::OnRButtonDown(unsigned, const QPoint& point)
{
    if (!GetClientRect().contains(point))
        return;
    const qint64 nHit = HitTest(point, true);
    if (m_bSelection && GetSelection().Contains(nHit))
        return;
    OnLButtonDown(0, point);
}

void CHexView::OnContextMenu(const QPoint& ptScreen)
{
    emit popupMenuRequested(IDR_HEXVIEW_CONTEXT, ptScreen);
}
