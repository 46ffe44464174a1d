#include "piecetable.h"

#include "bytepattern.h"
#include "codepage.h"
#include "fileblocks.h"
#include "longtask.h"
#include "rowformat.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>

// Each block is read into one buffer that is used again and again (the bytes
// come from the file's page cache into memory the processor keeps close), or
// is taken in place where it lies in added bytes, and scanned as a document of
// its own by the pattern's block scans. Blocks overlap by the pattern's length
// less one, so no match is lost between them. A pattern whose match depends
// on how the bytes before it pair starts each block where the pairing walk of
// the whole document lands; the scans treat a block's first byte as landed on.

bool CPieceTable::LandingAtOrBefore(qint64 nPos, int nCodePage, qint64& nLanding, qint64 (&run)[2]) const
{
    // run[0], run[1]: a run of lead bytes [run[0], run[1]) whose start the
    // walk lands on, found by an earlier call; going up, the next block's
    // start usually lies in it, which saves scanning back over a long run
    // again for every block.
    qint64 q = nPos;
    QByteArray hold;
    // Runs are mostly short: the look back starts small and doubles.
    for (qint64 nChunk = 16; q > 0 && !(q > run[0] && q <= run[1]); nChunk = std::min<qint64>(2 * nChunk, 4096)) {
        const qint64 nKnown = KnownLeadStart(0, q, nCodePage);
        if (nKnown < q) {
            q = nKnown;
            continue;
        }
        const qint64 n = std::min(q, nChunk);
        const std::uint8_t* p = Span(q - n, n, hold);
        if (!p)
            return false;
        qint64 j = n;
        while (j > 0 && IsLeadByte(nCodePage, p[j - 1]))
            --j;
        q -= n - j;
        if (j > 0)
            break;
    }
    const qint64 nRunStart = q > run[0] && q <= run[1] ? run[0] : q;
    run[0] = nRunStart;
    run[1] = nPos;
    nLanding = nPos;
    if ((nPos - nRunStart) % 2 != 0 && nPos < GetLength()) {
        std::uint8_t b = 0;
        if (!Read(nPos, 1, &b))
            return false;
        if (IsTrailByte(nCodePage, b))
            nLanding = nPos - 1;
    }
    return true;
}

// Each piece of the file maps its bytes to the file's blocks; added bytes
// are never noted, so the step back stops at them.
qint64 CPieceTable::KnownLeadStart(qint64 nFloor, qint64 nPos, int nCodePage) const
{
    if (!m_pFile || nFloor < 0 || nPos <= nFloor || nPos > GetLength())
        return nPos;
    const CLeadBlocks& leads = m_pFile->Leads();
    const qint64 nBlock = m_pFile->GetBlockSize();
    qint64 p = nPos;
    for (std::size_t i = PieceAt(p - 1); p > nFloor && !m_pieces[i].pAdded; --i) {
        const CPiece& piece = m_pieces[i];
        const qint64 nStart = m_starts[i];
        // The file's bytes [nLow, nHigh) are the document's [max(nFloor, nStart), p).
        const qint64 nLow = piece.nSource + (std::max(nFloor, nStart) - nStart);
        const qint64 nHigh = piece.nSource + (p - nStart);
        const qint64 nLast = (nHigh - 1) / nBlock;
        const qint64 nFrom = leads.AllLeadFrom(nLow / nBlock, nLast, nCodePage);
        if (nFrom > nLast)
            break;
        const qint64 nSourceFrom = std::max(nFrom * nBlock, nLow);
        p = nStart + (nSourceFrom - piece.nSource);
        if (nSourceFrom > nLow || i == 0)
            break;
    }
    return p;
}

