#pragma once

// The scan of CStringScanner 64 bytes at a time, included by stringscan.cpp
// alone. It is built twice from the same template: with SSE2 for any x86-64
// processor and with AVX2, BMI and POPCNT for those that have them (the masks
// of a block made 32 bytes an instruction, the walk between stretches with
// TZCNT, SHLX and POPCNT), chosen at run time.

#include "byteclasses.h"
#include "stringscan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define ZORBEL_STRINGS_AVX2 1
#endif

namespace StringBlocks {

// The width of a line's offset and its tab: at least 8 digits.
inline std::uint32_t PrefixWidth(std::uint64_t nOffset)
{
    if (nOffset >> 32 == 0)
        return 9;
    return 1 + (64 - unsigned(__builtin_clzll(nOffset)) + 3) / 4;
}

// The entry of the lines table (see CStringScanner::EmitTable) at every place
// that is no character: a newline, which ends the line before it, and room
// after it for the next line's offset and tab below 4 GiB (nine bytes), its
// length. Text entries are never longer than three bytes.
constexpr std::uint32_t kLineEnd = std::uint32_t('\n') | std::uint32_t(1 + 9) << 24;

// The run under way while the bytes are read: its line starts at pLine, its
// text at pLine + nPrefix and ends at pDst.
struct CRun {
    char* pLine = nullptr;
    char* pDst = nullptr;
    std::uint32_t nPrefix = 0;
    std::uint64_t nOffset = 0;
    std::uint32_t nBytes = 0;
    int nChars = 0;
    bool bNonAscii = false;
};

// What the walk reads the bytes by.
struct CRules {
    // The UTF-8 of the character at two bytes read as a little-endian number
    // (see CStringScanner::EmitTable), its length in the top byte.
    const std::uint32_t* pEmit = nullptr;
    // One bit per defined pair (lead << 8 | trail); null without pairs.
    const std::uint64_t* pPairBits = nullptr;
    // Two ranges each of lead bytes, trail bytes, and lead bytes whose pairs
    // are all defined.
    std::uint8_t leads[4] = {};
    std::uint8_t trails[4] = {};
    std::uint8_t safe[4] = {};
    // The bytes from 0x80 that are characters of their own, or null.
    const bool* pSingles = nullptr;
    int nMinChars = 1;
    bool bNonAsciiOnly = false;
};

template <class Sink>
inline void StartRun(CRun& run, std::uint64_t nOffset)
{
    run.nOffset = nOffset;
    run.nPrefix = Sink::kLines ? PrefixWidth(nOffset) : 0;
    run.pDst = run.pLine + run.nPrefix;
}

// Ends the run under way, given to the sink if it is worth listing; Isa
// makes its offset's digits.
template <class Isa, class Sink>
inline void EndRun(CRun& run, Sink& sink, int nMinChars, bool bNonAsciiOnly)
{
    if (run.nChars >= nMinChars && (run.bNonAscii || !bNonAsciiOnly))
        run.pLine = sink.template Keep<Isa>(run.nOffset, run.nBytes, run.pLine, run.pLine + run.nPrefix, run.pDst);
    run.pDst = run.pLine;
    run.nPrefix = 0;
    run.nBytes = 0;
    run.nChars = 0;
    run.bNonAscii = false;
}

template <class Isa, class Sink>
inline void EndRun(CRun& run, Sink& sink, const CRules& rules)
{
    EndRun<Isa>(run, sink, rules.nMinChars, rules.bNonAsciiOnly);
}

// The place after the highest set bit of x, 0 for none, without a branch.
inline unsigned TopEnd(std::uint64_t x)
{
    return (64 - unsigned(__builtin_clzll(x | 1))) & -unsigned(x != 0);
}

// Both tests made, without a branch on the first.
inline bool InRanges(std::uint8_t b, const std::uint8_t* r)
{
    return (std::uint8_t(b - r[0]) <= std::uint8_t(r[1] - r[0])) | (std::uint8_t(b - r[2]) <= std::uint8_t(r[3] - r[2]));
}

// The masks of 64 bytes, 16 at a time: bit j set where q[j] is a printable
// ASCII byte or a tab (Ascii), within either range of r (Range).
struct CSse2 {
    // Whether Gather packs the places, so that a pair counts as one character.
    static constexpr bool kPacked = false;

