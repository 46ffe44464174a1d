#pragma once

#include <QString>

class QFileDevice;

// A failed file operation, thrown out of loading and saving and caught by the
// document, which shows its message. The cause decides the message text.
class CFileException {
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        accessDenied,
        invalidFile,
        hardIO,
        diskFull,
        endOfFile,
        tooLarge,
        notRegularFile,   // a pipe, device or socket where a file is written
        sizeLimit,        // longer than the file system or RLIMIT_FSIZE allows (EFBIG)
        readOnly,         // on a file system mounted read-only (EROFS)
        changedWhileOpen, // another program changed a file that is read as it is shown
        rewriteWhileRead, // a save would rewrite in place the file the document still reads from
    };

    CFileException(Cause cause, const QString& fileName, const QString& detail = QString());

    // Cause of the last error of a Qt file, with its text as the detail. Qt
    // tells a full disk from other failed writes but no more: nError, the
    // errno taken right after the failed read or write, names the others.
    static CFileException FromDevice(const QFileDevice& file, const QString& fileName, int nError = 0);

    // Cause of a failed system call on the file, from its errno.
    static CFileException FromErrno(int nError, const QString& fileName);

    // The text for the user: the cause's message with the file name, or empty for
    // a generic failure (the caller then shows its own "Failed to ..." text).
    QString GetErrorMessage() const;

    Cause m_cause;
    QString m_strFileName;
    QString m_strDetail;
    quint64 m_nLimit = 0;   // tooLarge: the greatest length that can be held
};
