// Row text, row formatting and code-page detection against their plain
// versions, and dump lines against the row and the decoder, in every code page:
// the input is the file's bytes.

#include "codepage.h"
#include "fuzzinput.h"
#include "hexdoc.h"
#include "plainrules.h"
#include "rowformat.h"
#include "textdecoder.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    if (nSize > 4096)
        return 0;
    CHexDoc doc;
    doc.SetContents(QByteArray(reinterpret_cast<const char*>(pData), qsizetype(nSize)));
    const std::uint8_t* p = doc.Data();
    const std::uint32_t n = doc.GetSize();

    // By each kind of block the processor has: AVX-512, AVX2, SSE2.
    for (const int nBlocks : {0, 1, 2}) {
        AllowAvx512Detection(nBlocks == 0);
        AllowAvx2Detection(nBlocks == 1);
        FUZZ_CHECK(DetectCodePage(p, n) == Plain::DetectCodePage(p, n));
        // Detection never reads past the length given, end marker or not.
        FUZZ_CHECK(DetectCodePage(p, n - 1) == Plain::DetectCodePage(p, n - 1));
    }
    AllowAvx512Detection(true);
    AllowAvx2Detection(true);

    for (const int nCodePage : kFuzzCodePages) {
        doc.SetCodePage(nCodePage);
        const std::vector<bool> starts = Plain::PairStarts(p, n, nCodePage);
        CRowFormat rows;
        const std::uint32_t nRows = (n + 15) / 16;
        for (std::uint32_t nRow = 0; nRow <= nRows; ++nRow) {
            const std::uint32_t nOffset = nRow * 16;
            const bool bContinued = nOffset > 0 && nOffset < n && starts[nOffset - 1];
            FUZZ_CHECK(rows.IsRowContinued(doc, nRow, true) == bContinued);
            FUZZ_CHECK(rows.IsRowContinued(doc, nRow, false) == (nOffset + 15 < n && starts[nOffset + 15]));

            for (const bool bContinuation : {false, true}) {
                std::uint8_t hex[CRowFormat::kMaxTextLength], plainHex[CRowFormat::kMaxTextLength];
                char text[CRowFormat::kMaxTextLength], plainText[CRowFormat::kMaxTextLength];
                const std::uint32_t got = CRowFormat::GetRowText(p, n, nCodePage, nOffset, hex, text, bContinuation);
                const std::uint32_t want = Plain::RowText(p, n, nCodePage, nOffset, plainHex, plainText, bContinuation);
                FUZZ_CHECK(got == want);
                FUZZ_CHECK(std::memcmp(hex, plainHex, got) == 0);
                FUZZ_CHECK(std::memcmp(text, plainText, got) == 0);
            }

            char row[CRowFormat::kMaxRowLength];
            bool bNext = bContinued;
            const int nLength = CRowFormat::FormatRow(doc, nRow, row, bNext);
            const std::vector<char> plain = Plain::FormattedRow(p, n, nCodePage, nRow, bContinued);
            FUZZ_CHECK(std::size_t(nLength) == plain.size());
            FUZZ_CHECK(std::memcmp(row, plain.data(), plain.size()) == 0);
            FUZZ_CHECK(bNext == (nOffset + 15 < n && starts[nOffset + 15]));

            // A dump line at any offset, the text column kept in registers or not,
            // by each fast path the processor has.
            const CTextDecoder decoder(nCodePage);
            for (std::uint32_t nAt = nOffset; nAt < nOffset + 16 && nAt < n; ++nAt) {
                for (const int nPath : {0, 1, 2, 3, 4, 5, 6, 7}) {
                    // AVX-512 by a gather and by scalar loads, AVX2 and SSSE3,
                    // each continued or not.
                    const bool bAvx512 = nPath >= 4;
                    const bool bAvx2 = nPath >= 2 && nPath < 4;
                    const bool bContinuation = (nPath & 1) != 0;
                    if (CRowFormat::AllowAvx512(bAvx512) != bAvx512 || CRowFormat::AllowAvx2(bAvx2) != bAvx2)
                        continue;
                    CRowFormat::UseGather(nPath < 6);
                    char line[256], expected[256];
                    bool bLineNext = bContinuation;
                    bool bExpectedNext = bContinuation;
                    const char* pEnd = CRowFormat::FormatLine(p, n, nAt, decoder, line, bLineNext);
                    const int nRowLength = CRowFormat::FormatRow(p, n, nCodePage, nAt, expected, bExpectedNext);
                    char* pText = expected + CRowFormat::kHexPartLength;
                    const char* pExpectedEnd = decoder.ToUtf8(pText, nRowLength - CRowFormat::kHexPartLength, pText);
                    FUZZ_CHECK(pEnd - line == pExpectedEnd - expected);
                    FUZZ_CHECK(std::memcmp(line, expected, std::size_t(pEnd - line)) == 0);
                    FUZZ_CHECK(bLineNext == bExpectedNext);
                }
                CRowFormat::UseProcessorsChoices();
            }
        }

        // The lines of the whole input by FormatLines, which takes rows
        // together where it can, as the rows one by one make them; from near
        // 16 MiB, so that the offsets' digits grow among them.
        const CTextDecoder decoder(nCodePage);
        const std::uint64_t nFileOffset = 0xFFFFC0;
        const int nColumns = CRowFormat::OffsetColumns(nFileOffset + n);
        constexpr int kMaxLine = 16 + 2 + CRowFormat::kHexPartLength + CRowFormat::kMaxTextLength * 3 + 16 + 1;
        std::vector<char> expected;
        bool bExpectedNext = false;
        for (std::uint32_t nRow = 0; nRow < nRows; ++nRow) {
            char line[kMaxLine];
            char* pEnd = line + CRowFormat::FormatOffset(nFileOffset + 16 * nRow, nColumns, line);
            const int nRowLength = CRowFormat::FormatRow(p, n, nCodePage, nRow * 16, pEnd, bExpectedNext);
            char* pText = pEnd + CRowFormat::kHexPartLength;
            pEnd = decoder.ToUtf8(pText, nRowLength - CRowFormat::kHexPartLength, pText);
            while (pEnd > line && pEnd[-1] == ' ')
                --pEnd;
            expected.insert(expected.end(), line, pEnd);
            expected.push_back('\n');
        }
        for (const int nPath : {0, 1, 2, 3}) {
            // AVX-512 by a gather and by scalar loads, AVX2, SSSE3.
            const bool bAvx512 = nPath < 2;
            if (CRowFormat::AllowAvx512(bAvx512) != bAvx512 || CRowFormat::AllowAvx2(nPath == 2) != (nPath == 2))
                continue;
            CRowFormat::UseGather(nPath == 0);
            std::vector<char> lines(std::size_t(nRows) * kMaxLine);
            bool bNext = false;
            const char* pEnd =
                CRowFormat::FormatLines(p, n, 0, nRows, nFileOffset, nColumns, decoder, lines.data(), bNext);
            FUZZ_CHECK(std::size_t(pEnd - lines.data()) == expected.size());
            FUZZ_CHECK(std::memcmp(lines.data(), expected.data(), expected.size()) == 0);
            FUZZ_CHECK(bNext == bExpectedNext);
        }
        CRowFormat::UseProcessorsChoices();
    }
    return 0;
}
