#include "hexapp.h"

#include "afxmsg.h"
#include "afxres.h"
#include "childfrm.h"
#include "clipboard.h"
#include "doctemplate.h"
#include "hexdoc.h"
#include "hexview.h"
#include "keysdlg.h"
#include "mainfrm.h"
#include "registeredmessage.h"
#include "resource.h"
#include "resources.h"
#include "statusbar.h"
#include "tickcount.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>

const unsigned CHexApp::s_nFindReplaceMsg = RegisterWindowMessage(QStringLiteral("commdlg_FindReplace"));

namespace {

constexpr quint32 kSplashMilliseconds = 5000;

int ShowMessageBox(const QString& text, unsigned type)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & MB_ICONMASK) {
    case MB_ICONSTOP:
        icon = QMessageBox::Critical;
        break;
    case MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case MB_ICONEXCLAMATION:
        icon = QMessageBox::Warning;
        break;
    case MB_ICONINFORMATION:
        icon = QMessageBox::Information;
        break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case MB_YESNOCANCEL:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case MB_YESNO:
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    }
    QMessageBox box(icon, AfxLoadString(AFX_IDS_APP_TITLE), text, buttons, AfxGetMainWnd());
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDOK;
    }
}

bool IsInputPress(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        return true;
    default:
        return false;
    }
}

} // namespace

CHexApp::CHexApp() : CWinApp(AfxLoadString(AFX_IDS_APP_TITLE))
{
    OnCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
    OnCommand(ID_HELP_KEYS, [this] { OnHelpKeys(); });
    AfxSetMessageBoxHandler(ShowMessageBox);
    QGuiApplication::setDesktopFileName(QStringLiteral("com.vantorel.Zorbel"));
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        m_bClipboardChanged = true;
        RequestIdle();
    });
}

CHexApp::~CHexApp()
{
    m_splash.DestroyWindow();
    m_pMainWnd = nullptr;
    m_pMainFrame.reset();
}

void CHexApp::SetCommandLine(const QStringList& args)
{
    m_args = args;
}

QStringList CHexApp::FilesToOpen() const
{
    const QStringList args = m_args ? *m_args : QCoreApplication::arguments().mid(1);
    QStringList files;
    bool bOptions = true;
    for (const QString& arg : args) {
        if (bOptions && arg == QLatin1String("--"))
            bOptions = false;
        else if (!bOptions || !arg.startsWith(QLatin1Char('-')) || arg.size() == 1)
            files.append(arg);
    }
    return files;
}

bool CHexApp::InitInstance()
{
    AfxInstallQtTranslator(qApp);
    SetRegistryKey(QStringLiteral("Vantorel"));
    LoadStdProfileSettings(16);
    CChildFrame::LoadShowCmd();

    // Each new document's undo history holds "Settings"/"UndoLimitMB" of the
    // profile, in MiB, 256 by default.
    const auto newDocument = [this] {
        auto* pDoc = new CHexDoc;
        const int nMB = GetProfileInt(QStringLiteral("Settings"), QStringLiteral("UndoLimitMB"), 256);
        pDoc->SetUndoLimit(std::uint64_t(std::max(nMB, 0)) << 20);
        pDoc->SetBookmarkProfile(&Profile());
        // Another program changed a file read as it is shown: told once, by
        // whichever reader noticed (a paint, a search on its thread), shown
        // after that reader is done.
        QObject::connect(
            pDoc, &CHexDoc::fileUnreadable, pDoc,
            [](const QString& text) { AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION); }, Qt::QueuedConnection);
        // The guess's progress goes to the main window's status bar: the first
        // two come from the guess's thread. The main window is their context,
        // so that documents closed after it (as the program ends) find no one
        // listening.
        if (QObject* pFrame = m_pMainFrame.get()) {
            QObject::connect(pDoc, &CHexDoc::detectionProgress, pFrame,
                             [this, pDoc](qint64 nDone, qint64 nTotal) { ShowGuess(pDoc, nDone, nTotal); });
            QObject::connect(pDoc, &CHexDoc::detectionEnded, pFrame, [this, pDoc] { EndGuess(pDoc); });
            QObject::connect(pDoc, &QObject::destroyed, pFrame, [this, pDoc] { EndGuess(pDoc); });
        }
        return pDoc;
    };
    // Each view gets what it uses of the program from here, never by looking up.
    const auto makeView = [this] {
        auto* pView = new CHexView;
        pView->SetServices({&Profile(), [this] { return GetPrinter(); },
                            [this] { return m_pMainFrame && m_pMainFrame->m_bClipboardHasText; }});
        return pView;
    };
    auto* pTemplate = new CMultiDocTemplate(
        IDR_ZORBELTYPE, newDocument, [] { return new CChildFrame; }, makeView);
    pTemplate->SetDocBaseName(AfxLoadString(IDR_ZORBELTYPE).section(QLatin1Char('\n'), 1, 1));
    AddDocTemplate(pTemplate);

    m_pMainFrame = std::make_unique<CMainFrame>();
    if (!m_pMainFrame->LoadFrame(IDR_MAINFRAME)) {
        m_pMainFrame.reset();
        return false;
    }
    SetMainWnd(m_pMainFrame.get());
    UpdateClipboardFlag();

    m_pMainFrame->InitialShowWindow(m_nCmdShow);
    if (!m_pMainFrame->isMinimized() && m_splash.Create(m_pMainFrame.get())) {
        // Showing a splash turns the event loop once, so that it shows before
        // the program goes on; the main window would be painted then too, and
        // again as soon as the files below have opened. It is painted once,
        // after them (or while a long one opens).
        m_pMainFrame->setUpdatesEnabled(false);
        m_splash.show();
        m_pMainFrame->setUpdatesEnabled(true);
        // The paint the window had asked for was dropped while its updates
        // were off, and it would not ask again while its area is still to be
        // painted: ask for it once more.
        QCoreApplication::postEvent(m_pMainFrame.get(), new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    }
    m_dwSplashStart = GetTickCount();

    // A file that cannot be opened has been reported; the program goes on
    // with the others, or without a document window.
    for (const QString& path : FilesToOpen())
        OpenDocumentFile(path);
    m_pMainFrame->update();
    return true;
}

