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

// A shown selection that is an occurrence is replaced; otherwise the next one
// is found and selected first.
bool CHexView::FindForReplace(const QByteArray& pattern)
{
    if (pattern.isEmpty()) {
        MessageBeep(0);
        return false;
    }
    if (SelectionShown() && SelectionMatches(PatternFor(pattern, m_bMatchCase)))
        return true;
    switch (FindPattern(pattern, m_bFindDown, m_bMatchCase)) {
    case CHexDoc::FindResult::Found:
        return true;
    case CHexDoc::FindResult::NotFound:
        MessageBeep(0);
        return false;
    case CHexDoc::FindResult::Cancelled:
        return false;
    }
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
    const CBytePattern pattern = PatternFor(find, bMatchCase);
    const qint64 nStart = GetSelection().First();
    const qint64 n = pattern.Length();
    const qint64 m = replacement.size();
    if (!ReplaceBytes(nStart, n, reinterpret_cast<const std::uint8_t*>(replacement.constData()), m))
        return;
    // Search on outside the bytes just put in: after them going down, before
    // them going up. Finding nothing, or a search cancelled, leaves the
    // selection on the replacement's start, silently.
    const bool bFound = bDown ? FindFrom(pattern, nStart + m, true) == CHexDoc::FindResult::Found
                              : nStart >= n && FindFrom(pattern, nStart - n, false) == CHexDoc::FindResult::Found;
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
    qint64 nLast = 0;
    std::uint64_t nCount = 0;
    const CHexDoc::EditResult result = GetDocument()->ReplaceAll(
        PatternFor(find, bMatchCase), GetSelection().First(), replacement, EditState(), nLast, &nCount);
    if (!ReportEdit(result))
        return;
    // The last replacement ends selected, its own bytes whatever the find
    // text's length, and the status bar says how many there were.
    HideSelection();
    m_nSelAnchor = m_nCaretPos = nLast;
    m_nSelEnd = nLast + replacement.size();
    KeepWithinEnd();
    ShowMatch();
    UpdateByteCount();
    NoteStepAfter();
    // A change the history could not keep says so with the count, which
    // would otherwise take the warning's place.
    ShowStatusMessage(
        AfxLoadString(result == CHexDoc::EditResult::DoneWithoutUndo ? IDS_REPLACED_NO_UNDO : IDS_REPLACED)
            .arg(nCount));
}
