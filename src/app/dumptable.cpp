#include "dumptable.h"

#include "chartable.h"
#include "filereader.h"
#include "rowformat.h"
#include "tablerow.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kBlockRows = 1u << 14;
constexpr std::uint32_t kBlockBytes = kBlockRows * 16;
// A key that starts in a block's last row may take this many bytes of the next.
constexpr std::uint32_t kLookAhead = CCharTable::kMaxKeyLength - 1;

} // namespace

// The file goes through in blocks, each read with the bytes a key starting in
// its last row may need; the walk's place is handed from block to block.
bool DumpThroughTable(CFileReader& reader, const CCharTable& table)
{
    std::vector<std::uint8_t> bytes(kBlockBytes + kLookAhead + 1);
    std::uint32_t nCarried = 0;
    std::uint32_t nOffset = 0;
    std::uint32_t nLanding = 0;   // from the block's start
    std::string out;
    out.reserve(std::size_t(kBlockRows) * 160);
    for (bool bLast = false; !bLast;) {
        const std::uint32_t nHeld =
            nCarried + reader.Read(bytes.data() + nCarried, kBlockBytes + kLookAhead - nCarried);
        bLast = nHeld <= kBlockBytes;
        // Past the file's last byte the end marker follows, as in a document,
        // for the last row's blank pairs.
        if (nHeld < kBlockBytes + kLookAhead)
            bytes[nHeld] = 0xFF;
        const std::uint32_t nRows = bLast ? nHeld / 16 + 1 : kBlockRows;
        out.clear();
        char row[CRowFormat::kMaxRowLength];
        for (std::uint32_t r = 0; r < nRows; ++r) {
            char offset[CRowFormat::kOffsetColumns];
            CRowFormat::FormatOffset(nOffset + r * 16, offset);
            out.append(offset, CRowFormat::kOffsetColumns);
            bool bContinued = false;
            CRowFormat::FormatRow(bytes.data(), bLast ? nHeld + 1 : nHeld, 1252, r * 16, row, bContinued);
            out.append(row, CRowFormat::kHexPartLength);
            nLanding = CTableRow::AppendUtf8(table, bytes.data(), nHeld, r * 16, nLanding, out);
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            out += '\n';
        }
        if (!WriteOutput(out.data(), out.size()))
            return false;
        nCarried = bLast ? 0 : nHeld - kBlockBytes;
        std::memmove(bytes.data(), bytes.data() + kBlockBytes, nCarried);
        nLanding -= bLast ? 0 : kBlockBytes;
        nOffset += kBlockBytes;
    }
    return true;
}
