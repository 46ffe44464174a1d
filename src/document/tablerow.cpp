#include "tablerow.h"

#include "byteclasses.h"
#include "chartable.h"
#include "hexdoc.h"
#include "processor.h"
#include "rowformat.h"
#include "rowparts.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
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

// The places of a row where the walk lands, from the pair flags of its steps:
// the walk lands past nSkip on every place that is not the second byte of a
// pair it took, as pairs of a code page go.
struct Landings {
    std::uint32_t starts;
    std::uint32_t landings;

    Landings(std::uint32_t pairs, std::uint32_t nSkip)
        : starts(CByteClasses::PairStarts(pairs >> nSkip) << nSkip),
          landings((0xFFFFu << nSkip) & 0xFFFFu & ~(starts << 1))
    {
    }
    std::uint32_t Next() const { return kRowBytes + (starts >> 15 & 1); }
};

// The commonest row of --dump: 16 bytes with the byte after them at hand, and
// at every place the walk lands on a key of one or two bytes (or none) with a
// short text. Each place's step is looked up at once, so that the look-ups do
// not wait for one another; where the walk lands follows from the places that
// begin a pair; and each text goes out in one 4-byte store, the output moving
// past the places the walk lands on only. Returns false, having written
// nothing, for a row that needs MatchAt. The plain version, for processors
// without SSSE3; WriteUtf8BySsse3 below does the same.
bool WriteUtf8Plain(const CCharTable& table, const std::uint8_t* row, std::uint32_t nSkip, char*& pOut,
                    std::uint32_t& nNext)
{
    std::uint32_t step[kRowBytes];
    std::uint32_t pairs = 0;
    std::uint32_t slow = 0;
#pragma GCC unroll 16
    for (std::uint32_t i = 0; i < kRowBytes; ++i) {
        step[i] = table.StepAt(std::uint32_t(row[i]) << 8 | row[i + 1]);
        const std::uint32_t flags = CCharTable::StepFlags(step[i]);
        pairs |= ((flags & CCharTable::kStepPair) != 0 ? 1u : 0u) << i;
        slow |= ((flags & CCharTable::kStepSlow) != 0 ? 1u : 0u) << i;
    }
    const Landings walk(pairs, nSkip);
    if ((walk.landings & slow) != 0)
        return false;
    char* p = pOut;
    std::memset(p, '.', nSkip);
    p += nSkip;
#pragma GCC unroll 16
    for (std::uint32_t i = 0; i < kRowBytes; ++i) {
        std::memcpy(p, &step[i], 4);
        p += CCharTable::StepFlags(step[i]) & 3 & (0u - (walk.landings >> i & 1));
    }
    pOut = p;
    nNext = walk.Next();
    return true;
}

#if defined(__x86_64__) || defined(__i386__)
#define ZORBEL_TABLE_SSSE3 1

// For each way four places can move the output (0 to 3 bytes each, place j's
// count in bits 2j and 2j + 1 of the index), the byte shuffle that packs
// their texts together out of their four steps, and the bytes they take.
struct PackTable {
    std::uint8_t shuffle[256][16] = {};
    std::uint8_t length[256] = {};
    constexpr PackTable()
    {
        for (int index = 0; index < 256; ++index) {
            int n = 0;
            for (int j = 0; j < 4; ++j) {
                for (int b = 0; b < (index >> 2 * j & 3); ++b)
                    shuffle[index][n++] = std::uint8_t(4 * j + b);
            }
            for (int k = n; k < 16; ++k)
                shuffle[index][k] = 0x80;
            length[index] = std::uint8_t(n);
        }
    }
};

constexpr PackTable kPack;

// The steps of four places, given as lanes a to d of the pairs of bytes in v.
template <int a, int b, int c, int d>
__attribute__((target("ssse3"), always_inline)) inline __m128i FourSteps(const CCharTable& table, __m128i v)
{
    return _mm_setr_epi32(int(table.StepAt(std::uint32_t(_mm_extract_epi16(v, a)))),
                          int(table.StepAt(std::uint32_t(_mm_extract_epi16(v, b)))),
                          int(table.StepAt(std::uint32_t(_mm_extract_epi16(v, c)))),
                          int(table.StepAt(std::uint32_t(_mm_extract_epi16(v, d)))));
}

