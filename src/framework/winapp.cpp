#include "winapp.h"

#include "afxres.h"
#include "doctemplate.h"
#include "document.h"
#include "filename.h"
#include "longtask.h"
#include "mdichildwnd.h"
#include "mdiframewnd.h"
#include "printdialog.h"
#include "resources.h"
#include "statusbar.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QPrinter>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

CWinApp* s_pApp = nullptr;

// The folder a file was last opened from, kept for the next start.
const QString kOpenSection = QStringLiteral("Settings");
const QString kOpenFolder = QStringLiteral("OpenFolder");

CWinApp::PromptOpen& openPrompt()
{
    static CWinApp::PromptOpen prompt;
    return prompt;
}

// "All Files (*.*)" is the text the user sees; the pattern in the last pair of
// parentheses is what the dialog matches, and "*.*" would hide names without a dot.
QString AllFilesFilter()
{
    return AfxLoadString(AFX_IDS_ALLFILTER) + QStringLiteral(" (*)");
}

QFileDialog::Options DialogOptions()
{
    return QFileDialog::HideNameFilterDetails;
}

// Keeps input away from the program while a long task runs: a key or click
// could start a command on the document being read or close its window. Esc
// cancels the task. Painting, resizing and timers go on.
class CLongTaskInputFilter : public QObject {
public:
    explicit CLongTaskInputFilter(CLongTask& task) : m_task(task) {}

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        switch (pEvent->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(pEvent)->key() == Qt::Key_Escape)
                m_task.Cancel();
            return true;
        case QEvent::Close:
            pEvent->ignore();
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }

private:
    CLongTask& m_task;
};

// How long the interface's thread waits for a task before turning the event
// loop while it runs: far below what a person notices, or the progress delay.
constexpr int kQuickTaskMs = 20;

// The work runs on its own thread while this one turns the event loop; the
// progress shows in the main frame's status bar once the task has run for
// CWinApp::s_nProgressDelay milliseconds.
void RunLongTask(CLongTask& task, const std::function<void()>& work)
{
    QEventLoop loop;
    std::exception_ptr error;
    std::mutex mutex;
    std::condition_variable ended;
    bool bEnded = false;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            bEnded = true;
        }
        ended.notify_one();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });

    // Most tasks (opening a file read as it is shown, saving a small one) end
    // within a few milliseconds: waiting that long for them keeps the event
    // loop from turning in between, which would paint the windows as they are
    // before the task (the main window without the document being opened) and
    // then again after it. Input meanwhile waits its turn, as it would behind
    // any other work of this thread.
    {
        std::unique_lock<std::mutex> lock(mutex);
        ended.wait_for(lock, std::chrono::milliseconds(kQuickTaskMs), [&] { return bEnded; });
    }
    if (bEnded) {
        worker.join();
        if (error)
            std::rethrow_exception(error);
        return;
    }

    CLongTaskInputFilter filter(task);
    qApp->installEventFilter(&filter);
    CStatusBar* pBar = AfxGetMainWnd() ? AfxGetMainWnd()->GetMessageBar() : nullptr;
    bool bShown = false;
    auto show = [&] {
        if (pBar)
            pBar->ShowProgress(task.GetText(), task.GetDone(), task.GetTotal());
        bShown = true;
    };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, show);
    QTimer::singleShot(CWinApp::s_nProgressDelay, &loop, [&] {
        show();
        tick.start(50);
    });
    loop.exec(QEventLoop::ExcludeSocketNotifiers);
    worker.join();
    qApp->removeEventFilter(&filter);
    if (bShown && pBar)
        pBar->EndProgress();
    if (error)
        std::rethrow_exception(error);
}

} // namespace

int CWinApp::s_nProgressDelay = 300;

CWinApp* AfxGetApp()
{
    return s_pApp;
}

CMDIFrameWnd* AfxGetMainWnd()
{
    return s_pApp ? s_pApp->m_pMainWnd : nullptr;
}

CWinApp::CWinApp(const QString& appName) : m_pszAppName(appName)
{
    s_pApp = this;
    OnCommand(ID_FILE_NEW, [this] { OnFileNew(); });
    OnCommand(ID_FILE_OPEN, [this] { OnFileOpen(); });
    OnCommand(ID_FILE_PRINT_SETUP, [this] { OnFilePrintSetup(); });
    OnCommandRange(ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE16, [this](unsigned nID) { OnOpenRecentFile(nID); });
    CLongTask::SetRunner(RunLongTask);
    CDocument::SetSaveFileNamePrompt([](CDocument* pDoc) {
        // Qt's dialog cannot show or give back a name that is not UTF-8: it
        // starts in the file's folder then.
        QString start = pDoc->GetPathName().isEmpty() ? pDoc->GetTitle() : pDoc->GetPathName();
        if (AfxHasRawBytes(start))
            start = AfxFolderPath(start);
        return QFileDialog::getSaveFileName(AfxGetMainWnd(), AfxLoadString(AFX_IDS_SAVEFILE), start,
                                            AllFilesFilter(), nullptr, DialogOptions());
    });
}

