#include "rowformat.h"

#include "byteclasses.h"
#include "codepage.h"
#include "hexdoc.h"
#include "utf8.h"

#include <cstring>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

// "XX  " for each byte value, as the four bytes of one unaligned store: a pair is
// written with its blank and one more, which the next pair overwrites.
struct HexPairs {
    char text[256][4];
    constexpr HexPairs() : text()
    {
        for (int b = 0; b < 256; ++b) {
            text[b][0] = kHexDigits[b >> 4];
            text[b][1] = kHexDigits[b & 0xF];
            text[b][2] = ' ';
            text[b][3] = ' ';
        }
    }
};
constexpr HexPairs kHexPairs;

std::uint32_t GetUtf8RowText(const std::uint8_t* row, std::uint32_t nLeft, std::uint8_t* hex, char* text)
{
    const std::uint32_t count = nLeft < 16 ? nLeft : 16;
    std::uint32_t j = 0;
    while (j < count) {
        const std::uint8_t b = row[j];
        char32_t ch;
        const int n = b >= 0x80 ? Utf8SequenceAt(row + j, nLeft - j, ch) : 0;
        if (n != 0 && IsShownChar(ch)) {
            std::memcpy(hex + j, row + j, std::size_t(n));
            std::memcpy(text + j, row + j, std::size_t(n));
            j += std::uint32_t(n);
            continue;
        }
        hex[j] = b;
        text[j] = b >= 0x20 && b <= 0x7E ? char(b) : '.';
        ++j;
    }
    return j;
}

} // namespace

std::uint32_t CRowFormat::GetRowText(const std::uint8_t* pData, std::uint32_t nSize, int nCodePage,
                                     std::uint32_t nOffset, std::uint8_t* hex, char* text, bool bContinuation)
{
    if (nOffset >= nSize)
        return 0;
    const std::uint8_t* row = pData + nOffset;
    const std::uint32_t nLeft = nSize - nOffset;
    const CByteClasses& classes = CByteClasses::For(nCodePage);

    if (nCodePage == kCodePageUtf8) {
        // A row of ASCII needs no sequence rules.
        if (nLeft > 16 && CByteClasses::HighMask(row) == 0) {
            std::memcpy(hex, row, 16);
            CByteClasses::Select(row, classes.ShownMask(row), '.', text);
            return 16;
        }
        return GetUtf8RowText(row, nLeft, hex, text);
    }

    if (nLeft > 16 && classes.HasMasks()) {
        // A whole row with the byte after it: all 16 bytes at once. The pairs are
        // where the walk meets a lead byte followed by a trail byte; a byte shows as
        // itself inside a pair or, alone, when it is shown and no lead byte.
        const std::uint32_t leads = classes.LeadMask(row);
        std::uint32_t candidates = leads & classes.TrailMask(row + 1);
        if (bContinuation)
            candidates &= ~1u;
        const std::uint32_t starts = CByteClasses::PairStarts(candidates);
        const std::uint32_t keep = starts | (starts << 1) | (classes.ShownMask(row) & ~leads);
        std::memcpy(hex, row, 16);
        CByteClasses::Select(row, keep, '.', text);
        if (bContinuation)
            text[0] = '.';
        if ((starts & 0x8000) == 0)
            return 16;
        hex[16] = row[16];
        text[16] = char(row[16]);
        return 17;
    }

    const std::uint32_t count = nLeft < 16 ? nLeft : 16;
    std::uint32_t j = bContinuation ? 1 : 0;
    while (j < count) {
        const std::uint8_t b = row[j];
        hex[j] = b;
        text[j] = char(b);
        if (IsLeadByte(nCodePage, b)) {
            // With the end marker in place a lead byte is never the buffer's last
            // byte; the bound keeps even a damaged buffer from being overrun.
            if (j + 1 < nLeft && IsTrailByte(nCodePage, row[j + 1])) {
                ++j;
                hex[j] = row[j];
                text[j] = char(row[j]);
            } else {
                text[j] = '.';
            }
        } else if (!((b >= 0x20 && b <= 0x7E) || IsHalfWidthKana(nCodePage, b))) {
            text[j] = '.';
        }
        ++j;
    }
    if (bContinuation) {
        hex[0] = row[0];
        text[0] = '.';
    }
    return count == nLeft ? count : j;
}

bool CRowFormat::FormatRow(const CHexDoc& doc, std::uint32_t nRow, QByteArray& strRow, bool bContinued)
{
    strRow.resize(kMaxRowLength);
    strRow.resize(FormatRow(doc, nRow, strRow.data(), bContinued));
    return bContinued;
}

int CRowFormat::FormatRow(const CHexDoc& doc, std::uint32_t nRow, char* pszRow, bool& bContinued)
{
    // Bytes past the last row's end keep 0x20; their pairs are blanked below.
    std::uint8_t bytes[kMaxTextLength];
    char text[kMaxTextLength];
    const std::uint64_t nOffset = std::uint64_t(nRow) * 16;
    std::uint32_t n = 0;
    if (nOffset < doc.m_nSize) {
        if (doc.m_nSize - nOffset < 16)
            std::memset(bytes, 0x20, sizeof bytes);
        n = GetRowText(doc.m_pData, doc.m_nSize, doc.m_nCodePage, std::uint32_t(nOffset), bytes, text, bContinued);
    }
    bContinued = n == 17 && doc.m_nCodePage != kCodePageUtf8;
    if (n == 0) {
        std::memset(pszRow, ' ', kHexPartLength);
        return kHexPartLength;
    }
    for (int k = 0; k < 16; ++k)
        std::memcpy(pszRow + 3 * k + (k >= 8 ? 1 : 0), kHexPairs.text[bytes[k]], 4);
    std::memset(pszRow + 49, ' ', 3);
    if (nOffset + 16 >= doc.m_nSize) {
        // The last row: the end marker's pair and the pairs after it are blanked
        // from the separator before the marker to the end of the 16th pair.
        text[n - 1] = ' ';
        std::memset(pszRow + 3 * (n - 1), ' ', 48 - 3 * (n - 1));
    }
    std::memcpy(pszRow + kHexPartLength, text, n);
    return kHexPartLength + int(n);
}

int CRowFormat::FormatOffset(std::uint32_t nOffset, char* pszOut)
{
    const int nDigits = nOffset >= 0x10000000 ? 8 : nOffset >= 0x1000000 ? 7 : 6;
    char digits[8];
    for (int i = 0; i < 4; ++i)
        std::memcpy(digits + 2 * i, kHexPairs.text[(nOffset >> (24 - 8 * i)) & 0xFF], 2);
    std::memcpy(pszOut, digits + 8 - nDigits, std::size_t(nDigits));
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
    if (m_nCodePage == kCodePageUtf8)
        return false;
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
