#include "appfixture.h"

#include "afxres.h"
#include "document.h"
#include "resource.h"
#include "resources.h"
#include "view.h"

#include <QAction>
#include <QEnterEvent>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QWindow>

namespace {

const QString kWindowPos = QStringLiteral("Settings/WindowPos");
const QString kShowCmd = QStringLiteral("Settings/ShowCmd");
const QString kStored = QStringLiteral("4,1,-1,-1,-1,-1,100,80,540,400");

QStringList MenuTitles(CMainFrame* pFrame)
{
    QStringList titles;
    for (QAction* action : pFrame->menuBar()->actions())
        titles.append(action->text());
    return titles;
}

// The title as the window system shows it, "[*]" resolved.
QString ShownTitle(QWidget* pWindow)
{
    return pWindow->windowHandle()->title();
}

QString ScratchFile()
{
    return TestSupport::writeScratchFile("frame.bin", "0123456789");
}

} // namespace

class TestMainFrame : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void placementText_data();
    void placementText();
    void placementRoundTrip();
    void placementCount_data();
    void placementCount();
    void placementWrittenByHand_data();
    void placementWrittenByHand();
    void showCommand_data();
    void showCommand();
    void placementIgnored_data();
    void placementIgnored();
    void placementAtTheVisibleEdge_data();
    void placementAtTheVisibleEdge();
    void closedMinimized_data();
    void closedMinimized();
    void documentShowState_data();
    void documentShowState();
    void menusFollowDocumentWindows();
    void frameTitle();
    void modifiedMark();
    void messageGoesAtTheNextCommand_data();
    void messageGoesAtTheNextCommand();
    void languages_data();
    void languages();
    void toolbar();
    void toolbarIconTheme();
    void numLock_data();
    void numLock();
    void viewToggles();
    void windowCommands_data();
    void windowCommands();
    void arrangeIcons();
    void closeClosesEveryWindowOfTheDocument();
    void destroyedWithOpenWindows();
};

void TestMainFrame::init()
{
    AppFixture::ResetSettings();
    AfxSetResourceLanguage(LANG_EN_US);
}

void TestMainFrame::cleanup()
{
    AfxSetResourceLanguage(LANG_EN_US);
    CStatusBar::SetNumLockSource(nullptr);
}

void TestMainFrame::placementText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed");   // written back, empty when refused

    QTest::newRow("ten numbers") << kStored << kStored;
    QTest::newRow("blanks before numbers") << "4, 1, -1, -1, -1, -1, 100, 80, 540, 400" << kStored;
    QTest::newRow("nine numbers") << "4,1,-1,-1,-1,-1,100,80,540" << "";
    QTest::newRow("eleven numbers") << kStored + ",7" << kStored;
    QTest::newRow("text in it") << "4,1,-1,-1,-1,-1,100,80,wide,400" << "";
    QTest::newRow("negative flags") << "-4,1,-1,-1,-1,-1,100,80,540,400" << "";
    QTest::newRow("empty") << "" << "";
}

void TestMainFrame::placementText()
{
    QFETCH(QString, text);
    QFETCH(QString, parsed);

    CMainFrame::Placement wp;
    QCOMPARE(CMainFrame::Placement::FromString(text, &wp), !parsed.isEmpty());
    if (!parsed.isEmpty())
        QCOMPARE(wp.ToString(), parsed);
}

void TestMainFrame::placementRoundTrip()
{
    AppFixture::SetSetting(kWindowPos, kStored);
    {
        AppFixture fixture;
        QCOMPARE(fixture.frame()->geometry(), QRect(100, 80, 440, 320));
        QVERIFY(!fixture.frame()->isMaximized());
        QCOMPARE(fixture.frame()->m_nPlacementFlags, 5u);
        fixture.frame()->setGeometry(50, 60, 400, 300);
    }
    QCOMPARE(AppFixture::Setting(kWindowPos).toString(), QString("5,1,-1,-1,-1,-1,50,60,450,360"));
    AppFixture fixture;
    QCOMPARE(fixture.frame()->geometry(), QRect(50, 60, 400, 300));
    QCOMPARE(fixture.frame()->m_nPlacementFlags, 6u);
}

