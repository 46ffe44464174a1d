#include "appfixture.h"

#include "afxres.h"
#include "hexview.h"
#include "resource.h"
#include "resources.h"

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QListView>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

// The Window menu's list of document windows, the keys that cycle through them,
// and the size document windows open and cascade at.
class TestWindowList : public QObject {
    Q_OBJECT

private slots:
    void init();
    void listedWindows_data();
    void listedWindows();
    void moreWindowsAsksForAWindow_data();
    void moreWindowsAsksForAWindow();
    void cyclingKeys_data();
    void cyclingKeys();
    void ctrlTabSwitches();
    void restoredWindowsShowTheBlock_data();
    void restoredWindowsShowTheBlock();
};

namespace {

QString ScratchFile()
{
    return TestSupport::writeScratchFile("list.bin", QByteArray(4096, 'x'));
}

QMenu* WindowMenu(CMainFrame* pFrame)
{
    for (QAction* action : pFrame->menuBar()->actions())
        if (action->text() == QLatin1String("&Window"))
            return action->menu();
    return nullptr;
}

// The entries after the menu's own items, as the menu shows them when opened.
QList<QAction*> ListedEntries(CMainFrame* pFrame)
{
    QMenu* menu = WindowMenu(pFrame);
    emit menu->aboutToShow();
    QList<QAction*> entries;
    for (QAction* action : menu->actions()) {
        const unsigned nID = action->data().toUInt();
        if (!action->isSeparator() && nID >= AFX_IDM_FIRST_MDICHILD && nID <= ID_WINDOW_MORE)
            entries.append(action);
    }
    return entries;
}

// n windows on one document, the first one made first.
void OpenWindows(AppFixture& fixture, int n)
{
    fixture.app->OpenDocumentFile(ScratchFile());
    for (int i = 1; i < n; ++i)
        QVERIFY(fixture.frame()->ExecuteCommand(ID_WINDOW_NEW));
    QCOMPARE(fixture.windowCount(), n);
}

} // namespace

void TestWindowList::init()
{
    AppFixture::ResetSettings();
    AfxSetResourceLanguage(LANG_EN_US);
}

void TestWindowList::listedWindows_data()
{
    QTest::addColumn<int>("windows");
    QTest::addColumn<int>("active");   // index in the order of making
    QTest::addColumn<int>("checked");  // entry checked, -1 for none

    QTest::newRow("one window") << 1 << 0 << 0;
    QTest::newRow("nine windows, the last active") << 9 << 8 << 8;
    QTest::newRow("nine windows, the first active") << 9 << 0 << 0;
    QTest::newRow("ten windows, the tenth active") << 10 << 9 << -1;
    QTest::newRow("twelve windows, the second active") << 12 << 1 << 1;
}

void TestWindowList::listedWindows()
{
    QFETCH(int, windows);
    QFETCH(int, active);
    QFETCH(int, checked);

    AppFixture fixture;
    OpenWindows(fixture, windows);
    const QList<CMDIChildWnd*> made = fixture.frame()->GetWindowList();
    fixture.frame()->MDIActivate(made[active]);

    const QList<QAction*> entries = ListedEntries(fixture.frame());
    const int numbered = std::min(windows, 9);
    QCOMPARE(entries.size(), numbered + (windows > 9 ? 1 : 0));
    for (int i = 0; i < numbered; ++i) {
        const QString title = windows == 1 ? QStringLiteral("list.bin") : QStringLiteral("list.bin:%1").arg(i + 1);
        QCOMPARE(entries[i]->text(), QStringLiteral("&%1 ").arg(i + 1) + title);
        QCOMPARE(entries[i]->isChecked(), i == checked);
        QVERIFY(entries[i]->isVisible() && entries[i]->isEnabled());
    }
    if (windows > 9) {
        QCOMPARE(entries.last()->text(), QStringLiteral("&More Windows..."));
        // Not a window's entry: never checked, even for a window it stands for.
        QVERIFY(!entries.last()->isChecked());
    }

    // Opened again, the menu lists the windows once, not twice.
    QCOMPARE(ListedEntries(fixture.frame()).size(), entries.size());

    // Choosing an entry activates its window.
    entries[numbered - 1]->trigger();
    QCOMPARE(fixture.frame()->MDIGetActive(), made[numbered - 1]);
}

void TestWindowList::moreWindowsAsksForAWindow_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("en") << int(LANG_EN_US) << "Select a window:";
    QTest::newRow("zh-TW") << int(LANG_ZH_TW) << "請選取一個視窗：";
    QTest::newRow("ja") << int(LANG_JA_JP) << "ｳｨﾝﾄﾞｳを選択してください:";
    QTest::newRow("zh-CN") << int(LANG_ZH_CN) << "请选择一个窗口：";
}

// More Windows... asks for a window in the menus' language; the last one
// chosen with the keys is activated.
void TestWindowList::moreWindowsAsksForAWindow()
{
    QFETCH(int, lang);
    QFETCH(QString, prompt);
    AfxSetResourceLanguage(lang);
    const auto restore = qScopeGuard([] { AfxSetResourceLanguage(0); });
    AppFixture fixture;
    OpenWindows(fixture, 10);
    const QList<CMDIChildWnd*> made = fixture.frame()->GetWindowList();
    fixture.frame()->MDIActivate(made.first());

    QString shownPrompt;
    QTimer::singleShot(0, [&shownPrompt] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        shownPrompt = dialog->labelText();
        QWidget* list = dialog->findChild<QListView*>();
        QTest::keyClick(list, Qt::Key_End);
        QTest::keyClick(list, Qt::Key_Return);
    });
    QVERIFY(fixture.frame()->ExecuteCommand(ID_WINDOW_MORE));
    QCOMPARE(shownPrompt, prompt);
    QCOMPARE(fixture.frame()->MDIGetActive(), made.last());
}

