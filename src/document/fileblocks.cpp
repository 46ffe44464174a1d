#include "fileblocks.h"

#include "diskfile.h"
#include "filename.h"

#include <QMutexLocker>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Where the next data of fd at or after nFrom starts, at most nEnd: nEnd when
// only a hole is left before it; nFrom where holes cannot be told (the file
// system does not say, or the call fails), so that all of it is copied.
qint64 NextData(int fd, qint64 nFrom, qint64 nEnd)
{
    const off_t nData = ::lseek(fd, off_t(nFrom), SEEK_DATA);
    if (nData < 0)
        return errno == ENXIO ? nEnd : nFrom;
    return std::min<qint64>(nData, nEnd);
}

// Where the data of fd that holds nFrom ends (the next hole, or the file's
// end), at most nEnd.
qint64 DataEnd(int fd, qint64 nFrom, qint64 nEnd)
{
    const off_t nHole = ::lseek(fd, off_t(nFrom), SEEK_HOLE);
    return nHole < 0 || nHole <= nFrom ? nEnd : std::min<qint64>(nHole, nEnd);
}

} // namespace

CFileBlocks::CFileBlocks(qint64 nBlockSize, qint64 nCacheSize)
    : m_nBlockSize(std::max<qint64>(nBlockSize, 1)),
      m_nMaxBlocks(qsizetype(std::max<qint64>(nCacheSize / m_nBlockSize, 1)))
{
}

CFileBlocks::~CFileBlocks() = default;

void CFileBlocks::Open(const QString& path)
{
    AfxOpenRegularFile(m_file, path);
    struct stat st;
    if (::fstat(m_file.handle(), &st) != 0) {
        const int nError = errno;
        m_file.close();
        throw CFileException::FromErrno(nError, path);
    }
    QMutexLocker lock(&m_mutex);
    m_strPath = path;
    m_nativePath = AfxEncodeFileName(path);
    m_nLength = qint64(st.st_size);
    m_nDevice = quint64(st.st_dev);
    m_nInode = quint64(st.st_ino);
    m_leads.Reset((m_nLength + m_nBlockSize - 1) / m_nBlockSize);
    m_nModifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    m_state = State::Readable;
    m_lru.clear();
    m_index.clear();
}

void CFileBlocks::CloseInBackground()
{
    QMutexLocker lock(&m_mutex);
    // The copy of the descriptor keeps the file open, so that closing the
    // QFile here is not the last close; the thread's close is.
    const int fd = m_file.isOpen() ? ::fcntl(m_file.handle(), F_DUPFD_CLOEXEC, 0) : -1;
    m_file.close();
    m_state = State::Closed;
    m_lru.clear();
    m_index.clear();
    if (fd >= 0)
        std::thread([fd] { ::close(fd); }).detach();
}

CFileBlocks::State CFileBlocks::GetState() const
{
    QMutexLocker lock(&m_mutex);
    return m_state;
}

CFileException CFileBlocks::Error() const
{
    QMutexLocker lock(&m_mutex);
    switch (m_state) {
    case State::Changed:
        return CFileException(CFileException::changedWhileOpen, m_strPath);
    case State::ReadFailed:
        return CFileException::FromErrno(m_nError, m_strPath);
    case State::Closed:
    case State::Readable:
        break;
    }
    return CFileException(CFileException::none, m_strPath);
}

// The open file itself (a truncate or a rewrite in place changes its length or
// time) and the name (a rename over it, or a removal, leads it elsewhere).
bool CFileBlocks::StillSame()
{
    if (m_state != State::Readable)
        return false;
    struct stat open;
    struct stat named;
    const bool bSame = ::fstat(m_file.handle(), &open) == 0
        && (m_bDetached
            || (::stat(m_nativePath.constData(), &named) == 0 && quint64(named.st_dev) == m_nDevice
                && quint64(named.st_ino) == m_nInode))
        && qint64(open.st_size) == m_nLength
        && (m_bWritingInPlace || qint64(open.st_mtim.tv_sec) * 1000000000 + open.st_mtim.tv_nsec == m_nModifiedNs);
    if (!bSame)
        MarkChanged();
    return bSame;
}

void CFileBlocks::Detach()
{
    QMutexLocker lock(&m_mutex);
    m_bDetached = true;
}

