#include "codepage.h"

#include "syslang.h"
#include "utf8.h"

#include <cstring>

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
    default:
        return false;
    }
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

} // namespace

int DetectCodePage(const std::uint8_t* pData, std::uint32_t nLength)
{
    // The end marker is no text: it would make every buffer invalid UTF-8.
    const std::uint32_t nText = nLength > 0 && pData[nLength - 1] == 0xFF ? nLength - 1 : nLength;
    if (IsUtf8Text(pData, nText))
        return kCodePageUtf8;

    int result = GetDefaultCodePage();
    // A look-ahead past the end reads as 0, which matches no rule; with a buffer
    // that ends in its 0xFF marker the bounds never come into play.
    auto at = [pData, nLength](std::uint32_t i) -> std::uint8_t { return i < nLength ? pData[i] : 0; };
    std::uint32_t i = 0;
    while (i < nLength) {
        // Plain 7-bit text decides nothing; skip it eight bytes at a time.
        if (nLength - i >= 8 && EightPlainBytes(pData + i)) {
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
            if (nLength - i < 2)
                break;
            i += 2;
        } else {
            ++i;
        }
    }
    return result;
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
        return "CP949";
    case kCodePageUtf8:
        return "UTF-8";
    default:
        return "windows-1252";
    }
}
