#include "hexview.h"

#include "hexdoc.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPolygon>

#include <algorithm>

// The caret and the highlight regions are in client coordinates: a cell's pixel
// has both scroll positions taken off. Lines are kept within one line above and
// two below the window, which is all a caret or a polygon edge can show of rows
// further away, and keeps the pixel arithmetic in range whatever the offset.

int CHexView::LineOfOffset(qint64 nOffset) const
{
    if (m_nLineHeight == 0)
        return 0;
    const qint64 nTop = GetScrollPos(SB_VERT) / m_nLineHeight;
    const qint64 nLine = nOffset / 16 - nTop;
    const qint64 nBelow = m_nClientHeight / m_nLineHeight + 2;
    return int(std::clamp<qint64>(nLine, -1, nBelow));
}

QPoint CHexView::OffsetToCell(qint64 nOffset)
{
    const int k = int(nOffset % 16);
    const int nColumn = 10 + 3 * k + (k >= 8 ? 1 : 0) + (m_bHighNibble ? 0 : 1);
    return QPoint(nColumn, std::max(0, LineOfOffset(nOffset)));
}

void CHexView::ConvertColumn(int& nColumn, int& nLine)
{
    const qint64 nTop = m_nLineHeight ? GetScrollPos(SB_VERT) / m_nLineHeight : 0;
    if ((nColumn == 10 || nColumn == 11) && nTop + nLine > 0 && IsRowContinued(nTop + nLine, true)) {
        nColumn = 78;
        --nLine;
    } else if (nColumn >= 10 && nColumn <= 32) {
        nColumn = (nColumn - 10) / 3 + 62;
    } else if (nColumn >= 33 && nColumn <= 57) {
        nColumn = (nColumn - 35) / 3 + 70;
    } else if (nColumn >= 62 && nColumn <= 69) {
        nColumn = 3 * nColumn - 176;
    } else if (nColumn >= 70 && nColumn <= 77) {
        nColumn = 3 * nColumn - 175;
    } else if (nColumn == 78) {
        nColumn = 10;
        ++nLine;
    } else if (nColumn == 79) {
        nColumn = 11;
        ++nLine;
    }
}

int CHexView::ColumnX(int nColumn) const
{
    return m_nLeftMargin + (nColumn + (nColumn >= CRowFormat::kOffsetColumns ? m_nOffsetExtra : 0)) * m_nCharWidth;
}

QPoint CHexView::CellToClient(int nColumn, int nLine) const
{
    const int nFrac = m_nLineHeight ? int(GetScrollPos(SB_VERT) % m_nLineHeight) : 0;
    return QPoint(ColumnX(nColumn) - int(GetScrollPos(SB_HORZ)), nLine * m_nLineHeight - nFrac + 1);
}

// The text cell of an offset: the hex cell converted, with the line not raised,
// so that an offset above the window stays above it.
QPoint CHexView::TextCell(qint64 nOffset)
{
    int nColumn = OffsetToCell(nOffset).x();
    int nLine = LineOfOffset(nOffset);
    ConvertColumn(nColumn, nLine);
    return QPoint(nColumn, nLine);
}

// Takes the focus only in the active document window: a window resized in the
// background (tiling, cascading) must not become the active one. The caret
// stays hidden while a selection is shown, so that it never paints a cell of
// its own over or beside the highlight.
void CHexView::ResetCaret()
{
    const QMdiSubWindow* pFrame = GetParentFrame();
    if (!pFrame || !pFrame->mdiArea() || pFrame->mdiArea()->activeSubWindow() == pFrame)
        setFocus();
    DestroyCaret();
    CreateCaret(m_bInsertMode ? 2 : m_nCharWidth, m_nLineHeight);
    PlaceCaret();
    if (!m_bSelection)
        ShowCaret();
}

void CHexView::PlaceCaret()
{
    const QPoint cell(OffsetToCell(m_nCaretPos).x(), LineOfOffset(m_nCaretPos));
    const QPoint text = m_bHexColumn ? cell : TextCell(m_nCaretPos);
    SetCaretPos(CellToClient(text.x(), text.y()));
    UpdateCaretPane();
}