void TestMainFrame::placementCount_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<quint32>("count");

    QTest::newRow("one below the largest") << "4294967294" << 4294967295u;
    QTest::newRow("the largest") << "4294967295" << 4294967295u;
}

void TestMainFrame::placementCount()
{
    QFETCH(QString, stored);
    QFETCH(quint32, count);

    AppFixture::SetSetting(kWindowPos, stored + ",1,-1,-1,-1,-1,100,80,540,400");
    AppFixture fixture;
    QCOMPARE(fixture.frame()->m_nPlacementFlags, count);
}

void TestMainFrame::placementWrittenByHand_data()
{
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("without quotes") << QByteArray("WindowPos=4,1,-1,-1,-1,-1,100,80,540,400");
    QTest::newRow("twelve numbers without quotes") << QByteArray("WindowPos=4,1,-1,-1,-1,-1,100,80,540,400,9,9");
    QTest::newRow("twelve numbers in quotes") << QByteArray("WindowPos=\"4,1,-1,-1,-1,-1,100,80,540,400,9,9\"");
}

void TestMainFrame::placementWrittenByHand()
{
    QFETCH(QByteArray, line);

    const QString path = QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vantorel"),
                                   QStringLiteral("Zorbel"))
                             .fileName();
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Settings]\n" + line + "\n");
    file.close();
    AppFixture fixture;
    QCOMPARE(fixture.frame()->geometry(), QRect(100, 80, 440, 320));
    QCOMPARE(fixture.frame()->m_nPlacementFlags, 5u);
}

void TestMainFrame::showCommand_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("started");
    QTest::addColumn<Qt::WindowState>("state");

    QTest::newRow("stored normal, started normal") << 1 << int(SW_SHOWNORMAL) << Qt::WindowNoState;
    QTest::newRow("stored normal, started maximized") << 1 << int(SW_SHOWMAXIMIZED) << Qt::WindowMaximized;
    QTest::newRow("stored maximized, started normal") << 3 << int(SW_SHOWNORMAL) << Qt::WindowMaximized;
    QTest::newRow("stored maximized, started minimized") << 3 << int(SW_SHOWMINIMIZED) << Qt::WindowMinimized;
}

void TestMainFrame::showCommand()
{
    QFETCH(int, stored);
    QFETCH(int, started);
    QFETCH(Qt::WindowState, state);

    AppFixture::SetSetting(kWindowPos, QStringLiteral("4,%1,-1,-1,-1,-1,100,80,540,400").arg(stored));
    {
        AppFixture fixture({}, started);
        QVERIFY(fixture.frame()->windowState().testFlag(state) || state == Qt::WindowNoState);
        QCOMPARE(fixture.frame()->isMaximized(), state == Qt::WindowMaximized);
    }
    // The normal rectangle survives a maximized session.
    QVERIFY(AppFixture::Setting(kWindowPos).toString().endsWith(",100,80,540,400"));
}

void TestMainFrame::placementIgnored_data()
{
    QTest::addColumn<QString>("stored");

    QTest::newRow("first run") << QString();
    QTest::newRow("nine numbers") << "3,1,-1,-1,-1,-1,100,80,540";
    QTest::newRow("text in it") << "3,1,-1,-1,-1,-1,100,80,540,tall";
    QTest::newRow("off every screen") << "3,1,-1,-1,-1,-1,5000,5000,5440,5320";
    QTest::newRow("no area") << "3,1,-1,-1,-1,-1,100,80,100,80";
    QTest::newRow("sides at the ends of the int range") << "3,1,0,0,0,0,-2147483648,0,2147483647,100";
    QTest::newRow("top below bottom by the whole range") << "3,1,0,0,0,0,0,2147483647,100,-2147483648";
    QTest::newRow("wider than a window can be") << "3,1,0,0,0,0,0,0,2147483647,100";
    QTest::newRow("taller than a window can be") << "3,1,0,0,0,0,0,-2147483647,400,2147483647";
}

