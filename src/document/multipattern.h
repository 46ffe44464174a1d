#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// Several byte patterns, each with a name, searched for together in one pass:
// Find in All Encodings looks for one text as the bytes of every encoding at
// once. Patterns with equal bytes are compared once and reported under each
// name. Bytes are compared exactly.
//
// Scan takes the bytes a part at a time, the way CStringScanner does: the
// caller passes what it holds, Scan reports every occurrence that starts in
// it and whose bytes it holds whole, and returns how many bytes it is done
// with; the caller keeps the bytes from there (fewer than MaxLength()) at the
// start of its buffer and reads the next part after them. So an occurrence
// across the parts' boundary is found once, whatever the parts' lengths.
struct CPatternHit {
    std::uint64_t nOffset;
    int nPattern; // the index Add returned
};

class CMultiPattern {
public:
    // Adds a pattern and returns its index; an empty pattern is never found.
    int Add(const QString& name, const QByteArray& bytes);

    int Count() const { return int(m_patterns.size()); }
    const QString& Name(int nPattern) const { return m_patterns[std::size_t(nPattern)].name; }
    const QByteArray& Bytes(int nPattern) const { return m_patterns[std::size_t(nPattern)].bytes; }
    std::uint32_t MaxLength() const { return m_nMaxLength; }

    // Appends the occurrences that start in pData[0, nLength) to hits, in the
    // order of their offsets and, at one offset, of the patterns' indexes;
    // nBase is the offset of pData[0] in the whole. Unless bLast, starts whose
    // longest pattern would run past nLength are left for the next part.
    // Returns the number of bytes done with (nLength when bLast).
    std::uint32_t Scan(const std::uint8_t* pData, std::uint32_t nLength, std::uint64_t nBase, bool bLast,
                       std::vector<CPatternHit>& hits) const;

private:
    struct Pattern {
        QString name;
        QByteArray bytes;
    };
    // Distinct non-empty byte strings, each with the patterns that have them.
    struct Group {
        QByteArray bytes;
        std::vector<int> patterns;
    };
    void ReportAt(const std::uint8_t* p, std::uint32_t nRoom, std::uint64_t nOffset,
                  std::vector<CPatternHit>& hits) const;

    std::vector<Pattern> m_patterns;
    std::vector<Group> m_groups;
    std::uint32_t m_nMaxLength = 0;
};
