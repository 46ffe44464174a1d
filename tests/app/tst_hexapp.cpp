#include "appfixture.h"

#include "afxres.h"
#include "doctemplate.h"
#include "document.h"
#include "filename.h"
#include "hexview.h"
#include "hexdoc.h"
#include "keysdlg.h"
#include "mdichildwnd.h"
#include "recentfilelist.h"
#include "registeredmessage.h"
#include "resource.h"
#include "resources.h"
#include "tickcount.h"
#include "view.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>
#include <QSet>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Records the presses an object is given, after the application's filter.
class PressRecorder : public QObject {
public:
    int presses = 0;

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::KeyPress || pEvent->type() == QEvent::MouseButtonPress)
            ++presses;
        return false;
    }
};

// Records which views were given a paint event.
class PaintRecorder : public QObject {
public:
    QSet<QObject*> painted;

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override
    {
        // The rows are painted on the view's viewport.
        if (pEvent->type() == QEvent::Paint && pObject->parent())
            painted.insert(pObject->parent());
        return false;
    }
};

} // namespace

class TestHexApp : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUp_data();
    void startUp();
    void splashTimeOut_data();
    void splashTimeOut();
    void splashClosesOnInput_data();
    void splashClosesOnInput();
    void noSplashWhenStartedMinimized();
    void windowPaintedWithTheFileWhileTheSplashIsUp();
    void recentFiles();
    void nameNotUtf8OpensSavesAndComesBack();
    void documentsTakeTheUndoLimitFromTheSettings();
    void windowsOpenFilesPastFourGiB_data();
    void windowsOpenFilesPastFourGiB();
    void savedAsGoesToTheTopOfRecentFiles_data();
    void savedAsGoesToTheTopOfRecentFiles();
    void openStartsInTheDocumentsFolder();
    void openStartsWhereTheLastRunLeftOff();
    void missingRecentFileIsDropped();
    void recentFilesHoldSixteen();
    void aboutIsEnabledAndShowsTheVersion();
    void f1ListsEveryKey_data();
    void f1ListsEveryKey();
    void findReplaceMessageIsRegistered();
    void cancelledPrintDialogKeepsThePrinter_data();
    void cancelledPrintDialogKeepsThePrinter();
};

void TestHexApp::init()
{
    AppFixture::ResetSettings();
}

void TestHexApp::cleanup()
{
    SetTickCountSource(nullptr);
}

void TestHexApp::startUp_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("windows");
    QTest::addColumn<int>("messages");

    const QString path = TestSupport::writeScratchFile("start.bin", "0123456789");
    const QString dashed = TestSupport::writeScratchFile("-dashed.bin", "abc");
    const QString missing = TestSupport::scratchDir() + "/missing.bin";
    QTest::newRow("no file: no document window") << QStringList() << 0 << 0;
    QTest::newRow("a file opens in a window") << QStringList{path} << 1 << 0;
    QTest::newRow("options are not file names") << QStringList{"-style", path} << 1 << 0;
    QTest::newRow("after -- a dash is a name") << QStringList{"--", dashed} << 1 << 0;
    QTest::newRow("missing file: message, no window") << QStringList{missing} << 0 << 1;
    QDir::setCurrent(TestSupport::scratchDir());
    TestSupport::writeScratchFile("-", "dash");
    QTest::newRow("a lone dash is a name") << QStringList{"-"} << 1 << 0;
    const QString other = TestSupport::writeScratchFile("other.bin", "xyz");
    QTest::newRow("two files: two windows") << QStringList{path, other} << 2 << 0;
    QTest::newRow("a missing file among others") << QStringList{missing, path, other} << 2 << 1;
}

