#include "codepage.h"

#include "byteclasses.h"
#include "syslang.h"
#include "utf8.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define ZORBEL_DETECT_AVX512 1
#endif

bool IsHexDigit(int ch)
{
    if (ch >= '0' && ch <= '9')
        return true;
    const int upper = ch & ~0x20;
    return ch < 0x80 && upper >= 'A' && upper <= 'F';
}

bool IsHalfWidthKana(int nCodePage, std::uint8_t b)
{
    return nCodePage == 932 && b >= 0xA0 && b <= 0xDF;
}

bool IsLeadByte(int nCodePage, std::uint8_t b)
{
    switch (nCodePage) {
    case 932:
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:
    case 950:
        return b >= 0xA1 && b <= 0xFE;
    case 949:
        return b >= 0x81 && b <= 0xFE;
    default:
        return false;
    }
}

bool IsTrailByte(int nCodePage, std::uint8_t b)
{
    switch (nCodePage) {
    case 932:
        return b >= 0x40 && b <= 0xFC && b != 0x7F;
    case 936:
        return b >= 0xA1 && b <= 0xFE;
    case 950:
        return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE);
    case 949:
        return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE);
    default:
        return false;
    }
}

bool IsShownAlone(int nCodePage, std::uint8_t b)
{
    if (b >= 0x20 && b <= 0x7E)
        return true;
    if (nCodePage == 1252)
        return b >= 0x80 && b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D;
    return IsHalfWidthKana(nCodePage, b);
}

int CodePageFromLangID(unsigned short langID)
{
    const unsigned primary = langID & 0x3FF;
    const unsigned sub = langID >> 10;
    switch (primary) {
    case 0x04:
        return (sub == 1 || sub == 3) ? 950 : 936;
    case 0x11:
        return 932;
    case 0x12:
        return 949;
    default:
        return 1252;
    }
}

int GetDefaultCodePage()
{
    return CodePageFromLangID(GetSystemDefaultLangID());
}

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

// True when one of the eight bytes of w equals b.
constexpr bool HasByte(std::uint64_t w, std::uint8_t b)
{
    const std::uint64_t x = w ^ (kOnes * b);
    return ((x - kOnes) & ~x & kHighs) != 0;
}

// True when none of the eight bytes at p can start a rule of DetectCodePage:
// every rule begins at 0x1B, 0x7E or a byte of 0x81 and above.
inline bool EightPlainBytes(const std::uint8_t* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return (w & kHighs) == 0 && !HasByte(w, 0x1B) && !HasByte(w, 0x7E);
}

// Whether a byte of the n at p is 0x80 or above, 64 bytes at a time.
bool HasHighByte(const std::uint8_t* p, std::size_t n)
{
    std::size_t i = 0;
    for (; n - i >= 64; i += 64) {
        std::uint64_t w[8];
        std::memcpy(w, p + i, sizeof w);
        if (((w[0] | w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) & kHighs) != 0)
            return true;
    }
    return std::any_of(p + i, p + n, [](std::uint8_t b) { return b >= 0x80; });
}

// The double-byte rules, one byte the walk lands on at a time, from i up to
// nEnd; the look-ahead reads up to nLength and takes anything past it as 0,
// which matches no rule. Returns the code page a rule decides, or 0 with i where
// the walk lands next (nEnd or one past it) and result 936 once a GB lead byte
// was met.
int DetectBytes(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nEnd, std::uint32_t& i, int& result)
{
    auto at = [pData, nLength](std::uint32_t k) -> std::uint8_t { return k < nLength ? pData[k] : 0; };
    while (i < nEnd) {
        // Plain 7-bit text decides nothing; skip it eight bytes at a time.
        if (nEnd - i >= 8 && EightPlainBytes(pData + i)) {
            i += 8;
            continue;
        }
        const std::uint8_t c = pData[i];
        const std::uint8_t next = at(i + 1);
        if (c == 0x7E && next == 0x7B)
            return 937;
        if (c == 0x1B && next == 0x24 && at(i + 2) == 0x42)
            return 933;
        if (c >= 0x81 && c <= 0x9F && IsTrailByte(932, next))
            return 932;
        if (IsLeadByte(950, c) && next >= 0x40 && next <= 0x7E)
            return 950;
        if (IsLeadByte(936, c)) {
            result = 936;
            if (nLength - i < 2) {
                i = nLength;
                break;
            }
            i += 2;
        } else {
            ++i;
        }
    }
    return 0;
}

