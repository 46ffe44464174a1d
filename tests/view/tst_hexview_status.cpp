// What a view tells the program around it, checked on a view alone: no
// application, no main window. The status bar's texts arrive by signals, the
// context menu is asked for, and Paste and the text size use what the view's
// owner hands it.
#include "afxres.h"
#include "cmdtarget.h"
#include "cmdui.h"
#include "hexdoc.h"
#include "hexview.h"
#include "resource.h"
#include "resources.h"
#include "settingsprofile.h"
#include "syslang.h"
#include "testsupport.h"

#include <QContextMenuEvent>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kFontHeight = QStringLiteral("FontHeight");

// A view on a document read from a file, as a document window holds it.
struct BareView {
    CHexDoc doc;
    CHexView view;

    explicit BareView(const QByteArray& bytes, CViewServices services = {})
    {
        QVERIFY(doc.OnOpenDocument(TestSupport::writeScratchFile(QStringLiteral("status.bin"), bytes)));
        view.SetServices(std::move(services));
        view.AttachDocument(&doc);
        view.Create();
        view.resize(1000, 300);
        view.show();
        view.OnInitialUpdate();
    }
    ~BareView() { view.AttachDocument(nullptr); }

    // "Ins", "End", "Tab", "Right", "Left", "S+Right" (with Shift), "Clear" (Edit,
    // Delete, which the frame's accelerators would run), else text typed.
    void Press(const QString& step)
    {
        static const QHash<QString, Qt::Key> named = {
            {"Ins", Qt::Key_Insert}, {"End", Qt::Key_End}, {"Tab", Qt::Key_Tab}, {"Right", Qt::Key_Right},
            {"Left", Qt::Key_Left}};
        if (step == "Clear")
            QVERIFY(AfxExecuteCommand(&view, ID_EDIT_CLEAR));
        else if (step.startsWith("S+"))
            QTest::keyClick(&view, named.value(step.mid(2)), Qt::ShiftModifier);
        else if (named.contains(step))
            QTest::keyClick(&view, named.value(step));
        else if (step.size() == 1 && step[0].unicode() < 0x80)
            QTest::keyClick(&view, step[0].toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, &view, Qt::Key_unknown, step, Qt::NoModifier);
    }

    bool CanPaste()
    {
        CCmdUI state(ID_EDIT_PASTE);
        return view.OnCmdMsg(ID_EDIT_PASTE, &state) && state.IsEnabled();
    }
};

enum Report { Message, ByteCount, EditMode, Caret };

} // namespace

Q_DECLARE_METATYPE(Report)

class TestHexViewStatus : public QObject {
    Q_OBJECT

private slots:
    void init();
    void reports_data();
    void reports();
    void contextMenuIsAskedFor();
    void pasteFollowsTheOwnersClipboard_data();
    void pasteFollowsTheOwnersClipboard();
    void textSizeIsKeptInTheOwnersProfile();
    void editModeIsKeptInTheOwnersProfile();
};

void TestHexViewStatus::init()
{
    SetSystemLocaleOverride(QStringLiteral("en_US"));
    AfxSetResourceLanguage(LANG_EN_US);
}

void TestHexViewStatus::reports_data()
{
    QTest::addColumn<QStringList>("steps");   // in a file of ten digits
    QTest::addColumn<Report>("report");
    QTest::addColumn<QString>("text");        // a message need only contain it

    QTest::newRow("Insert") << QStringList{"Ins"} << EditMode << "OVR";
    QTest::newRow("Insert twice") << QStringList{"Ins", "Ins"} << EditMode << "INS";
    QTest::newRow("Delete") << QStringList{"Clear"} << ByteCount << "9 Byte(s)";
    QTest::newRow("typing") << QStringList{"4", "1"} << ByteCount << "11 Byte(s)";
    QTest::newRow("End") << QStringList{"End"} << Caret << "Offset: 0xA (10)";
    QTest::newRow("Shift+Right") << QStringList{"Right", "S+Right"} << Caret
                                 << "Offset: 0x2 (2)  Selected: 0x1-0x1, 1 Byte(s)";
    QTest::newRow("a character the code page cannot hold")
        << QStringList{"Tab", QString::fromUtf8("中")} << Message << "U+4E2D";
    QTest::newRow("the character before its code page")
        << QStringList{"Tab", QString::fromUtf8("中")} << Message << QString::fromUtf8("中 (U+4E2D) cannot be written in code page 1252");
    QTest::newRow("overwrite past the end")
        << QStringList{"Ins", "Tab", "End", "Left", "abc"} << Message << "abc needs 3 bytes where 1 are left";
}

