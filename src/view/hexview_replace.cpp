#include "hexview.h"

#include "afxmsg.h"
#include "afxres.h"
#include "beep.h"
#include "bytepattern.h"
#include "hexdoc.h"
#include "longtask.h"
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
    if (m_bResumeInsert)
        EndInsertPause();
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
    if (m_bResumeInsert)
        EndInsertPause();
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

    // The two passes run as a long task, possibly on another thread: they read
    // the document and write a buffer of their own, which is installed only
    // afterwards, so the windows repaint meanwhile and a cancel leaves the
    // document and its history as they were. The task counts each byte of the
    // rest of the document twice, once per pass.
    CLongTask task(AfxLoadString(IDS_REPLACING).replace(QLatin1String("%1"), pDoc->GetTitle()),
                   2 * qint64(nLength - nFirst));
    qint64 nReported = 0;
    auto reach = [&task, &nReported](qint64 nDone, bool bAlways) {
        if (nDone - nReported < (qint64(1) << 20) && !bAlways)
            return;
        const qint64 nStep = nDone - nReported;
        nReported = nDone;
        if (!task.Step(nStep))
            throw CUserException();
    };
    CEditStep step;
    BeginStep(step, 0);   // the caret and selection before; what fits is known after counting
    std::uint64_t nCount = 1;
    std::uint32_t nLast = nFirst;
    std::uint64_t nNewLength = 0;
    bool bTooLarge = false;
    bool bKept = false;
    std::uint8_t* pNew = nullptr;
    auto replace = [&] {
        // First pass: count the occurrences, each searched for past the last one.
        for (std::uint32_t nAt = nFirst; pattern.FindDown(pOld, nLength, nAt + n, nAt); ++nCount) {
            nLast = nAt;
            reach(nAt - nFirst, false);
        }
        reach(nLength - nFirst, true);
        nNewLength = std::uint64_t(nLength) + nCount * m - nCount * n;
        if (nNewLength > std::min(CHexDoc::s_nMaxFileLength, CHexDoc::kMaxFileLength)) {
            bTooLarge = true;
            return;
        }
        pNew = CHexDoc::AllocBuffer(std::uint32_t(nNewLength + 1));

        // The history keeps each occurrence's offset and old bytes.
        bKept = HistoryHolds(nCount * (n + sizeof(std::uint32_t)) + m);
        if (bKept) {
            step.offsets.reserve(std::size_t(nCount));
            step.removed.reserve(qsizetype(nCount * n));
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
            reach(qint64(nLength - nFirst) + std::min(nAt, nLength) - nFirst, false);
        }
    };
    try {
        task.Run(replace);
    } catch (const CUserException&) {
        CHexDoc::FreeBuffer(pNew);
        return false;
    } catch (const std::bad_alloc&) {
        CHexDoc::FreeBuffer(pNew);
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return false;
    }
    if (bTooLarge) {
        AfxMessageBox(AfxLoadString(IDS_EDIT_TOO_LARGE)
                          .replace(QLatin1String("%1"), QString::number(CHexDoc::s_nMaxFileLength)),
                      MB_OK | MB_ICONEXCLAMATION);
        return false;
    }

    // The selection ends where replacing one by one leaves it: on the last
    // replacement's start, n bytes long, in the new buffer's offsets.
    const auto nLastNew = std::uint32_t(nLast + (nCount - 1) * m - (nCount - 1) * n);
    const auto nNewSize = std::uint32_t(nNewLength + 1);
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
