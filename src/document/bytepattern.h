#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>

class CCharTable;
class CTableFold;

// A find pattern and the scans for it over a byte range. Without Match case the
// letters A-Z and a-z equal their other case where they stand alone as letters
// in the code page given: a byte that is the trail byte of a double-byte
// character, in the pattern (paired from its first byte) or in the document
// (paired as the text column pairs it), must be equal, as every other byte must.
// The scans take pData as the document's start, so that they can tell how the
// bytes before a candidate pair.
//
// The scans only look at start offsets whose whole window lies within the
// nLength bytes given, so a document's end marker (passed as nLength = file
// length) is never part of a match. An empty pattern never matches.
//
// A pattern written through a character table folds the table's letters
// instead (see CTableFold), and no byte is a letter of the code page.
class CBytePattern {
public:
    CBytePattern(const QByteArray& pattern, bool bMatchCase, int nCodePage = 0, const CCharTable* pTable = nullptr);
    ~CBytePattern();
    CBytePattern(const CBytePattern&);
    CBytePattern& operator=(const CBytePattern&);

    std::uint32_t Length() const { return std::uint32_t(m_pattern.size()); }
    bool IsEmpty() const { return m_pattern.isEmpty(); }
    // Whether a match depends on how the bytes before it pair (letters that
    // may be trail bytes, without Match case), and in which code page: a scan
    // of a part of the document must then start where the pairing walk lands.
    bool DependsOnPairing() const { return m_bTrailLetters; }
    int CodePage() const { return m_nCodePage; }

    // Whether the Length() bytes at p equal the pattern, every letter folded.
    bool MatchesAt(const std::uint8_t* p) const;
    // Whether the pattern matches at nAt of the document pData, nLength long,
    // under the whole rule.
    bool MatchesAt(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nAt) const;

    // Whether a match starts at nFrom itself: the first thing FindDown tries,
    // cheap enough to call for each of a run of back-to-back occurrences.
    bool StartsAt(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom) const
    {
        const std::uint32_t n = Length();
        if (n == 0 || n > nLength || nFrom > nLength - n)
            return false;
        if (m_pFold)
            return MatchesAt(pData, nLength, nFrom);
        const std::uint8_t* p = pData + nFrom;
        if ((p[0] != m_first[0] && p[0] != m_first[1]) || (p[n - 1] != m_last[0] && p[n - 1] != m_last[1]))
            return false;
        if (n > 2)
            return MatchesAt(pData, nLength, nFrom);
        return !m_bTrailLetters || FoldsAt(pData, p);
    }

    // The least match start i >= nFrom.
    bool FindDown(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom, std::uint32_t& nFound) const;
    // The greatest match start nFloor <= i <= nFrom. Scans backwards from nFrom,
    // so it costs what a down search over the same distance costs.
    bool FindUp(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom, std::uint32_t& nFound,
                std::uint32_t nFloor = 0) const;

    // Compares under the case rule given, n bytes.
    static bool Equal(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t n, bool bMatchCase);

private:
    bool RestMatches(const std::uint8_t* p) const;
    // Through a table whose keys may take more than two values at the first
    // or last byte, where the block scans cannot test them: every start.
    bool FindEachDown(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom, std::uint32_t& nFound) const;
    bool FindEachUp(const std::uint8_t* pData, std::uint32_t nFrom, std::uint32_t nFloor, std::uint32_t& nFound) const;
    // Whether a candidate at q, which matches with every letter folded, matches
    // where letters inside double-byte characters are compared exactly.
    bool FoldsAt(const std::uint8_t* pData, const std::uint8_t* q) const;

    QByteArray m_pattern;
    bool m_bMatchCase;
    // Set when letters may be trail bytes of the code page and case does not
    // matter: only then do candidates need FoldsAt.
    bool m_bTrailLetters = false;
    int m_nCodePage;
    // Per byte of the pattern, whether it is the trail byte of one of its own
    // double-byte characters.
    QByteArray m_trail;
    // The first and the last byte in both cases; equal when it is no letter or
    // case matters.
    std::uint8_t m_first[2];
    std::uint8_t m_last[2];
    // Through a table without Match case, when some key has another case;
    // shared by copies.
    std::shared_ptr<const CTableFold> m_pFold;
    // Set when m_pFold allows more than two values of the first or last byte.
    bool m_bEachStart = false;
};
