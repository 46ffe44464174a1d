#include "appfixture.h"

#include "afxres.h"
#include "clipboard.h"
#include "document.h"
#include "hexdoc.h"
#include "hexview.h"
#include "resource.h"
#include "resources.h"

#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

namespace {

CHexView* ActiveView(AppFixture& fixture)
{
    return qobject_cast<CHexView*>(fixture.frame()->GetActiveView());
}

// The right button on the view, as the platform delivers it; pMenuWork runs on
// the context menu while it is open and must close it.
void RightClick(CHexView* pView, const std::function<void(QMenu*)>& menuWork)
{
    bool bOpened = false;
    QTimer::singleShot(0, [&] {
        auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        bOpened = pMenu != nullptr;
        if (pMenu)
            menuWork(pMenu);
    });
    QWindow* pWindow = pView->window()->windowHandle();
    // On byte 1 in the hex column: a right click there keeps a selection of it.
    const QPoint cell = pView->CellToClient(13, 0) + QPoint(pView->m_nCharWidth / 2, int(pView->m_nLineHeight) / 2);
    const QPoint at = pView->viewport()->mapTo(pView->window(), cell);
    QTest::mouseClick(pWindow, Qt::RightButton, Qt::NoModifier, at);
    QVERIFY(bOpened);
}

// Counts the key presses a view handles and the paints of its rows, and
// whether a paint came after the last key of a burst.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(CHexView* pView) : m_pView(pView)
    {
        pView->installEventFilter(this);
        pView->viewport()->installEventFilter(this);
    }

    int nKeys = 0;
    int nPaints = 0;
    int nBurst = 0;
    bool bPaintedAfterBurst = false;

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override
    {
        if (pObject == m_pView && pEvent->type() == QEvent::KeyPress) {
            ++nKeys;
        } else if (pObject == m_pView->viewport() && pEvent->type() == QEvent::Paint) {
            ++nPaints;
            bPaintedAfterBurst = bPaintedAfterBurst || nKeys == nBurst;
        }
        return false;
    }

private:
    CHexView* m_pView;
};

QMimeData* UrlData(const QStringList& urls)
{
    auto* pData = new QMimeData;
    QList<QUrl> list;
    for (const QString& url : urls)
        list.append(url.contains(':') ? QUrl(url) : QUrl::fromLocalFile(url));
    pData->setUrls(list);
    return pData;
}

} // namespace

Q_DECLARE_METATYPE(QList<unsigned>)

// What reaches the main frame from the mouse and the keyboard besides the menus:
// the document view's context menu, files dropped on the frame, Ctrl+Q.
class TestFrameInput : public QObject {
    Q_OBJECT

private slots:
    void init();
    void contextMenu_data();
    void contextMenu();
    void contextMenuRunsTheChosenCommand();
    void contextMenuBookmarks();
    void dropOpensEachFile_data();
    void dropOpensEachFile();
    void ctrlQQuits_data();
    void ctrlQQuits();
    void closingADocumentWindow_data();
    void closingADocumentWindow();
    void caretPaneFollowsTheActiveWindow();
    void burstOfKeysPaintsOnce_data();
    void burstOfKeysPaintsOnce();
};

void TestFrameInput::init()
{
    AppFixture::ResetSettings();
    AfxSetResourceLanguage(LANG_EN_US);
    QGuiApplication::clipboard()->clear();
}

void TestFrameInput::contextMenu_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("selection");
    QTest::addColumn<bool>("clipboard");
    QTest::addColumn<QList<unsigned>>("enabled");

    QTest::newRow("empty file") << QByteArray() << false << false << QList<unsigned>{};
    QTest::newRow("bytes") << QByteArray("abcdef") << false << false
                           << QList<unsigned>{ID_EDIT_CLEAR, ID_EDIT_SELECT_ALL, ID_EDIT_TOGGLE_BOOKMARK};
    QTest::newRow("bytes, clipboard text") << QByteArray("abcdef") << false << true
                                           << QList<unsigned>{ID_EDIT_PASTE, ID_EDIT_CLEAR, ID_EDIT_SELECT_ALL,
                                                              ID_EDIT_TOGGLE_BOOKMARK};
    QTest::newRow("selection") << QByteArray("abcdef") << true << false
                               << QList<unsigned>{ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_COPY_HEX, ID_EDIT_CLEAR,
                                                  ID_EDIT_SELECT_ALL, ID_EDIT_TOGGLE_BOOKMARK};
}