void TestHexApp::startUp()
{
    QFETCH(QStringList, args);
    QFETCH(int, windows);
    QFETCH(int, messages);

    AppFixture fixture(args);
    QVERIFY(fixture.started);
    QVERIFY(fixture.frame()->isVisible());
    QCOMPARE(fixture.windowCount(), windows);
    QCOMPARE(fixture.messages.size(), messages);
    if (messages)
        QVERIFY2(fixture.messages.first().contains("missing.bin"), qPrintable(fixture.messages.first()));
    fixture.idle();
    QCOMPARE(fixture.frame()->GetMenuID(), windows ? IDR_ZORBELTYPE : IDR_MAINFRAME);
    if (windows) {
        // With no stored state the first document window opens maximized.
        QVERIFY(fixture.frame()->MDIGetActive()->isMaximized());
        QCOMPARE(fixture.app->GetRecentFileList()->GetCount(), windows);
        QCOMPARE(fixture.frame()->GetActiveDocument()->GetPathName(), QFileInfo(args.last()).absoluteFilePath());
    }
}

void TestHexApp::splashTimeOut_data()
{
    QTest::addColumn<quint32>("start");
    QTest::addColumn<quint32>("elapsed");
    QTest::addColumn<bool>("up");

    QTest::newRow("5000 ms: still up") << 1000u << 5000u << true;
    QTest::newRow("5001 ms: closed") << 1000u << 5001u << false;
    QTest::newRow("wrap, 5000 ms: still up") << 0xFFFFF000u << 5000u << true;
    QTest::newRow("wrap, 5001 ms: closed") << 0xFFFFF000u << 5001u << false;
    QTest::newRow("wrap right after start") << 0xFFFFFFFFu << 1u << true;
}

void TestHexApp::splashTimeOut()
{
    QFETCH(quint32, start);
    QFETCH(quint32, elapsed);
    QFETCH(bool, up);

    quint32 now = start;
    SetTickCountSource([&now] { return now; });
    AppFixture fixture;
    QVERIFY(fixture.app->m_splash.IsWindowUp());
    QVERIFY(fixture.app->m_splash.isVisible());
    QCOMPARE(fixture.app->m_dwSplashStart, start);

    // While the splash is up the idle processing asks to be called again.
    QVERIFY(fixture.idle());
    now = start + elapsed;
    QCOMPARE(fixture.idle(1), up);
    QCOMPARE(fixture.app->m_splash.IsWindowUp(), up);
}

void TestHexApp::splashClosesOnInput_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("mouse");

    QTest::newRow("key in the main window") << "frame" << false;
    QTest::newRow("Alt key in the main window") << "alt" << false;
    QTest::newRow("click in the main window") << "frame" << true;
    QTest::newRow("click on the splash") << "splash" << true;
    QTest::newRow("key in a document window") << "view" << false;
}

void TestHexApp::splashClosesOnInput()
{
    QFETCH(QString, where);
    QFETCH(bool, mouse);

    SetTickCountSource([] { return 0u; });
    const QString path = TestSupport::writeScratchFile("input.bin", "abc");
    AppFixture fixture({path});
    QVERIFY(fixture.app->m_splash.IsWindowUp());

    QWidget* target = fixture.frame()->MDIClient();
    if (where == "splash")
        target = fixture.app->m_splash.findChild<QLabel*>("text");
    else if (where == "view")
        target = fixture.frame()->GetActiveView();
    PressRecorder recorder;
    target->installEventFilter(&recorder);
    if (mouse)
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(5, 5));
    else if (where == "alt")
        QTest::keyClick(target, Qt::Key_Alt, Qt::AltModifier);
    else
        QTest::keyClick(target, Qt::Key_Right);
    QCoreApplication::processEvents();

    QVERIFY(!fixture.app->m_splash.IsWindowUp());
    QVERIFY(recorder.presses >= 1);
    // Gone for good: the time-out has nothing left to close.
    QVERIFY(!fixture.idle());
}

void TestHexApp::noSplashWhenStartedMinimized()
{
    AppFixture fixture({}, SW_SHOWMINIMIZED);
    QVERIFY(fixture.frame()->isMinimized());
    QVERIFY(!fixture.app->m_splash.IsWindowUp());
}

