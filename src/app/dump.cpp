#include "dump.h"

#include "afxres.h"
#include "cmdline.h"
#include "codepage.h"
#include "diskfile.h"
#include "fileexception.h"
#include "hexdoc.h"
#include "resources.h"
#include "rowformat.h"
#include "textdecoder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <future>
#include <new>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] = "Usage: zorbel --dump [--codepage N] [--] FILE\n";

// The file is read and its rows formatted in blocks of this many rows; the
// first block is short, so that the first line goes out before much is read.
constexpr std::uint32_t kBlockRows = 1u << 14;
constexpr std::uint32_t kBlockBytes = kBlockRows * 16;
constexpr std::uint32_t kFirstBlockRows = 64;

// The file, read from its start in parts, as loading it into a document would
// see it: a failure throws the CFileException that loading would.
class CFileReader {
public:
    explicit CFileReader(const QString& path) : m_path(path)
    {
        if (path == QLatin1String("-"))
            OpenStandardInput();
        else
            AfxOpenRegularFile(m_file, path);
        // The file is read twice when its code page is detected first.
        if (m_file.isSequential())
            throw CFileException(CFileException::invalidFile, path);
        CheckLength(std::uint64_t(std::max<qint64>(m_file.size(), 0)));
    }

    // Reads up to n bytes into p and returns how many: fewer only at the end.
    std::uint32_t Read(std::uint8_t* p, std::uint32_t n)
    {
        std::uint32_t nDone = 0;
        while (nDone < n) {
            const qint64 got = m_file.read(reinterpret_cast<char*>(p) + nDone, n - nDone);
            if (got < 0)
                throw CFileException::FromDevice(m_file, m_path);
            if (got == 0)
                break;
            nDone += std::uint32_t(got);
        }
        m_nRead += nDone;
        CheckLength(m_nRead);
        return nDone;
    }

    void Rewind()
    {
        if (!m_file.seek(0))
            throw CFileException::FromDevice(m_file, m_path);
        m_nRead = 0;
    }

private:
    // Standard input, which is read twice when its code page is detected
    // first: itself when it is a file, else a copy of it in an unnamed
    // temporary file, so that memory stays small whatever comes down a pipe.
    void OpenStandardInput()
    {
        struct stat st;
        int fd = -1;
        if (::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
            fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
        } else {
            const QString folder = QDir::tempPath();
            fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
            if (fd < 0)
                throw CFileException::FromErrno(errno, folder);
            CopyStandardInput(fd);
        }
        if (fd < 0)
            throw CFileException::FromErrno(errno, m_path);
        if (!m_file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            throw CFileException::FromDevice(m_file, m_path);
        }
    }

    void CopyStandardInput(int fd)
    {
        std::vector<char> buffer(std::size_t(1) << 20);
        std::uint64_t nCopied = 0;
        for (;;) {
            const ssize_t nGot = ::read(STDIN_FILENO, buffer.data(), buffer.size());
            if (nGot < 0 && errno == EINTR)
                continue;
            if (nGot < 0) {
                const int nError = errno;
                ::close(fd);
                throw CFileException::FromErrno(nError, m_path);
            }
            if (nGot == 0)
                break;
            nCopied += std::uint64_t(nGot);
            if (nCopied > CHexDoc::s_nMaxFileLength) {
                ::close(fd);
                CheckLength(nCopied);
            }
            for (ssize_t nPut = 0; nPut < nGot;) {
                const ssize_t n = ::write(fd, buffer.data() + nPut, std::size_t(nGot - nPut));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    const int nError = errno;
                    ::close(fd);
                    throw CFileException::FromErrno(nError, QDir::tempPath());
                }
                nPut += n;
            }
        }
        if (::lseek(fd, 0, SEEK_SET) != 0) {
            const int nError = errno;
            ::close(fd);
            throw CFileException::FromErrno(nError, m_path);
        }
    }

    // A file that grows while it is read is held to the same limit.
    void CheckLength(std::uint64_t nLength) const
    {
        if (nLength > CHexDoc::s_nMaxFileLength) {
            CFileException e(CFileException::tooLarge, m_path);
            e.m_nLimit = CHexDoc::s_nMaxFileLength;
            throw e;
        }
    }

    QFile m_file;
    QString m_path;
    std::uint64_t m_nRead = 0;
};

// Where no pair of bytes decides, the guess reads the whole file before the
// first line can go out. Someone at a terminal who waits longer than this is
// told why, once, and how to skip it. ZORBEL_DUMP_GUESS_NOTE_MS sets the wait,
// so that a test can see the note without a file that takes that long.
qint64 GuessNoteAfterMs()
{
    bool bOk = false;
    const int nMs = qEnvironmentVariableIntValue("ZORBEL_DUMP_GUESS_NOTE_MS", &bOk);
    return bOk && nMs >= 0 ? nMs : 300;
}

// The code page the window would detect in the document of the whole file, its
// end marker included, found one part at a time.
int DetectInFile(CFileReader& reader, const QString& path)
{
    std::vector<std::uint8_t> buffer(2 * kBlockBytes + 1);
    CCodePageDetector detector;
    std::uint32_t nKept = 0;
    const bool bTerminal = ::isatty(STDERR_FILENO) == 1;
    const qint64 nNoteAfterMs = GuessNoteAfterMs();
    QElapsedTimer timer;
    timer.start();
    bool bNoted = false;
    for (;;) {
        if (bTerminal && !bNoted && timer.elapsed() >= nNoteAfterMs) {
            bNoted = true;
            ReportError(path + QLatin1String(": guessing the code page from the whole file; --codepage N skips this"));
        }
        const std::uint32_t n = reader.Read(buffer.data() + nKept, kBlockBytes);
        std::uint32_t nLength = nKept + n;
        const bool bLast = n < kBlockBytes;
        if (bLast)
            buffer[nLength++] = 0xFF;
        if (const int nCodePage = detector.Scan(buffer.data(), nLength, bLast))
            return nCodePage;
        nKept = nLength - detector.Kept();
        std::memmove(buffer.data(), buffer.data() + detector.Kept(), nKept);
    }
}

