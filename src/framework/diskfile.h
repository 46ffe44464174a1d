#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QFile;
class QFileDevice;

// What tells one state of a file on disk from another: which file the name
// leads to, its length and when it was last written. A file another program
// rewrites, truncates, replaces or deletes gets another stamp.
struct CFileStamp {
    bool bExists = false;
    quint64 nDevice = 0;
    quint64 nInode = 0;
    qint64 nSize = 0;
    qint64 nModifiedNs = 0;

    static CFileStamp Of(const QString& path);
    bool operator==(const CFileStamp& other) const;
    bool operator!=(const CFileStamp& other) const { return !(*this == other); }
};

// What tells one file from another by name: the path with its symbolic links,
// "." and ".." resolved when the file exists, else the absolute path with "."
// and ".." taken out. "f.bin", "./f.bin" and "/a/sub/../f.bin" give the same.
QString AfxCanonicalFilePath(const QString& path);

// Opens path for reading into file. Anything but a regular file (or a link to
// one) is refused with CFileException::invalidFile: it is looked at before it
// is opened, because opening a FIFO waits for a writer and a device may act on
// being opened, and the open file is looked at again, since the name may have
// been given to something else meanwhile. Throws CFileException.
void AfxOpenRegularFile(QFile& file, const QString& path);

// The whole of the regular file at path, opened as AfxOpenRegularFile opens
// it, for files read at once (lists and tables): one longer than nLimit bytes
// is refused with CFileException::tooLarge rather than read. Throws
// CFileException.
QByteArray AfxReadRegularFile(const QString& path, qint64 nLimit);

// Writes the file target (no symbolic link) through write, which throws on
// failure, so that a failure or a cancel leaves the old bytes on disk and a
// success has put the new bytes on the disk before it returns. Only regular
// files are written: anything else at target is refused with
// CFileException::notRegularFile and left as it is. Throws CFileException or
// what write throws.
void AfxWriteFileSafely(const QString& target, const std::function<void(QFileDevice& file)>& write);

// Removes what saves of target that were killed before they ended left beside
// it: this program's hidden temporary files, recognised by their names
// (".NAME.zorbel-XXXXXX"), owned by this user or by the file's owner, and
// held open by no save in progress. A copy of the old bytes kept during the
// rewrite in place of a file with several names (".NAME.zorbel-old-XXXXXX")
// goes only when the file holds the same bytes; otherwise it may be the only
// whole copy, and its path is returned for the user to decide.
QStringList AfxRemoveSaveLeftovers(const QString& target);

// The bytes this user may still write in the folder of target, or -1 when
// its file system cannot tell. Tests set g_afxFreeBytesHook to pretend a
// full disk.
qint64 AfxFreeBytesBeside(const QString& target);
extern std::function<qint64(const QString& target)> g_afxFreeBytesHook;
