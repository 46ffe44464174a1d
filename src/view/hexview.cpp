#include "hexview.h"

#include "codepage.h"
#include "hexdoc.h"
#include "resource.h"

#include <QFontMetrics>

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
    const int nDefault = GetDefaultCodePage();
    SetupScreenFont(nDefault);

    // The metrics are taken once, so they must hold every font a later change of
    // code page may bring: a cell as wide as the widest Latin letter and half the
    // widest ideograph, a line as high as the highest font.
    int nCharWidth = 1;
    int nLineHeight = 1;
    for (const int nCodePage : {nDefault, 936, 950, 932}) {
        CLogFont logFont = m_logFont;
        logFont.lfCharSet = CharsetFromCodePage(nCodePage);
        if (nCodePage != nDefault && !logFont.IsInstalled())
            continue;
        const QFontMetrics fm(nCodePage == nDefault ? m_fontScreen : logFont.CreateFont());
        nCharWidth = std::max({nCharWidth, fm.horizontalAdvance(QLatin1Char('0')),
                               fm.horizontalAdvance(QLatin1Char('W')), (fm.horizontalAdvance(QChar(0x4E2D)) + 1) / 2});
        nLineHeight = std::max(nLineHeight, fm.lineSpacing());
    }
    m_nCharWidth = nCharWidth;
    m_nLineHeight = std::uint32_t(nLineHeight);
    m_nTextWidth = 79 * nCharWidth;
    return 0;
}

void CHexView::OnSize(unsigned nType, int cx, int cy)
{
    CScrollView::OnSize(nType, cx, cy);
    if (cx <= 0 || cy <= 0)
        return;
    m_nClientWidth = cx;
    m_nClientHeight = cy;
    m_nLeftMargin = cx > m_nTextWidth ? (cx - m_nTextWidth) / 2 : 0;
    UpdateScrollSizes();
    FitCaretAndSelection();
    m_bRedrawSel = m_bSelection;
}

void CHexView::UpdateScrollSizes()
{
    if (m_nLineHeight == 0)
        return;
    const int nLineHeight = int(m_nLineHeight);
    // Whole rows; near 4 GiB their height passes what an int holds, which the
    // scrolling view takes in 64 bits.
    const qint64 nHeight = qint64(m_nRows) * nLineHeight;
    // A page is the rows that fit wholly; a window lower than a row still pages by one.
    const int nPageRows = std::max(1, m_nClientHeight / nLineHeight);
    SetScrollSizes(MM_TEXT, m_nTextWidth, nHeight, QSize(m_nClientWidth, nPageRows * nLineHeight),
                   QSize(m_nCharWidth, nLineHeight));
}

void CHexView::OnInitialUpdate()
{
    m_bInsertMode = true;
    m_bSelForward = true;
    m_bHighNibble = true;
    m_bHexColumn = true;
    m_bResumeInsert = false;
    m_bSelection = false;
    m_bRedrawSel = false;
    m_pFindDlg = nullptr;
    m_nRows = 0;
    m_nCaretPos = 0;
    m_nSelAnchor = 0;
    m_nSelEnd = 0;

    CHexDoc* pDoc = GetDocument();
    // The document may hold other bytes than when this view last saw it.
    m_rowFormat.InvalidateRowCache(0);
    std::vector<CByteRange> leadRuns;
    pDoc->m_nCodePage = DetectCodePage(pDoc->m_pData, pDoc->m_nSize, &leadRuns);
    m_rowFormat.AddLeadRuns(*pDoc, leadRuns);
    SetupScreenFont(pDoc->m_nCodePage);
    // In 64 bits: a 4 GiB buffer would wrap (m_nSize + 15) to a handful of rows.
    m_nRows = std::uint32_t((std::uint64_t(pDoc->m_nSize) + 15) >> 4);
    UpdateScrollSizes();
    CScrollView::OnInitialUpdate();
}