void CHexView::MoveLeft()
{
    if (m_bInsertMode) {
        if (m_nCaretPos > 0)
            --m_nCaretPos;
    } else if (m_bHexColumn) {
        if (m_nCaretPos == 0 && m_bHighNibble)
            return;
        if (m_bHighNibble) {
            --m_nCaretPos;
            m_bHighNibble = false;
        } else {
            m_bHighNibble = true;
        }
    } else if (m_nCaretPos > 0) {
        --m_nCaretPos;
    }
}

void CHexView::MoveRight()
{
    if (m_nCaretPos + 1 > GetDocument()->Length())
        return;
    if (m_bInsertMode || !m_bHexColumn) {
        ++m_nCaretPos;
    } else if (m_bHighNibble) {
        m_bHighNibble = false;
    } else {
        ++m_nCaretPos;
        m_bHighNibble = true;
    }
}

// A caret on the line just below the last whole line does not scroll, even when
// that line is wholly hidden.
void CHexView::ScrollDownToCaret(qint64 nOffset)
{
    if (m_nLineHeight && OffsetToCell(nOffset).y() > m_nClientHeight / m_nLineHeight)
        OnVScroll(SB_LINEDOWN, 0, nullptr);
}

// A caret on the top line of a scrolled window scrolls up one line, so that a
// line of context shows above it.
void CHexView::ScrollUpToCaret()
{
    if (OffsetToCell(m_nCaretPos).y() == 0 && GetScrollPos(SB_VERT) != 0)
        OnVScroll(SB_LINEUP, 0, nullptr);
}

// A vertical scroll keeps the selection, wherever its ends now are: its
// regions are built again over its bytes and the window repainted whole, so
// that no highlight is left where the rows moved away.
void CHexView::OnVScroll(unsigned nSBCode, unsigned nPos, QScrollBar* pScrollBar)
{
    CScrollView::OnVScroll(nSBCode, nPos, pScrollBar);
    if (m_bSelection) {
        RebuildSelectionRegions();
        InvalidateRect(GetClientRect(), false);
    }
    PlaceCaret();
}

// A sideways scroll keeps the selection: its regions move with the columns.
void CHexView::OnHScroll(unsigned nSBCode, unsigned nPos, QScrollBar* pScrollBar)
{
    CScrollView::OnHScroll(nSBCode, nPos, pScrollBar);
    RebuildSelectionRegions();
    PlaceCaret();
}

void CHexView::FitCaretAndSelection()
{
    RebuildSelectionRegions();
    ResetCaret();
}

// The regions of a shown selection built again where its bytes now are on
// screen, after a scroll or a change of geometry or bytes.
void CHexView::RebuildSelectionRegions()
{
    if (!m_bSelection)
        return;
    BuildHexRegion(m_nSelAnchor, m_nSelEnd);
    BuildTextRegion(m_nSelAnchor, m_nSelEnd);
}

void CHexView::ExtendSelection(qint64 nEnd)
{
    HideCaret();
    // A key that moved the caret to the other digit moves both ends of the hex
    // highlight by a cell: the one built for the old digit goes first.
    if (m_bSelHighNibble != m_bHighNibble)
        HideSelection();
    // An end that crosses the anchor repaints the whole window plain first. The
    // side the old end lies on is read from the selection itself, which Find,
    // Replace All and Undo set without a key or a drag.
    if ((nEnd < m_nSelAnchor && m_nSelEnd > m_nSelAnchor) || (nEnd > m_nSelAnchor && m_nSelEnd < m_nSelAnchor)) {
        m_bSelection = false;
        InvalidateRect(GetClientRect(), false);
        UpdateWindow();
    }
    if ((nEnd >= m_nSelAnchor && m_nSelEnd >= nEnd) || (nEnd <= m_nSelAnchor && m_nSelEnd <= nEnd)) {
        // The strip between the new and the old end goes back to plain.
        m_bSelection = false;
        RepaintRegions(m_nSelEnd, nEnd);
    }
    m_nSelEnd = nEnd;
    ShowSelection(m_nSelAnchor, nEnd);
    UpdateCaretPane();
}

