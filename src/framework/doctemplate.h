#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class CDocument;
class CMDIChildWnd;
class CView;

// Binds a document class to the frame and view classes that show it, and makes
// documents and their windows. The template string (resource nIDResource) is
// "\n<doc name>\n..." as usual; only the document base name is used here: new
// documents are titled "<doc name>1", "<doc name>2", ...
//
// The template owns its documents and makes their windows; it knows nothing of
// the main frame or the application. A new window is announced by frameCreated
// before its view's first update, and the owner (the application) places it in
// the main frame. A document lives while it has a window: when the last window
// of a document closes (CMDIChildWnd::viewDetached) the template deletes it; a
// document whose window could not be made is deleted at once.
class CDocTemplate : public QObject {
    Q_OBJECT

public:
    using DocFactory = std::function<CDocument*()>;
    using FrameFactory = std::function<CMDIChildWnd*()>;
    using ViewFactory = std::function<CView*()>;

    CDocTemplate(unsigned nIDResource, DocFactory doc, FrameFactory frame, ViewFactory view);
    ~CDocTemplate() override;

    unsigned GetResourceID() const { return m_nIDResource; }
    void SetDocBaseName(const QString& name) { m_strDocBaseName = name; }

    // Opens a file, or makes a new document when path is empty. Returns the
    // document, or nullptr after the failure was reported.
    CDocument* OpenDocumentFile(const QString& path);
    // Another window on an open document (Window, New Window).
    CMDIChildWnd* CreateNewFrame(CDocument* pDoc);

    const QList<CDocument*>& GetDocuments() const { return m_docs; }
    CDocument* FindDocument(const QString& path) const;

signals:
    // A new document window, its view attached and created but not yet shown
    // or updated: the owner puts it where it belongs (the main frame's MDI area).
    void frameCreated(CMDIChildWnd* pFrame);
    // A document was saved under a name the user chose.
    void documentSavedAs(const QString& path);

private:
    void CloseDocument(CDocument* pDoc);
    // The captions of the document's windows number them ":1", ":2" while
    // there are several.
    static void UpdateFrameTitles(CDocument* pDoc);

    unsigned m_nIDResource;
    DocFactory m_docFactory;
    FrameFactory m_frameFactory;
    ViewFactory m_viewFactory;
    QString m_strDocBaseName;
    int m_nUntitledCount = 0;
    QList<CDocument*> m_docs;
};

// The one kind of template the program uses: several documents at once.
using CMultiDocTemplate = CDocTemplate;
