#include "relativesearch.h"

#include "resource.h"
#include "resources.h"

#include <algorithm>

namespace {

struct Alphabet {
    char32_t first;
    char32_t last;
};

// In the order Make Table writes them.
constexpr Alphabet kAlphabets[] = {
    {U'A', U'Z'}, {U'a', U'z'}, {U'0', U'9'}, {0x3041, 0x3096}, {0x30A1, 0x30FA},
};

const Alphabet* AlphabetOf(char32_t ch)
{
    for (const Alphabet& alphabet : kAlphabets) {
        if (ch >= alphabet.first && ch <= alphabet.last)
            return &alphabet;
    }
    return nullptr;
}

std::uint32_t CodeAt(const std::uint8_t* p, CRelativeHit::Width width)
{
    switch (width) {
    case CRelativeHit::OneByte:
        return p[0];
    case CRelativeHit::TwoByteBe:
        return std::uint32_t(p[0]) << 8 | p[1];
    case CRelativeHit::TwoByteLe:
        break;
    }
    return std::uint32_t(p[1]) << 8 | p[0];
}

std::uint32_t BytesOf(CRelativeHit::Width width)
{
    return width == CRelativeHit::OneByte ? 1 : 2;
}

QString KeyText(std::uint32_t nCode, CRelativeHit::Width width)
{
    if (width == CRelativeHit::TwoByteLe)
        nCode = (nCode & 0xFF) << 8 | nCode >> 8;
    return QStringLiteral("%1").arg(nCode, int(BytesOf(width)) * 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

CRelativeSearch::CRelativeSearch(QStringView word, bool bTwoByte) : m_word(word.toString()), m_bTwoByte(bTwoByte)
{
    for (char32_t ch : word.toUcs4()) {
        if (!IsLetter(ch)) {
            m_problem = AfxLoadString(IDS_RELATIVE_NOT_LETTER).arg(QString::fromUcs4(&ch, 1));
            return;
        }
        m_letters.push_back(ch);
    }
    if (m_letters.size() < 2) {
        m_problem = AfxLoadString(IDS_RELATIVE_TOO_SHORT);
        return;
    }
    for (std::size_t j = 1; j < m_letters.size(); ++j)
        m_distances.push_back(std::int32_t(m_letters[j]) - std::int32_t(m_letters[0]));
    if (std::all_of(m_distances.begin(), m_distances.end(), [](std::int32_t d) { return d == 0; }))
        m_problem = AfxLoadString(IDS_RELATIVE_ALL_SAME);
}

bool CRelativeSearch::IsLetter(char32_t ch)
{
    return AlphabetOf(ch) != nullptr;
}

std::uint32_t CRelativeSearch::MaxLength() const
{
    return std::uint32_t(m_letters.size()) * (m_bTwoByte ? 2 : 1);
}

bool CRelativeSearch::MatchesAt(const std::uint8_t* p, CRelativeHit::Width width, std::uint32_t& nFirst) const
{
    const std::uint32_t nStep = BytesOf(width);
    const std::int64_t nMax = width == CRelativeHit::OneByte ? 0xFF : 0xFFFF;
    const std::int64_t nBase = CodeAt(p, width);
    for (std::size_t j = 0; j < m_distances.size(); ++j) {
        const std::int64_t nWanted = nBase + m_distances[j];
        if (nWanted < 0 || nWanted > nMax || CodeAt(p + (j + 1) * nStep, width) != std::uint32_t(nWanted))
            return false;
    }
    nFirst = std::uint32_t(nBase);
    return true;
}

std::uint32_t CRelativeSearch::Scan(const std::uint8_t* pData, std::uint32_t nLength, std::uint64_t nBase, bool bLast,
                                    std::vector<CRelativeHit>& hits) const
{
    if (!IsValid())
        return nLength;
    const std::uint32_t nKeep = bLast ? 0 : MaxLength() - 1;
    if (nLength <= nKeep)
        return 0;
    const std::uint32_t nStarts = nLength - nKeep;
    const auto nLetters = std::uint32_t(m_letters.size());
    // The first distance, as a byte, passes over most starts at once.
    const auto d1 = std::uint8_t(m_distances[0]);
    for (std::uint32_t i = 0; i < nStarts; ++i) {
        std::uint32_t nFirst;
        const std::uint8_t* p = pData + i;
        if (i + nLetters <= nLength && std::uint8_t(p[1] - p[0]) == d1 && MatchesAt(p, CRelativeHit::OneByte, nFirst))
            hits.push_back({nBase + i, CRelativeHit::OneByte, nFirst});
        if (!m_bTwoByte || i + 2 * nLetters > nLength)
            continue;
        if (std::uint8_t(p[3] - p[1]) == d1 && MatchesAt(p, CRelativeHit::TwoByteBe, nFirst))
            hits.push_back({nBase + i, CRelativeHit::TwoByteBe, nFirst});
        if (std::uint8_t(p[2] - p[0]) == d1 && MatchesAt(p, CRelativeHit::TwoByteLe, nFirst))
            hits.push_back({nBase + i, CRelativeHit::TwoByteLe, nFirst});
    }
    return nStarts;
}

QString CRelativeSearch::WidthName(CRelativeHit::Width width)
{
    switch (width) {
    case CRelativeHit::OneByte:
        return QStringLiteral("1-byte");
    case CRelativeHit::TwoByteBe:
        return QStringLiteral("2-byte BE");
    case CRelativeHit::TwoByteLe:
        break;
    }
    return QStringLiteral("2-byte LE");
}

QString CRelativeSearch::FirstLetterText(const CRelativeHit& hit) const
{
    return QString::fromUcs4(&m_letters[0], 1) + QLatin1String("=0x")
        + QStringLiteral("%1").arg(hit.nFirst, int(BytesOf(hit.width)) * 2, 16, QLatin1Char('0')).toUpper();
}

QString CRelativeSearch::TableText(const CRelativeHit& hit) const
{
    const std::int64_t nMax = hit.width == CRelativeHit::OneByte ? 0xFF : 0xFFFF;
    QString text;
    for (const Alphabet& alphabet : kAlphabets) {
        const bool bUsed = std::any_of(m_letters.begin(), m_letters.end(),
                                       [&alphabet](char32_t ch) { return AlphabetOf(ch) == &alphabet; });
        if (!bUsed)
            continue;
        for (char32_t ch = alphabet.first; ch <= alphabet.last; ++ch) {
            const std::int64_t nCode = std::int64_t(hit.nFirst) + std::int64_t(ch) - std::int64_t(m_letters[0]);
            if (nCode < 0 || nCode > nMax)
                continue;
            text += KeyText(std::uint32_t(nCode), hit.width) + QLatin1Char('=') + QString::fromUcs4(&ch, 1)
                + QLatin1Char('\n');
        }
    }
    return text;
}
