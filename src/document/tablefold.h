#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

class CCharTable;

// What a find pattern written through a character table matches without
// Match case. The pattern is split into keys as the table reads it from its
// first byte (the longest key first); each key whose text has another case in
// the table, under a key of the same length and kind, matches that key too:
// with 0x80=A and 0xA0=a, the pattern A0 matches 80 as well. Bytes no key
// begins with, and keys whose text has no other case, match only themselves.
//
// The keys are compared whole: with 8141=A and 8261=a, the pattern 8261
// matches 8141 and 8261 but not 8161.
class CTableFold {
public:
    CTableFold(const QByteArray& pattern, const CCharTable& table);

    // Whether any key of the pattern matches another: when not, the pattern
    // matches only its own bytes.
    bool Folds() const { return m_bFolds; }
    // Whether the pattern's length in bytes at p match.
    bool MatchesAt(const std::uint8_t* p) const;
    // The values the first and the last byte of a match may take, each once.
    const std::vector<std::uint8_t>& FirstBytes() const { return m_firstBytes; }
    const std::vector<std::uint8_t>& LastBytes() const { return m_lastBytes; }

private:
    // A key of the pattern at nAt and the keys it matches, its own first.
    struct Key {
        std::uint32_t nAt = 0;
        std::vector<QByteArray> matches;
    };
    std::vector<Key> m_keys;
    std::vector<std::uint8_t> m_firstBytes;
    std::vector<std::uint8_t> m_lastBytes;
    bool m_bFolds = false;
};
