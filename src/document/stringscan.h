#pragma once

#include "textdecoder.h"

#include <cstdint>
#include <memory>

class CCharTable;
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
//
// Through a character table (UseTable) a character is a key, read by the
// longest key that matches, with the text the text column shows for it; a
// byte no key begins with ends a run, and an end code ends the run it closes,
// its text the run's last.
//
// A scan may start at any offset where a full scan from the file's start has
// no run under way, such as the start of a run it found: from there on it
// finds what the full scan finds.
struct CTextRun {
    std::uint64_t nOffset = 0;
    std::uint32_t nLength = 0;   // bytes
    std::string text;            // UTF-8
};

class CStringScanner {
public:
    static constexpr std::uint32_t kMaxRunBytes = 1u << 16;

    CStringScanner(int nCodePage, int nMinChars = 4, bool bNonAsciiOnly = false, std::uint64_t nStart = 0);
    ~CStringScanner();

    // Reads the bytes through pTable from now on, instead of the code page;
    // null goes back to the code page. The scanner keeps the table alive, so
    // a scan on another thread outlives a table the document drops.
    void UseTable(std::shared_ptr<const CCharTable> pTable);
    // The most bytes a character can take, through pTable or a code page: how
    // far before a change a scan of the bytes around it must start.
    static std::uint32_t MostCharBytes(const CCharTable* pTable);

    // Scans nLength bytes at p, the file's bytes from Offset() on, and adds the
    // runs that end in them to runs. A character cut off by the end of the part
    // is left for the next call unless bLast. Returns the bytes it went past:
    // the caller starts the next part at Offset().
    std::uint32_t Scan(const std::uint8_t* p, std::uint32_t nLength, bool bLast, std::vector<CTextRun>& runs);
    // The same, writing the runs as the lines AppendLine writes from pOut on
    // and moving pOut past them; pOut must have room for LinesRoom(nLength)
    // bytes. The lines are built in place as the bytes are read: a run that
    // ends too short is written over by the next. A scanner gives its runs
    // either by Scan or by ScanLines, not both.
    std::uint32_t ScanLines(const std::uint8_t* p, std::uint32_t nLength, bool bLast, char*& pOut);
    static std::size_t LinesRoom(std::uint32_t nLength);
    // The room ScanLines needs for nLength bytes with this scanner's table,
    // whose keys' texts may be longer than the three bytes a byte LinesRoom
    // allows; LinesRoom without a table.
    std::size_t RoomFor(std::uint32_t nLength) const;
    // The builds of the scan, each giving the same runs: SSE2, AVX2, and AVX2
    // with PEXT (slow on AMD processors before Zen 3). A scanner uses the best
    // the processor runs; UseBuild picks another (at most that one) to compare.
    enum class Build { Sse2, Avx2, Avx2Pext };
    void UseBuild(Build build);
    static Build BestBuild();
    std::uint64_t Offset() const { return m_nOffset; }
    // The text of the run of nLength bytes at p, as the scan gives it, made
    // again from the bytes: a list of runs need not keep their texts. Leaves
    // the scanner at Offset() 0 with no run under way.
    std::string RunText(const std::uint8_t* p, std::uint32_t nLength);
    // True when no character since the last byte that ended a run is pending:
    // the scan from Offset() on goes as a new scan starting there would.
    bool BetweenRuns() const { return m_nChars == 0; }

    // The line --strings and Export write for a run: the offset in hexadecimal
    // (at least 8 digits), a tab, the text with tabs and newlines written as
    // \t and \n, and a newline.
    static void AppendLine(const CTextRun& run, std::string& out);

private:
    template <typename Sink>
    std::uint32_t ScanTable(const std::uint8_t* p, std::uint32_t nLength, bool bLast, char*& pOut, Sink& sink);
    template <typename Sink>
    std::uint32_t ScanImpl(const std::uint8_t* p, std::uint32_t nLength, bool bLast, char*& pOut, Sink& sink);
    // The UTF-8 of the character at any two bytes (see stringscan.cpp), made
    // when first asked for; for lines with tabs written as \t.
    const void* EmitTable(bool bLines);
    // The length of the character at p (0: none), reading at most nLeft bytes;
    // -1 when the character may go on past nLeft.
    int CharAt(const std::uint8_t* p, std::uint32_t nLeft, bool bLast, char32_t& ch) const;

    CTextDecoder m_decoder;
    std::shared_ptr<const CCharTable> m_pTable;
    // The most bytes a line may take for each byte read through the table.
    std::size_t m_nTableRoom = 0;
    int m_nMinChars;
    bool m_bNonAsciiOnly;
    // What each byte starts (see stringscan.cpp), for a code page with pairs
    // the UTF-8 of every lead and trail byte pair, and the tables EmitTable
    // makes from those.
    std::uint8_t m_class[256];
    std::uint32_t m_single[256];
    const void* m_pPairs = nullptr;
    std::unique_ptr<std::uint32_t[]> m_pEmit[2];
    // The ranges of lead and trail bytes, two each (as IsLeadByte and
    // IsTrailByte have them), for finding pairs 64 bytes at a time.
    std::uint8_t m_leads[4] = {};
    std::uint8_t m_trails[4] = {};
    bool m_bSingles = false;   // some byte from 0x80 is a character of its own
    bool m_singles[256];
    bool m_bBlocks = false;    // the scan may take 64 bytes at a time
    Build m_build = Build::Sse2;
    std::uint64_t m_nOffset = 0;
    // The run under way: where it starts, its bytes, characters and text.
    // For lines the text is kept after room for the line's offset and tab,
    // m_nPrefix bytes, which m_nTextBytes includes.
    std::uint64_t m_nRunOffset = 0;
    std::uint32_t m_nRunBytes = 0;
    int m_nChars = 0;
    bool m_bNonAscii = false;
    std::uint32_t m_nPrefix = 0;
    std::uint32_t m_nTextBytes = 0;
    std::unique_ptr<char[]> m_pText;
};
