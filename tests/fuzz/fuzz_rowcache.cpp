// The row cache (CRowFormat::IsRowContinued) under random edits and code-page
// changes, against a walk from offset 0. The input chooses a code page, a
// length of up to three of the cache's 64 KiB blocks and a short pattern that
// fills it, then edits and questions about rows, most of them near the
// blocks' edges.

#include "fuzzinput.h"
#include "hexdoc.h"
#include "plainrules.h"
#include "rowformat.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

void Install(CHexDoc& doc, const std::vector<std::uint8_t>& bytes)
{
    doc.SetContents(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    constexpr std::uint32_t kBlock = 0x10000;
    CFuzzInput in(pData, nSize);
    CHexDoc doc;
    doc.SetCodePage(kFuzzCodePages[in.Below(kFuzzCodePageCount)]);
    const std::uint32_t nLength = in.Below(3 * kBlock + 64);
    std::size_t nPattern = 1 + in.Byte() % 32;
    const std::uint8_t* pPattern = in.Take(nPattern);
    std::vector<std::uint8_t> bytes(nLength, 0x81);
    for (std::uint32_t i = 0; nPattern && i < nLength; ++i)
        bytes[i] = pPattern[i % nPattern];
    Install(doc, bytes);

    CRowFormat rows;
    std::vector<bool> starts;
    bool bStale = true;
    for (int nStep = 0; nStep < 64 && !in.AtEnd(); ++nStep) {
        const std::uint32_t nEnd = doc.GetSize() - 1;
        // A place near a block's edge, or anywhere.
        const std::uint32_t nPos = in.Bit() ? std::min<std::uint32_t>(nEnd, in.Below(nEnd / kBlock + 1) * kBlock + in.Byte() % 32 - 16)
                                            : in.Below(nEnd + 1);
        switch (in.Byte() % 6) {
        case 0: // overwrite a byte
            if (nPos < nEnd) {
                bytes[nPos] = in.Byte();
                doc.SetByte(nPos, bytes[nPos]);
                if (in.Bit())
                    rows.ReplaceInRowCache(nPos, 1, 1);
                else
                    rows.InvalidateRowCache(nPos);
                bStale = true;
            }
            break;
        case 1: { // insert bytes
            const std::size_t n = 1 + in.Byte() % 8;
            const std::uint8_t b = in.Byte();
            bytes.insert(bytes.begin() + nPos, n, b);
            Install(doc, bytes);
            if (in.Bit())
                rows.ReplaceInRowCache(nPos, 0, std::uint32_t(n));
            else
                rows.InvalidateRowCache(nPos);
            bStale = true;
            break;
        }
        case 2: { // delete bytes
            const std::uint32_t n = std::min<std::uint32_t>(1 + in.Byte() % 8, nEnd - nPos);
            bytes.erase(bytes.begin() + nPos, bytes.begin() + nPos + n);
            Install(doc, bytes);
            if (in.Bit())
                rows.ReplaceInRowCache(nPos, n, 0);
            else
                rows.InvalidateRowCache(nPos);
            bStale = true;
            break;
        }
        case 3: // another code page; the cache notices by itself
            doc.SetCodePage(kFuzzCodePages[in.Below(kFuzzCodePageCount)]);
            bStale = true;
            break;
        default: { // ask about the row at that place and its neighbours
            if (bStale) {
                starts = Plain::PairStarts(doc.Data(), doc.GetSize(), doc.GetCodePage());
                bStale = false;
            }
            const std::uint32_t nRow = nPos / 16;
            for (std::uint32_t r = nRow > 0 ? nRow - 1 : 0; r <= nRow + 1; ++r) {
                const std::uint64_t nOffset = std::uint64_t(r) * 16;
                const bool bAtStart = nOffset > 0 && nOffset < doc.GetSize() && starts[nOffset - 1];
                const bool bAtEnd = nOffset + 15 < doc.GetSize() && starts[nOffset + 15];
                FUZZ_CHECK(rows.IsRowContinued(doc, r, true) == bAtStart);
                FUZZ_CHECK(rows.IsRowContinued(doc, r, false) == bAtEnd);
            }
            break;
        }
        }
    }
    return 0;
}
