#include "appfixture.h"

#include "afxres.h"
#include "hexdoc.h"
#include "hexview.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMimeData>
#include <QTest>

#include <cstring>

namespace {

const QList<unsigned> kTable = {ID_FILE_SAVE,  ID_FILE_SAVE_AS, ID_FILE_PRINT, ID_FILE_PRINT_DIRECT,
                                ID_FILE_PRINT_PREVIEW, ID_EDIT_CLEAR, ID_EDIT_COPY, ID_EDIT_CUT,
                                ID_EDIT_FIND,  ID_EDIT_PASTE,   ID_EDIT_REPEAT, ID_EDIT_REPLACE};
const QList<unsigned> kNeedBytes = {ID_FILE_SAVE,  ID_FILE_SAVE_AS, ID_FILE_PRINT,  ID_FILE_PRINT_DIRECT,
                                    ID_FILE_PRINT_PREVIEW, ID_EDIT_CLEAR, ID_EDIT_FIND, ID_EDIT_REPLACE};

// Replaces a document's bytes as the edit commands do, keeping the end marker.
void SetBytes(CHexDoc* pDoc, const QByteArray& bytes)
{
    pDoc->SetContents(bytes);
}

CHexView* ActiveView(AppFixture& fixture)
{
    return qobject_cast<CHexView*>(fixture.frame()->GetActiveView());
}

// Counts the presses of one key that reach a widget. QTest presses the
// modifiers first, as a keyboard does; those are no accelerators and pass.
class KeyRecorder : public QObject {
public:
    explicit KeyRecorder(int key) : m_key(key) {}
    int keys = 0;

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(pEvent)->key() == m_key)
            ++keys;
        return false;
    }

private:
    int m_key;
};

} // namespace

Q_DECLARE_METATYPE(QList<unsigned>)

class TestCmdUI : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void enabling_data();
    void enabling();
    void paste_data();
    void paste();
    void pasteBeforeTheFirstIdlePass();
    void keysOfDisabledCommandsDoNothing_data();
    void keysOfDisabledCommandsDoNothing();
    void enabledKeyRuns();
    void staleButtonIsStillGated();
    void saveNeedsADocument();
    void byteCount_data();
    void byteCount();
    void byteCountFollowsLength();
    void panesFollowTheActiveWindow();
    void modePaneShowsTheChosenMode();
    void closingAWindowEmptiesTheBytePane();

private:
    void recordSavePrompts();

    QStringList m_prompts;
};

void TestCmdUI::init()
{
    AppFixture::ResetSettings();
    QGuiApplication::clipboard()->clear();
    m_prompts.clear();
}

// The application installs the real file dialog when it is made: replace it
// afterwards with one that records who asked and cancels.
void TestCmdUI::recordSavePrompts()
{
    CDocument::SetSaveFileNamePrompt([this](CDocument* pDoc) {
        m_prompts.append(pDoc->GetTitle());
        return QString();
    });
}

void TestCmdUI::cleanup()
{
    CDocument::SetSaveFileNamePrompt(nullptr);
}

void TestCmdUI::enabling_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("selection");
    QTest::addColumn<QString>("find");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QList<unsigned>>("enabled");

    QTest::newRow("empty file") << QByteArray() << false << QString() << false << QList<unsigned>();
    QTest::newRow("bytes, nothing selected") << QByteArray("abc") << false << QString() << false << kNeedBytes;
    QTest::newRow("bytes selected") << QByteArray("abc") << true << QString() << false
                                    << kNeedBytes + QList<unsigned>{ID_EDIT_COPY, ID_EDIT_CUT};
    QTest::newRow("find text in an empty file") << QByteArray() << false << "41" << false
                                                << QList<unsigned>{ID_EDIT_REPEAT};
    QTest::newRow("emptied file") << QByteArray() << false << QString() << true << QList<unsigned>{ID_FILE_SAVE};
}

void TestCmdUI::enabling()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, selection);
    QFETCH(QString, find);
    QFETCH(bool, modified);
    QFETCH(QList<unsigned>, enabled);

    AppFixture fixture({TestSupport::writeScratchFile("enabling.bin", bytes)});
    CHexView* view = ActiveView(fixture);
    view->GetDocument()->SetModifiedFlag(modified);
    if (selection)
        view->SelectRange(0, 2);
    view->m_strFind = find;
    fixture.idle();
    for (unsigned nID : kTable)
        QVERIFY2(fixture.frame()->CommandAction(nID)->isEnabled() == enabled.contains(nID),
                 qPrintable(QString::number(nID)));
}

void TestCmdUI::paste_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("nothing") << "" << false;
    QTest::newRow("empty text") << "text:" << false;
    QTest::newRow("text") << "text:a" << true;
    QTest::newRow("bytes starting with a zero byte") << "bytes" << true;
    QTest::newRow("no bytes") << "nobytes" << false;
    QTest::newRow("an image only") << "image" << false;
}

