#include "tablerow.h"

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

std::uint32_t CTableRow::WriteUtf8(const CCharTable& table, const std::uint8_t* pData, std::uint32_t nLength,
                                   std::uint32_t nRowStart, std::uint32_t nLanding, char*& pOut)
{
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
