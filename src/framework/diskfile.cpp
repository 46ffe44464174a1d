#include "diskfile.h"

#include "fileexception.h"
#include "filename.h"
#include "posixfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <climits>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

// This program's own files beside a file NAME while it is saved:
// ".NAME.zorbel-XXXXXX" holds the new bytes until the rename, and
// ".NAME.zorbel-old-XXXXXX" the copy of the old bytes that a rewrite in place
// keeps. NAME is cut, at a character's start, so that the whole name fits the
// folder's limit (255 bytes on most file systems): a file whose name is
// already near that limit can still be saved.
enum class BesideKind { NewBytes, OldBytes };

QByteArray BesideTemplate(const QString& target, BesideKind kind)
{
    const QByteArray tag = kind == BesideKind::NewBytes ? QByteArrayLiteral(".zorbel-") : QByteArrayLiteral(".zorbel-old-");
    return AfxBesidePath(target, tag, 6) + "XXXXXX";
}

// A new empty file in target's folder, readable and writable by its owner
// only until its mode is set; its name goes to tempName. It stays locked
// (flock) while it is open, which tells a save in progress from the leftover
// of one that was killed.
int CreateBeside(const QString& target, BesideKind kind, QByteArray& tempName)
{
    tempName = BesideTemplate(target, kind);
    const int fd = mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0)
        AfxThrowErrno(target);
    ::flock(fd, LOCK_EX);
    return fd;
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
        AfxThrowErrno(name);
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

// Gives the new file fd what the file oldPath has besides its bytes: owner,
// group, mode, and the extended attributes, among them the ACL
// (system.posix_acl_access), copied as they are. False when one of them
// cannot be given, as to a file of another user's that this user may write.
bool CarryAttributes(int fd, const QByteArray& oldPath, const struct stat& old)
{
    // The owner first: changing it clears the set-user-ID bits the mode then
    // puts back; the ACL after the mode, whose group bits it sets.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 || ::fchmod(fd, old.st_mode & 07777) != 0)
        return false;
    ssize_t nList = ::llistxattr(oldPath.constData(), nullptr, 0);
    if (nList < 0)
        return errno == ENOTSUP;
    QByteArray names(nList, '\0');
    nList = ::llistxattr(oldPath.constData(), names.data(), names.size());
    if (nList < 0)
        return false;
    for (const QByteArray& name : names.left(nList).split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t nValue = ::lgetxattr(oldPath.constData(), name.constData(), nullptr, 0);
        if (nValue < 0)
            return false;
        QByteArray value(nValue, '\0');
        const ssize_t nGot = ::lgetxattr(oldPath.constData(), name.constData(), value.data(), value.size());
        if (nGot < 0 || ::fsetxattr(fd, name.constData(), value.constData(), std::size_t(nGot), 0) != 0)
            return false;
    }
    return true;
}

// The usual way: the new bytes go into a new file beside the old one, which
// takes the old one's owner, group, mode and extended attributes, reaches the
// disk, and then replaces it by a rename, which is atomic: the name holds the
// old bytes or the new ones, never a part. pOld is null for a new file.
// Returns false, having written nothing, when the old file's attributes cannot
// be given to a new file.
bool ReplaceByRename(const QString& target, const struct stat* pOld,
                     const std::function<void(QFileDevice&)>& write)
{
    QByteArray tempName;
    CFd fd(CreateBeside(target, BesideKind::NewBytes, tempName));
    const QByteArray path = AfxEncodeFileName(target);
    try {
        if (pOld && !CarryAttributes(fd.get(), path, *pOld)) {
            ::unlink(tempName.constData());
            return false;
        }
        if (!pOld)
            ::fchmod(fd.get(), 0666 & ~CurrentUmask());
        WriteThrough(fd.get(), target, write);
        if (::fsync(fd.get()) != 0)
            AfxThrowErrno(target);
        if (::rename(tempName.constData(), path.constData()) != 0)
            AfxThrowErrno(target);
    } catch (...) {
        ::unlink(tempName.constData());
        throw;
    }
    // Closed (and unlocked) only after the rename: until then the file is a
    // save in progress, which no cleaning of leftovers may take.
    fd.Close();
    AfxSyncFolderOf(target);
    return true;
}