    static std::uint64_t Ascii(const std::uint8_t* q)
    {
        std::uint64_t text = 0;
#if defined(__SSE2__)
        const __m128i one = _mm_set1_epi8(1);
        const __m128i space = _mm_set1_epi8(0x20);
        const __m128i tab = _mm_set1_epi8('\t');
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * k));
            // 0x20-0x7E plus one is 0x21-0x7F, the only bytes above 0x20 as signed.
            const __m128i isText = _mm_or_si128(_mm_cmpgt_epi8(_mm_add_epi8(v, one), space), _mm_cmpeq_epi8(v, tab));
            text |= std::uint64_t(unsigned(_mm_movemask_epi8(isText))) << (16 * k);
        }
#else
        for (int j = 0; j < 64; ++j)
            text |= std::uint64_t((q[j] >= 0x20 && q[j] < 0x7F) || q[j] == '\t') << j;
#endif
        return text;
    }

    // The eight nibbles of n one to a byte, the lowest in the lowest byte.
    static std::uint64_t Nibbles(std::uint32_t n)
    {
        std::uint64_t x = n;
        x = (x | x << 16) & 0x0000FFFF0000FFFFu;
        x = (x | x << 8) & 0x00FF00FF00FF00FFu;
        return (x | x << 4) & 0x0F0F0F0F0F0F0F0Fu;
    }

    // The number of zero bits below the lowest set bit, 64 for none; the bits
    // below bit n, all of them for 64.
    static unsigned Tz(std::uint64_t x) { return x ? unsigned(__builtin_ctzll(x)) : 64; }
    static std::uint64_t Below(unsigned n) { return n < 64 ? (std::uint64_t(1) << n) - 1 : ~std::uint64_t(0); }

    // The bits of bits at the positions in places, packed at the bottom, and
    // back; the portable build leaves them where they are.
    static std::uint64_t Gather(std::uint64_t bits, std::uint64_t) { return bits; }
    static std::uint64_t Scatter(std::uint64_t bits, std::uint64_t) { return bits; }

    static std::uint64_t Range(const std::uint8_t* q, const std::uint8_t* r)
    {
        std::uint64_t mask = 0;
#if defined(__SSE2__)
        const __m128i vLo = _mm_set1_epi8(char(r[0]));
        const __m128i vSpan = _mm_set1_epi8(char(r[1] - r[0]));
        const __m128i vLo2 = _mm_set1_epi8(char(r[2]));
        const __m128i vSpan2 = _mm_set1_epi8(char(r[3] - r[2]));
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * k));
            const __m128i d = _mm_sub_epi8(v, vLo);
            const __m128i d2 = _mm_sub_epi8(v, vLo2);
            const __m128i in = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(d, vSpan), d),
                                            _mm_cmpeq_epi8(_mm_min_epu8(d2, vSpan2), d2));
            mask |= std::uint64_t(unsigned(_mm_movemask_epi8(in))) << (16 * k);
        }
#else
        for (int j = 0; j < 64; ++j)
            mask |= std::uint64_t(InRanges(q[j], r)) << j;
#endif
        return mask;
    }
};

#if ZORBEL_STRINGS_AVX2
// The same masks 32 bytes at a time; with kPext the characters of a stretch
// are counted with PEXT and PDEP, which AMD processors before Zen 3 take
// hundreds of cycles for.
template <bool kPext>
struct CAvx2 {
    static constexpr bool kPacked = kPext;

