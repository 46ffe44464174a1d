#pragma once

#include <QFile>
#include <QString>

struct CFileCommandLine;

#include <csetjmp>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <functional>

// A file of any length, read from its start in parts, as loading it into a
// document would see it: a failure throws the CFileException that loading
// would. "-" is
// standard input, which is read twice when its code page is detected first:
// itself when it is a file, else a copy of it in an unnamed temporary file, so
// that memory stays small whatever comes down a pipe. For the commands that
// print a file without a window.
class CFileReader {
public:
    explicit CFileReader(const QString& path);

    // Reads up to n bytes into p and returns how many: fewer only at the end.
    std::uint32_t Read(std::uint8_t* p, std::uint32_t n);
    // Moves to nAt, from which Read goes on.
    void Seek(std::uint64_t nAt);
    // The length the file had when it was opened (0 for the kernel's files that
    // read as empty until they are read).
    std::uint64_t Size() const { return m_nSize; }
    // The open file's descriptor, for reading it through a mapping; Read and
    // Seek do not see what is read that way.
    int Handle() const { return m_file.handle(); }

private:
    void OpenStandardInput();
    void CopyStandardInput(int fd);

    QFile m_file;
    QString m_path;
    std::uint64_t m_nSize = 0;
};

// The commands read a regular file through read-only mappings of this many
// bytes at a time, without the copy that reading makes: its pages count in the
// peak memory while they are mapped.
inline constexpr std::uint64_t kMapWindowBytes = std::uint64_t(1) << 22;

// Another program that shortens the file while a window of it is mapped takes
// away the pages past its new end, and reading them raises SIGBUS. While a
// CBusErrorHandler lives, the signal jumps back to the last
// sigsetjmp(g_busError, 1), whose caller reports the file as changed. The
// frames the jump leaves must hold nothing to destroy, and only the thread
// that set it may read the mapping.
extern sigjmp_buf g_busError;

// Catches SIGBUS as above, and restores the handler the program had before.
class CBusErrorHandler {
public:
    CBusErrorHandler();
    ~CBusErrorHandler();
    CBusErrorHandler(const CBusErrorHandler&) = delete;
    CBusErrorHandler& operator=(const CBusErrorHandler&) = delete;

private:
    struct sigaction m_old = {};
};

// Which of two ways a command reads a regular file's next part: through a
// read-only mapping of kMapWindowBytes, without the copy that reading makes,
// or by a read into a buffer small enough to stay in the processor's cache.
// Which is cheaper depends on the machine: on one virtual machine the mapping
// scanned page-cache memory at a quarter of the speed of the kernel's copy,
// on another the copy was the dearer by a fifth. So the first 16 MiB are read
// both ways in turn, in stretches of 4 MiB, and the rest the way that took
// less of the thread's processor time a byte. ZORBEL_READ_BY ("map" or
// "read") chooses instead, for the tests.
class CReadingWay {
public:
    CReadingWay();
    // Whether the part at nAt is to be mapped.
    bool MapAt(std::uint64_t nAt);
    // Around each part: what it cost, counted while sampling.
    void Start();
    void Spent(bool bMapped, std::uint64_t nBytes);
    // The file cannot be mapped (some file systems): reads from here on.
    void MappingFailed() { m_bMappable = false; }

private:
    static constexpr std::uint64_t kSampleBytes = 4 * kMapWindowBytes;
    bool m_bForced = false;
    bool m_bMap = false;
    bool m_bMappable = true;
    bool m_bChosen = false;
    std::int64_t m_nStartNs = 0;
    std::int64_t m_nSpentNs[2] = {};   // [read, mapped]
    std::uint64_t m_nTried[2] = {};
};

// The code page the window would detect in the document of the whole file, its
// end marker included, found one part at a time; the reader is left past what
// it read. At a terminal, a guess that takes long is told of once.
int DetectInFile(CFileReader& reader, const QString& path);

// Standard output for those commands: false, after saying why on standard
// error, once it cannot be written.
bool WriteOutput(const char* pData, std::size_t nLength);
bool FlushOutput();

// Runs a command that prints the file cmd names: opens it, finds its code page
// unless the command line gives one, and hands both to print, which returns
// false once the output cannot be written. Returns the exit status: 0, or 1
// after saying why the file could not be read or the output not written.
int PrintFile(const CFileCommandLine& cmd, const std::function<bool(CFileReader&, int nCodePage)>& print);
