#include "hexdoc.h"

#include "bytepattern.h"
#include "chartable.h"
#include "longtask.h"
#include "resource.h"
#include "resources.h"

#include <algorithm>
#include <cstring>
#include <new>

std::uint64_t CHexDoc::s_nDefaultUndoLimit = 256ull << 20;

bool CHexDoc::PastLimit(std::uint64_t nLength)
{
    return nLength > std::min(s_nMaxFileLength, kMaxFileLength);
}

bool CHexDoc::HistoryHolds(std::uint64_t nBytes) const
{
    return nBytes + sizeof(CEditStep) <= m_history.Limit();
}

// A step larger than the limit is not copied at all (bKept false): the change
// goes ahead and the history is emptied. So it is when the history finds no
// memory for the step: the bytes are changed by then, and that is no failure.
bool CHexDoc::Record(CEditStep&& step, bool bKept)
{
    try {
        CPieceStep* pPieces = step.pieceSteps.empty() ? nullptr : &step.pieceSteps.front();
        if (bKept && step.bTyping
            && m_history.ExtendTyping(step.offsets[0], step.removed, step.inserted, step.nRemove, pPieces))
            return true;
        if (bKept && m_history.Add(std::move(step)))
            return true;
    } catch (const std::bad_alloc&) {
    }
    m_history.Forget();
    return false;
}

// The modified flag follows the history; the views hear of the bytes after it.
void CHexDoc::AfterChange(qint64 nPos, qint64 nRemoved, qint64 nInserted)
{
    SetModifiedFlag(!m_history.IsAtSaved());
    emit bytesChanged(nPos, nRemoved, nInserted);
}

CHexDoc::EditResult CHexDoc::ReplaceBytes(qint64 nPos64, qint64 nRemove64, const std::uint8_t* pSrc, qint64 nInsert64,
                                          const CEditState& before, bool bTyping)
{
    if (m_pTable)
        return ReplacePieces(nPos64, nRemove64, pSrc, nInsert64, before, bTyping);
    // Offsets come in 64 bits; a range outside the document is refused before
    // they are narrowed, so none can wrap onto other bytes.
    if (nPos64 < 0 || nRemove64 < 0 || nInsert64 < 0 || nPos64 > Length() || nRemove64 > Length() - nPos64)
        return EditResult::Refused;
    if (PastLimit(std::uint64_t(Length() - nRemove64) + std::uint64_t(nInsert64)))
        return EditResult::TooLarge;
    const auto nPos = std::uint32_t(nPos64);
    const auto nRemove = std::uint32_t(nRemove64);
    const auto nInsert = std::uint32_t(nInsert64);
    if (m_nSize == 0 || std::uint64_t(nPos) + nRemove > m_nSize - 1u)
        return EditResult::Refused;
    if (nRemove == 0 && nInsert == 0)
        return EditResult::Done;
    if (PastLimit(std::uint64_t(m_nSize) - 1 - nRemove + nInsert))
        return EditResult::TooLarge;

    QByteArray copy;
    try {
        if (pSrc && pSrc + nInsert > m_pData && pSrc < m_pData + m_nSize) {
            copy = QByteArray(reinterpret_cast<const char*>(pSrc), nInsert);
            pSrc = reinterpret_cast<const std::uint8_t*>(copy.constData());
        }
        CEditStep step;
        const bool bKept = HistoryHolds(std::uint64_t(nRemove) + nInsert);
        step.before = before;
        step.bTyping = bTyping;
        if (bKept) {
            step.offsets = {nPos};
            step.nRemove = nRemove;
            step.removed = QByteArray(reinterpret_cast<const char*>(m_pData) + nPos, nRemove);
            step.inserted = QByteArray(reinterpret_cast<const char*>(pSrc), nInsert);
        }
        Splice(nPos, nRemove, pSrc, nInsert);
        const bool bRecorded = Record(std::move(step), bKept);
        AdjustBookmarks(1, [nPos](std::size_t) { return nPos; }, nRemove, nInsert,
                        bRecorded ? &m_history.Newest()->marksDone : nullptr);
        AfterChange(nPos, nRemove, nInsert);
        return bRecorded ? EditResult::Done : EditResult::DoneWithoutUndo;
    } catch (const std::bad_alloc&) {
        return EditResult::OutOfMemory;
    }
}

