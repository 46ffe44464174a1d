// CRowFormat's dump lines: a row's offset, hex part and text column turned
// into UTF-8 in one pass, by SSSE3 or AVX-512 where the processor has them,
// else by the row rules and the decoder.

#include "rowformat.h"

#include "byteclasses.h"
#include "codepage.h"
#include "processor.h"
#include "rowparts.h"
#include "textdecoder.h"
#include "utf8.h"

#ifdef ZORBEL_PAIRS_SSSE3
#include <cpuid.h>
#include <immintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>
namespace {

#ifdef ZORBEL_PAIRS_SSSE3

// Whether the AVX-512 path looks a row's characters up by a gather, else by
// scalar loads (LoadOutputs): set from the processor's maker below.
extern bool g_bGather;

// Shuffles that take 16 cells of a text column from cell i on (i up to 19), out
// of its first 16 cells in one register; cells past 16 come out as 0.
struct TextShifts {
    std::uint8_t from[20][16];
    constexpr TextShifts() : from()
    {
        for (int i = 0; i < 20; ++i) {
            for (int j = 0; j < 16; ++j)
                from[i][j] = i + j < 16 ? std::uint8_t(i + j) : 0x80;
        }
    }
};
constexpr TextShifts kTextShifts;

__attribute__((target("ssse3"), always_inline)) inline __m128i TextFrom(__m128i text, int i)
{
    return _mm_shuffle_epi8(text, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kTextShifts.from[i])));
}

// A byte of a text column and the one after it, as CTextDecoder::CharOutputs
// takes them.
inline std::uint16_t CharBytes(const std::uint8_t* p)
{
    std::uint16_t bytes;
    std::memcpy(&bytes, p, 2);
    return bytes;
}

// The first three bytes of each of four 32-bit values, twelve bytes in a row.
alignas(16) constexpr std::uint8_t kThreeOfFour[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 0x80, 0x80, 0x80, 0x80};

// The end of a dump line: its trailing blanks go, a newline follows.
inline char* EndLine(const char* pLine, char* p)
{
    while (p > pLine && p[-1] == ' ')
        --p;
    *p = '\n';
    return p + 1;
}

// Two bits for each character from U+0800 to U+FFFF (three bytes of UTF-8,
// the others 0), in two halves of 0x10000 bits: the first is set where the
// character is shown and wide, as an ideograph is, the second where it is
// shown and narrow, as the quotation marks and the ellipsis of Chinese text
// are. The fast path takes a wide character like an ideograph (its three
// bytes and a blank), a narrow one as its three bytes and two blanks, as the
// row rules do. Made on first use, from IsShownChar and IsWideChar.
constexpr std::size_t kNarrowBits = 0x10000 / 64;
std::atomic<const std::uint64_t*> g_pShownThreeBits{nullptr};

__attribute__((noinline, cold)) const std::uint64_t* MakeShownThreeBits()
{
    static const std::vector<std::uint64_t> bits = [] {
        std::vector<std::uint64_t> made(2 * kNarrowBits);
        for (char32_t ch = 0x800; ch <= 0xFFFF; ++ch) {
            if (IsShownChar(ch))
                made[(IsWideChar(ch) ? 0 : kNarrowBits) + ch / 64] |= std::uint64_t(1) << (ch % 64);
        }
        return made;
    }();
    g_pShownThreeBits.store(bits.data(), std::memory_order_release);
    return bits.data();
}

// The bits once made cost a load: a row's code calls nothing, where a call
// made it save its registers and clear the upper vector state around it.
inline const std::uint64_t* ShownThreeBits()
{
    const std::uint64_t* bits = g_pShownThreeBits.load(std::memory_order_acquire);
    return __builtin_expect(bits != nullptr, 1) ? bits : MakeShownThreeBits();
}

// Adds to ideographs the cells of the 16 at row where a shown, wide character
// of three bytes other than an ideograph begins, and to narrow those where a
// shown, narrow one begins: of threes (a lead byte E0-EF before two
// continuation bytes) not yet in either, by their code points in
// ShownThreeBits. Overlong sequences and surrogates are not shown.
// The cells are bits of 32 (a row) or 64 (four rows) bits.
template <typename Cells>
__attribute__((always_inline)) inline Cells AddShownThrees(const std::uint8_t* row, Cells nIdeographs, Cells threes,
                                                           Cells& nNarrow)
{
    Cells others = threes & ~nIdeographs & ~nNarrow;
    if (others == 0)
        return nIdeographs;
    const std::uint64_t* bits = ShownThreeBits();
    for (; others != 0; others &= others - 1) {
        const int at = __builtin_ctzll(others);
        const std::uint32_t ch = (row[at] & 0x0Fu) << 12 | (row[at + 1] & 0x3Fu) << 6 | (row[at + 2] & 0x3Fu);
        nIdeographs |= Cells(bits[ch / 64] >> (ch % 64) & 1) << at;
        nNarrow |= Cells(bits[kNarrowBits + ch / 64] >> (ch % 64) & 1) << at;
    }
    return nIdeographs;
}

// Each byte value in all 16 bytes of a register, and the other constants of
// the SSSE3 and AVX2 rows, which they load. Made from immediates, as the
// compiler makes them when it knows their values, each took two or three
// instructions a row, one of them a move or shuffle into a vector register on
// the port that the row's shuffles wait for (an Intel Xeon's port 5).
struct ByteSplats {
    alignas(16) std::uint8_t of[256][16];
    // Bit i % 8 in byte i: the bit of a mask byte that tells cell i.
    alignas(16) std::uint8_t cellBits[16];
    // A 32-bit lane of three UTF-8 bytes has a lead byte E0-EF and a fourth
    // byte of 0: the bits tested, and their values.
    alignas(16) std::uint32_t threeMask[4];
    alignas(16) std::uint32_t threeLead[4];
    constexpr ByteSplats() : of(), cellBits(), threeMask(), threeLead()
    {
        for (int b = 0; b < 256; ++b) {
            for (int j = 0; j < 16; ++j)
                of[b][j] = std::uint8_t(b);
        }
        for (int j = 0; j < 16; ++j)
            cellBits[j] = std::uint8_t(1u << (j % 8));
        for (int j = 0; j < 4; ++j) {
            threeMask[j] = 0xFF0000F0u;
            threeLead[j] = 0xE0u;
        }
    }
};
constexpr ByteSplats kByteSplats;

// kByteSplats through a pointer whose target the compiler does not know, so
// that it loads them; taken once a row.
__attribute__((always_inline)) inline const ByteSplats* OpaqueSplats()
{
    const ByteSplats* splats = &kByteSplats;
    __asm__("" : "+r"(splats));
    return splats;
}

// The byte value c in all 16 bytes, from splats.
__attribute__((always_inline)) inline __m128i Splat(const ByteSplats* splats, std::uint8_t c)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(splats->of[c]));
}

// The bytes from lowest up to lowest + span, as 0xFF.
__attribute__((always_inline)) inline __m128i InRange(const ByteSplats* splats, __m128i bytes, std::uint8_t lowest,
                                                      std::uint8_t span)
{
    const __m128i offset = _mm_sub_epi8(bytes, Splat(splats, lowest));
    return _mm_cmpeq_epi8(_mm_min_epu8(offset, Splat(splats, span)), offset);
}

// The bytes equal to c, as 0xFF.
__attribute__((always_inline)) inline __m128i Is(const ByteSplats* splats, __m128i bytes, std::uint8_t c)
{
    return _mm_cmpeq_epi8(bytes, Splat(splats, c));
}

// Bit i of a 16-bit mask spread to byte i, as 0xFF where it is set.
__attribute__((target("ssse3"), always_inline)) inline __m128i BytesOfBits(const ByteSplats* splats,
                                                                          std::uint32_t bits)
{
    const __m128i each = _mm_load_si128(reinterpret_cast<const __m128i*>(splats->cellBits));
    const __m128i halves = _mm_unpacklo_epi64(_mm_set1_epi8(char(bits)), _mm_set1_epi8(char(bits >> 8)));
    return _mm_cmpeq_epi8(_mm_and_si128(halves, each), each);
}

// The cells where one of the other wide characters of three bytes that CJK
// text is full of begins, by their bytes, so that a row of them needs no
// look-up one character at a time (Japanese text is mostly kana): the CJK
// symbols and punctuation U+3000-U+303E (E3 80 80-BE), the kana U+3041-U+30FF
// but for U+3097 and U+3098 (E3 81-83), and the full-width forms U+FF01-U+FF60
// (EF BC 81-BF, EF BD 80-A0). Each is shown and wide, as ShownThreeBits has
// them; the caller keeps the cells whose three bytes make a character.
__attribute__((target("ssse3"), always_inline)) inline std::uint32_t CommonWideThrees(const ByteSplats* k,
                                                                                      __m128i bytes, __m128i next,
                                                                                      __m128i after)
{
    const __m128i unassigned = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(Is(k, next, 0x80), Is(k, after, 0xBF)),
                     _mm_and_si128(Is(k, next, 0x81), Is(k, after, 0x80))),
        _mm_and_si128(Is(k, next, 0x82), InRange(k, after, 0x97, 1)));
    const __m128i symbolsAndKana =
        _mm_andnot_si128(unassigned, _mm_and_si128(Is(k, bytes, 0xE3), InRange(k, next, 0x80, 3)));
    const __m128i fullWidth = _mm_and_si128(
        Is(k, bytes, 0xEF),
        _mm_or_si128(_mm_andnot_si128(Is(k, after, 0x80), Is(k, next, 0xBC)),
                     _mm_and_si128(Is(k, next, 0xBD), InRange(k, after, 0x80, 0x20))));
    return std::uint32_t(_mm_movemask_epi8(_mm_or_si128(symbolsAndKana, fullWidth)));
}

// The cells where one of the narrow characters of three bytes that CJK text
// uses begins: the dashes, quotation marks, bullets and ellipsis of
// U+2010-U+2027 (E2 80 90-A7), each shown and narrow. All three bytes are
// tested, so these cells need no other.
__attribute__((target("ssse3"), always_inline)) inline std::uint32_t CommonNarrowThrees(const ByteSplats* k,
                                                                                        __m128i bytes, __m128i next,
                                                                                        __m128i after)
{
    return std::uint32_t(_mm_movemask_epi8(_mm_and_si128(
        _mm_and_si128(Is(k, bytes, 0xE2), Is(k, next, 0x80)), InRange(k, after, 0x90, 0x17))));
}