void TestMainFrame::placementIgnored()
{
    QFETCH(QString, stored);

    if (!stored.isEmpty())
        AppFixture::SetSetting(kWindowPos, stored);
    {
        AppFixture fixture;
        QCOMPARE(fixture.frame()->m_nPlacementFlags, 0u);
        QVERIFY(fixture.frame()->isVisible());
        const QRect screen = fixture.frame()->screen()->geometry();
        QVERIFY(screen.intersects(fixture.frame()->geometry()));
        QVERIFY(fixture.frame()->width() > 100 && fixture.frame()->height() > 100);
    }
    QVERIFY(AppFixture::Setting(kWindowPos).toString().startsWith("0,1,"));
}

void TestMainFrame::placementAtTheVisibleEdge_data()
{
    QTest::addColumn<QSize>("visible");   // of the screen's bottom right corner
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("kept");

    QTest::newRow("32 by 32 of it on the screen") << QSize(32, 32) << QSize(440, 320) << true;
    QTest::newRow("31 wide on the screen") << QSize(31, 32) << QSize(440, 320) << false;
    QTest::newRow("31 high on the screen") << QSize(32, 31) << QSize(440, 320) << false;
    QTest::newRow("32 by 32 in all") << QSize(32, 32) << QSize(32, 32) << true;
    QTest::newRow("31 wide in all") << QSize(31, 32) << QSize(31, 32) << false;
    QTest::newRow("31 high in all") << QSize(32, 31) << QSize(32, 31) << false;
}

// A stored placement is used while at least 32 by 32 pixels of it are on a
// screen, else the frame opens at its first-run size.
void TestMainFrame::placementAtTheVisibleEdge()
{
    QFETCH(QSize, visible);
    QFETCH(QSize, size);
    QFETCH(bool, kept);

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint at = screen.bottomRight() + QPoint(1, 1) - QPoint(visible.width(), visible.height());
    const QRect rect(at, size);
    AppFixture::SetSetting(kWindowPos, QStringLiteral("4,1,-1,-1,-1,-1,%1,%2,%3,%4")
                                           .arg(rect.left())
                                           .arg(rect.top())
                                           .arg(rect.left() + rect.width())
                                           .arg(rect.top() + rect.height()));
    AppFixture fixture;
    QCOMPARE(fixture.frame()->m_nPlacementFlags, kept ? 5u : 0u);
}

void TestMainFrame::closedMinimized_data()
{
    QTest::addColumn<bool>("maximizedFirst");
    QTest::addColumn<QString>("showCmd");

    QTest::newRow("minimized from normal") << false << "1";
    QTest::newRow("minimized from maximized") << true << "3";
}

void TestMainFrame::closedMinimized()
{
    QFETCH(bool, maximizedFirst);
    QFETCH(QString, showCmd);

    {
        AppFixture fixture;
        if (maximizedFirst)
            fixture.frame()->showMaximized();
        fixture.frame()->setWindowState(fixture.frame()->windowState() | Qt::WindowMinimized);
    }
    QCOMPARE(AppFixture::Setting(kWindowPos).toString().section(',', 1, 1), showCmd);
}

void TestMainFrame::documentShowState_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("openedMaximized");
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<bool>("nextMaximized");

    QTest::newRow("first run: maximized, nothing written") << QVariant() << "" << true << QVariant() << true;
    QTest::newRow("restored: 1 written, next opens normal") << QVariant() << "restore" << true << QVariant(1) << false;
    QTest::newRow("minimizing changes nothing") << QVariant() << "minimize" << true << QVariant() << true;
    QTest::newRow("stored normal, maximized: 3 written") << QVariant(1) << "maximize" << false << QVariant(3) << true;
    QTest::newRow("unchanged value is not rewritten") << QVariant("03") << "" << true << QVariant("03") << true;
    QTest::newRow("only the two states count") << QVariant(2) << "" << true << QVariant(2) << true;
}

