#pragma once

#include "fileexception.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <unistd.h>

// Helpers shared by the file layer's writers (diskfile.cpp, inplacewrite.cpp);
// not for the program above it.

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

[[noreturn]] inline void AfxThrowErrno(const QString& name, int nError = errno)
{
    throw CFileException::FromErrno(nError, name);
}

// Syncs the folder of target so that a rename or a new name in it survives a
// crash. Some file systems cannot sync a folder; the data itself is on disk
// by then.
void AfxSyncFolderOf(const QString& target);

// The path of this program's own file beside target: ".NAME" + tag, NAME cut
// at a character's start so that the name, with nSuffix more bytes, fits the
// folder's limit (255 bytes on most file systems).
QByteArray AfxBesidePath(const QString& target, const QByteArray& tag, qsizetype nSuffix);
