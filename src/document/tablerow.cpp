#include "tablerow.h"

#include "byteclasses.h"
#include "chartable.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kRowBytes = 16;
constexpr int kCellsWithSpill = 17;

// Calls f(nCell, nCells, pEntry) for each place of the row: pEntry null for a
// byte that shows '.'.
template <typename F>
std::uint32_t ForEachCell(const CCharTable& table, const std::uint8_t* pData, std::uint32_t nLength,
                          std::uint32_t nRowStart, std::uint32_t nLanding, F&& f)
{
    const std::uint32_t nRowEnd = std::min(nRowStart + kRowBytes, nLength);
    for (std::uint32_t p = nRowStart; p < std::min(nLanding, nRowEnd); ++p)
        f(int(p - nRowStart), 1, nullptr);
    std::uint32_t p = std::max(nLanding, nRowStart);
    while (p < nRowEnd) {
        const CCharTable::Match match = table.MatchAt(pData + p, nLength - p);
        const int nCell = int(p - nRowStart);
        if (match.nBytes) {
            f(nCell, std::min(match.nBytes, kCellsWithSpill - nCell), match.pEntry);
            p += std::uint32_t(match.nBytes);
        } else {
            f(nCell, 1, nullptr);
            ++p;
        }
    }
    return p;
}

} // namespace

std::uint32_t CTableRow::Cells(const CCharTable& table, const std::uint8_t* pData, std::uint32_t nLength,
                               std::uint32_t nRowStart, std::uint32_t nLanding, std::vector<CTableCell>& cells)
{
    cells.clear();
    const QString dot = QStringLiteral(".");
    return ForEachCell(table, pData, nLength, nRowStart, nLanding,
                       [&](int nCell, int nCells, const CCharTable::Entry* pEntry) {
                           cells.push_back({nCell, nCells, pEntry ? CCharTable::ShownText(*pEntry) : dot});
                       });
}

namespace {

// The commonest row of --dump: 16 bytes with the byte after them at hand, and
// at every place the walk lands on a key of one or two bytes (or none) with a
// short text. Each place's step is looked up at once (Steps), so that the
// look-ups do not wait for one another; where the walk lands follows from the
// places that begin a pair, as pairs of a code page do; and each text goes out
// in one 4-byte store. Returns false, having written nothing, for a row that
// needs MatchAt.
bool WriteUtf8Fast(const CCharTable& table, const std::uint8_t* row, std::uint32_t nSkip, char*& pOut,
                   std::uint32_t& nNext)
{
    std::uint32_t step[kRowBytes];
    std::uint32_t pairs = 0;
    std::uint32_t slow = 0;
#pragma GCC unroll 16
    for (std::uint32_t i = 0; i < kRowBytes; ++i) {
        step[i] = table.StepAt(row + i);
        const std::uint32_t flags = CCharTable::StepFlags(step[i]);
        pairs |= ((flags & CCharTable::kStepPair) != 0 ? 1u : 0u) << i;
        slow |= ((flags & CCharTable::kStepSlow) != 0 ? 1u : 0u) << i;
    }
    const std::uint32_t starts = CByteClasses::PairStarts(pairs >> nSkip) << nSkip;
    const std::uint32_t landings = (0xFFFFu << nSkip) & 0xFFFFu & ~(starts << 1);
    if ((landings & slow) != 0)
        return false;
    char* p = pOut;
    std::memset(p, '.', nSkip);
    p += nSkip;
    // Every place is stored, and p moves past those the walk lands on: no
    // branch that depends on the bytes.
#pragma GCC unroll 16
    for (std::uint32_t i = 0; i < kRowBytes; ++i) {
        std::memcpy(p, &step[i], 4);
        p += CCharTable::StepFlags(step[i]) & 3 & (0u - (landings >> i & 1));
    }
    pOut = p;
    nNext = kRowBytes + (starts >> 15 & 1);
    return true;
}

} // namespace

std::uint32_t CTableRow::WriteUtf8(const CCharTable& table, const std::uint8_t* pData, std::uint32_t nLength,
                                   std::uint32_t nRowStart, std::uint32_t nLanding, char*& pOut)
{
    const std::uint32_t nSkip = nLanding > nRowStart ? nLanding - nRowStart : 0;
    std::uint32_t nStep = 0;
    if (table.HasSteps() && nRowStart < nLength && nLength - nRowStart > kRowBytes && nSkip < kRowBytes
        && WriteUtf8Fast(table, pData + nRowStart, nSkip, pOut, nStep))
        return nRowStart + nStep;
    char* p = pOut;
    const std::uint32_t nNext = ForEachCell(table, pData, nLength, nRowStart, nLanding,
                                            [&p, &table](int, int, const CCharTable::Entry* pEntry) {
                                                if (!pEntry) {
                                                    *p++ = '.';
                                                    return;
                                                }
                                                std::size_t n = 0;
                                                const char* pText = table.ShownUtf8(pEntry, n);
                                                // Most texts are a character or two: one 8-byte copy.
                                                if (n <= 8)
                                                    std::memcpy(p, pText, 8);
                                                else
                                                    std::memcpy(p, pText, n);
                                                p += n;
                                            });
    pOut = p;
    return nNext;
}

std::size_t CTableRow::MaxUtf8(const CCharTable& table)
{
    return std::size_t(kCellsWithSpill) * std::size_t(std::max(1, table.MostShownBytes())) + 8;
}
