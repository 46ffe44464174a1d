#include "plainrules.h"

#include "codepage.h"
#include "syslang.h"
#include "utf8.h"

#include <algorithm>
#include <cstdio>

namespace Plain {

namespace {

bool Shown(int nCodePage, std::uint8_t b)
{
    return (b >= 0x20 && b <= 0x7E) || (nCodePage != kCodePageUtf8 && IsHalfWidthKana(nCodePage, b));
}

std::uint32_t Utf8RowText(const std::uint8_t* row, std::uint32_t nLeft, std::uint8_t* hex, char* text)
{
    const std::uint32_t count = std::min<std::uint32_t>(nLeft, 16);
    std::uint32_t j = 0;
    while (j < count) {
        char32_t ch = 0;
        const int n = row[j] >= 0x80 ? Utf8SequenceAt(row + j, nLeft - j, ch) : 0;
        if (n != 0 && IsShownChar(ch)) {
            for (int k = 0; k < n; ++k, ++j) {
                hex[j] = row[j];
                text[j] = char(row[j]);
            }
            continue;
        }
        hex[j] = row[j];
        text[j] = Shown(kCodePageUtf8, row[j]) ? char(row[j]) : '.';
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
    if (nCodePage == kCodePageUtf8)
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
        if (IsLeadByte(nCodePage, b) && j + 1 < nLeft && IsTrailByte(nCodePage, row[j + 1])) {
            text[j] = char(b);
            hex[j + 1] = row[j + 1];
            text[j + 1] = char(row[j + 1]);
            j += 2;
            continue;
        }
        text[j] = !IsLeadByte(nCodePage, b) && Shown(nCodePage, b) ? char(b) : '.';
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
        const int n = pData[i] < 0x80 ? 1 : Utf8SequenceAt(pData + i, nText - i, ch);
        if (n == 0)
            break;
        bMultiByte = bMultiByte || n > 1;
        i += std::uint32_t(n);
    }
    if (i == nText && bMultiByte)
        return kCodePageUtf8;

    int result = CodePageFromLangID(GetSystemDefaultLangID());
    auto at = [&](std::uint32_t k) -> std::uint8_t { return k < nLength ? pData[k] : 0; };
    for (i = 0; i < nLength;) {
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
    if (nCodePage == kCodePageUtf8)
        return starts;
    for (std::uint32_t i = 0; i < nSize;) {
        if (i + 1 < nSize && IsLeadByte(nCodePage, pData[i]) && IsTrailByte(nCodePage, pData[i + 1])) {
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
                  std::uint32_t nFrom, bool bDown, bool bMatchCase)
{
    if (n == 0 || n > nLength)
        return -1;
    auto matchesAt = [&](std::uint32_t i) {
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint8_t a = pData[i + k];
            const std::uint8_t b = pPattern[k];
            if (bMatchCase ? a != b : Lower(a) != Lower(b))
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