    __attribute__((target("avx2"))) static std::uint64_t Ascii(const std::uint8_t* q)
    {
        const __m256i one = _mm256_set1_epi8(1);
        const __m256i space = _mm256_set1_epi8(0x20);
        const __m256i tab = _mm256_set1_epi8('\t');
        std::uint64_t text = 0;
        for (int k = 0; k < 2; ++k) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32 * k));
            const __m256i isText =
                _mm256_or_si256(_mm256_cmpgt_epi8(_mm256_add_epi8(v, one), space), _mm256_cmpeq_epi8(v, tab));
            text |= std::uint64_t(unsigned(_mm256_movemask_epi8(isText))) << (32 * k);
        }
        return text;
    }

    // TZCNT gives 64 for no bit and BZHI keeps every bit from 64 on: no
    // branch on either.
    __attribute__((target("bmi"))) static unsigned Tz(std::uint64_t x) { return unsigned(_tzcnt_u64(x)); }
    __attribute__((target("bmi2"))) static std::uint64_t Below(unsigned n) { return _bzhi_u64(~std::uint64_t(0), n); }

    __attribute__((target("bmi2"))) static std::uint64_t Nibbles(std::uint32_t n)
    {
        return kPext ? _pdep_u64(n, 0x0F0F0F0F0F0F0F0Fu) : CSse2::Nibbles(n);
    }

    __attribute__((target("bmi2"))) static std::uint64_t Gather(std::uint64_t bits, std::uint64_t places)
    {
        return kPext ? _pext_u64(bits, places) : bits;
    }
    __attribute__((target("bmi2"))) static std::uint64_t Scatter(std::uint64_t bits, std::uint64_t places)
    {
        return kPext ? _pdep_u64(bits, places) : bits;
    }

    __attribute__((target("avx2"))) static std::uint64_t Range(const std::uint8_t* q, const std::uint8_t* r)
    {
        const __m256i vLo = _mm256_set1_epi8(char(r[0]));
        const __m256i vSpan = _mm256_set1_epi8(char(r[1] - r[0]));
        const __m256i vLo2 = _mm256_set1_epi8(char(r[2]));
        const __m256i vSpan2 = _mm256_set1_epi8(char(r[3] - r[2]));
        std::uint64_t mask = 0;
        for (int k = 0; k < 2; ++k) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32 * k));
            const __m256i d = _mm256_sub_epi8(v, vLo);
            const __m256i d2 = _mm256_sub_epi8(v, vLo2);
            const __m256i in = _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_min_epu8(d, vSpan), d),
                                               _mm256_cmpeq_epi8(_mm256_min_epu8(d2, vSpan2), d2));
            mask |= std::uint64_t(unsigned(_mm256_movemask_epi8(in))) << (32 * k);
        }
        return mask;
    }
};
#endif

// The lines of a block that has a break, for the walk below with packed
// places, a minimum of 4 and offsets below 4 GiB. packed has a bit at each
// packed place that starts four characters in a row; a stretch with one is
// listed, from its first character to the break after its fourth from the
// last such bit. The stretch from nTail on, after the last break, is the
// next run under way; the stretch before the first break goes on the run
// under way, if there is one.
template <class Isa, class Sink>
inline void WholeLines(const std::uint8_t* q, const std::uint32_t* pEmit, CRun& run, Sink& sink,
                       std::uint64_t packed, std::uint64_t starts, std::uint64_t chars, std::uint64_t breaks,
                       unsigned nTail, std::uint64_t nBase, std::uint32_t nBlock)
{
    constexpr std::uint32_t kPrefix = 9;
    const std::uint64_t complete = Isa::Below(nTail);
    std::uint64_t lines = Isa::Scatter(packed | packed << 1 | packed << 2 | packed << 3, starts) & complete;
    std::uint64_t ends = Isa::Scatter((packed & ~(packed >> 1)) << 4, starts) & complete;
    std::uint64_t firsts = Isa::Scatter(packed & ~(packed << 1), starts) & complete;
    const std::uint64_t tail = chars & ~complete;
    char* d = run.pLine + kPrefix;
    if (run.nChars) {
        // The stretch before the first break ends the run under way, which
        // is listed if it has four characters; the stretches the packed bits
        // find start after it.
        const unsigned nBreak = Isa::Tz(breaks);
        const std::uint64_t before = Isa::Below(nBreak + 1);
        const std::uint64_t segment = chars & before;
        lines &= ~before;
        ends &= ~before;
        firsts &= ~before;
        if (run.nChars + __builtin_popcountll(segment) >= 4) {
            lines |= segment;
            ends |= std::uint64_t(1) << nBreak;
            d = run.pDst;
            sink.template PutOffset<Isa>(run.pLine, run.nOffset);
        }
    }
    // Each character's or line end's entry is one four-byte store, its
    // length the top byte, as in the walk; where each character went is
    // kept for the offsets.
    char* at[64];
    for (std::uint64_t bits = lines | ends | tail; bits; bits &= bits - 1) {
        const std::size_t j = std::size_t(__builtin_ctzll(bits));
        std::uint16_t nAt;
        std::memcpy(&nAt, q + j, 2);
        const std::uint32_t c = pEmit[nAt];
        std::memcpy(d, &c, 4);
        at[j] = d;
        d += c >> 24;
    }
    for (; firsts; firsts &= firsts - 1) {
        const unsigned j = unsigned(__builtin_ctzll(firsts));
        sink.template PutOffset<Isa>(at[j] - kPrefix, nBase + j);
    }
    if (tail) {
        run.pLine = at[nTail] - kPrefix;
        run.pDst = d;
        run.nPrefix = kPrefix;
        run.nOffset = nBase + nTail;
        run.nChars = __builtin_popcountll(tail);
        run.nBytes = nBlock - nTail;
    } else {
        run.pLine = d - kPrefix;
        run.pDst = run.pLine;
        run.nPrefix = 0;
        run.nChars = 0;
        run.nBytes = 0;
    }
}

