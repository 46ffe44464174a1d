#include "doctemplate.h"

#include "diskfile.h"
#include "document.h"
#include "mdichildwnd.h"
#include "view.h"

#include <QFileInfo>

CDocTemplate::CDocTemplate(unsigned nIDResource, DocFactory doc, FrameFactory frame, ViewFactory view)
    : m_nIDResource(nIDResource), m_docFactory(std::move(doc)), m_frameFactory(std::move(frame)),
      m_viewFactory(std::move(view))
{
}

CDocTemplate::~CDocTemplate()
{
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

CDocument* CDocTemplate::OpenDocumentFile(const QString& path)
{
    CDocument* doc = m_docFactory();
    m_docs.append(doc);
    connect(doc, &CDocument::savedAs, this, &CDocTemplate::documentSavedAs);
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
    if (!ok || !CreateNewFrame(doc)) {
        m_docs.removeAll(doc);
        doc->DeleteContents();
        delete doc;
        return nullptr;
    }
    return doc;
}

CMDIChildWnd* CDocTemplate::CreateNewFrame(CDocument* pDoc)
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
    // The document closes with the last of its windows.
    connect(frame, &CMDIChildWnd::viewDetached, this, [this](CDocument* pClosed) {
        if (pClosed->GetViews().isEmpty())
            CloseDocument(pClosed);
        else
            UpdateFrameTitles(pClosed);
    });
    emit frameCreated(frame);
    view->OnInitialUpdate();
    UpdateFrameTitles(pDoc);
    frame->ActivateFrame(-1);
    return frame;
}

void CDocTemplate::CloseDocument(CDocument* pDoc)
{
    m_docs.removeAll(pDoc);
    pDoc->DeleteContents();
    pDoc->deleteLater();
}

void CDocTemplate::UpdateFrameTitles(CDocument* pDoc)
{
    for (CDocumentView* other : pDoc->GetViews())
        if (auto* view = dynamic_cast<CView*>(other))
            if (auto* frame = qobject_cast<CMDIChildWnd*>(view->GetParentFrame()))
                frame->UpdateTitle();
}
