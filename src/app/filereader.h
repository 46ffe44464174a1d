#pragma once

#include <QFile>
#include <QString>

struct CFileCommandLine;

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
    void Rewind();
    // The length the file had when it was opened (0 for the kernel's files that
    // read as empty until they are read).
    std::uint64_t Size() const { return m_nSize; }
    // The open file's descriptor, for reading it through a mapping; Read and
    // Rewind do not see what is read that way.
    int Handle() const { return m_file.handle(); }

private:
    void OpenStandardInput();
    void CopyStandardInput(int fd);

    QFile m_file;
    QString m_path;
    std::uint64_t m_nSize = 0;
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
