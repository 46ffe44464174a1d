#include "hexdoc.h"

#include "bytepattern.h"
#include "longtask.h"
#include "resource.h"
#include "resources.h"

#include <algorithm>

bool CHexDoc::Find(const CBytePattern& pattern, std::uint32_t nFrom, bool bDown, std::uint32_t& nFound) const
{
    if (m_pTable) {
        qint64 nAt = 0;
        if (FindPieces(pattern, nFrom, bDown, nAt, nullptr) != CPieceTable::FindResult::Found)
            return false;
        nFound = std::uint32_t(nAt);
        return true;
    }
    if (m_nSize == 0)
        return false;
    return bDown ? pattern.FindDown(m_pData, m_nSize - 1, nFrom, nFound)
                 : pattern.FindUp(m_pData, m_nSize - 1, nFrom, nFound);
}

// The scan goes a stretch of start offsets at a time and tells the task of each
// stretch it passed without a match, so that a match near the start never waits
// for a worker thread or a step. The document is only read: it may be searched
// on another thread while the windows repaint, and a cancel changes nothing.
CHexDoc::FindResult CHexDoc::FindWithProgress(const CBytePattern& pattern, std::uint32_t nFrom, bool bDown,
                                              std::uint32_t& nFound) const
{
    constexpr std::uint32_t kStretch = 1u << 20;
    if (m_pTable) {
        const qint64 nLength = Length();
        const qint64 n = pattern.Length();
        if (n == 0 || n > nLength || (bDown && nFrom > nLength - n))
            return FindResult::NotFound;
        const qint64 nStart = std::min<qint64>(nFrom, bDown ? nFrom : nLength - n);
        return FindPiecesWithProgress(pattern, nStart, bDown, bDown ? nLength - n - nStart + 1 : nStart + 1, nFound);
    }
    const std::uint32_t nLength = GetLength();
    const std::uint32_t n = pattern.Length();
    if (n == 0 || n > nLength || (bDown && nFrom > nLength - n))
        return FindResult::NotFound;
    // The starts that can match: [nFrom, nLength - n] going down, [0, nFrom] going up.
    const std::uint32_t nLastStart = nLength - n;
    nFrom = std::min(nFrom, bDown ? nFrom : nLastStart);
    const std::uint32_t nStarts = bDown ? nLastStart - nFrom + 1 : nFrom + 1;
    if (nStarts <= kStretch)
        return Find(pattern, nFrom, bDown, nFound) ? FindResult::Found : FindResult::NotFound;

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
    return bFound ? FindResult::Found : FindResult::NotFound;
}

// The table steps the task after each block it passed without a match; a
// read that failed ends the search as not found, and the user is told why.
CHexDoc::FindResult CHexDoc::FindPiecesWithProgress(const CBytePattern& pattern, qint64 nFrom, bool bDown,
                                                    qint64 nStarts, std::uint32_t& nFound) const
{
    if (nStarts <= qint64(1) << 20) {
        qint64 nAt = 0;
        if (FindPieces(pattern, nFrom, bDown, nAt, nullptr) != CPieceTable::FindResult::Found)
            return FindResult::NotFound;
        nFound = std::uint32_t(nAt);
        return FindResult::Found;
    }
    CLongTask task(AfxLoadString(IDS_SEARCHING).replace(QLatin1String("%1"), GetTitle()), nStarts);
    CPieceTable::FindResult result = CPieceTable::FindResult::NotFound;
    qint64 nAt = 0;
    task.Run([&] { result = FindPieces(pattern, nFrom, bDown, nAt, &task); });
    if (result == CPieceTable::FindResult::Cancelled)
        return FindResult::Cancelled;
    if (result != CPieceTable::FindResult::Found)
        return FindResult::NotFound;
    nFound = std::uint32_t(nAt);
    return FindResult::Found;
}

bool CHexDoc::MatchesAt(std::uint32_t nAt, const CBytePattern& pattern) const
{
    if (m_pTable)
        return m_pTable->MatchesAt(pattern, nAt);
    return m_nSize != 0 && pattern.MatchesAt(m_pData, m_nSize - 1, nAt);
}
