#pragma once

// Plain byte-by-byte versions of the row, detection and search rules, written
// from their descriptions for the fuzz targets to compare the fast ones with.

#include <cstdint>
#include <vector>

namespace Plain {

// CRowFormat::GetRowText one byte at a time.
std::uint32_t RowText(const std::uint8_t* pData, std::uint32_t nSize, int nCodePage, std::uint32_t nOffset,
                      std::uint8_t* hex, char* text, bool bContinuation);

// DetectCodePage one byte at a time.
int DetectCodePage(const std::uint8_t* pData, std::uint32_t nLength);

// The offsets where the walk from offset 0 takes a lead byte and its trail byte
// as one character: pairStart[i] is true when a pair starts at i.
std::vector<bool> PairStarts(const std::uint8_t* pData, std::uint32_t nSize, int nCodePage);

// Columns 10-78 of row nRow as FormatRow builds them, from RowText.
std::vector<char> FormattedRow(const std::uint8_t* pData, std::uint32_t nSize, int nCodePage, std::uint32_t nRow,
                               bool bContinued);

// The least (bDown) or greatest match start of pattern from nFrom in the
// first nLength bytes, or -1. Without Match case a letter equals its other case
// unless it is the second byte of a pair, in the bytes (PairStarts from their
// start) or in the pattern (from its own start), in code page nCodePage.
std::int64_t Find(const std::uint8_t* pData, std::uint32_t nLength, const std::uint8_t* pPattern, std::uint32_t n,
                  std::uint32_t nFrom, bool bDown, bool bMatchCase, int nCodePage = 0);

} // namespace Plain