namespace {

// Replacements and matched bytes are mostly a few bytes long, where a call of
// memcpy costs more than the copy.
inline void CopyShort(std::uint8_t* pTo, const std::uint8_t* pFrom, std::uint32_t n)
{
    if (n > 16) {
        std::memcpy(pTo, pFrom, n);
        return;
    }
    for (std::uint32_t i = 0; i < n; ++i)
        pTo[i] = pFrom[i];
}

} // namespace

// The two passes run as a long task, possibly on another thread: they read the
// document and write a buffer of their own, which is installed only afterwards,
// so the windows repaint meanwhile and a cancel leaves the document and its
// history as they were. The task counts each byte of the rest of the document
// twice, once per pass.
//
// Runs of short occurrences (CD over a run of CD) make the cost per occurrence
// count: an occurrence right after the last one is taken without a scan, the
// progress is told at most once a MiB, and the history's offsets and old bytes
// are written into room set aside once.
CHexDoc::EditResult CHexDoc::ReplaceAll(const CBytePattern& pattern, qint64 nFirst,
                                        const QByteArray& replacement, const CEditState& before,
                                        qint64& nLast, std::uint64_t* pCount)
{
    if (m_pTable)
        return ReplaceAllPieces(pattern, nFirst, replacement, before, nLast, pCount);
    const std::uint32_t nLength = GetLength();
    qint64 nFound = 0;
    if (!Find(pattern, nFirst, true, nFound))
        return EditResult::Refused;
    const auto nStart = std::uint32_t(nFound);
    const std::uint8_t* pOld = m_pData;
    const std::uint32_t n = pattern.Length();
    const auto m = std::uint32_t(replacement.size());
    const auto* pReplacement = reinterpret_cast<const std::uint8_t*>(replacement.constData());

    CLongTask task(AfxLoadString(IDS_REPLACING).replace(QLatin1String("%1"), GetTitle()),
                   2 * qint64(nLength - nStart));
    constexpr qint64 kReport = qint64(1) << 20;
    qint64 nReported = 0;
    qint64 nNextReport = kReport;
    auto reach = [&](qint64 nDone) {
        const qint64 nStep = nDone - nReported;
        nReported = nDone;
        nNextReport = nDone + kReport;
        if (!task.Step(nStep))
            throw CUserException();
    };
    // The occurrence searched for past the last one, at nFrom or after it.
    auto next = [&](std::uint32_t nFrom, std::uint32_t& nAt) {
        if (pattern.StartsAt(pOld, nLength, nFrom)) {
            nAt = nFrom;
            return true;
        }
        return pattern.FindDown(pOld, nLength, nFrom, nAt);
    };
    CEditStep step;
    step.before = before;
    std::uint64_t nCount = 1;
    std::uint32_t nLastOld = nStart;
    std::uint64_t nNewLength = 0;
    bool bTooLarge = false;
    bool bKept = false;
    // The bookmarks need the offsets even when the history cannot keep them.
    const bool bMarks = !m_bookmarks.IsEmpty();
    std::uint8_t* pNew = nullptr;
    auto replace = [&] {
        // First pass: count the occurrences, each searched for past the last one.
        for (std::uint32_t nAt = nStart; next(nAt + n, nAt); ++nCount) {
            nLastOld = nAt;
            if (nAt - nStart >= nNextReport)
                reach(nAt - nStart);
        }
        reach(nLength - nStart);
        nNewLength = std::uint64_t(nLength) + nCount * m - nCount * n;
        if (PastLimit(nNewLength)) {
            bTooLarge = true;
            return;
        }
        pNew = AllocBuffer(std::uint32_t(nNewLength + 1));

        // The history keeps each occurrence's offset and old bytes.
        bKept = HistoryHolds(nCount * (n + sizeof(std::uint32_t)) + m);
        qint64* pOffset = nullptr;
        std::uint8_t* pRemoved = nullptr;
        if (bKept || bMarks) {
            step.offsets.resize(std::size_t(nCount));
            pOffset = step.offsets.data();
        }
        if (bKept) {
            step.removed.resize(qsizetype(nCount * n));
            step.nRemove = n;
            step.inserted = replacement;
            pRemoved = reinterpret_cast<std::uint8_t*>(step.removed.data());
        }

        // Second pass: copy around the same occurrences. The end marker travels
        // with the last stretch.
        std::memcpy(pNew, pOld, nStart);
        std::uint8_t* pOut = pNew + nStart;
        std::uint32_t nAt = nStart;
        const qint64 nFirstPass = nLength - nStart;
        for (std::uint64_t i = 0; i < nCount; ++i) {
            if (pOffset)
                *pOffset++ = nAt;
            if (bKept) {
                CopyShort(pRemoved, pOld + nAt, n);
                pRemoved += n;
            }
            CopyShort(pOut, pReplacement, m);
            pOut += m;
            const std::uint32_t nTail = nAt + n;
            std::uint32_t nNext = m_nSize;
            if (i + 1 < nCount)
                next(nTail, nNext);
            if (nNext != nTail) {
                std::memcpy(pOut, pOld + nTail, nNext - nTail);
                pOut += nNext - nTail;
            }
            nAt = nNext;
            if (nFirstPass + nAt - nStart >= nNextReport)
                reach(nFirstPass + std::min(nAt, nLength) - nStart);
        }
    };
    try {
        task.Run(replace);
    } catch (const CUserException&) {
        FreeBuffer(pNew);
        return EditResult::Cancelled;
    } catch (const std::bad_alloc&) {
        FreeBuffer(pNew);
        return EditResult::OutOfMemory;
    }
    if (bTooLarge)
        return EditResult::TooLarge;

    nLast = std::uint32_t(nLastOld + (nCount - 1) * m - (nCount - 1) * n);
    if (pCount)
        *pCount = nCount;
    const auto nNewSize = std::uint32_t(nNewLength + 1);
    SetData(pNew);
    m_nSize = nNewSize;
    AdjustBookmarks(step.offsets.size(), [&step](std::size_t i) { return step.offsets[i]; }, n, m,
                    bKept ? &step.marksDone : nullptr);
    const bool bRecorded = Record(std::move(step), bKept);
    AfterChange(nStart, nLength - nStart, std::uint32_t(nNewLength) - nStart);
    return bRecorded ? EditResult::Done : EditResult::DoneWithoutUndo;
}

