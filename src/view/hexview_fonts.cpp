#include "hexview.h"

#include "afxmsg.h"
#include "cmdui.h"
#include "codepage.h"
#include "hexdoc.h"
#include "perfilevalues.h"
#include "resource.h"
#include "resources.h"
#include "settingsprofile.h"
#include "utf8.h"

#include <QFontMetrics>
#include <QWheelEvent>

#include <algorithm>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kFontHeight = QStringLiteral("FontHeight");
const QString kFileCodePages = QStringLiteral("FileCodePages");

} // namespace

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
// code page, whose font is taken as it comes. The document's code page is set;
// every view of the document takes the font, at its own text size, when the
// document tells it of the change (OnCodePageChanged), this one also when the
// code page stays.
void CHexView::SetupScreenFont(int nCodePage)
{
    CLogFont logFont;
    logFont.lfCharSet = CharsetFromCodePage(nCodePage);
    if (!logFont.IsInstalled()) {
        // 933 and 937 are drawn with the Japanese and GB fonts, so they share
        // their messages.
        unsigned nIDMessage = 0;
        switch (logFont.lfCharSet) {
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
        nCodePage = GetDefaultCodePage();
        logFont.lfCharSet = CharsetFromCodePage(nCodePage);
    }
    CHexDoc* pDoc = GetDocument();
    if (!pDoc || !pDoc->SetCodePage(nCodePage))
        ApplyScreenFont(logFont.lfCharSet);
}

void CHexView::OnCodePageChanged(int nCodePage)
{
    ApplyScreenFont(CharsetFromCodePage(nCodePage));
}

void CHexView::ApplyScreenFont(std::uint8_t nCharSet)
{
    m_logFont = CLogFont();
    m_logFont.lfHeight = m_nFontHeight;
    m_logFont.lfWeight = FW_NORMAL;
    m_logFont.lfPitchAndFamily = FIXED_PITCH;
    m_logFont.lfCharSet = nCharSet;
    m_fontScreen = m_logFont.CreateFont();
    MeasureCells();
    LayOut();
    viewport()->update();
}

// A cell is as wide as the font's half-width glyphs (its digits and Latin
// letters), so that the ideographs of a font that draws them twice as wide sit
// side by side; a wider ideograph is squeezed into its two cells when drawn.
// A row is as high as the highest of the fonts of every code page at this
// size, so that the rows stay where they are when the code page changes.
void CHexView::MeasureCells()
{
    const QFontMetrics fm(m_fontScreen);
    m_nCharWidth = std::max({1, fm.horizontalAdvance(QLatin1Char('0')), fm.horizontalAdvance(QLatin1Char('W'))});
    int nLineHeight = fm.lineSpacing();
    for (const std::uint8_t nCharSet : {DEFAULT_CHARSET, GB2312_CHARSET, CHINESEBIG5_CHARSET, SHIFTJIS_CHARSET}) {
        CLogFont logFont = m_logFont;
        logFont.lfCharSet = nCharSet;
        if (logFont.IsInstalled())
            nLineHeight = std::max(nLineHeight, QFontMetrics(logFont.CreateFont()).lineSpacing());
    }
    m_nLineHeight = std::max(1, nLineHeight);
    m_nTextWidth = (kRowColumns + m_nOffsetExtra) * m_nCharWidth;
}

int CHexView::GetStoredFontHeight() const
{
    const CSettingsProfile* pProfile = GetServices().pProfile;
    const int nHeight = pProfile ? pProfile->GetProfileInt(kSettings, kFontHeight, kDefaultFontHeight)
                                 : kDefaultFontHeight;
    return std::clamp(nHeight, kMinFontHeight, kMaxFontHeight);
}

void CHexView::SetFontHeight(int nHeight)
{
    nHeight = std::clamp(nHeight, kMinFontHeight, kMaxFontHeight);
    if (CSettingsProfile* pProfile = GetServices().pProfile)
        pProfile->WriteProfileInt(kSettings, kFontHeight, nHeight);
    if (nHeight == m_nFontHeight)
        return;
    m_nFontHeight = nHeight;
    ApplyScreenFont(m_logFont.lfCharSet);
    updateGeometry();
}

void CHexView::RegisterZoomCommands()
{
    OnCommand(ID_VIEW_ZOOM_IN, [this] { SetFontHeight(m_nFontHeight + kFontHeightStep); });
    OnCommand(ID_VIEW_ZOOM_OUT, [this] { SetFontHeight(m_nFontHeight - kFontHeightStep); });
    OnCommand(ID_VIEW_ZOOM_RESET, [this] { SetFontHeight(kDefaultFontHeight); });
    OnUpdateCommand(ID_VIEW_ZOOM_IN, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(m_nFontHeight < kMaxFontHeight); });
    OnUpdateCommand(ID_VIEW_ZOOM_OUT, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(m_nFontHeight > kMinFontHeight); });
}

