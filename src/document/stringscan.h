#pragma once

#include "textdecoder.h"

#include <cstdint>
#include <string>
#include <vector>

// Finds the runs of text in bytes read in a code page, for the Strings panel
// and `zorbel --strings`. A character of a run is a printable ASCII byte or a
// tab, a lead byte with its trail byte (936, 950, 932) or a half-width katakana
// byte (932) that decodes to a defined character, a well-formed UTF-8 sequence
// of a shown character (65001), or in a code page without double-byte rules a
// byte from 0x80 that decodes to a shown character. Any other byte (a newline
// among them) ends a run.
//
// The scan streams: the caller hands over the bytes in parts, each starting
// where the last call stopped (Offset()), and collects the runs completed so
// far. Memory is the runs of one part and the run under way, which is cut into
// runs of at most kMaxRunBytes, so that no file makes it hold more.
struct CTextRun {
    std::uint64_t nOffset = 0;
    std::uint32_t nLength = 0;   // bytes
    std::string text;            // UTF-8
};

class CStringScanner {
public:
    static constexpr std::uint32_t kMaxRunBytes = 1u << 16;

    CStringScanner(int nCodePage, int nMinChars = 4, bool bNonAsciiOnly = false);

    // Scans nLength bytes at p, the file's bytes from Offset() on, and adds the
    // runs that end in them to runs. A character cut off by the end of the part
    // is left for the next call unless bLast. Returns the bytes it went past:
    // the caller starts the next part at Offset().
    std::uint32_t Scan(const std::uint8_t* p, std::uint32_t nLength, bool bLast, std::vector<CTextRun>& runs);
    std::uint64_t Offset() const { return m_nOffset; }

    // The line --strings and Export write for a run: the offset in hexadecimal
    // (at least 8 digits), a tab, the text with tabs and newlines written as
    // \t and \n, and a newline.
    static void AppendLine(const CTextRun& run, std::string& out);

private:
    // The length of the character at p (0: none), reading at most nLeft bytes;
    // -1 when the character may go on past nLeft.
    int CharAt(const std::uint8_t* p, std::uint32_t nLeft, bool bLast, char32_t& ch) const;
    void EndRun(std::vector<CTextRun>& runs);

    int m_nCodePage;
    CTextDecoder m_decoder;
    int m_nMinChars;
    bool m_bNonAsciiOnly;
    bool m_bDoubleByte;
    std::uint64_t m_nOffset = 0;
    // The run under way.
    CTextRun m_run;
    int m_nChars = 0;
    bool m_bNonAscii = false;
};