// A row's cells as the fast path sees them: the text column's 16 cells (the
// byte where it shows as itself, else '.'), the cells where a character from
// 0x80 up begins, those of them that begin a pair (double-byte code pages)
// and those that begin a narrow character of three bytes (UTF-8).
struct RowCells {
    __m128i text;
    std::uint32_t keep;   // the cells that show their byte, the others '.'
    std::uint32_t chars;
    std::uint32_t pairs;
    std::uint32_t narrow;
};

// The blanks a UTF-8 character of three bytes that begins at cell at writes
// after its bytes: one for each cell of the row's 16 it covers past the ones
// it shows in (two when wide, one when narrow).
inline int BlanksAfterThree(int at, bool bNarrow)
{
    return std::max(std::min(16, at + 3) - at - (bNarrow ? 1 : 2), 0);
}

// A row's hex part and the blanks after it, at pszOut.
__attribute__((target("ssse3"), always_inline)) inline void HexPart(const std::uint8_t* row, char* pszOut)
{
    CRowParts::FormatPairsBySsse3(row, pszOut, Splat(OpaqueSplats(), 0x0F));
    std::memcpy(pszOut + 48, "    ", 4);
}

// Classifies the row; false for a row that needs the byte-by-byte rules. On
// success bContinued tells whether the next row is continued.
__attribute__((target("ssse3"), always_inline)) inline bool ClassifyRow(const std::uint8_t* row,
                                                                       const CTextDecoder& decoder,
                                                                       bool& bContinued, RowCells& cells)
{
    const int nCodePage = decoder.CodePage();
    const ByteSplats* k = OpaqueSplats();
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    std::uint32_t keep;
    std::uint32_t chars = 0;   // cells where a character from 0x80 up begins
    std::uint32_t pairs = 0;
    std::uint32_t narrow = 0;
    bool bNextContinued = false;
    if (_mm_movemask_epi8(bytes) == 0) {
        // Bytes below 0x80 are no lead bytes and show alone when printable, in
        // every code page; a continued row's first byte stays '.'.
        const __m128i printable =
            _mm_and_si128(_mm_cmpgt_epi8(bytes, Splat(k, 0x1F)), _mm_cmplt_epi8(bytes, Splat(k, 0x7F)));
        keep = std::uint32_t(_mm_movemask_epi8(printable));
        if (bContinued && nCodePage != kCodePageUtf8)
            keep &= ~1u;
    } else {
        const CByteClasses& classes = decoder.Classes();
        if (!classes.HasMasks())
            return false;
        if (nCodePage == kCodePageUtf8) {
            // As GetRowText's row of ideographs, other shown characters of
            // three bytes, and ASCII. The row is read three
            // times, from its first, second and third byte, so that each test
            // of a byte and the two after it is one register's, and each mask
            // one movemask.
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 1));
            const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2));
            const __m128i below = Splat(k, 0xC0);   // continuation bytes 0x80-0xBF, signed
            const __m128i nextContinues = _mm_cmpgt_epi8(below, next);
            const __m128i twoContinue = _mm_and_si128(nextContinues, _mm_cmpgt_epi8(below, after));
            // CJK Unified Ideographs: E5-E9, or E4 before B8-BF.
            const __m128i ideograph = _mm_or_si128(
                InRange(k, bytes, 0xE5, 4),
                _mm_and_si128(Is(k, bytes, 0xE4), _mm_cmpeq_epi8(_mm_max_epu8(next, Splat(k, 0xB8)), next)));
            auto ideographs = std::uint32_t(_mm_movemask_epi8(_mm_and_si128(ideograph, twoContinue)));
            const auto threes = std::uint32_t(
                _mm_movemask_epi8(_mm_and_si128(InRange(k, bytes, 0xE0, 15), twoContinue)));
            // A row with one such character or none looks it up; more, as
            // rows of kana are, are taken by their bytes first.
            if (__builtin_popcount(threes & ~ideographs) > 1) {
                ideographs |= CommonWideThrees(k, bytes, next, after) & threes;
                narrow = CommonNarrowThrees(k, bytes, next, after);
            }
            chars = AddShownThrees(row, ideographs, threes, narrow);
            chars |= narrow;
            const std::uint32_t covered = chars | chars << 1 | chars << 2;
            // Other bytes from 0x80 up show as '.', one cell each, where no
            // sequence can begin: continuation bytes, and lead bytes whose
            // next byte is no continuation (most of those in binary data).
            // Any other lead byte needs the walk.
            const __m128i nextBegins = _mm_cmpeq_epi8(nextContinues, _mm_setzero_si128());
            const auto alone =
                std::uint32_t(_mm_movemask_epi8(_mm_or_si128(_mm_cmpgt_epi8(below, bytes), nextBegins)));
            if ((std::uint32_t(_mm_movemask_epi8(bytes)) & ~(covered | alone)) != 0)
                return false;
            // A byte shows alone in UTF-8 when it is printable ASCII.
            const __m128i printable =
                _mm_and_si128(_mm_cmpgt_epi8(bytes, Splat(k, 0x1F)), _mm_cmplt_epi8(bytes, Splat(k, 0x7F)));
            keep = covered | std::uint32_t(_mm_movemask_epi8(printable));
        } else {
            // As GetRowText's whole row with the byte after it.
            std::uint32_t leads;
            std::uint32_t shown;
            std::uint32_t trails;
            if (classes.HasNibbleTables()) {
                const __m128i low4 = Splat(k, 0x0F);
                const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 1));
                classes.LeadAndShownMasks(_mm_and_si128(_mm_srli_epi16(bytes, 4), low4), _mm_and_si128(bytes, low4),
                                          leads, shown);
                trails = classes.TrailMaskBySsse3(_mm_and_si128(_mm_srli_epi16(next, 4), low4),
                                                  _mm_and_si128(next, low4));
            } else {
                leads = classes.LeadMask(row);
                shown = classes.ShownMask(row);
                trails = classes.TrailMask(row + 1);
            }
            std::uint32_t candidates = leads & trails;
            if (bContinued)
                candidates &= ~1u;
            pairs = CByteClasses::PairStarts(candidates);
            keep = pairs | (pairs << 1) | (shown & ~leads);
            if (bContinued)
                keep &= ~1u;
            // Bytes from 0x80 up shown alone, and pairs: lead bytes are all from 0x80 up.
            chars = (std::uint32_t(_mm_movemask_epi8(bytes)) & keep & ~(pairs << 1)) | pairs;
            bNextContinued = (pairs & 0x8000) != 0;
        }
    }
    // Cell i shows its byte where bit i of keep is set, else '.'.
    const __m128i kept = BytesOfBits(k, keep);
    cells.text = _mm_or_si128(_mm_and_si128(kept, bytes), _mm_andnot_si128(kept, Splat(k, '.')));
    cells.keep = keep;
    cells.chars = chars;
    cells.pairs = pairs;
    cells.narrow = narrow;
    bContinued = bNextContinued;
    return true;
}

// The text column of a row with no character from 0x80 up: its 16 cells at p.
// With kEndLine it ends the line as EndLine does and returns the next line's
// start: the text's trailing blanks are found in the register rather than by
// reading back what was just stored, a read that every next line's stores
// would wait for.
template <bool kEndLine>
__attribute__((target("ssse3"), always_inline)) inline char* PlainText(__m128i text, char* pszOut, char* p)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), text);
    if (!kEndLine)
        return p + 16;
    const auto shown = std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(text, _mm_set1_epi8(' ')))) ^ 0xFFFFu;
    if (shown == 0)
        return EndLine(pszOut, p + 16);
    p += 32 - __builtin_clz(shown);
    *p = '\n';
    return p + 1;
}

// The text column of a row of eight pairs, after one cell or none: when each
// becomes three bytes of UTF-8, as nearly every ideograph and kana does, they
// go out in two stores with no length carried from one to the next. Returns
// the end of what it wrote, or nullptr, having written nothing, for any other
// row.
__attribute__((target("ssse3"), always_inline)) inline char* EightPairs(const std::uint8_t* row, __m128i text,
                                                                       std::uint32_t chars, std::uint32_t pairs,
                                                                       const std::uint64_t* outputs, char* p)
{
    if (chars != pairs || (pairs != 0x5555 && pairs != 0xAAAA))
        return nullptr;
    const int nFirst = pairs & 1 ? 0 : 1;
    std::uint32_t utf8[8];
    std::uint64_t nOther = 0;
    for (int k = 0; k < 8; ++k) {
        const std::uint64_t out = outputs[CharBytes(row + nFirst + 2 * k)];
        utf8[k] = std::uint32_t(out);
        nOther |= (out >> 32) ^ 3;
    }
    if (nOther != 0)
        return nullptr;
    const __m128i three = _mm_load_si128(reinterpret_cast<const __m128i*>(kThreeOfFour));
    const __m128i first = _mm_setr_epi32(int(utf8[0]), int(utf8[1]), int(utf8[2]), int(utf8[3]));
    const __m128i second = _mm_setr_epi32(int(utf8[4]), int(utf8[5]), int(utf8[6]), int(utf8[7]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), text);
    p += nFirst;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_shuffle_epi8(first, three));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 12), _mm_shuffle_epi8(second, three));
    return p + 24;
}

// The text column of a row of a double-byte code page with characters from
// 0x80 up, in UTF-8 at p: the cells that show themselves or '.' go out 16 at a
// time between the characters, which come from the decoder's table. Returns
// the end of what it wrote.
__attribute__((target("ssse3"), always_inline)) inline char* DoubleByteText(const std::uint8_t* row,
                                                                           const RowCells& cells,
                                                                           const std::uint64_t* outputs, char* p)
{
    if (char* pEnd = EightPairs(row, cells.text, cells.chars, cells.pairs, outputs, p))
        return pEnd;
    int i = 0;
    for (std::uint32_t rest = cells.chars; rest != 0; rest &= rest - 1) {
        const int at = __builtin_ctz(rest);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), TextFrom(cells.text, i));
        p += at - i;
        // A byte alone shows the same whatever follows it, so it is looked up
        // with a next byte of 0: its entry among the table's first 256 stays
        // in the cache, where the byte after it would pick any of 256 entries
        // 2 KiB apart (random bytes read as Shift JIS missed the first-level
        // cache on most half-width katakana).
        const std::uint32_t nPair = (cells.pairs >> at) & 1;
        const std::uint64_t out = outputs[CharBytes(row + at) & (0xFFu | (0u - nPair) << 8)];
        const auto utf8 = std::uint32_t(out);
        std::memcpy(p, &utf8, 4);
        p += out >> 32;
        i = at + 1 + int(nPair);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), TextFrom(cells.text, i));
    return p + std::max(16 - i, 0);
}

