#include "stringscan.h"

#include "chartable.h"
#include "codepage.h"
#include "utf8.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// What a byte starts, looked up once per character: nothing (it ends a run),
// a printable ASCII byte or tab, a lead byte whose pair is looked up in the
// pair table, a byte of its own with its UTF-8 in m_single, or a UTF-8
// sequence read by CharAt.
enum : std::uint8_t { kBreak, kAscii, kPair, kSingle, kSequence };

namespace {

// A character's UTF-8, stored with one four-byte copy: nBytes 0 for no
// character, kLong for one of four bytes, which is encoded again when met.
struct CUtf8Char {
    char bytes[3];
    std::uint8_t nBytes;
};
static_assert(sizeof(CUtf8Char) == 4, "stored with one four-byte copy");
constexpr std::uint8_t kLong = 0xFF;

char* PutUtf8(char32_t ch, char* out)
{
    if (ch < 0x80) {
        *out++ = char(ch);
    } else if (ch < 0x800) {
        *out++ = char(0xC0 | (ch >> 6));
        *out++ = char(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        *out++ = char(0xE0 | (ch >> 12));
        *out++ = char(0x80 | ((ch >> 6) & 0x3F));
        *out++ = char(0x80 | (ch & 0x3F));
    } else {
        *out++ = char(0xF0 | (ch >> 18));
        *out++ = char(0x80 | ((ch >> 12) & 0x3F));
        *out++ = char(0x80 | ((ch >> 6) & 0x3F));
        *out++ = char(0x80 | (ch & 0x3F));
    }
    return out;
}

CUtf8Char MakeUtf8Char(char32_t ch)
{
    CUtf8Char c{};
    if (ch >= 0x10000) {
        c.nBytes = kLong;
        return c;
    }
    c.nBytes = std::uint8_t(PutUtf8(ch, c.bytes) - c.bytes);
    return c;
}

// The UTF-8 of every pair of a lead and a trail byte that decodes to a
// character, indexed by lead << 8 | trail, and one bit per pair telling
// whether it is one; made once per code page.
struct CPairTables {
    std::vector<CUtf8Char> utf8;
    std::vector<std::uint64_t> bits;
    // Two ranges of lead bytes (the longest) whose pairs with every trail byte
    // are all defined: most text needs no look-up to know its pairs.
    std::uint8_t safe[4] = {};
};

CPairTables MakePairs(int nCodePage)
{
    CPairTables tables{std::vector<CUtf8Char>(1u << 16, CUtf8Char{}), std::vector<std::uint64_t>(1u << 10, 0)};
    const CTextDecoder decoder(nCodePage);
    for (unsigned lead = 0x80; lead < 0x100; ++lead) {
        if (!IsLeadByte(nCodePage, std::uint8_t(lead)))
            continue;
        for (unsigned trail = 0; trail < 0x100; ++trail) {
            if (!IsTrailByte(nCodePage, std::uint8_t(trail)))
                continue;
            const char32_t ch = decoder.DecodePair(std::uint8_t(lead), std::uint8_t(trail));
            if (ch == 0xFFFD)
                continue;
            const unsigned n = lead << 8 | trail;
            tables.utf8[n] = MakeUtf8Char(ch);
            tables.bits[n >> 6] |= std::uint64_t(1) << (n & 63);
        }
    }
    const auto whole = [&tables, nCodePage](unsigned lead) {
        if (!IsLeadByte(nCodePage, std::uint8_t(lead)))
            return false;
        for (unsigned trail = 0; trail < 0x100; ++trail)
            if (IsTrailByte(nCodePage, std::uint8_t(trail)) && tables.utf8[lead << 8 | trail].nBytes == 0)
                return false;
        return true;
    };
    // The longest two stretches of such lead bytes; none is 0-0, which holds
    // no lead byte.
    unsigned nBest[2][2] = {{0, 0}, {0, 0}};
    unsigned nBestLength[2] = {0, 0};
    for (unsigned lead = 0x80; lead < 0x100;) {
        if (!whole(lead)) {
            ++lead;
            continue;
        }
        unsigned nEnd = lead;
        while (nEnd + 1 < 0x100 && whole(nEnd + 1))
            ++nEnd;
        const unsigned nLength = nEnd - lead + 1;
        const int k = nLength > nBestLength[0] ? 0 : nLength > nBestLength[1] ? 1 : 2;
        if (k == 0) {
            std::copy(nBest[0], nBest[0] + 2, nBest[1]);
            nBestLength[1] = nBestLength[0];
        }
        if (k < 2) {
            nBest[k][0] = lead;
            nBest[k][1] = nEnd;
            nBestLength[k] = nLength;
        }
        lead = nEnd + 1;
    }
    for (int k = 0; k < 4; ++k)
        tables.safe[k] = std::uint8_t(nBest[k / 2][k % 2]);
    return tables;
}

const CPairTables* PairTables(int nCodePage)
{
    switch (nCodePage) {
    case 932: {
        static const CPairTables tables = MakePairs(932);
        return &tables;
    }
    case 936: {
        static const CPairTables tables = MakePairs(936);
        return &tables;
    }
    case 950: {
        static const CPairTables tables = MakePairs(950);
        return &tables;
    }
    default:
        return nullptr;
    }
}

// Bit j set where q[j] is a printable ASCII byte or a tab, for j < 64; tabs
// gets the tabs.
inline std::uint64_t AsciiMask(const std::uint8_t* q, std::uint64_t& tabs)
{
    std::uint64_t text = 0;
    tabs = 0;
#if defined(__SSE2__)
    const __m128i one = _mm_set1_epi8(1);
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i tab = _mm_set1_epi8('\t');
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * k));
        const __m128i isTab = _mm_cmpeq_epi8(v, tab);
        const __m128i isText = _mm_or_si128(_mm_cmpgt_epi8(_mm_add_epi8(v, one), space), isTab);
        text |= std::uint64_t(unsigned(_mm_movemask_epi8(isText))) << (16 * k);
        tabs |= std::uint64_t(unsigned(_mm_movemask_epi8(isTab))) << (16 * k);
    }