// WriteUtf8Plain with the steps held in four registers, built from the
// look-ups rather than stored and loaded again, and each four places' texts
// packed by one shuffle and written by one 16-byte store: the counts of bytes
// every place moves the output are packed into one index per four places.
__attribute__((target("ssse3"), always_inline)) inline bool WriteUtf8BySsse3(const CCharTable& table,
                                                                             const std::uint8_t* row,
                                                                             std::uint32_t nSkip, char*& pOut,
                                                                             std::uint32_t& nNext)
{
    // Each place's two bytes as one number, eight places to a register.
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 1));
    const __m128i low = _mm_unpacklo_epi8(second, first);
    const __m128i high = _mm_unpackhi_epi8(second, first);
    const __m128i steps[4] = {FourSteps<0, 1, 2, 3>(table, low), FourSteps<4, 5, 6, 7>(table, low),
                              FourSteps<0, 1, 2, 3>(table, high), FourSteps<4, 5, 6, 7>(table, high)};
    // The flags are the top bits of each step: kStepPair its sign, kStepSlow
    // the next.
    std::uint32_t pairs = 0;
    std::uint32_t slow = 0;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        pairs |= std::uint32_t(_mm_movemask_ps(_mm_castsi128_ps(steps[k]))) << 4 * k;
        slow |= std::uint32_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_slli_epi32(steps[k], 1)))) << 4 * k;
    }
    const Landings walk(pairs, nSkip);
    if ((walk.landings & slow) != 0)
        return false;
    // Each place's count of bytes where the walk lands, else 0, a byte each;
    // then four places' counts as one index, 2 bits a place.
    const __m128i bits = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i landed = _mm_cmpeq_epi8(
        _mm_and_si128(_mm_unpacklo_epi64(_mm_set1_epi8(char(walk.landings)), _mm_set1_epi8(char(walk.landings >> 8))),
                      bits),
        bits);
    const __m128i counts = _mm_packus_epi16(
        _mm_packs_epi32(_mm_srli_epi32(steps[0], 24), _mm_srli_epi32(steps[1], 24)),
        _mm_packs_epi32(_mm_srli_epi32(steps[2], 24), _mm_srli_epi32(steps[3], 24)));
    const __m128i moves = _mm_and_si128(_mm_and_si128(counts, _mm_set1_epi8(3)), landed);
    alignas(16) std::uint32_t indices[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(indices),
                    _mm_madd_epi16(_mm_maddubs_epi16(moves, _mm_set1_epi16(0x0401)), _mm_set1_epi32(0x00100001)));
    // The bytes before the walk's first landing show '.': one store, however
    // many there are.
    char* p = pOut;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_set1_epi8('.'));
    p += nSkip;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        const std::uint32_t index = indices[k];
        const __m128i shuffle = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPack.shuffle[index]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_shuffle_epi8(steps[k], shuffle));
        p += kPack.length[index];
    }
    pOut = p;
    nNext = walk.Next();
    return true;
}

const bool g_bSsse3 = __builtin_cpu_supports("ssse3");

// WriteUtf8BySsse3 for one row at a time.
__attribute__((target("ssse3"))) bool WriteRowBySsse3(const CCharTable& table, const std::uint8_t* row,
                                                      std::uint32_t nSkip, char*& pOut, std::uint32_t& nNext)
{
    return WriteUtf8BySsse3(table, row, nSkip, pOut, nNext);
}

// A row's text column by a fast way, as WriteUtf8BySsse3 takes it.
using FastRow = bool (*)(const CCharTable&, const std::uint8_t*, std::uint32_t, char*&, std::uint32_t&);

