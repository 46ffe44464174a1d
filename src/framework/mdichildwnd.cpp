#include "mdichildwnd.h"

#include "document.h"
#include "view.h"

#include <QCloseEvent>
#include <QMdiArea>

CMDIChildWnd::CMDIChildWnd(QWidget* pParent) : QMdiSubWindow(pParent)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

CMDIChildWnd::~CMDIChildWnd() = default;

void CMDIChildWnd::SetView(CView* pView)
{
    m_pView = pView;
    setWidget(pView);
    setFocusProxy(pView);
    if (CDocument* doc = GetActiveDocument()) {
        connect(doc, &CDocument::titleChanged, this, &CMDIChildWnd::UpdateTitle);
        connect(doc, &CDocument::modifiedChanged, this, &QWidget::setWindowModified);
        setWindowModified(doc->IsModified());
        connect(doc, &CDocument::changedOnDisk, this, &CMDIChildWnd::documentChangedOnDisk);
    }
    UpdateTitle();
}

CDocument* CMDIChildWnd::GetActiveDocument() const
{
    return m_pView ? m_pView->GetDocument() : nullptr;
}

// With several windows on one document each caption gets ":n". The "[*]" at
// the end shows as "*" while the document is modified; a "[*]" in the file's
// own name is doubled, which Qt shows as one literal "[*]".
void CMDIChildWnd::UpdateTitle()
{
    CDocument* doc = GetActiveDocument();
    if (!doc)
        return;
    QString title = doc->GetTitle();
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    const auto& views = doc->GetViews();
    if (views.size() > 1) {
        const int index = views.indexOf(m_pView);
        title += QStringLiteral(":%1").arg(index + 1);
    }
    setWindowTitle(title + QStringLiteral("[*]"));
}

QString CMDIChildWnd::GetDisplayTitle() const
{
    return ResolveModifiedMark(windowTitle(), isWindowModified());
}

// As Qt reads a caption: in a run of "[*]", pairs stand for a literal "[*]"
// and an odd one left over is the modified mark.
QString CMDIChildWnd::ResolveModifiedMark(const QString& caption, bool bModified)
{
    const QLatin1String mark("[*]");
    QString shown;
    qsizetype i = 0;
    while (i < caption.size()) {
        if (!QStringView(caption).mid(i).startsWith(mark)) {
            shown += caption[i++];
            continue;
        }
        int nRun = 0;
        for (; QStringView(caption).mid(i).startsWith(mark); i += mark.size())
            ++nRun;
        shown += QString(mark).repeated(nRun / 2);
        if (nRun % 2 && bModified)
            shown += QLatin1Char('*');
    }
    return shown;
}

void CMDIChildWnd::ActivateFrame(int nCmdShow)
{
    switch (nCmdShow) {
    case SW_SHOWMAXIMIZED:
        showMaximized();
        break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
        showMinimized();
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
        showNormal();
        break;
    default:
        show();
        break;
    }
    if (QMdiArea* area = mdiArea())
        area->setActiveSubWindow(this);
    if (m_pView)
        m_pView->setFocus();
}

bool CMDIChildWnd::OnCmdMsg(unsigned nID, CCmdUI* pCmdUI)
{
    if (m_pView && m_pView->OnCmdMsg(nID, pCmdUI))
        return true;
    return CCmdTarget::OnCmdMsg(nID, pCmdUI);
}

void CMDIChildWnd::OnSize(unsigned, int, int)
{
}

void CMDIChildWnd::ReportSize()
{
    unsigned type = SIZE_RESTORED;
    if (isMinimized())
        type = SIZE_MINIMIZED;
    else if (isMaximized())
        type = SIZE_MAXIMIZED;
    OnSize(type, width(), height());
}

void CMDIChildWnd::resizeEvent(QResizeEvent* event)
{
    QMdiSubWindow::resizeEvent(event);
    ReportSize();
}

void CMDIChildWnd::changeEvent(QEvent* event)
{
    QMdiSubWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        ReportSize();
    else if (event->type() == QEvent::ModifiedChange)
        emit modifiedChanged();
}

void CMDIChildWnd::OnClose()
{
    CDocument* doc = GetActiveDocument();
    // The last window of a modified document asks first.
    if (doc && doc->GetViews().size() == 1 && !doc->SaveModified())
        return;
    m_bAcceptClose = true;
}

void CMDIChildWnd::closeEvent(QCloseEvent* event)
{
    m_bAcceptClose = false;
    OnClose();
    if (!m_bAcceptClose) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    // Detach the view now: the document closes with its last view, and must not
    // reach a view that is about to be deleted.
    CDocument* doc = GetActiveDocument();
    if (m_pView)
        m_pView->AttachDocument(nullptr);
    if (doc)
        emit viewDetached(doc);
}