// The text column of a row with the bytes after it at hand, turned into UTF-8
// straight from the row: the cells that show themselves or '.' stay in a
// register and go out 16 at a time between the characters from 0x80 up, which
// come from the decoder's table (double-byte code pages) or as the row's own
// bytes (UTF-8 ideographs). Returns nullptr for a row that needs the
// byte-by-byte rules.
__attribute__((target("ssse3"))) char* FormatLineBySsse3(const std::uint8_t* row, const CTextDecoder& decoder,
                                                         char* pszOut, bool& bContinued)
{
    const int nCodePage = decoder.CodePage();
    RowCells cells;
    if (!ClassifyRow(row, decoder, bContinued, cells))
        return nullptr;
    HexPart(row, pszOut);
    const __m128i text = cells.text;
    const std::uint32_t chars = cells.chars;
    char* p = pszOut + CRowFormat::kHexPartLength;
    if (chars == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), text);
        return p + 16;
    }
    int i = 0;
    if (nCodePage == kCodePageUtf8) {
        // A character of three bytes takes the blanks of the cells it
        // covers past its own, up to the row's 16th.
        for (std::uint32_t rest = chars; rest != 0; rest &= rest - 1) {
            const int at = __builtin_ctz(rest);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), TextFrom(text, i));
            p += at - i;
            std::memcpy(p, row + at, 4);
            p += 3;
            std::memcpy(p, "  ", 2);
            p += BlanksAfterThree(at, (cells.narrow >> at) & 1);
            i = at + 3;
        }
    } else {
        return DoubleByteText(row, cells, decoder.CharOutputs(), p);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), TextFrom(text, i));
    return p + std::max(16 - i, 0);
}

// GCC 12's AVX-512 headers start some intrinsics from a deliberately undefined
// register, which -Wmaybe-uninitialized reports inside them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// BMI1 for andn: without it GCC did the row's and-nots of masks (the pairs'
// starts, the cells kept) in mask registers, moving each value there and back,
// and rows of pairs cost 1-1.5 ns more (measured on an Intel Xeon).
#define ZORBEL_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt")))

// The outputs of two characters by their byte pairs, the low 16 bits of each
// half of both: each one's UTF-8 (the low half of its entry in
// CTextDecoder::CharOutputs), the first in the low half.
inline std::uint64_t TwoOutputs(const std::uint64_t* outputs, std::uint32_t nPairs)
{
    return std::uint32_t(outputs[nPairs & 0xFFFF]) | outputs[nPairs >> 16] << 32;
}

// The outputs of the eight characters whose byte pairs are the 16-bit halves
// of at, in 32-bit lanes in order.
ZORBEL_AVX512 inline __m256i EightOutputs(const std::uint64_t* outputs, __m128i at)
{
    const auto low = std::uint64_t(_mm_cvtsi128_si64(at));
    const auto high = std::uint64_t(_mm_extract_epi64(at, 1));
    return _mm256_set_epi64x(std::int64_t(TwoOutputs(outputs, std::uint32_t(high >> 32))),
                             std::int64_t(TwoOutputs(outputs, std::uint32_t(high))),
                             std::int64_t(TwoOutputs(outputs, std::uint32_t(low >> 32))),
                             std::int64_t(TwoOutputs(outputs, std::uint32_t(low))));
}

// The lanes of FormatLineByAvx512 with the decoder's outputs of the characters
// that begin at chars, by their byte pairs (a cell's byte and the next, 16
// bits a cell), without a gather: the pairs of those cells packed to the
// front, looked up by eight scalar loads (sixteen when more than eight cells
// begin characters, as only single bytes from 0x80 up can), and spread back to
// their cells. On AMD Zen 4 a gather of the 16 lanes took longer than the
// classification of the row (measured); the loads do not.
ZORBEL_AVX512 inline __m512i LoadOutputs(__m512i lanes, __mmask16 chars, __m256i pairBytes,
                                         const std::uint64_t* outputs)
{
    // The cells left over read entry 0, which the expand drops.
    const __m256i packed = _mm256_maskz_compress_epi16(chars, pairBytes);
    __m512i got = _mm512_castsi256_si512(EightOutputs(outputs, _mm256_castsi256_si128(packed)));
    if (__builtin_popcount(chars) > 8)
        got = _mm512_inserti64x4(got, EightOutputs(outputs, _mm256_extracti128_si256(packed, 1)), 1);
    return _mm512_mask_expand_epi32(lanes, chars, got);
}

// The constants of the AVX-512 rows, which they load: made from immediates,
// as the compiler otherwise makes them again for every row, each took a move
// into a vector register on the port that the row's shuffles wait for (see
// PairsLineByAvx512).
struct LaneConstants {
    std::uint8_t low4[64];      // 0x0F
    std::uint8_t thirdQuarter[64];   // the third quarter's bytes 0xFF
    std::uint8_t digits[64];    // the hex digits in each quarter
    std::uint8_t blanks[64];
    std::uint8_t hexFrom[64];   // the hex part's columns out of the digits, then the blanks
    // Each cell's byte and the next in the low 16 bits of its lane, out of the
    // row, the row from its second byte, then 0; a continued row's first cell
    // takes 0 (the second).
    std::uint8_t pairFrom[2][64];
    // Each cell's byte and the two after it out of a UTF-8 row's 19 bytes (and
    // 0 after them), then the blank of a character's third cell out of blanks
    // ([1]: the 15th cell's too, for a narrow character).
    std::uint8_t utf8From[2][64];
    std::uint8_t blankLanes[64];   // ' ' in the low byte of each 32-bit lane
    constexpr LaneConstants()
        : low4(), thirdQuarter(), digits(), blanks(), hexFrom(), pairFrom(), utf8From(), blankLanes()
    {
        for (int j = 0; j < 64; ++j) {
            low4[j] = 0x0F;
            thirdQuarter[j] = j >= 32 && j < 48 ? 0xFF : 0;
            digits[j] = std::uint8_t("0123456789ABCDEF"[j % 16]);
            blanks[j] = ' ';
            pairFrom[0][j] = 64;
            pairFrom[1][j] = 64;
            blankLanes[j] = j % 4 == 0 ? ' ' : 0;
            const int cell = j / 4;
            for (int n = 0; n < 2; ++n)
                utf8From[n][j] = std::uint8_t(j % 4 < 3 ? cell + j % 4 : cell < 14 + n ? 64 : 32);
            // CRowParts::FormatHexPartByAvx512's columns, with the low digits
            // in the third quarter.
            const CRowParts::HexColumns& columns = CRowParts::kHexColumns;
            const int from = columns.from[j];
            hexFrom[j] = std::uint8_t((columns.digits >> j & 1) == 0 ? 64 : from < 16 ? from : 16 + from);
        }
        for (int i = 0; i < 16; ++i) {
            for (int c = 0; c < 2; ++c) {
                if (i > 0 || c == 0) {
                    pairFrom[c][4 * i] = std::uint8_t(i);
                    pairFrom[c][4 * i + 1] = std::uint8_t(16 + i);
                }
            }
        }
    }
};
alignas(64) constexpr LaneConstants g_laneConstants;

// The constants of the rows taken four at a time (FourPairsLinesByAvx512,
// FourUtf8LinesByAvx512), whose 64 bytes are in one register.
struct FourRowConstants {
    // Row r's hex part: its columns' digits out of the four rows' high digits
    // (0-63) and low digits (64-127); blanks, taken as they stand, elsewhere.
    std::uint8_t hexFrom[4][64];
    // Each of row r's cells' byte and the next in the low 16 bits of its lane.
    std::uint8_t keysFrom[4][64];
    // Each of row r's cells in the low byte of its lane.
    std::uint8_t cellsFrom[4][64];
    // What a row's lanes hold where the gather loads nothing: nothing, or for
    // a row that begins with the second byte of a pair '.' in the first lane
    // (as PairsLineByAvx512 shows it, from entry 0 of CellBytesOut).
    std::uint8_t firstLanes[2][64];
    std::uint8_t highBits[64];   // 0x80
    constexpr FourRowConstants() : hexFrom(), keysFrom(), cellsFrom(), firstLanes(), highBits()
    {
        const CRowParts::HexColumns& columns = CRowParts::kHexColumns;
        for (int j = 0; j < 64; ++j) {
            highBits[j] = 0x80;
            firstLanes[1][j] = j == 0 ? '.' : 0;
            for (int r = 0; r < 4; ++r) {
                const int from = columns.from[j];
                hexFrom[r][j] = std::uint8_t((columns.digits >> j & 1) == 0 ? ' '
                                             : from < 16                      ? 16 * r + from
                                                                              : 64 + 16 * r + from - 16);
                keysFrom[r][j] = std::uint8_t(j % 4 == 0 ? 16 * r + j / 4 : j % 4 == 1 ? 64 + 16 * r + j / 4 : 0);
                cellsFrom[r][j] = std::uint8_t(16 * r + j / 4);
            }
        }
    }
};
alignas(64) constexpr FourRowConstants g_fourRowConstants;

// The 64 bytes at p, which are aligned.
ZORBEL_AVX512 __attribute__((always_inline)) inline __m512i Load64(const std::uint8_t* p)
{
    return _mm512_load_si512(p);
}

// The text column of FormatLineByAvx512 out of its 16 lanes, at p, each
// lane's bytes that are not 0 in turn; with kEndLine it ends the line as
// EndLine does and returns the next line's start.
template <bool kEndLine>
ZORBEL_AVX512 __attribute__((always_inline)) inline char* StoreLanes(__m512i lanes, bool bUtf8, char* pszOut, char* p)
{
    const __mmask64 written = _mm512_test_epi8_mask(lanes, lanes);
    _mm512_storeu_si512(p, _mm512_maskz_compress_epi8(written, lanes));
    const auto nLength = int(_mm_popcnt_u64(written));
    // Double-byte rows seldom end in a blank: the walk back costs them less
    // than working out the last byte that is none (measured).
    if (kEndLine && !bUtf8)
        return EndLine(pszOut, p + nLength);
    if (kEndLine) {
        // The bytes written up to the last that is no blank; the text's
        // trailing blanks are found in the register rather than by reading
        // back what was just stored, a read that every next line's stores
        // would wait for.
        const LaneConstants* pk = &g_laneConstants;
        __asm__("" : "+r"(pk));
        const __mmask64 shown = _mm512_test_epi8_mask(_mm512_xor_si512(lanes, Load64(pk->blanks)), lanes);
        if (shown == 0)
            return EndLine(pszOut, p + nLength);
        p += _mm_popcnt_u64(_bzhi_u64(written, 64 - unsigned(__builtin_clzll(shown))));
        *p = '\n';
        return p + 1;
    }
    return p + nLength;
}