// CTableRow::FormatLines by a fast way for the rows: the offset, the hex
// part and the row's text column made in the loop, without calls and
// WriteUtf8's checks between rows. Made inline in the loop built for the
// processor features of the row's way, as the row's code is.
template <FastRow kRow, void (*kHexPart)(const std::uint8_t*, char*)>
__attribute__((target("ssse3"), always_inline)) inline char* FormatLinesBy(const CCharTable& table,
                                                                         const std::uint8_t* pData,
                                                                         std::uint32_t nLength, std::uint32_t nRows,
                                                                         std::uint64_t nFileOffset,
                                                                         int nOffsetColumns,
                                                                         std::uint32_t& nLanding, char* p)
{
    const bool bShortOffsets = nOffsetColumns == CRowFormat::kOffsetColumns
                               && nFileOffset + std::uint64_t(nRows) * kRowBytes <= 0x100000000u;
    // Rows go by 16 bytes, so that of sixteen rows in a row only the offset's
    // last digit but one changes: the others are made once for all of them.
    std::uint64_t group = 0;
    int nShift = 0;
    for (std::uint32_t r = 0, nRow = 0; r < nRows; ++r, nRow += kRowBytes) {
        char* const pLine = p;
        if (bShortOffsets) {
            const auto nOffset = std::uint32_t(nFileOffset + nRow);
            if (r == 0 || (nOffset & 0xF0) == 0) {
                group = CRowParts::ShortOffsetColumns(nOffset & ~0xF0u);
                nShift = 8 * (CRowParts::ShortOffsetDigits(nOffset) - 2);
            }
            // The digit's '0' is in group already; from 10 on it skips the
            // seven characters between '9' and 'A'.
            const std::uint32_t nDigit = nOffset >> 4 & 15;
            const std::uint64_t columns = group + (std::uint64_t(nDigit + (nDigit > 9 ? 7 : 0)) << nShift);
            std::memcpy(p, &columns, 8);
            std::memcpy(p + 8, "  ", 2);
            p += CRowFormat::kOffsetColumns;
        } else {
            p += CRowFormat::FormatOffset(nFileOffset + nRow, nOffsetColumns, p);
        }
        kHexPart(pData + nRow, p);
        p += CRowFormat::kHexPartLength;
        std::uint32_t nStep = 0;
        const std::uint32_t nSkip = nLanding - nRow;
        nLanding = nSkip < kRowBytes && kRow(table, pData + nRow, nSkip, p, nStep)
            ? nRow + nStep
            : CTableRow::WriteUtf8(table, pData, nLength, nRow, nLanding, p);
        while (p > pLine && p[-1] == ' ')
            --p;
        *p++ = '\n';
    }
    return p;
}

// The hex part and the blanks after it, for FormatLinesBy.
__attribute__((target("ssse3"), always_inline)) inline void HexPartBySsse3(const std::uint8_t* row, char* pszOut)
{
    CRowParts::FormatPairsBySsse3(row, pszOut);
    std::memcpy(pszOut + 48, "    ", 4);
}

#define ZORBEL_TABLE_LINES_PARAMETERS                                                                            \
    const CCharTable &table, const std::uint8_t *pData, std::uint32_t nLength, std::uint32_t nRows,              \
        std::uint64_t nFileOffset, int nOffsetColumns, std::uint32_t &nLanding, char *p
#define ZORBEL_TABLE_LINES_ARGUMENTS table, pData, nLength, nRows, nFileOffset, nOffsetColumns, nLanding, p

__attribute__((target("ssse3"))) char* FormatLinesBySsse3(ZORBEL_TABLE_LINES_PARAMETERS)
{
    return FormatLinesBy<WriteUtf8BySsse3, HexPartBySsse3>(ZORBEL_TABLE_LINES_ARGUMENTS);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define ZORBEL_TABLE_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt")))

// WriteUtf8BySsse3 with AVX-512: the 16 steps by one gather, and the texts of
// the places the walk lands on packed by one compress, each place's first
// bytes as many as its count. The SSSE3 way takes each key out of a register
// and puts each step into one, two instructions apiece on the port that does
// the shuffles, and packs four places at a time.
ZORBEL_TABLE_AVX512 inline bool WriteUtf8ByAvx512(const CCharTable& table, const std::uint8_t* row, std::uint32_t nSkip,
                                                  char*& pOut, std::uint32_t& nNext)
{
    // Each place's two bytes as one number, p[0] << 8 | p[1], in its lane.
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 1));
    const __m512i keys = _mm512_cvtepu16_epi32(
        _mm256_set_m128i(_mm_unpackhi_epi8(second, first), _mm_unpacklo_epi8(second, first)));
    const __m512i steps = _mm512_i32gather_epi32(keys, table.Steps(), 4);
    // The flags are the top bits of each step: kStepPair its sign, kStepSlow
    // the next.
    const auto pairs = std::uint32_t(_mm512_cmplt_epi32_mask(steps, _mm512_setzero_si512()));
    const auto slow = std::uint32_t(_mm512_test_epi32_mask(steps, _mm512_set1_epi32(0x40000000)));
    const Landings walk(pairs, nSkip);
    if ((walk.landings & slow) != 0)
        return false;
    // Each landing place's count in all four bytes of its lane (0 elsewhere),
    // and the bytes below it kept.
    const __m512i counts = _mm512_maskz_and_epi32(__mmask16(walk.landings), _mm512_srli_epi32(steps, 24),
                                                  _mm512_set1_epi32(3));
    const __m512i spread = _mm512_shuffle_epi8(counts, _mm512_set4_epi32(0x0C0C0C0C, 0x08080808, 0x04040404, 0));
    const __mmask64 kept = _mm512_cmplt_epu8_mask(_mm512_set1_epi32(0x03020100), spread);
    // The bytes before the walk's first landing show '.': one store, however
    // many there are.
    char* p = pOut;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_set1_epi8('.'));
    p += nSkip;
    _mm512_storeu_si512(p, _mm512_maskz_compress_epi8(kept, steps));
    pOut = p + _mm_popcnt_u64(kept);
    nNext = walk.Next();
    return true;
}

