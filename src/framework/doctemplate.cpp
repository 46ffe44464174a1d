#include "doctemplate.h"

#include "diskfile.h"
#include "document.h"
#include "mdichildwnd.h"
#include "mdiframewnd.h"
#include "view.h"
#include "winapp.h"

#include <QFileInfo>
#include <QMdiArea>

QList<CDocTemplate*>& CDocTemplate::Templates()
{
    static QList<CDocTemplate*> all;
    return all;
}

CDocTemplate::CDocTemplate(unsigned nIDResource, DocFactory doc, FrameFactory frame, ViewFactory view)
    : m_nIDResource(nIDResource), m_docFactory(std::move(doc)), m_frameFactory(std::move(frame)),
      m_viewFactory(std::move(view))
{
    Templates().append(this);
}

CDocTemplate::~CDocTemplate()
{
    Templates().removeAll(this);
    const QList<CDocument*> docs = m_docs;
    for (CDocument* doc : docs) {
        doc->DeleteContents();
        delete doc;
    }
}

CDocument* CDocTemplate::FindDocument(const QString& path) const
{
    // The same file however it is named: "f.bin", "./f.bin", a link to it.
    const QString canonical = AfxCanonicalFilePath(path);
    for (CDocument* doc : m_docs) {
        if (!doc->GetPathName().isEmpty() && AfxCanonicalFilePath(doc->GetPathName()) == canonical)
            return doc;
    }
    return nullptr;
}

CDocument* CDocTemplate::OpenDocumentFile(const QString& path, CMDIFrameWnd* pMainFrame)
{
    CDocument* doc = m_docFactory();
    m_docs.append(doc);
    // A document saved under a new name goes to the top of the recent files.
    QObject::connect(doc, &CDocument::savedAs, doc, [](const QString& saved) {
        if (CWinApp* pApp = AfxGetApp())
            pApp->AddToRecentFileList(saved);
    });
    bool ok;
    if (path.isEmpty()) {
        ok = doc->OnNewDocument();
        if (ok)
            doc->SetTitle(m_strDocBaseName + QString::number(++m_nUntitledCount));
    } else {
        ok = doc->OnOpenDocument(path);
        if (ok)
            doc->SetPathName(path);
    }
    if (!ok || !CreateNewFrame(doc, pMainFrame)) {
        m_docs.removeAll(doc);
        doc->DeleteContents();
        delete doc;
        return nullptr;
    }
    return doc;
}

CMDIChildWnd* CDocTemplate::CreateNewFrame(CDocument* pDoc, CMDIFrameWnd* pMainFrame)
{
    CMDIChildWnd* frame = m_frameFactory();
    CView* view = m_viewFactory();
    view->AttachDocument(pDoc);
    if (!view->Create()) {
        view->AttachDocument(nullptr);
        delete view;
        delete frame;
        return nullptr;
    }
    frame->SetView(view);
    if (pMainFrame)
        pMainFrame->MDIClient()->addSubWindow(frame);
    view->OnInitialUpdate();
    for (CDocumentView* other : pDoc->GetViews())
        if (auto* v = dynamic_cast<CView*>(other))
            if (v->GetParentFrame())
                v->GetParentFrame()->UpdateTitle();
    frame->ActivateFrame(-1);
    return frame;
}

void CDocTemplate::CloseDocument(CDocument* pDoc)
{
    for (CDocTemplate* tmpl : Templates())
        tmpl->m_docs.removeAll(pDoc);
    pDoc->DeleteContents();
    pDoc->deleteLater();
}
