#include "bytepattern.h"

#include "codepage.h"
#include "rowformat.h"
#include "tablefold.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Every scan is one pass over the range, whatever the case rule: a block of
// start offsets is tested at once against both cases of the pattern's first
// byte and both cases of its last byte, and only starts that pass both are
// compared whole. A call reads each byte of the stretch it crosses a bounded
// number of times, so Replace All, which calls FindDown once per occurrence,
// stays linear even when one case of the first byte is rare or missing, and a
// run of a byte that starts the pattern costs a block, not a call per byte.
//
// BYTEPATTERN_READ(n) is told of every n bytes a scan reads; a test defines it
// to count them.
#ifndef BYTEPATTERN_READ
#define BYTEPATTERN_READ(n) static_cast<void>(0)
#endif

namespace {

struct FoldTable {
    std::uint8_t to[256] = {};
    constexpr FoldTable()
    {
        for (int b = 0; b < 256; ++b)
            to[b] = std::uint8_t(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
    }
};

constexpr FoldTable kFold;

bool EqualFolded(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i) {
        if (kFold.to[a[i]] != kFold.to[b[i]])
            return false;
    }
    return true;
}

// A byte of the pattern in both of the cases it matches; twice the same byte
// when it is no letter or case matters.
struct CasePair {
    std::uint8_t a;
    std::uint8_t b;

    static CasePair Of(std::uint8_t c, bool bMatchCase)
    {
        const std::uint8_t lower = kFold.to[c];
        const bool bLetter = lower >= 'a' && lower <= 'z';
        const std::uint8_t a = bMatchCase ? c : lower;
        return {a, bMatchCase || !bLetter ? a : std::uint8_t(lower - ('a' - 'A'))};
    }
    bool Has(std::uint8_t c) const { return c == a || c == b; }
};

constexpr std::uint32_t kBlock = 16;

#if defined(__SSE2__)
// Bit j set when byte j of the block at p is either byte of the pair.
struct PairMask {
    __m128i a;
    __m128i b;

    explicit PairMask(CasePair pair) : a(_mm_set1_epi8(char(pair.a))), b(_mm_set1_epi8(char(pair.b))) {}
    std::uint32_t At(const std::uint8_t* p) const
    {
        BYTEPATTERN_READ(kBlock);
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return std::uint32_t(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(v, b))));
    }
};
#else
struct PairMask {
    CasePair pair;

    explicit PairMask(CasePair pair) : pair(pair) {}
    std::uint32_t At(const std::uint8_t* p) const
    {
        BYTEPATTERN_READ(kBlock);
        std::uint32_t mask = 0;
        for (std::uint32_t j = 0; j < kBlock; ++j)
            mask |= std::uint32_t(pair.Has(p[j])) << j;
        return mask;
    }
};
#endif

// The pattern as the block scans use it.
struct Scan {
    CasePair first;
    CasePair last;
    const std::uint8_t* pattern;
    std::uint32_t n;
    bool bMatchCase;
    const CTableFold* pFold;

    // The first and last bytes are known to match when this is asked. Through
    // a table they may belong to different keys (8161 for 8141 or 8261), so
    // the whole is compared.
    bool RestMatches(const std::uint8_t* p) const
    {
        if (pFold) {
            BYTEPATTERN_READ(n);
            return pFold->MatchesAt(p);
        }
        if (n <= 2)
            return true;
        BYTEPATTERN_READ(n - 2);
        return bMatchCase ? std::memcmp(p + 1, pattern + 1, n - 2) == 0 : EqualFolded(p + 1, pattern + 1, n - 2);
    }

    bool MatchesAt(const std::uint8_t* p) const
    {
        BYTEPATTERN_READ(2);
        return first.Has(p[0]) && last.Has(p[n - 1]) && RestMatches(p);
    }

    // The least match start from p up to pEnd (exclusive), or null. A block of
    // starts is tested at once where its last bytes too lie within the range;
    // the starts after the last whole block one at a time.
    __attribute__((noinline)) const std::uint8_t* Down(const std::uint8_t* p, const std::uint8_t* pEnd) const
    {
        const PairMask firstMask(first);
        const PairMask lastMask(last);
        for (; pEnd - p >= std::ptrdiff_t(kBlock); p += kBlock) {
            for (std::uint32_t mask = firstMask.At(p) & lastMask.At(p + n - 1); mask != 0; mask &= mask - 1) {
                const std::uint8_t* q = p + __builtin_ctz(mask);
                if (RestMatches(q))
                    return q;
            }
        }
        for (; p < pEnd; ++p) {
            if (MatchesAt(p))
                return p;
        }
        return nullptr;
    }