// A row's text may take up to this many bytes of the next row.
constexpr std::uint32_t kLookAhead = CRowFormat::kMaxTextLength - 16;

// One block of rows: the file's bytes from nOffset, with the ones after them a
// row's text may read (from the next block, or the end marker).
struct Block {
    std::uint32_t nOffset = 0;
    std::uint32_t nRows = kBlockRows;  // rows unless the file ends in them
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kBlockBytes + kLookAhead + 1);
    std::uint32_t nSize = 0;   // bytes held, the ones after the rows included
    bool bLast = false;
    bool bContinued = false;   // the first row begins with a trail byte
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
std::size_t FormatBlock(Block& block, const CTextDecoder& decoder)
{
    // A line is at most the offset, the hex part and the text bytes of up to 3
    // UTF-8 bytes each (a pair takes 2 cells and at most 4 bytes; a UTF-8
    // character takes as many bytes as it had and a blank for each of its other
    // cells), the 16 bytes the decoder may write past its end, and the newline.
    constexpr std::size_t kMaxLine =
        CRowFormat::kOffsetColumns + CRowFormat::kHexPartLength + CRowFormat::kMaxTextLength * 3 + 16 + 1;
    const std::uint32_t nRows = block.bLast ? (block.nSize + 15) / 16 : block.nRows;
    block.out.resize(std::size_t(nRows) * kMaxLine);
    char* p = block.out.data();
    bool bContinued = block.bContinued;
    for (std::uint32_t r = 0; r < nRows; ++r) {
        char* line = p;
        CRowFormat::FormatOffset(block.nOffset + r * 16, p);
        p += CRowFormat::kOffsetColumns;
        // The row goes straight into the output; its text column is then turned
        // into UTF-8 where it stands.
        const int nLength =
            CRowFormat::FormatRow(block.bytes.data(), block.nSize, decoder.CodePage(), r * 16, p, bContinued);
        char* text = p + CRowFormat::kHexPartLength;
        p = decoder.ToUtf8(text, nLength - CRowFormat::kHexPartLength, text);
        while (p > line && p[-1] == ' ')
            --p;
        *p++ = '\n';
    }
    return std::size_t(p - block.out.data());
}

bool ReportWriteError()
{
    ReportError(QLatin1String("cannot write the output: ") + QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool Write(const char* pData, std::size_t nLength)
{
    return std::fwrite(pData, 1, nLength, stdout) == nLength || ReportWriteError();
}

bool Flush()
{
    return std::fflush(stdout) == 0 || ReportWriteError();
}

// Reads the file block by block, formats blocks on every core a few ahead of
// the output and writes them in order as each is done, the first as soon as it
// is; memory stays a few blocks whatever the file's length. Returns false once
// the output cannot be written.
bool DumpFile(CFileReader& reader, int nCodePage)
{
    const CTextDecoder decoder(nCodePage);
    const std::size_t nAhead = std::min(8u, 2 * std::max(1u, std::thread::hardware_concurrency()));
    // The blocks go round: one written is the next to be read into.
    std::vector<Block> blocks(nAhead);
    std::deque<std::pair<Block*, std::future<std::size_t>>> pending;
    std::size_t nNext = 0;
    std::uint32_t nOffset = 0;
    bool bContinued = false;
    bool bDone = false;
    // The bytes after the rows of the block read last, which begin the next.
    std::uint8_t carried[kLookAhead];
    std::uint32_t nCarried = 0;
    bool bWritten = true;
    try {
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
                if (!bDone)
                    bContinued = SpillsOver(block, nCodePage);
                nOffset += nBlockBytes;
                pending.emplace_back(&block, std::async(std::launch::async, [&block, &decoder] {
                                         return FormatBlock(block, decoder);
                                     }));
            }
            const std::size_t nLength = pending.front().second.get();
            bWritten = Write(pending.front().first->out.data(), nLength);
            // The first block goes out whole, not partly kept in the stream's buffer.
            if (bWritten && pending.front().first->nOffset == 0)
                bWritten = Flush();
            pending.pop_front();
        }
    } catch (...) {
        // Blocks still being formatted finish before their buffers go.
        for (auto& block : pending)
            block.second.wait();
        throw;
    }
    for (auto& block : pending)
        block.second.wait();
    return bWritten;
}

} // namespace

int DumpMain(int argc, char* argv[])
{
    CFileCommandLine cmd;
    if (const int nStatus = ParseFileCommandLine(argc, argv, "--dump", false, kUsage, cmd))
        return nStatus;

    const QString path = QFile::decodeName(cmd.pszPath);
    try {
        CFileReader reader(path);
        int nCodePage = cmd.nCodePage;
        if (nCodePage == 0) {
            nCodePage = DetectInFile(reader, path);
            reader.Rewind();
        }
        if (!DumpFile(reader, nCodePage))
            return 1;
    } catch (const CFileException& e) {
        const QString text = e.GetErrorMessage();
        ReportError(text.isEmpty() ? path + QLatin1String(": ") + AfxLoadString(AFX_IDP_FAILED_TO_OPEN_DOC) : text);
        return 1;
    } catch (const std::bad_alloc&) {
        ReportError(path + QLatin1String(": ") + AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC));
        return 1;
    }
    return Flush() ? 0 : 1;
}
