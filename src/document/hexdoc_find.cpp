#include "hexdoc.h"

#include "bytepattern.h"
#include "longtask.h"
#include "resource.h"
#include "resources.h"

#include <algorithm>

bool CHexDoc::Find(const CBytePattern& pattern, qint64 nFrom64, bool bDown, qint64& nFound64) const
{
    if (m_pTable)
        return FindPieces(pattern, nFrom64, bDown, nFound64, nullptr) == CPieceTable::FindResult::Found;
    // A start before the document finds nothing going up, one past it nothing
    // going down; the others are narrowed to the buffer's offsets.
    if (m_nSize == 0 || (bDown ? nFrom64 > Length() : nFrom64 < 0))
        return false;
    const auto nFrom = std::uint32_t(std::clamp<qint64>(nFrom64, 0, Length()));
    std::uint32_t nFound = 0;
    const bool bFound = bDown ? pattern.FindDown(m_pData, m_nSize - 1, nFrom, nFound)
                              : pattern.FindUp(m_pData, m_nSize - 1, nFrom, nFound);
    if (bFound)
        nFound64 = nFound;
    return bFound;
}

// The scan goes a stretch of start offsets at a time and tells the task of each
// stretch it passed without a match, so that a match near the start never waits
// for a worker thread or a step. The document is only read: it may be searched
// on another thread while the windows repaint, and a cancel changes nothing.
CHexDoc::FindResult CHexDoc::FindWithProgress(const CBytePattern& pattern, qint64 nFrom64, bool bDown,
                                              qint64& nFound64) const
{
    if (bDown ? nFrom64 > Length() : nFrom64 < 0)
        return FindResult::NotFound;
    if (m_pTable) {
        const qint64 nLength = Length();
        const qint64 n = pattern.Length();
        if (n == 0 || n > nLength || (bDown && nFrom64 > nLength - n))
            return FindResult::NotFound;
        const qint64 nStart = std::min<qint64>(std::max<qint64>(nFrom64, 0), bDown ? nFrom64 : nLength - n);
        return FindPiecesWithProgress(pattern, nStart, bDown, bDown ? nLength - n - nStart + 1 : nStart + 1, nFound64);
    }
    auto nFrom = std::uint32_t(std::clamp<qint64>(nFrom64, 0, Length()));
    std::uint32_t nFound = 0;
    constexpr std::uint32_t kStretch = 1u << 20;
    const std::uint32_t nLength = GetLength();
    const std::uint32_t n = pattern.Length();
    if (n == 0 || n > nLength || (bDown && nFrom > nLength - n))
        return FindResult::NotFound;
    // The starts that can match: [nFrom, nLength - n] going down, [0, nFrom] going up.
    const std::uint32_t nLastStart = nLength - n;
    nFrom = std::min(nFrom, bDown ? nFrom : nLastStart);
    const std::uint32_t nStarts = bDown ? nLastStart - nFrom + 1 : nFrom + 1;
    if (nStarts <= kStretch)
        return Find(pattern, nFrom, bDown, nFound64) ? FindResult::Found : FindResult::NotFound;

    CLongTask task(AfxLoadString(IDS_SEARCHING).replace(QLatin1String("%1"), GetTitle()), qint64(nStarts));
    bool bFound = false;
    try {
        task.Run([&] {
            for (std::uint32_t nDone = 0; nDone < nStarts && !bFound;) {
                const std::uint32_t nStep = std::min(kStretch, nStarts - nDone);
                if (bDown) {
                    // The window of the stretch's last start ends n - 1 bytes after it.
                    const std::uint32_t nEnd = nFrom + nDone + nStep - 1 + n;
                    bFound = pattern.FindDown(m_pData, nEnd, nFrom + nDone, nFound);
                } else {
                    bFound = pattern.FindUp(m_pData, nLength, nFrom - nDone, nFound, nFrom - nDone - (nStep - 1));
                }
                nDone += nStep;
                if (!bFound && !task.Step(nStep))
                    throw CUserException();
            }
        });
    } catch (const CUserException&) {
        return FindResult::Cancelled;
    }
    if (bFound)
        nFound64 = nFound;
    return bFound ? FindResult::Found : FindResult::NotFound;
}

// The table steps the task after each block it passed without a match; a
// read that failed ends the search as not found, and the user is told why.
CHexDoc::FindResult CHexDoc::FindPiecesWithProgress(const CBytePattern& pattern, qint64 nFrom, bool bDown,
                                                    qint64 nStarts, qint64& nFound) const
{
    if (nStarts <= qint64(1) << 20)
        return Find(pattern, nFrom, bDown, nFound) ? FindResult::Found : FindResult::NotFound;
    CLongTask task(AfxLoadString(IDS_SEARCHING).replace(QLatin1String("%1"), GetTitle()), nStarts);
    CPieceTable::FindResult result = CPieceTable::FindResult::NotFound;
    task.Run([&] { result = FindPieces(pattern, nFrom, bDown, nFound, &task); });
    if (result == CPieceTable::FindResult::Cancelled)
        return FindResult::Cancelled;
    return result == CPieceTable::FindResult::Found ? FindResult::Found : FindResult::NotFound;
}

bool CHexDoc::MatchesAt(qint64 nAt, const CBytePattern& pattern) const
{
    if (m_pTable)
        return m_pTable->MatchesAt(pattern, nAt);
    return nAt >= 0 && nAt <= Length() && m_nSize != 0 && pattern.MatchesAt(m_pData, m_nSize - 1, std::uint32_t(nAt));
}