void TestMainFrame::documentShowState()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, change);
    QFETCH(bool, openedMaximized);
    QFETCH(QVariant, written);
    QFETCH(bool, nextMaximized);

    if (stored.isValid())
        AppFixture::SetSetting(kShowCmd, stored);
    const QString path = ScratchFile();
    {
        AppFixture fixture({path});
        QMdiSubWindow* child = fixture.frame()->MDIGetActive();
        QCOMPARE(child->isMaximized(), openedMaximized);
        if (change == "restore")
            child->showNormal();
        else if (change == "maximize")
            child->showMaximized();
        else if (change == "minimize")
            child->showMinimized();
    }
    QCOMPARE(AppFixture::Setting(kShowCmd).toString(), written.toString());
    AppFixture fixture({path});
    QCOMPARE(fixture.frame()->MDIGetActive()->isMaximized(), nextMaximized);
}

void TestMainFrame::menusFollowDocumentWindows()
{
    AppFixture fixture;
    fixture.idle();
    QCOMPARE(MenuTitles(fixture.frame()), QStringList({"&File", "&View", "&Help"}));

    fixture.frame()->ExecuteCommand(ID_FILE_NEW);
    QCOMPARE(fixture.frame()->GetMenuID(), IDR_ZORBELTYPE);
    QCOMPARE(MenuTitles(fixture.frame()), QStringList({"&File", "&Edit", "&View", "&Window", "&Help"}));
    QStringList edit;
    for (QAction* action : fixture.frame()->GetPopup(IDR_ZORBELTYPE, 1)->actions())
        edit.append(action->text());
    QCOMPARE(edit, QStringList({"&Undo\tCtrl+Z", "&Redo\tCtrl+Y", "", "Cu&t\tCtrl+X", "&Copy\tCtrl+C",
                                "Copy as &Hex", "C&opy as Text\tCtrl+Shift+C", "&Paste\tCtrl+V", "&Delete\tDEL", "", "Select &All\tCtrl+A", "",
                                "&Find...\tCtrl+F", "&Repeat\tF3", "R&eplace...\tCtrl+H",
                                "Find &in All Encodings...\tCtrl+Shift+F", "Re&lative Search...", "", "&Go To...\tCtrl+G",
                                "", "Toggle &Bookmark\tCtrl+B", "Ne&xt Bookmark\tF2",
                                "Pre&vious Bookmark\tShift+F2"}));

    fixture.frame()->ExecuteCommand(ID_WINDOW_NEW);
    QCOMPARE(fixture.windowCount(), 2);
    fixture.frame()->MDIGetActive()->close();
    fixture.idle();
    QCOMPARE(fixture.frame()->GetMenuID(), IDR_ZORBELTYPE);
    fixture.frame()->MDIGetActive()->close();
    fixture.idle();
    QCOMPARE(fixture.frame()->GetMenuID(), IDR_MAINFRAME);
    QCOMPARE(MenuTitles(fixture.frame()).size(), 3);
}

void TestMainFrame::frameTitle()
{
    AppFixture::SetSetting(kShowCmd, 1);
    AppFixture fixture({ScratchFile()});
    QCOMPARE(ShownTitle(fixture.frame()), QString("Zorbel - frame.bin"));
    fixture.frame()->ExecuteCommand(ID_WINDOW_NEW);
    QCOMPARE(ShownTitle(fixture.frame()), QString("Zorbel - frame.bin:2"));
    // A maximized document window's title goes in brackets, as the platform does it.
    fixture.frame()->MDIGetActive()->showMaximized();
    QCOMPARE(ShownTitle(fixture.frame()), QString("Zorbel - [frame.bin:2]"));
    fixture.frame()->MDIGetActive()->showNormal();
    QCOMPARE(ShownTitle(fixture.frame()), QString("Zorbel - frame.bin:2"));
    fixture.frame()->ExecuteCommand(ID_FILE_CLOSE);
    QCOMPARE(ShownTitle(fixture.frame()), QString("Zorbel"));
}

