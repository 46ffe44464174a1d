#include "inplacewrite.h"

#include "fileexception.h"
#include "filename.h"
#include "longtask.h"
#include "posixfile.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

std::function<void(int)> g_afxInPlaceStageHook;

namespace {

constexpr char kMagic[] = "ZBJOURN1";
constexpr char kEnd[] = "ZBJEND01";
constexpr qint64 kChunk = qint64(1) << 20;

void Stage(int nStage)
{
    if (g_afxInPlaceStageHook)
        g_afxInPlaceStageHook(nStage);
}

// FNV-1a, 64 bits: enough to tell a journal cut short or torn by a crash.
quint64 Hash(quint64 h, const char* p, qint64 n)
{
    for (qint64 i = 0; i < n; ++i)
        h = (h ^ quint8(p[i])) * 0x100000001b3ull;
    return h;
}
constexpr quint64 kHashStart = 0xcbf29ce484222325ull;

void ReadAll(int fd, char* p, qint64 n, qint64 nAt, const QString& name)
{
    for (qint64 nDone = 0; nDone < n;) {
        const ssize_t nGot = ::pread(fd, p + nDone, std::size_t(n - nDone), off_t(nAt + nDone));
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0)
            AfxThrowErrno(name);
        if (nGot == 0)
            throw CFileException(CFileException::endOfFile, name);
        nDone += nGot;
    }
}

void WriteAll(int fd, const char* p, qint64 n, qint64 nAt, const QString& name)
{
    for (qint64 nDone = 0; nDone < n;) {
        const ssize_t nPut = ::pwrite(fd, p + nDone, std::size_t(n - nDone), off_t(nAt + nDone));
        if (nPut < 0 && errno == EINTR)
            continue;
        if (nPut <= 0)
            AfxThrowErrno(name);
        nDone += nPut;
    }
}

// Appends to the journal and keeps its checksum.
class CJournalWriter {
public:
    CJournalWriter(int fd, const QString& name) : m_fd(fd), m_name(name) {}
    void Put(const char* p, qint64 n)
    {
        WriteAll(m_fd, p, n, m_nAt, m_name);
        m_hash = Hash(m_hash, p, n);
        m_nAt += n;
    }
    void PutNumber(qint64 n)
    {
        const qint64 little = qToLittleEndian(n);
        Put(reinterpret_cast<const char*>(&little), 8);
    }
    quint64 HashSoFar() const { return m_hash; }

private:
    int m_fd;
    QString m_name;
    qint64 m_nAt = 0;
    quint64 m_hash = kHashStart;
};

// A journal read back: whether it is whole, and its records, read one by one.
class CJournalReader {
public:
    CJournalReader(int fd, const QString& name) : m_fd(fd), m_name(name) {}

    // Whether the journal ends with its end mark and a checksum of what is
    // before; sets the file length and record count from the header.
    bool IsWhole(qint64 nJournalLength)
    {
        if (nJournalLength < 24 + 16)
            return false;
        char head[24];
        ReadAll(m_fd, head, 24, 0, m_name);
        if (std::memcmp(head, kMagic, 8) != 0)
            return false;
        m_nFileLength = qFromLittleEndian<qint64>(head + 8);
        m_nRecords = qFromLittleEndian<qint64>(head + 16);
        const qint64 nBody = nJournalLength - 16;
        quint64 h = kHashStart;
        QByteArray buffer(kChunk, Qt::Uninitialized);
        for (qint64 nAt = 0; nAt < nBody;) {
            const qint64 n = std::min(kChunk, nBody - nAt);
            ReadAll(m_fd, buffer.data(), n, nAt, m_name);
            h = Hash(h, buffer.constData(), n);
            nAt += n;
        }
        char tail[16];
        ReadAll(m_fd, tail, 16, nBody, m_name);
        return std::memcmp(tail, kEnd, 8) == 0 && qFromLittleEndian<quint64>(tail + 8) == h;
    }
    qint64 FileLength() const { return m_nFileLength; }

    // Puts every record's old bytes back into the file fd.
    void Restore(int fd, const QString& target)
    {
        qint64 nAt = 24;
        QByteArray buffer(kChunk, Qt::Uninitialized);
        for (qint64 i = 0; i < m_nRecords; ++i) {
            char record[16];
            ReadAll(m_fd, record, 16, nAt, m_name);
            const qint64 nOffset = qFromLittleEndian<qint64>(record);
            const qint64 nLength = qFromLittleEndian<qint64>(record + 8);
            nAt += 16;
            for (qint64 nDone = 0; nDone < nLength;) {
                const qint64 n = std::min(kChunk, nLength - nDone);
                ReadAll(m_fd, buffer.data(), n, nAt + nDone, m_name);
                WriteAll(fd, buffer.constData(), n, nOffset + nDone, target);
                nDone += n;
            }
            nAt += nLength;
        }
    }

private:
    int m_fd;
    QString m_name;
    qint64 m_nFileLength = 0;
    qint64 m_nRecords = 0;
};

void Sync(int fd, const QString& name)
{
    if (::fsync(fd) != 0)
        AfxThrowErrno(name);
}

