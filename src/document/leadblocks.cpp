#include "leadblocks.h"

#include <algorithm>

namespace {

enum : std::uint8_t {
    kSet932 = 1,
    kSetGb = 2,   // 936 and 950: 0xA1-0xFE
    kSet949 = 4,  // 0x81-0xFE
};

} // namespace

CLeadBlocks::~CLeadBlocks()
{
    Clear();
}

void CLeadBlocks::Clear()
{
    const qint64 nChunks = (m_nBlocks + kChunkBlocks - 1) / kChunkBlocks;
    for (qint64 i = 0; i < nChunks; ++i)
        delete m_chunks[std::size_t(i)].load(std::memory_order_relaxed);
    m_chunks.reset();
    m_nBlocks = 0;
}

void CLeadBlocks::Reset(qint64 nBlocks)
{
    Clear();
    m_nBlocks = std::max<qint64>(nBlocks, 0);
    const qint64 nChunks = (m_nBlocks + kChunkBlocks - 1) / kChunkBlocks;
    m_chunks = std::make_unique<std::atomic<Chunk*>[]>(std::size_t(nChunks));
    for (qint64 i = 0; i < nChunks; ++i)
        m_chunks[std::size_t(i)].store(nullptr, std::memory_order_relaxed);
}

std::uint8_t CLeadBlocks::Get(qint64 nIndex) const
{
    const Chunk* pChunk = m_chunks[std::size_t(nIndex / kChunkBlocks)].load(std::memory_order_acquire);
    return pChunk ? pChunk->blocks[nIndex % kChunkBlocks].load(std::memory_order_relaxed) : 0;
}

std::uint8_t CLeadBlocks::SetOf(int nCodePage)
{
    switch (nCodePage) {
    case 932:
        return kSet932;
    case 936:
    case 950:
        return kSetGb;
    case 949:
        return kSet949;
    default:
        return 0;
    }
}

// The smallest and largest byte decide the two sets of one range of bytes;
// 932's two ranges leave a gap (0xA0-0xDF) looked for only when the rest fit.
std::uint8_t CLeadBlocks::Classify(const std::uint8_t* p, qint64 n)
{
    if (n <= 0)
        return 0;
    std::uint8_t nMin = 0xFF;
    std::uint8_t nMax = 0;
    qint64 i = 0;
    // In chunks, so that the compiler keeps the loop in vector registers and
    // a block of plain text stops after its first chunk.
    constexpr qint64 kChunk = 256;
    for (; i < n; i += kChunk) {
        const qint64 nEnd = std::min(n, i + kChunk);
        for (qint64 j = i; j < nEnd; ++j) {
            nMin = std::min(nMin, p[j]);
            nMax = std::max(nMax, p[j]);
        }
        if (nMin < 0x81 || nMax > 0xFE)
            return 0;
    }
    std::uint8_t sets = kSet949;
    if (nMin >= 0xA1)
        sets |= kSetGb;
    if (nMax <= 0xFC) {
        bool bGap = false;
        for (qint64 j = 0; j < n && !bGap; ++j)
            bGap = std::uint8_t(p[j] - 0xA0) < 0x40;
        if (!bGap)
            sets |= kSet932;
    }
    return sets;
}

void CLeadBlocks::Note(qint64 nIndex, const std::uint8_t* p, qint64 n)
{
    if (nIndex < 0 || nIndex >= m_nBlocks)
        return;
    // The first note of a chunk makes it; of two threads making it at once,
    // one chunk is kept and the other thrown away.
    std::atomic<Chunk*>& slot = m_chunks[std::size_t(nIndex / kChunkBlocks)];
    Chunk* pChunk = slot.load(std::memory_order_acquire);
    if (!pChunk) {
        auto pNew = std::make_unique<Chunk>();
        if (slot.compare_exchange_strong(pChunk, pNew.get(), std::memory_order_acq_rel, std::memory_order_acquire))
            pChunk = pNew.release();
    }
    pChunk->blocks[nIndex % kChunkBlocks].store(std::uint8_t(kKnown | Classify(p, n)), std::memory_order_relaxed);
}

bool CLeadBlocks::IsAllLead(qint64 nIndex, int nCodePage) const
{
    if (nIndex < 0 || nIndex >= m_nBlocks)
        return false;
    const std::uint8_t set = SetOf(nCodePage);
    return set != 0 && (Get(nIndex) & set) != 0;
}

qint64 CLeadBlocks::AllLeadFrom(qint64 nFirst, qint64 nLast, int nCodePage) const
{
    const std::uint8_t set = SetOf(nCodePage);
    nFirst = std::max<qint64>(nFirst, 0);
    if (set == 0 || nLast >= m_nBlocks)
        return nLast + 1;
    qint64 i = nLast;
    while (i >= nFirst && (Get(i) & set) != 0)
        --i;
    return i + 1;
}