// "*" follows the modified flag of the active document in the main window's
// title and of each document in its windows' captions: typing, undo back to
// the saved bytes, redo, Save, Save As (to a name with Qt's own "[*]" in it)
// and a maximized window.
void TestMainFrame::modifiedMark()
{
    AppFixture::SetSetting(kShowCmd, 1);
    const QString savedAs = TestSupport::scratchDir() + "/saved[*].bin";
    QFile::remove(savedAs);
    AppFixture fixture({ScratchFile()});
    CDocument::SetSaveFileNamePrompt([&](CDocument*) { return savedAs; });
    const auto restore = qScopeGuard([] { CDocument::SetSaveFileNamePrompt(nullptr); });
    fixture.frame()->ExecuteCommand(ID_WINDOW_NEW);
    QWidget* pView = fixture.frame()->GetActiveView();
    auto titles = [&fixture] {
        QStringList shown{ShownTitle(fixture.frame())};
        for (CMDIChildWnd* pChild : fixture.frame()->GetWindowList())
            shown.append(pChild->GetDisplayTitle());
        return shown.join(" | ");
    };
    QCOMPARE(titles(), QString("Zorbel - frame.bin:2 | frame.bin:1 | frame.bin:2"));

    QTest::keyClicks(pView, "41");
    QCOMPARE(titles(), QString("Zorbel - frame.bin:2* | frame.bin:1* | frame.bin:2*"));
    QTest::keyClick(pView, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(titles(), QString("Zorbel - frame.bin:2 | frame.bin:1 | frame.bin:2"));
    QTest::keyClick(pView, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(titles(), QString("Zorbel - frame.bin:2* | frame.bin:1* | frame.bin:2*"));
    QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_SAVE));
    QCOMPARE(titles(), QString("Zorbel - frame.bin:2 | frame.bin:1 | frame.bin:2"));
    // Undone past the save, the bytes differ from the file again.
    QTest::keyClick(pView, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(titles(), QString("Zorbel - frame.bin:2* | frame.bin:1* | frame.bin:2*"));

    QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_SAVE_AS));
    QCOMPARE(titles(), QString("Zorbel - saved[*].bin:2 | saved[*].bin:1 | saved[*].bin:2"));
    QTest::keyClicks(pView, "5");
    QCOMPARE(titles(), QString("Zorbel - saved[*].bin:2* | saved[*].bin:1* | saved[*].bin:2*"));
    fixture.frame()->MDIGetActive()->showMaximized();
    QCOMPARE(ShownTitle(fixture.frame()), QString("Zorbel - [saved[*].bin:2*]"));
    QTest::keyClick(pView, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ShownTitle(fixture.frame()), QString("Zorbel - [saved[*].bin:2]"));
    fixture.frame()->MDIGetActive()->showNormal();
    QCOMPARE(titles(), QString("Zorbel - saved[*].bin:2 | saved[*].bin:1 | saved[*].bin:2"));
}

void TestMainFrame::languages_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("savePrompt");
    QTest::addColumn<QString>("saveTip");
    QTest::addColumn<QString>("pasteTip");

    QTest::newRow("US English") << int(LANG_EN_US) << "&File" << "Save the active document" << "Save" << "Paste";
    QTest::newRow("Traditional Chinese") << int(LANG_ZH_TW) << "檔案(&F)" << "儲存使用中的文件" << "儲存檔案"
                                         << "貼上";
    QTest::newRow("Japanese") << int(LANG_JA_JP) << "ﾌｧｲﾙ(&F)" << "現在のﾄﾞｷｭﾒﾝﾄを保存します。" << "上書き保存"
                              << "";
    QTest::newRow("Simplified Chinese") << int(LANG_ZH_CN) << "文件(&F)" << "保存活动文档" << "保存" << "粘贴";
}

