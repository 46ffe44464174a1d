#pragma once

#include <cstddef>
#include <cstdint>

// The rules of code page 65001, UTF-8, for the text column and for detection.
// Unlike the double-byte code pages a character takes two to four bytes and one or
// two cells, and any byte can tell whether it starts a character, continues one
// or belongs to none, so nothing here depends on bytes before the ones read.

constexpr int kCodePageUtf8 = 65001;

// The length (2-4) of the well-formed multi-byte sequence at p, reading at most
// nLeft bytes, with its character in ch; 0 when p[0] starts none: an ASCII byte,
// a continuation byte, an overlong form, an encoded surrogate, a code point past
// U+10FFFF, a sequence cut short, 0xC0, 0xC1 and 0xF5-0xFF. The end marker 0xFF is
// never a continuation byte, so a sequence never runs into it.
int Utf8SequenceAt(const std::uint8_t* p, std::size_t nLeft, char32_t& ch);

// Whether a character takes two cells: East Asian Wide or Fullwidth.
bool IsWideChar(char32_t ch);

// Whether the text column shows a character from 0x80 up: controls, format
// characters (the byte-order mark among them), line and paragraph separators and
// unassigned code points show as '.' one per byte.
bool IsShownChar(char32_t ch);

// Whether nLength bytes are well-formed UTF-8 throughout and hold at least one
// multi-byte sequence. Stops at the first byte that breaks the rules; runs of
// ASCII are passed over 16 bytes at a time.
bool IsUtf8Text(const std::uint8_t* pData, std::size_t nLength);