// The main window is kept from painting while the splash shows; it must paint
// the opened file's rows after that, with nothing else asking it to.
void TestHexApp::windowPaintedWithTheFileWhileTheSplashIsUp()
{
    PaintRecorder recorder;
    qApp->installEventFilter(&recorder);
    const auto unhook = qScopeGuard([&recorder] { qApp->removeEventFilter(&recorder); });
    AppFixture fixture({TestSupport::writeScratchFile("first.bin", "ABCDEFGH")});
    QVERIFY(fixture.app->m_splash.isVisible());
    CMDIChildWnd* pChild = fixture.frame()->MDIGetActive();
    QVERIFY(pChild);
    QTRY_VERIFY(recorder.painted.contains(pChild->GetActiveView()));
    QVERIFY(fixture.app->m_splash.IsWindowUp());
}

// "Settings"/"UndoLimitMB" is read as each document opens, in MiB.
void TestHexApp::documentsTakeTheUndoLimitFromTheSettings()
{
    const QString path = TestSupport::writeScratchFile("limit.bin", "1");
    AppFixture fixture;
    auto* pFirst = qobject_cast<CHexDoc*>(fixture.app->OpenDocumentFile(path));
    QVERIFY(pFirst);
    QCOMPARE(pFirst->History().Limit(), 256ull << 20);
    QVERIFY(fixture.app->WriteProfileInt("Settings", "UndoLimitMB", 3));
    fixture.app->OnFileNew();
    auto* pSecond = qobject_cast<CHexDoc*>(fixture.app->GetDocTemplate()->GetDocuments().last());
    QVERIFY(pSecond && pSecond != pFirst);
    QCOMPARE(pSecond->History().Limit(), 3ull << 20);
}

void TestHexApp::windowsOpenFilesPastFourGiB_data()
{
    QTest::addColumn<qint64>("length");
    QTest::newRow("4 GiB - 1") << qint64(0xFFFFFFFF);
    QTest::newRow("64 GiB") << (qint64(1) << 36);
}

// Files past 32 MiB are held as pieces, of any length; a window opens them
// with its caret able to reach their end.
void TestHexApp::windowsOpenFilesPastFourGiB()
{
    QFETCH(qint64, length);
    const QString path = TestSupport::scratchDir() + "/sparse.bin";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!file.resize(length))
        QSKIP("the file system cannot hold a sparse file this long");
    file.close();
    const auto remove = qScopeGuard([path] { QFile::remove(path); });
    AppFixture fixture;
    auto* pDoc = qobject_cast<CHexDoc*>(fixture.app->OpenDocumentFile(path));
    QVERIFY(pDoc);
    QCOMPARE(pDoc->Length(), length);
    QVERIFY(fixture.messages.isEmpty());
}

void TestHexApp::recentFiles()
{
    const QString first = TestSupport::writeScratchFile("first.bin", "1");
    const QString second = TestSupport::writeScratchFile("a&b.bin", "2");
    {
        AppFixture fixture;
        QAction* placeholder = nullptr;
        for (QAction* action : fixture.frame()->GetPopup(IDR_MAINFRAME, 0)->actions())
            if (action->text() == "Recent File")
                placeholder = action;
        QVERIFY(placeholder && placeholder->isVisible() && !placeholder->isEnabled());
        fixture.app->OpenDocumentFile(first);
        fixture.app->OpenDocumentFile(second);
    }
    AppFixture fixture;
    QCOMPARE(fixture.app->GetRecentFileList()->GetCount(), 2);
    for (unsigned nMenu : {IDR_MAINFRAME, IDR_ZORBELTYPE}) {
        QMenu* file = fixture.frame()->GetPopup(nMenu, 0);
        QStringList texts;
        for (QAction* action : file->actions())
            if (action->isVisible() && action->data().toUInt() >= ID_FILE_MRU_FILE1
                && action->data().toUInt() <= ID_FILE_MRU_FILE16)
                texts.append(action->text());
        QCOMPARE(texts.size(), 2);
        QVERIFY2(texts[0].startsWith("&1 ") && texts[0].endsWith("a&&b.bin"), qPrintable(texts[0]));
        QVERIFY2(texts[1].startsWith("&2 ") && texts[1].endsWith("first.bin"), qPrintable(texts[1]));
    }
    fixture.idle();
    fixture.frame()->CommandAction(ID_FILE_MRU_FILE1 + 1)->trigger();
    QCOMPARE(fixture.windowCount(), 1);
    QCOMPARE(fixture.frame()->GetActiveDocument()->GetPathName(), first);
}

