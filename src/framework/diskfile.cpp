#include "diskfile.h"

#include "fileexception.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Closes a descriptor when it goes out of scope, unless it was closed.
class CFd {
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int get() const { return m_fd; }
    // close() reports the write errors some file systems only know then.
    int Close()
    {
        const int nResult = ::close(m_fd);
        m_fd = -1;
        return nResult;
    }

private:
    int m_fd;
};

[[noreturn]] void ThrowErrno(const QString& name, int nError = errno)
{
    throw CFileException::FromErrno(nError, name);
}

// A new empty file in target's folder, readable and writable by its owner
// only until its mode is set; its name goes to tempName.
int CreateBeside(const QString& target, QByteArray& tempName)
{
    const QFileInfo info(target);
    tempName = QFile::encodeName(info.absolutePath() + QLatin1String("/.") + info.fileName()
                                 + QLatin1String(".XXXXXX"));
    const int fd = mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0)
        ThrowErrno(target);
    return fd;
}

// Sync the folder so that a rename or a new name in it survives a crash. Some
// file systems cannot sync a folder; the data itself is on disk by then.
void SyncFolderOf(const QString& target)
{
    CFd dir(::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0 && ::fsync(dir.get()) != 0 && errno != EINVAL)
        ThrowErrno(target);
}

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

void SyncAndClose(CFd& fd, const QString& name)
{
    if (::fsync(fd.get()) != 0 || fd.Close() != 0)
        ThrowErrno(name);
}

// Writes through a Qt file on the descriptor fd, from where it stands; returns
// the length written.
qint64 WriteThrough(int fd, const QString& name, const std::function<void(QFileDevice&)>& write)
{
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
        throw CFileException::FromDevice(file, name);
    write(file);
    if (!file.flush())
        throw CFileException::FromDevice(file, name, errno);
    return file.pos();
}

// Copies the whole of from over to, from their starts, and cuts to there.
bool CopyWhole(int from, int to)
{
    std::vector<char> buffer(std::size_t(1) << 20);
    off_t nDone = 0;
    for (;;) {
        const ssize_t nGot = ::pread(from, buffer.data(), buffer.size(), nDone);
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0)
            return false;
        if (nGot == 0)
            return ::ftruncate(to, nDone) == 0;
        for (ssize_t nPut = 0; nPut < nGot;) {
            const ssize_t n = ::pwrite(to, buffer.data() + nPut, std::size_t(nGot - nPut), nDone + nPut);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            nPut += n;
        }
        nDone += nGot;
    }
}

// The usual way: the new bytes go into a new file beside the old one, which
// takes the old one's owner, group and mode, reaches the disk, and then
// replaces it by a rename, which is atomic: the name holds the old bytes or the
// new ones, never a part. pOld is null for a new file.
void ReplaceByRename(const QString& target, const struct stat* pOld,
                     const std::function<void(QFileDevice&)>& write)
{
    QByteArray tempName;
    CFd fd(CreateBeside(target, tempName));
    try {
        if (pOld) {
            // The owner first: changing it clears the set-user-ID bits the mode
            // then puts back. Where the owner cannot be kept, the group may be.
            if (::fchown(fd.get(), pOld->st_uid, pOld->st_gid) != 0)
                (void)::fchown(fd.get(), uid_t(-1), pOld->st_gid);
            ::fchmod(fd.get(), pOld->st_mode & 07777);
        } else {
            ::fchmod(fd.get(), 0666 & ~CurrentUmask());
        }
        WriteThrough(fd.get(), target, write);
        SyncAndClose(fd, target);
        if (::rename(tempName.constData(), QFile::encodeName(target).constData()) != 0)
            ThrowErrno(target);
    } catch (...) {
        ::unlink(tempName.constData());
        throw;
    }
    SyncFolderOf(target);
}

// A file with several names: every name must see the new bytes, so the file
// itself is rewritten instead of being replaced by a new one, which would
// leave the other names on the old bytes. A rewrite in place is not atomic, so a
// whole copy of the old bytes is put on disk beside it first. When the rewrite
// fails or is cancelled the old bytes are copied back; when even that fails the
// copy stays where it is. The copy goes once the new bytes are on disk.
void RewriteInPlace(const QString& target, const std::function<void(QFileDevice&)>& write)
{
    const QByteArray path = QFile::encodeName(target);
    CFd file(::open(path.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (file.get() < 0)
        ThrowErrno(target);
    if (::fstat(file.get(), &st) != 0)
        ThrowErrno(target);
    if (!S_ISREG(st.st_mode))
        throw CFileException(CFileException::notRegularFile, target);

    QByteArray backupName;
    CFd backup(CreateBeside(target, backupName));
    ::fchmod(backup.get(), st.st_mode & 0777);
    if (!CopyWhole(file.get(), backup.get()) || ::fsync(backup.get()) != 0) {
        const int nError = errno;
        ::unlink(backupName.constData());
        ThrowErrno(target, nError);
    }
    SyncFolderOf(target);

    try {
        const qint64 nLength = WriteThrough(file.get(), target, write);
        if (::ftruncate(file.get(), nLength) != 0)
            ThrowErrno(target);
        SyncAndClose(file, target);
    } catch (...) {
        if (file.get() >= 0 && CopyWhole(backup.get(), file.get()) && ::fsync(file.get()) == 0)
            ::unlink(backupName.constData());
        throw;
    }
    ::unlink(backupName.constData());
}

} // namespace

CFileStamp CFileStamp::Of(const QString& path)
{
    CFileStamp stamp;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return stamp;
    stamp.bExists = true;
    stamp.nDevice = quint64(st.st_dev);
    stamp.nInode = quint64(st.st_ino);
    stamp.nSize = qint64(st.st_size);
    stamp.nModifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

bool CFileStamp::operator==(const CFileStamp& other) const
{
    return bExists == other.bExists && nDevice == other.nDevice && nInode == other.nInode && nSize == other.nSize
        && nModifiedNs == other.nModifiedNs;
}

void AfxOpenRegularFile(QFile& file, const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0)
        ThrowErrno(path);
    if (!S_ISREG(st.st_mode))
        throw CFileException(CFileException::invalidFile, path);
    // Without waiting, should a FIFO have taken the name since.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        ThrowErrno(path);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw CFileException(CFileException::invalidFile, path);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw CFileException::FromDevice(file, path);
    }
}

void AfxWriteFileSafely(const QString& target, const std::function<void(QFileDevice&)>& write)
{
    struct stat st;
    if (::stat(QFile::encodeName(target).constData(), &st) != 0) {
        if (errno != ENOENT)
            ThrowErrno(target);
        ReplaceByRename(target, nullptr, write);
        return;
    }
    if (!S_ISREG(st.st_mode))
        throw CFileException(CFileException::notRegularFile, target);
    if (st.st_nlink > 1)
        RewriteInPlace(target, write);
    else
        ReplaceByRename(target, &st, write);
}
