#include "appfixture.h"

#include "afxres.h"
#include "doctemplate.h"
#include "hexdoc.h"
#include "longtask.h"
#include "statusbar.h"

#include <QMdiArea>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::scratchDir;
using TestSupport::writeScratchFile;

// Opening and saving in the running program: the progress of a long load or
// save and its cancel, special files chosen in File > Open, and the question
// about a file another program changed.
class TestFileOps : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void longTaskShowsProgressAndEscCancels_data();
    void longTaskShowsProgressAndEscCancels();
    void fifoFromFileOpenIsRefusedAtOnce();
    void changedFileIsAskedAboutInItsActiveWindow_data();
    void changedFileIsAskedAboutInItsActiveWindow();
};

void TestFileOps::init()
{
    AppFixture::ResetSettings();
}

void TestFileOps::cleanup()
{
    CLongTask::s_stepHook = nullptr;
    CWinApp::s_nProgressDelay = 300;
    CWinApp::SetOpenFileNamePrompt(nullptr);
}

void TestFileOps::longTaskShowsProgressAndEscCancels_data()
{
    QTest::addColumn<bool>("saving");
    QTest::newRow("open") << false;
    QTest::newRow("save") << true;
}

// The task is held at its first step until the test has seen the progress bar
// and pressed Esc, so nothing depends on how fast the machine is.
void TestFileOps::longTaskShowsProgressAndEscCancels()
{
    QFETCH(bool, saving);
    const QByteArray bytes(1 << 20, 'z');
    const QString path = writeScratchFile("long.bin", bytes);
    AppFixture f;
    CHexDoc* pSaved = nullptr;
    if (saving) {
        pSaved = qobject_cast<CHexDoc*>(f.app->OpenDocumentFile(path));
        QVERIFY(pSaved);
        pSaved->SetByte(0, 'A');
        pSaved->SetModifiedFlag(true);
    }

    int nOpenPrompts = 0;
    CWinApp::SetOpenFileNamePrompt([&nOpenPrompts](const QString&) {
        ++nOpenPrompts;
        return QString();
    });
    CWinApp::s_nProgressDelay = 0;
    std::atomic<bool> released{false};
    CLongTask::s_stepHook = [&released](CLongTask&) {
        for (int i = 0; i < 1000 && !released; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    QString barText;
    bool bPressed = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        QProgressBar* bar = f.frame()->m_wndStatusBar.GetProgressBar();
        if (bPressed || !bar || !bar->isVisible())
            return;
        barText = bar->format();
        // Other keys are held back from the program while the task runs.
        QTest::keyClick(f.frame(), Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(f.frame(), Qt::Key_Escape);
        bPressed = true;
        released = true;
    });
    poll.start(5);

    bool bDone = true;
    if (saving)
        bDone = pSaved->DoFileSave();
    else
        bDone = f.app->OpenDocumentFile(path) != nullptr;
    poll.stop();
    released = true;

    QVERIFY(bPressed);
    QVERIFY(!bDone);
    QCOMPARE(nOpenPrompts, 0);
    QVERIFY2(barText.startsWith(saving ? "Saving long.bin (Esc cancels)" : "Opening long.bin (Esc cancels)"),
             qPrintable(barText));
    QVERIFY(!f.frame()->m_wndStatusBar.GetProgressBar());
    QCOMPARE(f.messages, QStringList());
    QCOMPARE(readFile(path), bytes);
    QCOMPARE(f.windowCount(), saving ? 1 : 0);
    QCOMPARE(f.app->GetDocTemplate()->GetDocuments().size(), saving ? 1 : 0);
    if (saving)
        QVERIFY(pSaved->IsModified());
    QCOMPARE(QDir(scratchDir()).entryList({"*long.bin*"}, QDir::Files | QDir::Hidden), QStringList{"long.bin"});
}

// Were the FIFO opened for reading, open() would wait for a writer: a writer
// comes after ten seconds to end such a wait, and the test then fails.
void TestFileOps::fifoFromFileOpenIsRefusedAtOnce()
{
    const QString fifo = scratchDir() + "/pipe";
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0666) == 0);
    AppFixture f;
    CWinApp::SetOpenFileNamePrompt([fifo](const QString&) { return fifo; });
    std::atomic<bool> finished{false};
    std::atomic<bool> blocked{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1000 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!finished) {
            blocked = true;
            ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK));
        }
    });
    f.frame()->ExecuteCommand(ID_FILE_OPEN);
    finished = true;
    watchdog.join();
    QVERIFY(!blocked);
    QCOMPARE(f.messages, QStringList{fifo + " is not a file that can be opened."});
    QCOMPARE(f.windowCount(), 0);
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
}

void TestFileOps::changedFileIsAskedAboutInItsActiveWindow_data()
{
    QTest::addColumn<bool>("activeWhenChanged");
    QTest::newRow("its window is active") << true;
    QTest::newRow("asked once its window is activated") << false;
}

void TestFileOps::changedFileIsAskedAboutInItsActiveWindow()
{
    QFETCH(bool, activeWhenChanged);
    const QString path = writeScratchFile("watched.bin", "before");
    const QString other = writeScratchFile("other.bin", "other");
    AppFixture f;
    QStringList questions;
    AfxSetMessageBoxHandler([&questions](const QString& text, unsigned) {
        questions.append(text);
        return IDYES;
    });
    auto* pDoc = qobject_cast<CHexDoc*>(f.app->OpenDocumentFile(path));
    QVERIFY(pDoc);
    CMDIChildWnd* pWatched = f.frame()->MDIGetActive();
    if (!activeWhenChanged)
        QVERIFY(f.app->OpenDocumentFile(other));
    f.frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.frame()));

    QSignalSpy changed(pDoc, &CDocument::changedOnDisk);
    writeScratchFile("watched.bin", "after the change");
    QVERIFY(changed.wait(5000));
    if (!activeWhenChanged) {
        QTest::qWait(50);
        QCOMPARE(questions, QStringList());
        f.frame()->MDIClient()->setActiveSubWindow(pWatched);
    }
    QTRY_COMPARE(questions, QStringList{path + " was changed by another program. Reload it?"});
    QCOMPARE(pDoc->m_nSize, 17u);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(pDoc->m_pData), 16), "after the change");
    QVERIFY(!pDoc->IsModified());
}

QTEST_MAIN(TestFileOps)
#include "tst_fileops.moc"
