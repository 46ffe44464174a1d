#include "view.h"

#include "afxmsg.h"
#include "afxres.h"
#include "printdialog.h"
#include "printfile.h"
#include "printinfo.h"
#include "resources.h"
#include "settingsprofile.h"

#include <QAction>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kPreviewPages = QStringLiteral("PreviewPages");

// Print and Print Direct differ only in whether the dialog is asked.
void RunPrintCommand(CView* pView, bool bDirect)
{
    // Without the application's printer (tests) one lives for this command only.
    QPrinter ownPrinter(QPrinter::HighResolution);
    const auto& printer = pView->GetServices().printer;
    QPrinter* pPrinter = printer ? printer() : &ownPrinter;
    CPrintInfo info(pPrinter);
    info.m_bDirect = bDirect;
    if (!pView->OnPreparePrinting(&info))
        return;
    if (pView->GetDocument())
        pPrinter->setDocName(pView->GetDocument()->GetTitle());
    QString strError;
    if (!pView->PrintToPrinter(*pPrinter, false, &strError))
        AfxMessageBox(strError.isEmpty() ? AfxLoadString(AFX_IDP_FAILED_TO_START_PRINT) : strError,
                      MB_OK | MB_ICONEXCLAMATION);
}

} // namespace

void CView::OnFilePrint()
{
    RunPrintCommand(this, false);
}

void CView::OnFilePrintDirect()
{
    RunPrintCommand(this, true);
}

// The preview shows one page or two side by side, as the user left it last
// time ("Settings"/"PreviewPages": 1 or 2).
void CView::OnFilePrintPreview()
{
    QPrinter ownPrinter(QPrinter::HighResolution);
    CSettingsProfile* pProfile = m_services.pProfile;
    QPrinter* pPrinter = m_services.printer ? m_services.printer() : &ownPrinter;
    CPrintInfo info(pPrinter);
    info.m_bPreview = true;
    if (!OnPreparePrinting(&info))
        return;
    if (GetDocument())
        pPrinter->setDocName(GetDocument()->GetTitle());

    QPrintPreviewDialog dialog(pPrinter, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* pPreviewPrinter) { PrintToPrinter(*pPreviewPrinter, true); });
    const int nPages = pProfile ? pProfile->GetProfileInt(kSettings, kPreviewPages, 1) : 1;
    if (nPages == 2) {
        // Through the dialog's own action, so that its tool buttons agree.
        if (QAction* pFacing = dialog.findChild<QAction*>(QStringLiteral("facingModeAction")))
            pFacing->trigger();
    }
    dialog.exec();

    const QPrintPreviewWidget* pWidget = dialog.findChild<QPrintPreviewWidget*>();
    if (pProfile && pWidget && pWidget->viewMode() != QPrintPreviewWidget::AllPagesView)
        pProfile->WriteProfileInt(kSettings, kPreviewPages,
                                  pWidget->viewMode() == QPrintPreviewWidget::FacingPagesView ? 2 : 1);
}

bool CView::DoPreparePrinting(CPrintInfo* pInfo)
{
    QPrinter* pPrinter = pInfo->m_pPrinter;
    if (!pPrinter)
        return false;
    if (pInfo->m_bDirect || pInfo->m_bPreview) {
        // A range chosen in an earlier print dialog is no part of this run.
        pPrinter->setPrintRange(QPrinter::AllPages);
        return true;
    }
    QPrintDialog dialog(pPrinter, this);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    dialog.setMinMax(int(pInfo->GetMinPage()), int(pInfo->GetMaxPage()));
    return AfxExecPrintDialog(dialog);
}

bool CView::PrintToPrinter(QPrinter& printer, bool bPreview, QString* pError)
{
    CPrintInfo info(&printer);
    info.m_bPreview = bPreview;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    OnBeginPrinting(&painter, &info);
    const unsigned nFrom = info.GetFromPage();
    const unsigned nTo = info.GetToPage();
    for (unsigned nPage = nFrom; nPage <= nTo; ++nPage) {
        if (nPage != nFrom)
            printer.newPage();
        info.m_nCurPage = nPage;
        painter.save();
        OnPrint(&painter, &info);
        painter.restore();
    }
    OnEndPrinting(&painter, &info);
    if (!painter.end())
        return false;
    const QString strError = CheckPrintFile(printer);
    if (pError)
        *pError = strError;
    return strError.isEmpty();
}
