#include "bytepattern.h"

#include <algorithm>
#include <cstring>

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

// Both return null for an empty range without handing it to the C library.
const std::uint8_t* FindByte(const std::uint8_t* p, const std::uint8_t* pEnd, std::uint8_t b)
{
    if (p >= pEnd)
        return nullptr;
    return static_cast<const std::uint8_t*>(std::memchr(p, b, std::size_t(pEnd - p)));
}

const std::uint8_t* FindByteBack(const std::uint8_t* p, const std::uint8_t* pEnd, std::uint8_t b)
{
    if (p >= pEnd)
        return nullptr;
    return static_cast<const std::uint8_t*>(memrchr(p, b, std::size_t(pEnd - p)));
}

} // namespace

CBytePattern::CBytePattern(const QByteArray& pattern, bool bMatchCase) : m_pattern(pattern), m_bMatchCase(bMatchCase)
{
    const std::uint8_t b = m_pattern.isEmpty() ? 0 : std::uint8_t(m_pattern.at(0));
    const std::uint8_t lower = kFold.to[b];
    const bool bLetter = lower >= 'a' && lower <= 'z';
    m_first[0] = bMatchCase ? b : lower;
    m_first[1] = bMatchCase || !bLetter ? m_first[0] : std::uint8_t(lower - ('a' - 'A'));
}

bool CBytePattern::Equal(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t n, bool bMatchCase)
{
    return bMatchCase ? std::memcmp(a, b, n) == 0 : EqualFolded(a, b, n);
}

bool CBytePattern::MatchesAt(const std::uint8_t* p) const
{
    return Equal(p, reinterpret_cast<const std::uint8_t*>(m_pattern.constData()), Length(), m_bMatchCase);
}

bool CBytePattern::RestMatches(const std::uint8_t* p) const
{
    return Equal(p + 1, reinterpret_cast<const std::uint8_t*>(m_pattern.constData()) + 1, Length() - 1, m_bMatchCase);
}

bool CBytePattern::FindDown(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom,
                            std::uint32_t& nFound) const
{
    const std::uint32_t n = Length();
    if (n == 0 || n > nLength || nFrom > nLength - n)
        return false;
    const std::uint8_t* const pEnd = pData + (nLength - n) + 1;   // one past the last start
    const std::uint8_t* p = pData + nFrom;
    // Two candidate streams, one per case of the first byte, merged in order.
    const std::uint8_t* a = FindByte(p, pEnd, m_first[0]);
    const std::uint8_t* b = m_first[1] == m_first[0] ? nullptr : FindByte(p, pEnd, m_first[1]);
    while (a || b) {
        const std::uint8_t* q = !b || (a && a < b) ? a : b;
        if (RestMatches(q)) {
            nFound = std::uint32_t(q - pData);
            return true;
        }
        if (q == a)
            a = FindByte(q + 1, pEnd, m_first[0]);
        else
            b = FindByte(q + 1, pEnd, m_first[1]);
    }
    return false;
}

bool CBytePattern::FindUp(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom,
                          std::uint32_t& nFound) const
{
    const std::uint32_t n = Length();
    if (n == 0 || n > nLength)
        return false;
    const std::uint8_t* const pEnd = pData + std::min(nFrom, nLength - n) + 1;
    const std::uint8_t* a = FindByteBack(pData, pEnd, m_first[0]);
    const std::uint8_t* b = m_first[1] == m_first[0] ? nullptr : FindByteBack(pData, pEnd, m_first[1]);
    while (a || b) {
        const std::uint8_t* q = !b || (a && a > b) ? a : b;
        if (RestMatches(q)) {
            nFound = std::uint32_t(q - pData);
            return true;
        }
        if (q == a)
            a = FindByteBack(pData, q, m_first[0]);
        else
            b = FindByteBack(pData, q, m_first[1]);
    }
    return false;
}
