#include "hexview.h"

#include "afxres.h"
#include "beep.h"
#include "bytepattern.h"
#include "findreplacedialog.h"
#include "hexdoc.h"
#include "parsepattern.h"
#include "registeredmessage.h"

#include <algorithm>

namespace {

QString HexText(const QByteArray& bytes)
{
    QString strText;
    strText.reserve(bytes.size() * 3);
    for (const char b : bytes) {
        if (!strText.isEmpty())
            strText += QLatin1Char(',');
        strText += QString::asprintf("%02X", unsigned(std::uint8_t(b)));
    }
    return strText;
}

} // namespace

void CHexView::RegisterFindCommands()
{
    OnCommand(ID_EDIT_FIND, [this] { OnEditFind(); });
    OnCommand(ID_EDIT_REPLACE, [this] { OnEditReplace(); });
    OnCommand(ID_EDIT_REPEAT, [this] { OnEditRepeat(); });
}

bool CHexView::PatternOf(const QString& strText, QByteArray& pattern)
{
    const CEncodedText parsed = ParsePattern(strText, GetDocument()->GetCodePage(), GetDocument()->GetCharTable());
    if (parsed.bOk) {
        pattern = parsed.bytes;
        return true;
    }
    // The message names the character; EncodeOrRefuse words it.
    QByteArray unused;
    EncodeOrRefuse(strText, unused);
    return false;
}

QByteArray CHexView::GetSelectedBytes(qint64 nMax) const
{
    const CSelection sel = GetSelection();
    const qint64 n = std::min(sel.Length(), nMax);
    QByteArray bytes(qsizetype(n), Qt::Uninitialized);
    if (!GetDocument()->Read(sel.First(), n, reinterpret_cast<std::uint8_t*>(bytes.data())))
        return QByteArray();
    return bytes;
}

bool CHexView::SelectionShown() const
{
    return !ShownSelection().IsEmpty();
}

// Through a character table the table's letters fold, not the bytes of A-Z
// and a-z (see CTableFold).
CBytePattern CHexView::PatternFor(const QByteArray& pattern, bool bMatchCase) const
{
    const CHexDoc* pDoc = GetDocument();
    return CBytePattern(pattern, bMatchCase, pDoc->GetCodePage(), pDoc->GetCharTable());
}

bool CHexView::SelectionMatches(const CBytePattern& pattern) const
{
    const CSelection sel = GetSelection();
    if (sel.Length() != pattern.Length())
        return false;
    return GetDocument()->MatchesAt(sel.First(), pattern);
}

// A search starts at the caret, or with a selection shown at its anchor, and
// steps over the selection when it is an occurrence. Arrow keys move the caret
// and leave the anchor where the last click or Shift press put it, so without
// a shown selection the anchor says nothing.
CHexDoc::FindResult CHexView::FindPattern(const QByteArray& bytes, bool bDown, bool bMatchCase)
{
    const CBytePattern pattern = PatternFor(bytes, bMatchCase);
    const bool bShown = SelectionShown();
    qint64 s = bShown ? m_nSelAnchor : m_nCaretPos;
    if (bShown && SelectionMatches(pattern)) {
        // Step over the occurrence from its start, whichever end is the anchor.
        const qint64 nStart = GetSelection().First();
        if (!bDown && nStart == 0)
            return CHexDoc::FindResult::NotFound;
        s = bDown ? nStart + 1 : nStart - 1;
    } else if (!bDown && s == 0) {
        return CHexDoc::FindResult::NotFound;
    }
    return FindFrom(pattern, s, bDown);
}

// A cancelled search leaves the selection and the caret as they were.
CHexDoc::FindResult CHexView::FindFrom(const CBytePattern& pattern, qint64 nFrom, bool bDown)
{
    qint64 nFound = 0;
    const CHexDoc::FindResult result = GetDocument()->FindWithProgress(pattern, nFrom, bDown, nFound);
    if (result != CHexDoc::FindResult::Found)
        return result;
    HideSelection();
    m_nSelAnchor = m_nCaretPos = nFound;
    m_nSelEnd = nFound + pattern.Length();
    return result;
}

void CHexView::ShowMatch()
{
    const qint64 nTop = m_nSelAnchor / 16 * m_nLineHeight;
    ScrollToPosition(0, nTop);
    UpdateWindow();
    ShowSelection(m_nSelAnchor, m_nSelEnd);
    // The caret follows the match, so that it is not left on whatever byte the
    // scroll moved under its old place.
    PlaceCaret();
}

void CHexView::OpenFindDialog(bool bFindOnly)
{
    const QByteArray selected = GetSelectedBytes(kMaxOffered);
    const QString strInitial = selected.isEmpty() ? m_strFind : HexText(selected);
    unsigned nFlags = FR_HIDEWHOLEWORD;
    if (m_bFindDown)
        nFlags |= FR_DOWN;
    if (m_bMatchCase)
        nFlags |= FR_MATCHCASE;
    if (!m_pFindDlg) {
        m_pFindDlg = new CFindReplaceDialog;
        m_pFindDlg->Create(bFindOnly, strInitial, QString(), nFlags, this);
    } else {
        m_pFindDlg->show();
        m_pFindDlg->raise();
        m_pFindDlg->activateWindow();
    }
    m_strFind = strInitial;
}

qintptr CHexView::OnRegisteredMessage(unsigned nMsg, quintptr wParam, qintptr lParam)
{
    static const unsigned s_nFindMsg = RegisterWindowMessage(QLatin1String(FINDMSGSTRING));
    if (nMsg == s_nFindMsg)
        return OnFindReplace(wParam, lParam);
    return CScrollView::OnRegisteredMessage(nMsg, wParam, lParam);
}

qintptr CHexView::OnFindReplace(quintptr, qintptr lParam)
{
    CFindReplaceDialog* pDlg = CFindReplaceDialog::GetNotifier(lParam);
    m_bMatchCase = pDlg->MatchCase();
    m_bFindDown = pDlg->SearchDown();
    if (pDlg->IsTerminating()) {
        if (pDlg == m_pFindDlg)
            m_pFindDlg = nullptr;
    } else if (pDlg->FindNext()) {
        FindNext(pDlg->GetFindString(), m_bFindDown, m_bMatchCase);
    } else if (pDlg->ReplaceCurrent()) {
        ReplaceOne(pDlg->GetFindString(), m_bFindDown, m_bMatchCase, pDlg->GetReplaceString());
    } else if (pDlg->ReplaceAll()) {
        ReplaceAll(pDlg->GetFindString(), pDlg->GetReplaceString(), m_bMatchCase);
    }
    return 0;
}

void CHexView::FindNext(const QString& strText, bool bDown, bool bMatchCase)
{
    m_strFind = strText;
    m_bMatchCase = bMatchCase;
    m_bFindDown = bDown;
    OnEditRepeat();
}

void CHexView::OnEditFind()
{
    OpenFindDialog(true);
}

void CHexView::OnEditReplace()
{
    OpenFindDialog(false);
}

void CHexView::OnEditRepeat()
{
    QByteArray pattern;
    if (!PatternOf(m_strFind, pattern))
        return;
    switch (FindPattern(pattern, m_bFindDown, m_bMatchCase)) {
    case CHexDoc::FindResult::Found:
        ShowMatch();
        break;
    case CHexDoc::FindResult::NotFound:
        MessageBeep(0);
        break;
    case CHexDoc::FindResult::Cancelled:
        break;
    }
}