void TestHexViewStatus::reports()
{
    QFETCH(QStringList, steps);
    QFETCH(Report, report);
    QFETCH(QString, text);

    BareView w("0123456789");
    QSignalSpy message(&w.view, &CHexView::statusMessage);
    QSignalSpy byteCount(&w.view, &CHexView::byteCountChanged);
    QSignalSpy mode(&w.view, &CHexView::editModeChanged);
    QSignalSpy caret(&w.view, &CHexView::caretChanged);
    for (const QString& step : steps)
        w.Press(step);

    QSignalSpy* spies[] = {&message, &byteCount, &mode, &caret};
    QSignalSpy& spy = *spies[report];
    QVERIFY(!spy.isEmpty());
    const QString last = spy.last().at(0).toString();
    if (report == Message)
        QVERIFY2(last.contains(text), qPrintable(last));
    else
        QCOMPARE(last, text);
    // The caret's pane is sized for the widest offset of the document.
    if (report == Caret)
        QCOMPARE(spy.last().at(1).toString(), QString("Offset: 0xA (10)"));
    // Nothing else is said unasked.
    if (report != Message)
        QVERIFY(message.isEmpty());
}

// The right button or the menu key asks whoever shows the view for the
// view's context menu, at the caret for the key.
void TestHexViewStatus::contextMenuIsAskedFor()
{
    BareView w("0123456789");
    QSignalSpy asked(&w.view, &CView::popupMenuRequested);
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(1, 1), w.view.mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(&w.view, &key);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().at(0).toUInt(), unsigned(IDR_HEXVIEW_CONTEXT));
    QCOMPARE(asked.first().at(1).toPoint(), w.view.viewport()->mapToGlobal(w.view.GetCaretRect().bottomLeft()));
}

void TestHexViewStatus::pasteFollowsTheOwnersClipboard_data()
{
    QTest::addColumn<int>("clipboard");   // -1 no clipboard given, else whether it holds bytes
    QTest::addColumn<bool>("enabled");

    QTest::newRow("no owner") << -1 << false;
    QTest::newRow("empty clipboard") << 0 << false;
    QTest::newRow("bytes on the clipboard") << 1 << true;
}

void TestHexViewStatus::pasteFollowsTheOwnersClipboard()
{
    QFETCH(int, clipboard);
    QFETCH(bool, enabled);

    CViewServices services;
    if (clipboard >= 0)
        services.clipboardHasBytes = [clipboard] { return clipboard == 1; };
    BareView w("0123456789", services);
    QCOMPARE(w.CanPaste(), enabled);
}

// The size chosen last opens the next view; a view without a profile keeps
// nothing and starts at the normal size.
void TestHexViewStatus::textSizeIsKeptInTheOwnersProfile()
{
    CSettingsProfile profile;
    profile.SetRegistryKey(QStringLiteral("Vantorel"), QStringLiteral("Zorbel"));
    profile.RemoveProfileValue(kSettings, kFontHeight);
    {
        BareView first("0123456789", {&profile, {}, {}});
        QCOMPARE(first.view.GetFontHeight(), int(CHexView::kDefaultFontHeight));
        QVERIFY(AfxExecuteCommand(&first.view, ID_VIEW_ZOOM_IN));
        QCOMPARE(profile.GetProfileInt(kSettings, kFontHeight, 0), 18);
    }
    BareView next("0123456789", {&profile, {}, {}});
    QCOMPARE(next.view.GetFontHeight(), 18);
    BareView alone("0123456789");
    QCOMPARE(alone.view.GetFontHeight(), int(CHexView::kDefaultFontHeight));
    QVERIFY(AfxExecuteCommand(&alone.view, ID_VIEW_ZOOM_OUT));
    QCOMPARE(profile.GetProfileInt(kSettings, kFontHeight, 0), 18);
}

// Overwrite chosen in one window opens the next in overwrite, and insert
// chosen again opens it in insert; a view without a profile starts in insert.
void TestHexViewStatus::editModeIsKeptInTheOwnersProfile()
{
    CSettingsProfile profile;
    profile.SetRegistryKey(QStringLiteral("Vantorel"), QStringLiteral("Zorbel"));
    profile.RemoveProfileValue(kSettings, QStringLiteral("InsertMode"));
    const auto restore = qScopeGuard([&profile] { profile.RemoveProfileValue(kSettings, QStringLiteral("InsertMode")); });
    {
        BareView first("0123456789", {&profile, {}, {}});
        QVERIFY(first.view.InsertModeChosen());
        first.Press("Ins");
    }
    {
        BareView next("0123456789", {&profile, {}, {}});
        QVERIFY(!next.view.InsertModeChosen());
        next.Press("1");
        QCOMPARE(next.doc.GetSize() - 1, 10u);   // typed over, not inserted
        next.Press("Ins");
    }
    BareView last("0123456789", {&profile, {}, {}});
    QVERIFY(last.view.InsertModeChosen());
    profile.WriteProfileInt(kSettings, QStringLiteral("InsertMode"), 0);
    BareView alone("0123456789");
    QVERIFY(alone.view.InsertModeChosen());
}

QTEST_MAIN(TestHexViewStatus)
#include "tst_hexview_status.moc"
