#include "printdialog.h"

#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>

namespace {

// What a print dialog can change on its printer.
struct PrinterSettings {
    explicit PrinterSettings(const QPrinter& printer)
        : format(printer.outputFormat()), strPrinterName(printer.printerName()),
          strOutputFile(printer.outputFileName()), layout(printer.pageLayout()), colorMode(printer.colorMode()),
          duplex(printer.duplex()), nCopies(printer.copyCount()), bCollate(printer.collateCopies()),
          pageOrder(printer.pageOrder()), range(printer.printRange()), nFromPage(printer.fromPage()),
          nToPage(printer.toPage())
    {
    }

    // The output first: a file name ending in ".pdf" or an empty one changes
    // the format, and the device decides which paper and modes there are.
    void Restore(QPrinter& printer) const
    {
        if (printer.outputFileName() != strOutputFile)
            printer.setOutputFileName(strOutputFile);
        printer.setOutputFormat(format);
        if (format == QPrinter::NativeFormat)
            printer.setPrinterName(strPrinterName);
        printer.setPageLayout(layout);
        printer.setColorMode(colorMode);
        printer.setDuplex(duplex);
        printer.setCopyCount(nCopies);
        printer.setCollateCopies(bCollate);
        printer.setPageOrder(pageOrder);
        printer.setPrintRange(range);
        printer.setFromTo(nFromPage, nToPage);
    }

    QPrinter::OutputFormat format;
    QString strPrinterName;
    QString strOutputFile;
    QPageLayout layout;
    QPrinter::ColorMode colorMode;
    QPrinter::DuplexMode duplex;
    int nCopies;
    bool bCollate;
    QPrinter::PageOrder pageOrder;
    QPrinter::PrintRange range;
    int nFromPage;
    int nToPage;
};

} // namespace

void AfxCopyPrinterSettings(const QPrinter& from, QPrinter& to)
{
    PrinterSettings(from).Restore(to);
}

bool AfxExecPrintDialog(QPrintDialog& dialog)
{
    QPrinter* pPrinter = dialog.printer();
    const PrinterSettings before(*pPrinter);
    if (dialog.exec() == QDialog::Accepted)
        return true;
    before.Restore(*pPrinter);
    return false;
}