// Reads whole blocks of 64 bytes from p[i] on, a character's start, while
// they and the 16 bytes after them are there and no run can reach
// kMaxRunBytes in them; nOffset is p's offset in the file. Returns where it
// stopped, a character's start. A kMinChars above 0 is the minimum, with every
// run listed whether it has a character beyond ASCII or not (the default
// options, built apart so that their tests are constants: 5 % of the time);
// 0 reads both from rules.
template <class Isa, class Sink, int kMinChars>
std::uint32_t Walk(const CRules& rules, CRun& runUnderWay, Sink& sink, const std::uint8_t* p, std::uint32_t i,
                   std::uint32_t nLength, std::uint64_t nOffset)
{
    constexpr std::uint64_t kAll = ~std::uint64_t(0);
    CRun run = runUnderWay;
    // A stretch of fewer than nMinChars bytes between two breaks holds no run
    // worth listing.
    const int nMinChars = kMinChars > 0 ? kMinChars : rules.nMinChars;
    const bool bNonAsciiOnly = kMinChars > 0 ? false : rules.bNonAsciiOnly;
    const bool bSameRanges = std::memcmp(rules.leads, rules.trails, 4) == 0;
    // In a local, which the stores of the text cannot be taken to change.
    const std::uint32_t* const pEmit = rules.pEmit;
    while (nLength - i >= 64 + 16 && run.nBytes + 65 <= CStringScanner::kMaxRunBytes) {
        const std::uint8_t* const q = p + i;
        const std::uint64_t ascii = Isa::Ascii(q);
        // Where a lead byte and the byte after it make a character: a lead
        // byte followed by a trail byte, if the pair is defined. The walk from
        // the block's start meets only the pairs that start where PairStarts64
        // says; when those are all defined the undefined ones it steps over as
        // trail bytes change nothing, else each candidate is looked up.
        std::uint64_t pairStarts = 0;
        if (rules.pPairBits) {
            const std::uint64_t leads = Isa::Range(q, rules.leads);
            // In GB the trail bytes are the lead bytes: the mask one byte on.
            const std::uint64_t trails = bSameRanges
                ? leads >> 1 | std::uint64_t(InRanges(q[64], rules.trails)) << 63
                : Isa::Range(q + 1, rules.trails);
            const std::uint64_t candidates = leads & trails;
            const auto defined = [&](std::uint64_t bits) {
                std::uint64_t found = 0;
                for (; bits; bits &= bits - 1) {
                    const unsigned j = unsigned(__builtin_ctzll(bits));
                    const unsigned n = unsigned(q[j]) << 8 | q[j + 1];
                    found |= ((rules.pPairBits[n >> 6] >> (n & 63)) & 1) << j;
                }
                return found;
            };
            pairStarts = CByteClasses::PairStarts64(candidates);
            const std::uint64_t unsure = pairStarts & ~Isa::Range(q, rules.safe);
            if (unsure && defined(unsure) != unsure)
                pairStarts = CByteClasses::PairStarts64(defined(candidates));
        }
        std::uint64_t singles = 0;
        if (rules.pSingles) {
            for (unsigned j = 0; j < 64; ++j)
                singles |= std::uint64_t(rules.pSingles[q[j]]) << j;
        }
        const std::uint64_t starts = ~(pairStarts << 1);
        const std::uint64_t chars = starts & (pairStarts | ascii | singles);
        const std::uint64_t breaks = starts & ~chars;
        const std::uint64_t wideChars = chars & ~ascii;
        const std::uint32_t nBlock = 64 + std::uint32_t(pairStarts >> 63);
        const std::uint64_t nBase = nOffset + i;

        // Each stretch of characters between two breaks goes on the run under
        // way, written as it is read; a run that ends here short of nMinChars
        // is written over by the next. After the first stretch no run is
        // under way, and a stretch of fewer than nMinChars bytes between two
        // breaks is passed over: wanted has a bit in each stretch that is long
        // enough, and in the last one, which may go on in the next block.
        // Gathered, a pair is one bit and counts as one character; else it
        // counts as two, which lets some stretches too short to list through.
        std::uint64_t wanted = 0;
        std::uint64_t packed = 0;
        if (nMinChars <= 64) {
            packed = Isa::Gather(~breaks, starts);
            if constexpr (kMinChars == 4) {
                packed &= packed >> 1;
                packed &= packed >> 2;
            } else {
                for (int nCovered = 1; nCovered < nMinChars;) {
                    const int nShift = std::min(nCovered, nMinChars - nCovered);
                    packed &= packed >> nShift;
                    nCovered += nShift;
                }
            }
            wanted = Isa::Scatter(packed, starts);
        }
        const unsigned nTail = TopEnd(breaks);
        wanted |= ~Isa::Below(nTail);
        // With no run under way the walk starts at the first stretch worth
        // listing, not at a short one it would write and drop.
        if ((wanted | std::uint64_t(run.nChars)) == 0) {
            i += nBlock;
            continue;
        }
        if constexpr (Sink::kLines && Isa::kPacked && kMinChars == 4) {
            // Lines with offsets of eight digits: the characters of every
            // line the block ends go through one loop, not one per stretch,
            // whose end the processor guesses wrong as often as the
            // stretches' lengths change. The place after each such line
            // looks up the newline and the room for the next offset.
            if (breaks != 0 && (nBase + 64) >> 32 == 0) {
                WholeLines<Isa>(q, pEmit, run, sink, packed, starts, chars, breaks, nTail, nBase, nBlock);
                i += nBlock;
                continue;
            }
        }
        const unsigned nFirst = TopEnd(breaks & Isa::Below(Isa::Tz(wanted)));
        unsigned nPos = run.nChars ? 0 : nFirst;
        for (;;) {
            const std::uint64_t after = breaks >> nPos;
            // Worked out without branches, which the processor would guess
            // wrong as often as the stretches' lengths change.
            const unsigned nBreak = std::min(nPos + Isa::Tz(after), 64u);
            // Empty only when a run under way ends at the block's first byte.
            const std::uint64_t segment = chars & Isa::Below(nBreak) & (kAll << nPos);
            if (run.nChars == 0)
                StartRun<Sink>(run, nBase + nPos);
            // Every character's UTF-8 is one four-byte store from the
            // table, the two bytes at it the index, its length the top
            // byte: no branch on what the character is.
            char* d = run.pDst;
            for (std::uint64_t bits = segment; bits; bits &= bits - 1) {
                const unsigned j = unsigned(__builtin_ctzll(bits));
                std::uint16_t nAt;
                std::memcpy(&nAt, q + j, 2);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
                nAt = std::uint16_t(nAt << 8 | nAt >> 8);
#endif
                const std::uint32_t c = pEmit[nAt];
                std::memcpy(d, &c, 4);
                d += c >> 24;
            }
            run.pDst = d;
            run.nChars += __builtin_popcountll(segment);
            // To the break, or at the block's end to the pair it ends in.
            run.nBytes += nBreak + ((nBreak >> 6) & (nBlock - 64)) - nPos;
            // Only asked for when runs of ASCII alone are left out.
            if (bNonAsciiOnly)
                run.bNonAscii = run.bNonAscii || (segment & wideChars) != 0;
            // A run is under way here: the stretch had a character, or the
            // run went on from the block before.
            if (nBreak >= 63) {
                if (nBreak == 63)
                    EndRun<Isa>(run, sink, nMinChars, bNonAsciiOnly);
                break;
            }
            EndRun<Isa>(run, sink, nMinChars, bNonAsciiOnly);
            const std::uint64_t next = wanted & (kAll << (nBreak + 1));
            if (!next)
                break;
            const unsigned nWanted = unsigned(__builtin_ctzll(next));
            const std::uint64_t between = breaks & ((std::uint64_t(1) << nWanted) - 1) & (kAll << (nBreak + 1));
            // Past the last break before it, or at the break's next byte; a
            // break is above nBreak + 1 if there is one.
            nPos = std::max(TopEnd(between), nBreak + 1);
        }
        i += nBlock;
    }
    runUnderWay = run;
    return i;
}