// The items, in their order, enabled exactly as the Edit menu's are. Undo and
// Redo count as disabled while nothing answers for them.
void TestFrameInput::contextMenu()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, selection);
    QFETCH(bool, clipboard);
    QFETCH(QList<unsigned>, enabled);

    AppFixture fixture({TestSupport::writeScratchFile("context.bin", bytes)});
    if (clipboard)
        QGuiApplication::clipboard()->setText("x");
    CHexView* pView = ActiveView(fixture);
    if (selection)
        pView->SelectRange(1, 3);
    fixture.idle();

    QList<unsigned> ids;
    QList<unsigned> on;
    QStringList texts;
    RightClick(pView, [&](QMenu* pMenu) {
        for (QAction* action : pMenu->actions()) {
            ids.append(action->isSeparator() ? 0u : action->data().toUInt());
            if (!action->isSeparator())
                texts.append(action->text());
            if (action->isEnabled() && !action->isSeparator())
                on.append(action->data().toUInt());
        }
        pMenu->close();
    });
    QCOMPARE(ids, QList<unsigned>({ID_EDIT_UNDO, ID_EDIT_REDO, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_COPY_HEX,
                                   ID_EDIT_PASTE, ID_EDIT_CLEAR, 0, ID_EDIT_SELECT_ALL, 0, ID_EDIT_TOGGLE_BOOKMARK,
                                   ID_EDIT_NEXT_BOOKMARK, ID_EDIT_PREV_BOOKMARK}));
    QCOMPARE(texts.mid(2), QStringList({"Cu&t\tCtrl+X", "&Copy\tCtrl+C", "Copy as &Hex", "&Paste\tCtrl+V",
                                        "&Delete\tDEL", "Select &All\tCtrl+A", "Toggle &Bookmark\tCtrl+B",
                                        "Ne&xt Bookmark\tF2", "Pre&vious Bookmark\tShift+F2"}));
    for (unsigned nID : ids)
        if (nID && fixture.frame()->HasCommandAction(nID) && nID != ID_EDIT_UNDO && nID != ID_EDIT_REDO)
            QVERIFY2(fixture.frame()->CommandAction(nID)->isEnabled() == on.contains(nID), qPrintable(QString::number(nID)));
    for (unsigned nID : {ID_EDIT_UNDO, ID_EDIT_REDO})
        on.removeAll(nID);
    QCOMPARE(on, enabled);
}

// Chosen by its mnemonic, as a person at the keyboard does.
void TestFrameInput::contextMenuRunsTheChosenCommand()
{
    AppFixture fixture({TestSupport::writeScratchFile("choose.bin", QByteArray::fromHex("DEADBEEF"))});
    CHexView* pView = ActiveView(fixture);
    RightClick(pView, [](QMenu* pMenu) { QTest::keyClick(pMenu, Qt::Key_A); });
    QVERIFY(pView->HasSelection());
    QCOMPARE(pView->GetSelection().End(), 4u);
    fixture.idle();
    RightClick(pView, [](QMenu* pMenu) { QTest::keyClick(pMenu, Qt::Key_H); });
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("DE AD BE EF"));
}

// Toggle Bookmark marks the byte clicked on (byte 1); Next and Previous go
// on from there to the marks at 20 and, wrapping, at 40, as the Edit menu's
// commands do.
void TestFrameInput::contextMenuBookmarks()
{
    AppFixture fixture({TestSupport::writeScratchFile("marks.bin", QByteArray(64, 'x'))});
    CHexView* pView = ActiveView(fixture);
    CBookmarks& marks = pView->GetDocument()->Bookmarks();
    marks.Add(20, 2, QString());
    marks.Add(40, 2, QString());
    fixture.idle();
    RightClick(pView, [](QMenu* pMenu) { QTest::keyClick(pMenu, Qt::Key_B); });
    QCOMPARE(marks.Count(), 3);
    QCOMPARE(marks.At(0).nOffset, 1u);
    fixture.idle();
    RightClick(pView, [](QMenu* pMenu) { QTest::keyClick(pMenu, Qt::Key_X); });
    QCOMPARE(pView->GetSelection().First(), 20u);
    fixture.idle();
    RightClick(pView, [](QMenu* pMenu) { QTest::keyClick(pMenu, Qt::Key_V); });
    QCOMPARE(pView->GetSelection().First(), 40u);
}

void TestFrameInput::dropOpensEachFile_data()
{
    QTest::addColumn<QStringList>("files");   // "name=bytes", a missing file, or a URL
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<int>("messages");

    QTest::newRow("two files") << QStringList{"one.bin=1", "two.bin=22"} << true
                               << QStringList{"one.bin", "two.bin"} << 0;
    QTest::newRow("a file and a missing one") << QStringList{"missing.bin", "three.bin=333"} << true
                                              << QStringList{"three.bin"} << 1;
    QTest::newRow("a web page") << QStringList{"https://example.org/a.bin"} << false << QStringList{} << 0;
    QTest::newRow("a GBK name, percent-encoded") << QStringList{"file:%D6%D0%20a.bin=GB"} << true
                                                 << QStringList{"\\xD6\\xD0 a.bin"} << 0;
}

