#pragma once

#include "mdichildwnd.h"
#include "splashdlg.h"
#include "winapp.h"

#include <QPointer>
#include <QStringList>

#include <memory>
#include <optional>

class CHexDoc;
class CKeysDlg;
class CMainFrame;

// The application object: start-up, the splash, idle processing and exit.
//
// InitInstance sets up the settings profile, the recent-file list, the document
// template and the main frame, shows the splash and opens the files the command
// line names, each in a window of its own; with none the program starts without a document window, and a
// file that cannot be opened is reported and leaves the program running.
//
// The splash goes at the first idle pass more than 5000 ms after start-up, or at
// the first key or mouse-button press anywhere, which still reaches its target.
// The application owns the main frame; construct it after the QApplication.
class CHexApp : public CWinApp {
    Q_OBJECT

public:
    CHexApp();
    ~CHexApp() override;

    bool InitInstance() override;
    int ExitInstance() override;
    bool OnIdle(long lCount) override;
    bool PreTranslateMessage(QObject* pTarget, QEvent* pEvent) override;

    // The arguments after the program's name; QCoreApplication::arguments()
    // unless set (main sets them from argv, keeping every byte of a file
    // name). Each one that is not an option names a file to open.
    void SetCommandLine(const QStringList& args);
    CMainFrame* GetMainFrame() const { return m_pMainFrame.get(); }

    // The show command the main frame starts with.
    int m_nCmdShow = SW_SHOWNORMAL;
    CSplashDlg m_splash;
    quint32 m_dwSplashStart = 0;

    // The notification of the find and replace dialog, registered at start-up.
    static const unsigned s_nFindReplaceMsg;

private:
    QStringList FilesToOpen() const;
    void CloseSplash(QObject* pTarget);
    void UpdateClipboardFlag();
    void OnAppAbout();
    void OnHelpKeys();
    // The code-page guess that opening a large file starts on its own thread:
    // its progress in the status bar, and Esc in the main window stops it.
    void ShowGuess(CHexDoc* pDoc, qint64 nDone, qint64 nTotal);
    void EndGuess(const CHexDoc* pDoc);

    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::optional<QStringList> m_args;
    bool m_bClipboardChanged = true;
    // The document whose guess the status bar shows, or null.
    CHexDoc* m_pGuessShown = nullptr;
    QPointer<CKeysDlg> m_pKeysDlg;     // deletes itself on closing; the main frame owns it
};
