#include "appfixture.h"

#include "beep.h"

#include "afxres.h"
#include "doctemplate.h"
#include "hexdoc.h"
#include "hexview.h"
#include "longtask.h"
#include "statusbar.h"

#include <QMdiArea>
#include <QProgressBar>
#include <QSignalSpy>
#include <QThread>
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
    void saveProgressCountsUpToAll();
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
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("bDetecting");
    QTest::addColumn<QString>("text");
    QTest::newRow("open, reading") << "open" << false << "Opening long.bin (Esc cancels)";
    QTest::newRow("open, detecting the code page") << "open" << true << "Opening long.bin (Esc cancels)";
    QTest::newRow("save") << "save" << false << "Saving long.bin (Esc cancels)";
    QTest::newRow("replace all") << "replace" << false << "Replacing in long.bin (Esc cancels)";
    QTest::newRow("find") << "find" << false << "Searching long.bin (Esc cancels)";
    QTest::newRow("find up") << "find up" << false << "Searching long.bin (Esc cancels)";
    QTest::newRow("F3") << "F3" << false << "Searching long.bin (Esc cancels)";
    QTest::newRow("replace") << "replace one" << false << "Searching long.bin (Esc cancels)";
}

// The task is held at a step until the test has seen the progress bar and
// pressed Esc, so nothing depends on how fast the machine is: at its first
// step, or at the step that ends the code-page scan of an open (the bar is busy
// then, its total unknown). A search over a file longer than the stretch it
// goes at a time is held at the step after its first stretch.
void TestFileOps::longTaskShowsProgressAndEscCancels()
{
    QFETCH(QString, action);
    QFETCH(bool, bDetecting);
    QFETCH(QString, text);
    const bool bSearch = action.startsWith("find") || action == "F3" || action == "replace one";
    QByteArray bytes(bSearch ? 4 << 20 : 1 << 20, 'z');
    bytes[5] = char(0xB0);   // GB text: a scan to the end, which decides 936
    bytes[6] = char(0xA1);
    const QString path = writeScratchFile("long.bin", bytes);
    AppFixture f;
    CHexDoc* pDoc = nullptr;
    if (action != "open") {
        pDoc = qobject_cast<CHexDoc*>(f.app->OpenDocumentFile(path));
        QVERIFY(pDoc);
        QCOMPARE(pDoc->GetCodePage(), 936);
        pDoc->SetByte(0, 'A');
        pDoc->SetModifiedFlag(true);
    }
    const QByteArray before = pDoc ? QByteArray(reinterpret_cast<const char*>(pDoc->Data()), int(pDoc->GetSize())) : QByteArray();

    int nOpenPrompts = 0;
    CWinApp::SetOpenFileNamePrompt([&nOpenPrompts](const QString&) {
        ++nOpenPrompts;
        return QString();
    });
    CWinApp::s_nProgressDelay = 0;
    std::atomic<bool> released{false};
    std::atomic<bool> bHeldOffMainThread{true};
    QThread* pMain = QThread::currentThread();
    CLongTask::s_stepHook = [&](CLongTask& task) {
        if (bDetecting && task.GetTotal() != 0)
            return;
        if (QThread::currentThread() == pMain)
            bHeldOffMainThread = false;
        for (int i = 0; i < 1000 && !released; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    QString barText;
    int nBarMaximum = -1;
    bool bPressed = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        QProgressBar* bar = f.frame()->m_wndStatusBar.GetProgressBar();
        // A save learns its total as it starts: the bar may be busy at first.
        if (bPressed || !bar || !bar->isVisible() || (bar->maximum() == 0) != bDetecting)
            return;
        barText = bar->format();
        nBarMaximum = bar->maximum();
        // Other keys are held back from the program while the task runs.
        QTest::keyClick(f.frame(), Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(f.frame(), Qt::Key_Escape);
        bPressed = true;
        released = true;
    });
    poll.start(5);

    int nBeeps = 0;
    AfxSetBeepHook([&nBeeps](unsigned) { ++nBeeps; });
    const auto noBeeps = qScopeGuard([] { AfxSetBeepHook({}); });
    auto* pView = qobject_cast<CHexView*>(f.frame()->GetActiveView());
    const std::uint32_t nCaret = action == "find up" ? std::uint32_t(bytes.size()) : 3;
    if (bSearch) {
        QVERIFY(pView);
        pView->MoveCaretTo(nCaret);
    }
    bool bDone = true;
    if (bSearch) {
        if (action == "F3") {
            pView->m_strFind = "00";
            QTest::keyClick(pView, Qt::Key_F3);
        } else if (action == "replace one") {
            pView->ReplaceOne("00", true, false, "41");
        } else {
            pView->FindNext("00", action == "find", false);
        }
        // Cancelled, the search neither beeps nor moves the caret.
        bDone = nBeeps != 0 || pView->m_nCaretPos != nCaret || pView->GetSelection().Anchor() != nCaret
                || pView->GetSelection().End() != nCaret;
    } else if (action == "save") {
        bDone = pDoc->DoFileSave();
    } else if (action == "replace") {
        auto* pView = qobject_cast<CHexView*>(f.frame()->GetActiveView());
        QVERIFY(pView);
        pView->ReplaceAll("7A", "41 42", false);
        bDone = pDoc->GetSize() != std::uint32_t(before.size());
    } else {
        bDone = f.app->OpenDocumentFile(path) != nullptr;
    }
    poll.stop();
    released = true;

    QVERIFY(bPressed);
    QVERIFY(bHeldOffMainThread);
    QVERIFY(!bDone);
    QCOMPARE(nOpenPrompts, 0);
    QVERIFY2(barText.startsWith(text), qPrintable(barText));
    // Reading, saving and replacing count bytes; the code-page scan does not.
    QCOMPARE(nBarMaximum, bDetecting ? 0 : 1000);
    QVERIFY(!f.frame()->m_wndStatusBar.GetProgressBar());
    QCOMPARE(f.messages, QStringList());
    QCOMPARE(readFile(path), bytes);
    QCOMPARE(f.windowCount(), pDoc ? 1 : 0);
    QCOMPARE(f.app->GetDocTemplate()->GetDocuments().size(), pDoc ? 1 : 0);
    if (pDoc) {
        QVERIFY(pDoc->IsModified());
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(pDoc->Data()), int(pDoc->GetSize())), before);
    }
    if (action == "replace") {
        QCOMPARE(pDoc->History().Count(), std::size_t(1));   // the byte set above, no Replace All
        // Not cancelled, the replacement made on the worker is installed whole.
        CLongTask::s_stepHook = nullptr;
        qobject_cast<CHexView*>(f.frame()->GetActiveView())->ReplaceAll("7A", "41 42", false);
        QCOMPARE(pDoc->GetSize(), std::uint32_t(before.size() + (1 << 20) - 3));   // each of the 2^20 - 3 z two bytes
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(pDoc->Data()) + 9, 4), QByteArray("\xB0\xA1" "AB"));
        QCOMPARE(pDoc->History().Count(), std::size_t(2));
    }
    QCOMPARE(QDir(scratchDir()).entryList({"*long.bin*"}, QDir::Files | QDir::Hidden), QStringList{"long.bin"});
}

