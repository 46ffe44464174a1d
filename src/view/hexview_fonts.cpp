#include "hexview.h"

#include "afxmsg.h"
#include "cmdui.h"
#include "codepage.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"
#include "utf8.h"

std::uint8_t CHexView::CharsetFromCodePage(int nCodePage)
{
    switch (nCodePage) {
    case 932:
    case 933:
        return SHIFTJIS_CHARSET;
    case 936:
    case 937:
        return GB2312_CHARSET;
    case 950:
        return CHINESEBIG5_CHARSET;
    default:
        return DEFAULT_CHARSET;
    }
}

// Builds the screen font for a code page. Without an installed font for its script
// the user is told which to install, and the document falls back to the system's
// code page, whose font is taken as it comes. Either way every view of the
// document repaints. The cell metrics stay those OnCreate measured.
void CHexView::SetupScreenFont(int nCodePage)
{
    m_logFont = CLogFont();
    m_logFont.lfHeight = 16;
    m_logFont.lfWeight = FW_NORMAL;
    m_logFont.lfPitchAndFamily = FIXED_PITCH;
    m_logFont.lfCharSet = CharsetFromCodePage(nCodePage);
    m_fontScreen = m_logFont.CreateFont();

    CHexDoc* pDoc = GetDocument();
    if (!m_logFont.IsInstalled()) {
        // 933 and 937 are drawn with the Japanese and GB fonts, so they share
        // their messages.
        unsigned nIDMessage = 0;
        switch (m_logFont.lfCharSet) {
        case GB2312_CHARSET:
            nIDMessage = IDS_NOFONT_GB;
            break;
        case CHINESEBIG5_CHARSET:
            nIDMessage = IDS_NOFONT_BIG5;
            break;
        case SHIFTJIS_CHARSET:
            nIDMessage = IDS_NOFONT_SJIS;
            break;
        }
        if (nIDMessage != 0)
            AfxMessageBox(AfxLoadString(nIDMessage), MB_OK);
        const int nDefault = GetDefaultCodePage();
        m_logFont.lfCharSet = CharsetFromCodePage(nDefault);
        if (pDoc)
            pDoc->m_nCodePage = nDefault;
        m_fontScreen = m_logFont.CreateFont();
    }
    if (pDoc)
        pDoc->UpdateAllViews(nullptr);
}

void CHexView::SetCodePage(int nCodePage)
{
    GetDocument()->m_nCodePage = nCodePage;
    SetupScreenFont(nCodePage);
}

void CHexView::OnCodePageGB()
{
    SetCodePage(936);
}

void CHexView::OnCodePageBig5()
{
    SetCodePage(950);
}

void CHexView::OnCodePageSjis()
{
    SetCodePage(932);
}

// The View > Code Page items, enabled as the toolbar's buttons are: each for a code
// page other than the one on show, which is checked.
void CHexView::RegisterCodePageMenu()
{
    static const struct {
        unsigned nID;
        int nCodePage;
    } kItems[] = {
        {ID_VIEW_CODEPAGE_GB, 936},       {ID_VIEW_CODEPAGE_BIG5, 950},   {ID_VIEW_CODEPAGE_SJIS, 932},
        {ID_VIEW_CODEPAGE_UTF8, kCodePageUtf8}, {ID_VIEW_CODEPAGE_KOREAN, 949}, {ID_VIEW_CODEPAGE_WESTERN, 1252},
    };
    for (const auto& item : kItems) {
        const int nCodePage = item.nCodePage;
        OnCommand(item.nID, [this, nCodePage] { SetCodePage(nCodePage); });
        OnUpdateCommand(item.nID, [this, nCodePage](CCmdUI* pCmdUI) {
            pCmdUI->Enable(GetDocument()->m_nCodePage != nCodePage);
            pCmdUI->SetRadio(GetDocument()->m_nCodePage == nCodePage);
        });
    }
}

void CHexView::OnUpdateCodePageGB(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(GetDocument()->m_nCodePage != 936);
}

void CHexView::OnUpdateCodePageBig5(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(GetDocument()->m_nCodePage != 950);
}

void CHexView::OnUpdateCodePageSjis(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(GetDocument()->m_nCodePage != 932);
}