// Whether FormatLineByAvx512 takes the decoder's rows with a byte from 0x80
// up by PairsLineByAvx512.
inline bool TakesPairsLine(const CTextDecoder& decoder)
{
    return decoder.CodePage() != kCodePageUtf8 && g_bGather && decoder.Classes().HasQuarterTables();
}

// FormatLineByAvx512 for a row of a double-byte code page with a byte from
// 0x80 up, where the code page's classes have quarter tables and characters
// are gathered. Counted in the instructions the compiler makes, a row of
// pairs waited on the one port that does the shuffles, permutes, moves to
// mask registers and moves of a general register into a vector register (an
// Intel Xeon's port 5): the row is made with fewer of them.
// - The row's 16 bytes, the 16 from its second byte and the row again in
//   the quarters of one 64-byte register, by loads; one look-up by each half
//   of its bytes in CByteClasses' quarter tables tells the lead and trail
//   bytes at once (ClassifyRow takes six 16-byte look-ups, three compares
//   and three masks).
// - The hex part takes the digits of the same halves.
// - Every cell's lane is gathered from CTextDecoder::CellBytesOut, which
//   holds what a cell shows where the walk lands on it, '.' included; the
//   second cells of pairs are then emptied by one masked move, with no
//   widening of the text column into lanes and no mask of the cells that
//   begin characters or show '.'.
// - Constants are loaded (g_laneConstants).
// Returns the line's end as FormatLineByAvx512 does.
template <bool kEndLine>
ZORBEL_AVX512 __attribute__((always_inline)) inline char* PairsLineByAvx512(const std::uint8_t* row,
                                                                            const CByteClasses& classes,
                                                                            const std::uint32_t* cellBytesOut,
                                                                            char* pszOut, bool& bContinued)
{
    // The compiler knows the values but not, through these pointers, where
    // they come from: it loads the constants rather than making them from
    // immediates, and inserts the row's third quarter from memory rather
    // than from the register it already holds.
    const LaneConstants* pk = &g_laneConstants;
    const std::uint8_t* pRow = row;
    __asm__("" : "+r"(pk), "+r"(pRow));
    const LaneConstants& k = *pk;
    // The row, the row from its second byte, the row again; the fourth
    // quarter goes unused. Each inserted from memory, where an insert from a
    // register would wait for the shuffle port.
    const __m512i data = _mm512_inserti32x4(
        _mm512_inserti32x4(_mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row))),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 1)), 1),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(pRow)), 2);
    const __m512i highs = _mm512_and_si512(_mm512_srli_epi16(data, 4), Load64(k.low4));
    const __m512i lows = _mm512_and_si512(data, Load64(k.low4));
    const auto in = std::uint64_t(_mm512_test_epi8_mask(_mm512_shuffle_epi8(Load64(classes.QuarterHighs()), highs),
                                                        _mm512_shuffle_epi8(Load64(classes.QuarterLows()), lows)));
    // Lead bytes before trail bytes, but for a first byte that ends the row
    // before.
    const std::uint32_t candidates = std::uint32_t(in) & std::uint32_t(in >> 16) & (bContinued ? 0xFFFEu : 0xFFFFu);
    const std::uint32_t pairs = CByteClasses::PairStarts(candidates);
    // A continued row's first cell reads entry 0, which is '.'.
    const std::uint8_t* pairFrom = k.pairFrom[bContinued];
    bContinued = (pairs & 0x8000) != 0;
    // The high digits of the row's bytes in the first quarter, the low ones
    // in the third, then the columns and blanks of the hex part.
    const __m512i digits = _mm512_shuffle_epi8(Load64(k.digits),
                                               _mm512_ternarylogic_epi32(highs, lows, Load64(k.thirdQuarter), 0xD8));
    _mm512_storeu_si512(pszOut, _mm512_permutex2var_epi8(digits, Load64(k.hexFrom), Load64(k.blanks)));
    const __m512i at = _mm512_permutex2var_epi8(data, Load64(pairFrom), _mm512_setzero_si512());
    const __m512i lanes = _mm512_maskz_mov_epi32(__mmask16(~(pairs << 1)), _mm512_i32gather_epi32(at, cellBytesOut, 4));
    return StoreLanes<kEndLine>(lanes, false, pszOut, pszOut + CRowFormat::kHexPartLength);
}

// The 16 bytes at p, which are aligned, in each quarter.
ZORBEL_AVX512 __attribute__((always_inline)) inline __m512i BroadcastQuarter(const std::uint8_t* p)
{
    return _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(p)));
}

// The hex digits of four rows' bytes, made once for their hex parts: the
// high digits of the 64 bytes, and the low ones.
struct FourRowsDigits {
    __m512i high;
    __m512i low;
};

ZORBEL_AVX512 __attribute__((always_inline)) inline FourRowsDigits DigitsOf(const LaneConstants* pk, __m512i highs,
                                                                            __m512i lows)
{
    return {_mm512_shuffle_epi8(Load64(pk->digits), highs), _mm512_shuffle_epi8(Load64(pk->digits), lows)};
}

// Row r of four: its offset at p (the first row's is written already) and
// its hex part after it. Returns where the hex part begins.
template <typename OffsetWriter>
ZORBEL_AVX512 __attribute__((always_inline)) inline char* FourRowsLineStart(int r, char* p, const FourRowsDigits& digits,
                                                                            const OffsetWriter& formatOffset)
{
    if (r > 0)
        p += formatOffset(r, p);
    _mm512_storeu_si512(p, _mm512_mask2_permutex2var_epi8(digits.high, Load64(g_fourRowConstants.hexFrom[r]),
                                                          CRowParts::kHexColumns.digits, digits.low));
    return p;
}

// Four lines of rows of a double-byte code page at row, each row with a byte
// from 0x80 up, where TakesPairsLine holds, as PairsLineByAvx512 makes each
// of them with what does not depend on the row made once for the four: the
// rows' 64 bytes and the 64 from the first row's second byte in two
// registers, their lead and trail bytes by the quarter tables, the walk's
// pairs and the hex digits. Each row then takes a permute for its hex part,
// one for its cells' keys and the gather of its characters. The first row's
// offset is written at p already; formatOffset(r, p) writes row r's and
// returns its length. Returns the end of the fourth line, or nullptr, having
// written nothing, when a row has no byte from 0x80 up (PlainText takes it)
// or may repeat the row before it (the caller's run of equal rows copies it).
// On an Intel Xeon, with its look-ups below, rows of GB took 11.2 ns against
// 13.6 one by one, of Shift JIS 11.5 against 13.5, of random bytes 11.6
// against 14.9 (bench_rows).
template <typename OffsetWriter>
ZORBEL_AVX512 inline char* FourPairsLinesByAvx512(const std::uint8_t* row, const CByteClasses& classes,
                                                  const std::uint32_t* cellBytesOut, char* p, bool& bContinued,
                                                  const OffsetWriter& formatOffset)
{
    const LaneConstants* pk = &g_laneConstants;
    const FourRowConstants* pk4 = &g_fourRowConstants;
    __asm__("" : "+r"(pk), "+r"(pk4));
    const __m512i data = _mm512_loadu_si512(row);
    // Each row's two halves: a byte from 0x80 up in either, and equal to the
    // row before's (a row that may repeat it).
    const auto highs8 = unsigned(_mm512_test_epi64_mask(data, Load64(pk4->highBits)));
    const auto same8 = unsigned(_mm512_cmpeq_epi64_mask(data, _mm512_loadu_si512(row - 16)));
    if (((highs8 | highs8 >> 1) & 0x55) != 0x55 || (same8 & same8 >> 1 & 0x55) != 0)
        return nullptr;
    const __m512i next = _mm512_loadu_si512(row + 1);
    const __m512i low4 = Load64(pk->low4);
    const __m512i highs = _mm512_and_si512(_mm512_srli_epi16(data, 4), low4);
    const __m512i lows = _mm512_and_si512(data, low4);
    const __m512i nextHighs = _mm512_and_si512(_mm512_srli_epi16(next, 4), low4);
    const __m512i nextLows = _mm512_and_si512(next, low4);
    // The quarter tables' first quarter tells the lead bytes, the second the
    // trail bytes: each in all four quarters here.
    const auto leads =
        std::uint64_t(_mm512_test_epi8_mask(_mm512_shuffle_epi8(BroadcastQuarter(classes.QuarterHighs()), highs),
                                            _mm512_shuffle_epi8(BroadcastQuarter(classes.QuarterLows()), lows)));
    const auto trails = std::uint64_t(
        _mm512_test_epi8_mask(_mm512_shuffle_epi8(BroadcastQuarter(classes.QuarterHighs() + 16), nextHighs),
                              _mm512_shuffle_epi8(BroadcastQuarter(classes.QuarterLows() + 16), nextLows)));
    // The walk goes on from row to row: lead bytes before trail bytes, but for
    // a first byte that ends the pair of the row before.
    const std::uint64_t pairs = CByteClasses::PairStarts64(leads & trails & ~std::uint64_t(bContinued));
    // The cells that write nothing: the second of each pair, and the first of
    // a row that goes on with a pair begun before it, which shows '.'.
    const std::uint64_t seconds = pairs << 1 | std::uint64_t(bContinued);
    bContinued = (pairs >> 63) != 0;
    const FourRowsDigits digits = DigitsOf(pk, highs, lows);
#pragma GCC unroll 4
    for (int r = 0; r < 4; ++r) {
        p = FourRowsLineStart(r, p, digits, formatOffset);
        // Each cell's key in the low 16 bits of its lane, the high ones 0. A
        // cell that is no lead byte shows what it shows whatever follows it,
        // and its key leaves the next byte out: rows of random bytes then
        // look up a few hundred entries for those cells rather than any of
        // the table's 65,536, which missed the processor's first cache (on an
        // Intel Xeon they took 11.7 ns a row against 14.3).
        const std::uint64_t keyBytes =
            _pdep_u64(std::uint32_t(leads >> 16 * r) & 0xFFFF, 0x2222222222222222ull) | 0x1111111111111111ull;
        const __m512i at = _mm512_maskz_permutex2var_epi8(keyBytes, data, Load64(pk4->keysFrom[r]), next);
        // The gather loads nothing for the cells that write nothing: the
        // pairs are known before it here, where a row alone would wait for
        // them (on an Intel Xeon rows of GB took 11.5 ns against 12.6).
        const auto rowSeconds = std::uint32_t(seconds >> 16 * r) & 0xFFFF;
        const __m512i lanes = _mm512_mask_i32gather_epi32(Load64(pk4->firstLanes[rowSeconds & 1]),
                                                          __mmask16(~rowSeconds), at, cellBytesOut, 4);
        p = StoreLanes<true>(lanes, false, p, p + CRowFormat::kHexPartLength);
    }
    return p;
}