// Puts the old bytes back from the journal and removes it; false when that
// failed, leaving the journal for the next open.
bool RollBack(int file, const QByteArray& journalPath, const QString& target)
{
    try {
        CFd journal(::open(journalPath.constData(), O_RDONLY | O_CLOEXEC));
        struct stat st;
        if (journal.get() < 0 || ::fstat(journal.get(), &st) != 0)
            return false;
        CJournalReader reader(journal.get(), target);
        if (!reader.IsWhole(st.st_size))
            return false;
        reader.Restore(file, target);
        Sync(file, target);
        ::unlink(journalPath.constData());
        AfxSyncFolderOf(target);
        return true;
    } catch (const CFileException&) {
        return false;
    }
}

} // namespace

QByteArray AfxInPlaceJournalPath(const QString& target)
{
    return AfxBesidePath(target, QByteArrayLiteral(".zorbel-journal"), 0);
}

void AfxWriteInPlace(const QString& target, qint64 nLength, const std::vector<CInPlaceChange>& changes,
                     const std::function<bool(qint64, qint64)>& progress)
{
    CFd file(::open(AfxEncodeFileName(target).constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0)
        AfxThrowErrno(target);
    if (!S_ISREG(st.st_mode))
        throw CFileException(CFileException::notRegularFile, target);
    if (st.st_size != nLength)
        throw CFileException(CFileException::changedWhileOpen, target);
    qint64 nBytes = 0;
    for (const CInPlaceChange& change : changes) {
        if (change.nOffset < 0 || change.nOffset > nLength - change.bytes.size())
            throw CFileException(CFileException::genericException, target);
        nBytes += change.bytes.size();
    }
    const qint64 nTotal = 2 * nBytes;
    qint64 nDone = 0;
    const auto tell = [&](qint64 n) {
        nDone += n;
        return !progress || progress(nDone, nTotal);
    };

    // The journal, whole and on disk before the file is touched. O_EXCL: a
    // journal already there is one the recovery at open did not take, which
    // must not be overwritten.
    const QByteArray journalPath = AfxInPlaceJournalPath(target);
    {
        CFd journal(::open(journalPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (journal.get() < 0)
            AfxThrowErrno(target);
        Stage(1);
        try {
            CJournalWriter writer(journal.get(), target);
            writer.Put(kMagic, 8);
            writer.PutNumber(nLength);
            writer.PutNumber(qint64(changes.size()));
            QByteArray old(kChunk, Qt::Uninitialized);
            for (const CInPlaceChange& change : changes) {
                writer.PutNumber(change.nOffset);
                writer.PutNumber(change.bytes.size());
                for (qint64 nAt = 0; nAt < change.bytes.size();) {
                    const qint64 n = std::min(kChunk, change.bytes.size() - nAt);
                    ReadAll(file.get(), old.data(), n, change.nOffset + nAt, target);
                    writer.Put(old.constData(), n);
                    nAt += n;
                    if (!tell(n))
                        throw CUserException();
                }
                Stage(2);
            }
            const quint64 h = writer.HashSoFar();
            writer.Put(kEnd, 8);
            writer.PutNumber(qint64(h));
            Sync(journal.get(), target);
            if (journal.Close() != 0)
                AfxThrowErrno(target);
            AfxSyncFolderOf(target);
        } catch (...) {
            ::unlink(journalPath.constData());
            throw;
        }
    }
    Stage(3);

    try {
        for (const CInPlaceChange& change : changes) {
            WriteAll(file.get(), change.bytes.constData(), change.bytes.size(), change.nOffset, target);
            tell(change.bytes.size());
            Stage(4);
        }
        Sync(file.get(), target);
    } catch (...) {
        RollBack(file.get(), journalPath, target);
        throw;
    }
    Stage(5);
    ::unlink(journalPath.constData());
    AfxSyncFolderOf(target);
    Stage(6);
}

CInPlaceRecovery AfxRecoverInPlaceWrite(const QString& target)
{
    const QByteArray journalPath = AfxInPlaceJournalPath(target);
    CFd journal(::open(journalPath.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (journal.get() < 0)
        return CInPlaceRecovery::NoJournal;
    struct stat st;
    if (::fstat(journal.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return CInPlaceRecovery::NoJournal;
    CJournalReader reader(journal.get(), target);
    if (!reader.IsWhole(st.st_size)) {
        ::unlink(journalPath.constData());
        AfxSyncFolderOf(target);
        return CInPlaceRecovery::Discarded;
    }
    CFd file(::open(AfxEncodeFileName(target).constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    struct stat stFile;
    if (file.get() < 0 || ::fstat(file.get(), &stFile) != 0)
        AfxThrowErrno(target);
    if (!S_ISREG(stFile.st_mode) || stFile.st_size != reader.FileLength())
        throw CFileException(CFileException::changedWhileOpen, target);
    reader.Restore(file.get(), target);
    Sync(file.get(), target);
    ::unlink(journalPath.constData());
    AfxSyncFolderOf(target);
    return CInPlaceRecovery::RolledBack;
}
