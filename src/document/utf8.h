#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// multi-byte sequence. Reads 16 bytes at a time (64 with AVX-512), runs of
// ASCII 64, and stops within 64 bytes of the first byte that breaks the rules.
bool IsUtf8Text(const std::uint8_t* pData, std::size_t nLength);
// Where the processor has AVX-512 (BW), IsUtf8Text checks 64 bytes in one
// register. Tests turn that off to cover the 16-byte blocks on such a machine
// too. Returns whether the 64-byte groups are used from now on.
bool AllowAvx512Utf8Check(bool bAllow);
// Where the processor has AVX2 (and AVX-512 is not taken), groups of 64 bytes
// are checked in two 32-byte registers. Tests turn that off to cover the
// 16-byte blocks. Returns whether the AVX2 groups are used from now on, when
// AVX-512 is not.
bool AllowAvx2Utf8Check(bool bAllow);

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

// Where the ideographs of IsIdeographAt begin among 17 bytes at p, reading 19:
// bit i is set when p + i starts one whose three bytes all lie in the 19. With
// the bits of the bytes from 0x80 up and of the continuation bytes, it lets a
// row of such text and ASCII be taken 16 bytes at a time: no sequence of
// another kind can hide among them.
struct CUtf8Masks {
    std::uint32_t nHigh = 0;        // 0x80-0xFF
    std::uint32_t nContinuation = 0;  // 0x80-0xBF
    std::uint32_t nIdeographs = 0;

    explicit CUtf8Masks(const std::uint8_t* p)
    {
        std::uint32_t e4 = 0;
        std::uint32_t e5e9 = 0;
        std::uint32_t fromB8 = 0;
        // Bytes 0-15, then 3-18 for the last three.
        for (int k = 0; k < 2; ++k) {
            const int nShift = 3 * k;
            const std::uint32_t keep = k == 0 ? 0xFFFFu : 0x7u << 13;
#if defined(__SSE2__)
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + nShift));
            const auto bits = [keep, nShift](__m128i in) {
                return (std::uint32_t(_mm_movemask_epi8(in)) & keep) << nShift;
            };
            nHigh |= bits(v);
            nContinuation |= bits(_mm_cmplt_epi8(v, _mm_set1_epi8(char(0xC0))));
            e4 |= bits(_mm_cmpeq_epi8(v, _mm_set1_epi8(char(0xE4))));
            const __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8(char(0xE5)));
            e5e9 |= bits(_mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(4)), offset));
            fromB8 |= bits(_mm_cmpeq_epi8(_mm_max_epu8(v, _mm_set1_epi8(char(0xB8))), v));
#else
            for (int i = 0; i < 16; ++i) {
                const std::uint8_t b = p[nShift + i];
                const std::uint32_t bit = (keep >> i & 1u) << (nShift + i);
                nHigh |= b >= 0x80 ? bit : 0;
                nContinuation |= b >= 0x80 && b <= 0xBF ? bit : 0;
                e4 |= b == 0xE4 ? bit : 0;
                e5e9 |= b >= 0xE5 && b <= 0xE9 ? bit : 0;
                fromB8 |= b >= 0xB8 ? bit : 0;
            }
#endif
        }
        nIdeographs = (e5e9 | (e4 & (fromB8 >> 1))) & (nContinuation >> 1) & (nContinuation >> 2);
    }
};
