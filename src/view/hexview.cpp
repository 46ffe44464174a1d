#include "hexview.h"

#include "codepage.h"
#include "hexdoc.h"
#include "resource.h"

#include <QFontMetrics>
#include <QStyle>

#include <algorithm>


CHexView::CHexView(QWidget* pParent) : CScrollView(pParent)
{
    OnCommand(ID_CODEPAGE_GB, [this] { OnCodePageGB(); });
    OnCommand(ID_CODEPAGE_BIG5, [this] { OnCodePageBig5(); });
    OnCommand(ID_CODEPAGE_SJIS, [this] { OnCodePageSjis(); });
    OnUpdateCommand(ID_CODEPAGE_GB, [this](CCmdUI* pCmdUI) { OnUpdateCodePageGB(pCmdUI); });
    OnUpdateCommand(ID_CODEPAGE_BIG5, [this](CCmdUI* pCmdUI) { OnUpdateCodePageBig5(pCmdUI); });
    OnUpdateCommand(ID_CODEPAGE_SJIS, [this](CCmdUI* pCmdUI) { OnUpdateCodePageSjis(pCmdUI); });
    RegisterCodePageMenu();
    RegisterPrintCommands();
    RegisterCommandUI();
    RegisterEditCommands();
    RegisterSelectCommands();
    RegisterFindCommands();
    RegisterZoomCommands();
    RegisterBookmarkCommands();
    RegisterTableCommands();
}

CHexView::~CHexView() = default;

CHexDoc* CHexView::GetDocument() const
{
    return qobject_cast<CHexDoc*>(CScrollView::GetDocument());
}

int CHexView::OnCreate()
{
    if (CScrollView::OnCreate() == -1)
        return -1;
    // The document's code page and its font come with OnInitialUpdate.
    m_nFontHeight = GetStoredFontHeight();
    ApplyScreenFont(CharsetFromCodePage(GetDefaultCodePage()));
    return 0;
}

void CHexView::OnSize(unsigned nType, int cx, int cy)
{
    CScrollView::OnSize(nType, cx, cy);
    if (cx <= 0 || cy <= 0)
        return;
    m_nClientWidth = cx;
    m_nClientHeight = cy;
    LayOut();
}

// The document's bytes and the end marker after them, 16 to a row.
qint64 CHexView::RowCount() const
{
    const CHexDoc* pDoc = GetDocument();
    return pDoc ? (pDoc->Length() + 1 + 15) >> 4 : 0;
}

// A file whose last row lies at 4 GiB or beyond has a wider offset column, the
// same for all its rows, and everything right of it moves over by as much.
bool CHexView::FitOffsetColumn()
{
    const CHexDoc* pDoc = GetDocument();
    const int nExtra = pDoc ? CRowFormat::OffsetColumns(std::uint64_t(pDoc->Length())) - CRowFormat::kOffsetColumns : 0;
    if (nExtra == m_nOffsetExtra)
        return false;
    m_nOffsetExtra = nExtra;
    m_nTextWidth = (kRowColumns + m_nOffsetExtra) * m_nCharWidth;
    return true;
}

void CHexView::LayOut()
{
    if (m_nClientWidth <= 0)
        return;
    m_nLeftMargin = m_nClientWidth > m_nTextWidth ? (m_nClientWidth - m_nTextWidth) / 2 : 0;
    UpdateScrollSizes();
    const CHexDoc* pDoc = GetDocument();
    if (pDoc)
        FitCaretAndSelection();
    m_bRedrawSel = m_bSelection;
}

QSize CHexView::sizeHint() const
{
    // Room for both scroll bars, and a cell to spare so that the horizontal one
    // does not come for a pixel.
    const int frame = 2 * frameWidth();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return QSize(m_nTextWidth + m_nCharWidth + frame + scrollBar,
                 kPreferredRows * m_nLineHeight + frame + scrollBar);
}

void CHexView::UpdateScrollSizes()
{
    if (m_nLineHeight == 0)
        return;
    const int nLineHeight = m_nLineHeight;
    // Whole rows; near 4 GiB their height passes what an int holds, which the
    // scrolling view takes in 64 bits.
    const qint64 nHeight = m_nRows * nLineHeight;
    // A page is the rows that fit wholly; a window lower than a row still pages by one.
    const int nPageRows = std::max(1, m_nClientHeight / nLineHeight);
    SetScrollSizes(MM_TEXT, m_nTextWidth, nHeight, QSize(m_nClientWidth, nPageRows * nLineHeight),
                   QSize(m_nCharWidth, nLineHeight));
}

void CHexView::OnInitialUpdate()
{
    m_bInsertMode = GetStoredInsertMode();
    m_bHighNibble = true;
    m_bHexColumn = true;
    m_bResumeInsert = false;
    m_bSelection = false;
    m_bRedrawSel = false;
    m_pFindDlg = nullptr;
    m_nRows = 0;
    m_nOffsetExtra = 0;
    m_nTextWidth = kRowColumns * m_nCharWidth;
    m_nCaretPos = 0;
    m_nSelAnchor = 0;
    m_nSelEnd = 0;

    CHexDoc* pDoc = GetDocument();
    // The document may hold other bytes than when this view last saw it.
    m_rowFormat.InvalidateRowCache(0);
    // The load detected the code page of the bytes it read; a later window
    // (the bytes may have changed since) or a new document scans them here.
    ConnectDocument();
    // A file just read shows the code page the user last chose for it, if any,
    // in place of the guess, and the character table last chosen for it.
    const bool bLoaded = pDoc->IsDetected();
    const std::vector<CByteRange> leadRuns = pDoc->TakeDetection();
    m_rowFormat.AddLeadRuns(*pDoc, leadRuns);
    const int nRemembered = bLoaded ? RememberedCodePage(0) : 0;
    SetupScreenFont(IsShownCodePage(nRemembered) ? nRemembered : pDoc->GetCodePage());
    if (bLoaded)
        LoadRememberedTable();
    m_nRows = RowCount();
    if (FitOffsetColumn())
        LayOut();
    UpdateScrollSizes();
    CScrollView::OnInitialUpdate();
}