// What a block of 64 bytes holds for the rules, one bit per byte: GB lead bytes
// (0xA1-0xFE, the same in BIG5), and those of them followed by a byte of
// 0x40-0x7E (a BIG5 trail byte: where the walk lands on such a lead byte, 950 is
// decided); and whether the block holds a byte that only rare rules begin
// with: 0x1B, 0x7E or 0x81-0x9F. The byte after the block is read too. All is
// worked out without branches, which text that mixes letters with GB
// characters would make hard to predict.
struct BlockMaskBits {
    std::uint64_t leads = 0;
    std::uint64_t leadsBeforeLow = 0;
    bool bRare = false;
};

struct BlockMasks : BlockMaskBits {

    explicit BlockMasks(const std::uint8_t* p);
    // Whether the 64 bytes at p are all below 0x80 and none is 0x1B or 0x7E:
    // then no rule begins in them and they hold no lead byte.
    static bool IsPlain(const std::uint8_t* p);
};

#if defined(__SSE2__)

// 0xFF in each byte of bytes that lies in [first, last].
inline __m128i InRange(__m128i bytes, std::uint8_t first, std::uint8_t last)
{
    const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8(char(first)));
    return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(char(last - first))), offset);
}

inline std::uint64_t Bits(__m128i in, int k)
{
    return std::uint64_t(std::uint32_t(_mm_movemask_epi8(in))) << (16 * k);
}

bool BlockMasks::IsPlain(const std::uint8_t* p)
{
    __m128i any = _mm_setzero_si128();
    for (int k = 0; k < 4; ++k) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        any = _mm_or_si128(any, _mm_or_si128(bytes, _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x1B)),
                                                                 _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7E)))));
    }
    return _mm_movemask_epi8(any) == 0;
}

BlockMasks::BlockMasks(const std::uint8_t* p)
{
    __m128i rare = _mm_setzero_si128();
    for (int k = 0; k < 4; ++k) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k + 1));
        const __m128i lead = InRange(bytes, 0xA1, 0xFE);
        leads |= Bits(lead, k);
        leadsBeforeLow |= Bits(_mm_and_si128(lead, InRange(next, 0x40, 0x7E)), k);
        const __m128i marks = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x1B)),
                                           _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7E)));
        rare = _mm_or_si128(rare, _mm_or_si128(marks, InRange(bytes, 0x81, 0x9F)));
    }
    bRare = _mm_movemask_epi8(rare) != 0;
}

#else

bool BlockMasks::IsPlain(const std::uint8_t* p)
{
    for (int k = 0; k < 64; k += 8) {
        if (!EightPlainBytes(p + k))
            return false;
    }
    return true;
}

BlockMasks::BlockMasks(const std::uint8_t* p)
{
    for (int k = 0; k < 64; ++k) {
        const std::uint8_t b = p[k];
        const std::uint64_t lead = b >= 0xA1 && b <= 0xFE ? std::uint64_t(1) << k : 0;
        leads |= lead;
        leadsBeforeLow |= p[k + 1] >= 0x40 && p[k + 1] <= 0x7E ? lead : 0;
        bRare = bRare || b == 0x1B || b == 0x7E || (b >= 0x81 && b <= 0x9F);
    }
}

#endif

#ifdef ZORBEL_DETECT_AVX512

// BMI1 for andn, which GCC otherwise does on masks in mask registers, moving
// each value there and back.
#define ZORBEL_AVX512BW __attribute__((target("avx512f,avx512bw,bmi")))

// BlockMasks from one 64-byte register, the masks straight from comparisons.
struct BlockMasks512 : BlockMaskBits {

    static ZORBEL_AVX512BW inline __mmask64 InRange(__m512i bytes, std::uint8_t first, std::uint8_t last)
    {
        return _mm512_cmple_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8(char(first))),
                                      _mm512_set1_epi8(char(last - first)));
    }

    static ZORBEL_AVX512BW inline __mmask64 Marks(__m512i bytes)
    {
        return _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(0x1B)) | _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(0x7E));
    }

    ZORBEL_AVX512BW explicit BlockMasks512(const std::uint8_t* p)
    {
        const __m512i bytes = _mm512_loadu_si512(p);
        const __m512i next = _mm512_loadu_si512(p + 1);
        leads = InRange(bytes, 0xA1, 0xFE);
        leadsBeforeLow = leads & InRange(next, 0x40, 0x7E);
        bRare = (Marks(bytes) | InRange(bytes, 0x81, 0x9F)) != 0;
    }

    static ZORBEL_AVX512BW bool IsPlain(const std::uint8_t* p)
    {
        const __m512i bytes = _mm512_loadu_si512(p);
        return (_mm512_movepi8_mask(bytes) | Marks(bytes)) == 0;
    }
};