int CHexApp::ExitInstance()
{
    CChildFrame::SaveShowCmd();
    return CWinApp::ExitInstance();
}

bool CHexApp::OnIdle(long lCount)
{
    // Read first, so that Paste shows the clipboard of this pass. While the
    // splash keeps the passes coming, only a change is worth reading it again.
    if (lCount == 0 || m_bClipboardChanged)
        UpdateClipboardFlag();
    bool bMore = CWinApp::OnIdle(lCount);
    if (m_pMainFrame)
        m_pMainFrame->OnIdleUpdateCmdUI();
    if (m_splash.IsWindowUp()) {
        // Unsigned difference: a wrap of the tick count does not keep it up.
        if (GetTickCount() - m_dwSplashStart > kSplashMilliseconds)
            CloseSplash(nullptr);
        else
            bMore = true;
    }
    return bMore;
}

bool CHexApp::PreTranslateMessage(QObject* pTarget, QEvent* pEvent)
{
    // Before the accelerators, so that a command's dialog does not open under the splash.
    if (m_splash.IsWindowUp() && IsInputPress(pEvent->type()))
        CloseSplash(pTarget);
    // Esc in the main window stops the guess shown; a dialog keeps its own Esc.
    if (m_pGuessShown && pEvent->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(pEvent)->key() == Qt::Key_Escape && pTarget->isWidgetType()
        && static_cast<QWidget*>(pTarget)->window() == m_pMainFrame.get()) {
        m_pGuessShown->CancelDetection();
        return true;
    }
    return CWinApp::PreTranslateMessage(pTarget, pEvent);
}

void CHexApp::ShowGuess(CHexDoc* pDoc, qint64 nDone, qint64 nTotal)
{
    CStatusBar* pBar = m_pMainFrame ? m_pMainFrame->GetMessageBar() : nullptr;
    if (!pBar || !pDoc->IsDetecting())
        return;
    m_pGuessShown = pDoc;
    pBar->ShowProgress(AfxLoadString(IDS_GUESSING).replace(QLatin1String("%1"), pDoc->GetTitle()), nDone, nTotal);
}

void CHexApp::EndGuess(const CHexDoc* pDoc)
{
    if (pDoc != m_pGuessShown)
        return;
    m_pGuessShown = nullptr;
    if (CStatusBar* pBar = m_pMainFrame ? m_pMainFrame->GetMessageBar() : nullptr)
        pBar->EndProgress();
}

void CHexApp::CloseSplash(QObject* pTarget)
{
    // Destroying the native window that is receiving this very press would pull
    // it from under Qt's delivery: hide it now, destroy it afterwards.
    if (pTarget && pTarget->isWidgetType() && static_cast<QWidget*>(pTarget)->window() == &m_splash) {
        m_splash.hide();
        QTimer::singleShot(0, this, [this] { m_splash.DestroyWindow(); });
    } else {
        m_splash.DestroyWindow();
    }
    if (m_pMainFrame)
        m_pMainFrame->update();
}

// Paste is offered exactly when it would insert at least one byte.
void CHexApp::UpdateClipboardFlag()
{
    if (!m_pMainFrame)
        return;
    m_bClipboardChanged = false;
    m_pMainFrame->m_bClipboardHasText = AfxClipboardHasBytes();
}

void CHexApp::OnAppAbout()
{
    AfxMessageBox(AfxLoadString(IDS_VERSION) + QStringLiteral("\n\n") + AfxLoadString(IDS_SPLASH_TEXT)
                      + QStringLiteral("\n\n") + AfxLoadString(IDS_SPLASH_NOTICE),
                  MB_OK | MB_ICONINFORMATION);
}

void CHexApp::OnHelpKeys()
{
    if (!m_pKeysDlg) {
        m_pKeysDlg = new CKeysDlg(m_pMainFrame.get());
        m_pKeysDlg->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_pKeysDlg->show();
    m_pKeysDlg->raise();
    m_pKeysDlg->activateWindow();
}
