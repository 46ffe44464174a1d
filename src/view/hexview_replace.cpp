#include "hexview.h"

#include "afxmsg.h"
#include "beep.h"
#include "bytepattern.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"

#include <algorithm>

// After a replacement the search resumes past the bytes put in, so a replacement
// that holds the pattern is never replaced again. Replace All is the document's
// (CHexDoc::ReplaceAll).

bool CHexView::FindForReplace(const QByteArray& pattern)
{
    if (!pattern.isEmpty()) {
        if (m_nSelAnchor == m_nSelEnd && !FindPattern(pattern, m_bFindDown, m_bMatchCase)) {
            MessageBeep(0);
            return false;
        }
        if (SelectionMatches(pattern, m_bMatchCase) || FindPattern(pattern, m_bFindDown, m_bMatchCase))
            return true;
    }
    MessageBeep(0);
    return false;
}

void CHexView::ReplaceOne(const QString& strFind, bool bDown, bool bMatchCase, const QString& strReplace)
{
    m_strFind = strFind;
    m_bMatchCase = bMatchCase;
    m_bFindDown = bDown;
    QByteArray find;
    QByteArray replacement;
    if (!PatternOf(strFind, find) || !PatternOf(strReplace, replacement) || !FindForReplace(find))
        return;
    if (m_bResumeInsert)
        EndInsertPause();
    const CBytePattern pattern(find, bMatchCase);
    const std::uint32_t nStart = GetSelection().First();
    const std::uint32_t n = pattern.Length();
    const auto m = std::uint32_t(replacement.size());
    if (!ReplaceBytes(nStart, n, reinterpret_cast<const std::uint8_t*>(replacement.constData()), m))
        return;
    // Search on outside the bytes just put in: after them going down, before
    // them going up. Finding nothing leaves the selection on the replacement's
    // start, silently.
    const bool bFound = bDown ? FindFrom(pattern, nStart + m, true) : nStart >= n && FindFrom(pattern, nStart - n, false);
    KeepWithinEnd();
    if (bFound)
        ShowMatch();
    NoteStepAfter();
}

void CHexView::ReplaceAll(const QString& strFind, const QString& strReplace, bool bMatchCase)
{
    m_strFind = strFind;
    m_bMatchCase = bMatchCase;
    m_bFindDown = true;
    QByteArray find;
    QByteArray replacement;
    if (!PatternOf(strFind, find) || !PatternOf(strReplace, replacement) || !FindForReplace(find))
        return;
    if (m_bResumeInsert)
        EndInsertPause();
    const CBytePattern pattern(find, bMatchCase);
    std::uint32_t nLast = 0;
    const CHexDoc::EditResult result =
        GetDocument()->ReplaceAll(pattern, GetSelection().First(), replacement, EditState(), nLast);
    if (!ReportEdit(result))
        return;
    // The selection ends where replacing one by one leaves it: on the last
    // replacement's start, as long as the pattern.
    HideSelection();
    m_nSelAnchor = m_nCaretPos = nLast;
    m_nSelEnd = nLast + pattern.Length();
    KeepWithinEnd();
    ShowMatch();
    UpdateByteCount();
    NoteStepAfter();
}
