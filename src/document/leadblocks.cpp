#include "leadblocks.h"

#include <algorithm>

namespace {

enum : std::uint8_t {
    kSet932 = 1,
    kSetGb = 2,   // 936 and 950: 0xA1-0xFE
    kSet949 = 4,  // 0x81-0xFE
};

} // namespace

void CLeadBlocks::Reset(qint64 nBlocks)
{
    m_nBlocks = std::max<qint64>(nBlocks, 0);
    m_blocks = std::make_unique<std::atomic<std::uint8_t>[]>(std::size_t(m_nBlocks));
    for (qint64 i = 0; i < m_nBlocks; ++i)
        m_blocks[std::size_t(i)].store(0, std::memory_order_relaxed);
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
    m_blocks[std::size_t(nIndex)].store(std::uint8_t(kKnown | Classify(p, n)), std::memory_order_relaxed);
}

bool CLeadBlocks::IsAllLead(qint64 nIndex, int nCodePage) const
{
    if (nIndex < 0 || nIndex >= m_nBlocks)
        return false;
    const std::uint8_t set = SetOf(nCodePage);
    return set != 0 && (m_blocks[std::size_t(nIndex)].load(std::memory_order_relaxed) & set) != 0;
}

qint64 CLeadBlocks::AllLeadFrom(qint64 nFirst, qint64 nLast, int nCodePage) const
{
    const std::uint8_t set = SetOf(nCodePage);
    nFirst = std::max<qint64>(nFirst, 0);
    if (set == 0 || nLast >= m_nBlocks)
        return nLast + 1;
    qint64 i = nLast;
    while (i >= nFirst && (m_blocks[std::size_t(i)].load(std::memory_order_relaxed) & set) != 0)
        --i;
    return i + 1;
}
