#include "tablerow.h"

#include "byteclasses.h"
#include "chartable.h"
#include "hexdoc.h"

#include <algorithm>
#include <cstring>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

CTableBytes CTableRow::Read(const CCharTable& table, const CHexDoc& doc, qint64 nFirst, qint64 nEnd,
                             QByteArray& hold)
{
    const qint64 nLength = doc.Length();
    nFirst = std::clamp<qint64>(nFirst, 0, nLength);
    const qint64 nStop = std::min(nLength, std::max(nEnd, nFirst) + CCharTable::kMaxKeyLength);
    for (qint64 nBack = qint64(1) << 16;; nBack *= 16) {
        // The start and the end are where the walk lands, as LandingAt says of them.
        const qint64 nBase = nFirst == nLength ? nFirst : std::max<qint64>(0, nFirst - nBack);
        if (nStop - nBase > qint64(0xFFFFFFFEu))
            return {};
        const std::uint8_t* p = doc.Span(nBase, nStop - nBase, hold);
        if (!p)
            return {};
        const auto n = std::uint32_t(nStop - nBase);
        const auto nPos = std::uint32_t(nFirst - nBase);
        std::uint32_t nLanding = nPos;
        if (nBase == 0)
            nLanding = table.LandingAt(p, n, nPos);
        else if (nPos < n && !table.LandingWithin(p, n, nPos, nLanding))
            continue;
        return {p, n, nBase, nBase + nLanding};
    }
}

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

#ifdef __SSE2__
// The steps of 16 places, given each place's two bytes as one number in the
// lanes of low (places 0-7) and high (8-15); a lane is taken out by a
// constant, hence the sequence.
template <int... k>
void LookUpSteps(const CCharTable& table, __m128i low, __m128i high, std::uint32_t* step,
                 std::integer_sequence<int, k...>)
{
    ((step[k] = table.StepAt(std::uint32_t(_mm_extract_epi16(low, k))),
      step[k + 8] = table.StepAt(std::uint32_t(_mm_extract_epi16(high, k)))),
     ...);
}
#endif

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
#ifdef __SSE2__
    // Each place's two bytes as one number, eight places to a register.
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 1));
    LookUpSteps(table, _mm_unpacklo_epi8(second, first), _mm_unpackhi_epi8(second, first), step,
                std::make_integer_sequence<int, 8>());
    // The flags are the top bits of each step: kStepPair its sign.
    __m128i steps[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        steps[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(step + 4 * k));
        pairs |= std::uint32_t(_mm_movemask_ps(_mm_castsi128_ps(steps[k]))) << 4 * k;
        slow |= std::uint32_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_slli_epi32(steps[k], 1)))) << 4 * k;
    }
#else
#pragma GCC unroll 16
    for (std::uint32_t i = 0; i < kRowBytes; ++i) {
        step[i] = table.StepAt(std::uint32_t(row[i]) << 8 | row[i + 1]);
        const std::uint32_t flags = CCharTable::StepFlags(step[i]);
        pairs |= ((flags & CCharTable::kStepPair) != 0 ? 1u : 0u) << i;
        slow |= ((flags & CCharTable::kStepSlow) != 0 ? 1u : 0u) << i;
    }
#endif
    const std::uint32_t starts = CByteClasses::PairStarts(pairs >> nSkip) << nSkip;
    const std::uint32_t landings = (0xFFFFu << nSkip) & 0xFFFFu & ~(starts << 1);
    if ((landings & slow) != 0)
        return false;
    // How far each place moves the output: its text's length where the walk
    // lands, else 0.
    std::uint32_t advance[kRowBytes];
#ifdef __SSE2__
    const __m128i bits = _mm_setr_epi32(1, 2, 4, 8);
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        const __m128i landed = _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(int(landings >> 4 * k)), bits), bits);
        const __m128i length = _mm_and_si128(_mm_srli_epi32(steps[k], 24), _mm_set1_epi32(3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(advance + 4 * k), _mm_and_si128(length, landed));
    }
#else
#pragma GCC unroll 16
    for (std::uint32_t i = 0; i < kRowBytes; ++i)
        advance[i] = CCharTable::StepFlags(step[i]) & 3 & (0u - (landings >> i & 1));
#endif
    char* p = pOut;
    std::memset(p, '.', nSkip);
    p += nSkip;
    // Every place is stored, and the output moves past those the walk lands
    // on: no branch that depends on the bytes.
#pragma GCC unroll 16
    for (std::uint32_t i = 0; i < kRowBytes; ++i) {
        std::memcpy(p, &step[i], 4);
        p += advance[i];
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
