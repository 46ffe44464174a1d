#include "rowformat.h"

#include "codepage.h"
#include "hexdoc.h"

#include <cstring>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

} // namespace

bool CRowFormat::FormatRow(const CHexDoc& doc, std::uint32_t nRow, QByteArray& strRow, bool bContinued)
{
    std::uint8_t bytes[17];
    char text[17];
    std::memset(bytes, 0x20, sizeof bytes);
    std::memset(text, 0x20, sizeof text);
    const std::uint64_t nOffset = std::uint64_t(nRow) * 16;
    const std::uint32_t n = nOffset < doc.m_nSize ? doc.GetRowText(std::uint32_t(nOffset), bytes, text, bContinued) : 0;

    strRow.resize(kHexPartLength + int(n));
    char* out = strRow.data();
    std::memset(out, ' ', kHexPartLength);
    if (n == 0)
        return false;
    for (int k = 0; k < 16; ++k) {
        char* pair = out + 3 * k + (k >= 8 ? 1 : 0);
        pair[0] = kHexDigits[bytes[k] >> 4];
        pair[1] = kHexDigits[bytes[k] & 0xF];
    }
    if (nOffset + 16 >= doc.m_nSize) {
        // The last row: the end marker's pair and the prefilled pairs after it are
        // blanked from the separator before the marker to the end of the 16th pair.
        text[n - 1] = ' ';
        std::memset(out + 3 * (n - 1), ' ', 48 - 3 * (n - 1));
    }
    std::memcpy(out + kHexPartLength, text, n);
    return n == 17;
}

int CRowFormat::FormatOffset(std::uint32_t nOffset, char* pszOut)
{
    int nDigits = 6;
    while (nDigits < 8 && (nOffset >> (4 * nDigits)) != 0)
        ++nDigits;
    for (int i = nDigits - 1; i >= 0; --i) {
        pszOut[i] = kHexDigits[nOffset & 0xF];
        nOffset >>= 4;
    }
    std::memset(pszOut + nDigits, ' ', 4);
    return nDigits + 4;
}

void CRowFormat::Attach(const CHexDoc& doc)
{
    if (m_pDoc != &doc || m_nCodePage != doc.m_nCodePage) {
        m_pDoc = &doc;
        m_nCodePage = doc.m_nCodePage;
        m_landings.clear();
    }
}

bool CRowFormat::IsRowContinued(const CHexDoc& doc, std::uint32_t nRow, bool bAtStart)
{
    Attach(doc);
    const std::uint64_t nLimit = (std::uint64_t(nRow) + (bAtStart ? 0 : 1)) * 16;
    // Only a pair that starts just before the limit crosses it. The end marker is
    // never a trail byte, so no pair crosses a limit at or past it.
    if (nLimit == 0 || nLimit >= doc.m_nSize)
        return false;
    const std::uint32_t nLead = std::uint32_t(nLimit) - 1;
    if (!IsLeadByte(m_nCodePage, doc.m_pData[nLead]) || !IsTrailByte(m_nCodePage, doc.m_pData[nLead + 1]))
        return false;
    return LandsOn(nLead);
}

void CRowFormat::InvalidateRowCache(std::uint32_t nFrom)
{
    // Entry k depends on the bytes up to k * kBlock, its look-ahead included.
    const std::uint64_t nKeep = (std::uint64_t(nFrom) + kBlock - 1) / kBlock;
    if (m_landings.size() > nKeep)
        m_landings.resize(std::size_t(nKeep));
}

// Whether the walk from offset 0, which takes a lead byte and the trail byte after
// it as one step and any other byte as one, steps on nPos rather than over it.
//
// The walk always steps on the byte after a byte that is not a lead byte: that
// byte is either stepped on and left by one, or stepped over as a trail byte. So
// the walk can begin after the last such byte before nPos, and only a run of lead
// bytes back to the start of nPos's block needs the remembered landing there.
bool CRowFormat::LandsOn(std::uint32_t nPos)
{
    if (nPos == 0)
        return true;
    const std::uint8_t* data = m_pDoc->m_pData;
    const std::uint32_t nBlock = (nPos - 1) / kBlock;
    const std::uint32_t nBlockStart = nBlock * kBlock;
    std::uint32_t i = nPos;
    while (i > nBlockStart && IsLeadByte(m_nCodePage, data[i - 1]))
        --i;
    if (i == nBlockStart)
        i = CheckpointLanding(nBlock);
    while (i < nPos)
        i += (IsLeadByte(m_nCodePage, data[i]) && IsTrailByte(m_nCodePage, data[i + 1])) ? 2 : 1;
    return i == nPos;
}

std::uint32_t CRowFormat::CheckpointLanding(std::uint32_t nIndex)
{
    if (m_landings.empty())
        m_landings.push_back(0);
    // Each new entry reads the one before it, so filling in order keeps LandsOn
    // from recursing more than one level.
    while (m_landings.size() <= nIndex) {
        const std::uint32_t nStart = std::uint32_t(m_landings.size()) * kBlock;
        m_landings.push_back(LandsOn(nStart) ? 0 : 1);
    }
    return nIndex * kBlock + m_landings[nIndex];
}
