#include "stringsmain.h"

#include "cmdline.h"
#include "filereader.h"
#include "stringscan.h"

#include <memory>
#include <vector>

namespace {

const char kUsage[] = "Usage: zorbel --strings [--codepage N] [--min N] [--cjk] [--] FILE\n";

// The file is read in parts of this many bytes; the first is short, so that
// the first lines go out before much is read.
constexpr std::uint32_t kPartBytes = 1u << 17;
constexpr std::uint32_t kFirstPartBytes = 1u << 14;
constexpr std::size_t kOutBytes = std::size_t(1) << 17;

bool PrintStrings(CFileReader& reader, const CFileCommandLine& cmd, int nCodePage)
{
    CStringScanner scanner(nCodePage, cmd.nMinChars, cmd.bNonAsciiOnly);
    // Room for a part and the few bytes of a character the last part cut off.
    std::vector<std::uint8_t> buffer(kPartBytes + 8);
    // The lines of a few parts go out in one write. The scanner builds them
    // in place, so the buffer has room for the most a part can give beyond
    // kOutBytes; only the pages written to are ever taken.
    const std::unique_ptr<char[]> pOut(new char[kOutBytes + CStringScanner::LinesRoom(kPartBytes + 8)]);
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

    return PrintFile(cmd, [&cmd](CFileReader& reader, int nCodePage) { return PrintStrings(reader, cmd, nCodePage); });
}