// A GBK name from the command line: the window shows it with \xHH for the
// bytes that are not UTF-8, an edit saves to the same bytes, and the next
// run reopens it from the recent files.
void TestHexApp::nameNotUtf8OpensSavesAndComesBack()
{
    const QByteArray raw = QFile::encodeName(TestSupport::scratchDir()) + "/\xD6\xD0\xCE\xC4.bin";
    const QString shown("\\xD6\\xD0\\xCE\\xC4.bin");
    const auto readRaw = [&raw] {
        QFile file;
        const int fd = ::open(raw.constData(), O_RDONLY | O_CLOEXEC);
        return fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) ? file.readAll()
                                                                                            : QByteArray("<none>");
    };
    const auto cleanUp = qScopeGuard([&raw] { ::unlink(raw.constData()); });
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QCOMPARE(::write(fd, "GBK", 3), ssize_t(3));
    ::close(fd);
    {
        AppFixture fixture({"--", AfxDecodeFileName(raw)});
        QCOMPARE(fixture.windowCount(), 1);
        QCOMPARE(fixture.messages, QStringList());
        fixture.idle();
        QCOMPARE(fixture.frame()->MDIGetActive()->GetDisplayTitle(), shown);
        QVERIFY2(fixture.frame()->windowTitle().contains(shown), qPrintable(fixture.frame()->windowTitle()));
        auto* pView = qobject_cast<CHexView*>(fixture.frame()->GetActiveView());
        QTest::keyClick(pView, Qt::Key_4);
        QTest::keyClick(pView, Qt::Key_1);
        QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_SAVE));
        QCOMPARE(fixture.messages, QStringList());
        QCOMPARE(readRaw(), QByteArray("AGBK"));
    }
    AppFixture fixture;
    QMenu* file = fixture.frame()->GetPopup(IDR_MAINFRAME, 0);
    QAction* recent = nullptr;
    for (QAction* action : file->actions())
        if (action->isVisible() && action->data().toUInt() == ID_FILE_MRU_FILE1)
            recent = action;
    QVERIFY(recent);
    QVERIFY2(recent->text().startsWith("&1 ") && recent->text().endsWith(shown), qPrintable(recent->text()));
    fixture.idle();
    recent->trigger();
    QCOMPARE(fixture.messages, QStringList());
    QCOMPARE(fixture.windowCount(), 1);
    QCOMPARE(AfxEncodeFileName(fixture.frame()->GetActiveDocument()->GetPathName()), raw);
    QCOMPARE(fixture.frame()->MDIGetActive()->GetDisplayTitle(), shown);
}

void TestHexApp::savedAsGoesToTheTopOfRecentFiles_data()
{
    QTest::addColumn<bool>("newDocument");
    QTest::addColumn<unsigned>("command");
    QTest::addColumn<bool>("chosen");   // the user picks a name rather than cancelling

    QTest::newRow("Save As") << false << ID_FILE_SAVE_AS << true;
    QTest::newRow("first Save of a new document") << true << ID_FILE_SAVE << true;
    QTest::newRow("Save As cancelled") << false << ID_FILE_SAVE_AS << false;
    QTest::newRow("Save of a named document") << false << ID_FILE_SAVE << false;
}