// The bytes of v from lowest up to lowest + span, and those equal to c, as
// masks of 64 bits.
ZORBEL_AVX512 __attribute__((always_inline)) inline std::uint64_t InRange64(__m512i v, std::uint8_t lowest,
                                                                            std::uint8_t span)
{
    return _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(char(lowest))), _mm512_set1_epi8(char(span)));
}

ZORBEL_AVX512 __attribute__((always_inline)) inline std::uint64_t Is64(__m512i v, std::uint8_t c)
{
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(char(c)));
}

// Four lines of UTF-8 rows at row, as FormatLineByAvx512 makes each, with
// ClassifyRow's tests made once for the four rows in 64-byte registers (the
// rows, and the rows from their second and third bytes); each row then
// takes its hex part, its lanes and its store. The first row's offset is
// written at p already; formatOffset(r, p) writes row r's and returns its
// length. Returns the end of the fourth line, or nullptr, having written
// nothing, when a row needs the byte-by-byte rules (a lead byte that begins
// no character the fast path takes) or may repeat the row before it.
// The common wide and narrow characters are told by their bytes in every
// row, where a row alone tests first whether it holds more than one that is
// no ideograph. On an Intel Xeon rows of UTF-8 Chinese took 10.9 ns against
// 12.1 one by one, of Japanese 10.9 against 19.0, of Chinese with wide
// punctuation 10.9 against 19.6 (bench_rows).
template <typename OffsetWriter>
ZORBEL_AVX512 inline char* FourUtf8LinesByAvx512(const std::uint8_t* row, char* p, const OffsetWriter& formatOffset)
{
    const LaneConstants* pk = &g_laneConstants;
    const FourRowConstants* pk4 = &g_fourRowConstants;
    __asm__("" : "+r"(pk), "+r"(pk4));
    const __m512i data = _mm512_loadu_si512(row);
    const auto same8 = unsigned(_mm512_cmpeq_epi64_mask(data, _mm512_loadu_si512(row - 16)));
    if ((same8 & same8 >> 1 & 0x55) != 0)
        return nullptr;
    const __m512i next = _mm512_loadu_si512(row + 1);
    const __m512i after = _mm512_loadu_si512(row + 2);
    const std::uint64_t nextContinues = InRange64(next, 0x80, 0x3F);
    const std::uint64_t twoContinue = nextContinues & InRange64(after, 0x80, 0x3F);
    // CJK Unified Ideographs: E5-E9, or E4 before B8-BF.
    std::uint64_t ideographs =
        (InRange64(data, 0xE5, 4) | (Is64(data, 0xE4) & InRange64(next, 0xB8, 7))) & twoContinue;
    const std::uint64_t threes = InRange64(data, 0xE0, 15) & twoContinue;
    // CommonWideThrees and CommonNarrowThrees: the symbols and punctuation,
    // kana and full-width forms, and the narrow dashes, quotation marks and
    // ellipsis, by their bytes.
    const std::uint64_t unassigned = (Is64(next, 0x80) & Is64(after, 0xBF)) | (Is64(next, 0x81) & Is64(after, 0x80))
        | (Is64(next, 0x82) & InRange64(after, 0x97, 1));
    const std::uint64_t symbolsAndKana = Is64(data, 0xE3) & InRange64(next, 0x80, 3) & ~unassigned;
    const std::uint64_t fullWidth =
        Is64(data, 0xEF)
        & ((Is64(next, 0xBC) & ~Is64(after, 0x80)) | (Is64(next, 0xBD) & InRange64(after, 0x80, 0x20)));
    ideographs |= (symbolsAndKana | fullWidth) & threes;
    std::uint64_t narrow = Is64(data, 0xE2) & Is64(next, 0x80) & InRange64(after, 0x90, 0x17);
    const std::uint64_t chars = AddShownThrees(row, ideographs, threes, narrow) | narrow;
    // A character covers its three cells of its own row only.
    constexpr std::uint64_t kRowStarts = 0x0001000100010001ull;
    const std::uint64_t covered = chars | (chars << 1 & ~kRowStarts) | (chars << 2 & ~(kRowStarts * 3));
    // Other bytes from 0x80 up show as '.', one cell each, where no sequence
    // can begin: continuation bytes, and lead bytes whose next byte is no
    // continuation. Any other lead byte needs the walk.
    const std::uint64_t alone = InRange64(data, 0x80, 0x3F) | ~nextContinues;
    const auto highs = std::uint64_t(_mm512_movepi8_mask(data));
    if ((highs & ~(covered | alone)) != 0)
        return nullptr;
    // Each cell shows its byte where it is printable ASCII or begins or
    // goes on with a character, else '.'.
    const std::uint64_t keep = covered | InRange64(data, 0x20, 0x5E);
    const __m512i text = _mm512_mask_blend_epi8(keep, _mm512_set1_epi8('.'), data);
    const __m512i low4 = Load64(pk->low4);
    const FourRowsDigits digits =
        DigitsOf(pk, _mm512_and_si512(_mm512_srli_epi16(data, 4), low4), _mm512_and_si512(data, low4));
#pragma GCC unroll 4
    for (int r = 0; r < 4; ++r) {
        p = FourRowsLineStart(r, p, digits, formatOffset);
        const auto rowChars = std::uint32_t(chars >> 16 * r) & 0xFFFF;
        const auto rowNarrow = std::uint32_t(narrow >> 16 * r) & 0xFFFF;
        // The row's cells in the low bytes of their lanes; then as
        // FormatLineByAvx512 does for a UTF-8 row.
        __m512i lanes = _mm512_maskz_permutexvar_epi8(0x1111111111111111ull, Load64(pk4->cellsFrom[r]), text);
        const __m512i rowBytes = _mm512_zextsi256_si512(_mm256_maskz_loadu_epi8(0x7FFFF, row + 16 * r));
        const __m512i threeAndBlank =
            _mm512_permutex2var_epi8(rowBytes, Load64(pk->utf8From[rowNarrow >> 14 & 1]), Load64(pk->blanks));
        lanes = _mm512_mask_mov_epi32(lanes, __mmask16(rowChars), threeAndBlank);
        const auto secondBlanks = __mmask16((rowNarrow & 0x3FFF) << 1);
        lanes = _mm512_mask_mov_epi32(lanes, secondBlanks, Load64(pk->blankLanes));
        const auto empty = __mmask16((rowChars << 1 | rowChars << 2) & ~rowChars & ~secondBlanks);
        p = StoreLanes<true>(_mm512_maskz_mov_epi32(__mmask16(~empty), lanes), true, p,
                             p + CRowFormat::kHexPartLength);
    }
    return p;
}

// The same with AVX-512 (VBMI2), without a loop over the characters: each of the
// 16 cells becomes a 32-bit lane holding what it writes, first byte lowest (its
// byte, a character's UTF-8 from the decoder's table or the row, or nothing for
// a character's other cells), and one compress packs the lanes' bytes. The
// bytes a lane writes are its bytes that are not 0: a cell shown as itself is
// never 0x00, an ideograph's bytes are not, and neither are the counted bytes
// of a character from 0x80 up in CTextDecoder::CharOutputs, whose bytes past
// the count are 0. With kEndLine it ends the line as EndLine does and returns
// the next line's start: the text's trailing blanks are found in the register
// rather than by reading back what was just stored, a read that every next
// line's stores would wait for.
// kPairs says that TakesPairsLine holds for the decoder, which the row then
// need not test.
template <bool kEndLine, bool kPairs = false>
ZORBEL_AVX512 char* FormatLineByAvx512(const std::uint8_t* row, const CTextDecoder& decoder, char* pszOut,
                                       bool& bContinued)
{
    const int nCodePage = decoder.CodePage();
    const CByteClasses& classes = decoder.Classes();
    if (_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row))) != 0
        && (kPairs || TakesPairsLine(decoder)))
        return PairsLineByAvx512<kEndLine>(row, classes, decoder.CellBytesOut(), pszOut, bContinued);
    RowCells cells;
    if (!ClassifyRow(row, decoder, bContinued, cells))
        return nullptr;
    // The text column by one blend, where ClassifyRow's way takes five
    // instructions (the compiler drops those).
    cells.text = _mm_mask_blend_epi8(__mmask16(cells.keep), _mm_set1_epi8('.'),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
    CRowParts::FormatHexPartByAvx512(row, pszOut);
    char* p = pszOut + CRowFormat::kHexPartLength;
    if (cells.chars == 0)
        return PlainText<kEndLine>(cells.text, pszOut, p);
    const auto chars = __mmask16(cells.chars);
    __m512i lanes = _mm512_cvtepu8_epi32(cells.text);
    __mmask16 empty;
    if (nCodePage == kCodePageUtf8) {
        // A character's three bytes from the row, and the blanks of the cells
        // it covers past its own up to the row's 16th: an ideograph's third
        // cell writes the blank after its bytes, a narrow one's second cell
        // the blank after them and its third the next; its other cells write
        // nothing.
        const LaneConstants* pk = &g_laneConstants;
        __asm__("" : "+r"(pk));
        const __m512i rowBytes = _mm512_zextsi256_si512(_mm256_maskz_loadu_epi8(0x7FFFF, row));
        const __m512i threeAndBlank =
            _mm512_permutex2var_epi8(rowBytes, Load64(pk->utf8From[cells.narrow >> 14 & 1]), Load64(pk->blanks));
        lanes = _mm512_mask_mov_epi32(lanes, chars, threeAndBlank);
        const auto secondBlanks = __mmask16((cells.narrow & 0x3FFF) << 1);
        lanes = _mm512_mask_mov_epi32(lanes, secondBlanks, Load64(pk->blankLanes));
        empty = __mmask16((cells.chars << 1 | cells.chars << 2) & ~cells.chars & ~secondBlanks);
    } else {
        // A character's UTF-8 by its byte and the one after it, by scalar
        // loads; the second cell of a pair writes nothing. (Where characters
        // are gathered, every code page's classes have quarter tables and
        // these rows go to PairsLineByAvx512.)
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 1));
        const __m256i pairBytes = _mm256_set_m128i(_mm_unpackhi_epi8(first, next), _mm_unpacklo_epi8(first, next));
        lanes = LoadOutputs(lanes, chars, pairBytes, decoder.CharOutputs());
        empty = __mmask16(cells.pairs << 1);
    }
    return StoreLanes<kEndLine>(_mm512_maskz_mov_epi32(__mmask16(~empty), lanes), nCodePage == kCodePageUtf8, pszOut,
                                p);
}
#undef ZORBEL_AVX512
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#define ZORBEL_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt,lzcnt")))