// Within a block every occurrence is searched for past the last one, as over
// the whole document; one that starts past the block's starts is left to the
// next block, which then starts past the last occurrence.
CPieceTable::FindResult CPieceTable::FindEach(const CBytePattern& pattern, qint64 nFrom,
                                              const std::function<bool(qint64)>& found, CLongTask* pTask) const
{
    const qint64 nLength = GetLength();
    const qint64 n = pattern.Length();
    if (n == 0 || n > nLength || nFrom < 0 || nFrom > nLength - n)
        return FindResult::NotFound;
    const qint64 nLastStart = nLength - n;
    const bool bPairs = pattern.DependsOnPairing();
    const int nCodePage = pattern.CodePage();
    const qint64 nStarts = std::max<qint64>(s_nFindBlock, 1);
    qint64 run[2] = {0, 0};
    QByteArray hold;
    bool bFound = false;
    qint64 nStart = nFrom;
    qint64 nBlock = nFrom;
    if (bPairs && !LandingAtOrBefore(nFrom, nCodePage, nBlock, run))
        return FindResult::ReadFailed;
    for (;;) {
        // The block holds the windows of the starts up to nStartsEnd, and
        // one byte more, which tells where the next block starts.
        const qint64 nStartsEnd = std::min(nLastStart, nStart + nStarts - 1);
        const qint64 nEnd = std::min(nLength, nStartsEnd + n + 1);
        const std::uint8_t* p = Span(nBlock, nEnd - nBlock, hold);
        if (!p)
            return FindResult::ReadFailed;
        qint64 nNext = nStartsEnd + 1;
        std::uint32_t nAt = 0;
        for (qint64 nSearch = nStart;
             nSearch <= nStartsEnd
             && pattern.FindDown(p, std::uint32_t(nEnd - nBlock), std::uint32_t(nSearch - nBlock), nAt)
             && nBlock + nAt <= nStartsEnd;) {
            bFound = true;
            if (!found(nBlock + nAt))
                return FindResult::Found;
            nSearch = nBlock + nAt + n;
            nNext = std::max(nNext, nSearch);
        }
        if (pTask && !pTask->Step(nStartsEnd - nStart + 1))
            return FindResult::Cancelled;
        if (nNext > nLastStart)
            return bFound ? FindResult::Found : FindResult::NotFound;
        nBlock = !bPairs || CRowFormat::LandsOn(p, 0, std::uint32_t(nNext - nBlock), nCodePage) ? nNext : nNext - 1;
        nStart = nNext;
    }
}

namespace {

// Lowers value to nCandidate when that is lower, from any thread.
void LowerTo(std::atomic<qint64>& value, qint64 nCandidate)
{
    qint64 nNow = value.load();
    while (nCandidate < nNow && !value.compare_exchange_weak(nNow, nCandidate)) {
    }
}

} // namespace

// Copying a block out of the page cache costs about twice what scanning it
// does, and one thread copies at a few GB/s: two threads take the blocks in
// turn, the even ones here and the odd ones on a thread of their own, which
// reaches the speed of a scan of the whole document held in memory far more
// nearly (docs/benchmarks.md, "The AMD Zen 4 machine"). Each thread stops at
// its first occurrence, and either stops once its next block starts past the
// first occurrence or failed read seen so far, so what is found is the first
// occurrence, and a failed read is reported only where no occurrence lies
// before it, as when the blocks are taken one by one. Only a pattern whose
// match does not depend on how the bytes before it pair: each block then starts
// where it likes.
CPieceTable::FindResult CPieceTable::FindDownInTurns(const CBytePattern& pattern, qint64 nFrom, qint64& nFound,
                                                     CLongTask* pTask) const
{
    const qint64 nLength = GetLength();
    const qint64 n = pattern.Length();
    const qint64 nLastStart = nLength - n;
    const qint64 nStarts = std::max<qint64>(s_nFindBlock, 1);
    const qint64 nBlocks = (nLastStart - nFrom) / nStarts + 1;
    constexpr qint64 kNone = std::numeric_limits<qint64>::max();
    std::atomic<qint64> nFirst{kNone};
    std::atomic<qint64> nFailed{kNone};
    std::atomic<bool> bCancelled{false};
    const auto scan = [&](qint64 nBlock, bool bSteps) {
        QByteArray hold;
        for (; nBlock < nBlocks && !bCancelled.load(); nBlock += 2) {
            const qint64 nStart = nFrom + nBlock * nStarts;
            if (nStart > nFirst.load() || nStart > nFailed.load())
                return;
            const qint64 nStartsEnd = std::min(nLastStart, nStart + nStarts - 1);
            const qint64 nEnd = std::min(nLength, nStartsEnd + n);
            const std::uint8_t* p = Span(nStart, nEnd - nStart, hold);
            if (!p) {
                LowerTo(nFailed, nStart);
                return;
            }
            std::uint32_t nAt = 0;
            if (pattern.FindDown(p, std::uint32_t(nEnd - nStart), 0, nAt) && nStart + nAt <= nStartsEnd) {
                LowerTo(nFirst, nStart + nAt);
                return;
            }
            // This thread tells the task of both threads' starts.
            if (bSteps && pTask && !pTask->Step(2 * (nStartsEnd - nStart + 1)))
                bCancelled = true;
        }
    };
    std::thread other(scan, 1, false);
    scan(0, true);
    other.join();
    if (nFirst.load() < nFailed.load()) {
        nFound = nFirst.load();
        return FindResult::Found;
    }
    if (nFailed.load() != kNone)
        return FindResult::ReadFailed;
    return bCancelled.load() ? FindResult::Cancelled : FindResult::NotFound;
}

