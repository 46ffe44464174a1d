#include "fileexception.h"

#include "afxres.h"
#include "filename.h"
#include "resources.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

bool FolderExists(const QString& fileName)
{
    struct stat st;
    return ::stat(AfxEncodeFileName(AfxFolderPath(fileName)).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

CFileException::CFileException(Cause cause, const QString& fileName, const QString& detail)
    : m_cause(cause), m_strFileName(fileName), m_strDetail(detail)
{
}

CFileException CFileException::FromDevice(const QFileDevice& file, const QString& fileName, int nError)
{
    const bool bReadOrWrite = file.error() == QFileDevice::ReadError || file.error() == QFileDevice::WriteError
                              || file.error() == QFileDevice::ResourceError;
    if (bReadOrWrite && nError != 0) {
        CFileException e = FromErrno(nError, fileName);
        if (e.m_cause != genericException) {
            e.m_strDetail = file.errorString();
            return e;
        }
    }
    const QByteArray name = AfxEncodeFileName(fileName);
    struct stat st;
    Cause cause = genericException;
    switch (file.error()) {
    case QFileDevice::ResourceError:
        cause = diskFull;
        break;
    case QFileDevice::ReadError:
    case QFileDevice::WriteError:
        cause = hardIO;
        break;
    case QFileDevice::PermissionsError:
        cause = accessDenied;
        break;
    case QFileDevice::OpenError:
        if (::lstat(name.constData(), &st) != 0)
            cause = FolderExists(fileName) ? fileNotFound : badPath;
        else if (::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            cause = invalidFile;
        else
            cause = accessDenied;
        break;
    default:
        break;
    }
    return CFileException(cause, fileName, file.errorString());
}

CFileException CFileException::FromErrno(int nError, const QString& fileName)
{
    Cause cause = genericException;
    switch (nError) {
    case ENOENT:
        cause = FolderExists(fileName) ? fileNotFound : badPath;
        break;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        cause = badPath;
        break;
    case EACCES:
    case EPERM:
    case ETXTBSY:
        cause = accessDenied;
        break;
    case EROFS:
        cause = readOnly;
        break;
    case EISDIR:
        cause = invalidFile;
        break;
    case ENOSPC:
    case EDQUOT:
        cause = diskFull;
        break;
    case EFBIG:
        cause = sizeLimit;
        break;
    case EIO:
        cause = hardIO;
        break;
    default:
        break;
    }
    return CFileException(cause, fileName, QString::fromLocal8Bit(std::strerror(nError)));
}

QString CFileException::GetErrorMessage() const
{
    unsigned id = 0;
    switch (m_cause) {
    case fileNotFound: id = AFX_IDP_FILE_NOT_FOUND; break;
    case badPath: id = AFX_IDP_FILE_BAD_PATH; break;
    case accessDenied: id = AFX_IDP_FILE_ACCESS_DENIED; break;
    case invalidFile: id = AFX_IDP_FILE_INVALID; break;
    case hardIO: id = AFX_IDP_FILE_HARD_IO; break;
    case diskFull: id = AFX_IDP_FILE_DISKFULL; break;
    case endOfFile: id = AFX_IDP_FILE_EOF; break;
    case tooLarge: id = AFX_IDP_FILE_TOO_LARGE; break;
    case notRegularFile: id = AFX_IDP_FILE_NOT_REGULAR; break;
    case sizeLimit: id = AFX_IDP_FILE_SIZE_LIMIT; break;
    case readOnly: id = AFX_IDP_FILE_READ_ONLY; break;
    case changedWhileOpen: id = AFX_IDP_FILE_CHANGED_WHILE_OPEN; break;
    case rewriteWhileRead: id = AFX_IDP_FILE_REWRITE_WHILE_READ; break;
    case none:
    case genericException:
        return QString();
    }
    // Both at once: a name may hold "%2" (as "%20" does).
    if (m_cause == tooLarge)
        return AfxLoadString(id).arg(AfxDisplayFileName(m_strFileName), QString::number(m_nLimit));
    return AfxLoadString(id).replace(QLatin1String("%1"), AfxDisplayFileName(m_strFileName));
}