void TestCmdUI::paste()
{
    QFETCH(QString, clipboard);
    QFETCH(bool, enabled);

    AppFixture fixture({TestSupport::writeScratchFile("paste.bin", "abc")});
    auto* data = new QMimeData;
    if (clipboard.startsWith("text:"))
        data->setText(clipboard.mid(5));
    else if (clipboard == "bytes")
        data->setData("application/x-zorbel-bytes", QByteArray("\0\1", 2));
    else if (clipboard == "nobytes")
        data->setData("application/x-zorbel-bytes", QByteArray());
    else if (clipboard == "image")
        data->setImageData(QImage(4, 4, QImage::Format_RGB32));
    QGuiApplication::clipboard()->setMimeData(data);
    // One pass: the toolbar shows the clipboard as this pass found it.
    fixture.idle();
    QCOMPARE(fixture.frame()->m_bClipboardHasText, enabled);
    QCOMPARE(fixture.frame()->CommandAction(ID_EDIT_PASTE)->isEnabled(), enabled);
}

void TestCmdUI::pasteBeforeTheFirstIdlePass()
{
    QGuiApplication::clipboard()->setText("x");
    AppFixture fixture;
    QVERIFY(fixture.frame()->m_bClipboardHasText);
}

void TestCmdUI::keysOfDisabledCommandsDoNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");

    QTest::newRow("Ctrl+C, nothing selected") << QByteArray("abc") << int(Qt::Key_C)
                                              << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Ctrl+X, nothing selected") << QByteArray("abc") << int(Qt::Key_X)
                                              << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Delete in an empty file") << QByteArray() << int(Qt::Key_Delete) << Qt::KeyboardModifiers();
    QTest::newRow("F3 before any find") << QByteArray("abc") << int(Qt::Key_F3) << Qt::KeyboardModifiers();
    QTest::newRow("Ctrl+S in an empty file") << QByteArray() << int(Qt::Key_S)
                                             << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Ctrl+Shift+P in an empty file")
        << QByteArray() << int(Qt::Key_P) << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier);
    QTest::newRow("Ctrl+Z, no handler") << QByteArray("abc") << int(Qt::Key_Z)
                                        << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Alt+Backspace, no handler") << QByteArray("abc") << int(Qt::Key_Backspace)
                                               << Qt::KeyboardModifiers(Qt::AltModifier);
}

void TestCmdUI::keysOfDisabledCommandsDoNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);

    AppFixture fixture({TestSupport::writeScratchFile("keys.bin", bytes)});
    recordSavePrompts();
    QGuiApplication::clipboard()->setText("kept");
    fixture.idle();
    CHexView* view = ActiveView(fixture);
    auto* doc = qobject_cast<CHexDoc*>(view->GetDocument());
    KeyRecorder recorder(key);
    view->installEventFilter(&recorder);

    QTest::keyClick(view, Qt::Key(key), modifiers);
    QCoreApplication::processEvents();

    // The accelerator took the key, and its disabled command was dropped.
    QCOMPARE(recorder.keys, 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(doc->Data()), int(doc->GetSize()) - 1), bytes);
    QVERIFY(!doc->IsModified());
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("kept"));
    QVERIFY(m_prompts.isEmpty());
    QVERIFY(fixture.messages.isEmpty());
}

void TestCmdUI::enabledKeyRuns()
{
    AppFixture fixture;
    recordSavePrompts();
    fixture.frame()->ExecuteCommand(ID_FILE_NEW);
    CHexView* view = ActiveView(fixture);
    QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(m_prompts.isEmpty());
    SetBytes(qobject_cast<CHexDoc*>(view->GetDocument()), "data");
    QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(m_prompts, QStringList{"Zorbel1"});
}

void TestCmdUI::staleButtonIsStillGated()
{
    AppFixture fixture;
    recordSavePrompts();
    fixture.frame()->ExecuteCommand(ID_FILE_NEW);
    auto* doc = qobject_cast<CHexDoc*>(fixture.frame()->GetActiveDocument());
    SetBytes(doc, "data");
    fixture.idle();
    QWidget* save = fixture.frame()->m_wndToolBar.GetButton(ID_FILE_SAVE);
    QVERIFY(save->isEnabled());
    // Emptied after the last idle pass: the button still looks enabled.
    SetBytes(doc, QByteArray());
    QTest::mouseClick(save, Qt::LeftButton);
    QVERIFY(m_prompts.isEmpty());
}

// With no document window the toolbar still shows Save: it must be off.
void TestCmdUI::saveNeedsADocument()
{
    AppFixture fixture;
    fixture.idle();
    QVERIFY(!fixture.frame()->m_wndToolBar.GetButton(ID_FILE_SAVE)->isEnabled());
    for (unsigned nID : {ID_FILE_SAVE, ID_FILE_SAVE_AS}) {
        QVERIFY(!fixture.frame()->CommandAction(nID)->isEnabled());
        QVERIFY(!fixture.frame()->ExecuteCommand(nID));
    }
}

