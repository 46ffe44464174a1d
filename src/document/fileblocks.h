#pragma once

#include "fileexception.h"
#include "leadblocks.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QString>

#include <cstdint>
#include <list>

// A file read on demand, a block at a time, through a bounded cache of the
// blocks read last (least recently used goes first). Offsets are 64-bit: the
// file may be of any length the file system allows.
//
// Bytes are read as they are asked for, so another program that changes the
// file meanwhile would make a reader see old bytes beside new ones. Before and
// after every read from the disk the file is compared with what it was at
// Open: the name must still lead to the same file (device, inode) and the file
// must have the same length and modification time. On a change the file is
// never read again, the cache included: every later read fails, GetState()
// says Changed and Error() gives the message for the user. Nothing mixed is
// ever handed out.
//
// Reads may come from several threads: the cache and the state are guarded.
// A block handed out (Block) stays valid for as long as its holder keeps it,
// also once the cache has let it go.
class CFileBlocks {
public:
    enum class State {
        Closed,       // before Open
        Readable,
        Changed,      // another program changed, replaced or removed the file
        ReadFailed,   // the system refused a read (Error() says why)
    };

    static constexpr qint64 kDefaultBlockSize = qint64(64) << 10;
    static constexpr qint64 kDefaultCacheSize = qint64(4) << 20;

    // Tests choose small blocks and caches to cross their boundaries cheaply.
    explicit CFileBlocks(qint64 nBlockSize = kDefaultBlockSize, qint64 nCacheSize = kDefaultCacheSize);
    ~CFileBlocks();
    CFileBlocks(const CFileBlocks&) = delete;
    CFileBlocks& operator=(const CFileBlocks&) = delete;

    // Opens a regular file (anything else is refused) and notes what it is.
    // Throws CFileException.
    void Open(const QString& path);

    const QString& GetPath() const { return m_strPath; }
    // The length at Open; the file is refused, not re-measured, when it changes.
    qint64 GetLength() const { return m_nLength; }
    qint64 GetBlockSize() const { return m_nBlockSize; }
    // Whether the file opened is the one on device nDevice with inode nInode.
    bool Is(quint64 nDevice, quint64 nInode) const { return m_nDevice == nDevice && m_nInode == nInode; }
    State GetState() const;
    bool IsReadable() const { return GetState() == State::Readable; }
    // What to tell the user once a read failed.
    CFileException Error() const;

    // Copies nLength bytes at nPos into pDst. False when they lie outside the
    // file, or the file changed or could not be read: pDst then holds nothing
    // to rely on. A long read goes straight into pDst, past the cache, so that
    // a scan of the whole file does not push out the blocks on the screen.
    bool Read(qint64 nPos, qint64 nLength, std::uint8_t* pDst);
    // Copies nLength bytes at nPos to the file open on fdOut, at its offset,
    // by the kernel without passing through memory (copy_file_range),
    // between the same checks as a read. Unsupported, with nothing copied,
    // where the kernel cannot copy between these two files: the caller then
    // reads and writes. WriteFailed sets nError.
    enum class CopyResult { Done, Unsupported, ReadFailed, WriteFailed };
    CopyResult CopyTo(qint64 nPos, qint64 nLength, int fdOut, int& nError);
    // Block nIndex (bytes from nIndex * GetBlockSize(), shorter at the file's
    // end), from the cache when it is there; a null array on failure.
    QByteArray Block(qint64 nIndex);

    // While this program overwrites bytes of the file in place (bytes the
    // document no longer reads from it: it holds their new values), a new
    // modification time is no change; another name, file or length still is.
    // Ending it takes the file's new time as the one it was opened with.
    void SetWritingInPlace(bool bWriting);

    // Closes the file, its last close left to a thread of its own: the file
    // system frees a file that a rename replaced at its last close, which for
    // a large file takes tens of milliseconds (60 ms for 256 MiB on ext4) that
    // a save need not wait for. Every later read fails, as before Open.
    void CloseInBackground();

    // Which blocks are known to hold lead bytes alone, noted as they are read.
    const CLeadBlocks& Leads() const { return m_leads; }

    // The name no longer leads to this file because this program saved
    // another file under it (a save renames its new file over the name): the
    // file is still read through the descriptor held open, which no other
    // program can reach by that name, and only the open file's own length
    // and time count as a change from now on.
    void Detach();
    bool IsDetached() const;

    // How many reads went to the disk, for tests of the cache.
    qint64 DiskReads() const { return m_nDiskReads; }

private:
    struct Cached {
        qint64 nIndex;
        QByteArray bytes;
    };

    // Whether the file is still the one opened; sets the state when not.
    // Called with the mutex held.
    bool StillSame();
    void MarkChanged();
    // Reads from the disk between two checks. Called with the mutex held by
    // pLock, or by the caller when pLock is null; a given pLock is let go
    // while the disk reads.
    bool ReadChecked(qint64 nPos, qint64 nLength, std::uint8_t* pDst, QMutexLocker<QMutex>* pLock = nullptr);
    QByteArray BlockLocked(qint64 nIndex);
    void NoteWholeBlocks(qint64 nPos, qint64 nLength, const std::uint8_t* p);

    const qint64 m_nBlockSize;
    const qsizetype m_nMaxBlocks;
    QString m_strPath;
    QByteArray m_nativePath;
    QFile m_file;
    qint64 m_nLength = 0;
    quint64 m_nDevice = 0;
    quint64 m_nInode = 0;
    qint64 m_nModifiedNs = 0;

    mutable QMutex m_mutex;
    State m_state = State::Closed;
    bool m_bWritingInPlace = false;
    bool m_bDetached = false;
    int m_nError = 0;
    qint64 m_nDiskReads = 0;
    // Most recently used first.
    std::list<Cached> m_lru;
    QHash<qint64, std::list<Cached>::iterator> m_index;
    CLeadBlocks m_leads;
};