bool CFileBlocks::IsDetached() const
{
    QMutexLocker lock(&m_mutex);
    return m_bDetached;
}

void CFileBlocks::SetWritingInPlace(bool bWriting)
{
    QMutexLocker lock(&m_mutex);
    struct stat open;
    if (!bWriting && m_state == State::Readable && ::fstat(m_file.handle(), &open) == 0)
        m_nModifiedNs = qint64(open.st_mtim.tv_sec) * 1000000000 + open.st_mtim.tv_nsec;
    m_bWritingInPlace = bWriting;
}

void CFileBlocks::MarkChanged()
{
    m_state = State::Changed;
    m_lru.clear();
    m_index.clear();
}

// The file is looked at after the read, not before it too: a change made
// before the read or while it ran shows then, and the bytes it gave are thrown
// away. A file already seen changed is read no more (m_state).
bool CFileBlocks::ReadChecked(qint64 nPos, qint64 nLength, std::uint8_t* pDst, QMutexLocker<QMutex>* pLock)
{
    if (m_state != State::Readable)
        return false;
    ++m_nDiskReads;
    const int fd = m_file.handle();
    // The descriptor stays open while the file is read: it closes only when
    // its last holder lets it go.
    if (pLock)
        pLock->unlock();
    int nError = 0;
    bool bShort = false;
    for (qint64 nDone = 0; nDone < nLength;) {
        const ssize_t nGot = ::pread(fd, pDst + nDone, std::size_t(nLength - nDone), off_t(nPos + nDone));
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0) {
            nError = errno;
            break;
        }
        if (nGot == 0) {
            bShort = true;
            break;
        }
        nDone += nGot;
    }
    if (pLock)
        pLock->relock();
    if (m_state != State::Readable)
        return false;
    if (nError != 0) {
        m_nError = nError;
        m_state = State::ReadFailed;
        return false;
    }
    if (bShort) {
        // Shorter than it was at Open: someone cut it, even where the check
        // misses it (a file system with a coarse clock).
        MarkChanged();
        return false;
    }
    // A change while the read ran may have given some of the bytes.
    return StillSame();
}

CFileBlocks::CopyResult CFileBlocks::CopyTo(qint64 nPos, qint64 nLength, int fdOut, int& nError)
{
    QMutexLocker lock(&m_mutex);
    if (m_state != State::Readable || nPos < 0 || nLength < 0 || nPos > m_nLength || nLength > m_nLength - nPos)
        return CopyResult::ReadFailed;
    if (!StillSame())
        return CopyResult::ReadFailed;
    const int fdIn = m_file.handle();
    const qint64 nEnd = nPos + nLength;
    const off_t nOutStart = ::lseek(fdOut, 0, SEEK_CUR);
    bool bSkipped = false;
    bool bCopied = false;
    for (loff_t nFrom = nPos; nFrom < nEnd;) {
        // The holes of a sparse file stay holes: the output's position moves
        // past them and nothing is written there, so a disc image that is
        // mostly holes is saved in the space its data takes. A file system
        // that does not tell holes apart gives all of it as data.
        const qint64 nData = NextData(fdIn, nFrom, nEnd);
        if (nData > nFrom) {
            if (::lseek(fdOut, off_t(nData - nFrom), SEEK_CUR) < 0) {
                nError = errno;
                return CopyResult::WriteFailed;
            }
            bSkipped = true;
            nFrom = nData;
            continue;
        }
        const qint64 nDataEnd = DataEnd(fdIn, nFrom, nEnd);
        while (nFrom < nDataEnd) {
            const ssize_t nCopied
                = ::copy_file_range(fdIn, &nFrom, fdOut, nullptr, std::size_t(nDataEnd - nFrom), 0);
            if (nCopied < 0 && errno == EINTR)
                continue;
            if (nCopied < 0) {
                nError = errno;
                // Other file systems, kernels without it, or files it cannot
                // join; only before a byte went, the output put back where it
                // was, so that the caller can start over.
                const bool bUnsupported = nError == EXDEV || nError == ENOSYS || nError == EOPNOTSUPP
                    || nError == EINVAL || nError == EBADF;
                if (bUnsupported && !bCopied && (!bSkipped || ::lseek(fdOut, nOutStart, SEEK_SET) == nOutStart))
                    return CopyResult::Unsupported;
                if (nError == EIO) {
                    m_state = State::ReadFailed;
                    m_nError = nError;
                    return CopyResult::ReadFailed;
                }
                return CopyResult::WriteFailed;
            }
            if (nCopied == 0) {
                MarkChanged();
                return CopyResult::ReadFailed;
            }
            bCopied = true;
        }
    }
    // A hole at the end of what was copied is length the output must still
    // have: it is made that long, the new part a hole.
    if (bSkipped) {
        const off_t nAt = ::lseek(fdOut, 0, SEEK_CUR);
        struct stat out {};
        if (nAt < 0 || ::fstat(fdOut, &out) != 0 || (out.st_size < nAt && ::ftruncate(fdOut, nAt) != 0)) {
            nError = errno;
            return CopyResult::WriteFailed;
        }
    }
    return StillSame() ? CopyResult::Done : CopyResult::ReadFailed;
}