void TestHexApp::savedAsGoesToTheTopOfRecentFiles()
{
    QFETCH(bool, newDocument);
    QFETCH(unsigned, command);
    QFETCH(bool, chosen);

    const QString opened = TestSupport::writeScratchFile("opened.bin", "abc");
    const QString other = TestSupport::writeScratchFile("other.bin", "def");
    const QString saved = TestSupport::scratchDir() + "/saved as.bin";
    QFile::remove(saved);
    AppFixture fixture;
    // After the application, which sets the file dialog as the prompt.
    int prompts = 0;
    CDocument::SetSaveFileNamePrompt([&](CDocument*) {
        ++prompts;
        return chosen ? saved : QString();
    });
    const auto restore = qScopeGuard([] { CDocument::SetSaveFileNamePrompt(nullptr); });
    fixture.app->OpenDocumentFile(other);
    if (newDocument) {
        QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_NEW));
        // Something to save: an empty new document has no bytes.
        QTest::keyClicks(fixture.frame()->GetActiveView(), "41");
    } else {
        fixture.app->OpenDocumentFile(opened);
    }
    CRecentFileList* list = fixture.app->GetRecentFileList();
    auto entries = [list] {
        QStringList names;
        for (int i = 0; i < list->GetCount(); ++i)
            names.append((*list)[i]);
        return names;
    };
    const QStringList before = entries();
    fixture.idle();
    QVERIFY(fixture.frame()->ExecuteCommand(command));

    if (chosen) {
        QVERIFY(QFile::exists(saved));
        QCOMPARE(entries(), QStringList{saved} + before);
        QCOMPARE(fixture.frame()->GetActiveDocument()->GetPathName(), saved);
        // The menu follows.
        bool shown = false;
        for (QAction* action : fixture.frame()->GetPopup(IDR_ZORBELTYPE, 0)->actions())
            shown = shown || (action->isVisible() && action->text().startsWith("&1 ")
                                && action->text().endsWith("saved as.bin"));
        QVERIFY(shown);
    } else {
        QCOMPARE(entries(), before);
    }
    QCOMPARE(prompts, command == ID_FILE_SAVE_AS || newDocument ? 1 : 0);
}

// The Open dialog starts in the active document's folder; without a named
// document, in the folder a file was last opened from.
void TestHexApp::openStartsInTheDocumentsFolder()
{
    QDir(TestSupport::scratchDir()).mkpath("one");
    QDir(TestSupport::scratchDir()).mkpath("two");
    const QString first = TestSupport::writeScratchFile("one/first.bin", "1");
    const QString second = TestSupport::writeScratchFile("two/second.bin", "2");
    QStringList folders;
    QString answer;
    CWinApp::SetOpenFileNamePrompt([&](const QString& folder) {
        folders.append(folder);
        return answer;
    });
    const auto restore = qScopeGuard([] { CWinApp::SetOpenFileNamePrompt(nullptr); });

    AppFixture fixture({first});
    answer = second;
    QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_OPEN));   // from first's folder, opens second
    answer.clear();
    fixture.frame()->MDIActivate(fixture.frame()->GetWindowList().first());
    QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_OPEN));   // first is active again
    QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_NEW));
    fixture.idle();
    QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_OPEN));   // an untitled document: the last folder
    QCOMPARE(folders, QStringList({QFileInfo(first).absolutePath(), QFileInfo(first).absolutePath(),
                                   QFileInfo(second).absolutePath()}));
}

