#include "printpdf.h"

#include "afxmsg.h"
#include "cmdline.h"
#include "hexdoc.h"
#include "hexview.h"
#include "printinfo.h"

#include <QApplication>
#include <QFile>
#include <QPageSize>
#include <QPrinter>

namespace {

const char kUsage[] = "Usage: zorbel --print-pdf OUT.pdf [--codepage N] FILE\n";

} // namespace

int PrintPdfMain(int argc, char* argv[])
{
    CFileCommandLine cmd;
    if (const int nStatus = ParseFileCommandLine(argc, argv, "--print-pdf", true, kUsage, cmd))
        return nStatus;

    // Nothing is shown, so no display is needed; Qt still wants a platform.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // What a window would put in a message box (a failed load, a missing font)
    // becomes one line on standard error.
    AfxSetMessageBoxHandler([](const QString& text, unsigned) {
        ReportError(text);
        return IDOK;
    });

    const QString path = QFile::decodeName(cmd.pszPath);
    const QString out = QFile::decodeName(cmd.pszOut);
    CHexDoc doc;
    if (!doc.OnOpenDocument(path))
        return 1;
    doc.SetPathName(path);
    // The PDF writer only says that it failed; opening the file first says why.
    QFile probe(out);
    if (!probe.open(QIODevice::WriteOnly)) {
        ReportError(out + QLatin1String(": ") + probe.errorString());
        return 1;
    }
    probe.close();

    // The view prints as a document window's view would, never shown.
    CHexView view;
    view.AttachDocument(&doc);
    if (!view.Create())
        return 1;
    view.OnInitialUpdate();
    if (cmd.nCodePage != 0)
        view.SetupScreenFont(cmd.nCodePage);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(doc.GetTitle());
    CPrintInfo info(&printer);
    info.m_bDirect = true;
    QString strError;
    if (!view.OnPreparePrinting(&info) || !view.PrintToPrinter(printer, false, &strError)) {
        ReportError(strError.isEmpty() ? out + QLatin1String(": cannot be written") : strError);
        return 1;
    }
    return 0;
}
