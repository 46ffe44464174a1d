#include "tablefold.h"

#include "chartable.h"

#include <QHash>
#include <QString>

#include <algorithm>
#include <cstring>

namespace {

// Groups keys that read as the same text in either case.
struct CaselessKey {
    QString text;
    CCharTable::Kind kind;
    qsizetype nBytes;

    bool operator==(const CaselessKey& other) const
    {
        return nBytes == other.nBytes && kind == other.kind && text == other.text;
    }
};

size_t qHash(const CaselessKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.text, int(key.kind), key.nBytes);
}

void AddOnce(std::vector<std::uint8_t>& bytes, std::uint8_t b)
{
    if (std::find(bytes.begin(), bytes.end(), b) == bytes.end())
        bytes.push_back(b);
}

} // namespace

CTableFold::CTableFold(const QByteArray& pattern, const CCharTable& table)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(pattern.constData());
    const auto n = std::size_t(pattern.size());
    // The pattern's keys, and which of them have a text a case can change.
    QHash<CaselessKey, std::vector<std::size_t>> wanted;
    for (std::size_t i = 0; i < n;) {
        const CCharTable::Match match = table.MatchAt(p + i, n - i);
        const std::size_t nBytes = match.nBytes ? std::size_t(match.nBytes) : 1;
        m_keys.push_back({std::uint32_t(i), {pattern.mid(qsizetype(i), qsizetype(nBytes))}});
        if (match.pEntry && !match.pEntry->text.isEmpty()) {
            const QString& text = match.pEntry->text;
            const QString folded = text.toCaseFolded();
            if (folded != text || text.toUpper() != text)
                wanted[{folded, match.pEntry->kind, qsizetype(nBytes)}].push_back(m_keys.size() - 1);
        }
        i += nBytes;
    }
    // One pass over the table finds the other cases of all of them.
    if (!wanted.isEmpty()) {
        for (const CCharTable::Entry& entry : table.Entries()) {
            if (entry.text.isEmpty())
                continue;
            const auto found = wanted.constFind({entry.text.toCaseFolded(), entry.kind, entry.key.size()});
            if (found == wanted.constEnd())
                continue;
            for (const std::size_t k : *found) {
                auto& matches = m_keys[k].matches;
                if (std::find(matches.begin(), matches.end(), entry.key) == matches.end()) {
                    matches.push_back(entry.key);
                    m_bFolds = true;
                }
            }
        }
    }
    if (m_keys.empty())
        return;
    for (const QByteArray& key : m_keys.front().matches)
        AddOnce(m_firstBytes, std::uint8_t(key.front()));
    for (const QByteArray& key : m_keys.back().matches)
        AddOnce(m_lastBytes, std::uint8_t(key.back()));
}

bool CTableFold::MatchesAt(const std::uint8_t* p) const
{
    for (const Key& key : m_keys) {
        const std::uint8_t* q = p + key.nAt;
        const auto same = [q](const QByteArray& bytes) { return std::memcmp(q, bytes.constData(), std::size_t(bytes.size())) == 0; };
        if (!std::any_of(key.matches.begin(), key.matches.end(), same))
            return false;
    }
    return true;
}