#undef ZORBEL_AVX512BW

#define ZORBEL_DETECT_AVX2 __attribute__((target("avx2")))

// BlockMasks from two 32-byte registers.
struct BlockMasks256 : BlockMaskBits {

    static ZORBEL_DETECT_AVX2 inline __m256i InRange(__m256i bytes, std::uint8_t first, std::uint8_t last)
    {
        const __m256i offset = _mm256_sub_epi8(bytes, _mm256_set1_epi8(char(first)));
        return _mm256_cmpeq_epi8(_mm256_min_epu8(offset, _mm256_set1_epi8(char(last - first))), offset);
    }

    static ZORBEL_DETECT_AVX2 inline __m256i Marks(__m256i bytes)
    {
        return _mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(0x1B)),
                               _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(0x7E)));
    }

    static ZORBEL_DETECT_AVX2 inline std::uint64_t Bits(__m256i first, __m256i second)
    {
        return std::uint64_t(std::uint32_t(_mm256_movemask_epi8(first)))
            | std::uint64_t(std::uint32_t(_mm256_movemask_epi8(second))) << 32;
    }

    static ZORBEL_DETECT_AVX2 inline __m256i Load(const std::uint8_t* p)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }

    ZORBEL_DETECT_AVX2 explicit BlockMasks256(const std::uint8_t* p)
    {
        const __m256i first = Load(p);
        const __m256i second = Load(p + 32);
        const __m256i firstLeads = InRange(first, 0xA1, 0xFE);
        const __m256i secondLeads = InRange(second, 0xA1, 0xFE);
        leads = Bits(firstLeads, secondLeads);
        leadsBeforeLow = Bits(_mm256_and_si256(firstLeads, InRange(Load(p + 1), 0x40, 0x7E)),
                              _mm256_and_si256(secondLeads, InRange(Load(p + 33), 0x40, 0x7E)));
        const __m256i rare = _mm256_or_si256(_mm256_or_si256(Marks(first), InRange(first, 0x81, 0x9F)),
                                             _mm256_or_si256(Marks(second), InRange(second, 0x81, 0x9F)));
        bRare = !_mm256_testz_si256(rare, rare);
    }

    static ZORBEL_DETECT_AVX2 bool IsPlain(const std::uint8_t* p)
    {
        const __m256i first = Load(p);
        const __m256i second = Load(p + 32);
        const __m256i any =
            _mm256_or_si256(_mm256_or_si256(first, Marks(first)), _mm256_or_si256(second, Marks(second)));
        return _mm256_movemask_epi8(any) == 0;
    }
};

#undef ZORBEL_DETECT_AVX2

#endif

// Joins blocks of 64 lead bytes into runs and keeps the long ones.
class CLeadRunList {
public:
    explicit CLeadRunList(std::vector<CByteRange>* pRuns) : m_pRuns(pRuns) {}
    ~CLeadRunList() { Flush(); }

    void AddBlock(std::uint32_t nStart)
    {
        if (!m_pRuns)
            return;
        if (m_run.nEnd != nStart || m_run.nEnd == 0) {
            Flush();
            m_run.nStart = nStart;
        }
        m_run.nEnd = nStart + 64;
    }

private:
    void Flush()
    {
        if (m_pRuns && m_run.nEnd - m_run.nStart >= kLongLeadRun)
            m_pRuns->push_back(m_run);
        m_run = CByteRange{0, 0};
    }

    std::vector<CByteRange>* m_pRuns;
    CByteRange m_run{0, 0};
};

