#include "hexdoc.h"

#include "bytepattern.h"

bool CHexDoc::Find(const CBytePattern& pattern, std::uint32_t nFrom, bool bDown, std::uint32_t& nFound) const
{
    if (m_nSize == 0)
        return false;
    return bDown ? pattern.FindDown(m_pData, m_nSize - 1, nFrom, nFound)
                 : pattern.FindUp(m_pData, m_nSize - 1, nFrom, nFound);
}

bool CHexDoc::MatchesAt(std::uint32_t nAt, const QByteArray& pattern, bool bMatchCase) const
{
    const auto n = std::uint32_t(pattern.size());
    if (m_nSize == 0 || std::uint64_t(nAt) + n > m_nSize - 1u)
        return false;
    return CBytePattern::Equal(m_pData + nAt, reinterpret_cast<const std::uint8_t*>(pattern.constData()), n,
                               bMatchCase);
}
