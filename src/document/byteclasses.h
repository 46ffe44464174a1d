#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

// The classes of bytes that the row rules of a code page test, 16 bytes at a
// time: lead bytes, trail bytes, and bytes that a text column shows as themselves
// when they stand alone (IsShownAlone). They are
// taken from IsLeadByte, IsTrailByte and IsHalfWidthKana once per code page, as
// runs of byte values.
class CByteClasses {
public:
    static const CByteClasses& For(int nCodePage)
    {
        // Rows are formatted one after another in one code page.
        thread_local int nLastCodePage = 0;
        thread_local const CByteClasses* pLast = nullptr;
        if (!pLast || nLastCodePage != nCodePage) {
            pLast = &Find(nCodePage);
            nLastCodePage = nCodePage;
        }
        return *pLast;
    }

    // Whether the masks below can be used; otherwise a caller tests byte by byte.
    bool HasMasks() const { return m_bMasks; }

    // Bit i is set when p[i] belongs to the class, for i from 0 to 15. Each reads
    // exactly 16 bytes at p.
    std::uint32_t LeadMask(const std::uint8_t* p) const { return Mask(p, m_lead); }
    std::uint32_t TrailMask(const std::uint8_t* p) const { return Mask(p, m_trail); }
    std::uint32_t ShownMask(const std::uint8_t* p) const { return Mask(p, m_shown); }
    static std::uint32_t HighMask(const std::uint8_t* p);

#if defined(__x86_64__) || defined(__i386__)
    // The same three masks by SSSE3 where each class is told by two table
    // look-ups, one by each half of the byte (HasNibbleTables): a few
    // instructions whatever the number of runs. LeadAndShownMasks reads the
    // 16 bytes at p once for both.
    bool HasNibbleTables() const { return m_bNibbles; }
    __attribute__((target("ssse3"))) void LeadAndShownMasks(const std::uint8_t* p, std::uint32_t& nLead,
                                                            std::uint32_t& nShown) const
    {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        LeadAndShownMasks(_mm_and_si128(_mm_srli_epi16(bytes, 4), _mm_set1_epi8(0x0F)),
                          _mm_and_si128(bytes, _mm_set1_epi8(0x0F)), nLead, nShown);
    }
    __attribute__((target("ssse3"))) std::uint32_t TrailMaskBySsse3(const std::uint8_t* p) const
    {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return TrailMaskBySsse3(_mm_and_si128(_mm_srli_epi16(bytes, 4), _mm_set1_epi8(0x0F)),
                                _mm_and_si128(bytes, _mm_set1_epi8(0x0F)));
    }
    // The same from the high and the low halves of the 16 bytes, for a caller
    // that has them.
    __attribute__((target("ssse3"))) void LeadAndShownMasks(__m128i high, __m128i low, std::uint32_t& nLead,
                                                            std::uint32_t& nShown) const
    {
        nLead = m_leadNibbles.Mask(high, low);
        nShown = m_shownNibbles.Mask(high, low);
    }
    __attribute__((target("ssse3"))) std::uint32_t TrailMaskBySsse3(__m128i high, __m128i low) const
    {
        return m_trailNibbles.Mask(high, low);
    }
#endif

    // The nibble tables of lead and trail bytes in the first two quarters of
    // a 64-byte register, for a register that holds a row's 16 bytes in its
    // first quarter and the 16 from its second byte in the second; the other
    // quarters are 0. One look-up by each half of the bytes then tells both
    // classes, where HasQuarterTables (HasMasks and HasNibbleTables both).
    bool HasQuarterTables() const { return m_bMasks && m_bNibbles; }
    const std::uint8_t* QuarterHighs() const { return m_quarterHighs; }
    const std::uint8_t* QuarterLows() const { return m_quarterLows; }

    // Writes 16 bytes to pOut: p[i] where bit i of nKeep is set, else chFill.
    static void Select(const std::uint8_t* p, std::uint32_t nKeep, char chFill, char* pOut);

    // Given bit i set where a lead byte at i is followed by a trail byte, the bits
    // where the walk from bit 0 takes a pair: it takes one wherever it can and goes
    // on after its trail byte.
    static std::uint32_t PairStarts(std::uint32_t nCandidates)
    {
        // A run of candidates yields pairs at its start and every second bit after.
        const std::uint32_t even = 0x55555555u;
        const std::uint32_t runStarts = nCandidates & ~(nCandidates << 1);
        const std::uint32_t evenRuns = nCandidates & ~(nCandidates + (runStarts & even));
        return (evenRuns & even) | (nCandidates & ~evenRuns & ~even);
    }

