#include "dump.h"

#include "chartable.h"
#include "cmdline.h"
#include "codepage.h"
#include "dumptable.h"
#include "filereader.h"
#include "pendingblocks.h"
#include "rowformat.h"
#include "textdecoder.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <vector>

namespace {

const char kUsage[] = "Usage: zorbel --dump [--codepage N] [--table FILE.tbl] [--] FILE\n";

// The file is read and its rows formatted in blocks of this many rows; the
// first block is short, so that the first line goes out before much is read.
constexpr std::uint32_t kBlockRows = 1u << 14;
constexpr std::uint32_t kBlockBytes = kBlockRows * 16;
constexpr std::uint32_t kFirstBlockRows = 64;

// A row's text may take up to this many bytes of the next row.
constexpr std::uint32_t kLookAhead = CRowFormat::kMaxTextLength - 16;

// One block of rows: the file's bytes from nOffset, with the ones after them a
// row's text may read (from the next block, or the end marker).
struct Block {
    std::uint64_t nOffset = 0;
    std::uint32_t nRows = kBlockRows;  // rows unless the file ends in them
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kBlockBytes + kLookAhead + 1);
    std::uint32_t nSize = 0;   // bytes held, the ones after the rows included
    bool bLast = false;
    bool bContinued = false;   // the first row begins with a trail byte
    bool bSpills = false;      // formatted: its last row's pair takes the next block's first byte
    std::vector<char> out;
};

// Whether the last row of a block that is not the file's last spills a
// character into the next block.
bool SpillsOver(const Block& block, int nCodePage)
{
    const std::uint32_t nLast = block.nRows * 16 - 1;
    const std::uint8_t* p = block.bytes.data();
    return IsLeadByte(nCodePage, p[nLast]) && IsTrailByte(nCodePage, p[nLast + 1])
        && CRowFormat::LandsOn(p, block.bContinued ? 1 : 0, nLast, nCodePage);
}

// Formats the block's rows as dump lines into its output and returns their length.
std::size_t FormatBlock(Block& block, const CTextDecoder& decoder, int nOffsetColumns)
{
    // A line is at most the offset (up to 16 digits and two blanks), the hex part
    // and the text bytes of up to 3 UTF-8 bytes each (a pair takes 2 cells and
    // at most 4 bytes; a UTF-8 character takes as many bytes as it had and a
    // blank for each of its other cells), the 16 bytes the decoder may write past
    // its end, and the newline.
    constexpr std::size_t kMaxLine = 16 + 2 + CRowFormat::kHexPartLength + CRowFormat::kMaxTextLength * 3 + 16 + 1;
    const std::uint32_t nRows = block.bLast ? (block.nSize + 15) / 16 : block.nRows;
    block.out.resize(std::size_t(nRows) * kMaxLine);
    bool bContinued = block.bContinued;
    const char* p = CRowFormat::FormatLines(block.bytes.data(), block.nSize, 0, nRows, block.nOffset, nOffsetColumns,
                                            decoder, block.out.data(), bContinued);
    block.bSpills = bContinued;
    return std::size_t(p - block.out.data());
}

// Reads the file block by block, formats blocks on every core a few ahead of
// the output and writes them in order as each is done, the first as soon as it
// is; memory stays a few blocks whatever the file's length. Returns false once
// the output cannot be written.
bool DumpFile(CFileReader& reader, int nCodePage)
{
    const CTextDecoder decoder(nCodePage);
    // Every row's offset takes the columns of the last one.
    const int nOffsetColumns = CRowFormat::OffsetColumns(reader.Size());
    const std::size_t nAhead = CPendingBlocks<Block>::Ahead();
    // The blocks go round: one written is the next to be read into.
    std::vector<Block> blocks(nAhead);
    CPendingBlocks<Block> pending;
    std::size_t nNext = 0;
    std::uint64_t nOffset = 0;
    bool bContinued = false;
    bool bDone = false;
    // The bytes after the rows of the block read last, which begin the next.
    std::uint8_t carried[kLookAhead];
    std::uint32_t nCarried = 0;
    bool bWritten = true;
    while (bWritten && (!bDone || !pending.empty())) {
        while (!bDone && pending.size() < nAhead) {
            if (!pending.empty()
                && pending.front().second.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
                break;
            Block& block = blocks[nNext % nAhead];
            block.nRows = nNext++ == 0 ? kFirstBlockRows : kBlockRows;
            const std::uint32_t nBlockBytes = block.nRows * 16;
            block.nOffset = nOffset;
            block.bContinued = bContinued;
            std::memcpy(block.bytes.data(), carried, nCarried);
            const std::uint32_t nWanted = nBlockBytes + kLookAhead;
            std::uint32_t nHeld = nCarried + reader.Read(block.bytes.data() + nCarried, nWanted - nCarried);
            block.bLast = nHeld <= nBlockBytes;
            nCarried = block.bLast ? 0 : nHeld - nBlockBytes;
            std::memcpy(carried, block.bytes.data() + nBlockBytes, nCarried);
            // The file ends here: the end marker follows, as in a document.
            if (nHeld < nWanted)
                block.bytes[nHeld++] = 0xFF;
            block.nSize = nHeld;
            bDone = block.bLast;
            // Formatted ahead on other threads, the next block needs the
            // pairing at this one's end first; formatted at once on this
            // thread, the lines tell it, without walking back over a run of
            // lead bytes (a file of 0xCD is one run).
            if (!bDone && !pending.FormatsAtOnce())
                bContinued = SpillsOver(block, nCodePage);
            nOffset += nBlockBytes;
            pending.Start(&block, [&block, &decoder, nOffsetColumns] {
                return FormatBlock(block, decoder, nOffsetColumns);
            });
            if (!bDone && pending.FormatsAtOnce())
                bContinued = block.bSpills;
        }
        const std::size_t nLength = pending.front().second.get();
        bWritten = WriteOutput(pending.front().first->out.data(), nLength);
        // The first block goes out whole, not partly kept in the stream's buffer.
        if (bWritten && pending.front().first->nOffset == 0)
            bWritten = FlushOutput();
        pending.pop_front();
    }
    return bWritten;
}

} // namespace

int DumpMain(int argc, char* argv[])
{
    CFileCommandLine cmd;
    if (const int nStatus = ParseFileCommandLine(argc, argv, "--dump", false, kUsage, cmd))
        return nStatus;

    if (cmd.pszTable) {
        CCharTable table;
        if (!LoadTableOption(cmd, table))
            return 1;
        // The table reads the text whatever the code page: none is guessed.
        cmd.nCodePage = kShownCodePages[0];
        return PrintFile(cmd, [&table](CFileReader& reader, int) { return DumpThroughTable(reader, table); });
    }
    return PrintFile(cmd, [](CFileReader& reader, int nCodePage) { return DumpFile(reader, nCodePage); });
}