// DetectBytes, 64 bytes at a time where the rules allow, each block's masks
// made by Masks.
template <typename Masks>
__attribute__((always_inline)) inline int DetectDoubleByteBy(const std::uint8_t* pData, std::uint32_t nLength,
                                                             std::uint32_t nEnd, std::uint32_t& i, int& result,
                                                             std::vector<CByteRange>* pLeadRuns)
{
    CLeadRunList leadRuns(pLeadRuns);
    // Blocks of 64 bytes where no rare rule can begin: the walk takes every GB
    // lead byte with the byte after it, so the bytes it lands on follow from the
    // lead bytes alone, and among them only a lead byte before a byte of
    // 0x40-0x7E decides (950). A block that holds more goes through the rules
    // one byte at a time. The look-ahead of the last byte stays inside the buffer.
    //
    // The walk enters a block at its first byte, or at the second when a pair
    // began on the last byte of the block before (nCarry). It lands on the byte
    // after every byte that is no lead byte, whether it took that byte as a trail
    // byte or not, and then takes the lead bytes after it two by two: a block
    // hands on a pair when it ends in an odd run of lead bytes, and a block of
    // lead bytes alone hands on what it was handed. So no block waits for the
    // pairing of the one before, only for that one bit.
    //
    // The blocks that need no call go in an inner loop of their own: across a
    // call no vector register keeps its value, and with the calls in the loop
    // GCC made each block broadcast its constants again.
    std::uint32_t nBlock = i;
    std::uint32_t nCarry = 0;
    for (;;) {
        bool bRare = false;
        for (; nBlock < nEnd && nEnd - nBlock > 64; nBlock += 64) {
            const std::uint8_t* p = pData + nBlock;
            // Over GB text, whose blocks all take the masks and the branches
            // below, the pass waited on its loads and ran at half of memchr's
            // speed from memory; asking for the bytes 2 KiB ahead doubled it
            // (bench_detect: 4.5 -> 9.0 GB/s, memchr 10.4; 1 KiB gave 7.7,
            // 4 KiB 9.4 with ASCII a little slower).
            __builtin_prefetch(p + 2048);
            // Plain text: no pair is handed on past it.
            if (Masks::IsPlain(p)) {
                nCarry = 0;
                continue;
            }
            const Masks masks(p);
            const std::uint64_t candidates = masks.leads & ~std::uint64_t(nCarry);
            if (masks.bRare || (CByteClasses::PairStarts64(candidates) & masks.leadsBeforeLow) != 0) {
                bRare = true;
                break;
            }
            if (candidates != 0)
                result = 936;
            if (masks.leads != ~std::uint64_t(0))
                nCarry = std::uint32_t(__builtin_clzll(~masks.leads)) & 1;
            else if (pLeadRuns)
                break;
        }
        if (!(nBlock < nEnd && nEnd - nBlock > 64))
            break;
        if (bRare) {
            i = nBlock + nCarry;
            if (const int nDecided = DetectBytes(pData, nLength, nBlock + 64, i, result))
                return nDecided;
            nCarry = i - (nBlock + 64);
        } else {
            leadRuns.AddBlock(nBlock);
        }
        nBlock += 64;
    }
    i = nBlock + nCarry;
    return DetectBytes(pData, nLength, nEnd, i, result);
}

#ifdef ZORBEL_DETECT_AVX512
const bool g_bHasAvx512 =
    __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("bmi");
const bool g_bHasAvx2 = __builtin_cpu_supports("avx2");
#else
constexpr bool g_bHasAvx512 = false;
constexpr bool g_bHasAvx2 = false;
#endif
bool g_bAvx512 = g_bHasAvx512;
bool g_bAvx2 = g_bHasAvx2;

#ifdef ZORBEL_DETECT_AVX512

__attribute__((target("avx512f,avx512bw,bmi"))) int DetectDoubleByteByAvx512(const std::uint8_t* pData,
                                                                              std::uint32_t nLength, std::uint32_t nEnd,
                                                                              std::uint32_t& i, int& result,
                                                                              std::vector<CByteRange>* pLeadRuns)
{
    return DetectDoubleByteBy<BlockMasks512>(pData, nLength, nEnd, i, result, pLeadRuns);
}

__attribute__((target("avx2"))) int DetectDoubleByteByAvx2(const std::uint8_t* pData, std::uint32_t nLength,
                                                           std::uint32_t nEnd, std::uint32_t& i, int& result,
                                                           std::vector<CByteRange>* pLeadRuns)
{
    return DetectDoubleByteBy<BlockMasks256>(pData, nLength, nEnd, i, result, pLeadRuns);
}

#endif

