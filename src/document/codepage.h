#pragma once

#include <cstdint>
#include <vector>

// How bytes read as text: the double-byte rules of the East-Asian code pages
// 932 (Shift JIS), 936 (GB), 950 (BIG5) and 949 (Korean), the half-width
// katakana of 932, the single bytes of 1252 (Western), the code page the
// system's language implies, and a guess from a file's content. 933 and 937
// from detection have no double-byte rule; 65001 has rules of its own (utf8.h).
// The byte 0xFF is in no lead or trail range, so a look-ahead that meets a
// buffer's 0xFF end marker stops there.

bool IsHexDigit(int ch);
bool IsHalfWidthKana(int nCodePage, std::uint8_t b);
bool IsLeadByte(int nCodePage, std::uint8_t b);
bool IsTrailByte(int nCodePage, std::uint8_t b);
// Whether a byte that stands alone (no lead byte, no part of a pair) shows as
// itself in the text column: printable ASCII, the half-width katakana of 932 and
// the bytes from 0x80 that 1252 defines (its five undefined bytes show as '.').
bool IsShownAlone(int nCodePage, std::uint8_t b);

// 950 for Chinese (Taiwan, Hong Kong), 936 for other Chinese, 932 Japanese,
// 949 Korean, 1252 anything else.
int GetDefaultCodePage();
int CodePageFromLangID(unsigned short langID);

// Scans the bytes for the first decisive sign of a code page. Bytes that are
// well-formed UTF-8 throughout, with at least one multi-byte sequence, are 65001
// before any double-byte rule is tried. The caller passes a document buffer with
// its end marker, whose 0xFF stops the look-ahead; bytes past nLength are never
// read.
//
// With pLeadRuns, the scan also lists runs of 0xA1-0xFE, the lead bytes of GB
// and BIG5, that it passed over whole and that are at least kLongLeadRun bytes
// long (not always the whole of each run), in order: the row cache takes them
// over, so that a jump far into such a run needs no scan of it.
struct CByteRange {
    std::uint32_t nStart;
    std::uint32_t nEnd;
};
constexpr std::uint32_t kLongLeadRun = 4096;
int DetectCodePage(const std::uint8_t* pData, std::uint32_t nLength, std::vector<CByteRange>* pLeadRuns = nullptr);
// Where the processor has AVX-512 (BW), the double-byte rules classify each
// block of 64 bytes in one register. Tests turn that off to cover the SSE2
// blocks on such a machine too. Returns whether the AVX-512 blocks are used
// from now on.
bool AllowAvx512Detection(bool bAllow);
// Where the processor has AVX2 (and AVX-512 is not taken), each block of 64
// bytes is classified in two 32-byte registers. Tests turn that off to cover
// the SSE2 blocks. Returns whether the AVX2 blocks are used from now on when
// AVX-512 is not.
bool AllowAvx2Detection(bool bAllow);
// DetectCodePage over a file read from its start in parts, without holding it
// whole. The caller reads each part into a buffer after the bytes kept from the
// part before and calls Scan with all of them, the last part followed by the end
// marker. Scan returns the code page once it is decided, else 0; the caller then
// keeps the bytes from Kept() on at the start of the buffer.
class CCodePageDetector {
public:
    int Scan(const std::uint8_t* pData, std::uint32_t nLength, bool bLast);
    std::uint32_t Kept() const { return m_nKept; }

private:
    bool m_bUtf8 = true;        // well-formed UTF-8 so far
    bool m_bMultiByte = false;  // with a multi-byte sequence
    int m_nDecided = 0;         // what a double-byte rule decided
    int m_nResult = GetDefaultCodePage();
    std::uint32_t m_nUtf8 = 0;  // where each check goes on
    std::uint32_t m_nDouble = 0;
    std::uint32_t m_nKept = 0;
};

// Value of a string of hexadecimal digits, kept to its last two digits.
std::uint8_t HexToByte(const char* pszDigits);

// The code pages the text column can show, in the order --help lists them;
// --codepage accepts these and no other.
inline constexpr int kShownCodePages[] = {936, 950, 932, 65001, 949, 1252};
bool IsShownCodePage(int nCodePage);

// Name of the text codec for a code page ("GBK", "Big5", "Shift_JIS",
// "windows-1252", ...), for decoding the text column.
const char* CodecNameFromCodePage(int nCodePage);
