#include "filereader.h"

#include "afxres.h"
#include "cmdline.h"
#include "codepage.h"
#include "diskfile.h"
#include "fileexception.h"
#include "filename.h"
#include "resources.h"

#include <QDir>
#include <QElapsedTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

CFileReader::CFileReader(const QString& path) : m_path(path)
{
    if (path == QLatin1String("-"))
        OpenStandardInput();
    else
        AfxOpenRegularFile(m_file, path);
    // The file is read twice when its code page is detected first.
    if (m_file.isSequential())
        throw CFileException(CFileException::invalidFile, path);
    m_nSize = std::uint64_t(std::max<qint64>(m_file.size(), 0));
}

// Reads up to n bytes into p and returns how many: fewer only at the end.
std::uint32_t CFileReader::Read(std::uint8_t* p, std::uint32_t n)
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
    return nDone;
}

void CFileReader::Seek(std::uint64_t nAt)
{
    if (!m_file.seek(qint64(nAt)))
        throw CFileException::FromDevice(m_file, m_path);
}

// Standard input, which is read twice when its code page is detected
// first: itself when it is a file, else a copy of it in an unnamed
// temporary file, so that memory stays small whatever comes down a pipe.
void CFileReader::OpenStandardInput()
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

void CFileReader::CopyStandardInput(int fd)
{
    std::vector<char> buffer(std::size_t(1) << 20);
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

sigjmp_buf g_busError;

namespace {

void OnBusError(int)
{
    siglongjmp(g_busError, 1);
}

} // namespace

CBusErrorHandler::CBusErrorHandler()
{
    struct sigaction action = {};
    action.sa_handler = OnBusError;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &m_old);
}

CBusErrorHandler::~CBusErrorHandler()
{
    ::sigaction(SIGBUS, &m_old, nullptr);
}