QByteArray CFileBlocks::BlockLocked(qint64 nIndex)
{
    if (m_state != State::Readable || nIndex < 0 || nIndex * m_nBlockSize >= m_nLength)
        return QByteArray();
    const auto found = m_index.constFind(nIndex);
    if (found != m_index.constEnd()) {
        m_lru.splice(m_lru.begin(), m_lru, found.value());
        return m_lru.front().bytes;
    }
    const qint64 nStart = nIndex * m_nBlockSize;
    QByteArray bytes(qsizetype(std::min(m_nBlockSize, m_nLength - nStart)), Qt::Uninitialized);
    if (!ReadChecked(nStart, bytes.size(), reinterpret_cast<std::uint8_t*>(bytes.data())))
        return QByteArray();
    m_leads.Note(nIndex, reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size());
    if (m_lru.size() >= std::size_t(m_nMaxBlocks)) {
        m_index.remove(m_lru.back().nIndex);
        m_lru.pop_back();
    }
    m_lru.push_front(Cached{nIndex, bytes});
    m_index.insert(nIndex, m_lru.begin());
    return bytes;
}

// A long read (the code-page guess reads the whole file this way) notes the
// blocks it holds whole, the file's short last one included.
void CFileBlocks::NoteWholeBlocks(qint64 nPos, qint64 nLength, const std::uint8_t* p)
{
    const qint64 nEnd = nPos + nLength;
    for (qint64 nIndex = (nPos + m_nBlockSize - 1) / m_nBlockSize;; ++nIndex) {
        const qint64 nStart = nIndex * m_nBlockSize;
        const qint64 n = std::min(m_nBlockSize, m_nLength - nStart);
        if (n <= 0 || nStart + n > nEnd)
            break;
        m_leads.Note(nIndex, p + (nStart - nPos), n);
    }
}

QByteArray CFileBlocks::Block(qint64 nIndex)
{
    QMutexLocker lock(&m_mutex);
    return BlockLocked(nIndex);
}

bool CFileBlocks::Read(qint64 nPos, qint64 nLength, std::uint8_t* pDst)
{
    QMutexLocker lock(&m_mutex);
    if (m_state != State::Readable || nPos < 0 || nLength < 0 || nPos > m_nLength || nLength > m_nLength - nPos)
        return false;
    if (nLength >= 2 * m_nBlockSize) {
        // A long read (the guess's or a search's parts) lets the others in
        // while the disk reads: the window's blocks do not wait behind it.
        if (!ReadChecked(nPos, nLength, pDst, &lock))
            return false;
        lock.unlock();
        NoteWholeBlocks(nPos, nLength, pDst);
        return true;
    }
    for (qint64 nDone = 0; nDone < nLength;) {
        const qint64 nAt = nPos + nDone;
        const QByteArray block = BlockLocked(nAt / m_nBlockSize);
        if (block.isNull())
            return false;
        const qint64 nOffset = nAt % m_nBlockSize;
        const qint64 n = std::min(nLength - nDone, qint64(block.size()) - nOffset);
        std::memcpy(pDst + nDone, block.constData() + nOffset, std::size_t(n));
        nDone += n;
    }
    return true;
}