CWinApp::~CWinApp()
{
    if (qApp)
        qApp->removeEventFilter(this);
    m_pDocTemplate.reset();
    if (s_pApp == this) {
        s_pApp = nullptr;
        CLongTask::SetRunner(nullptr);
    }
}

bool CWinApp::InitInstance()
{
    return true;
}

int CWinApp::ExitInstance()
{
    if (m_pRecentFileList)
        m_pRecentFileList->WriteList(m_profile);
    m_profile.Sync();
    return 0;
}

int CWinApp::Run()
{
    qApp->installEventFilter(this);
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &CWinApp::OnAboutToBlock);
    if (!InitInstance()) {
        ExitInstance();
        return 1;
    }
    QApplication::exec();
    return ExitInstance();
}

void CWinApp::SetRegistryKey(const QString& key)
{
    m_profile.SetRegistryKey(key, m_pszAppName);
}

int CWinApp::GetProfileInt(const QString& section, const QString& entry, int nDefault) const
{
    return m_profile.GetProfileInt(section, entry, nDefault);
}

bool CWinApp::WriteProfileInt(const QString& section, const QString& entry, int nValue)
{
    return m_profile.WriteProfileInt(section, entry, nValue);
}

QString CWinApp::GetProfileString(const QString& section, const QString& entry, const QString& strDefault) const
{
    return m_profile.GetProfileString(section, entry, strDefault);
}

bool CWinApp::WriteProfileString(const QString& section, const QString& entry, const QString& value)
{
    return m_profile.WriteProfileString(section, entry, value);
}

void CWinApp::LoadStdProfileSettings(int nMaxMRU)
{
    m_pRecentFileList = std::make_unique<CRecentFileList>(QStringLiteral("Recent File List"),
                                                          QStringLiteral("File%d"), nMaxMRU);
    m_pRecentFileList->ReadList(m_profile);
    emit recentFilesChanged();
}

void CWinApp::AddToRecentFileList(const QString& path)
{
    if (!m_pRecentFileList)
        return;
    m_pRecentFileList->Add(path);
    emit recentFilesChanged();
}

void CWinApp::AddDocTemplate(CDocTemplate* pTemplate)
{
    m_pDocTemplate.reset(pTemplate);
    connect(pTemplate, &CDocTemplate::frameCreated, this, [this](CMDIChildWnd* pFrame) {
        if (m_pMainWnd)
            m_pMainWnd->AddChildFrame(pFrame);
    });
    // A document saved under a new name goes to the top of the recent files.
    connect(pTemplate, &CDocTemplate::documentSavedAs, this, &CWinApp::AddToRecentFileList);
}

void CWinApp::SetMainWnd(CMDIFrameWnd* pFrame)
{
    if (m_pMainWnd) {
        m_pMainWnd->SetOwner(nullptr);
        disconnect(m_pMainWnd, nullptr, this, nullptr);
    }
    m_pMainWnd = pFrame;
    if (!pFrame)
        return;
    pFrame->SetOwner(this);
    connect(pFrame, &CMDIFrameWnd::idleRequested, this, &CWinApp::RequestIdle);
    connect(pFrame, &CMDIFrameWnd::filesDropped, this, [this](const QStringList& paths) {
        for (const QString& path : paths)
            OpenDocumentFile(path);
    });
}

CDocument* CWinApp::OpenDocumentFile(const QString& path)
{
    if (!m_pDocTemplate)
        return nullptr;
    if (CDocument* open = m_pDocTemplate->FindDocument(path)) {
        if (m_pMainWnd) {
            for (CMDIChildWnd* child : m_pMainWnd->GetChildFrames())
                if (child->GetActiveDocument() == open) {
                    child->ActivateFrame(child->isMaximized() ? SW_SHOWMAXIMIZED : SW_SHOW);
                    break;
                }
        }
        return open;
    }
    CDocument* doc = m_pDocTemplate->OpenDocumentFile(path);
    if (doc)
        AddToRecentFileList(doc->GetPathName());
    return doc;
}