// Eight bytes of output at p: the source bytes spread over the places whose
// bits are set in the low 8 of bytes, blanks in the others.
ZORBEL_AVX2 inline void SpreadEight(std::uint64_t source, std::uint64_t bytes, char* p)
{
    const std::uint64_t places = _pdep_u64(bytes, 0x0101010101010101ull) * 0xFF;
    const std::uint64_t out = _pdep_u64(source, places) | (0x2020202020202020ull & ~places);
    std::memcpy(p, &out, 8);
}

// The text column of a UTF-8 row of ideographs (and the other shown
// characters of three bytes) and ASCII, at p, with BMI2: it is the row's
// cells as ClassifyRow selected them, the bytes of a character that crosses
// the row's end after them, and after each character the blanks of the cells
// it covers in the row past its own. The blanks' places in the output follow
// from the characters' by pdep and pext, and each 8 bytes of output are the
// next source bytes spread over the places that are not blanks (pdep), with
// no loop over the characters. With kEndLine it ends the line as EndLine does
// and returns the next line's start.
template <bool kEndLine>
ZORBEL_AVX2 inline char* Utf8TextByBmi2(const std::uint8_t* row, const RowCells& cells, char* pszOut, char* p)
{
    const std::uint64_t starts = cells.chars;
    const std::uint64_t narrow = cells.narrow;
    // Source bytes: 16 cells, then the one or two bytes of a character that
    // begins in cell 14 or 15.
    const unsigned nSource = 16 + unsigned(starts >> 14 & 1) + 2 * unsigned(starts >> 15 & 1);
    // After a character's third byte, a blank for each cell of the row it
    // covers past its own: one when it is wide and begins by cell 13, one when
    // it is narrow and begins by cell 14 and a second when by cell 13.
    const std::uint64_t firstBlankAfter = ((starts & 0x3FFF) | (narrow & 0x4000)) << 2;
    const std::uint64_t secondBlankAfter = (narrow & 0x3FFF) << 2;
    // Three bits a source byte: the byte itself, then up to two blanks that
    // follow it; nSlots holds the source bytes and the blanks.
    constexpr std::uint64_t kByteSlots = 0x0009249249249249ull;   // 18 source bytes
    const std::uint64_t blankBits =
        _pdep_u64(firstBlankAfter, kByteSlots << 1) | _pdep_u64(secondBlankAfter, kByteSlots << 2);
    const std::uint64_t nSlots = _pdep_u64(_bzhi_u64(~std::uint64_t(0), nSource), kByteSlots) | blankBits;
    const std::uint64_t blanks = _pext_u64(blankBits, nSlots);
    const auto nLength = unsigned(_mm_popcnt_u64(nSlots));
    const std::uint64_t bytes = _bzhi_u64(~blanks, nLength);

    // The source bytes, 8 to a number: the text column's two halves, then the
    // bytes after it. The first 8 bytes of output take the first source bytes;
    // the next 8 start at most two blanks in (source byte 6 to 8), the third 8
    // at most six (10 to 16). Narrow characters alone make a fourth: up to 28
    // bytes, the fourth 8 from source byte 14 to 18.
    using Pair = unsigned __int128;
    const auto first = std::uint64_t(_mm_cvtsi128_si64(cells.text));
    const auto second = std::uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(cells.text, cells.text)));
    std::uint16_t spill;
    std::memcpy(&spill, row + 16, 2);
    const auto nFrom1 = unsigned(_mm_popcnt_u64(bytes & 0xFF));
    const auto nFrom2 = unsigned(_mm_popcnt_u64(bytes & 0xFFFF));
    const std::uint64_t from[3] = {first, std::uint64_t((Pair(second) << 64 | first) >> (8 * nFrom1)),
                                   std::uint64_t((Pair(spill) << 64 | second) >> (8 * (nFrom2 - 8)))};
#pragma GCC unroll 3
    for (unsigned c = 0; c < 3; ++c)
        SpreadEight(from[c], bytes >> 8 * c, p + 8 * c);
    if (nLength > 24) {
        const auto nFrom3 = unsigned(_mm_popcnt_u64(bytes & 0xFFFFFF));
        SpreadEight(std::uint64_t((Pair(spill) << 64 | second) >> (8 * (nFrom3 - 8))), bytes >> 24, p + 24);
    }
    if (!kEndLine)
        return p + nLength;
    // The output's bytes that are no blank: the source's, spread as above.
    const std::uint64_t textBlank =
        std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(cells.text, _mm_set1_epi8(' '))));
    const std::uint64_t shown = _pdep_u64(_bzhi_u64(~textBlank, nSource), bytes);
    if (shown == 0)
        return EndLine(pszOut, p + nLength);
    p += 64 - __builtin_clzll(shown);
    *p = '\n';
    return p + 1;
}

// How half a row of a double-byte code page goes out when its characters from
// 0x80 up are all pairs: by its eight cells' layout (bits 0-7 the cells where
// pairs begin, bit 8 set when the first cell is the second of a pair begun
// before it), pshufb controls that take each byte of the output from the
// half's eight cells (fromText) or from its pairs' UTF-8, four bytes a pair in
// order (fromChars); one that puts each pair's two bytes, as the decoder's
// table is indexed, in a 32-bit lane of its own (keys); and the output's
// length. The controls come in two kinds: for pairs whose UTF-8 is three bytes,
// as nearly every ideograph and kana is (fromText and fromChars, the fourth
// byte unused), and for pairs of any length up to four (fromAnyText and
// fromAnyChars, all four bytes taken, the ones past a pair's count being 0 for
// the caller to pack out): Greek and Cyrillic letters are two bytes, an
// undefined pair U+FFFD and a blank. A pair's second cell writes nothing; a
// pair begun in the half's last cell writes all its bytes there, but for
// fromAnyChars, which leaves it to the caller: with it, four pairs of four
// bytes and a cell would make 17. So a half goes out in one store, or two.
// Layouts with a pair beginning in a pair's second cell cannot occur and are
// left as any other.
struct HalfRowLayouts {
    std::uint8_t fromText[512][16];
    std::uint8_t fromChars[512][16];
    std::uint8_t fromAnyText[512][16];
    std::uint8_t fromAnyChars[512][16];
    std::uint8_t keys[512][16];
    std::uint8_t length[512];

    constexpr HalfRowLayouts() : fromText(), fromChars(), fromAnyText(), fromAnyChars(), keys(), length()
    {
        for (int layout = 0; layout < 512; ++layout) {
            for (int j = 0; j < 16; ++j) {
                fromText[layout][j] = 0x80;
                fromChars[layout][j] = 0x80;
                fromAnyText[layout][j] = 0x80;
                fromAnyChars[layout][j] = 0x80;
                keys[layout][j] = 0x80;
            }
            int j = 0;
            int jAny = 0;
            int nPairs = 0;
            bool bSecond = (layout & 0x100) != 0;
            for (int cell = 0; cell < 8; ++cell) {
                if (bSecond) {
                    bSecond = false;
                } else if ((layout >> cell) & 1) {
                    for (int b = 0; b < 3; ++b)
                        fromChars[layout][j++] = std::uint8_t(4 * nPairs + b);
                    for (int b = 0; b < 4 && cell < 7; ++b)
                        fromAnyChars[layout][jAny++] = std::uint8_t(4 * nPairs + b);
                    keys[layout][4 * nPairs] = std::uint8_t(2 * cell);
                    keys[layout][4 * nPairs + 1] = std::uint8_t(2 * cell + 1);
                    ++nPairs;
                    bSecond = true;
                } else {
                    fromText[layout][j++] = std::uint8_t(cell);
                    fromAnyText[layout][jAny++] = std::uint8_t(cell);
                }
            }
            length[layout] = std::uint8_t(j);
        }
    }
};
constexpr HalfRowLayouts kHalfRowLayouts;

// The 16 bytes of a register at p, those that are 0 left out; returns the end
// of what counts. Writes 16 bytes at p.
ZORBEL_AVX2 __attribute__((always_inline)) inline char* StoreNonZero(__m128i bytes, char* p)
{
    const auto kept = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128()))) ^ 0xFFFFu;
    constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
    const std::uint64_t first =
        _pext_u64(std::uint64_t(_mm_cvtsi128_si64(bytes)), _pdep_u64(kept & 0xFFu, kLowBits) * 0xFF);
    const std::uint64_t second =
        _pext_u64(std::uint64_t(_mm_extract_epi64(bytes, 1)), _pdep_u64(kept >> 8, kLowBits) * 0xFF);
    std::memcpy(p, &first, 8);
    p += _mm_popcnt_u32(kept & 0xFFu);
    std::memcpy(p, &second, 8);
    return p + _mm_popcnt_u32(kept >> 8);
}

// Half a row's text column by its layout in kHalfRowLayouts: half is its
// eight bytes and the one after, text holds its eight cells first, keys the
// 16-bit table index of each of them (the cell's byte and the next). Writes
// up to 20 bytes at p and returns the end of what counts.
ZORBEL_AVX2 __attribute__((always_inline)) inline char* HalfRowText(const std::uint8_t* half, __m128i text,
                                                                    __m128i keys, unsigned layout,
                                                                    const std::uint64_t* outputs,
                                                                    const ByteSplats* k, char* p)
{
    const __m128i index = _mm_shuffle_epi8(keys, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                                     kHalfRowLayouts.keys[layout])));
    // The low 32 bits of each entry: the UTF-8, first byte lowest. Lanes past
    // the pairs read entry 0 and go unused. Each is loaded into its lane
    // (pinsrd from memory), which took 12 instructions a row off putting two
    // 64-bit halves together from scalar loads; a gather of the four lanes was
    // slower on AMD Zen 3, and so was a table of code points a quarter of the
    // size (fewer cache misses, more work; measured).
    const auto low = std::uint64_t(_mm_cvtsi128_si64(index));
    const auto high = std::uint64_t(_mm_extract_epi64(index, 1));
    __m128i utf8 = _mm_cvtsi32_si128(int(std::uint32_t(outputs[std::uint32_t(low)])));
    utf8 = _mm_insert_epi32(utf8, int(std::uint32_t(outputs[low >> 32])), 1);
    utf8 = _mm_insert_epi32(utf8, int(std::uint32_t(outputs[std::uint32_t(high)])), 2);
    utf8 = _mm_insert_epi32(utf8, int(std::uint32_t(outputs[high >> 32])), 3);
    // Three counted bytes: a lead byte E0-EF and a fourth byte of 0.
    const __m128i three =
        _mm_cmpeq_epi32(_mm_and_si128(utf8, _mm_load_si128(reinterpret_cast<const __m128i*>(k->threeMask))),
                        _mm_load_si128(reinterpret_cast<const __m128i*>(k->threeLead)));
    const unsigned nOther = (unsigned(_mm_movemask_ps(_mm_castsi128_ps(three))) ^ 0xFu)
        & _bzhi_u32(0xFu, unsigned(__builtin_popcount(layout & 0xFFu)));
    const auto control = [layout](const std::uint8_t (&table)[512][16]) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(table[layout]));
    };
    if (__builtin_expect(nOther == 0, 1)) {
        const __m128i out = _mm_or_si128(_mm_shuffle_epi8(text, control(kHalfRowLayouts.fromText)),
                                         _mm_shuffle_epi8(utf8, control(kHalfRowLayouts.fromChars)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), out);
        return p + kHalfRowLayouts.length[layout];
    }
    // A pair of another length: each pair's four bytes, its uncounted ones 0
    // and packed out with the cells past the half's output (no cell shows as
    // 0: a byte 0 shows as '.').
    p = StoreNonZero(_mm_or_si128(_mm_shuffle_epi8(text, control(kHalfRowLayouts.fromAnyText)),
                                  _mm_shuffle_epi8(utf8, control(kHalfRowLayouts.fromAnyChars))),
                     p);
    if ((layout & 0x80) == 0)
        return p;
    const std::uint64_t last = outputs[CharBytes(half + 7)];
    const auto lastUtf8 = std::uint32_t(last);
    std::memcpy(p, &lastUtf8, 4);
    return p + (last >> 32);
}