// Without a document: the working folder the first time, then the folder of
// the last file opened, in a later run too, while that folder exists.
void TestHexApp::openStartsWhereTheLastRunLeftOff()
{
    QDir scratch(TestSupport::scratchDir());
    scratch.mkpath("working");
    scratch.mkpath("kept");
    scratch.mkpath("gone");
    const QString kept = TestSupport::writeScratchFile("kept/kept.bin", "1");
    const QString gone = TestSupport::writeScratchFile("gone/gone.bin", "2");
    const QString working = QDir::currentPath();
    QDir::setCurrent(scratch.filePath("working"));
    QStringList folders;
    QString answer;
    CWinApp::SetOpenFileNamePrompt([&](const QString& folder) {
        folders.append(folder);
        return answer;
    });
    const auto restore = qScopeGuard([working] {
        CWinApp::SetOpenFileNamePrompt(nullptr);
        QDir::setCurrent(working);
    });
    const auto openInANewRun = [&](const QString& path) {
        answer = path;
        AppFixture fixture;
        QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_OPEN));
    };

    openInANewRun(kept);
    openInANewRun(gone);
    openInANewRun(QString());
    QVERIFY(QDir(scratch.filePath("gone")).removeRecursively());
    openInANewRun(QString());
    QCOMPARE(folders, QStringList({scratch.filePath("working"), QFileInfo(kept).absolutePath(),
                                   QFileInfo(gone).absolutePath(), scratch.filePath("working")}));
}

void TestHexApp::missingRecentFileIsDropped()
{
    const QString gone = TestSupport::writeScratchFile("gone.bin", "x");
    {
        AppFixture fixture({gone});
        QCOMPARE(fixture.windowCount(), 1);
    }
    QVERIFY(QFile::remove(gone));
    AppFixture fixture;
    QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_MRU_FILE1));
    QCOMPARE(fixture.windowCount(), 0);
    QCOMPARE(fixture.messages.size(), 1);
    QCOMPARE(fixture.app->GetRecentFileList()->GetCount(), 0);
}

// The profile may hold more names than the list keeps: the first sixteen are
// read, and a seventeenth opened pushes out the oldest.
void TestHexApp::recentFilesHoldSixteen()
{
    for (int i = 1; i <= 17; ++i)
        AppFixture::SetSetting(QStringLiteral("Recent File List/File%1").arg(i), QStringLiteral("/data/f%1.bin").arg(i));
    const QString opened = TestSupport::writeScratchFile("seventeenth.bin", "x");
    {
        AppFixture fixture;
        const CRecentFileList& list = *fixture.app->GetRecentFileList();
        QCOMPARE(list.GetCount(), 16);
        QCOMPARE(list[15], QStringLiteral("/data/f16.bin"));
        QVERIFY(fixture.app->OpenDocumentFile(opened));
        QCOMPARE(list.GetCount(), 16);
        QCOMPARE(list[0], QFileInfo(opened).absoluteFilePath());
        QCOMPARE(list[15], QStringLiteral("/data/f15.bin"));
    }
    QCOMPARE(AppFixture::Setting("Recent File List/File16").toString(), QStringLiteral("/data/f15.bin"));
    QVERIFY(!AppFixture::Setting("Recent File List/File17").isValid());
}

void TestHexApp::aboutIsEnabledAndShowsTheVersion()
{
    AppFixture fixture;
    fixture.idle();
    QVERIFY(fixture.frame()->CommandAction(ID_APP_ABOUT)->isEnabled());
    QVERIFY(fixture.frame()->ExecuteCommand(ID_APP_ABOUT));
    QCOMPARE(fixture.messages.size(), 1);
    QVERIFY(fixture.messages.first().startsWith("Zorbel Version 1.4"));
    QVERIFY(fixture.messages.first().contains("UTF-8"));
}

void TestHexApp::f1ListsEveryKey_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("firstKey");
    QTest::newRow("en") << int(LANG_EN_US) << "Keyboard Shortcuts" << "arrows";
    QTest::newRow("ja") << int(LANG_JA_JP) << "ｷｰﾎﾞｰﾄﾞ ｼｮｰﾄｶｯﾄ" << "方向ｷｰ";
}

