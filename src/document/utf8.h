#pragma once

#include <cstddef>
#include <cstdint>

// The rules of code page 65001, UTF-8, for the text column and for detection.
// Unlike the double-byte code pages a character takes two to four bytes and one or
// two cells, and any byte can tell whether it starts a character, continues one
// or belongs to none, so nothing here depends on bytes before the ones read.

constexpr int kCodePageUtf8 = 65001;

// Whether a character takes two cells: East Asian Wide or Fullwidth.
bool IsWideChar(char32_t ch);

// Whether the text column shows a character from 0x80 up: controls, format
// characters (the byte-order mark among them), line and paragraph separators and
// unassigned code points show as '.' one per byte.
bool IsShownChar(char32_t ch);

// Whether nLength bytes are well-formed UTF-8 throughout and hold at least one
// multi-byte sequence. Reads 16 bytes at a time, runs of ASCII 64, and stops
// within 64 bytes of the first byte that breaks the rules.
bool IsUtf8Text(const std::uint8_t* pData, std::size_t nLength);

// The length (2-4) of the well-formed multi-byte sequence at p, reading at most
// nLeft bytes, with its character in ch; 0 when p[0] starts none: an ASCII byte,
// a continuation byte, an overlong form, an encoded surrogate, a code point past
// U+10FFFF, a sequence cut short, 0xC0, 0xC1 and 0xF5-0xFF. The end marker 0xFF is
// never a continuation byte, so a sequence never runs into it.
inline int Utf8SequenceAt(const std::uint8_t* p, std::size_t nLeft, char32_t& ch)
{
    const std::uint8_t b = p[0];
    int nLength;
    // The second byte's range excludes overlong forms (0xE0, 0xF0), surrogates
    // (0xED) and code points past U+10FFFF (0xF4).
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        nLength = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        nLength = 3;
        if (b == 0xE0)
            low = 0xA0;
        else if (b == 0xED)
            high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        nLength = 4;
        if (b == 0xF0)
            low = 0x90;
        else if (b == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (nLeft < std::size_t(nLength) || p[1] < low || p[1] > high)
        return 0;
    char32_t value = b & (0x7F >> nLength);
    for (int i = 1; i < nLength; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    ch = value;
    return nLength;
}

// Whether p starts the 3-byte sequence of a CJK Unified Ideograph, U+4E00 to
// U+9FFF, reading at most nLeft bytes: the characters of most Chinese and
// Japanese text, shown and wide, told apart with a few tests so that the rows
// of such text need not take the general path for each.
inline bool IsIdeographAt(const std::uint8_t* p, std::size_t nLeft)
{
    // Leads E4-E9 hold U+4000-U+9FFF; the ideographs begin at E4 B8 80.
    return p[0] >= 0xE4 && p[0] <= 0xE9 && nLeft >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80
        && (p[0] > 0xE4 || p[1] >= 0xB8);
}