#else
    for (int j = 0; j < 64; ++j) {
        text |= std::uint64_t((q[j] >= 0x20 && q[j] < 0x7F) || q[j] == '\t') << j;
        tabs |= std::uint64_t(q[j] == '\t') << j;
    }
#endif
    return text;
}

// The end of the printable ASCII bytes and tabs from p[i] on (before nLength);
// bTab is set when a tab is among them.
inline std::uint32_t AsciiEnd(const std::uint8_t* p, std::uint32_t i, std::uint32_t nLength, bool& bTab)
{
#if defined(__SSE2__)
    const __m128i one = _mm_set1_epi8(1);
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i tab = _mm_set1_epi8('\t');
    while (nLength - i >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // 0x20-0x7E plus one is 0x21-0x7F, the only bytes above 0x20 as signed.
        const __m128i tabs = _mm_cmpeq_epi8(v, tab);
        const __m128i text = _mm_or_si128(_mm_cmpgt_epi8(_mm_add_epi8(v, one), space), tabs);
        const unsigned nText = unsigned(_mm_movemask_epi8(text));
        const unsigned nTabs = unsigned(_mm_movemask_epi8(tabs));
        if (nText != 0xFFFF) {
            const unsigned n = unsigned(__builtin_ctz(~nText));
            bTab = bTab || (nTabs & ((1u << n) - 1)) != 0;
            return i + n;
        }
        bTab = bTab || nTabs != 0;
        i += 16;
    }
#endif
    for (; i < nLength; ++i) {
        const std::uint8_t b = p[i];
        if (b == '\t')
            bTab = true;
        else if (b < 0x20 || b >= 0x7F)
            break;
    }
    return i;
}

// Bit j set where q[j] is within [lo, hi] or [lo2, hi2], for j < 64.
inline std::uint64_t RangeMask(const std::uint8_t* q, std::uint8_t lo, std::uint8_t hi, std::uint8_t lo2, std::uint8_t hi2)
{
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    const __m128i vLo = _mm_set1_epi8(char(lo));
    const __m128i vSpan = _mm_set1_epi8(char(hi - lo));
    const __m128i vLo2 = _mm_set1_epi8(char(lo2));
    const __m128i vSpan2 = _mm_set1_epi8(char(hi2 - lo2));
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
        mask |= std::uint64_t((q[j] >= lo && q[j] <= hi) || (q[j] >= lo2 && q[j] <= hi2)) << j;
#endif
    return mask;
}

