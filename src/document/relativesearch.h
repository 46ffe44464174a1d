#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

// Relative search: a word found in bytes whose letter codes are unknown, by
// the distances between its letters. Old programs often number an alphabet in
// its own order from some base, so "DRAGON" shows up wherever a code is
// followed by one 14 higher, then one 17 lower, and so on, whatever the base.
// Letters are A-Z, a-z, 0-9, hiragana and katakana, distances are those of
// their Unicode order. Codes are single bytes, or two bytes big or little
// endian.
struct CRelativeHit {
    enum Width { OneByte, TwoByteBe, TwoByteLe };
    std::uint64_t nOffset;
    Width width;
    std::uint32_t nFirst; // the code of the word's first letter there
};

class CRelativeSearch {
public:
    // bTwoByte adds the two-byte codes to the single bytes.
    explicit CRelativeSearch(QStringView word, bool bTwoByte = false);

    // Empty when the word can be searched for, else why not: it needs two
    // letters or more, not all the same, and every one a letter of the above.
    const QString& Problem() const { return m_problem; }
    bool IsValid() const { return m_problem.isEmpty(); }
    static bool IsLetter(char32_t ch);
    const QString& Word() const { return m_word; }
    // The bytes a hit covers, the longest of the widths searched.
    std::uint32_t MaxLength() const;

    // As CMultiPattern::Scan: the hits that start in the bytes given, in the
    // order of their offsets, at one offset single bytes before big endian
    // before little endian; returns the number of bytes done with.
    std::uint32_t Scan(const std::uint8_t* pData, std::uint32_t nLength, std::uint64_t nBase, bool bLast,
                       std::vector<CRelativeHit>& hits) const;

    // "1-byte", "2-byte BE", "2-byte LE".
    static QString WidthName(CRelativeHit::Width width);
    // The first letter and its code, "D=0x83".
    QString FirstLetterText(const CRelativeHit& hit) const;
    // A character table for the hit: every letter of the alphabets the word's
    // letters belong to (A-Z, a-z, 0-9, hiragana, katakana), numbered from the
    // hit's codes in Unicode order, as HEX=TEXT lines, the key's bytes in the
    // file's order; letters whose codes would fall outside the width's range
    // are left out.
    QString TableText(const CRelativeHit& hit) const;

private:
    bool MatchesAt(const std::uint8_t* p, CRelativeHit::Width width, std::uint32_t& nFirst) const;

    QString m_word;
    QString m_problem;
    std::vector<char32_t> m_letters;
    std::vector<std::int32_t> m_distances; // of letter j + 1 from the first
    bool m_bTwoByte;
};