void TestMainFrame::messageGoesAtTheNextCommand_data()
{
    QTest::addColumn<QString>("next");
    QTest::addColumn<bool>("kept");
    QTest::newRow("an arrow key") << "Right" << false;
    QTest::newRow("an accelerator") << "Ctrl+0" << false;
    QTest::newRow("a menu command") << "Zoom In" << false;
    QTest::newRow("a click in the rows") << "click" << false;
    QTest::newRow("Shift alone keeps it") << "Shift" << true;
    QTest::newRow("another refusal: its own message") << "again" << true;
}

// A refusal's message in pane 0 stays until the next key, click or command.
void TestMainFrame::messageGoesAtTheNextCommand()
{
    QFETCH(QString, next);
    QFETCH(bool, kept);
    AppFixture fixture({ScratchFile()});
    CMainFrame* frame = fixture.frame();
    QWidget* pView = frame->GetActiveView();
    QVERIFY(frame->ExecuteCommand(ID_VIEW_CODEPAGE_SJIS));
    QTest::keyClick(pView, Qt::Key_Tab);
    const auto typeHangul = [pView] {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("한"));
        QCoreApplication::sendEvent(pView, &press);
    };
    typeHangul();
    const QString message = frame->m_wndStatusBar.GetPaneText(0);
    QVERIFY2(message.contains("U+D55C"), qPrintable(message));

    if (next == "Right")
        QTest::keyClick(pView, Qt::Key_Right);
    else if (next == "Ctrl+0")
        QTest::keyClick(pView, Qt::Key_0, Qt::ControlModifier);
    else if (next == "Zoom In")
        frame->CommandAction(ID_VIEW_ZOOM_IN)->trigger();
    else if (next == "click")
        QTest::mouseClick(pView->focusWidget() ? pView->focusWidget() : pView, Qt::LeftButton, {}, QPoint(5, 5));
    else if (next == "Shift")
        QTest::keyClick(pView, Qt::Key_Shift, Qt::ShiftModifier);
    else
        typeHangul();
    QCOMPARE(frame->m_wndStatusBar.GetPaneText(0), kept ? message : QString());
}

void TestMainFrame::languages()
{
    QFETCH(int, lang);
    QFETCH(QString, file);
    QFETCH(QString, savePrompt);
    QFETCH(QString, saveTip);
    QFETCH(QString, pasteTip);

    AfxSetResourceLanguage(static_cast<unsigned short>(lang));
    AppFixture fixture;
    QCOMPARE(MenuTitles(fixture.frame()).first(), file);

    // Hovering a button puts its prompt in pane 0; its tooltip is the part after "\n".
    QWidget* save = fixture.frame()->m_wndToolBar.GetButton(ID_FILE_SAVE);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(save, &enter);
    QCOMPARE(fixture.frame()->m_wndStatusBar.GetPaneText(0), savePrompt);
    QCOMPARE(save->toolTip(), saveTip);

    QWidget* paste = fixture.frame()->m_wndToolBar.GetButton(ID_EDIT_PASTE);
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), paste->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(paste, &help);
    QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), pasteTip);
    QToolTip::hideText();

    // Qt's own dialogs speak the same language.
    const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
    QCOMPARE(cancel == "Cancel", lang == LANG_EN_US);
}

void TestMainFrame::toolbar()
{
    AppFixture fixture;
    CToolBar& bar = fixture.frame()->m_wndToolBar;
    QCOMPARE(bar.GetItemIDs(),
             QList<unsigned>({ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_SEPARATOR, ID_EDIT_CUT, ID_EDIT_COPY,
                              ID_EDIT_PASTE, ID_SEPARATOR, ID_FILE_PRINT_DIRECT, ID_APP_ABOUT, ID_SEPARATOR,
                              ID_CODEPAGE_GB, ID_CODEPAGE_BIG5, ID_CODEPAGE_SJIS, ID_CODEPAGE_UTF8}));
    for (unsigned nID : bar.GetItemIDs())
        if (nID != ID_SEPARATOR)
            QVERIFY2(!fixture.frame()->CommandAction(nID)->icon().isNull(), qPrintable(QString::number(nID)));
    QCOMPARE(bar.allowedAreas(), Qt::AllToolBarAreas);
    QVERIFY(bar.isMovable());
    QCOMPARE(fixture.frame()->toolBarArea(&bar), Qt::TopToolBarArea);
}

