#include "stringscan.h"

#include "byteclasses.h"
#include "chartable.h"
#include "stringblocks.h"
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

using StringBlocks::PrefixWidth;

namespace {

// A character's UTF-8, stored with one four-byte copy. The last byte holds
// the length when it is under four (0 for no character); a character of four
// bytes has a continuation byte there, from 0x80, so the length is never
// more than that byte.
struct CUtf8Char {
    char bytes[4];
};
static_assert(sizeof(CUtf8Char) == 4, "stored with one four-byte copy");

inline std::uint32_t Utf8Length(const CUtf8Char& c)
{
    return std::min(std::uint32_t(std::uint8_t(c.bytes[3])), 4u);
}

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
    const auto nBytes = char(PutUtf8(ch, c.bytes) - c.bytes);
    if (nBytes < 4)
        c.bytes[3] = nBytes;
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
            if (IsTrailByte(nCodePage, std::uint8_t(trail)) && Utf8Length(tables.utf8[lead << 8 | trail]) == 0)
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

// The widest offset of a line and its tab.
constexpr std::uint32_t kMaxPrefix = 17;
// The most text a run read through a table keeps.
constexpr std::uint32_t kMaxTableText = 3 * CStringScanner::kMaxRunBytes;
// A run's bytes give at most three bytes of text each (a byte of its own that
// decodes beyond U+07FF, a tab written as \t), and a character is stored with
// a four-byte copy, the offset with an eight-byte one, ASCII with copies of
// 16 bytes.
constexpr std::size_t kPendingRoom = kMaxPrefix + 3 * std::size_t(CStringScanner::kMaxRunBytes) + 64;

// The offset in nDigits hexadecimal digits (capitals) at out, and a tab; Isa
// spreads the nibbles of eight digits (see stringblocks.h).
template <class Isa = StringBlocks::CSse2>
inline void PutPrefix(char* out, std::uint64_t nOffset, std::uint32_t nDigits)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (nDigits == 8) {
        // One nibble to a byte, the highest first in memory, then each made
        // its digit: those from 10 on skip the seven signs between 9 and A.
        std::uint64_t x = __builtin_bswap64(Isa::Nibbles(std::uint32_t(nOffset)));
        const std::uint64_t letters = ((x + 0x0606060606060606u) >> 4) & 0x0101010101010101u;
        x += 0x3030303030303030u + 7 * letters;
        std::memcpy(out, &x, 8);
        out[8] = '\t';
        return;
    }
#endif
    static const char kDigits[] = "0123456789ABCDEF";
    for (int d = int(nDigits) - 1; d >= 0; --d, nOffset >>= 4)
        out[d] = kDigits[nOffset & 0xF];
    out[nDigits] = '\t';
}

// A run's line as AppendLine writes it, from out on; returns where it ends.
char* PutLine(char* out, std::uint64_t nOffset, const char* pText, std::uint32_t nText)
{
    const std::uint32_t nPrefix = PrefixWidth(nOffset);
    PutPrefix(out, nOffset, nPrefix - 1);
    out += nPrefix;
    for (std::uint32_t i = 0; i < nText; ++i) {
        const char c = pText[i];
        if (c == '\t' || c == '\n') {
            *out++ = '\\';
            *out++ = c == '\t' ? 't' : 'n';
        } else {
            *out++ = c;
        }
    }
    *out++ = '\n';
    return out;
}

// Where the runs go: Keep is given a run worth listing, its text from pText
// to pEnd after room for its prefix from pLine, and returns where the next
// run's line starts.
struct CRunsSink {
    static constexpr bool kLines = false;
    std::vector<CTextRun>& runs;
    template <class Isa>
    char* Keep(std::uint64_t nOffset, std::uint32_t nLength, char* pLine, const char* pText, const char* pEnd)
    {
        runs.push_back(CTextRun{nOffset, nLength, std::string(pText, pEnd)});
        return pLine;
    }
};

struct CLinesSink {
    static constexpr bool kLines = true;
    // The offset and tab of a line whose offset has eight digits.
    template <class Isa>
    static void PutOffset(char* pLine, std::uint64_t nOffset)
    {
        PutPrefix<Isa>(pLine, nOffset, 8);
    }
    template <class Isa>
    char* Keep(std::uint64_t nOffset, std::uint32_t, char* pLine, const char* pText, char* pEnd)
    {
        PutPrefix<Isa>(pLine, nOffset, std::uint32_t(pText - pLine) - 1);
        *pEnd = '\n';
        return pEnd + 1;
    }
};