// Ctrl with the wheel zooms, a step a notch; without Ctrl the wheel scrolls.
void CHexView::wheelEvent(QWheelEvent* event)
{
    if (!event->modifiers().testFlag(Qt::ControlModifier)) {
        CScrollView::wheelEvent(event);
        return;
    }
    m_nWheelZoom += event->angleDelta().y();
    const int nSteps = m_nWheelZoom / QWheelEvent::DefaultDeltasPerStep;
    m_nWheelZoom -= nSteps * QWheelEvent::DefaultDeltasPerStep;
    if (nSteps != 0)
        SetFontHeight(m_nFontHeight + nSteps * kFontHeightStep);
    event->accept();
}

// The user's choice: shown, and remembered for the file's next open.
void CHexView::SetCodePage(int nCodePage)
{
    SetupScreenFont(nCodePage);
    CHexDoc* pDoc = GetDocument();
    CPerFileValues(GetServices().pProfile, kFileCodePages).Set(pDoc->GetPathName(), pDoc->GetCodePage());
    RememberedTables().Forget(pDoc->GetPathName());
}

// The guess from the bytes as they are now; the file's next open guesses too.
void CHexView::GuessCodePage()
{
    CHexDoc* pDoc = GetDocument();
    CPerFileValues(GetServices().pProfile, kFileCodePages).Forget(pDoc->GetPathName());
    RememberedTables().Forget(pDoc->GetPathName());
    const int nBefore = pDoc->GetCodePage();
    pDoc->GuessCodePage();
    if (pDoc->GetCodePage() != nBefore)
        SetupScreenFont(pDoc->GetCodePage());
}

int CHexView::RememberedCodePage(int nDefault) const
{
    return CPerFileValues(GetServices().pProfile, kFileCodePages).Get(GetDocument()->GetPathName(), nDefault);
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

// Whether the text column shows the code page: the document's, and no
// character table over it.
bool CHexView::ShowsCodePage(int nCodePage) const
{
    return !GetDocument()->GetCharTable() && GetDocument()->GetCodePage() == nCodePage;
}

// The View > Code Page items, enabled as the toolbar's buttons are: each for a code
// page other than the one on show, which is checked. While a table is shown
// every code page is enabled, and choosing one puts the table away.
void CHexView::RegisterCodePageMenu()
{
    static const struct {
        unsigned nID;
        int nCodePage;
    } kItems[] = {
        {ID_VIEW_CODEPAGE_GB, 936},       {ID_VIEW_CODEPAGE_BIG5, 950},   {ID_VIEW_CODEPAGE_SJIS, 932},
        {ID_VIEW_CODEPAGE_UTF8, kCodePageUtf8}, {ID_VIEW_CODEPAGE_KOREAN, 949}, {ID_VIEW_CODEPAGE_WESTERN, 1252},
    };
    // The toolbar's UTF-8 button, grey while UTF-8 is shown as the others are.
    OnCommand(ID_CODEPAGE_UTF8, [this] { SetCodePage(kCodePageUtf8); });
    OnUpdateCommand(ID_CODEPAGE_UTF8, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(!ShowsCodePage(kCodePageUtf8)); });
    OnCommand(ID_VIEW_CODEPAGE_GUESS, [this] { GuessCodePage(); });
    for (const auto& item : kItems) {
        const int nCodePage = item.nCodePage;
        OnCommand(item.nID, [this, nCodePage] { SetCodePage(nCodePage); });
        OnUpdateCommand(item.nID, [this, nCodePage](CCmdUI* pCmdUI) {
            pCmdUI->Enable(!ShowsCodePage(nCodePage));
            pCmdUI->SetRadio(ShowsCodePage(nCodePage));
        });
    }
}

void CHexView::OnUpdateCodePageGB(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!ShowsCodePage(936));
}

void CHexView::OnUpdateCodePageBig5(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!ShowsCodePage(950));
}

void CHexView::OnUpdateCodePageSjis(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!ShowsCodePage(932));
}