    // The same for 64 bytes.
    static std::uint64_t PairStarts64(std::uint64_t nCandidates)
    {
        const std::uint64_t even = 0x5555555555555555ull;
        const std::uint64_t runStarts = nCandidates & ~(nCandidates << 1);
        const std::uint64_t evenRuns = nCandidates & ~(nCandidates + (runStarts & even));
        return (evenRuns & even) | (nCandidates & ~evenRuns & ~even);
    }

private:
    // 1252's shown bytes take six runs, 949's trail bytes three.
    enum { kMaxRuns = 6 };
    // Byte b is in run i when b - first[i], unsigned, is at most span[i]; each
    // value is repeated 16 times, ready to be compared with 16 bytes at once.
    struct Runs {
        int nCount = 0;
        alignas(16) std::uint8_t first[kMaxRuns][16] = {};
        alignas(16) std::uint8_t span[kMaxRuns][16] = {};
    };

    // A class as two tables of 16: byte b is in it when the entries of its high
    // and of its low half share a bit. Each distinct set of low halves that a
    // high half takes gets a bit of its own, so up to eight such sets can be
    // told apart.
    struct Nibbles {
        alignas(16) std::uint8_t high[16] = {};
        alignas(16) std::uint8_t low[16] = {};
        bool Collect(bool (*test)(int nCodePage, std::uint8_t b), int nCodePage);
#if defined(__x86_64__) || defined(__i386__)
        __attribute__((target("ssse3"))) std::uint32_t Mask(__m128i highHalves, __m128i lowHalves) const
        {
            const __m128i in = _mm_and_si128(
                _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(high)), highHalves),
                _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(low)), lowHalves));
            return std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(in, _mm_setzero_si128()))) ^ 0xFFFFu;
        }
#endif
    };

    explicit CByteClasses(int nCodePage);
    static const CByteClasses& Find(int nCodePage);
    static bool Collect(Runs& runs, bool (*test)(int nCodePage, std::uint8_t b), int nCodePage);
    static std::uint32_t Mask(const std::uint8_t* p, const Runs& runs);

    bool m_bMasks = true;
    Runs m_lead;
    Runs m_trail;
    Runs m_shown;
    bool m_bNibbles = false;
    Nibbles m_leadNibbles;
    Nibbles m_trailNibbles;
    Nibbles m_shownNibbles;
    alignas(64) std::uint8_t m_quarterHighs[64] = {};
    alignas(64) std::uint8_t m_quarterLows[64] = {};
};

#if defined(__SSE2__)

inline std::uint32_t CByteClasses::Mask(const std::uint8_t* p, const Runs& runs)
{
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i in = _mm_setzero_si128();
    for (int i = 0; i < runs.nCount; ++i) {
        const __m128i offset = _mm_sub_epi8(bytes, _mm_load_si128(reinterpret_cast<const __m128i*>(runs.first[i])));
        const __m128i span = _mm_load_si128(reinterpret_cast<const __m128i*>(runs.span[i]));
        in = _mm_or_si128(in, _mm_cmpeq_epi8(_mm_min_epu8(offset, span), offset));
    }
    return std::uint32_t(_mm_movemask_epi8(in));
}

inline std::uint32_t CByteClasses::HighMask(const std::uint8_t* p)
{
    return std::uint32_t(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
}

inline void CByteClasses::Select(const std::uint8_t* p, std::uint32_t nKeep, char chFill, char* pOut)
{
    // Bit i of the mask spread to byte i: each half of the register holds one byte
    // of the mask, tested against the bit of each position.
    const __m128i halves = _mm_unpacklo_epi64(_mm_set1_epi8(char(nKeep)), _mm_set1_epi8(char(nKeep >> 8)));
    const __m128i bits = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i keep = _mm_cmpeq_epi8(_mm_and_si128(halves, bits), bits);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i result = _mm_or_si128(_mm_and_si128(keep, bytes), _mm_andnot_si128(keep, _mm_set1_epi8(chFill)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut), result);
}

#else

inline std::uint32_t CByteClasses::Mask(const std::uint8_t* p, const Runs& runs)
{
    std::uint32_t mask = 0;
    for (int j = 0; j < 16; ++j) {
        for (int i = 0; i < runs.nCount; ++i) {
            if (std::uint8_t(p[j] - runs.first[i][0]) <= runs.span[i][0])
                mask |= 1u << j;
        }
    }
    return mask;
}

inline std::uint32_t CByteClasses::HighMask(const std::uint8_t* p)
{
    std::uint32_t mask = 0;
    for (int j = 0; j < 16; ++j)
        mask |= std::uint32_t(p[j] >> 7) << j;
    return mask;
}

inline void CByteClasses::Select(const std::uint8_t* p, std::uint32_t nKeep, char chFill, char* pOut)
{
    for (int j = 0; j < 16; ++j)
        pOut[j] = (nKeep >> j) & 1 ? char(p[j]) : chFill;
}

#endif