void TestCmdUI::byteCount_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty file") << QByteArray() << "0 Byte(s)";
    QTest::newRow("1234 bytes") << QByteArray(1234, 'x') << "1234 Byte(s)";
}

void TestCmdUI::byteCount()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    AppFixture fixture({TestSupport::writeScratchFile("count.bin", bytes)});
    CStatusBar& bar = fixture.frame()->m_wndStatusBar;
    QCOMPARE(bar.GetPaneText(1), text);
    unsigned nID = 1;
    unsigned nStyle = 0;
    int cxWidth = 0;
    bar.GetPaneInfo(1, nID, nStyle, cxWidth);
    QCOMPARE(nID, ID_SEPARATOR);
    QCOMPARE(nStyle, unsigned(SBPS_POPOUT));
    QCOMPARE(cxWidth, 6 * int(text.size()));
    // The pane never cuts its text.
    QLabel* pane = bar.PaneLabel(1);
    QVERIFY(pane->contentsRect().width() >= pane->fontMetrics().horizontalAdvance(text));
}

void TestCmdUI::byteCountFollowsLength()
{
    AppFixture fixture({TestSupport::writeScratchFile("hundred.bin", QByteArray(100, 'x'))});
    CStatusBar& bar = fixture.frame()->m_wndStatusBar;
    auto* doc = qobject_cast<CHexDoc*>(fixture.frame()->GetActiveDocument());
    QCOMPARE(bar.GetPaneText(1), QString("100 Byte(s)"));
    SetBytes(doc, QByteArray(90, 'x'));
    fixture.idle();
    QCOMPARE(bar.GetPaneText(1), QString("90 Byte(s)"));
    unsigned nID, nStyle;
    int cxWidth;
    bar.GetPaneInfo(1, nID, nStyle, cxWidth);
    QCOMPARE(cxWidth, 60);

    // Lengths past 2 GiB are no negative numbers. The buffer is mapped and
    // never written but for its end marker, so it costs a page.
    constexpr std::uint32_t kHuge = 0xC0000000u;
    std::uint8_t* pHuge = CHexDoc::AllocBuffer(kHuge);
    pHuge[kHuge - 1] = 0xFF;
    doc->AdoptBuffer(pHuge, kHuge);
    ActiveView(fixture)->UpdateByteCount();
    SetBytes(doc, QByteArray(90, 'x'));
    QCOMPARE(bar.GetPaneText(1), QString("3221225471 Byte(s)"));
}

void TestCmdUI::panesFollowTheActiveWindow()
{
    AppFixture fixture({TestSupport::writeScratchFile("ten.bin", QByteArray(10, 'x'))});
    fixture.app->OpenDocumentFile(TestSupport::writeScratchFile("twenty.bin", QByteArray(20, 'x')));
    CMainFrame* frame = fixture.frame();
    const QList<CMDIChildWnd*> children = frame->GetChildFrames();
    QCOMPARE(children.size(), 2);
    qobject_cast<CHexView*>(children[0]->GetActiveView())->m_bInsertMode = false;

    frame->MDIClient()->setActiveSubWindow(children[0]);
    QCOMPARE(frame->m_wndStatusBar.GetPaneText(1), QString("10 Byte(s)"));
    QCOMPARE(frame->m_wndStatusBar.GetPaneText(2), QString("OVR"));
    frame->MDIClient()->setActiveSubWindow(children[1]);
    QCOMPARE(frame->m_wndStatusBar.GetPaneText(1), QString("20 Byte(s)"));
    QCOMPARE(frame->m_wndStatusBar.GetPaneText(2), QString("INS"));
}

// While insert mode waits for a byte's second digit the pane still says INS.
void TestCmdUI::modePaneShowsTheChosenMode()
{
    AppFixture fixture({TestSupport::writeScratchFile("mode.bin", "abc")});
    CHexView* view = ActiveView(fixture);
    QTest::keyClick(view, Qt::Key_4);
    QVERIFY(view->m_bResumeInsert);
    fixture.idle();
    QCOMPARE(fixture.frame()->m_wndStatusBar.GetPaneText(2), QString("INS"));
    QTest::keyClick(view, Qt::Key_Insert);
    fixture.idle();
    QCOMPARE(fixture.frame()->m_wndStatusBar.GetPaneText(2), QString("OVR"));
}

void TestCmdUI::closingAWindowEmptiesTheBytePane()
{
    AppFixture fixture({TestSupport::writeScratchFile("close.bin", "abc")});
    CStatusBar& bar = fixture.frame()->m_wndStatusBar;
    QCOMPARE(bar.GetPaneText(1), QString("3 Byte(s)"));
    fixture.frame()->MDIGetActive()->close();
    fixture.idle();
    QCOMPARE(bar.GetPaneText(1), QString());
    unsigned nID, nStyle;
    int cxWidth = -1;
    bar.GetPaneInfo(1, nID, nStyle, cxWidth);
    QCOMPARE(cxWidth, 0);
    QVERIFY(bar.PaneLabel(1)->isHidden());
}

QTEST_MAIN(TestCmdUI)
#include "tst_cmdui.moc"