// The builds of the walk. Flattened, so that the helpers are built with each
// one's instructions.
template <class Sink, int kMinChars>
__attribute__((flatten)) std::uint32_t WalkSse2(const CRules& rules, CRun& run, Sink& sink, const std::uint8_t* p,
                                                std::uint32_t i, std::uint32_t nLength, std::uint64_t nOffset)
{
    return Walk<CSse2, Sink, kMinChars>(rules, run, sink, p, i, nLength, nOffset);
}

#if ZORBEL_STRINGS_AVX2
template <bool kPext, class Sink, int kMinChars>
__attribute__((target("avx2,bmi,bmi2,popcnt"), flatten)) std::uint32_t
WalkAvx2(const CRules& rules, CRun& run, Sink& sink, const std::uint8_t* p, std::uint32_t i, std::uint32_t nLength,
         std::uint64_t nOffset)
{
    return Walk<CAvx2<kPext>, Sink, kMinChars>(rules, run, sink, p, i, nLength, nOffset);
}
#endif

#if ZORBEL_STRINGS_AVX2
// Whether PEXT and PDEP take hundreds of cycles: on AMD's processors before
// Zen 3 (families 15h and 17h) and Hygon's built on Zen (18h). Zen 3 and
// later (19h on) take a few.
inline bool SlowPext()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx))
        return false;
    const bool bAmd = ebx == signature_AMD_ebx && ecx == signature_AMD_ecx && edx == signature_AMD_edx;
    // "HygonGenuine"
    const bool bHygon = ebx == 0x6F677948 && ecx == 0x656E6975 && edx == 0x6E65476E;
    if (!(bAmd || bHygon) || !__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    unsigned nFamily = (eax >> 8) & 0xF;
    if (nFamily == 0xF)
        nFamily += (eax >> 20) & 0xFF;
    return nFamily < 0x19;
}
#endif