ZORBEL_TABLE_AVX512 char* FormatLinesByAvx512(ZORBEL_TABLE_LINES_PARAMETERS)
{
    return FormatLinesBy<WriteUtf8ByAvx512, CRowParts::FormatHexPartByAvx512>(ZORBEL_TABLE_LINES_ARGUMENTS);
}

#undef ZORBEL_TABLE_AVX512
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// Not on AMD's processors: there a gather of 16 lanes took longer than the
// rest of a code page's row (measured on Zen 4), and the table's rows have
// not been measured.
const bool g_bAvx512 = HasLinesAvx512() && !IsAmdProcessor();

#endif

bool WriteUtf8Fast(const CCharTable& table, const std::uint8_t* row, std::uint32_t nSkip, char*& pOut,
                   std::uint32_t& nNext)
{
#ifdef ZORBEL_TABLE_SSSE3
    if (g_bSsse3 && !CTableRow::s_bPlainSteps)
        return WriteRowBySsse3(table, row, nSkip, pOut, nNext);
#endif
    return WriteUtf8Plain(table, row, nSkip, pOut, nNext);
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

// The fast rows store 16 bytes at the end of each four places' texts, at most
// 48 bytes into the row.
std::size_t CTableRow::MaxUtf8(const CCharTable& table)
{
    return std::max<std::size_t>(std::size_t(kCellsWithSpill) * std::size_t(std::max(1, table.MostShownBytes())), 48)
           + 16;
}

bool CTableRow::s_bPlainSteps = false;
bool CTableRow::s_bSsse3Steps = false;

char* CTableRow::FormatLines(const CCharTable& table, const std::uint8_t* pData, std::uint32_t nLength,
                             std::uint32_t nRows, std::uint64_t nFileOffset, int nOffsetColumns,
                             std::uint32_t& nLanding, char* p)
{
#ifdef ZORBEL_TABLE_SSSE3
    if (g_bAvx512 && !s_bPlainSteps && !s_bSsse3Steps && table.HasSteps())
        return FormatLinesByAvx512(table, pData, nLength, nRows, nFileOffset, nOffsetColumns, nLanding, p);
    if (g_bSsse3 && !s_bPlainSteps && table.HasSteps())
        return FormatLinesBySsse3(table, pData, nLength, nRows, nFileOffset, nOffsetColumns, nLanding, p);
#endif
    for (std::uint32_t r = 0, nRow = 0; r < nRows; ++r, nRow += kRowBytes) {
        char* const pLine = p;
        p += CRowFormat::FormatOffset(nFileOffset + nRow, nOffsetColumns, p);
        CRowFormat::FormatHexPart(pData + nRow, p);
        p += CRowFormat::kHexPartLength;
        nLanding = WriteUtf8(table, pData, nLength, nRow, nLanding, p);
        while (p > pLine && p[-1] == ' ')
            --p;
        *p++ = '\n';
    }
    return p;
}
