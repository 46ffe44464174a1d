#include "printpdf.h"

#include "afxmsg.h"
#include "afxres.h"
#include "cmdline.h"
#include "diskfile.h"
#include "fileexception.h"
#include "filename.h"
#include "hexdoc.h"
#include "hexview.h"
#include "printfile.h"
#include "printinfo.h"
#include "resources.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPageSize>
#include <QPrinter>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kUsage[] = "Usage: zorbel --print-pdf OUT.pdf [--codepage N] [--table FILE.tbl] [--] FILE\n";

// A print that failed, with the message for the user.
struct PrintFailure {
    QString text;
};

// Qt says where it keeps its runtime files when XDG_RUNTIME_DIR is not set,
// which is no news to someone printing from a script; every other message
// goes where it always goes.
QtMessageHandler s_previousHandler = nullptr;

void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (s_previousHandler)
        s_previousHandler(type, context, text);
}

// Whether a and b name one file.
bool IsSameFile(const QString& a, const QString& b)
{
    struct stat stA;
    struct stat stB;
    return ::stat(AfxEncodeFileName(a).constData(), &stA) == 0 && ::stat(AfxEncodeFileName(b).constData(), &stB) == 0
        && stA.st_dev == stB.st_dev && stA.st_ino == stB.st_ino;
}

// Prints the view's pages into the file open on file and checks that the PDF
// is whole; shownAs names it in messages. Qt's PDF writer opens its output by
// name, so it is given the descriptor's name under /proc. The file is left
// positioned at its end, where the safe writer cuts it.
void PrintInto(CHexView& view, QPrinter& printer, QFileDevice& file, const QString& shownAs)
{
    const QString name = QStringLiteral("/proc/self/fd/%1").arg(file.handle());
    printer.setOutputFileName(name);
    QString strError;
    if (!view.PrintToPrinter(printer, false, &strError)) {
        const QString shown = AfxDisplayFileName(shownAs);
        strError = CheckPdfFile(name, shown);
        throw PrintFailure{strError.isEmpty() ? AfxLoadString(AFX_IDP_FILE_GENERIC).replace(QLatin1String("%1"), shown)
                                              : strError};
    }
    if (!file.seek(file.size()))
        throw CFileException::FromDevice(file, shownAs);
}

[[noreturn]] void ThrowOutputError()
{
    throw PrintFailure{QLatin1String("cannot write the output: ") + QString::fromLocal8Bit(std::strerror(errno))};
}

// "-": the PDF is made in an unnamed temporary file, checked, and then copied
// to standard output, whose failure (a closed pipe, a full device) is reported.
void PrintToStandardOutput(CHexView& view, QPrinter& printer)
{
    const QString folder = QDir::tempPath();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        throw CFileException::FromErrno(errno, folder);
    QFile file;
    if (!file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw CFileException::FromDevice(file, folder);
    }
    PrintInto(view, printer, file, QStringLiteral("-"));
    char buffer[1 << 16];
    for (off_t nDone = 0;;) {
        const ssize_t nGot = ::pread(fd, buffer, sizeof buffer, nDone);
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0)
            throw CFileException::FromErrno(errno, folder);
        if (nGot == 0)
            break;
        for (ssize_t nPut = 0; nPut < nGot;) {
            const ssize_t n = ::write(STDOUT_FILENO, buffer + nPut, std::size_t(nGot - nPut));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ThrowOutputError();
            nPut += n;
        }
        nDone += nGot;
    }
    if (::fsync(STDOUT_FILENO) != 0 && errno != EINVAL && errno != EROFS)
        ThrowOutputError();
}

} // namespace

int PrintPdfMain(int argc, char* argv[])
{
    CFileCommandLine cmd;
    if (const int nStatus = ParseFileCommandLine(argc, argv, "--print-pdf", true, kUsage, cmd))
        return nStatus;
    // A closed pipe on standard output is a failed write, reported, not a signal.
    std::signal(SIGPIPE, SIG_IGN);

    // Nothing is shown, so no display is needed; Qt still wants a platform.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    s_previousHandler = qInstallMessageHandler(QuietHandler);
    QApplication app(argc, argv);
    // What a window would put in a message box (a failed load, a missing font)
    // becomes one line on standard error.
    AfxSetMessageBoxHandler([](const QString& text, unsigned) {
        ReportError(text);
        return IDOK;
    });

    const QString path = AfxDecodeFileName(cmd.pszPath);
    const QString out = AfxDecodeFileName(cmd.pszOut);
    const bool bToStandardOutput = out == QLatin1String("-");
    CHexDoc doc;
    if (!doc.OnOpenDocument(path))
        return 1;
    doc.SetPathName(path);
    if (!bToStandardOutput && IsSameFile(path, out)) {
        ReportError(AfxLoadString(AFX_IDP_PRINT_OVER_INPUT).replace(QLatin1String("%1"), AfxDisplayFileName(out)));
        return 1;
    }

    // The view prints as a document window's view would, never shown.
    CHexView view;
    view.AttachDocument(&doc);
    if (!view.Create())
        return 1;
    view.OnInitialUpdate();
    if (cmd.nCodePage != 0)
        view.SetupScreenFont(cmd.nCodePage);
    // A table that cannot be read says why, as a window would.
    if (cmd.pszTable && !view.LoadCharTable(QFile::decodeName(cmd.pszTable)))
        return 1;

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(doc.GetTitle());
    CPrintInfo info(&printer);
    info.m_bDirect = true;
    if (!view.OnPreparePrinting(&info))
        return 1;
    try {
        if (bToStandardOutput) {
            PrintToStandardOutput(view, printer);
        } else {
            struct stat st;
            if (::stat(AfxEncodeFileName(out).constData(), &st) == 0 && S_ISDIR(st.st_mode))
                throw CFileException(CFileException::invalidFile, out);
            // As a document is saved: an old PDF stays whole until the new
            // one is on disk, and a failure leaves nothing behind.
            AfxRemoveSaveLeftovers(out);
            AfxWriteFileSafely(out, [&](QFileDevice& file) { PrintInto(view, printer, file, out); });
        }
    } catch (const PrintFailure& failure) {
        ReportError(failure.text);
        return 1;
    } catch (const CFileException& e) {
        const QString text = e.GetErrorMessage();
        const QString shown = AfxDisplayFileName(out);
        ReportError(text.isEmpty() ? AfxLoadString(AFX_IDP_FILE_GENERIC).replace(QLatin1String("%1"), shown) : text);
        return 1;
    }
    return 0;
}
