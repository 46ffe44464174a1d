#include "multipattern.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The scan tests 16 starts at once: each start's first two bytes and the byte
// where a group's last byte would be against every group's (its first byte
// alone for a one-byte group), all groups or-ed into one mask, so a block
// where nothing can start costs a load and three compares per group.
// Only the starts the mask leaves are compared whole, group by group. The
// last byte keeps a common first character (中 of 中文 in GB text) from
// sending most of its places to the comparison.

int CMultiPattern::Add(const QString& name, const QByteArray& bytes)
{
    const int nPattern = int(m_patterns.size());
    m_patterns.push_back({name, bytes});
    if (bytes.isEmpty())
        return nPattern;
    m_nMaxLength = std::max(m_nMaxLength, std::uint32_t(bytes.size()));
    for (Group& group : m_groups) {
        if (group.bytes == bytes) {
            group.patterns.push_back(nPattern);
            return nPattern;
        }
    }
    m_groups.push_back({bytes, {nPattern}});
    return nPattern;
}

void CMultiPattern::ReportAt(const std::uint8_t* p, std::uint32_t nRoom, std::uint64_t nOffset,
                             std::vector<CPatternHit>& hits) const
{
    // Hits at one offset go out in the order the patterns were added.
    const std::size_t nFirst = hits.size();
    for (const Group& group : m_groups) {
        const auto n = std::uint32_t(group.bytes.size());
        if (n <= nRoom && std::memcmp(p, group.bytes.constData(), n) == 0) {
            for (int nPattern : group.patterns)
                hits.push_back({nOffset, nPattern});
        }
    }
    if (hits.size() - nFirst > 1) {
        std::sort(hits.begin() + std::ptrdiff_t(nFirst), hits.end(),
                  [](const CPatternHit& a, const CPatternHit& b) { return a.nPattern < b.nPattern; });
    }
}

std::uint32_t CMultiPattern::Scan(const std::uint8_t* pData, std::uint32_t nLength, std::uint64_t nBase, bool bLast,
                                  std::vector<CPatternHit>& hits) const
{
    if (m_groups.empty())
        return nLength;
    // The starts this call decides: all of them in the last part, else those
    // whose longest pattern fits in what is held.
    const std::uint32_t nKeep = bLast ? 0 : m_nMaxLength - 1;
    if (nLength <= nKeep)
        return 0;
    const std::uint32_t nStarts = nLength - nKeep;
    std::uint32_t i = 0;
#if defined(__SSE2__)
    constexpr std::size_t kMaxGroups = 16;
    if (m_groups.size() <= kMaxGroups) {
        __m128i first[kMaxGroups];
        __m128i second[kMaxGroups];
        __m128i last[kMaxGroups];
        std::uint32_t lastAt[kMaxGroups];
        std::size_t nPairs = 0;
        __m128i singles[kMaxGroups];
        std::size_t nSingles = 0;
        for (const Group& group : m_groups) {
            if (group.bytes.size() == 1) {
                singles[nSingles++] = _mm_set1_epi8(group.bytes[0]);
            } else {
                first[nPairs] = _mm_set1_epi8(group.bytes[0]);
                second[nPairs] = _mm_set1_epi8(group.bytes[1]);
                last[nPairs] = _mm_set1_epi8(group.bytes.back());
                lastAt[nPairs++] = std::uint32_t(group.bytes.size() - 1);
            }
        }
        // The loads of a block read up to MaxLength() + 15 bytes from its
        // start (at least 17), which must all be held.
        const std::uint32_t nReach = std::max<std::uint32_t>(m_nMaxLength, 2) + 15;
        for (; i + 16 <= nStarts && i + nReach <= nLength; i += 16) {
            const std::uint8_t* p = pData + i;
            const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
            __m128i any = _mm_setzero_si128();
            for (std::size_t k = 0; k < nPairs; ++k) {
                const __m128i vLast = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + lastAt[k]));
                any = _mm_or_si128(any, _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(v0, first[k]),
                                                                    _mm_cmpeq_epi8(v1, second[k])),
                                                      _mm_cmpeq_epi8(vLast, last[k])));
            }
            for (std::size_t k = 0; k < nSingles; ++k)
                any = _mm_or_si128(any, _mm_cmpeq_epi8(v0, singles[k]));
            for (auto mask = std::uint32_t(_mm_movemask_epi8(any)); mask != 0; mask &= mask - 1) {
                const std::uint32_t nAt = i + std::uint32_t(__builtin_ctz(mask));
                ReportAt(pData + nAt, nLength - nAt, nBase + nAt, hits);
            }
        }
    }
#endif
    for (; i < nStarts; ++i) {
        const std::uint8_t b = pData[i];
        for (const Group& group : m_groups) {
            if (std::uint8_t(group.bytes[0]) == b) {
                ReportAt(pData + i, nLength - i, nBase + i, hits);
                break;
            }
        }
    }
    return nStarts;
}