// The text column of a double-byte row whose characters from 0x80 up are all
// pairs, by the layouts of its two halves, with no loop over the characters
// and no branch on where they lie: unlike DoubleByteText's loop, whose length
// varies from row to row, nothing here waits on a guessed branch but the rare
// one for a pair whose UTF-8 is not three bytes. Returns the end of what it
// wrote.
ZORBEL_AVX2 __attribute__((always_inline)) inline char* PairsText(const std::uint8_t* row, const RowCells& cells,
                                                                  const std::uint64_t* outputs, char* p)
{
    const std::uint32_t pairs = cells.pairs;
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 1));
    const ByteSplats* k = OpaqueSplats();
    p = HalfRowText(row, cells.text, _mm_unpacklo_epi8(first, next), pairs & 0xFFu, outputs, k, p);
    return HalfRowText(row + 8, _mm_unpackhi_epi64(cells.text, cells.text), _mm_unpackhi_epi8(first, next),
                       (pairs >> 8 & 0xFFu) | (pairs << 1 & 0x100u), outputs, k, p);
}

// The 32-bit lanes of the eight bits of bits, as all ones where a bit is set.
ZORBEL_AVX2 __attribute__((always_inline)) inline __m256i LanesOfBits(std::uint32_t bits)
{
    const __m256i each = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    return _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(int(bits)), each), each);
}

// The text column of any double-byte row with characters from 0x80 up, one
// look-up a cell and no branch: each cell's index into the decoder's table
// (CharOutputs) is worked out for all 16 at once, and each cell then stores
// its entry's bytes and moves on by its count. A cell that shows itself or
// '.' takes that byte's entry, a byte from 0x80 shown alone its own with a
// next byte of 0 (as DoubleByteText looks it up, which keeps those entries in
// the cache), a pair's first cell the pair's, and its second cell the entry
// past the table's 64 Ki, which writes nothing. Rows mixing pairs with bytes
// alone, as random bytes read as Shift JIS do, took 27-31 ns a row by
// DoubleByteText's loop, whose length varies from row to row, and take 22-24
// this way (measured on an Intel Xeon with AVX-512 turned off). Returns the
// end of what it wrote.
ZORBEL_AVX2 __attribute__((always_inline)) inline char* CellsText(const std::uint8_t* row, const RowCells& cells,
                                                                  const std::uint64_t* outputs, char* p)
{
    const std::uint32_t pairs = cells.pairs;
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 1));
    const __m128i trails = _mm_and_si128(next, BytesOfBits(OpaqueSplats(), pairs));
    const std::uint32_t seconds = pairs << 1;
    const __m256i nothing = _mm256_set1_epi32(CTextDecoder::kWritesNothing);
    std::uint32_t index[16];
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(index),
                       _mm256_blendv_epi8(_mm256_cvtepu16_epi32(_mm_unpacklo_epi8(cells.text, trails)), nothing,
                                          LanesOfBits(seconds & 0xFFu)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(index + 8),
                       _mm256_blendv_epi8(_mm256_cvtepu16_epi32(_mm_unpackhi_epi8(cells.text, trails)), nothing,
                                          LanesOfBits(seconds >> 8 & 0xFFu)));
    // Read back from memory: kept in registers, GCC took each index out by a
    // vpextrd, two instructions, one of them on the shuffle port.
    __asm__("" : "+m"(index));
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
        const std::uint64_t out = outputs[index[i]];
        const auto utf8 = std::uint32_t(out);
        std::memcpy(p, &utf8, 4);
        p += out >> 32;
    }
    return p;
}

// FormatLineBySsse3 on a processor with AVX2 and BMI2: the UTF-8 rows by
// Utf8TextByBmi2, double-byte rows of pairs alone by PairsText, the other
// double-byte rows by CellsText (a packing of lanes as FormatLineByAvx512
// does, by two gathers or sixteen look-ups and pext, was measured slower than
// the loop over the characters on such a processor; CellsText packs nothing,
// each cell moving on by the count its entry holds). With kEndLine it ends
// the line and returns the next line's start.
template <bool kEndLine>
ZORBEL_AVX2 char* FormatLineByAvx2(const std::uint8_t* row, const CTextDecoder& decoder, char* pszOut,
                                   bool& bContinued)
{
    RowCells cells;
    if (!ClassifyRow(row, decoder, bContinued, cells))
        return nullptr;
    HexPart(row, pszOut);
    char* const pText = pszOut + CRowFormat::kHexPartLength;
    if (cells.chars != 0 && decoder.CodePage() == kCodePageUtf8)
        return Utf8TextByBmi2<kEndLine>(row, cells, pszOut, pText);
    if (cells.chars == 0)
        return PlainText<kEndLine>(cells.text, pszOut, pText);
    const std::uint64_t* outputs = decoder.CharOutputs();
    char* const pEnd = cells.chars == cells.pairs ? PairsText(row, cells, outputs, pText)
                                                  : CellsText(row, cells, outputs, pText);
    return kEndLine ? EndLine(pszOut, pEnd) : pEnd;
}

#undef ZORBEL_AVX2

#endif

} // namespace

namespace {

// A dump line by the row rules and the decoder, for the rows the fast path
// leaves.
char* FormatLineByRules(const std::uint8_t* pData, std::uint32_t nSize, std::uint32_t nOffset,
                        const CTextDecoder& decoder, char* pszOut, bool& bContinued)
{
    const int nLength = CRowFormat::FormatRow(pData, nSize, decoder.CodePage(), nOffset, pszOut, bContinued);
    char* pText = pszOut + CRowFormat::kHexPartLength;
    return decoder.ToUtf8(pText, nLength - CRowFormat::kHexPartLength, pText);
}


#ifdef ZORBEL_PAIRS_SSSE3

const bool g_bSsse3 = __builtin_cpu_supports("ssse3");
const bool g_bHasAvx512 = HasLinesAvx512();
const bool g_bAmd = IsAmdProcessor();

// On AMD's processors with AVX-512 (Zen 4) the AVX2 path made --dump's lines
// (FormatLines) faster than the AVX-512 one for ASCII, 0xCD and random rows
// and as fast for the others (measured), so AVX-512 is taken there only when
// allowed again; and where it is, the gather cost a double-byte row more than
// scalar loads. Elsewhere both stay as they were measured on Intel's. UTF-8
// rows take AVX-512 wherever the processor has it: on Zen 5 their lines were
// 6-12 % faster by it than by AVX2, on Zen 4 a little faster (measured).
bool g_bAvx512 = g_bHasAvx512 && !g_bAmd;
bool g_bAvx512Utf8 = g_bHasAvx512;
bool g_bGather = !g_bAmd;

// LZCNT is a bit of the extended features (ECX of leaf 0x80000001), which not
// every compiler's __builtin_cpu_supports names.
bool HasLzcnt()
{
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx) && (ecx & (1u << 5)) != 0;
}

const bool g_bHasAvx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi")
    && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt") && HasLzcnt();
bool g_bAvx2 = g_bHasAvx2;

// CRowFormat::FormatLines by a fast path: the offset, the row and the newline
// of each row in one loop, without FormatLine's checks and call between them.
// kEndsLine says the fast path ends the line itself.
using FastLine = char* (*)(const std::uint8_t*, const CTextDecoder&, char*, bool&);

// Whether a row reads as the one before it does: its 16 bytes and the three
// after them that its text may take (kMaxTextLength) are those of the row
// before and the three after that. Rows of text fail at their first eight
// bytes, one scalar compare, the cheapest test for the rows that pay it
// (measured against a 16-byte compare first). Once the 16 are equal, the
// three after them equal those after the row before when they equal the
// row's own first three: the four bytes from the row's last are compared
// with the four from the last of the row before.
__attribute__((always_inline)) inline bool SameAsRowBefore(const std::uint8_t* row)
{
    const auto load = [](const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    std::uint64_t nFirst, nFirstBefore;
    std::memcpy(&nFirst, row, 8);
    std::memcpy(&nFirstBefore, row - 16, 8);
    if (__builtin_expect(nFirst != nFirstBefore, 1))
        return false;
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(load(row - 16), load(row))) != 0xFFFF)
        return false;
    std::uint32_t nEnd, nBefore;
    std::memcpy(&nEnd, row + 15, 4);
    std::memcpy(&nBefore, row - 1, 4);
    return nEnd == nBefore;
}

// The longest line after its offset that a run of equal rows copies: the hex
// part, a text column of UTF-8 and the newline fit, and so does the longest
// offset before it in the room FormatLines has for a line.
constexpr int kMaxRepeated = 112;
static_assert(kMaxRepeated <= CRowFormat::kHexPartLength + 3 * CRowFormat::kMaxTextLength + 16,
              "a copied line stays in the room FormatLines has for a line");