// A save long enough to be written in several pieces: the bar adds up what
// each piece wrote and ends at 100 %. The first piece is held until the bar has
// shown, the last until the bar is full (or for at most five seconds).
void TestFileOps::saveProgressCountsUpToAll()
{
    const QString path = writeScratchFile("pieces.bin", QByteArray(20 << 20, 'p'));
    AppFixture f;
    auto* pDoc = qobject_cast<CHexDoc*>(f.app->OpenDocumentFile(path));
    QVERIFY(pDoc);
    pDoc->SetModifiedFlag(true);

    CWinApp::s_nProgressDelay = 0;
    std::atomic<bool> bShown{false};
    std::atomic<bool> bFull{false};
    int nShown = 0;   // the texts the bar showed, one after another
    QString lastText;
    int nSteps = 0;
    CLongTask::s_stepHook = [&](CLongTask& task) {
        if (task.GetTotal() == 0)
            return;
        std::atomic<bool>& seen = ++nSteps == 1 ? bShown : bFull;
        if (nSteps > 1 && task.GetDone() < task.GetTotal())
            return;
        for (int i = 0; i < 500 && !seen; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        QProgressBar* bar = f.frame()->m_wndStatusBar.GetProgressBar();
        if (!bar || !bar->isVisible() || bar->maximum() == 0)
            return;
        if (bar->text() != lastText) {
            lastText = bar->text();
            ++nShown;
        }
        bShown = true;
        bFull = bar->value() == bar->maximum();
    });
    poll.start(5);
    QVERIFY(pDoc->DoFileSave());
    poll.stop();
    QVERIFY(nSteps >= 2);
    QVERIFY2(nShown >= 2, "the bar showed one figure only");
    QCOMPARE(lastText, QStringLiteral("Saving pieces.bin (Esc cancels)  100%"));
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
    QCOMPARE(pDoc->GetSize(), 17u);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(pDoc->Data()), 16), "after the change");
    QVERIFY(!pDoc->IsModified());
}

QTEST_MAIN(TestFileOps)
#include "tst_fileops.moc"