int DetectDoubleByte(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nEnd, std::uint32_t& i,
                     int& result, std::vector<CByteRange>* pLeadRuns = nullptr)
{
#ifdef ZORBEL_DETECT_AVX512
    if (g_bAvx512)
        return DetectDoubleByteByAvx512(pData, nLength, nEnd, i, result, pLeadRuns);
    if (g_bAvx2)
        return DetectDoubleByteByAvx2(pData, nLength, nEnd, i, result, pLeadRuns);
#endif
    return DetectDoubleByteBy<BlockMasks>(pData, nLength, nEnd, i, result, pLeadRuns);
}


} // namespace

bool AllowAvx512Detection(bool bAllow)
{
    g_bAvx512 = bAllow && g_bHasAvx512;
    return g_bAvx512;
}

bool AllowAvx2Detection(bool bAllow)
{
    g_bAvx2 = bAllow && g_bHasAvx2;
    return g_bAvx2;
}

int DetectCodePage(const std::uint8_t* pData, std::uint32_t nLength, std::vector<CByteRange>* pLeadRuns)
{
    // The end marker is no text: it would make every buffer invalid UTF-8.
    const std::uint32_t nText = nLength > 0 && pData[nLength - 1] == 0xFF ? nLength - 1 : nLength;
    if (IsUtf8Text(pData, nText))
        return kCodePageUtf8;

    int result = GetDefaultCodePage();
    std::uint32_t i = 0;
    if (const int nDecided = DetectDoubleByte(pData, nLength, nLength, i, result, pLeadRuns))
        return nDecided;
    return result;
}

int CCodePageDetector::Scan(const std::uint8_t* pData, std::uint32_t nLength, bool bLast)
{
    if (m_bUtf8) {
        // Up to a byte that begins a character, so that no sequence is cut; the
        // end marker of the last part is no text.
        std::uint32_t nCut = bLast ? nLength - 1 : nLength - std::min<std::uint32_t>(nLength, 3);
        for (int k = 0; k < 3 && !bLast && nCut > m_nUtf8 && (pData[nCut] & 0xC0) == 0x80; ++k)
            --nCut;
        if (!bLast && nCut > m_nUtf8 && (pData[nCut] & 0xC0) == 0x80) {
            m_bUtf8 = false;
        } else if (nCut > m_nUtf8) {
            const std::uint8_t* p = pData + m_nUtf8;
            const std::size_t n = nCut - m_nUtf8;
            // IsUtf8Text is false for ASCII alone too.
            if (HasHighByte(p, n)) {
                m_bUtf8 = IsUtf8Text(p, n);
                m_bMultiByte = true;
            }
            m_nUtf8 = nCut;
        }
    }
    if (m_nDecided == 0) {
        const std::uint32_t nEnd = bLast ? nLength : nLength - std::min<std::uint32_t>(nLength, 2);
        m_nDecided = DetectDoubleByte(pData, nLength, nEnd, m_nDouble, m_nResult);
    }
    if (bLast)
        return m_bUtf8 && m_bMultiByte ? kCodePageUtf8 : m_nDecided != 0 ? m_nDecided : m_nResult;
    if (!m_bUtf8 && m_nDecided != 0)
        return m_nDecided;
    // What the scans have not passed yet stays for the next part.
    m_nKept = std::min(m_bUtf8 ? m_nUtf8 : nLength, m_nDecided == 0 ? m_nDouble : nLength);
    m_nUtf8 -= std::min(m_nUtf8, m_nKept);
    m_nDouble -= std::min(m_nDouble, m_nKept);
    return 0;
}


std::uint8_t HexToByte(const char* pszDigits)
{
    unsigned value = 0;
    for (const char* p = pszDigits; *p; ++p) {
        const int ch = static_cast<unsigned char>(*p);
        const int digit = ch <= '9' ? ch - '0' : (ch & ~0x20) - 'A' + 10;
        value = ((value << 4) & 0xFF) + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint8_t>(value);
}

bool IsShownCodePage(int nCodePage)
{
    return std::find(std::begin(kShownCodePages), std::end(kShownCodePages), nCodePage) != std::end(kShownCodePages);
}

const char* CodecNameFromCodePage(int nCodePage)
{
    switch (nCodePage) {
    case 932:
        return "windows-31j";
    case 936:
        return "GBK";
    case 950:
        return "Big5";
    case 949:
        // ICU's "CP949" is IBM's code page of that number; this is the one whose
        // lead and trail ranges IsLeadByte and IsTrailByte give.
        return "windows-949";
    case kCodePageUtf8:
        return "UTF-8";
    default:
        return "windows-1252";
    }
}