CHexDoc::EditResult CHexDoc::Undo(CEditState& state)
{
    return UndoOrRedo(true, state);
}

CHexDoc::EditResult CHexDoc::Redo(CEditState& state)
{
    return UndoOrRedo(false, state);
}

CHexDoc::EditResult CHexDoc::UndoOrRedo(bool bUndo, CEditState& state)
{
    if (bUndo ? !m_history.CanUndo() : !m_history.CanRedo())
        return EditResult::Refused;
    const qint64 nOldLength = Length();
    CEditStep& step = bUndo ? m_history.Undo() : m_history.Redo();
    try {
        ApplyStep(step, bUndo);
    } catch (const std::bad_alloc&) {
        if (bUndo)
            m_history.Redo();
        else
            m_history.Undo();
        return EditResult::OutOfMemory;
    }
    StepBookmarks(step, bUndo);
    state = bUndo ? step.before : step.after;
    const qint64 nFirst = step.offsets.empty() ? 0 : step.offsets.front();
    if (step.offsets.size() == 1) {
        const auto nInserted = std::uint32_t(step.inserted.size());
        AfterChange(nFirst, bUndo ? nInserted : step.nRemove, bUndo ? step.nRemove : nInserted);
    } else {
        AfterChange(nFirst, nOldLength - nFirst, Length() - nFirst);
    }
    return EditResult::Done;
}

bool CHexDoc::SetCodePage(int nCodePage)
{
    if (nCodePage == m_nCodePage && !m_pCharTable)
        return false;
    m_nCodePage = nCodePage;
    ++m_nCodePageSets;
    m_pCharTable.reset();
    emit codePageChanged(nCodePage);
    return true;
}

void CHexDoc::SetCharTable(std::shared_ptr<const CCharTable> pTable)
{
    m_pCharTable = std::move(pTable);
    emit codePageChanged(m_nCodePage);
}

std::vector<CByteRange> CHexDoc::TakeDetection()
{
    std::vector<CByteRange> leadRuns;
    if (m_bDetected) {
        leadRuns.swap(m_leadRuns);
        m_bDetected = false;
    } else if (!m_bCodePageShown && !m_pTable) {
        SetCodePage(DetectCodePage(m_pData, m_nSize, &leadRuns));
    }
    m_bCodePageShown = true;
    return leadRuns;
}