// A desktop icon theme draws the common commands; without one (only the
// fallback theme) the toolbar shows the program's own pictures.
void TestMainFrame::toolbarIconTheme()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir(dir.path()).mkpath("desk/16x16/actions");
    QFile index(dir.filePath("desk/index.theme"));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=desk\nDirectories=16x16/actions\n\n[16x16/actions]\nSize=16\nType=Fixed\n");
    index.close();
    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(dir.filePath("desk/16x16/actions/document-open.png")));

    const QStringList paths = QIcon::themeSearchPaths();
    const QString theme = QIcon::themeName();
    const auto restore = qScopeGuard([&] {
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName(theme);
    });
    QIcon::setThemeSearchPaths({dir.path()});
    for (const QString& name : {QString("desk"), QString("hicolor")}) {
        QIcon::setThemeName(name);
        AppFixture fixture;
        const QIcon open = fixture.frame()->CommandAction(ID_FILE_OPEN)->icon();
        const QIcon save = fixture.frame()->CommandAction(ID_FILE_SAVE)->icon();
        QCOMPARE(open.name(), name == "desk" ? QString("document-open") : QString());
        // A command the theme lacks keeps the program's own picture.
        QVERIFY(!save.isNull());
        QCOMPARE(save.name(), QString());
        QCOMPARE(open.pixmap(16, 16).toImage().pixelColor(8, 8) == QColor(Qt::red), name == "desk");
    }
}

void TestMainFrame::numLock_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("text");

    QTest::newRow("on") << true << "NUM";
    QTest::newRow("off or unknown") << false << "";
}

void TestMainFrame::numLock()
{
    QFETCH(bool, on);
    QFETCH(QString, text);

    CStatusBar::SetNumLockSource([on] { return on; });
    AppFixture fixture;
    fixture.idle();
    CStatusBar& bar = fixture.frame()->m_wndStatusBar;
    // The last pane, the character table's, is hidden without one.
    QCOMPARE(bar.GetCount(), CMainFrame::kTablePane + 1);
    QVERIFY(!bar.PaneLabel(CMainFrame::kTablePane)->isVisibleTo(fixture.frame()));
    QCOMPARE(bar.GetPaneText(3), text);
    QCOMPARE(bar.GetPaneText(2), QString("INS"));
}

void TestMainFrame::viewToggles()
{
    AppFixture fixture;
    CMainFrame* frame = fixture.frame();
    for (unsigned nID : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}) {
        QWidget* bar = nID == ID_VIEW_TOOLBAR ? static_cast<QWidget*>(&frame->m_wndToolBar) : &frame->m_wndStatusBar;
        QAction* action = frame->CommandAction(nID);
        QVERIFY(frame->ExecuteCommand(nID));
        fixture.idle();
        QVERIFY(bar->isHidden());
        QVERIFY(action->isCheckable() && !action->isChecked());
        QVERIFY(frame->ExecuteCommand(nID));
        fixture.idle();
        QVERIFY(bar->isVisible());
        QVERIFY(action->isChecked());
    }
}

void TestMainFrame::windowCommands_data()
{
    QTest::addColumn<unsigned>("command");

    QTest::newRow("tile horizontal") << ID_WINDOW_TILE_HORZ;
    QTest::newRow("tile vertically") << ID_WINDOW_TILE_VERT;
    QTest::newRow("cascade") << ID_WINDOW_CASCADE;
}