    // The greatest match start from pBegin up to pEnd (exclusive), or null: the
    // mirror of Down, whole blocks back from pEnd, the highest start of a block
    // first, then the starts before them one by one.
    const std::uint8_t* Up(const std::uint8_t* pBegin, const std::uint8_t* pEnd) const
    {
        const PairMask firstMask(first);
        const PairMask lastMask(last);
        const std::uint8_t* p = pEnd;
        for (; p - pBegin >= std::ptrdiff_t(kBlock); p -= kBlock) {
            const std::uint8_t* const pBlock = p - kBlock;
            for (std::uint32_t mask = firstMask.At(pBlock) & lastMask.At(pBlock + n - 1); mask != 0;) {
                const int j = 31 - __builtin_clz(mask);
                if (RestMatches(pBlock + j))
                    return pBlock + j;
                mask &= ~(std::uint32_t(1) << j);
            }
        }
        while (p > pBegin) {
            if (MatchesAt(--p))
                return p;
        }
        return nullptr;
    }
};

} // namespace

CBytePattern::CBytePattern(const QByteArray& pattern, bool bMatchCase, int nCodePage, const CCharTable* pTable)
    : m_pattern(pattern), m_bMatchCase(bMatchCase || pTable), m_nCodePage(nCodePage)
{
    if (pTable && !bMatchCase && !pattern.isEmpty()) {
        auto pFold = std::make_shared<CTableFold>(pattern, *pTable);
        if (pFold->Folds()) {
            const auto& firsts = pFold->FirstBytes();
            const auto& lasts = pFold->LastBytes();
            m_first[0] = firsts.front();
            m_first[1] = firsts.back();
            m_last[0] = lasts.front();
            m_last[1] = lasts.back();
            m_bEachStart = firsts.size() > 2 || lasts.size() > 2;
            m_pFold = std::move(pFold);
            return;
        }
    }
    // Through a table the bytes of A-Z and a-z are not those letters: with
    // nothing to fold, bytes compare exactly.
    bMatchCase = m_bMatchCase;
    const CasePair first = CasePair::Of(m_pattern.isEmpty() ? 0 : std::uint8_t(m_pattern.front()), bMatchCase);
    const CasePair last = CasePair::Of(m_pattern.isEmpty() ? 0 : std::uint8_t(m_pattern.back()), bMatchCase);
    m_first[0] = first.a;
    m_first[1] = first.b;
    m_last[0] = last.a;
    m_last[1] = last.b;
    if (bMatchCase)
        return;
    for (int b = 'A'; b <= 'Z' && !m_bTrailLetters; ++b)
        m_bTrailLetters = IsTrailByte(nCodePage, std::uint8_t(b)) || IsTrailByte(nCodePage, std::uint8_t(b + ('a' - 'A')));
    if (!m_bTrailLetters)
        return;
    // The pattern pairs from its first byte, as a text typed into the box does.
    const auto* p = reinterpret_cast<const std::uint8_t*>(m_pattern.constData());
    const qsizetype n = m_pattern.size();
    m_trail = QByteArray(n, 0);
    for (qsizetype i = 0; i < n; ++i) {
        if (i + 1 < n && IsLeadByte(nCodePage, p[i]) && IsTrailByte(nCodePage, p[i + 1]))
            m_trail[++i] = 1;
    }
}

CBytePattern::~CBytePattern() = default;
CBytePattern::CBytePattern(const CBytePattern&) = default;
CBytePattern& CBytePattern::operator=(const CBytePattern&) = default;

bool CBytePattern::Equal(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t n, bool bMatchCase)
{
    return bMatchCase ? std::memcmp(a, b, n) == 0 : EqualFolded(a, b, n);
}

bool CBytePattern::MatchesAt(const std::uint8_t* p) const
{
    if (m_pFold)
        return m_pFold->MatchesAt(p);
    return Equal(p, reinterpret_cast<const std::uint8_t*>(m_pattern.constData()), Length(), m_bMatchCase);
}