// The best build this processor runs.
inline CStringScanner::Build BestBuild()
{
#if ZORBEL_STRINGS_AVX2
    static const CStringScanner::Build best = [] {
        if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("bmi") || !__builtin_cpu_supports("bmi2")
            || !__builtin_cpu_supports("popcnt"))
            return CStringScanner::Build::Sse2;
        if (SlowPext())
            return CStringScanner::Build::Avx2;
        return CStringScanner::Build::Avx2Pext;
    }();
    return best;
#else
    return CStringScanner::Build::Sse2;
#endif
}

template <class Sink, int kMinChars>
auto WalkFor(CStringScanner::Build build)
{
#if ZORBEL_STRINGS_AVX2
    if (build == CStringScanner::Build::Avx2Pext)
        return &WalkAvx2<true, Sink, kMinChars>;
    if (build == CStringScanner::Build::Avx2)
        return &WalkAvx2<false, Sink, kMinChars>;
#endif
    return &WalkSse2<Sink, kMinChars>;
}

// The walk for the build and the options.
template <class Sink>
auto WalkFor(CStringScanner::Build build, const CRules& rules)
{
    if (rules.nMinChars == 4 && !rules.bNonAsciiOnly)
        return WalkFor<Sink, 4>(build);
    return WalkFor<Sink, 0>(build);
}

} // namespace StringBlocks