// The caret hides while a selection shows.
void CHexView::ShowSelection(qint64 a, qint64 b)
{
    if (IsCaretVisible())
        HideCaret();
    m_bSelection = true;
    RepaintRegions(a, b);
}

void CHexView::HideSelection()
{
    if (!m_bSelection)
        return;
    m_bSelection = false;
    RepaintRegion(m_rgnHex);
    RepaintRegion(m_rgnText);
}

// Builds the regions of bytes a to b and repaints them, which paints them in or
// out of the highlight as m_bSelection says. Both regions are built before
// either is painted: a synchronous paint also takes in whatever else is waiting
// to be painted (a scroll's whole window), and that paint must find the text
// region of the same bytes as the hex region, not the previous selection's.
void CHexView::RepaintRegions(qint64 a, qint64 b)
{
    BuildHexRegion(a, b);
    BuildTextRegion(a, b);
    RepaintRegion(m_rgnHex);
    RepaintRegion(m_rgnText);
}

// An empty region would stand for the whole window when invalidated; a
// selection of no bytes has nothing to repaint.
void CHexView::RepaintRegion(QRegion& rgn)
{
    if (rgn.isEmpty())
        return;
    InvalidateRgn(&rgn, false);
    UpdateWindow();
}

void CHexView::SetRegion(QRegion& rgn, const QPoint (&cells)[8]) const
{
    QPolygon polygon;
    for (const QPoint& cell : cells)
        polygon << CellToClient(cell.x(), cell.y());
    rgn = QRegion(polygon, Qt::WindingFill);
}

// While the selection is shown the right edge stops after the last selected
// pair; while a strip is being un-highlighted the left edge takes in the blank
// before its first pair, which the longer highlight covered.
void CHexView::BuildHexRegion(qint64 a, qint64 b)
{
    const qint64 lo = CSelection(a, b).First();
    const qint64 hi = CSelection(a, b).Beyond();
    int c1 = OffsetToCell(lo).x();
    int c2 = OffsetToCell(hi).x();
    const int r1 = LineOfOffset(lo);
    const int r2 = LineOfOffset(hi);
    if (m_bSelection) {
        m_bSelHighNibble = m_bHighNibble;
        c2 -= hi % 16 == 8 ? 2 : 1;
    } else {
        c1 -= lo % 16 == 8 ? 2 : 1;
    }
    const QPoint cells[8] = {{c1, r1}, {58, r1}, {58, r2}, {c2, r2}, {c2, r2 + 1}, {10, r2 + 1}, {10, r1 + 1}, {c1, r1 + 1}};
    SetRegion(m_rgnHex, cells);
}

// Column 79 is the right edge of the spill column, so a character drawn across
// the end of a row is covered whole.
void CHexView::BuildTextRegion(qint64 a, qint64 b)
{
    const QPoint t1 = TextCell(CSelection(a, b).First());
    const QPoint t2 = TextCell(CSelection(a, b).Beyond());
    const QPoint cells[8] = {{t1.x(), t1.y()}, {79, t1.y()}, {79, t2.y()}, {t2.x(), t2.y()},
                             {t2.x(), t2.y() + 1}, {62, t2.y() + 1}, {62, t1.y() + 1}, {t1.x(), t1.y() + 1}};
    SetRegion(m_rgnText, cells);
}

void CHexView::OnActivateView(bool bActivate, CView* pActivateView, CView* pDeactiveView)
{
    CScrollView::OnActivateView(bActivate, pActivateView, pDeactiveView);
    if (!bActivate)
        return;
    m_bRedrawSel = m_bSelection;
    PlaceCaret();
    UpdateByteCount();
}
