#pragma once

#include "mdiframewnd.h"
#include "recentfilelist.h"
#include "settingsprofile.h"

#include <QObject>
#include <QString>

#include <memory>

class CDocTemplate;
class CDocument;
class QEvent;
class QPrinter;

// The application object: settings profile, recent files, document templates,
// the main window, idle processing and the message filter.
//
// Run() calls InitInstance (false ends the program), runs the event loop and
// calls ExitInstance. PreTranslateMessage sees every key and mouse-button press
// (and their non-client counterparts) before it is delivered; returning true
// consumes it. The default passes it to the main window's, which translates
// accelerator keys. OnIdle(count) runs when the event loop is about to wait after
// user input, a command or RequestIdle(), with count rising from 0 while it
// returns true; then it keeps being called a few times a second until it
// returns false.
//
// The application owns the document template and the main frame and listens
// to them: the template's new windows go into the main frame, names saved under
// go to the recent files, the frame's dropped files open here, and commands
// the frame does not take come here (CFrameOwner). Neither of them knows the
// application.
class CWinApp : public QObject, public CFrameOwner {
    Q_OBJECT

public:
    explicit CWinApp(const QString& appName);
    ~CWinApp() override;

    virtual bool InitInstance();
    virtual int ExitInstance();
    virtual bool OnIdle(long lCount);
    virtual bool PreTranslateMessage(QObject* pTarget, QEvent* pEvent);

    int Run();

    // Settings profile.
    void SetRegistryKey(const QString& key);
    int GetProfileInt(const QString& section, const QString& entry, int nDefault) const;
    bool WriteProfileInt(const QString& section, const QString& entry, int nValue);
    QString GetProfileString(const QString& section, const QString& entry, const QString& strDefault = QString()) const;
    bool WriteProfileString(const QString& section, const QString& entry, const QString& value);
    CSettingsProfile& Profile() { return m_profile; }

    // Recent files: "Recent File List"/"File1".."File<n>".
    void LoadStdProfileSettings(int nMaxMRU);
    CRecentFileList* GetRecentFileList() const { return m_pRecentFileList.get(); }
    void AddToRecentFileList(const QString& path);

    void AddDocTemplate(CDocTemplate* pTemplate);
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate.get(); }

    // Opens a file in a new document window, or activates its window when it is
    // open already. Returns nullptr after a failure has been reported.
    virtual CDocument* OpenDocumentFile(const QString& path);
    void OnFileNew();
    void OnFileOpen();
    // File, Print Setup: the print dialog on the application's printer, to
    // choose the printer and its paper without printing.
    void OnFilePrintSetup();
    // The printer every print command and preview of the program uses, with the
    // settings Print Setup and the print dialog leave on it. Made on first use;
    // the application owns it.
    QPrinter* GetPrinter();
    bool SaveAllModified() override;

    // The main frame, which the application connects to itself here; nullptr
    // before it exists and once it is gone.
    void SetMainWnd(CMDIFrameWnd* pFrame);
    CMDIFrameWnd* m_pMainWnd = nullptr;
    QString m_pszAppName;

    // Ask for an idle pass the next time the event loop waits.
    void RequestIdle();

    // How long a long task (a load or a save) runs before its progress shows, in
    // milliseconds; tests shorten it.
    static int s_nProgressDelay;

    // Asks for the name of a file to open, starting in the given folder (tests
    // replace it). The folder is the active document's, else the one a file
    // was last opened from ("Settings"/"OpenFolder", so also in an earlier
    // run) while it exists, else the working folder.
    using PromptOpen = std::function<QString(const QString& folder)>;
    static void SetOpenFileNamePrompt(PromptOpen prompt);

signals:
    void recentFilesChanged();

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void OnAboutToBlock();
    void OnOpenRecentFile(unsigned nID);

    CSettingsProfile m_profile;
    std::unique_ptr<CRecentFileList> m_pRecentFileList;
    std::unique_ptr<CDocTemplate> m_pDocTemplate;
    std::unique_ptr<QPrinter> m_pPrinter;
    bool m_bIdleDue = true;
    bool m_bInIdle = false;
    long m_lIdleCount = 0;
};

CWinApp* AfxGetApp();
CMDIFrameWnd* AfxGetMainWnd();