void TestWindowList::cyclingKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("step");

    QTest::newRow("Ctrl+F6") << int(Qt::Key_F6) << Qt::KeyboardModifiers(Qt::ControlModifier) << 1;
    QTest::newRow("Ctrl+Shift+F6") << int(Qt::Key_F6) << (Qt::ControlModifier | Qt::ShiftModifier) << -1;
}

void TestWindowList::cyclingKeys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, step);

    AppFixture fixture;
    OpenWindows(fixture, 3);
    const QList<CMDIChildWnd*> windows = fixture.frame()->GetWindowList();
    fixture.frame()->MDIActivate(windows[1]);
    auto* view = qobject_cast<CHexView*>(windows[1]->GetActiveView());
    const std::uint32_t caret = view->m_nCaretPos;
    const bool hexColumn = view->m_bHexColumn;

    // Round the three windows and back where it started; the view never sees the key.
    for (int i = 1; i <= 3; ++i) {
        QTest::keyClick(fixture.frame()->MDIGetActive()->GetActiveView(), Qt::Key(key), modifiers);
        QCOMPARE(fixture.frame()->MDIGetActive(), windows[(1 + i * step + 3) % 3]);
    }
    QCOMPARE(view->m_nCaretPos, caret);
    QCOMPARE(view->m_bHexColumn, hexColumn);
    QVERIFY(fixture.frame()->MDIGetActive()->isMaximized());
}

// Ctrl+Tab, as a person presses it: Ctrl down, Tab, Ctrl up. Ctrl+Shift+Tab
// goes back.
void TestWindowList::ctrlTabSwitches()
{
    AppFixture fixture;
    OpenWindows(fixture, 3);
    CMainFrame* frame = fixture.frame();
    CMDIChildWnd* start = frame->MDIGetActive();
    auto press = [frame](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QWidget* view = frame->MDIGetActive()->GetActiveView();
        QTest::keyPress(view, Qt::Key_Control, Qt::ControlModifier);
        QTest::keyClick(view, key, modifiers);
        QTest::keyRelease(view, Qt::Key_Control, Qt::NoModifier);
    };
    press(Qt::Key_Tab, Qt::ControlModifier);
    CMDIChildWnd* next = frame->MDIGetActive();
    QVERIFY(next != start);
    QVERIFY(next->isMaximized());
    press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(frame->MDIGetActive(), start);
}

void TestWindowList::restoredWindowsShowTheBlock_data()
{
    QTest::addColumn<unsigned>("arrange");   // run before the last window opens, 0 for none

    QTest::newRow("first window") << 0u;
    QTest::newRow("after Tile Horizontal") << ID_WINDOW_TILE_HORZ;
    QTest::newRow("after Tile Vertically") << ID_WINDOW_TILE_VERT;
    QTest::newRow("after Cascade") << ID_WINDOW_CASCADE;
}

// In an area that holds it, a restored window shows the whole 79-column block
// and 25 rows; so does every window Cascade arranges.
void TestWindowList::restoredWindowsShowTheBlock()
{
    QFETCH(unsigned, arrange);

    AppFixture::SetSetting(QStringLiteral("Settings/ShowCmd"), SW_SHOWNORMAL);
    AppFixture fixture;
    CMainFrame* frame = fixture.frame();
    frame->resize(1400, 1000);
    QCoreApplication::processEvents();
    OpenWindows(fixture, 2);
    if (arrange) {
        QVERIFY(frame->ExecuteCommand(arrange));
        QVERIFY(frame->ExecuteCommand(ID_WINDOW_NEW));
    }
    if (arrange == ID_WINDOW_CASCADE)
        QVERIFY(frame->ExecuteCommand(ID_WINDOW_CASCADE));
    const QList<CMDIChildWnd*> windows = frame->GetWindowList();
    const QRect area = frame->MDIClient()->viewport()->rect();
    for (CMDIChildWnd* window : windows) {
        if (arrange != ID_WINDOW_CASCADE && window != windows.last())
            continue;   // tiles are the area's to share
        QVERIFY(!window->isMaximized());
        QVERIFY(area.contains(window->geometry()));
        auto* view = qobject_cast<CHexView*>(window->GetActiveView());
        QVERIFY2(view->viewport()->width() >= view->m_nTextWidth,
                 qPrintable(QStringLiteral("%1 < %2").arg(view->viewport()->width()).arg(view->m_nTextWidth)));
        QVERIFY2(view->viewport()->height() >= CHexView::kPreferredRows * int(view->m_nLineHeight),
                 qPrintable(QStringLiteral("%1 < %2 rows of %3; window %4x%5, area %6x%7")
                                .arg(view->viewport()->height())
                                .arg(CHexView::kPreferredRows)
                                .arg(view->m_nLineHeight)
                                .arg(window->width())
                                .arg(window->height())
                                .arg(area.width())
                                .arg(area.height())));
    }
}

QTEST_MAIN(TestWindowList)
#include "tst_windowlist.moc"
