#include "hexview.h"

#include "afxmsg.h"
#include "afxres.h"
#include "beep.h"
#include "bytepattern.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"

#include <algorithm>
#include <cstring>
#include <new>

// After a replacement the search resumes past the bytes put in, so a replacement
// that holds the pattern is never replaced again and Replace All always ends.
// Replace All builds the new buffer in one pass and installs it once: it costs
// one copy of the document however many occurrences it replaces.

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
    const CBytePattern pattern(find, bMatchCase);
    const std::uint32_t nStart = std::min(m_nSelAnchor, m_nSelEnd);
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
    const CBytePattern pattern(find, bMatchCase);
    if (!ReplaceAllFrom(pattern, std::min(m_nSelAnchor, m_nSelEnd), replacement))
        return;
    KeepWithinEnd();
    ShowMatch();
    UpdateByteCount();
    NoteStepAfter();
}

bool CHexView::ReplaceAllFrom(const CBytePattern& pattern, std::uint32_t nFirst, const QByteArray& replacement)
{
    CHexDoc* pDoc = GetDocument();
    const std::uint8_t* pOld = pDoc->m_pData;
    const std::uint32_t nLength = pDoc->m_nSize - 1;
    const std::uint32_t n = pattern.Length();
    const auto m = std::uint32_t(replacement.size());

    // First pass: count the occurrences, each searched for past the last one.
    std::uint64_t nCount = 1;
    std::uint32_t nLast = nFirst;
    for (std::uint32_t nAt = nFirst; pattern.FindDown(pOld, nLength, nAt + n, nAt); ++nCount)
        nLast = nAt;
    const std::uint64_t nNewLength = std::uint64_t(nLength) + nCount * m - nCount * n;
    if (nNewLength > std::min(CHexDoc::s_nMaxFileLength, CHexDoc::kMaxFileLength)) {
        AfxMessageBox(AfxLoadString(IDS_EDIT_TOO_LARGE)
                          .replace(QLatin1String("%1"), QString::number(CHexDoc::s_nMaxFileLength)),
                      MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    const auto nNewSize = std::uint32_t(nNewLength + 1);
    std::uint8_t* pNew = nullptr;
    try {
        pNew = CHexDoc::AllocBuffer(nNewSize);
    } catch (const std::bad_alloc&) {
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return false;
    }

    // The history keeps each occurrence's offset and old bytes.
    CEditStep step;
    const bool bKept = BeginStep(step, nCount * (n + sizeof(std::uint32_t)) + m);
    if (bKept) {
        try {
            step.offsets.reserve(std::size_t(nCount));
            step.removed.reserve(qsizetype(nCount * n));
        } catch (const std::bad_alloc&) {
            CHexDoc::FreeBuffer(pNew);
            AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
            return false;
        }
        step.nRemove = n;
        step.inserted = replacement;
    }

    // Second pass: copy around the same occurrences. The end marker travels
    // with the last stretch.
    std::memcpy(pNew, pOld, nFirst);
    std::uint8_t* pOut = pNew + nFirst;
    std::uint32_t nAt = nFirst;
    for (std::uint64_t i = 0; i < nCount; ++i) {
        if (bKept) {
            step.offsets.push_back(nAt);
            step.removed.append(reinterpret_cast<const char*>(pOld) + nAt, n);
        }
        std::memcpy(pOut, replacement.constData(), m);
        pOut += m;
        const std::uint32_t nTail = nAt + n;
        std::uint32_t nNext = pDoc->m_nSize;
        if (i + 1 < nCount)
            pattern.FindDown(pOld, nLength, nTail, nNext);
        std::memcpy(pOut, pOld + nTail, nNext - nTail);
        pOut += nNext - nTail;
        nAt = nNext;
    }

    // The selection ends where replacing one by one leaves it: on the last
    // replacement's start, n bytes long, in the new buffer's offsets.
    const auto nLastNew = std::uint32_t(nLast + (nCount - 1) * m - (nCount - 1) * n);
    HideSelection();
    m_nSelAnchor = m_nCaretPos = nLastNew;
    m_nSelEnd = nLastNew + n;

    pDoc->SetData(pNew);
    pDoc->m_nSize = nNewSize;
    EndStep(std::move(step), bKept);
    m_nRows = std::uint32_t((std::uint64_t(nNewSize) + 15) >> 4);
    UpdateScrollSizes();
    pDoc->SetModifiedFlag(true);
    InvalidateRowCache(nFirst);
    pDoc->UpdateAllViews(nullptr, 0);
    return true;
}