void CHexDoc::AdoptBuffer(std::uint8_t* pData, std::uint32_t nSize)
{
    StopDetection();
    m_pTable.reset();
    SetData(pData);
    m_nSize = nSize;
    // New contents as a whole: the next window guesses their code page.
    m_bCodePageShown = false;
    m_history.Clear();
    m_history.MarkSaved();
    emit reloaded();
}

void CHexDoc::SetContents(const QByteArray& bytes)
{
    const auto nSize = std::uint32_t(bytes.size() + 1);
    std::uint8_t* pData = AllocBuffer(nSize);
    if (!bytes.isEmpty())
        std::memcpy(pData, bytes.constData(), std::size_t(bytes.size()));
    pData[nSize - 1] = 0xFF;
    AdoptBuffer(pData, nSize);
}

// The buffer is resized in place: the tail moves once, up or down, and a large
// buffer grows by remapping rather than by a second copy of the document. The
// resize comes first when growing and last when shrinking, so a failed
// allocation changes nothing. An overwrite moves nothing.
void CHexDoc::Splice(std::uint32_t nPos, std::uint32_t nRemove, const std::uint8_t* pSrc, std::uint32_t nInsert)
{
    if (nRemove == nInsert) {
        if (nInsert)
            std::memcpy(m_pData + nPos, pSrc, nInsert);
        return;
    }
    const std::uint32_t nNewSize = m_nSize - nRemove + nInsert;
    const std::uint32_t nTail = m_nSize - nPos - nRemove;
    if (nInsert > nRemove)
        ResizeData(nNewSize);
    std::uint8_t* p = m_pData;
    std::memmove(p + nPos + nInsert, p + nPos + nRemove, nTail);
    if (nInsert)
        std::memcpy(p + nPos, pSrc, nInsert);
    if (nInsert < nRemove) {
        try {
            ResizeData(nNewSize);
        } catch (const std::bad_alloc&) {
            // The buffer stays larger than the document; nothing is lost.
        }
    }
    m_nSize = nNewSize;
}
// A step of several pieces is done in one pass into a new buffer, the way
// Replace All made it: one copy of the document however many pieces.
void CHexDoc::ApplyStep(const CEditStep& step, bool bUndo)
{
    if (m_pTable) {
        if (bUndo) {
            for (auto it = step.pieceSteps.rbegin(); it != step.pieceSteps.rend(); ++it)
                m_pTable->Undo(*it);
        } else {
            for (const CPieceStep& pieces : step.pieceSteps)
                m_pTable->Redo(pieces);
        }
        return;
    }
    const std::size_t nPieces = step.offsets.size();
    const std::uint32_t nIn = step.nRemove;
    const auto nOut = std::uint32_t(step.inserted.size());
    const std::uint32_t nOld = bUndo ? nOut : nIn;
    const std::uint32_t nNew = bUndo ? nIn : nOut;
    const auto piece = [&](std::size_t i) {
        const char* p = bUndo ? step.removed.constData() + i * nIn : step.inserted.constData();
        return reinterpret_cast<const std::uint8_t*>(p);
    };
    const auto at = [&](std::size_t i) { return bUndo ? step.OffsetAfter(i) : step.offsets[i]; };
    if (nPieces == 1) {
        Splice(at(0), nOld, piece(0), nNew);
        return;
    }
    const auto nNewSize = std::uint32_t(std::int64_t(m_nSize) + std::int64_t(nPieces) * (std::int64_t(nNew) - nOld));
    std::uint8_t* pNew = AllocBuffer(nNewSize);
    std::uint8_t* pOut = pNew;
    std::uint32_t nFrom = 0;
    for (std::size_t i = 0; i < nPieces; ++i) {
        const std::uint32_t nAt = at(i);
        std::memcpy(pOut, m_pData + nFrom, nAt - nFrom);
        pOut += nAt - nFrom;
        std::memcpy(pOut, piece(i), nNew);
        pOut += nNew;
        nFrom = nAt + nOld;
    }
    std::memcpy(pOut, m_pData + nFrom, m_nSize - nFrom);
    SetData(pNew);
    m_nSize = nNewSize;
}
