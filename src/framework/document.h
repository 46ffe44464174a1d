#pragma once

#include "inplacewrite.h"

#include "cmdtarget.h"
#include "diskfile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class CArchive;
class CFileException;
class QFileSystemWatcher;

// What a document needs of each of its views: to be told that it changed.
class CDocumentView {
public:
    virtual ~CDocumentView() = default;
    virtual void OnUpdate(CDocumentView* pSender, qintptr lHint) = 0;
};

// One open file: its path, title and modified flag, and the views that show it.
// The path keeps every byte of the file's name (filename.h says how); the
// title is its last part as people read it.
//
// Opening and saving follow a fixed order that derived documents rely on:
// OnOpenDocument opens the file, calls DeleteContents, then Serialize with a
// loading archive; OnSaveDocument calls Serialize with a storing archive. Both
// catch the CFileException that Serialize throws, show its message (or "Failed to
// open/save document."), and return false; the modified flag is cleared only
// after success. Serialize runs as a CLongTask, possibly on another thread, and
// throws CUserException when the user cancels: that returns false without a
// message. Only regular files are opened or saved over. A failed or cancelled
// save leaves the file on disk as it was (see AfxWriteFileSafely).
//
// The file of an open or saved document is watched. When another program
// rewrites, truncates, replaces or deletes it, changedOnDisk is emitted, and
// CheckChangedOnDisk, called by the window that shows the document when it is
// active, asks whether to reload it. Saving over a file that changed since it
// was read asks first.
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
    // For a save over the document's own file: the changes, when the file's
    // length stays and only these bytes differ from it, so that they can be
    // written into the file itself when there is no room beside it for a new
    // copy (the user is asked first). False, the default, when that cannot be.
    virtual bool GetInPlaceChanges(std::vector<CInPlaceChange>& changes, qint64& nLength) const;
    // Called before such a write begins (true) and once it has ended, or
    // failed (false): the document may be reading the same file meanwhile.
    virtual void OnWritingInPlace(bool /*bWriting*/) {}
    // Reads the file again, for all views; false after a failure was reported,
    // with the document as it was.
    virtual bool ReloadDocument();

    // Asks to reload the document when its file changed since the last time;
    // the question is asked once for each change.
    void CheckChangedOnDisk();
    bool IsChangedOnDisk() const { return m_bChangedOnDisk; }

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
    // Saved under a name the user chose (Save As, the first save of a new document).
    void savedAs(const QString& path);
    void modifiedChanged(bool bModified);
    void changedOnDisk();

protected:
    void ReportSaveLoadException(const CFileException* pException, bool bSaving) const;
    // Watches target, as it is now, for changes by other programs.
    void WatchFile(const QString& target);
    // Takes over what other knows of the file on disk (a reload reads into
    // another document first).
    void AdoptFileWatch(const CDocument& other) { WatchFile(other.m_strWatched); }

private:
    void OnFileChanged();

    QString m_strPathName;
    QString m_strTitle;
    bool m_bModified = false;
    QList<CDocumentView*> m_viewList;

    QFileSystemWatcher* m_pWatcher = nullptr;
    QTimer m_pollTimer;       // instead of m_pWatcher where it cannot watch
    QString m_strWatched;     // the file itself, at the end of any symbolic links
    CFileStamp m_diskStamp;   // as it was read or saved
    CFileStamp m_seenStamp;   // as it was when last noticed
    bool m_bChangedOnDisk = false;
    bool m_bSaving = false;
    bool m_bAsking = false;
};