// F1 opens the list of keys as a table a screen reader reads cell by cell; a
// second F1 brings back the same dialog instead of a second one.
void TestHexApp::f1ListsEveryKey()
{
    QFETCH(int, lang);
    QFETCH(QString, title);
    QFETCH(QString, firstKey);
    AfxSetResourceLanguage(lang);
    auto restore = qScopeGuard([] { AfxSetResourceLanguage(0); });
    AppFixture fixture;
    fixture.frame()->activateWindow();
    QTest::keyClick(fixture.frame(), Qt::Key_F1);
    QTest::keyClick(fixture.frame(), Qt::Key_F1);
    const QList<CKeysDlg*> dialogs = fixture.frame()->findChildren<CKeysDlg*>();
    QCOMPARE(dialogs.size(), 1);
    CKeysDlg* dialog = dialogs.first();
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), title);

    const QList<CKeyRes> keys = AfxLoadKeyList();
    QTableWidget* table = dialog->Table();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(table);
    QVERIFY(accessible && accessible->tableInterface());
    QCOMPARE(accessible->tableInterface()->rowCount(), keys.size());
    QCOMPARE(accessible->tableInterface()->columnCount(), 2);
    QCOMPARE(accessible->tableInterface()->cellAt(0, 0)->text(QAccessible::Name), firstKey);
    const qsizetype last = keys.size() - 1;
    QCOMPARE(accessible->tableInterface()->cellAt(int(last), 1)->text(QAccessible::Name), keys.last().does);
    QCOMPARE(table->horizontalHeaderItem(0)->text(), AfxLoadString(IDS_KEYS_KEY));
    dialog->close();
}

void TestHexApp::findReplaceMessageIsRegistered()
{
    QVERIFY(CHexApp::s_nFindReplaceMsg >= 0xC000u);
    QCOMPARE(RegisterWindowMessage(QStringLiteral("commdlg_FindReplace")), CHexApp::s_nFindReplaceMsg);
}

void TestHexApp::cancelledPrintDialogKeepsThePrinter_data()
{
    QTest::addColumn<unsigned>("command");
    QTest::newRow("Print Setup") << ID_FILE_PRINT_SETUP;
    QTest::newRow("Print") << ID_FILE_PRINT;
}

// The dialog changes the printer while it is open, as Qt's does when another
// printer is picked in its list or its Properties close; Cancel puts back
// what the printer was before.
void TestHexApp::cancelledPrintDialogKeepsThePrinter()
{
    QFETCH(unsigned, command);
    AppFixture fixture({TestSupport::writeScratchFile("printer.bin", "0123456789")});
    QPrinter* pPrinter = fixture.app->GetPrinter();
    const QString before = TestSupport::scratchDir() + "/before.pdf";
    pPrinter->setOutputFileName(before);
    pPrinter->setPageSize(QPageSize(QPageSize::A4));
    pPrinter->setPageOrientation(QPageLayout::Portrait);
    bool bShown = false;
    QTimer::singleShot(0, [&] {
        auto* pDialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        bShown = pDialog && pDialog->printer() == pPrinter;
        pPrinter->setOutputFileName(TestSupport::scratchDir() + "/other.pdf");
        pPrinter->setPageSize(QPageSize(QPageSize::Letter));
        pPrinter->setPageOrientation(QPageLayout::Landscape);
        pPrinter->setCopyCount(3);
        if (pDialog)
            pDialog->reject();
    });
    QVERIFY(fixture.frame()->ExecuteCommand(command));
    QVERIFY(bShown);
    QCOMPARE(pPrinter->outputFormat(), QPrinter::PdfFormat);
    QCOMPARE(pPrinter->outputFileName(), before);
    QCOMPARE(pPrinter->pageLayout().pageSize().id(), QPageSize::A4);
    QCOMPARE(pPrinter->pageLayout().orientation(), QPageLayout::Portrait);
    QCOMPARE(pPrinter->copyCount(), 1);
    QVERIFY(!QFile::exists(before));
}

QTEST_MAIN(TestHexApp)
#include "tst_hexapp.moc"