void TestFrameInput::dropOpensEachFile()
{
    QFETCH(QStringList, files);
    QFETCH(bool, accepted);
    QFETCH(QStringList, titles);
    QFETCH(int, messages);

    AppFixture fixture;
    QStringList urls;
    QList<QByteArray> rawNames;
    const auto removeRaw = qScopeGuard([&rawNames] {
        for (const QByteArray& raw : rawNames)
            ::unlink(raw.constData());
    });
    for (const QString& file : files) {
        if (file.startsWith("file:")) {
            // A name as bytes: Qt's file classes cannot write it.
            const QString encoded = file.mid(5).section('=', 0, 0);
            const QByteArray raw = QFile::encodeName(TestSupport::scratchDir()) + '/'
                                   + QByteArray::fromPercentEncoding(encoded.toLatin1());
            rawNames.append(raw);
            const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0 && ::write(fd, "GB", 2) == 2 && ::close(fd) == 0);
            urls.append("file://" + TestSupport::scratchDir() + '/' + encoded);
        } else if (file.contains("://"))
            urls.append(file);
        else if (file.contains('='))
            urls.append(TestSupport::writeScratchFile(file.section('=', 0, 0), file.section('=', 1).toLatin1()));
        else
            urls.append(TestSupport::scratchDir() + "/" + file);
    }
    std::unique_ptr<QMimeData> pData(UrlData(urls));
    const QPoint at = fixture.frame()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, pData.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(fixture.frame(), &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    if (accepted) {
        QDropEvent drop(QPointF(at), Qt::CopyAction, pData.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(fixture.frame(), &drop);
        QVERIFY(drop.isAccepted());
    }
    QTRY_COMPARE(fixture.windowCount() + fixture.messages.size(), titles.size() + messages);
    QStringList opened;
    for (CMDIChildWnd* pChild : fixture.frame()->GetChildFrames())
        opened.append(pChild->GetActiveDocument()->GetTitle());
    QCOMPARE(opened, titles);
    QCOMPARE(int(fixture.messages.size()), messages);
}

void TestFrameInput::ctrlQQuits_data()
{
    QTest::addColumn<bool>("modified");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");

    QTest::newRow("nothing to save") << false << int(IDCANCEL) << true;
    QTest::newRow("changes kept by No") << true << int(IDNO) << true;
    QTest::newRow("Cancel stays") << true << int(IDCANCEL) << false;
}

void TestFrameInput::ctrlQQuits()
{
    QFETCH(bool, modified);
    QFETCH(int, answer);

    QStringList prompts; // outlives the fixture, whose closing may still ask
    AppFixture fixture({TestSupport::writeScratchFile("quit.bin", "abc")});
    AfxSetMessageBoxHandler([&](const QString& text, unsigned) {
        prompts.append(text);
        return answer;
    });
    fixture.frame()->GetActiveDocument()->SetModifiedFlag(modified);
    QTest::keyClick(ActiveView(fixture), Qt::Key_Q, Qt::ControlModifier);
    QTEST(fixture.frame()->isHidden(), "closed");
    QCOMPARE(prompts, modified ? QStringList{"Save changes to quit.bin?"} : QStringList{});
    if (!fixture.frame()->isHidden())
        fixture.frame()->GetActiveDocument()->SetModifiedFlag(false);
}

void TestFrameInput::closingADocumentWindow_data()
{
    QTest::addColumn<int>("windows");
    QTest::addColumn<QString>("how");

    QTest::newRow("the last window, Ctrl+F4") << 1 << "Ctrl+F4";
    QTest::newRow("the last window, its close button") << 1 << "button";
    QTest::newRow("one of two windows, Ctrl+F4") << 2 << "Ctrl+F4";
    QTest::newRow("one of two windows, its close button") << 2 << "button";
}

// Closing the last window of a modified document asks to save it, and Cancel
// keeps the window; closing one of its two windows asks nothing.
void TestFrameInput::closingADocumentWindow()
{
    QFETCH(int, windows);
    QFETCH(QString, how);

    QStringList prompts;
    AppFixture fixture({TestSupport::writeScratchFile("closing.bin", "abc")});
    AfxSetMessageBoxHandler([&](const QString& text, unsigned) {
        prompts.append(text);
        return int(IDCANCEL);
    });
    if (windows == 2)
        QVERIFY(fixture.frame()->ExecuteCommand(ID_WINDOW_NEW));
    QTest::keyClick(ActiveView(fixture), Qt::Key_4);
    QVERIFY(fixture.frame()->GetActiveDocument()->IsModified());
    CMDIChildWnd* pChild = fixture.frame()->MDIGetActive();
    fixture.frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fixture.frame()));
    if (how == "Ctrl+F4") {
        QTest::keyClick(ActiveView(fixture), Qt::Key_F4, Qt::ControlModifier);
    } else {
        pChild->showNormal();
        QStyleOptionTitleBar option;
        option.initFrom(pChild);
        option.rect = QRect(0, 0, pChild->width(), pChild->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, pChild));
        option.titleBarFlags = pChild->windowFlags();
        option.subControls = QStyle::SC_All;
        const QRect button = pChild->style()->subControlRect(QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarCloseButton, pChild);
        QVERIFY(button.isValid());
        // The title bar acts on the button the pointer moved onto.
        QMouseEvent move(QEvent::MouseMove, button.center(), pChild->mapToGlobal(button.center()), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(pChild, &move);
        QTest::mouseClick(pChild, Qt::LeftButton, Qt::NoModifier, button.center());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(prompts, windows == 1 ? QStringList{"Save changes to closing.bin?"} : QStringList{});
    QCOMPARE(fixture.windowCount(), 1);
    fixture.frame()->GetActiveDocument()->SetModifiedFlag(false);
}

