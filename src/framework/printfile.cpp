#include "printfile.h"

#include "afxres.h"
#include "fileexception.h"
#include "resources.h"

#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QStorageInfo>

#include <sys/resource.h>

namespace {

// The trailer Qt writes: "startxref\n<offset> \n%%EOF\n", well within this.
constexpr qint64 kTail = 1024;

bool IsWholePdf(QFile& file)
{
    const qint64 size = file.size();
    if (size < 16 || !file.seek(qMax<qint64>(0, size - kTail)))
        return false;
    QByteArray tail = file.read(kTail);
    if (!tail.trimmed().endsWith("%%EOF"))
        return false;
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0)
        return false;
    tail = tail.mid(at + 9);
    tail.truncate(tail.indexOf("%%EOF"));
    bool ok = false;
    const qint64 xref = tail.trimmed().toLongLong(&ok);
    return ok && xref >= 0 && xref < size && file.seek(xref) && file.read(4) == "xref";
}

} // namespace

QString CheckPdfFile(const QString& path, const QString& shownAs)
{
    const QString name = shownAs.isEmpty() ? path : shownAs;
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString message = CFileException::FromDevice(file, name).GetErrorMessage();
        return message.isEmpty() ? AfxLoadString(AFX_IDP_FILE_GENERIC).replace(QLatin1String("%1"), name) : message;
    }
    if (IsWholePdf(file))
        return QString();
    const qint64 nSize = file.size();
    file.close();
    // The writer's own error is lost; a file system with no room left is the
    // usual reason, and the one the user can act on, then a file cut at the
    // file size limit.
    const QStorageInfo storage(QFileInfo(name).absolutePath());
    const bool full = storage.isValid() && storage.bytesAvailable() < qMax(storage.blockSize(), 1);
    struct rlimit limit;
    const bool atLimit = ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                         && quint64(nSize) >= quint64(limit.rlim_cur);
    if (shownAs.isEmpty())
        QFile::remove(path);
    const unsigned id = full ? AFX_IDP_FILE_DISKFULL : atLimit ? AFX_IDP_FILE_SIZE_LIMIT : AFX_IDP_FILE_GENERIC;
    return AfxLoadString(id).replace(QLatin1String("%1"), name);
}

QString CheckPrintFile(const QPrinter& printer)
{
    if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty())
        return QString();
    return CheckPdfFile(printer.outputFileName());
}
