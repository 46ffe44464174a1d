#include "plainrules.h"

#include "syslang.h"

#include <QChar>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <iterator>

// Everything these rules read bytes by is defined here again from each code
// page's byte ranges, so that a fault in the program's own classification is
// not repeated in the rules the fuzz targets hold it against.

namespace Plain {

namespace {

constexpr int kUtf8 = 65001;

struct Range {
    int first;
    int last;
};

bool InAny(std::uint8_t b, std::initializer_list<Range> ranges)
{
    for (const Range& r : ranges)
        if (b >= r.first && b <= r.last)
            return true;
    return false;
}

// Shift JIS (932): lead 81-9F and E0-FC, trail 40-7E and 80-FC. GB (936): both
// A1-FE. BIG5 (950): lead A1-FE, trail 40-7E and A1-FE. Korean (949): lead
// 81-FE, trail 41-5A, 61-7A and 81-FE. No other code page has pairs.
bool Lead(int nCodePage, std::uint8_t b)
{
    switch (nCodePage) {
    case 932:
        return InAny(b, {{0x81, 0x9F}, {0xE0, 0xFC}});
    case 936:
    case 950:
        return InAny(b, {{0xA1, 0xFE}});
    case 949:
        return InAny(b, {{0x81, 0xFE}});
    default:
        return false;
    }
}

bool Trail(int nCodePage, std::uint8_t b)
{
    switch (nCodePage) {
    case 932:
        return InAny(b, {{0x40, 0x7E}, {0x80, 0xFC}});
    case 936:
        return InAny(b, {{0xA1, 0xFE}});
    case 950:
        return InAny(b, {{0x40, 0x7E}, {0xA1, 0xFE}});
    case 949:
        return InAny(b, {{0x41, 0x5A}, {0x61, 0x7A}, {0x81, 0xFE}});
    default:
        return false;
    }
}

// The half-width katakana of 932, with 0xA0 shown as one of them.
bool Kana(int nCodePage, std::uint8_t b)
{
    return nCodePage == 932 && InAny(b, {{0xA0, 0xDF}});
}

// The code page of the system's language, from the locale's name.
int SystemCodePage()
{
    const QString name = SystemLocaleName();
    if (name.startsWith(QLatin1String("zh_TW")) || name.startsWith(QLatin1String("zh_HK")))
        return 950;
    if (name.startsWith(QLatin1String("zh")))
        return 936;
    if (name.startsWith(QLatin1String("ja")))
        return 932;
    if (name.startsWith(QLatin1String("ko")))
        return 949;
    return 1252;
}

// A UTF-8 sequence decoded by its bit patterns and then judged by its value:
// its length (2-4) with the character in ch, or 0 for anything that is not a
// well-formed multi-byte sequence within nLeft bytes.
int Utf8At(const std::uint8_t* p, std::uint32_t nLeft, char32_t& ch)
{
    const std::uint8_t b = p[0];
    int n;
    char32_t value;
    if ((b & 0xE0) == 0xC0) {
        n = 2;
        value = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3;
        value = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4;
        value = b & 0x07;
    } else {
        return 0;
    }
    if (nLeft < std::uint32_t(n))
        return 0;
    for (int k = 1; k < n; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[k] & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < least[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    ch = value;
    return n;
}

// Characters from 0x80 up that the text column shows: all but controls, format
// characters, surrogates, unassigned code points and the line and paragraph
// separators.
bool ShownChar(char32_t ch)
{
    static const QChar::Category kHidden[] = {QChar::Other_Control,      QChar::Other_Format,
                                               QChar::Other_Surrogate,    QChar::Other_NotAssigned,
                                               QChar::Separator_Line,     QChar::Separator_Paragraph};
    return std::find(std::begin(kHidden), std::end(kHidden), QChar::category(ch)) == std::end(kHidden);
}

// Western (1252) defines every byte from 0x80 but 81, 8D, 8F, 90 and 9D.
bool Shown(int nCodePage, std::uint8_t b)
{
    if (nCodePage == 1252 && b >= 0x80)
        return !InAny(b, {{0x81, 0x81}, {0x8D, 0x8D}, {0x8F, 0x90}, {0x9D, 0x9D}});
    return (b >= 0x20 && b <= 0x7E) || (nCodePage != kUtf8 && Kana(nCodePage, b));
}

std::uint32_t Utf8RowText(const std::uint8_t* row, std::uint32_t nLeft, std::uint8_t* hex, char* text)
{
    const std::uint32_t count = std::min<std::uint32_t>(nLeft, 16);
    std::uint32_t j = 0;
    while (j < count) {
        char32_t ch = 0;
        const int n = Utf8At(row + j, nLeft - j, ch);
        if (n != 0 && ShownChar(ch)) {
            for (int k = 0; k < n; ++k, ++j) {
                hex[j] = row[j];
                text[j] = char(row[j]);
            }
            continue;
        }
        hex[j] = row[j];
        text[j] = Shown(kUtf8, row[j]) ? char(row[j]) : '.';
        ++j;
    }
    return j;
}

std::uint8_t Lower(std::uint8_t b)
{
    return b >= 'A' && b <= 'Z' ? std::uint8_t(b + 32) : b;
}

} // namespace

std::uint32_t RowText(const std::uint8_t* pData, std::uint32_t nSize, int nCodePage, std::uint32_t nOffset,
                      std::uint8_t* hex, char* text, bool bContinuation)
{
    if (nOffset >= nSize)
        return 0;
    const std::uint8_t* row = pData + nOffset;
    const std::uint32_t nLeft = nSize - nOffset;
    if (nCodePage == kUtf8)
        return Utf8RowText(row, nLeft, hex, text);
    const std::uint32_t count = std::min<std::uint32_t>(nLeft, 16);
    std::uint32_t j = 0;
    if (bContinuation) {
        hex[0] = row[0];
        text[0] = '.';
        j = 1;
    }
    while (j < count) {
        const std::uint8_t b = row[j];
        hex[j] = b;
        if (Lead(nCodePage, b) && j + 1 < nLeft && Trail(nCodePage, row[j + 1])) {
            text[j] = char(b);
            hex[j + 1] = row[j + 1];
            text[j + 1] = char(row[j + 1]);
            j += 2;
            continue;
        }
        text[j] = !Lead(nCodePage, b) && Shown(nCodePage, b) ? char(b) : '.';
        ++j;
    }
    return j;
}

int DetectCodePage(const std::uint8_t* pData, std::uint32_t nLength)
{
    const std::uint32_t nText = nLength > 0 && pData[nLength - 1] == 0xFF ? nLength - 1 : nLength;
    bool bMultiByte = false;
    std::uint32_t i = 0;
    while (i < nText) {
        char32_t ch = 0;
        const int n = pData[i] < 0x80 ? 1 : Utf8At(pData + i, nText - i, ch);
        if (n == 0)
            break;
        bMultiByte = bMultiByte || n > 1;
        i += std::uint32_t(n);
    }
    if (i == nText && bMultiByte)
        return kUtf8;

    int result = SystemCodePage();
    auto at = [&](std::uint32_t k) -> std::uint8_t { return k < nLength ? pData[k] : 0; };
    for (i = 0; i < nLength;) {
        const std::uint8_t c = pData[i];
        const std::uint8_t next = at(i + 1);
        if (c == 0x7E && next == 0x7B)
            return 937;
        if (c == 0x1B && next == 0x24 && at(i + 2) == 0x42)
            return 933;
        if (c >= 0x81 && c <= 0x9F && Trail(932, next))
            return 932;
        if (Lead(950, c) && next >= 0x40 && next <= 0x7E)
            return 950;
        if (Lead(936, c)) {
            result = 936;
            i += 2;
        } else {
            ++i;
        }
    }
    return result;
}

std::vector<bool> PairStarts(const std::uint8_t* pData, std::uint32_t nSize, int nCodePage)
{
    std::vector<bool> starts(nSize, false);
    if (nCodePage == kUtf8)
        return starts;
    for (std::uint32_t i = 0; i < nSize;) {
        if (i + 1 < nSize && Lead(nCodePage, pData[i]) && Trail(nCodePage, pData[i + 1])) {
            starts[i] = true;
            i += 2;
        } else {
            ++i;
        }
    }
    return starts;
}

std::vector<char> FormattedRow(const std::uint8_t* pData, std::uint32_t nSize, int nCodePage, std::uint32_t nRow,
                               bool bContinued)
{
    std::uint8_t hex[19];
    char text[19];
    const std::uint64_t nOffset = std::uint64_t(nRow) * 16;
    const std::uint32_t n = nOffset < nSize
                                ? RowText(pData, nSize, nCodePage, std::uint32_t(nOffset), hex, text, bContinued)
                                : 0;
    std::vector<char> row(52, ' ');
    if (n == 0)
        return row;
    // In the last row the end marker's pair and those after it stay blank.
    const bool bLast = nOffset + 16 >= nSize;
    const std::uint32_t nPairs = bLast ? n - 1 : 16;
    for (std::uint32_t k = 0; k < nPairs; ++k) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", hex[k]);
        const std::size_t at = 3 * k + (k >= 8 ? 1 : 0);
        row[at] = pair[0];
        row[at + 1] = pair[1];
    }
    for (std::uint32_t k = 0; k < n; ++k)
        row.push_back(bLast && k == n - 1 ? ' ' : text[k]);
    return row;
}

std::int64_t Find(const std::uint8_t* pData, std::uint32_t nLength, const std::uint8_t* pPattern, std::uint32_t n,
                  std::uint32_t nFrom, bool bDown, bool bMatchCase, int nCodePage)
{
    if (n == 0 || n > nLength)
        return -1;
    const std::vector<bool> bytePairs = PairStarts(pData, nLength, nCodePage);
    const std::vector<bool> patternPairs = PairStarts(pPattern, n, nCodePage);
    auto matchesAt = [&](std::uint32_t i) {
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint8_t a = pData[i + k];
            const std::uint8_t b = pPattern[k];
            if (a == b)
                continue;
            if (bMatchCase || Lower(a) != Lower(b) || (k > 0 && patternPairs[k - 1]) || (i + k > 0 && bytePairs[i + k - 1]))
                return false;
        }
        return true;
    };
    if (bDown) {
        for (std::uint64_t i = nFrom; i + n <= nLength; ++i) {
            if (matchesAt(std::uint32_t(i)))
                return std::int64_t(i);
        }
        return -1;
    }
    for (std::int64_t i = std::min<std::int64_t>(nFrom, nLength - n); i >= 0; --i) {
        if (matchesAt(std::uint32_t(i)))
            return i;
    }
    return -1;
}

} // namespace Plain
