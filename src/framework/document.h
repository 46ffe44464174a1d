#pragma once

#include "cmdtarget.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class CArchive;
class CFileException;

// What a document needs of each of its views: to be told that it changed.
class CDocumentView {
public:
    virtual ~CDocumentView() = default;
    virtual void OnUpdate(CDocumentView* pSender, qintptr lHint) = 0;
};

// One open file: its path, title and modified flag, and the views that show it.
//
// Opening and saving follow a fixed order that derived documents rely on:
// OnOpenDocument opens the file, calls DeleteContents, then Serialize with a
// loading archive; OnSaveDocument calls Serialize with a storing archive. Both
// catch the CFileException that Serialize throws, show its message (or "Failed to
// open/save document."), and return false; the modified flag is cleared only
// after success. A save writes a temporary file and renames it over the target,
// so a failed save leaves the file on disk as it was.
class CDocument : public QObject, public CCmdTarget {
    Q_OBJECT

public:
    CDocument();
    ~CDocument() override;

    const QString& GetPathName() const { return m_strPathName; }
    void SetPathName(const QString& path);
    const QString& GetTitle() const { return m_strTitle; }
    void SetTitle(const QString& title);

    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool bModified = true);

    void AddView(CDocumentView* pView);
    void RemoveView(CDocumentView* pView);
    const QList<CDocumentView*>& GetViews() const { return m_viewList; }

    // Tells every view but pSender that the document changed. A view may close
    // while it is told (it then removes itself), so the list is copied first.
    void UpdateAllViews(CDocumentView* pSender, qintptr lHint = 0);

    virtual void DeleteContents();
    virtual bool OnNewDocument();
    virtual bool OnOpenDocument(const QString& path);
    virtual bool OnSaveDocument(const QString& path);
    virtual void Serialize(CArchive& ar);

    // Asks "Save changes to ...?" for a modified document and saves on Yes.
    // Returns false when the user cancels or the save fails.
    virtual bool SaveModified();
    // File Save: saves to the current path, or asks for one when there is none.
    bool DoFileSave();
    // File Save As (an empty path asks for one); renames the document on success.
    bool DoSave(const QString& path);

    // Asks the user for a file name to save under; installed by the user interface
    // and by tests. Returns an empty string when the user cancels.
    using PromptFileName = std::function<QString(CDocument* pDoc)>;
    static void SetSaveFileNamePrompt(PromptFileName prompt);

signals:
    void titleChanged();
    void modifiedChanged(bool bModified);

protected:
    void ReportSaveLoadException(const CFileException* pException, bool bSaving) const;

private:
    QString m_strPathName;
    QString m_strTitle;
    bool m_bModified = false;
    QList<CDocumentView*> m_viewList;
};