struct CTextSink {
    static constexpr bool kLines = false;
    std::string& text;
    template <class Isa>
    char* Keep(std::uint64_t, std::uint32_t, char* pLine, const char* pText, const char* pEnd)
    {
        text.append(pText, pEnd);
        return pLine;
    }
};

// The n ASCII bytes at p as a line's text: tabs written as \t when bLines.
char* PutAscii(char* out, const std::uint8_t* p, std::uint32_t n, bool bLines)
{
    if (!bLines || !std::memchr(p, '\t', n)) {
        std::memcpy(out, p, n);
        return out + n;
    }
    for (std::uint32_t k = 0; k < n; ++k) {
        if (p[k] == '\t') {
            *out++ = '\\';
            *out++ = 't';
        } else {
            *out++ = char(p[k]);
        }
    }
    return out;
}

} // namespace

CStringScanner::CStringScanner(int nCodePage, int nMinChars, bool bNonAsciiOnly, std::uint64_t nStart)
    : m_decoder(nCodePage), m_nMinChars(nMinChars < 1 ? 1 : nMinChars),
      m_bNonAsciiOnly(bNonAsciiOnly), m_nOffset(nStart),
      m_pText(new char[kPendingRoom])
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
        m_singles[b] = nClass == kSingle;
        m_bSingles = m_bSingles || nClass == kSingle;
        std::memcpy(&m_single[b], &single, sizeof single);
    }
    m_bBlocks = nCodePage != kCodePageUtf8;
    m_build = StringBlocks::BestBuild();
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
    // A byte may end a run of one key: its line's offset, the key's text with
    // each tab or newline written as two bytes, and the newline.
    std::size_t nLongest = 1;
    if (m_pTable) {
        for (const CCharTable::Entry& entry : m_pTable->Entries()) {
            std::size_t n = 0;
            m_pTable->ShownUtf8(&entry, n);
            nLongest = std::max(nLongest, std::min<std::size_t>(n, kMaxTableText));
        }
    }
    m_nTableRoom = kMaxPrefix + 1 + 2 * nLongest;
}

std::size_t CStringScanner::RoomFor(std::uint32_t nLength) const
{
    if (!m_pTable)
        return LinesRoom(nLength);
    // The run kept from the last part goes out first.
    return (std::size_t(nLength) + 1) * m_nTableRoom + kMaxPrefix + 1 + 2 * std::size_t(kMaxTableText);
}

std::uint32_t CStringScanner::MostCharBytes(const CCharTable* pTable)
{
    return pTable ? CCharTable::kMaxKeyLength : 4;
}

const void* CStringScanner::EmitTable(bool bLines)
{
    // Indexed by the two bytes at a character as a little-endian number: the
    // UTF-8 of a pair at trail << 8 | lead, of a byte of its own (ASCII among
    // them) at every next << 8 | byte, so that the block loop looks every
    // character up the same way, with one load of two bytes.
    std::unique_ptr<std::uint32_t[]>& pEmit = m_pEmit[bLines];
    if (pEmit)
        return pEmit.get();
    pEmit.reset(new std::uint32_t[1u << 16]());
    const CPairTables* const pTables = static_cast<const CPairTables*>(m_pPairs);
    for (unsigned b = 0; b < 0x100; ++b) {
        CUtf8Char c{};
        if (m_class[b] == kPair) {
            for (unsigned trail = 0; trail < 0x100; ++trail)
                std::memcpy(&pEmit[trail << 8 | b], &pTables->utf8[b << 8 | trail], sizeof c);
            continue;
        }
        if (m_class[b] == kAscii)
            c = bLines && b == '\t' ? CUtf8Char{{'\\', 't', 0, 2}} : MakeUtf8Char(b);
        else if (m_class[b] == kSingle)
            std::memcpy(&c, &m_single[b], sizeof c);
        for (unsigned next = 0; next < 0x100; ++next)
            std::memcpy(&pEmit[next << 8 | b], &c, sizeof c);
    }
    // The walk by blocks takes the top byte of an entry for its length, which
    // a character of four bytes does not have: such a code page goes a
    // character at a time. For lines, the places that are no character (no
    // entry) end a line (see StringBlocks::kLineEnd).
    for (unsigned n = 0; n < 1u << 16; ++n) {
        m_bBlocks = m_bBlocks && (pEmit[n] >> 24) < 4;
        if (bLines && pEmit[n] == 0)
            pEmit[n] = StringBlocks::kLineEnd;
    }
    return pEmit.get();
}

