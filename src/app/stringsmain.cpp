#include "stringsmain.h"

#include "chartable.h"
#include "cmdline.h"
#include "codepage.h"
#include "filereader.h"
#include "stringscan.h"

#include <memory>
#include <string>
#include <vector>

namespace {

const char kUsage[] = "Usage: zorbel --strings [--codepage N] [--table FILE.tbl] [--min N] [--cjk] [--] FILE\n";

// The file is read in parts of this many bytes; the first is short, so that
// the first lines go out before much is read.
constexpr std::uint32_t kPartBytes = 1u << 17;
constexpr std::uint32_t kFirstPartBytes = 1u << 14;
constexpr std::size_t kOutBytes = std::size_t(1) << 17;

bool PrintStrings(CFileReader& reader, const CFileCommandLine& cmd, int nCodePage,
                  std::shared_ptr<const CCharTable> pTable)
{
    CStringScanner scanner(nCodePage, cmd.nMinChars, cmd.bNonAsciiOnly);
    scanner.UseTable(std::move(pTable));
    // Room for a part and the few bytes of a character (or a table's key) the
    // last part cut off.
    std::vector<std::uint8_t> buffer(kPartBytes + 8);
    // The lines of a few parts go out in one write. The scanner builds them
    // in place, so the buffer has room for the most a part can give beyond
    // kOutBytes; only the pages written to are ever taken.
    const std::unique_ptr<char[]> pOut(new char[kOutBytes + scanner.RoomFor(kPartBytes + 8)]);
    char* pEnd = pOut.get();
    std::uint32_t nKept = 0;
    bool bFirst = true;
    for (bool bLast = false; !bLast;) {
        const std::uint32_t nWanted = bFirst ? kFirstPartBytes : kPartBytes;
        const std::uint32_t nGot = reader.Read(buffer.data() + nKept, nWanted);
        bLast = nGot < nWanted;
        const std::uint32_t nHeld = nKept + nGot;
        const std::uint32_t nDone = scanner.ScanLines(buffer.data(), nHeld, bLast, pEnd);
        nKept = nHeld - nDone;
        std::copy(buffer.begin() + nDone, buffer.begin() + nHeld, buffer.begin());
        if (bFirst || bLast || std::size_t(pEnd - pOut.get()) >= kOutBytes) {
            if (!WriteOutput(pOut.get(), std::size_t(pEnd - pOut.get())))
                return false;
            pEnd = pOut.get();
        }
        if (bFirst && !FlushOutput())
            return false;
        bFirst = false;
    }
    return true;
}

} // namespace

int StringsMain(int argc, char* argv[])
{
    CFileCommandLine cmd;
    if (const int nStatus = ParseFileCommandLine(argc, argv, "--strings", false, kUsage, cmd))
        return nStatus;

    std::shared_ptr<CCharTable> pTable;
    if (cmd.pszTable) {
        pTable = std::make_shared<CCharTable>();
        if (!LoadTableOption(cmd, *pTable))
            return 1;
        // The table reads the text whatever the code page: none is guessed.
        cmd.nCodePage = kShownCodePages[0];
    }
    return PrintFile(cmd, [&cmd, pTable](CFileReader& reader, int nCodePage) {
        return PrintStrings(reader, cmd, nCodePage, pTable);
    });
}