// The pane shows the caret of the window that is active, as soon as it is.
void TestFrameInput::caretPaneFollowsTheActiveWindow()
{
    AppFixture fixture({TestSupport::writeScratchFile("first.bin", QByteArray(0x40, 'a'))});
    CHexView* pFirst = ActiveView(fixture);
    QTest::keyClick(pFirst, Qt::Key_Down);
    QVERIFY(fixture.app->OpenDocumentFile(TestSupport::writeScratchFile("second.bin", QByteArray(0x20, 'b'))));
    CHexView* pSecond = ActiveView(fixture);
    QVERIFY(pSecond != pFirst);
    CStatusBar& bar = fixture.frame()->m_wndStatusBar;
    QCOMPARE(bar.GetPaneText(CMainFrame::kCaretPane), QString("Offset: 0x0 (0)"));
    QTest::keyClick(pSecond, Qt::Key_End);
    QCOMPARE(bar.GetPaneText(CMainFrame::kCaretPane), QString("Offset: 0x20 (32)"));
    fixture.frame()->MDIClient()->activatePreviousSubWindow();
    QCOMPARE(ActiveView(fixture), pFirst);
    QCOMPARE(bar.GetPaneText(CMainFrame::kCaretPane), QString("Offset: 0x10 (16)"));
    QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_CLOSE));
    QCOMPARE(bar.GetPaneText(CMainFrame::kCaretPane), QString("Offset: 0x20 (32)"));
    QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_CLOSE));
    QCOMPARE(bar.GetPaneText(CMainFrame::kCaretPane), QString());
}

void TestFrameInput::burstOfKeysPaintsOnce_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("fromTheEnd");

    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << false;
    QTest::newRow("Page Up") << int(Qt::Key_PageUp) << true;
    QTest::newRow("Down") << int(Qt::Key_Down) << false;
}

// Keys that arrive faster than the window paints (a held key, a busy machine)
// are all handled before the next paint, which shows where the last one left
// the caret; a key on its own still gets its paint and its caret pane at once.
void TestFrameInput::burstOfKeysPaintsOnce()
{
    QFETCH(int, key);
    QFETCH(bool, fromTheEnd);
    constexpr int kKeys = 200;

    AppFixture fixture({TestSupport::writeScratchFile("burst.bin", QByteArray(1 << 20, 'a'))});
    CHexView* pView = ActiveView(fixture);
    if (fromTheEnd)
        QTest::keyClick(pView, Qt::Key_End, Qt::ControlModifier);
    QTest::qWait(20);
    PaintCounter counter(pView);
    counter.nBurst = kKeys;
    for (int i = 0; i < kKeys; ++i)
        QCoreApplication::postEvent(pView, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QVERIFY(QTest::qWaitFor([&] { return counter.nKeys == kKeys && counter.bPaintedAfterBurst; }));
    QVERIFY2(counter.nPaints <= 3, qPrintable(QString::number(counter.nPaints)));
    const std::uint32_t nCaret = pView->m_nCaretPos;
    CStatusBar& bar = fixture.frame()->m_wndStatusBar;
    QCOMPARE(bar.GetPaneText(CMainFrame::kCaretPane),
             QString("Offset: 0x%1 (%2)").arg(QString::number(nCaret, 16).toUpper()).arg(nCaret));

    counter.nPaints = 0;
    counter.nBurst = kKeys + 1;
    counter.bPaintedAfterBurst = false;
    QTest::keyClick(pView, Qt::Key(key));
    QVERIFY(pView->m_nCaretPos != nCaret);
    QVERIFY(QTest::qWaitFor([&] { return counter.bPaintedAfterBurst; }, 100));
}

QTEST_MAIN(TestFrameInput)
#include "tst_frameinput.moc"
