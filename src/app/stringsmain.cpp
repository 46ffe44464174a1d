#include "stringsmain.h"

#include "chartable.h"
#include "cmdline.h"
#include "codepage.h"
#include "fileexception.h"
#include "filename.h"
#include "filereader.h"
#include "stringscan.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kUsage[] = "Usage: zorbel --strings [--codepage N] [--table FILE.tbl] [--min N] [--cjk] [--] FILE\n";

// The file is read in parts of this many bytes; the first is short, so that
// the first lines go out before much is read.
constexpr std::uint32_t kPartBytes = 1u << 17;
constexpr std::uint32_t kFirstPartBytes = 1u << 14;
constexpr std::size_t kOutBytes = std::size_t(1) << 17;

// The lines of the parts scanned so far, written out a few parts at a time.
class CLineOutput {
public:
    explicit CLineOutput(const CStringScanner& scanner)
        // The scanner builds the lines in place, so the buffer has room for
        // the most a part can give beyond kOutBytes; only the pages written
        // to are ever taken.
        : m_pOut(new char[kOutBytes + scanner.RoomFor(kPartBytes + 8)]), m_pEnd(m_pOut.get())
    {
    }

    std::uint32_t PartBytes() const { return m_bFirst ? kFirstPartBytes : kPartBytes; }

    // Scans the n bytes at p, at most PartBytes() + 8 of them, and writes out
    // the lines once they fill the buffer, after the first part and after the
    // last. Returns the bytes scanned, or -1 once the output cannot be written.
    std::int64_t Scan(CStringScanner& scanner, const std::uint8_t* p, std::uint32_t n, bool bLast)
    {
        const std::uint32_t nDone = scanner.ScanLines(p, n, bLast, m_pEnd);
        if (m_bFirst || bLast || std::size_t(m_pEnd - m_pOut.get()) >= kOutBytes) {
            if (!WriteOutput(m_pOut.get(), std::size_t(m_pEnd - m_pOut.get())))
                return -1;
            m_pEnd = m_pOut.get();
        }
        if (m_bFirst && !FlushOutput())
            return -1;
        m_bFirst = false;
        return nDone;
    }

private:
    const std::unique_ptr<char[]> m_pOut;
    char* m_pEnd;
    bool m_bFirst = true;
};

bool PrintRead(CFileReader& reader, CStringScanner& scanner, CLineOutput& output)
{
    // Room for a part and the few bytes of a character (or a table's key) the
    // last part cut off.
    std::vector<std::uint8_t> buffer(kPartBytes + 8);
    std::uint32_t nKept = 0;
    for (bool bLast = false; !bLast;) {
        const std::uint32_t nWanted = output.PartBytes();
        const std::uint32_t nGot = reader.Read(buffer.data() + nKept, nWanted);
        bLast = nGot < nWanted;
        const std::uint32_t nHeld = nKept + nGot;
        const std::int64_t nDone = output.Scan(scanner, buffer.data(), nHeld, bLast);
        if (nDone < 0)
            return false;
        nKept = nHeld - std::uint32_t(nDone);
        std::copy(buffer.begin() + nDone, buffer.begin() + nHeld, buffer.begin());
    }
    return true;
}

// Scans the file through read-only mappings of kMapWindowBytes, without the
// copy into a buffer that reading makes. The file's length is taken again
// before each window, so that a file that shrinks or grows between windows is
// read as Read would read it. Returns false once the output cannot be
// written; throws when the file cannot be read; bMapped is false when the
// file cannot be mapped at all (the kernel's files, some file systems), and
// nothing was read.
bool PrintMapped(int fd, const QString& path, CStringScanner& scanner, CLineOutput& output, bool& bMapped)
{
    const std::uint64_t nPage = std::uint64_t(::sysconf(_SC_PAGESIZE));
    const CBusErrorHandler handler;
    bMapped = true;
    for (bool bFirst = true;; bFirst = false) {
        struct stat st;
        if (::fstat(fd, &st) != 0)
            throw CFileException::FromErrno(errno, path);
        const std::uint64_t nAt = scanner.Offset();
        const std::uint64_t nSize = std::max(std::uint64_t(st.st_size), nAt);
        if (nSize == nAt) {
            // Nothing past what was scanned: the run under way ends.
            const std::uint8_t none = 0;
            return output.Scan(scanner, &none, 0, true) >= 0;
        }
        const std::uint64_t nStart = nAt & ~(nPage - 1);
        const std::uint64_t nEnd = std::min(nSize, nStart + kMapWindowBytes);
        const bool bLast = nEnd == nSize;
        const std::size_t nMapped = std::size_t(nEnd - nStart);
        void* const pMap = ::mmap(nullptr, nMapped, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, off_t(nStart));
        if (pMap == MAP_FAILED) {
            bMapped = !bFirst;
            if (bFirst)
                return true;
            throw CFileException::FromErrno(errno, path);
        }
        if (sigsetjmp(g_busError, 1) != 0) {
            ::munmap(pMap, nMapped);
            throw CFileException(CFileException::changedWhileOpen, path);
        }
        const std::uint8_t* p = static_cast<const std::uint8_t*>(pMap) + (nAt - nStart);
        std::uint32_t nLeft = std::uint32_t(nEnd - nAt);
        // The window in parts, as they are read; the few bytes of a
        // character the window's end cuts off start the next window.
        bool bOk = true;
        for (;;) {
            const std::uint32_t nPart = std::min(nLeft, output.PartBytes());
            const bool bRest = nPart == nLeft;
            const std::int64_t nDone = output.Scan(scanner, p, nPart, bLast && bRest);
            if (nDone < 0) {
                bOk = false;
                break;
            }
            p += nDone;
            nLeft -= std::uint32_t(nDone);
            if (bRest)
                break;
        }
        ::munmap(pMap, nMapped);
        if (!bOk || bLast)
            return bOk;
    }
}

bool PrintStrings(CFileReader& reader, const CFileCommandLine& cmd, int nCodePage,
                  std::shared_ptr<const CCharTable> pTable, const QString& path)
{
    CStringScanner scanner(nCodePage, cmd.nMinChars, cmd.bNonAsciiOnly);
    scanner.UseTable(std::move(pTable));
    CLineOutput output(scanner);
    // Files the kernel makes as they are read (length 0) and standard input
    // copied to a file are read as they always were.
    if (reader.Size() > 0 && path != QLatin1String("-")) {
        bool bMapped = false;
        const bool bOk = PrintMapped(reader.Handle(), path, scanner, output, bMapped);
        if (bMapped)
            return bOk;
    }
    return PrintRead(reader, scanner, output);
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
    const QString path = AfxDecodeFileName(cmd.pszPath);
    return PrintFile(cmd, [&cmd, pTable, &path](CFileReader& reader, int nCodePage) {
        return PrintStrings(reader, cmd, nCodePage, pTable, path);
    });
}