inline int CountBits(std::uint64_t n)
{
#if defined(__POPCNT__)
    return __builtin_popcountll(n);
#else
    n -= (n >> 1) & 0x5555555555555555u;
    n = (n & 0x3333333333333333u) + ((n >> 2) & 0x3333333333333333u);
    n = (n + (n >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return int((n * 0x0101010101010101u) >> 56);
#endif
}

// The pairs that start at the bits of pairs: a stretch of pair bits that
// starts at s holds a pair at s, one at s + 2 and so on, the byte after each
// being its trail byte. Adding a stretch's first bit to the stretch clears it
// when it starts at an even bit.
inline std::uint64_t PairStarts(std::uint64_t pairs)
{
    constexpr std::uint64_t kEven = 0x5555555555555555u;
    const std::uint64_t first = pairs & ~(pairs << 1);
    const std::uint64_t evenStretches = pairs & ~(pairs + (first & kEven));
    const std::uint64_t oddStretches = pairs ^ evenStretches;
    return (evenStretches & kEven) | (oddStretches & ~kEven);
}

// A line of --strings: the offset in at least 8 hexadecimal digits, a tab,
// the text (tabs and newlines escaped when bEscape) and a newline.
void AppendLineTo(std::string& out, std::uint64_t nOffset, const char* pText, std::size_t nText, bool bEscape)
{
    static const char kDigits[] = "0123456789ABCDEF";
    int nDigits = 8;
    while (nDigits < 16 && (nOffset >> (4 * nDigits)) != 0)
        ++nDigits;
    char prefix[20];
    for (int d = nDigits - 1; d >= 0; --d, nOffset >>= 4)
        prefix[d] = kDigits[nOffset & 0xF];
    prefix[nDigits] = '\t';
    out.append(prefix, std::size_t(nDigits) + 1);
    if (!bEscape) {
        out.append(pText, nText);
    } else {
        for (std::size_t i = 0; i < nText; ++i) {
            const char c = pText[i];
            if (c == '\t')
                out += "\\t";
            else if (c == '\n')
                out += "\\n";
            else
                out += c;
        }
    }
    out += '\n';
}

struct CRunsSink {
    std::vector<CTextRun>& runs;
    void operator()(std::uint64_t nOffset, std::uint32_t nLength, const char* pText, std::uint32_t nText, bool)
    {
        runs.push_back(CTextRun{nOffset, nLength, std::string(pText, nText)});
    }
};

struct CLinesSink {
    std::string& out;
    void operator()(std::uint64_t nOffset, std::uint32_t, const char* pText, std::uint32_t nText, bool bTab)
    {
        AppendLineTo(out, nOffset, pText, nText, bTab);
    }
};

} // namespace

CStringScanner::CStringScanner(int nCodePage, int nMinChars, bool bNonAsciiOnly, std::uint64_t nStart)
    : m_decoder(nCodePage), m_nMinChars(nMinChars < 1 ? 1 : nMinChars),
      m_bNonAsciiOnly(bNonAsciiOnly), m_nOffset(nStart),
      // A run's bytes give at most three bytes of UTF-8 each (a byte of its
      // own that decodes beyond U+07FF), and a character is stored with a
      // four-byte copy.
      m_pText(new char[3 * std::size_t(kMaxRunBytes) + 8])
{
    const bool bDoubleByte = nCodePage == 932 || nCodePage == 936 || nCodePage == 950;
    if (bDoubleByte)
        m_pPairs = PairTables(nCodePage);
    for (unsigned b = 0; b < 0x100; ++b) {
        std::uint8_t nClass = kBreak;
        CUtf8Char single{};
        if (b < 0x80) {
            nClass = (b >= 0x20 && b < 0x7F) || b == '\t' ? kAscii : kBreak;
        } else if (nCodePage == kCodePageUtf8) {
            nClass = kSequence;
        } else if (bDoubleByte && IsLeadByte(nCodePage, std::uint8_t(b))) {
            nClass = kPair;
        } else if (!bDoubleByte || IsHalfWidthKana(nCodePage, std::uint8_t(b))) {
            const char32_t ch = m_decoder.DecodeSingle(std::uint8_t(b));
            if (ch != 0xFFFD && IsShownChar(ch)) {
                nClass = kSingle;
                single = MakeUtf8Char(ch);
            }
        }
        m_class[b] = nClass;
        m_bSingles = m_bSingles || nClass == kSingle;
        std::memcpy(&m_single[b], &single, sizeof single);
    }
    m_bBlocks = nCodePage != kCodePageUtf8;
    static const std::uint8_t k932[8] = {0x81, 0x9F, 0xE0, 0xFC, 0x40, 0x7E, 0x80, 0xFC};
    static const std::uint8_t k936[8] = {0xA1, 0xFE, 0xA1, 0xFE, 0xA1, 0xFE, 0xA1, 0xFE};
    static const std::uint8_t k950[8] = {0xA1, 0xFE, 0xA1, 0xFE, 0x40, 0x7E, 0xA1, 0xFE};
    const std::uint8_t* pRanges = nCodePage == 932 ? k932 : nCodePage == 936 ? k936 : k950;
    std::memcpy(m_leads, pRanges, 4);
    std::memcpy(m_trails, pRanges + 4, 4);
}

CStringScanner::~CStringScanner() = default;

void CStringScanner::UseTable(std::shared_ptr<const CCharTable> pTable)
{
    m_pTable = std::move(pTable);
}

std::uint32_t CStringScanner::MostCharBytes(const CCharTable* pTable)
{
    return pTable ? CCharTable::kMaxKeyLength : 4;
}

std::string CStringScanner::RunText(const std::uint8_t* p, std::uint32_t nLength)
{
    // Every run is reported while this scans, whatever the scanner's options.
    const int nMinChars = m_nMinChars;
    const bool bNonAsciiOnly = m_bNonAsciiOnly;
    m_nMinChars = 1;
    m_bNonAsciiOnly = false;
    m_nOffset = 0;
    m_nRunBytes = m_nTextBytes = 0;
    m_nChars = 0;
    m_bNonAscii = m_bTab = false;
    std::string text;
    const auto sink = [&text](std::uint64_t, std::uint32_t, const char* pText, std::uint32_t nText, bool) {
        text.append(pText, nText);
    };
    ScanImpl(p, nLength, true, sink);
    m_nMinChars = nMinChars;
    m_bNonAsciiOnly = bNonAsciiOnly;
    m_nOffset = 0;
    return text;
}

int CStringScanner::CharAt(const std::uint8_t* p, std::uint32_t nLeft, bool bLast, char32_t& ch) const
{
    const int n = Utf8SequenceAt(p, nLeft, ch);
    if (n == 0 && !bLast && nLeft < 4)
        return -1;
    return n != 0 && IsShownChar(ch) ? n : 0;
}

// The walk through a table, one key at a time; the run under way is kept in
// the members, as ScanImpl keeps it.
template <typename Sink>
std::uint32_t CStringScanner::ScanTable(const std::uint8_t* p, std::uint32_t nLength, bool bLast, Sink& sink)
{
    // The text of a run may not outgrow the buffer, whatever its keys' texts.
    constexpr std::uint32_t kMaxText = 3 * kMaxRunBytes;
    char* const pText = m_pText.get();
    const CCharTable& table = *m_pTable;
    const auto endRun = [&] {
        if (m_nChars >= m_nMinChars && (m_bNonAscii || !m_bNonAsciiOnly))
            sink(m_nRunOffset, m_nRunBytes, pText, m_nTextBytes, m_bTab);
        m_nRunBytes = m_nTextBytes = 0;
        m_nChars = 0;
        m_bNonAscii = m_bTab = false;
    };
    std::uint32_t i = 0;
    while (i < nLength) {
        if (!bLast && nLength - i < std::uint32_t(table.LongestKeyFrom(p[i])))
            break;   // a key may go on in the next part
        const CCharTable::Match match = table.MatchAt(p + i, nLength - i);
        if (match.nBytes == 0) {
            if (m_nChars)
                endRun();
            ++i;
            continue;
        }
        std::size_t nShown = 0;
        const char* pShown = table.ShownUtf8(match.pEntry, nShown);
        nShown = std::min<std::size_t>(nShown, kMaxText);
        const auto nBytes = std::uint32_t(match.nBytes);
        if (m_nChars && (m_nRunBytes + nBytes > kMaxRunBytes || m_nTextBytes + nShown > kMaxText))
            endRun();
        if (m_nChars == 0)
            m_nRunOffset = m_nOffset + i;
        std::memcpy(pText + m_nTextBytes, pShown, nShown);
        for (std::size_t k = 0; k < nShown; ++k) {
            m_bNonAscii = m_bNonAscii || std::uint8_t(pShown[k]) >= 0x80;
            m_bTab = m_bTab || pShown[k] == '\t' || pShown[k] == '\n';
        }
        m_nTextBytes += std::uint32_t(nShown);
        m_nRunBytes += nBytes;
        ++m_nChars;
        i += nBytes;
        if (match.pEntry->kind == CCharTable::Kind::End)
            endRun();
    }
    m_nOffset += i;
    if (bLast && i == nLength && m_nChars)
        endRun();
    return i;
}

template <typename Sink>
std::uint32_t CStringScanner::ScanImpl(const std::uint8_t* p, std::uint32_t nLength, bool bLast, Sink& sink)
{
    if (m_pTable)
        return ScanTable(p, nLength, bLast, sink);
    // The run under way is kept in locals while the bytes are read.
    char* const pText = m_pText.get();
    std::uint64_t nRunOffset = m_nRunOffset;
    std::uint32_t nRunBytes = m_nRunBytes;
    std::uint32_t nTextBytes = m_nTextBytes;
    int nChars = m_nChars;
    bool bNonAscii = m_bNonAscii;
    bool bTab = m_bTab;
    const auto endRun = [&] {
        if (nChars >= m_nMinChars && (bNonAscii || !m_bNonAsciiOnly))
            sink(nRunOffset, nRunBytes, pText, nTextBytes, bTab);
        nRunBytes = 0;
        nTextBytes = 0;
        nChars = 0;
        bNonAscii = false;
        bTab = false;
    };
    // Makes room for a character of n bytes at i: a run stops at kMaxRunBytes.
    const auto startChar = [&](std::uint32_t i, std::uint32_t n) {
        if (nRunBytes + n > kMaxRunBytes)
            endRun();
        if (nChars == 0)
            nRunOffset = m_nOffset + i;
    };
    const CPairTables* const pTables = static_cast<const CPairTables*>(m_pPairs);
    const CUtf8Char* const pPairs = pTables ? pTables->utf8.data() : nullptr;
    const std::uint64_t* const pPairBits = pTables ? pTables->bits.data() : nullptr;
    // The UTF-8 of the character at q[j], a pair or a byte of its own, added
    // to the text.
    const auto putChar = [&](const std::uint8_t* q, bool bPair) {
        CUtf8Char c;
        if (bPair)
            c = pPairs[q[0] << 8 | q[1]];
        else
            std::memcpy(&c, &m_single[q[0]], sizeof c);
        if (c.nBytes == kLong) {
            const char32_t ch = bPair ? m_decoder.DecodePair(q[0], q[1]) : m_decoder.DecodeSingle(q[0]);
            nTextBytes = std::uint32_t(PutUtf8(ch, pText + nTextBytes) - pText);
        } else {
            std::memcpy(pText + nTextBytes, &c, 4);
            nTextBytes += c.nBytes;
        }
    };

    std::uint32_t i = 0;
    while (i < nLength) {
        // 64 bytes at a time from a character's start, while they and the
        // byte after them are there and no run can reach kMaxRunBytes in them.
        if (m_bBlocks && nLength - i > 64 && nRunBytes + 65 <= kMaxRunBytes) {
            const std::uint8_t* const q = p + i;
            std::uint64_t tabs;
            const std::uint64_t ascii = AsciiMask(q, tabs);
            // Where a lead byte and the byte after it make a character: a
            // lead byte followed by a trail byte, if the pair is defined. The
            // walk from the block's start meets only the pairs that start
            // where PairStarts says; when those are all defined the undefined
            // ones it steps over as trail bytes change nothing, else each
            // candidate is looked up.
            std::uint64_t pairStarts = 0;
            if (pPairBits) {
                const std::uint64_t candidates = RangeMask(q, m_leads[0], m_leads[1], m_leads[2], m_leads[3])
                    & RangeMask(q + 1, m_trails[0], m_trails[1], m_trails[2], m_trails[3]);
                const auto defined = [&](std::uint64_t bits) {
                    std::uint64_t found = 0;
                    for (; bits; bits &= bits - 1) {
                        const unsigned j = unsigned(__builtin_ctzll(bits));
                        const unsigned n = unsigned(q[j]) << 8 | q[j + 1];
                        found |= ((pPairBits[n >> 6] >> (n & 63)) & 1) << j;
                    }
                    return found;
                };
                pairStarts = PairStarts(candidates);
                const std::uint64_t unsure =
                    pairStarts & ~RangeMask(q, pTables->safe[0], pTables->safe[1], pTables->safe[2], pTables->safe[3]);
                if (unsure && defined(unsure) != unsure)
                    pairStarts = PairStarts(defined(candidates));
            }
            std::uint64_t singles = 0;
            if (m_bSingles) {
                for (unsigned j = 0; j < 64; ++j)
                    singles |= std::uint64_t(m_class[q[j]] == kSingle) << j;
            }
            const std::uint64_t starts = ~(pairStarts << 1);
            const std::uint64_t chars = starts & (pairStarts | ascii | singles);
            const std::uint64_t breaks = starts & ~chars;
            const std::uint64_t asciiChars = ascii & starts;
            const std::uint32_t nBlock = 64 + std::uint32_t(pairStarts >> 63);
            const std::uint64_t nBase = m_nOffset + i;

            // Each stretch of characters between two breaks goes on the run
            // under way; a run that ends here short of nMinChars writes nothing.
            // After the first stretch no run is under way, and a stretch of
            // fewer than nMinChars bytes between two breaks is passed over:
            // wanted has a bit in each stretch that is long enough, and in the
            // last one, which may go on in the next block.
            std::uint64_t wanted = 0;
            if (m_nMinChars <= 64) {
                wanted = ~breaks;
                for (int nCovered = 1; nCovered < m_nMinChars;) {
                    const int nShift = std::min(nCovered, m_nMinChars - nCovered);
                    wanted &= wanted >> nShift;
                    nCovered += nShift;
                }
            }
            if (!breaks)
                wanted = ~std::uint64_t(0);
            else if (const unsigned nLast = 63 - unsigned(__builtin_clzll(breaks)); nLast < 63)
                wanted |= ~std::uint64_t(0) << (nLast + 1);
            unsigned nPos = 0;
            for (;;) {
                const std::uint64_t after = nPos < 64 ? breaks >> nPos : 0;
                const unsigned nBreak = after ? nPos + unsigned(__builtin_ctzll(after)) : 64;
                const std::uint64_t upto = nBreak < 64 ? (std::uint64_t(1) << nBreak) - 1 : ~std::uint64_t(0);
                std::uint64_t segment = chars & upto & (nPos < 64 ? ~std::uint64_t(0) << nPos : 0);
                if (segment) {
                    const int n = CountBits(segment);
                    if (nChars == 0)
                        nRunOffset = nBase + nPos;
                    if (nBreak < 64 && nChars + n < m_nMinChars) {
                        nRunBytes = nTextBytes = 0;
                        nChars = 0;
                        bNonAscii = bTab = false;
                    } else {
                        nChars += n;
                        nRunBytes += (nBreak < 64 ? nBreak : nBlock) - nPos;
                        bNonAscii = bNonAscii || (segment & ~asciiChars) != 0;
                        bTab = bTab || (segment & tabs) != 0;
                        while (segment) {
                            const unsigned j = unsigned(__builtin_ctzll(segment));
                            if ((asciiChars >> j) & 1) {
                                // The ASCII characters from j on in one copy.
                                const std::uint64_t rest = ~(asciiChars >> j);
                                const unsigned nAscii = rest ? unsigned(__builtin_ctzll(rest)) : 64 - j;
                                std::memcpy(pText + nTextBytes, q + j, nAscii);
                                nTextBytes += nAscii;
                                segment &= j + nAscii < 64 ? ~std::uint64_t(0) << (j + nAscii) : 0;
                            } else if ((pairStarts >> j) & 1) {
                                // The pairs from j on, one after the other.
                                unsigned k = j;
                                do {
                                    putChar(q + k, true);
                                    k += 2;
                                } while (k < 64 && ((pairStarts >> k) & 1));
                                segment &= k < 64 ? ~std::uint64_t(0) << k : 0;
                            } else {
                                putChar(q + j, false);
                                segment &= segment - 1;
                            }
                        }
                        if (nBreak < 64)
                            endRun();
                    }
                } else if (nBreak < 64 && nChars) {
                    endRun();
                }
                if (nBreak >= 63)
                    break;
                const std::uint64_t next = wanted & (~std::uint64_t(0) << (nBreak + 1));
                if (!next)
                    break;
                const unsigned nWanted = unsigned(__builtin_ctzll(next));
                const std::uint64_t between = breaks & ((std::uint64_t(1) << nWanted) - 1) & (~std::uint64_t(0) << (nBreak + 1));
                nPos = between ? 64 - unsigned(__builtin_clzll(between)) : nBreak + 1;
            }
            i += nBlock;
            continue;
        }
        const std::uint8_t b = p[i];
        switch (m_class[b]) {
        case kAscii: {
            // The whole span of ASCII goes in one copy, cut where a run is full.
            std::uint32_t nEnd = AsciiEnd(p, i + 1, nLength, bTab);
            if (b == '\t')
                bTab = true;
            const bool bSpanTab = bTab;
            while (i < nEnd) {
                startChar(i, 1);
                bTab = bTab || bSpanTab;
                const std::uint32_t n = std::min(nEnd - i, kMaxRunBytes - nRunBytes);
                std::memcpy(pText + nTextBytes, p + i, n);
                nTextBytes += n;
                nRunBytes += n;
                nChars += int(n);
                i += n;
            }
            continue;
        }
        case kPair: {
            if (i + 1 >= nLength) {
                if (!bLast)
                    goto stop;
                break;
            }
            if (pPairs[b << 8 | p[i + 1]].nBytes == 0)
                break;
            startChar(i, 2);
            putChar(p + i, true);
            nRunBytes += 2;
            ++nChars;
            bNonAscii = true;
            i += 2;
            continue;
        }
        case kSingle: {
            startChar(i, 1);
            putChar(p + i, false);
            ++nRunBytes;
            ++nChars;
            bNonAscii = true;
            ++i;
            continue;
        }
        case kSequence: {
            char32_t ch;
            const int n = CharAt(p + i, nLength - i, bLast, ch);
            if (n < 0)
                goto stop;
            if (n == 0)
                break;
            startChar(i, std::uint32_t(n));
            nTextBytes = std::uint32_t(PutUtf8(ch, pText + nTextBytes) - pText);
            nRunBytes += std::uint32_t(n);
            ++nChars;
            bNonAscii = true;
            i += std::uint32_t(n);
            continue;
        }
        default:
            break;
        }
        // The byte at i ends the run under way.
        if (nChars)
            endRun();
        ++i;
    }
stop:
    m_nOffset += i;
    if (bLast && i == nLength && nChars)
        endRun();
    m_nRunOffset = nRunOffset;
    m_nRunBytes = nRunBytes;
    m_nTextBytes = nTextBytes;
    m_nChars = nChars;
    m_bNonAscii = bNonAscii;
    m_bTab = bTab;
    return i;
}

std::uint32_t CStringScanner::Scan(const std::uint8_t* p, std::uint32_t nLength, bool bLast,
                                   std::vector<CTextRun>& runs)
{
    CRunsSink sink{runs};
    return ScanImpl(p, nLength, bLast, sink);
}

std::uint32_t CStringScanner::ScanLines(const std::uint8_t* p, std::uint32_t nLength, bool bLast, std::string& out)
{
    CLinesSink sink{out};
    return ScanImpl(p, nLength, bLast, sink);
}

void CStringScanner::AppendLine(const CTextRun& run, std::string& out)
{
    const bool bEscape = run.text.find_first_of("\t\n") != std::string::npos;
    AppendLineTo(out, run.nOffset, run.text.data(), run.text.size(), bEscape);
}