std::string CStringScanner::RunText(const std::uint8_t* p, std::uint32_t nLength)
{
    // Every run is reported while this scans, whatever the scanner's options.
    const int nMinChars = m_nMinChars;
    const bool bNonAsciiOnly = m_bNonAsciiOnly;
    m_nMinChars = 1;
    m_bNonAsciiOnly = false;
    m_nOffset = 0;
    m_nRunBytes = m_nTextBytes = m_nPrefix = 0;
    m_nChars = 0;
    m_bNonAscii = false;
    std::string text;
    CTextSink sink{text};
    char* pOut = m_pText.get();
    ScanImpl(p, nLength, true, pOut, sink);
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

// The walk through a table, one key at a time. The run under way is kept in
// locals while the bytes are read and in the members between calls, as
// ScanImpl keeps it. Keys of one or two bytes with texts of up to three bytes,
// nearly all of a table, are read by one look-up of the walk's step
// (CCharTable::StepAt); the rest, and the last bytes of a part, by MatchAt.
template <typename Sink>
std::uint32_t CStringScanner::ScanTable(const std::uint8_t* p, std::uint32_t nLength, bool bLast, char*& pOut,
                                        Sink& sink)
{
    // The text of a run may not outgrow the buffer, whatever its keys' texts.
    constexpr std::uint32_t kMaxText = kMaxTableText;
    char* const pText = m_pText.get();
    const CCharTable& table = *m_pTable;
    const std::uint64_t nOffset = m_nOffset;
    std::uint64_t nRunOffset = m_nRunOffset;
    std::uint32_t nRunBytes = m_nRunBytes;
    std::uint32_t nTextBytes = m_nTextBytes;
    int nChars = m_nChars;
    bool bNonAscii = m_bNonAscii;
    const auto endRun = [&] {
        if (nChars >= m_nMinChars && (bNonAscii || !m_bNonAsciiOnly)) {
            if constexpr (Sink::kLines)
                pOut = PutLine(pOut, nRunOffset, pText, nTextBytes);
            else
                sink.template Keep<StringBlocks::CSse2>(nRunOffset, nRunBytes, pText, pText, pText + nTextBytes);
        }
        nRunBytes = nTextBytes = 0;
        nChars = 0;
        bNonAscii = false;
    };
    // Makes room for a key of nBytes at i whose text takes nShown bytes.
    const auto startChar = [&](std::uint32_t i, std::uint32_t nBytes, std::size_t nShown) {
        if (nChars && (nRunBytes + nBytes > kMaxRunBytes || nTextBytes + nShown > kMaxText))
            endRun();
        if (nChars == 0)
            nRunOffset = nOffset + i;
    };
    // Adds to the run a key of nBytes whose text, nShown bytes, is in its
    // step. The step's text bytes past its length are '.' or 0, so testing
    // all three tells whether the text has a byte from 0x80 up; the fourth
    // byte stored is overwritten or ignored.
    const auto addStep = [&](std::uint32_t nStep, std::uint32_t nShown, std::uint32_t nBytes) {
        std::uint8_t text[4];
        std::memcpy(text, &nStep, 4);
        std::memcpy(pText + nTextBytes, text, 4);
        bNonAscii |= ((text[0] | text[1] | text[2]) & 0x80) != 0;
        nTextBytes += nShown;
        nRunBytes += nBytes;
        ++nChars;
    };
    // A key of one or two bytes at i whose text, up to three bytes, is in
    // its step, or no key.
    const auto takeStep = [&](std::uint32_t i, std::uint32_t nStep) {
        const std::uint32_t flags = CCharTable::StepFlags(nStep);
        if (flags & CCharTable::kStepNone) {
            if (nChars)
                endRun();
            return;
        }
        const std::uint32_t nShown = flags & 3;
        const std::uint32_t nBytes = flags & CCharTable::kStepPair ? 2 : 1;
        startChar(i, nBytes, nShown);
        addStep(nStep, nShown, nBytes);
        if (flags & CCharTable::kStepEnd)
            endRun();
    };
    // Before nFastEnd the longest key is at hand, so none can go on in the
    // next part, and so are the step's two bytes.
    const std::uint32_t nFastEnd = table.HasSteps() && nLength > std::uint32_t(CCharTable::kMaxKeyLength)
        ? nLength - std::uint32_t(CCharTable::kMaxKeyLength)
        : 0;
    std::uint32_t i = 0;
    while (i < nLength) {
        if (i + 16 <= nFastEnd) {
            // The steps of 16 places are looked up at once, so that no look-up
            // waits for the one before; where the walk lands among them
            // follows from the places where a pair is a key, as the pairs of
            // a code page do. A place it lands on that needs MatchAt is left
            // to the key-by-key walk below.
            std::uint32_t steps[16];
            std::uint32_t pairs = 0;
            std::uint32_t slow = 0;
            std::uint32_t none = 0;
            std::uint32_t ends = 0;
#pragma GCC unroll 16
            for (std::uint32_t k = 0; k < 16; ++k) {
                steps[k] = table.StepAt(std::uint32_t(p[i + k]) << 8 | p[i + k + 1]);
                const std::uint32_t flags = CCharTable::StepFlags(steps[k]);
                pairs |= ((flags & CCharTable::kStepPair) != 0 ? 1u : 0u) << k;
                slow |= ((flags & CCharTable::kStepSlow) != 0 ? 1u : 0u) << k;
                none |= ((flags & CCharTable::kStepNone) != 0 ? 1u : 0u) << k;
                ends |= ((flags & CCharTable::kStepEnd) != 0 ? 1u : 0u) << k;
            }
            const std::uint32_t starts = CByteClasses::PairStarts(pairs);
            const std::uint32_t landings = 0xFFFFu & ~(starts << 1);
            if ((landings & slow) == 0) {
                // Only the keys are visited; the bytes no key matches between
                // them matter only as the end of a run. Where no end code is
                // among the keys and the run cannot reach its limits in 16
                // places, the keys need no test of their own.
                const std::uint32_t keys = landings & ~none;
                const bool bRoom = (keys & ends) == 0 && nRunBytes + 2 * 16 <= kMaxRunBytes
                                   && nTextBytes + 3 * 16 <= kMaxText;
                std::uint32_t breaks = landings & none;
                std::uint32_t rest = keys;
                while (rest != 0) {
                    const auto k = std::uint32_t(__builtin_ctz(rest));
                    if ((breaks & ((1u << k) - 1)) != 0) {
                        if (nChars)
                            endRun();
                        breaks &= ~0u << k;
                    }
                    // Keys that start no run here and end before a byte no
                    // key matches, fewer than a line needs, are passed over:
                    // in random bytes most keys are.
                    if (nChars == 0 && breaks != 0) {
                        const std::uint32_t segment = rest & ((1u << __builtin_ctz(breaks)) - 1);
                        if (__builtin_popcount(segment) < m_nMinChars) {
                            rest &= ~segment;
                            continue;
                        }
                    }
                    rest &= rest - 1;
                    if (bRoom) {
                        nRunOffset = nChars == 0 ? nOffset + i + k : nRunOffset;
                        const std::uint32_t flags = CCharTable::StepFlags(steps[k]);
                        addStep(steps[k], flags & 3, 1 + (starts >> k & 1));
                    } else {
                        takeStep(i + k, steps[k]);
                    }
                }
                if (breaks != 0 && nChars)
                    endRun();
                i += 16 + (starts >> 15 & 1);
                continue;
            }
        }
        if (i < nFastEnd) {
            const std::uint32_t nStep = table.StepAt(std::uint32_t(p[i]) << 8 | p[i + 1]);
            if ((CCharTable::StepFlags(nStep) & CCharTable::kStepSlow) == 0) {
                takeStep(i, nStep);
                i += CCharTable::StepFlags(nStep) & CCharTable::kStepPair ? 2 : 1;
                continue;
            }
        } else if (!bLast && nLength - i < std::uint32_t(table.LongestKeyFrom(p[i]))) {
            break;   // a key may go on in the next part
        }
        const CCharTable::Match match = table.MatchAt(p + i, nLength - i);
        if (match.nBytes == 0) {
            if (nChars)
                endRun();
            ++i;
            continue;
        }
        std::size_t nShown = 0;
        const char* pShown = table.ShownUtf8(match.pEntry, nShown);
        nShown = std::min<std::size_t>(nShown, kMaxText);
        const auto nBytes = std::uint32_t(match.nBytes);
        startChar(i, nBytes, nShown);
        std::memcpy(pText + nTextBytes, pShown, nShown);
        for (std::size_t k = 0; k < nShown; ++k)
            bNonAscii = bNonAscii || std::uint8_t(pShown[k]) >= 0x80;
        nTextBytes += std::uint32_t(nShown);
        nRunBytes += nBytes;
        ++nChars;
        i += nBytes;
        if (match.pEntry->kind == CCharTable::Kind::End)
            endRun();
    }
    if (bLast && i == nLength && nChars)
        endRun();
    m_nOffset = nOffset + i;
    m_nRunOffset = nRunOffset;
    m_nRunBytes = nRunBytes;
    m_nTextBytes = nTextBytes;
    m_nChars = nChars;
    m_bNonAscii = bNonAscii;
    return i;
}

template <typename Sink>
std::uint32_t CStringScanner::ScanImpl(const std::uint8_t* p, std::uint32_t nLength, bool bLast, char*& pOut,
                                       Sink& sink)
{
    if (m_pTable)
        return ScanTable(p, nLength, bLast, pOut, sink);
    constexpr bool kLines = Sink::kLines;
    const CPairTables* const pTables = static_cast<const CPairTables*>(m_pPairs);
    const CUtf8Char* const pPairs = pTables ? pTables->utf8.data() : nullptr;
    const auto* const pEmit = m_bBlocks ? static_cast<const CUtf8Char*>(EmitTable(kLines)) : nullptr;
    StringBlocks::CRules rules;
    rules.pEmit = reinterpret_cast<const std::uint32_t*>(pEmit);
    if (pTables) {
        rules.pPairBits = pTables->bits.data();
        std::memcpy(rules.leads, m_leads, 4);
        std::memcpy(rules.trails, m_trails, 4);
        std::memcpy(rules.safe, pTables->safe, 4);
    }
    rules.pSingles = m_bSingles ? m_singles : nullptr;
    rules.nMinChars = m_nMinChars;
    rules.bNonAsciiOnly = m_bNonAsciiOnly;
    const auto walk = StringBlocks::WalkFor<Sink>(m_build, rules);

    // The run under way is kept in run while the bytes are read: for lines in
    // the caller's output, where the text kept from the last call goes
    // first, else in m_pText.
    StringBlocks::CRun run;
    run.pLine = kLines ? pOut : m_pText.get();
    if (kLines)
        std::memcpy(run.pLine, m_pText.get(), m_nTextBytes);
    run.pDst = run.pLine + m_nTextBytes;
    run.nPrefix = m_nPrefix;
    run.nOffset = m_nRunOffset;
    run.nBytes = m_nRunBytes;
    run.nChars = m_nChars;
    run.bNonAscii = m_bNonAscii;
    // Makes room for a character of n bytes at i: a run stops at kMaxRunBytes.
    const auto startChar = [&](std::uint32_t i, std::uint32_t n) {
        if (run.nBytes + n > kMaxRunBytes)
            StringBlocks::EndRun<StringBlocks::CSse2>(run, sink, rules);
        if (run.nChars == 0)
            StringBlocks::StartRun<Sink>(run, m_nOffset + i);
    };
    // The UTF-8 of the character at q, a pair or a byte of its own, added to
    // the text.
    const auto putChar = [&](const std::uint8_t* q, bool bPair) {
        const CUtf8Char c = pEmit[(bPair ? q[1] << 8 : 0) | q[0]];
        std::memcpy(run.pDst, &c, 4);
        run.pDst += Utf8Length(c);
    };

    std::uint32_t i = 0;
    while (i < nLength) {
        if (m_bBlocks && nLength - i >= 64 + 16 && run.nBytes + 65 <= kMaxRunBytes) {
            i = walk(rules, run, sink, p, i, nLength, m_nOffset);
            continue;
        }
        const std::uint8_t b = p[i];
        switch (m_class[b]) {
        case kAscii: {
            // The whole span of ASCII goes in one copy, cut where a run is full.
            bool bTab = false;
            const std::uint32_t nEnd = AsciiEnd(p, i + 1, nLength, bTab);
            while (i < nEnd) {
                startChar(i, 1);
                const std::uint32_t n = std::min(nEnd - i, kMaxRunBytes - run.nBytes);
                run.pDst = PutAscii(run.pDst, p + i, n, kLines);
                run.nBytes += n;
                run.nChars += int(n);
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
            if (Utf8Length(pPairs[b << 8 | p[i + 1]]) == 0)
                break;
            startChar(i, 2);
            putChar(p + i, true);
            run.nBytes += 2;
            ++run.nChars;
            run.bNonAscii = true;
            i += 2;
            continue;
        }
        case kSingle: {
            startChar(i, 1);
            putChar(p + i, false);
            ++run.nBytes;
            ++run.nChars;
            run.bNonAscii = true;
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
            run.pDst = PutUtf8(ch, run.pDst);
            run.nBytes += std::uint32_t(n);
            ++run.nChars;
            run.bNonAscii = true;
            i += std::uint32_t(n);
            continue;
        }
        default:
            break;
        }
        // The byte at i ends the run under way.
        if (run.nChars)
            StringBlocks::EndRun<StringBlocks::CSse2>(run, sink, rules);
        ++i;
    }
stop:
    m_nOffset += i;
    if (bLast && i == nLength && run.nChars)
        StringBlocks::EndRun<StringBlocks::CSse2>(run, sink, rules);
    // The run under way waits in m_pText for the next call; lines hand back
    // only whole lines.
    const std::uint32_t nPending = run.nChars ? std::uint32_t(run.pDst - run.pLine) : 0;
    if (kLines) {
        std::memcpy(m_pText.get(), run.pLine, nPending);
        pOut = run.pLine;
    }
    m_nTextBytes = nPending;
    m_nPrefix = run.nChars ? run.nPrefix : 0;
    m_nRunOffset = run.nOffset;
    m_nRunBytes = run.nBytes;
    m_nChars = run.nChars;
    m_bNonAscii = run.bNonAscii;
    return i;
}

std::uint32_t CStringScanner::Scan(const std::uint8_t* p, std::uint32_t nLength, bool bLast,
                                   std::vector<CTextRun>& runs)
{
    CRunsSink sink{runs};
    char* pOut = m_pText.get();
    return ScanImpl(p, nLength, bLast, pOut, sink);
}

std::uint32_t CStringScanner::ScanLines(const std::uint8_t* p, std::uint32_t nLength, bool bLast, char*& pOut)
{
    CLinesSink sink;
    return ScanImpl(p, nLength, bLast, pOut, sink);
}

std::size_t CStringScanner::LinesRoom(std::uint32_t nLength)
{
    // The line kept from the last call, then at most one line per two bytes
    // (a character and the byte that ends it), each an offset, a newline and
    // at most three bytes of text a byte.
    return kPendingRoom + (std::size_t(nLength) / 2 + 2) * (kMaxPrefix + 1) + 3 * std::size_t(nLength);
}

void CStringScanner::AppendLine(const CTextRun& run, std::string& out)
{
    // Room for the widest offset (PutPrefix stores eight digits at once), the
    // text with every byte escaped and the newline.
    const std::size_t nAt = out.size();
    out.resize(nAt + kMaxPrefix + 8 + 2 * run.text.size() + 1);
    const char* pEnd = PutLine(out.data() + nAt, run.nOffset, run.text.data(), std::uint32_t(run.text.size()));
    out.resize(std::size_t(pEnd - out.data()));
}

void CStringScanner::UseBuild(Build build)
{
    m_build = std::min(build, BestBuild());
}

CStringScanner::Build CStringScanner::BestBuild()
{
    return StringBlocks::BestBuild();
}
