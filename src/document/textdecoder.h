#pragma once

#include "codepage.h"
#include "utf8.h"

#include <cstdint>

class CByteClasses;

// Reads a row's text column (the bytes CRowFormat::FormatRow puts there) as the
// characters it shows in a code page: a byte below 0x80 as itself, a lead byte and
// its trail byte as one character over two cells, any other byte (half-width
// katakana in 932) as one character. A byte or pair the code page leaves undefined
// reads as U+FFFD.
//
// The text column holds a lead byte only together with its trail byte: row
// extraction shows a lead byte without one as '.'. So pairing it again from the
// left, as done here, finds exactly the characters the row was built from.
//
// In UTF-8 a multi-byte sequence reads as one character from its first byte's
// cell over the one or two cells IsWideChar gives it; the cells of its other bytes
// are blank and have no character. A sequence that is not well-formed reads as
// U+FFFD one byte at a time, though row extraction shows such bytes as '.'.
//
// The characters come from tables made once per code page and kept for the life
// of the program; a decoder is cheap to make and to copy.
class CTextDecoder {
public:
    explicit CTextDecoder(int nCodePage);

    int CodePage() const { return m_nCodePage; }

    char32_t DecodePair(std::uint8_t lead, std::uint8_t trail) const;
    char32_t DecodeSingle(std::uint8_t b) const;

    // Calls f(nCell, nCells, ch) for each character of the n-byte text column,
    // from the left; nCell counts cells from the column's start.
    template <typename F>
    void ForEachChar(const char* pText, int n, F&& f) const
    {
        if (m_nCodePage == kCodePageUtf8) {
            ForEachUtf8Char(pText, n, f);
            return;
        }
        for (int i = 0; i < n;) {
            const auto b = std::uint8_t(pText[i]);
            if (b >= 0x80 && i + 1 < n && IsLeadByte(m_nCodePage, b)) {
                f(i, 2, DecodePair(b, std::uint8_t(pText[i + 1])));
                i += 2;
            } else {
                f(i, 1, b < 0x80 ? char32_t(b) : DecodeSingle(b));
                ++i;
            }
        }
    }

    // Writes the text column of n bytes (at most CRowFormat::kMaxTextLength) as
    // UTF-8 at pOut and returns the end of what it wrote. A blank cell of a UTF-8
    // character's other bytes is written as a space, and an undefined pair as
    // U+FFFD and a blank, two cells as in the window. pOut needs room for 3n + 16
    // bytes: runs of ASCII are copied 16 bytes at a time. pOut may be pText: the
    // column is read first.
    char* ToUtf8(const char* pText, int n, char* pOut) const;

    // What ToUtf8 writes for the character that begins with a byte of the text
    // column, indexed by that byte and the one after it read as a 16-bit value
    // (first byte lowest, as ToUtf8 reads them): up to four bytes, first byte
    // lowest, and in the high 32 bits how many of them count. For a first byte
    // from 0x80 up none of the counted bytes is 0 and the ones past them are.
    // For a reader that knows where the column's characters begin without
    // writing the column.
    const std::uint64_t* CharOutputs() const { return m_pCharsOut; }
    // The one entry of CharOutputs past its 64 Ki: no bytes, a count of 0.
    static constexpr std::uint32_t kWritesNothing = 0x10000;
    // What a cell of a row shows where the walk over the row lands on it, by
    // its byte and the one after it as CharOutputs takes them, as bytes alone
    // (the low 32 bits of a CharOutputs entry, for a reader that tells their
    // count from the bytes that are not 0): a lead byte before a trail byte
    // the pair's character, a byte shown alone (IsShownAlone) itself, any other
    // byte '.'. Half the memory of CharOutputs, and a row's cells need no test
    // of which of them show '.'.
    const std::uint32_t* CellBytesOut() const { return m_pCellBytesOut; }
    // The classes of bytes of the code page, held so that a caller formatting
    // row after row need not find them for each (CByteClasses::For keeps the
    // last one per thread, which costs a look-up of thread storage).
    const CByteClasses& Classes() const { return *m_pClasses; }

    struct Tables;

private:
    template <typename F>
    static void ForEachUtf8Char(const char* pText, int n, F&& f)
    {
        for (int i = 0; i < n;) {
            const auto b = std::uint8_t(pText[i]);
            char32_t ch = b;
            const int nBytes = b >= 0x80 ? Utf8SequenceAt(reinterpret_cast<const std::uint8_t*>(pText + i),
                                                          std::size_t(n - i), ch)
                                         : 1;
            if (nBytes == 0) {
                f(i, 1, char32_t(0xFFFD));
                ++i;
            } else {
                f(i, IsWideChar(ch) ? 2 : 1, ch);
                i += nBytes;
            }
        }
    }
    char* Utf8ToUtf8(const char* pText, int n, char* pOut) const;

    int m_nCodePage;
    const Tables* m_pTables;
    const CByteClasses* m_pClasses;
    const std::uint64_t* m_pCharsOut;
    const std::uint32_t* m_pCellBytesOut;
};