CPieceTable::FindResult CPieceTable::Find(const CBytePattern& pattern, qint64 nFrom, bool bDown, qint64& nFound,
                                          CLongTask* pTask) const
{
    const qint64 n = pattern.Length();
    if (bDown && !pattern.DependsOnPairing() && n > 0 && n <= GetLength() && nFrom >= 0 && nFrom <= GetLength() - n
        && (GetLength() - n - nFrom) / std::max<qint64>(s_nFindBlock, 1) >= kBlocksInTurns)
        return FindDownInTurns(pattern, nFrom, nFound, pTask);
    if (bDown) {
        return FindEach(pattern, nFrom, [&nFound](qint64 nAt) {
            nFound = nAt;
            return false;
        }, pTask);
    }
    if (n == 0 || n > GetLength() || nFrom < 0)
        return FindResult::NotFound;
    qint64 run[2] = {0, 0};
    QByteArray hold;
    const qint64 nStarts = std::max<qint64>(s_nFindBlock, 1);
    for (qint64 nHigh = std::min(nFrom, GetLength() - n);;) {
        const qint64 nLow = std::max<qint64>(0, nHigh - nStarts + 1);
        qint64 nBlock = nLow;
        if (pattern.DependsOnPairing() && !LandingAtOrBefore(nLow, pattern.CodePage(), nBlock, run))
            return FindResult::ReadFailed;
        const qint64 nEnd = nHigh + n;
        const std::uint8_t* p = Span(nBlock, nEnd - nBlock, hold);
        if (!p)
            return FindResult::ReadFailed;
        std::uint32_t nAt = 0;
        if (pattern.FindUp(p, std::uint32_t(nEnd - nBlock), std::uint32_t(nHigh - nBlock), nAt,
                           std::uint32_t(nLow - nBlock))) {
            nFound = nBlock + nAt;
            return FindResult::Found;
        }
        if (pTask && !pTask->Step(nHigh - nLow + 1))
            return FindResult::Cancelled;
        if (nLow == 0)
            return FindResult::NotFound;
        nHigh = nLow - 1;
    }
}

bool CPieceTable::MatchesAt(const CBytePattern& pattern, qint64 nAt) const
{
    const qint64 n = pattern.Length();
    if (n == 0 || nAt < 0 || nAt > GetLength() - n)
        return false;
    qint64 nBlock = nAt;
    qint64 run[2] = {0, 0};
    if (pattern.DependsOnPairing() && !LandingAtOrBefore(nAt, pattern.CodePage(), nBlock, run))
        return false;
    // One byte past the match where there is one: the rule may look at it.
    const qint64 nEnd = std::min(GetLength(), nAt + n + 1);
    QByteArray hold;
    const std::uint8_t* p = Span(nBlock, nEnd - nBlock, hold);
    return p && pattern.MatchesAt(p, std::uint32_t(nEnd - nBlock), std::uint32_t(nAt - nBlock));
}
