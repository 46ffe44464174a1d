#include "printpdf.h"

#include "afxmsg.h"
#include "hexdoc.h"
#include "hexview.h"
#include "printinfo.h"

#include <QApplication>
#include <QFile>
#include <QPageSize>
#include <QPrinter>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kUsage[] = "Usage: zorbel --print-pdf OUT.pdf [--codepage N] FILE\n";

int UsageError(const char* pszProblem)
{
    std::fprintf(stderr, "zorbel: %s\n%s", pszProblem, kUsage);
    return 2;
}

void Report(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "zorbel: %s\n", line.toLocal8Bit().constData());
}

} // namespace

int PrintPdfMain(int argc, char* argv[])
{
    const char* pszOut = nullptr;
    const char* pszPath = nullptr;
    int nCodePage = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--print-pdf") == 0) {
            if (pszOut || ++i == argc)
                return UsageError("--print-pdf needs one output file");
            pszOut = argv[i];
        } else if (std::strcmp(arg, "--codepage") == 0) {
            if (++i == argc)
                return UsageError("--codepage needs a code page number");
            char* end = nullptr;
            const long value = std::strtol(argv[i], &end, 10);
            if (end == argv[i] || *end != '\0' || value <= 0 || value > 65535)
                return UsageError("--codepage needs a code page number");
            nCodePage = int(value);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return UsageError("unknown option for --print-pdf");
        } else if (pszPath) {
            return UsageError("--print-pdf takes one file");
        } else {
            pszPath = arg;
        }
    }
    if (!pszPath)
        return UsageError("--print-pdf needs a file");

    // Nothing is shown, so no display is needed; Qt still wants a platform.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // What a window would put in a message box (a failed load, a missing font)
    // becomes one line on standard error.
    AfxSetMessageBoxHandler([](const QString& text, unsigned) {
        Report(text);
        return IDOK;
    });

    const QString path = QFile::decodeName(pszPath);
    const QString out = QFile::decodeName(pszOut);
    CHexDoc doc;
    if (!doc.OnOpenDocument(path))
        return 1;
    doc.SetPathName(path);
    // The PDF writer only says that it failed; opening the file first says why.
    QFile probe(out);
    if (!probe.open(QIODevice::WriteOnly)) {
        Report(out + QLatin1String(": ") + probe.errorString());
        return 1;
    }
    probe.close();

    // The view prints as a document window's view would, never shown.
    CHexView view;
    view.AttachDocument(&doc);
    if (!view.Create())
        return 1;
    view.OnInitialUpdate();
    if (nCodePage != 0) {
        doc.m_nCodePage = nCodePage;
        view.SetupScreenFont(nCodePage);
    }

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(doc.GetTitle());
    CPrintInfo info(&printer);
    info.m_bDirect = true;
    if (!view.OnPreparePrinting(&info) || !view.PrintToPrinter(printer)) {
        Report(out + QLatin1String(": cannot be written"));
        return 1;
    }
    return 0;
}