// A file with several names: every name must see the new bytes, so the file
// itself is rewritten instead of being replaced by a new one, which would
// leave the other names on the old bytes. A rewrite in place is not atomic, so a
// whole copy of the old bytes is put on disk beside it first. When the rewrite
// fails or is cancelled the old bytes are copied back; when even that fails the
// copy stays where it is. The copy goes once the new bytes are on disk.
void RewriteInPlace(const QString& target, const std::function<void(QFileDevice&)>& write)
{
    const QByteArray path = AfxEncodeFileName(target);
    CFd file(::open(path.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (file.get() < 0)
        AfxThrowErrno(target);
    if (::fstat(file.get(), &st) != 0)
        AfxThrowErrno(target);
    if (!S_ISREG(st.st_mode))
        throw CFileException(CFileException::notRegularFile, target);

    QByteArray backupName;
    CFd backup(CreateBeside(target, BesideKind::OldBytes, backupName));
    ::fchmod(backup.get(), st.st_mode & 0777);
    if (!CopyWhole(file.get(), backup.get()) || ::fsync(backup.get()) != 0) {
        const int nError = errno;
        ::unlink(backupName.constData());
        AfxThrowErrno(target, nError);
    }
    AfxSyncFolderOf(target);

    try {
        const qint64 nLength = WriteThrough(file.get(), target, write);
        if (::ftruncate(file.get(), nLength) != 0)
            AfxThrowErrno(target);
        SyncAndClose(file, target);
    } catch (...) {
        if (file.get() >= 0 && CopyWhole(backup.get(), file.get()) && ::fsync(file.get()) == 0)
            ::unlink(backupName.constData());
        throw;
    }
    ::unlink(backupName.constData());
}

// Whether the files open on a and b hold the same bytes.
bool SameBytes(int a, int b)
{
    std::vector<char> bufferA(std::size_t(1) << 16);
    std::vector<char> bufferB(bufferA.size());
    for (off_t nDone = 0;;) {
        const ssize_t nA = ::pread(a, bufferA.data(), bufferA.size(), nDone);
        if (nA < 0)
            return false;
        for (ssize_t nB = 0; nB < nA;) {
            const ssize_t n = ::pread(b, bufferB.data() + nB, std::size_t(nA - nB), nDone + nB);
            if (n <= 0)
                return false;
            nB += n;
        }
        if (std::memcmp(bufferA.data(), bufferB.data(), std::size_t(nA)) != 0)
            return false;
        if (nA == 0)
            return true;
        nDone += nA;
    }
}

// Whether entry, a name in target's folder, is one CreateBeside makes for
// target in the way kind: the template with its six letters and digits.
bool IsBesideName(const QByteArray& entry, const QByteArray& templateName)
{
    const QByteArray prefix = templateName.mid(templateName.lastIndexOf('/') + 1).chopped(6);
    if (entry.size() != prefix.size() + 6 || !entry.startsWith(prefix))
        return false;
    return std::all_of(entry.end() - 6, entry.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

} // namespace

QByteArray AfxBesidePath(const QString& target, const QByteArray& tag, qsizetype nSuffix)
{
    const QByteArray path = AfxEncodeFileName(AfxAbsoluteFilePath(target));
    const qsizetype nSlash = path.lastIndexOf('/');
    const QByteArray folder = nSlash > 0 ? path.left(nSlash) : QByteArray("/");
    QByteArray name = path.mid(nSlash + 1);
    const long nPathconf = ::pathconf(folder.constData(), _PC_NAME_MAX);
    const qsizetype nNameMax = nPathconf > 0 ? qsizetype(nPathconf) : qsizetype(NAME_MAX);
    const qsizetype nRoom = nNameMax - 1 - tag.size() - nSuffix;
    if (name.size() > nRoom) {
        qsizetype nCut = qMax<qsizetype>(nRoom, 0);
        while (nCut > 0 && (quint8(name[nCut]) & 0xC0) == 0x80)
            --nCut;
        name.truncate(nCut);
    }
    return (folder.endsWith('/') ? folder : folder + '/') + '.' + name + tag;
}

void AfxSyncFolderOf(const QString& target)
{
    CFd dir(::open(AfxEncodeFileName(AfxFolderPath(target)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0 && ::fsync(dir.get()) != 0 && errno != EINVAL)
        AfxThrowErrno(target);
}

QStringList AfxRemoveSaveLeftovers(const QString& target)
{
    QStringList kept;
    const QByteArray path = AfxEncodeFileName(target);
    struct stat file;
    const bool bFileExists = ::stat(path.constData(), &file) == 0 && S_ISREG(file.st_mode);
    const QByteArray newBytes = BesideTemplate(target, BesideKind::NewBytes);
    const QByteArray oldBytes = BesideTemplate(target, BesideKind::OldBytes);
    const QByteArray folder = newBytes.left(newBytes.lastIndexOf('/') + 1);
    DIR* pDir = ::opendir(folder.constData());
    if (!pDir)
        return kept;
    while (const struct dirent* pEntry = ::readdir(pDir)) {
        const QByteArray entry(pEntry->d_name);
        const bool bOld = IsBesideName(entry, oldBytes);
        if (!bOld && !IsBesideName(entry, newBytes))
            continue;
        const QByteArray leftover = folder + entry;
        CFd fd(::open(leftover.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        struct stat now;
        // Only a regular file of this user's, or of the file's owner (a save
        // gives the new file the old one's owner), that no save holds open.
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)
            || (st.st_uid != ::geteuid() && !(bFileExists && st.st_uid == file.st_uid))
            || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // The name must still lead to the file that was looked at.
        if (::lstat(leftover.constData(), &now) != 0 || now.st_ino != st.st_ino || now.st_dev != st.st_dev)
            continue;
        if (bOld && bFileExists) {
            // The old bytes of a rewrite in place that did not finish: they may
            // be the only whole copy left, so they go only where the file
            // holds them too.
            CFd current(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            if (current.get() < 0 || st.st_size != file.st_size || !SameBytes(fd.get(), current.get())) {
                kept.append(AfxDecodeFileName(leftover));
                continue;
            }
        } else if (bOld) {
            kept.append(AfxDecodeFileName(leftover));
            continue;
        }
        ::unlink(leftover.constData());
    }
    ::closedir(pDir);
    return kept;
}

QString AfxCanonicalFilePath(const QString& path)
{
    const QString absolute = AfxAbsoluteFilePath(path);
    char* pszCanonical = ::realpath(AfxEncodeFileName(absolute).constData(), nullptr);
    if (!pszCanonical)
        return absolute;
    const QString canonical = AfxDecodeFileName(QByteArray(pszCanonical));
    std::free(pszCanonical);
    return canonical;
}

CFileStamp CFileStamp::Of(const QString& path)
{
    CFileStamp stamp;
    struct stat st;
    if (::stat(AfxEncodeFileName(path).constData(), &st) != 0)
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
    const QByteArray name = AfxEncodeFileName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0)
        AfxThrowErrno(path);
    if (!S_ISREG(st.st_mode))
        throw CFileException(CFileException::invalidFile, path);
    // Without waiting, should a FIFO have taken the name since.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        AfxThrowErrno(path);
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

QByteArray AfxReadRegularFile(const QString& path, qint64 nLimit)
{
    QFile file;
    AfxOpenRegularFile(file, path);
    QByteArray bytes = file.read(nLimit + 1);
    if (file.error() != QFileDevice::NoError)
        throw CFileException::FromDevice(file, path);
    if (bytes.size() > nLimit) {
        CFileException e(CFileException::tooLarge, path);
        e.m_nLimit = quint64(nLimit);
        throw e;
    }
    return bytes;
}

void AfxWriteFileSafely(const QString& target, const std::function<void(QFileDevice&)>& write)
{
    struct stat st;
    if (::stat(AfxEncodeFileName(target).constData(), &st) != 0) {
        if (errno != ENOENT)
            AfxThrowErrno(target);
        ReplaceByRename(target, nullptr, write);
        return;
    }
    if (!S_ISREG(st.st_mode))
        throw CFileException(CFileException::notRegularFile, target);
    // A file with several names, or one whose owner, group or attributes a
    // new file cannot be given, is rewritten in place.
    if (st.st_nlink > 1 || !ReplaceByRename(target, &st, write))
        RewriteInPlace(target, write);
}

std::function<qint64(const QString&)> g_afxFreeBytesHook;

qint64 AfxFreeBytesBeside(const QString& target)
{
    if (g_afxFreeBytesHook)
        return g_afxFreeBytesHook(target);
    struct statvfs st;
    if (::statvfs(AfxEncodeFileName(AfxFolderPath(target)).constData(), &st) != 0)
        return -1;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}
