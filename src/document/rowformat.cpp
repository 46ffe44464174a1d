#include "rowformat.h"

#include "byteclasses.h"
#include "codepage.h"
#include "hexdoc.h"
#include "rowparts.h"
#include "textdecoder.h"
#include "utf8.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

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

// Writes the 16 pairs "XX " of bytes at pszOut, with the blank between the two
// halves: 48 columns, the last pair's blank not written.
void FormatPairs(const std::uint8_t* bytes, char* pszOut)
{
    for (int k = 0; k < 16; ++k)
        std::memcpy(pszOut + 3 * k + (k >= 8 ? 1 : 0), kHexPairs.text[bytes[k]], 4);
}


// The n (2-4) bytes of a sequence into both columns, without a call for a
// copy of variable length.
void CopySequence(const std::uint8_t* from, int n, std::uint8_t* hex, char* text)
{
    for (int k = 0; k < 4; ++k) {
        if (k < n) {
            hex[k] = from[k];
            text[k] = char(from[k]);
        }
    }
}

std::uint32_t GetUtf8RowText(const std::uint8_t* row, std::uint32_t nLeft, std::uint8_t* hex, char* text)
{
    const std::uint32_t count = nLeft < 16 ? nLeft : 16;
    std::uint32_t j = 0;
    while (j < count) {
        const std::uint8_t b = row[j];
        if (IsIdeographAt(row + j, nLeft - j)) {
            CopySequence(row + j, 3, hex + j, text + j);
            j += 3;
            continue;
        }
        char32_t ch;
        const int n = b >= 0x80 ? Utf8SequenceAt(row + j, nLeft - j, ch) : 0;
        if (n != 0 && IsShownChar(ch)) {
            CopySequence(row + j, n, hex + j, text + j);
            j += std::uint32_t(n);
            continue;
        }
        hex[j] = b;
        text[j] = b >= 0x20 && b <= 0x7E ? char(b) : '.';
        ++j;
    }
    return j;
}

