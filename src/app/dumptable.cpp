#include "dumptable.h"

#include "chartable.h"
#include "filereader.h"
#include "pendingblocks.h"
#include "rowformat.h"
#include "tablerow.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <vector>

namespace {

constexpr std::uint32_t kBlockRows = 1u << 14;
constexpr std::uint32_t kBlockBytes = kBlockRows * 16;
// A key that starts in a block's last row may take this many bytes of the next.
constexpr std::uint32_t kLookAhead = CCharTable::kMaxKeyLength - 1;
// The bytes before a block kept with it, where the walks that find the
// block's first landing begin.
constexpr std::uint32_t kHistory = 4096;

struct Block {
    std::uint64_t nOffset = 0;
    // kHistory bytes before the block (zeros before the file's start), then
    // the block's.
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kHistory + kBlockBytes + kLookAhead + 1);
    std::uint8_t* Bytes() { return buffer.data() + kHistory; }
    std::uint32_t nHeld = 0;      // the file's bytes held, those after the rows included
    bool bLast = false;
    std::uint32_t nLanding = 0;   // where the walk first lands in the block, from its start
    std::vector<char> out;
};

std::size_t FormatBlock(Block& block, const CCharTable& table, int nOffsetColumns)
{
    // A line: the offset (wider than planned only in a file that grew while
    // it was read), the hex part, the text column and the newline.
    const std::size_t nMaxLine = std::size_t(std::max(nOffsetColumns, 18)) + CRowFormat::kMaxRowLength
                                 + CTableRow::MaxUtf8(table) + 1;
    const std::uint32_t nRows = block.bLast ? block.nHeld / 16 + 1 : kBlockRows;
    block.out.resize(std::size_t(nRows) * nMaxLine);
    const std::uint8_t* pData = block.Bytes();
    std::uint32_t nLanding = block.nLanding;
    // The rows whose 16 bytes and the byte after them are held go in one
    // call; the last rows of the file, with its end, one by one.
    const std::uint32_t nWhole = std::min(nRows, block.nHeld > 16 ? (block.nHeld - 17) / 16 + 1 : 0);
    char* p = CTableRow::FormatLines(table, pData, block.nHeld, nWhole, block.nOffset, nOffsetColumns, nLanding,
                                     block.out.data());
    for (std::uint32_t r = nWhole; r < nRows; ++r) {
        char* line = p;
        p += CRowFormat::FormatOffset(block.nOffset + r * 16, nOffsetColumns, p);
        // The hex part; the last row's, with its end marker and blank pairs,
        // comes with a text column in 1252, which the table's text overwrites.
        const std::uint32_t nSize = block.bLast ? block.nHeld + 1 : block.nHeld;
        if (nSize - r * 16 > 16) {
            CRowFormat::FormatHexPart(pData + r * 16, p);
        } else {
            bool bContinued = false;
            CRowFormat::FormatRow(pData, nSize, 1252, r * 16, p, bContinued);
        }
        p += CRowFormat::kHexPartLength;
        nLanding = CTableRow::WriteUtf8(table, pData, block.nHeld, r * 16, nLanding, p);
        while (p > line && p[-1] == ' ')
            --p;
        *p++ = '\n';
    }
    return std::size_t(p - block.out.data());
}

} // namespace

// The file goes through in blocks, each read with the bytes a key starting in
// its last row may need. Where the walk stands at a block's start is found
// from the bytes just before it (CCharTable::LandingWithin), or where those
// do not tell, by walking the block before; the rows are then formatted on
// every core a few blocks ahead of the output, as --dump does.
bool DumpThroughTable(CFileReader& reader, const CCharTable& table)
{
    const int nOffsetColumns = CRowFormat::OffsetColumns(reader.Size());
    const std::size_t nAhead = CPendingBlocks<Block>::Ahead();
    std::vector<Block> blocks(nAhead);
    CPendingBlocks<Block> pending;
    std::size_t nNext = 0;
    std::uint64_t nOffset = 0;
    std::uint32_t nLanding = 0;
    // The last bytes of the block read before, its history and the bytes
    // after its rows: the next block's history and first bytes.
    std::vector<std::uint8_t> carried(kHistory + kLookAhead);
    std::uint32_t nCarried = 0;
    const Block* pBefore = nullptr;
    bool bDone = false;
    bool bWritten = true;
    while (bWritten && (!bDone || !pending.empty())) {
        while (!bDone && pending.size() < nAhead) {
            Block& block = blocks[nNext++ % nAhead];
            block.nOffset = nOffset;
            std::memcpy(block.buffer.data(), carried.data(), kHistory + nCarried);
            std::uint8_t* pData = block.Bytes();
            block.nHeld = nCarried + reader.Read(pData + nCarried, kBlockBytes + kLookAhead - nCarried);
            block.bLast = block.nHeld <= kBlockBytes;
            // Past the file's last byte the end marker follows, as in a
            // document, for the last row's blank pairs.
            if (block.nHeld < kBlockBytes + kLookAhead)
                pData[block.nHeld] = 0xFF;
            if (nOffset == 0) {
                block.nLanding = 0;
            } else if (table.LandingWithin(block.buffer.data(), kHistory + block.nHeld, kHistory, nLanding)) {
                block.nLanding = nLanding - kHistory;
            } else {
                // The block before is still in its buffer: only this
                // loop refills buffers, and never that one next.
                const std::uint8_t* pPrevious = pBefore->buffer.data() + kHistory;
                block.nLanding =
                    table.WalkTo(pPrevious, pBefore->nHeld, pBefore->nLanding, kBlockBytes) - kBlockBytes;
            }
            nCarried = block.bLast ? 0 : block.nHeld - kBlockBytes;
            std::memcpy(carried.data(), pData + kBlockBytes - kHistory, kHistory + nCarried);
            bDone = block.bLast;
            pBefore = &block;
            nOffset += kBlockBytes;
            pending.Start(&block, [&block, &table, nOffsetColumns] {
                return FormatBlock(block, table, nOffsetColumns);
            });
        }
        const std::size_t nLength = pending.front().second.get();
        bWritten = WriteOutput(pending.front().first->out.data(), nLength);
        pending.pop_front();
    }
    return bWritten;
}