namespace {

std::int64_t ThreadTimeNs()
{
    timespec now = {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

CReadingWay::CReadingWay()
{
    const QByteArray forced = qgetenv("ZORBEL_READ_BY");
    if (forced == "map" || forced == "read") {
        m_bForced = true;
        m_bMap = forced == "map";
    }
}

bool CReadingWay::MapAt(std::uint64_t nAt)
{
    if (m_bForced || !m_bMappable)
        return m_bMap && m_bMappable;
    if (nAt < kSampleBytes)
        return (nAt / kMapWindowBytes) % 2 == 1;   // stretches read, mapped, read, mapped
    if (!m_bChosen) {
        m_bChosen = true;
        // Time per byte of each way, compared without a division.
        m_bMap = m_nTried[1] > 0 && m_nTried[0] > 0
            && double(m_nSpentNs[1]) * double(m_nTried[0]) < double(m_nSpentNs[0]) * double(m_nTried[1]);
    }
    return m_bMap;
}

void CReadingWay::Start()
{
    if (!m_bChosen && !m_bForced)
        m_nStartNs = ThreadTimeNs();
}

void CReadingWay::Spent(bool bMapped, std::uint64_t nBytes)
{
    if (!m_bChosen && !m_bForced) {
        m_nSpentNs[bMapped] += ThreadTimeNs() - m_nStartNs;
        m_nTried[bMapped] += nBytes;
    }
}

namespace {

// Detection reads the file in parts of this many bytes.
constexpr std::uint32_t kDetectBytes = 1u << 18;

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

// Says once on standard error, when it is a terminal and the guess has taken
// longer than GuessNoteAfterMs, why the first line waits and how to skip it.
class CGuessNote {
public:
    explicit CGuessNote(const QString& path)
        : m_path(path), m_bTerminal(::isatty(STDERR_FILENO) == 1), m_nAfterMs(GuessNoteAfterMs())
    {
        m_timer.start();
    }

    void Check()
    {
        if (m_bTerminal && !m_bNoted && m_timer.elapsed() >= m_nAfterMs) {
            m_bNoted = true;
            ReportError(AfxDisplayFileName(m_path)
                        + QLatin1String(": guessing the code page from the whole file; --codepage N skips this"));
        }
    }

private:
    QString m_path;
    bool m_bTerminal;
    qint64 m_nAfterMs;
    QElapsedTimer m_timer;
    bool m_bNoted = false;
};

// Scans the bytes from nFrom of a read-only mapping of nMapped bytes of the
// file at nStart as a part that is not the last, and returns what the
// detector returns; false when the window cannot be mapped.
bool ScanWindow(int fd, const QString& path, std::uint64_t nStart, std::size_t nMapped, std::size_t nFrom,
                CCodePageDetector& detector, int& nCodePage)
{
    void* const pMap = ::mmap(nullptr, nMapped, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, off_t(nStart));
    if (pMap == MAP_FAILED)
        return false;
    if (sigsetjmp(g_busError, 1) != 0) {
        ::munmap(pMap, nMapped);
        throw CFileException(CFileException::changedWhileOpen, path);
    }
    nCodePage = detector.Scan(static_cast<const std::uint8_t*>(pMap) + nFrom, std::uint32_t(nMapped - nFrom), false);
    ::munmap(pMap, nMapped);
    return true;
}

// The guess over a regular file, one part at a time from an offset, the way
// CReadingWay takes: a mapping's window of kMapWindowBytes or a read of
// kDetectBytes, each scanned as a part that is not the last; the bytes from
// the detector's Kept() on are read again with the next part. The length is
// taken again before each part, so that a file that grows or shrinks is read
// as Read would read it; the bytes to its end are read into a buffer and
// scanned as the last part, with the end marker after them.
int DetectByParts(CFileReader& reader, const QString& path, CGuessNote& note)
{
    const int fd = reader.Handle();
    const std::uint64_t nPage = std::uint64_t(::sysconf(_SC_PAGESIZE));
    const CBusErrorHandler handler;
    CReadingWay reading;
    CCodePageDetector detector;
    std::vector<std::uint8_t> buffer(kDetectBytes + 1);
    std::uint64_t nAt = 0;
    for (;;) {
        note.Check();
        struct stat st;
        if (::fstat(fd, &st) != 0)
            throw CFileException::FromErrno(errno, path);
        const std::uint64_t nSize = std::max(std::uint64_t(std::max<off_t>(st.st_size, 0)), nAt);
        reading.Start();
        if (reading.MapAt(nAt)) {
            const std::uint64_t nStart = nAt & ~(nPage - 1);
            const std::uint64_t nEnd = std::min(nSize, nStart + kMapWindowBytes);
            // The file's last part is read, for the end marker to follow it.
            if (nEnd < nSize) {
                int nCodePage = 0;
                if (ScanWindow(fd, path, nStart, std::size_t(nEnd - nStart), std::size_t(nAt - nStart), detector,
                               nCodePage)) {
                    reading.Spent(true, nEnd - nAt);
                    if (nCodePage != 0)
                        return nCodePage;
                    nAt += detector.Kept();
                    continue;
                }
                reading.MappingFailed();
            }
        }
        const bool bToEnd = nSize - nAt <= kDetectBytes;
        const std::uint32_t nWanted = bToEnd ? std::uint32_t(nSize - nAt) : kDetectBytes;
        reader.Seek(nAt);
        const std::uint32_t nHeld = reader.Read(buffer.data(), nWanted);
        if (bToEnd || nHeld < nWanted) {
            buffer[nHeld] = 0xFF;
            return detector.Scan(buffer.data(), nHeld + 1, true);
        }
        const int nCodePage = detector.Scan(buffer.data(), nHeld, false);
        reading.Spent(false, nHeld);
        if (nCodePage != 0)
            return nCodePage;
        nAt += detector.Kept();
    }
}

} // namespace

int DetectInFile(CFileReader& reader, const QString& path)
{
    CGuessNote note(path);
    // Standard input copied to a file, and the kernel's files that read as
    // empty, are read as they always were.
    if (reader.Size() > 0 && path != QLatin1String("-")) {
        return DetectByParts(reader, path, note);
    }
    std::vector<std::uint8_t> buffer(2 * kDetectBytes + 1);
    CCodePageDetector detector;
    std::uint32_t nKept = 0;
    for (;;) {
        note.Check();
        const std::uint32_t n = reader.Read(buffer.data() + nKept, kDetectBytes);
        std::uint32_t nLength = nKept + n;
        const bool bLast = n < kDetectBytes;
        if (bLast)
            buffer[nLength++] = 0xFF;
        if (const int nCodePage = detector.Scan(buffer.data(), nLength, bLast))
            return nCodePage;
        nKept = nLength - detector.Kept();
        std::memmove(buffer.data(), buffer.data() + detector.Kept(), nKept);
    }
}

namespace {

bool ReportWriteError()
{
    ReportError(QLatin1String("cannot write the output: ") + QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

} // namespace

bool WriteOutput(const char* pData, std::size_t nLength)
{
    return std::fwrite(pData, 1, nLength, stdout) == nLength || ReportWriteError();
}

bool FlushOutput()
{
    return std::fflush(stdout) == 0 || ReportWriteError();
}

int PrintFile(const CFileCommandLine& cmd, const std::function<bool(CFileReader&, int nCodePage)>& print)
{
    const QString path = AfxDecodeFileName(cmd.pszPath);
    const QString shown = AfxDisplayFileName(path);
    try {
        CFileReader reader(path);
        int nCodePage = cmd.nCodePage;
        if (nCodePage == 0) {
            nCodePage = DetectInFile(reader, path);
            reader.Seek(0);
        }
        if (!print(reader, nCodePage))
            return 1;
    } catch (const CFileException& e) {
        const QString text = e.GetErrorMessage();
        ReportError(text.isEmpty() ? shown + QLatin1String(": ") + AfxLoadString(AFX_IDP_FAILED_TO_OPEN_DOC) : text);
        return 1;
    } catch (const std::bad_alloc&) {
        ReportError(shown + QLatin1String(": ") + AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC));
        return 1;
    }
    return FlushOutput() ? 0 : 1;
}