// The rest of a line after its offset: the fast path's, or else the rules'.
// Like FormatLinesBy it takes no target of its own, so that the fast path is
// made inline in the loop built for its processor features.
template <FastLine kLine, bool kEndsLine>
__attribute__((always_inline)) inline char* LineAfterOffset(const std::uint8_t* pData, std::uint32_t nSize,
                                                            std::uint32_t nOffset, bool bFast,
                                                            const CTextDecoder& decoder, char* pLine, char* p,
                                                            bool& bContinued)
{
    char* pEnd = bFast ? kLine(pData + nOffset, decoder, p, bContinued) : nullptr;
    if (pEnd)
        return kEndsLine ? pEnd : EndLine(pLine, pEnd);
    return EndLine(pLine, FormatLineByRules(pData, nSize, nOffset, decoder, p, bContinued));
}

// How FormatLinesBy takes rows four at a time, if it does.
enum class FourRows { none, pairs, utf8 };

template <FastLine kLine, bool kEndsLine, FourRows kFour = FourRows::none>
__attribute__((always_inline)) inline char* FormatLinesBy(const std::uint8_t* pData, std::uint32_t nSize,
                                                          std::uint32_t nOffset, std::uint32_t nRows,
                                                          std::uint64_t nFileOffset, int nOffsetColumns,
                                                          const CTextDecoder& decoder, char* p, bool& bContinued)
{
    // A run of equal rows, as the filler of erased flash, zeros or 0xCD make
    // in binary files, writes the line of its second row after the offset
    // again for each row after it that begins as that row did: from a copy
    // kept here, not from the line just written, whose bytes the stores of the
    // row before may not yet have left. Nothing of it is kept from row to row
    // but where the copy goes on, which rows of text never read.
    char repeated[kMaxRepeated];
    int nRepeated = 0;
    std::uint32_t nRepeatsAt = 0;   // the offset of the row the copy goes on to, once made
    bool bRepeatedContinued = false;   // bContinued as the copied row began
    const auto formatOffset = [nOffsetColumns](std::uint64_t nAt, char* pOut) {
        return nAt <= 0xFFFFFFFFu && nOffsetColumns == CRowFormat::kOffsetColumns
                   ? (CRowParts::FormatShortOffset(std::uint32_t(nAt), pOut), int(CRowFormat::kOffsetColumns))
                   : CRowFormat::FormatOffset(nAt, nOffsetColumns, pOut);
    };
    for (std::uint32_t r = 0; r < nRows; ++r, nOffset += 16, nFileOffset += 16) {
        char* pLine = p;
        p += formatOffset(nFileOffset, p);
        const bool bFast = nSize - nOffset >= CRowFormat::kMaxTextLength;
        char* pCopyFrom = nullptr;   // where the line to keep begins, for a run's second row
        if (__builtin_expect(bFast && r > 0 && SameAsRowBefore(pData + nOffset), 0)) {
            // The copied row ended as it began, so this one ends so too:
            // bContinued stays.
            if (nRepeatsAt == nOffset && bContinued == bRepeatedContinued && nRepeated <= kMaxRepeated) {
                // All of the copy, in a few vector stores rather than a call:
                // a line's room holds its offset and kMaxRepeated.
                std::memcpy(p, repeated, kMaxRepeated);
                p += nRepeated;
                nRepeatsAt += 16;
                continue;
            }
            pCopyFrom = p;
            bRepeatedContinued = bContinued;
        } else if constexpr (kFour != FourRows::none) {
            // Rows four at a time, with the row before, the four and the
            // bytes after them in reach, from a row with a byte from 0x80 up,
            // so that rows of ASCII pay no more than that test.
            if (r > 0 && nRows - r >= 4 && nSize - nOffset >= 48 + CRowFormat::kMaxTextLength
                && _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pData + nOffset))) != 0) {
                const auto rowOffset = [&](int nRow, char* pOut) {
                    return formatOffset(nFileOffset + 16 * unsigned(nRow), pOut);
                };
                char* pEnd = kFour == FourRows::pairs
                                 ? FourPairsLinesByAvx512(pData + nOffset, decoder.Classes(), decoder.CellBytesOut(),
                                                          p, bContinued, rowOffset)
                                 : FourUtf8LinesByAvx512(pData + nOffset, p, rowOffset);
                if (pEnd) {
                    p = pEnd;
                    r += 3;
                    nOffset += 48;
                    nFileOffset += 48;
                    continue;
                }
            }
        }
        // One call of the fast path in the loop, which the compiler makes
        // inline; a second made it a call in each.
        p = LineAfterOffset<kLine, kEndsLine>(pData, nSize, nOffset, bFast, decoder, pLine, p, bContinued);
        if (__builtin_expect(pCopyFrom != nullptr, 0)) {
            nRepeated = int(p - pCopyFrom);
            if (nRepeated <= kMaxRepeated)
                std::memcpy(repeated, pCopyFrom, std::size_t(nRepeated));
            nRepeatsAt = nOffset + 16;
        }
    }
    return p;
}

// The loop for each fast path, built for the processor features it needs, so
// that the row's code is made inline in it.
#define ZORBEL_LINES_PARAMETERS                                                                                      \
    const std::uint8_t *pData, std::uint32_t nSize, std::uint32_t nOffset, std::uint32_t nRows,                     \
        std::uint64_t nFileOffset, int nOffsetColumns, const CTextDecoder &decoder, char *p, bool &bContinued
#define ZORBEL_LINES_ARGUMENTS pData, nSize, nOffset, nRows, nFileOffset, nOffsetColumns, decoder, p, bContinued

template <FastLine kLine, bool kEndsLine>
__attribute__((target("ssse3"))) char* FormatLinesBySsse3(ZORBEL_LINES_PARAMETERS)
{
    return FormatLinesBy<kLine, kEndsLine>(ZORBEL_LINES_ARGUMENTS);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// Made inline in a loop of its own, the AVX-512 row saves a call a row
// (measured on an Intel Xeon: rows of ASCII 11 % faster, the other kinds as
// when called from the SSSE3 loop).
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt"))) char* FormatLinesByAvx512(
    ZORBEL_LINES_PARAMETERS)
{
    return FormatLinesBy<FormatLineByAvx512<true>, true>(ZORBEL_LINES_ARGUMENTS);
}

// The same where TakesPairsLine holds, which the rows then need not test.
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt"))) char*
FormatPairsLinesByAvx512(ZORBEL_LINES_PARAMETERS)
{
    return FormatLinesBy<FormatLineByAvx512<true, true>, true, FourRows::pairs>(ZORBEL_LINES_ARGUMENTS);
}

// The same for UTF-8.
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt"))) char*
FormatUtf8LinesByAvx512(ZORBEL_LINES_PARAMETERS)
{
    return FormatLinesBy<FormatLineByAvx512<true>, true, FourRows::utf8>(ZORBEL_LINES_ARGUMENTS);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

__attribute__((target("avx2,bmi,bmi2,popcnt,lzcnt"))) char* FormatLinesByAvx2(ZORBEL_LINES_PARAMETERS)
{
    return FormatLinesBy<FormatLineByAvx2<true>, true>(ZORBEL_LINES_ARGUMENTS);
}

#undef ZORBEL_LINES_PARAMETERS
#undef ZORBEL_LINES_ARGUMENTS

#else

// Without the fast paths nothing is allowed.
constexpr bool g_bHasAvx512 = false;
bool g_bAvx512 = false;
bool g_bAvx512Utf8 = false;
constexpr bool g_bHasAvx2 = false;
bool g_bAvx2 = false;

#endif

// Whether the lines in the decoder's code page take the AVX-512 path.
bool TakesAvx512(const CTextDecoder& decoder)
{
    return g_bAvx512 || (g_bAvx512Utf8 && decoder.CodePage() == kCodePageUtf8);
}

} // namespace

bool CRowFormat::AllowAvx512(bool bAllow)
{
    g_bAvx512 = bAllow && g_bHasAvx512;
    g_bAvx512Utf8 = g_bAvx512;
    return g_bAvx512;
}

bool CRowFormat::UseGather(bool bGather)
{
#ifdef ZORBEL_PAIRS_SSSE3
    g_bGather = bGather;
#endif
    return g_bAvx512;
}

void CRowFormat::UseProcessorsChoices()
{
#ifdef ZORBEL_PAIRS_SSSE3
    g_bAvx512 = g_bHasAvx512 && !g_bAmd;
    g_bAvx512Utf8 = g_bHasAvx512;
    g_bAvx2 = g_bHasAvx2;
    g_bGather = !g_bAmd;
#endif
}

bool CRowFormat::AllowAvx2(bool bAllow)
{
    g_bAvx2 = bAllow && g_bHasAvx2;
    return g_bAvx2;
}

char* CRowFormat::FormatLine(const std::uint8_t* pData, std::uint32_t nSize, std::uint32_t nOffset,
                             const CTextDecoder& decoder, char* pszOut, bool& bContinued)
{
#ifdef ZORBEL_PAIRS_SSSE3
    if (g_bSsse3 && nOffset < nSize && nSize - nOffset >= kMaxTextLength) {
        const FastLine line = TakesAvx512(decoder) ? FormatLineByAvx512<false>
                              : g_bAvx2  ? FormatLineByAvx2<false>
                                         : FormatLineBySsse3;
        if (char* pEnd = line(pData + nOffset, decoder, pszOut, bContinued))
            return pEnd;
    }
#endif
    return FormatLineByRules(pData, nSize, nOffset, decoder, pszOut, bContinued);
}

char* CRowFormat::FormatLines(const std::uint8_t* pData, std::uint32_t nSize, std::uint32_t nOffset,
                              std::uint32_t nRows, std::uint64_t nFileOffset, int nOffsetColumns,
                              const CTextDecoder& decoder, char* pszOut, bool& bContinued)
{
#ifdef ZORBEL_PAIRS_SSSE3
    if (g_bAvx512 || g_bAvx2 || g_bSsse3) {
        const bool bAvx512 = TakesAvx512(decoder);
        const auto lines = bAvx512 && TakesPairsLine(decoder)              ? FormatPairsLinesByAvx512
                           : bAvx512 && decoder.CodePage() == kCodePageUtf8 ? FormatUtf8LinesByAvx512
                           : bAvx512                                         ? FormatLinesByAvx512
                           : g_bAvx2                          ? FormatLinesByAvx2
                                                              : FormatLinesBySsse3<FormatLineBySsse3, false>;
        return lines(pData, nSize, nOffset, nRows, nFileOffset, nOffsetColumns, decoder, pszOut, bContinued);
    }
#endif
    char* p = pszOut;
    for (std::uint32_t r = 0; r < nRows; ++r) {
        char* pLine = p;
        p += FormatOffset(nFileOffset + 16 * r, nOffsetColumns, p);
        p = EndLine(pLine, FormatLine(pData, nSize, nOffset + 16 * r, decoder, p, bContinued));
    }
    return p;
}