// GetUtf8RowText for a row with the bytes after it at hand (kMaxTextLength),
// its masks made: the walk stops only at the bytes that may begin a sequence
// (from 0x80 up and no continuation byte, so never inside a sequence taken),
// in order; every other byte shows as itself when shown (the bits of shown),
// else as '.'. A walk through every byte was most of the time of a row of
// binary data.
std::uint32_t GetUtf8RowTextByLeads(const std::uint8_t* row, std::uint32_t nLeft, const CUtf8Masks& masks,
                                    std::uint32_t shown, std::uint8_t* hex, char* text)
{
    std::uint32_t keep = shown & 0xFFFF;
    std::uint32_t nEnd = 0;   // past the last sequence taken
    for (std::uint32_t leads = masks.nHigh & ~masks.nContinuation & 0xFFFF; leads != 0; leads &= leads - 1) {
        const auto at = std::uint32_t(__builtin_ctz(leads));
        int n = 0;
        if (IsIdeographAt(row + at, nLeft - at)) {
            n = 3;
        } else {
            char32_t ch;
            n = Utf8SequenceAt(row + at, nLeft - at, ch);
            if (n != 0 && !IsShownChar(ch))
                n = 0;
        }
        if (n != 0) {
            keep |= ((1u << n) - 1) << at;
            nEnd = at + std::uint32_t(n);
        }
    }
    std::memcpy(hex, row, 16);
    CByteClasses::Select(row, keep & 0xFFFF, '.', text);
    for (std::uint32_t k = 16; k < nEnd; ++k) {
        hex[k] = row[k];
        text[k] = char(row[k]);
    }
    return std::max<std::uint32_t>(nEnd, 16);
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
        // A row of ideographs and ASCII, those ideographs crossing its end
        // included, at once. Continuation bytes outside them show as '.', as the
        // walk sees them; a byte from 0x80 up of any other kind needs the walk.
        if (nLeft >= kMaxTextLength) {
            const CUtf8Masks masks(row);
            const std::uint32_t starts = masks.nIdeographs & 0xFFFF;
            const std::uint32_t covered = starts | starts << 1 | starts << 2;
            if ((masks.nHigh & 0xFFFF & ~(covered | masks.nContinuation)) == 0) {
                std::memcpy(hex, row, 16);
                CByteClasses::Select(row, (covered & 0xFFFF) | classes.ShownMask(row), '.', text);
                const std::uint32_t nEnd = covered > 0xFFFF ? std::uint32_t(32 - __builtin_clz(covered)) : 16;
                for (std::uint32_t k = 16; k < nEnd; ++k) {
                    hex[k] = row[k];
                    text[k] = char(row[k]);
                }
                return nEnd;
            }
            return GetUtf8RowTextByLeads(row, nLeft, masks, classes.ShownMask(row), hex, text);
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
        } else if (!IsShownAlone(nCodePage, b)) {
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

bool CRowFormat::FormatRow(const CHexDoc& doc, qint64 nRow, QByteArray& strRow, bool bContinued)
{
    strRow.resize(kMaxRowLength);
    strRow.resize(FormatRow(doc, nRow, strRow.data(), bContinued));
    return bContinued;
}

int CRowFormat::FormatRow(const CHexDoc& doc, qint64 nRow, char* pszRow, bool& bContinued)
{
    // The row and the bytes its last character may take from the next one: a
    // window longer than kMaxTextLength reads as a row that is not the last, and
    // a window that reaches the end holds the end marker, as the whole buffer did.
    constexpr qint64 kWindow = 32;
    const qint64 nOffset = nRow * 16;
    const qint64 nLeft = doc.Length() + 1 - nOffset;
    QByteArray hold;
    const std::uint8_t* p = nRow >= 0 && nLeft > 0 ? doc.Span(nOffset, std::min(nLeft, kWindow), hold) : nullptr;
    if (!p) {
        bContinued = false;
        std::memset(pszRow, ' ', kHexPartLength);
        return kHexPartLength;
    }
    return FormatRow(p, std::uint32_t(std::min(nLeft, kWindow)), doc.GetCodePage(), 0, pszRow, bContinued);
}

void CRowFormat::FormatHexPart(const std::uint8_t* row, char* pszOut)
{
#ifdef ZORBEL_PAIRS_SSSE3
    static const bool bSsse3 = __builtin_cpu_supports("ssse3");
    if (bSsse3)
        CRowParts::FormatPairsBySsse3(row, pszOut);
    else
#endif
        FormatPairs(row, pszOut);
    std::memset(pszOut + 48, ' ', 4);
}

int CRowFormat::FormatRow(const std::uint8_t* pData, std::uint32_t nSize, int nCodePage, std::uint32_t nOffset,
                          char* pszRow, bool& bContinued)
{
    // Bytes past the last row's end keep 0x20; their pairs are blanked below.
    std::uint8_t bytes[kMaxTextLength];
    char text[kMaxTextLength];
    if (nSize - nOffset < 16)
        std::memset(bytes, 0x20, sizeof bytes);
    const std::uint32_t n = GetRowText(pData, nSize, nCodePage, nOffset, bytes, text, bContinued);
    bContinued = n == 17 && nCodePage != kCodePageUtf8;
    FormatHexPart(bytes, pszRow);
    if (nSize - nOffset <= 16) {
        // The last row: the end marker's pair and the pairs after it are blanked
        // from the separator before the marker to the end of the 16th pair.
        text[n - 1] = ' ';
        std::memset(pszRow + 3 * (n - 1), ' ', 48 - 3 * (n - 1));
    }
    // All of the room, in copies of a fixed length that do not overlap: a reader
    // of the text column that loads its first 16 bytes at once then finds them
    // in one store instead of waiting for the stores to reach the cache.
    std::memcpy(pszRow + kHexPartLength, text, 16);
    std::memcpy(pszRow + kHexPartLength + 16, text + 16, kMaxTextLength - 16);
    return kHexPartLength + int(n);
}

void CRowFormat::FormatOffset(std::uint32_t nOffset, char* pszOut)
{
    CRowParts::FormatShortOffset(nOffset, pszOut);
}

int CRowFormat::OffsetColumns(std::uint64_t nLength)
{
    const std::uint64_t nLastRow = nLength & ~std::uint64_t(15);
    if (nLastRow <= 0xFFFFFFFFu)
        return kOffsetColumns;
    const int nDigits = (64 - __builtin_clzll(nLastRow) + 3) / 4;
    return nDigits + 2;
}

int CRowFormat::FormatOffset(std::uint64_t nOffset, int nColumns, char* pszOut)
{
    if (nOffset <= 0xFFFFFFFFu && nColumns == kOffsetColumns) {
        CRowParts::FormatShortOffset(std::uint32_t(nOffset), pszOut);
        return kOffsetColumns;
    }
    char digits[16];
    const std::uint64_t high = CRowParts::HexDigits8(std::uint32_t(nOffset >> 32));
    const std::uint64_t low = CRowParts::HexDigits8(std::uint32_t(nOffset));
    std::memcpy(digits, &high, 8);
    std::memcpy(digits + 8, &low, 8);
    const int nSignificant = nOffset == 0 ? 1 : (64 - __builtin_clzll(nOffset) + 3) / 4;
    const int nDigits = std::max(nSignificant, 6);
    const int nWritten = std::max(nColumns, nDigits + 2);
    std::memcpy(pszOut, digits + 16 - nDigits, std::size_t(nDigits));
    std::memset(pszOut + nDigits, ' ', std::size_t(nWritten - nDigits));
    return nWritten;
}

void CRowFormat::Attach(const CHexDoc& doc)
{
    if (m_pDoc != &doc || m_nCodePage != doc.GetCodePage()) {
        m_pDoc = &doc;
        m_nCodePage = doc.GetCodePage();
        m_runs.clear();
    }
}

bool CRowFormat::IsRowContinued(const CHexDoc& doc, qint64 nRow, bool bAtStart)
{
    Attach(doc);
    if (m_nCodePage == kCodePageUtf8)
        return false;
    const qint64 nLimit = (nRow + (bAtStart ? 0 : 1)) * 16;
    // Only a pair that starts just before the limit crosses it. The end marker is
    // never a trail byte, so no pair crosses a limit at or past it.
    if (nLimit <= 0 || nLimit > doc.Length())
        return false;
    const qint64 nLead = nLimit - 1;
    if (!IsLeadByte(m_nCodePage, doc.ByteAt(nLead)) || !IsTrailByte(m_nCodePage, doc.ByteAt(nLead + 1)))
        return false;
    return (nLead - RunStart(nLead)) % 2 == 0;
}

void CRowFormat::InvalidateRowCache(qint64 nFrom)
{
    ReplaceInRowCache(nFrom, std::numeric_limits<qint64>::max() - nFrom, 0);
}

void CRowFormat::ReplaceInRowCache(qint64 nPos, qint64 nRemoved, qint64 nInserted)
{
    // A run keeps its part before nPos and, moved along, its part after the
    // removed bytes; the bytes in between are new.
    const qint64 nRemovedEnd = nPos + nRemoved;
    const qint64 nShift = nInserted - nRemoved;
    std::vector<Run> runs;
    runs.reserve(m_runs.size() + 1);
    for (const Run& run : m_runs) {
        if (run.nStart < nPos)
            runs.push_back({run.nStart, std::min(run.nEnd, nPos)});
        if (run.nEnd > nRemovedEnd) {
            const qint64 nStart = std::max(run.nStart, nRemovedEnd);
            runs.push_back({nStart + nShift, run.nEnd + nShift});
        }
    }
    m_runs.swap(runs);
}

void CRowFormat::AddLeadRuns(const CHexDoc& doc, const std::vector<CByteRange>& runs)
{
    Attach(doc);
    for (int b = 0; b < 256; ++b) {
        if (IsLeadByte(m_nCodePage, std::uint8_t(b)) != (b >= 0xA1 && b <= 0xFE))
            return;
    }
    for (const CByteRange& run : runs)
        Remember(qint64(run.nStart), qint64(run.nEnd));
}

std::uint32_t CRowFormat::LeadRunStart(const std::uint8_t* pData, std::uint32_t nFloor, std::uint32_t nPos,
                                       int nCodePage)
{
    const CByteClasses& classes = CByteClasses::For(nCodePage);
    std::uint32_t p = nPos;
    if (classes.HasMasks()) {
        // Four masks at a time while the run goes on, then the last non-lead byte
        // among the 16 bytes that hold it.
        while (p - nFloor >= 64 && (classes.LeadMask(pData + p - 64) & classes.LeadMask(pData + p - 48)
                                    & classes.LeadMask(pData + p - 32) & classes.LeadMask(pData + p - 16))
                   == 0xFFFF)
            p -= 64;
        while (p - nFloor >= 16) {
            const std::uint32_t others = ~classes.LeadMask(pData + p - 16) & 0xFFFF;
            if (others != 0)
                return p - 16 + std::uint32_t(32 - __builtin_clz(others));
            p -= 16;
        }
    }
    while (p > nFloor && IsLeadByte(nCodePage, pData[p - 1]))
        --p;
    return p;
}

bool CRowFormat::LandsOn(const std::uint8_t* pData, std::uint32_t nFrom, std::uint32_t nPos, int nCodePage)
{
    // The walk lands on the run's start: on nFrom, or after a byte that is no
    // lead byte. From there it takes the run's bytes in pairs; an odd one left
    // before nPos pairs with it when nPos can be a trail byte.
    const std::uint32_t nStart = LeadRunStart(pData, nFrom, nPos, nCodePage);
    return (nPos - nStart) % 2 == 0 || !IsTrailByte(nCodePage, pData[nPos]);
}

// The first offset s such that every byte from s up to nPos is a lead byte,
// helped by the runs already known and by the file's blocks the document
// knows to be all lead bytes: the scan jumps over them, and the run it finds
// is remembered when it is long.
qint64 CRowFormat::ReadRunStart(qint64 nFloor, qint64 nPos) const
{
    constexpr qint64 kBlock = qint64(1) << 16;
    QByteArray hold;
    qint64 p = nPos;
    while (p > nFloor) {
        // Blocks of the file known to be all lead bytes are stepped over
        // unread; only the block where the run may begin is looked at.
        p = m_pDoc->KnownLeadStart(nFloor, p, m_nCodePage);
        if (p == nFloor)
            break;
        const qint64 nFrom = std::max(nFloor, p - kBlock);
        const std::uint8_t* pBlock = m_pDoc->Span(nFrom, p - nFrom, hold);
        if (!pBlock)
            return p;
        const std::uint32_t nStart = LeadRunStart(pBlock, 0, std::uint32_t(p - nFrom), m_nCodePage);
        if (nStart > 0)
            return nFrom + nStart;
        p = nFrom;
    }
    return p;
}

qint64 CRowFormat::RunStart(qint64 nPos)
{
    qint64 p = nPos;
    while (p > 0) {
        // The last known run that starts before p.
        auto it = std::upper_bound(m_runs.begin(), m_runs.end(), p - 1,
                                   [](qint64 n, const Run& run) { return n < run.nStart; });
        qint64 nFloor = 0;
        if (it != m_runs.begin()) {
            --it;
            if (it->nEnd >= p) {
                p = it->nStart;
                continue;
            }
            nFloor = it->nEnd;
        }
        const qint64 nStart = ReadRunStart(nFloor, p);
        if (nStart > nFloor || nFloor == 0) {
            p = nStart;
            break;
        }
        p = nFloor;
    }
    if (nPos - p >= kMinRun)
        Remember(p, nPos);
    return p;
}

void CRowFormat::Remember(qint64 nStart, qint64 nEnd)
{
    // Runs that overlap or touch the new one join it.
    auto first = std::lower_bound(m_runs.begin(), m_runs.end(), nStart,
                                  [](const Run& run, qint64 n) { return run.nEnd < n; });
    auto last = first;
    Run joined{nStart, nEnd};
    for (; last != m_runs.end() && last->nStart <= nEnd; ++last) {
        joined.nStart = std::min(joined.nStart, last->nStart);
        joined.nEnd = std::max(joined.nEnd, last->nEnd);
    }
    m_runs.insert(m_runs.erase(first, last), joined);
}
