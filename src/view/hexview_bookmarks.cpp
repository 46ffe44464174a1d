#include "hexview.h"

#include "beep.h"
#include "cmdui.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"

#include <QPainter>

#include <algorithm>

void CHexView::RegisterBookmarkCommands()
{
    OnCommand(ID_EDIT_TOGGLE_BOOKMARK, [this] { OnEditToggleBookmark(); });
    OnUpdateCommand(ID_EDIT_TOGGLE_BOOKMARK, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(GetDocument()->Length() > 0); });
    OnCommand(ID_EDIT_NEXT_BOOKMARK, [this] { GoToBookmark(true); });
    OnCommand(ID_EDIT_PREV_BOOKMARK, [this] { GoToBookmark(false); });
    for (unsigned nID : {ID_EDIT_NEXT_BOOKMARK, ID_EDIT_PREV_BOOKMARK})
        OnUpdateCommand(nID, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(!GetDocument()->Bookmarks().IsEmpty()); });
}

// A selection toggles a bookmark of exactly its bytes; without one, the caret
// takes away the bookmark it stands in, or marks its byte.
void CHexView::OnEditToggleBookmark()
{
    CBookmarks& marks = GetDocument()->Bookmarks();
    if (m_bSelection && m_nSelAnchor != m_nSelEnd) {
        const CSelection sel = GetSelection();
        marks.Toggle(sel.First(), sel.Length());
        return;
    }
    if (m_nCaretPos >= GetDocument()->Length()) {
        MessageBeep(0);
        return;
    }
    const int i = marks.IndexAt(m_nCaretPos);
    if (i >= 0)
        marks.RemoveAt(i);
    else
        marks.Add(m_nCaretPos, 1);
}

// From the selection's first byte, or the caret: past the last bookmark the
// search goes on from the first, with a beep and a word in the status bar.
void CHexView::GoToBookmark(bool bForward)
{
    const CBookmarks& marks = GetDocument()->Bookmarks();
    const bool bSelected = m_bSelection && m_nSelAnchor != m_nSelEnd;
    const qint64 nFrom = bSelected ? GetSelection().First() : m_nCaretPos;
    bool bWrapped = false;
    const int i = marks.Neighbour(nFrom, bForward, bWrapped);
    if (i < 0) {
        MessageBeep(0);
        return;
    }
    if (bWrapped) {
        MessageBeep(0);
        ShowStatusMessage(AfxLoadString(bForward ? IDS_BOOKMARK_WRAPPED_START : IDS_BOOKMARK_WRAPPED_END));
    }
    const CBookmark& mark = marks.At(i);
    SelectAndShow(mark.nOffset, mark.End());
}

void CHexView::SelectAndShow(qint64 nStart, qint64 nEnd)
{
    nEnd = std::min(nEnd, GetDocument()->Length());
    if (nStart >= nEnd)
        return;
    MoveCaretTo(nStart);
    SelectRange(nStart, nEnd);
}

// A bar along the bottom of each bookmarked byte's cells, in both columns, over
// the gap between a row's two halves too. It is drawn last, over any
// highlight, and never on paper: printing draws its rows itself.
void CHexView::DrawBookmarks(QPainter* pDC, qint64 nFirstRow, qint64 nLastRow)
{
    const CBookmarks& marks = GetDocument()->Bookmarks();
    if (marks.IsEmpty())
        return;
    const bool bDark = GetColours().plainBack.lightnessF() < 0.5f;
    const QColor colour = bDark ? QColor(255, 176, 64) : QColor(224, 112, 0);
    const int nBar = std::max(2, m_nLineHeight / 8);
    const auto cellX = [this](int nColumn) { return qreal(ColumnX(nColumn)); };
    const qint64 nFrom = nFirstRow * 16;
    const qint64 nTo = std::min((nLastRow + 1) * 16, GetDocument()->Length());
    marks.ForEachIn(nFrom, nTo, [&](const CBookmark& mark) {
        const qint64 nStart = std::max(mark.nOffset, nFrom);
        const qint64 nEnd = std::min(mark.End(), nTo);
        for (qint64 nRow = nStart / 16; nRow * 16 < nEnd; ++nRow) {
            const int k1 = int(std::max(nStart, nRow * 16) - nRow * 16);
            const int k2 = int(std::min(nEnd, nRow * 16 + 16) - nRow * 16) - 1;
            const qreal y = qreal(nRow) * m_nLineHeight + 1 + m_nLineHeight - nBar;
            const int nHexFirst = 10 + 3 * k1 + (k1 >= 8 ? 1 : 0);
            const int nHexLast = 10 + 3 * k2 + (k2 >= 8 ? 1 : 0) + 2;
            pDC->fillRect(QRectF(cellX(nHexFirst), y, cellX(nHexLast) - cellX(nHexFirst), nBar), colour);
            pDC->fillRect(QRectF(cellX(62 + k1), y, cellX(63 + k2) - cellX(62 + k1), nBar), colour);
        }
    });
}
