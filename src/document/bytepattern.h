#pragma once

#include <QByteArray>

#include <cstdint>

// A find pattern and the scans for it over a byte range. Without Match case the
// letters A-Z and a-z equal their other case; every other byte, letters of any
// code page's double-byte characters included, must be equal.
//
// The scans only look at start offsets whose whole window lies within the
// nLength bytes given, so a document's end marker (passed as nLength = file
// length) is never part of a match. An empty pattern never matches.
class CBytePattern {
public:
    CBytePattern(const QByteArray& pattern, bool bMatchCase);

    std::uint32_t Length() const { return std::uint32_t(m_pattern.size()); }
    bool IsEmpty() const { return m_pattern.isEmpty(); }

    // Whether the Length() bytes at p equal the pattern.
    bool MatchesAt(const std::uint8_t* p) const;

    // The least match start i >= nFrom.
    bool FindDown(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom, std::uint32_t& nFound) const;
    // The greatest match start i <= nFrom. Scans backwards from nFrom, so it
    // costs what a down search over the same distance costs.
    bool FindUp(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom, std::uint32_t& nFound) const;

    // Compares under the case rule given, n bytes.
    static bool Equal(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t n, bool bMatchCase);

private:
    bool RestMatches(const std::uint8_t* p) const;

    QByteArray m_pattern;
    bool m_bMatchCase;
    // The first and the last byte in both cases; equal when it is no letter or
    // case matters.
    std::uint8_t m_first[2];
    std::uint8_t m_last[2];
};