bool CBytePattern::MatchesAt(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nAt) const
{
    const std::uint32_t n = Length();
    if (std::uint64_t(nAt) + n > nLength)
        return false;
    return MatchesAt(pData + nAt) && (!m_bTrailLetters || FoldsAt(pData, pData + nAt));
}

bool CBytePattern::RestMatches(const std::uint8_t* p) const
{
    return Equal(p + 1, reinterpret_cast<const std::uint8_t*>(m_pattern.constData()) + 1, Length() - 1, m_bMatchCase);
}

// Only bytes that differ from the pattern's, letters in the other case, are
// looked at. One is a trail byte in the document when the byte before it is a
// lead byte that the text column's walk lands on (CRowFormat::LandsOn), which
// costs a look back over the run of lead bytes before it.
bool CBytePattern::FoldsAt(const std::uint8_t* pData, const std::uint8_t* q) const
{
    const auto* pattern = reinterpret_cast<const std::uint8_t*>(m_pattern.constData());
    const std::uint32_t n = Length();
    for (std::uint32_t k = 0; k < n; ++k) {
        if (q[k] == pattern[k])
            continue;
        if (m_trail[k])
            return false;
        const auto i = std::uint32_t(q - pData) + k;
        if (i > 0 && IsLeadByte(m_nCodePage, pData[i - 1]) && IsTrailByte(m_nCodePage, pData[i])
            && CRowFormat::LandsOn(pData, 0, i - 1, m_nCodePage))
            return false;
    }
    return true;
}

bool CBytePattern::FindDown(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom,
                            std::uint32_t& nFound) const
{
    const std::uint32_t n = Length();
    if (n == 0 || n > nLength || nFrom > nLength - n)
        return false;
    if (m_bEachStart)
        return FindEachDown(pData, nLength, nFrom, nFound);
    const Scan scan{{m_first[0], m_first[1]},
                    {m_last[0], m_last[1]},
                    reinterpret_cast<const std::uint8_t*>(m_pattern.constData()),
                    n,
                    m_bMatchCase,
                    m_pFold.get()};
    // A match right at the start, as in a run of occurrences that Replace All
    // goes through one call each, is taken without setting up the blocks.
    const std::uint8_t* const pEnd = pData + (nLength - n) + 1;
    const std::uint8_t* q = pData + nFrom;
    if (!scan.MatchesAt(q) && !(q = scan.Down(q + 1, pEnd)))
        return false;
    // The scan folds every letter; a candidate with letters inside double-byte
    // characters in the other case is passed over.
    while (m_bTrailLetters && !FoldsAt(pData, q)) {
        if (!(q = scan.Down(q + 1, pEnd)))
            return false;
    }
    nFound = std::uint32_t(q - pData);
    return true;
}

bool CBytePattern::FindUp(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom,
                          std::uint32_t& nFound, std::uint32_t nFloor) const
{
    const std::uint32_t n = Length();
    if (n == 0 || n > nLength || nFloor > std::min(nFrom, nLength - n))
        return false;
    if (m_bEachStart)
        return FindEachUp(pData, std::min(nFrom, nLength - n), nFloor, nFound);
    const Scan scan{{m_first[0], m_first[1]},
                    {m_last[0], m_last[1]},
                    reinterpret_cast<const std::uint8_t*>(m_pattern.constData()),
                    n,
                    m_bMatchCase,
                    m_pFold.get()};
    const std::uint8_t* q = scan.Up(pData + nFloor, pData + std::min(nFrom, nLength - n) + 1);
    while (q && m_bTrailLetters && !FoldsAt(pData, q))
        q = scan.Up(pData + nFloor, q);
    if (!q)
        return false;
    nFound = std::uint32_t(q - pData);
    return true;
}

bool CBytePattern::FindEachDown(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom,
                                std::uint32_t& nFound) const
{
    for (std::uint32_t i = nFrom; i <= nLength - Length(); ++i) {
        if (m_pFold->MatchesAt(pData + i)) {
            nFound = i;
            return true;
        }
    }
    return false;
}

bool CBytePattern::FindEachUp(const std::uint8_t* pData, std::uint32_t nFrom, std::uint32_t nFloor,
                              std::uint32_t& nFound) const
{
    for (std::uint32_t i = nFrom + 1; i-- > nFloor;) {
        if (m_pFold->MatchesAt(pData + i)) {
            nFound = i;
            return true;
        }
    }
    return false;
}