void CWinApp::OnFileNew()
{
    if (m_pDocTemplate)
        m_pDocTemplate->OpenDocumentFile(QString());
}

void CWinApp::OnFileOpen()
{
    // An explicit folder always: given none, Qt's dialog would start wherever
    // it last was, in any program.
    QString folder = GetProfileString(kOpenSection, kOpenFolder);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::currentPath();
    if (CDocument* pDoc = m_pMainWnd ? m_pMainWnd->GetActiveDocument() : nullptr)
        if (!pDoc->GetPathName().isEmpty())
            folder = AfxFolderPath(pDoc->GetPathName());
    QString path;
    if (openPrompt())
        path = openPrompt()(folder);
    else
        path = QFileDialog::getOpenFileName(m_pMainWnd, AfxLoadString(AFX_IDS_OPENFILE), folder, AllFilesFilter(),
                                            nullptr, DialogOptions());
    if (path.isEmpty())
        return;
    WriteProfileString(kOpenSection, kOpenFolder, QFileInfo(path).absolutePath());
    OpenDocumentFile(path);
}

void CWinApp::OnFilePrintSetup()
{
    QPrintDialog dialog(GetPrinter(), m_pMainWnd);
    // Setup chooses a printer and its paper; what to print is the print command's.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    dialog.setWindowTitle(AfxLoadString(ID_FILE_PRINT_SETUP).section(QLatin1Char('\n'), 1, 1));
    // Its button confirms the choice rather than printing.
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok))
            ok->setText(QDialogButtonBox(QDialogButtonBox::Ok).button(QDialogButtonBox::Ok)->text());
    AfxExecPrintDialog(dialog);
}

QPrinter* CWinApp::GetPrinter()
{
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    // A print that failed to start (no printer there) can leave Qt's printer
    // active with nothing painting on it, and an active printer takes no
    // other printer or output file ever again: a fresh one takes its place,
    // with the choices the user made.
    if (m_pPrinter->printerState() == QPrinter::Active && !m_pPrinter->paintingActive()) {
        auto pFresh = std::make_unique<QPrinter>(QPrinter::HighResolution);
        AfxCopyPrinterSettings(*m_pPrinter, *pFresh);
        m_pPrinter = std::move(pFresh);
    }
    return m_pPrinter.get();
}

void CWinApp::OnOpenRecentFile(unsigned nID)
{
    const int index = int(nID - ID_FILE_MRU_FILE1);
    if (!m_pRecentFileList || index >= m_pRecentFileList->GetCount())
        return;
    const QString path = (*m_pRecentFileList)[index];
    if (!OpenDocumentFile(path)) {
        m_pRecentFileList->Remove(index);
        emit recentFilesChanged();
    }
}

bool CWinApp::SaveAllModified()
{
    if (!m_pDocTemplate)
        return true;
    const QList<CDocument*> docs = m_pDocTemplate->GetDocuments();
    for (CDocument* doc : docs) {
        if (!doc->SaveModified())
            return false;
    }
    return true;
}

void CWinApp::SetOpenFileNamePrompt(PromptOpen prompt)
{
    openPrompt() = std::move(prompt);
}

bool CWinApp::OnIdle(long)
{
    if (m_pMainWnd)
        m_pMainWnd->UpdateCommandUI();
    return false;
}

bool CWinApp::PreTranslateMessage(QObject* pTarget, QEvent* pEvent)
{
    return m_pMainWnd && m_pMainWnd->PreTranslateMessage(pTarget, pEvent);
}

void CWinApp::RequestIdle()
{
    m_bIdleDue = true;
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

bool CWinApp::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    switch (pEvent->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        m_bIdleDue = true;
        // A key press arrives first as a shortcut query; only the press itself
        // counts as the message.
        if (pEvent->type() != QEvent::ShortcutOverride && pWatched->isWidgetType()
            && PreTranslateMessage(pWatched, pEvent))
            return true;
        break;
    case QEvent::KeyRelease:
    case QEvent::MouseButtonRelease:
    case QEvent::WindowActivate:
    case QEvent::Close:
    case QEvent::Show:
        m_bIdleDue = true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(pWatched, pEvent);
}

void CWinApp::OnAboutToBlock()
{
    if (!m_bIdleDue || m_bInIdle)
        return;
    m_bIdleDue = false;
    m_bInIdle = true;
    const bool more = OnIdle(m_lIdleCount++);
    m_bInIdle = false;
    if (more) {
        // Keep polling without spinning: another pass shortly.
        QTimer::singleShot(20, this, [this] { m_bIdleDue = true; });
    } else {
        m_lIdleCount = 0;
    }
}