void TestMainFrame::windowCommands()
{
    QFETCH(unsigned, command);

    AppFixture fixture({ScratchFile()});
    CMainFrame* frame = fixture.frame();
    QVERIFY(frame->ExecuteCommand(ID_WINDOW_NEW));
    QCOMPARE(fixture.windowCount(), 2);
    QVERIFY(frame->ExecuteCommand(command));
    const QList<CMDIChildWnd*> children = frame->GetChildFrames();
    const QRect area = frame->MDIClient()->viewport()->rect();
    const QRect a = children[0]->geometry();
    const QRect b = children[1]->geometry();
    QVERIFY(!children[0]->isMaximized() && !children[1]->isMaximized());
    QVERIFY(!a.intersects(b) || command == ID_WINDOW_CASCADE);
    if (command == ID_WINDOW_TILE_HORZ) {
        QCOMPARE(a.width(), area.width());
        QCOMPARE(a.height() + b.height(), area.height());
    } else if (command == ID_WINDOW_TILE_VERT) {
        QCOMPARE(a.height(), area.height());
        QCOMPARE(a.width() + b.width(), area.width());
    } else {
        QVERIFY(a.topLeft() != b.topLeft());
    }
    // A window the user restores sets how the next one opens.
    fixture.app->ExitInstance();
    QCOMPARE(AppFixture::Setting(kShowCmd).toInt(), SW_SHOWNORMAL);
}

void TestMainFrame::arrangeIcons()
{
    AppFixture fixture({ScratchFile()});
    CMainFrame* frame = fixture.frame();
    frame->ExecuteCommand(ID_WINDOW_NEW);
    // Minimizing a maximized window makes the next one active and maximized:
    // restore them all first.
    for (CMDIChildWnd* child : frame->GetChildFrames())
        child->showNormal();
    for (CMDIChildWnd* child : frame->GetChildFrames()) {
        child->showMinimized();
        child->move(40, 40);
    }
    for (CMDIChildWnd* child : frame->GetChildFrames())
        QVERIFY(child->isMinimized());
    QVERIFY(frame->ExecuteCommand(ID_WINDOW_ARRANGE));
    const QList<CMDIChildWnd*> children = frame->GetChildFrames();

    const int bottom = frame->MDIClient()->viewport()->height();
    QCOMPARE(children[0]->geometry().bottom() + 1, bottom);
    QCOMPARE(children[1]->geometry().bottom() + 1, bottom);
    QCOMPARE(children[0]->x(), 0);
    QCOMPARE(children[1]->x(), children[0]->width());
}

void TestMainFrame::closeClosesEveryWindowOfTheDocument()
{
    AppFixture fixture({ScratchFile()});
    fixture.frame()->ExecuteCommand(ID_WINDOW_NEW);
    QVERIFY(fixture.frame()->ExecuteCommand(ID_FILE_CLOSE));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(fixture.windowCount(), 0);
    fixture.idle();
    QCOMPARE(fixture.frame()->GetMenuID(), IDR_MAINFRAME);
    QVERIFY(!fixture.frame()->ExecuteCommand(ID_FILE_CLOSE));
}

// Ending without closing the main window first (the application object goes
// while document windows are open) must not touch freed memory; the sanitizer
// build catches it if it does.
void TestMainFrame::destroyedWithOpenWindows()
{
    auto app = std::make_unique<CHexApp>();
    app->SetCommandLine({ScratchFile()});
    QVERIFY(app->InitInstance());
    CMainFrame* frame = app->GetMainFrame();
    QVERIFY(frame->ExecuteCommand(ID_WINDOW_NEW));
    QPointer<CDocument> doc = frame->GetActiveDocument();
    QCOMPARE(doc->GetViews().size(), 2);
    QPointer<CMDIChildWnd> child = frame->MDIGetActive();
    app.reset();
    QVERIFY(child.isNull());
}

QTEST_MAIN(TestMainFrame)
#include "tst_mainfrm.moc"
