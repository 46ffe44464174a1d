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

// Scans the mapping of the file's bytes from nStart to nEnd, from nAt on, in
// parts as they are read; the few bytes of a character the window's end cuts
// off start the next part. Returns false once the output cannot be written,
// and sets bMapped false when the window cannot be mapped.
bool ScanMappedWindow(int fd, const QString& path, std::uint64_t nStart, std::uint64_t nAt, std::uint64_t nEnd,
                      bool bLast, CStringScanner& scanner, CLineOutput& output, bool& bMapped)
{
    const std::size_t nMapped = std::size_t(nEnd - nStart);
    void* const pMap = ::mmap(nullptr, nMapped, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, off_t(nStart));
    bMapped = pMap != MAP_FAILED;
    if (!bMapped)
        return true;
    if (sigsetjmp(g_busError, 1) != 0) {
        ::munmap(pMap, nMapped);
        throw CFileException(CFileException::changedWhileOpen, path);
    }
    const std::uint8_t* p = static_cast<const std::uint8_t*>(pMap) + (nAt - nStart);
    std::uint32_t nLeft = std::uint32_t(nEnd - nAt);
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
    return bOk;
}

// Scans a regular file from the scanner's offset on, a part at a time, the way
// CReadingWay takes: a read-only mapping of kMapWindowBytes, without the copy
// into a buffer that reading makes, or a read of a part into a buffer. The
// file's length is taken again before each part, so that a file that shrinks
// or grows meanwhile is read as Read would read it. Returns false once the
// output cannot be written; throws when the file cannot be read.
bool PrintByParts(CFileReader& reader, const QString& path, CStringScanner& scanner, CLineOutput& output)
{
    const int fd = reader.Handle();
    const std::uint64_t nPage = std::uint64_t(::sysconf(_SC_PAGESIZE));
    const CBusErrorHandler handler;
    CReadingWay reading;
    // Room for a part and the few bytes of a character (or a table's key) the
    // last part cut off.
    std::vector<std::uint8_t> buffer(kPartBytes + 8);
    for (;;) {
        struct stat st;
        if (::fstat(fd, &st) != 0)
            throw CFileException::FromErrno(errno, path);
        const std::uint64_t nAt = scanner.Offset();
        const std::uint64_t nSize = std::max(std::uint64_t(std::max<off_t>(st.st_size, 0)), nAt);
        if (nSize == nAt) {
            // Nothing past what was scanned: the run under way ends.
            const std::uint8_t none = 0;
            return output.Scan(scanner, &none, 0, true) >= 0;
        }
        reading.Start();
        if (reading.MapAt(nAt)) {
            const std::uint64_t nStart = nAt & ~(nPage - 1);
            const std::uint64_t nEnd = std::min(nSize, nStart + kMapWindowBytes);
            bool bMapped = false;
            const bool bOk = ScanMappedWindow(fd, path, nStart, nAt, nEnd, nEnd == nSize, scanner, output, bMapped);
            if (bMapped) {
                reading.Spent(true, nEnd - nAt);
                if (!bOk || nEnd == nSize)
                    return bOk;
                continue;
            }
            reading.MappingFailed();
        }
        const std::uint32_t nWanted = output.PartBytes();
        reader.Seek(nAt);
        const std::uint32_t nHeld = reader.Read(buffer.data(), nWanted);
        const bool bLast = nHeld < nWanted;
        if (output.Scan(scanner, buffer.data(), nHeld, bLast) < 0)
            return false;
        reading.Spent(false, nHeld);
        if (bLast)
            return true;
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
    if (reader.Size() > 0 && path != QLatin1String("-"))
        return PrintByParts(reader, path, scanner, output);
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
