#pragma once

#include <QList>
#include <QString>

#include <functional>

class CDocument;
class CMDIChildWnd;
class CMDIFrameWnd;
class CView;

// Binds a document class to the frame and view classes that show it, and makes
// documents and their windows. The template string (resource nIDResource) is
// "\n<doc name>\n..." as usual; only the document base name is used here: new
// documents are titled "<doc name>1", "<doc name>2", ...
//
// A document lives while it has a window. Closing its last window calls
// CloseDocument, which deletes it; a document whose window could not be made is
// deleted at once.
class CDocTemplate {
public:
    using DocFactory = std::function<CDocument*()>;
    using FrameFactory = std::function<CMDIChildWnd*()>;
    using ViewFactory = std::function<CView*()>;

    CDocTemplate(unsigned nIDResource, DocFactory doc, FrameFactory frame, ViewFactory view);
    virtual ~CDocTemplate();

    unsigned GetResourceID() const { return m_nIDResource; }
    void SetDocBaseName(const QString& name) { m_strDocBaseName = name; }

    // Opens a file, or makes a new document when path is empty. Returns the
    // document, or nullptr after the failure was reported.
    CDocument* OpenDocumentFile(const QString& path, CMDIFrameWnd* pMainFrame);
    // Another window on an open document (Window, New Window).
    CMDIChildWnd* CreateNewFrame(CDocument* pDoc, CMDIFrameWnd* pMainFrame);

    const QList<CDocument*>& GetDocuments() const { return m_docs; }
    CDocument* FindDocument(const QString& path) const;

    static void CloseDocument(CDocument* pDoc);

private:
    unsigned m_nIDResource;
    DocFactory m_docFactory;
    FrameFactory m_frameFactory;
    ViewFactory m_viewFactory;
    QString m_strDocBaseName;
    int m_nUntitledCount = 0;
    QList<CDocument*> m_docs;

    static QList<CDocTemplate*>& Templates();
};

// The one kind of template the program uses: several documents at once.
using CMultiDocTemplate = CDocTemplate;
