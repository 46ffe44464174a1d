#include "cmdtarget.h"
#include "editfixture.h"
#include "syslang.h"
#include "testsupport.h"

#include <QRandomGenerator>

namespace {

bool Run(const EditWindow& w, unsigned nID)
{
    return AfxExecuteCommand(w.pView.get(), nID);
}

QString StateText(const CHexView& view)
{
    return QString("anchor %1 end %2 caret %3 %4")
        .arg(view.GetSelection().Anchor())
        .arg(view.GetSelection().End())
        .arg(view.m_nCaretPos)
        .arg(view.HasSelection() ? "selected" : "none");
}

void Select(const EditWindow& w, std::uint32_t nAnchor, std::uint32_t nEnd)
{
    w->SelectRange(nAnchor, nEnd);
}

} // namespace

// Undo and redo of every kind of change, in any window of the document.
class TestHexViewUndo : public QObject {
    Q_OBJECT

private slots:
    void init() { SetSystemLocaleOverride("en_US"); }
    void undoesAndRedoes_data();
    void undoesAndRedoes();
    void followsTheSavedState();
    void keepsTheHistoryWithinTheLimit();
    void randomEditsMatchAModel_data();
    void randomEditsMatchAModel();

private:
    MainFrame m_frame;
    CMemoryClipboard m_clipboard;
};

void TestHexViewUndo::undoesAndRedoes_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("after");   // from "0123456789"
    QTest::newRow("typed run is one step") << "type" << QByteArray("01xyz23456789");
    QTest::newRow("hex digits typed over") << "overwrite" << QByteArray("0\xAB\xCD" "3456789");
    QTest::newRow("delete") << "delete" << QByteArray("012456789");
    QTest::newRow("cut") << "cut" << QByteArray("0156789");
    QTest::newRow("paste over a selection") << "paste" << QByteArray("01PASTE56789");
    QTest::newRow("replace") << "replace" << QByteArray("0123R56789");
    QTest::newRow("replace all") << "replace all" << QByteArray("-1-3-5-7-9");
}

// Each change undone in a second window of the document: the bytes, caret and
// selection come back in both, and redo does the change again.
void TestHexViewUndo::undoesAndRedoes()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, after);
    const QByteArray before("0123456789");
    EditWindow w(before);
    const std::unique_ptr<CHexView> pOther = w.OpenView();
    w->activateWindow();
    w->setFocus();
    if (action == "type") {
        w->m_nCaretPos = 2;
        w.Press("Tab");
        w.Type("x y z");
    } else if (action == "overwrite") {
        w->m_nCaretPos = 1;
        w.Type("Ins a b c d");
    } else if (action == "delete") {
        w->m_nCaretPos = 3;
        QVERIFY(Run(w, ID_EDIT_CLEAR));
    } else if (action == "cut") {
        Select(w, 2, 5);
        QVERIFY(Run(w, ID_EDIT_CUT));
    } else if (action == "paste") {
        m_clipboard.SetForeignText("PASTE");
        Select(w, 2, 5);
        w->OnEditPaste();
    } else if (action == "replace") {
        w->ReplaceOne("4", true, false, "R");
    } else {
        w->ReplaceAll("30", "-", false);
        w->ReplaceAll("32", "-", false);
        w->ReplaceAll("34", "-", false);
        w->ReplaceAll("36", "-", false);
        w->ReplaceAll("38", "-", false);
    }
    const QString done = StateText(*w.pView);
    QCOMPARE(w.Bytes(), after);
    QVERIFY(w.doc.IsModified());

    const int nSteps = action == "replace all" ? 5 : 1;
    for (int i = 0; i < nSteps; ++i)
        QVERIFY(AfxExecuteCommand(pOther.get(), ID_EDIT_UNDO));
    QCOMPARE(w.Bytes(), before);
    QVERIFY(!w.doc.History().CanUndo());
    QVERIFY(!w.doc.IsModified());
    QVERIFY(w.InvariantsHold());
    QCOMPARE(pOther->m_nRows, w->m_nRows);

    // Redone, the step leaves the caret and selection where the change left
    // them, also in the window that did not make it.
    for (int i = 0; i < nSteps; ++i)
        QVERIFY(AfxExecuteCommand(pOther.get(), ID_EDIT_REDO));
    QCOMPARE(w.Bytes(), after);
    QCOMPARE(StateText(*pOther), done);
    QVERIFY(w.doc.IsModified());
    QVERIFY(!w.doc.History().CanRedo());
    QVERIFY(w.InvariantsHold());
    // Undone after the caret moved away and redone in the first window: the
    // caret comes back to where the change left it, not where it was undone.
    w->setFocus();
    w.Press("End");
    for (int i = 0; i < nSteps; ++i)
        QVERIFY(Run(w, ID_EDIT_UNDO));
    QCOMPARE(w.Bytes(), before);
    w.Press("Home");
    for (int i = 0; i < nSteps; ++i)
        QVERIFY(Run(w, ID_EDIT_REDO));
    QCOMPARE(StateText(*w.pView), done);
}

// Undo and redo across a save: the modified flag is off exactly at the bytes
// on disk, and the history survives the save.
void TestHexViewUndo::followsTheSavedState()
{
    EditWindow w("abc");
    w.Press("Tab");
    w.Type("x");
    const QString path = TestSupport::scratchDir() + "/undo-saved.bin";
    QCOMPARE(w.SavedBytes(path), QByteArray("xabc"));
    QVERIFY(!w.doc.IsModified());
    w.Type("y");
    QVERIFY(w.doc.IsModified());
    QVERIFY(Run(w, ID_EDIT_UNDO));
    QCOMPARE(w.Bytes(), QByteArray("xabc"));
    QVERIFY(!w.doc.IsModified());
    QVERIFY(Run(w, ID_EDIT_UNDO));
    QCOMPARE(w.Bytes(), QByteArray("abc"));
    QVERIFY(w.doc.IsModified());
    QVERIFY(Run(w, ID_EDIT_REDO));
    QVERIFY(!w.doc.IsModified());
    // Changing the code page is no step.
    w->OnCodePageSjis();
    QVERIFY(!w.doc.IsModified());
    QVERIFY(w.doc.History().CanRedo());
}

// With a limit of 1 MiB, a cut of 2 MiB is done, empties the history and says
// it cannot be undone.
void TestHexViewUndo::keepsTheHistoryWithinTheLimit()
{
    EditWindow w(QByteArray(3 << 20, 'a'));
    w.doc.SetUndoLimit(1 << 20);
    w.Type("b");
    QVERIFY(w.doc.History().CanUndo());
    Select(w, 0, 2 << 20);
    QVERIFY(Run(w, ID_EDIT_CUT));
    QCOMPARE(w.doc.History().Limit(), 1ull << 20);
    QCOMPARE(w.doc.GetSize(), (1u << 20) + 2);
    QVERIFY(!w.doc.History().CanUndo());
    QVERIFY(m_frame.pBar->GetPaneText(0).contains("cannot be undone"));
    for (int i = 0; i < 40; ++i) {
        Select(w, 0, 100 << 10);
        QVERIFY(Run(w, ID_EDIT_CUT));
        w->m_nCaretPos = 0;
        w->OnEditPaste();
    }
    QVERIFY(w.doc.History().Cost() <= 1u << 20);
    QVERIFY(w.doc.History().CanUndo());
}

void TestHexViewUndo::randomEditsMatchAModel_data()
{
    QTest::addColumn<quint32>("nSeed");
    for (quint32 nSeed : {1u, 2u, 3u, 4u})
        QTest::addRow("seed %u", nSeed) << nSeed;
}

// Random typing, selections, Delete, Cut, Paste, Replace All, undo and redo on
// a random file, compared after every operation with a model: the list of
// byte states, the place in it, and the place that was saved.
void TestHexViewUndo::randomEditsMatchAModel()
{
    QFETCH(quint32, nSeed);
    QRandomGenerator random(nSeed);
    QByteArray bytes(int(random.bounded(200)), 0);
    for (char& b : bytes)
        b = char('a' + random.bounded(4));
    EditWindow w(bytes);
    QList<QByteArray> states{bytes};
    QStringList afters{QString()};   // the caret and selection each state's edit left
    int nAt = 0;
    const int nSaved = 0;
    for (int nOp = 0; nOp < 300; ++nOp) {
        const std::uint32_t nLast = w.doc.GetSize() - 1;
        const int nKind = int(random.bounded(8));
        const QByteArray was = w.Bytes();
        bool bUndoRedo = false;
        bool bRedone = false;
        switch (nKind) {
        case 0:
            w->MoveCaretTo(random.bounded(nLast + 1));
            w.Type(QString(QChar('a' + random.bounded(4))));
            break;
        case 1:
            Select(w, random.bounded(nLast + 1), random.bounded(nLast + 1));
            Run(w, ID_EDIT_CLEAR);
            break;
        case 2:
            Select(w, random.bounded(nLast + 1), random.bounded(nLast + 1));
            Run(w, ID_EDIT_CUT);
            break;
        case 3:
            w->m_nCaretPos = random.bounded(nLast + 1);
            Run(w, ID_EDIT_PASTE);
            break;
        case 4:
            w->ReplaceAll(QString(QChar('a' + random.bounded(4))), QString("xy").left(int(random.bounded(3))), false);
            break;
        case 5:
        case 6:
            bUndoRedo = true;
            if (nKind == 5 ? nAt > 0 : nAt < states.size() - 1) {
                nAt += nKind == 5 ? -1 : 1;
                bRedone = nKind == 6;
                QVERIFY(Run(w, nKind == 5 ? ID_EDIT_UNDO : ID_EDIT_REDO));
            }
            break;
        default:
            w.Press("Left");
            break;
        }
        if (!bUndoRedo && w.Bytes() != was) {
            // Typing next to the last typed byte joins its step.
            const bool bJoined = nKind == 0 && w.doc.History().Count() == std::size_t(nAt) && nAt > 0;
            states.resize(nAt + 1);
            afters.resize(nAt + 1);
            if (!bJoined) {
                states << w.Bytes();
                afters << StateText(*w.pView);
                ++nAt;
            } else {
                states[nAt] = w.Bytes();
                afters[nAt] = StateText(*w.pView);
            }
        }
        QCOMPARE(w.Bytes(), states[nAt]);
        if (bRedone)
            QCOMPARE(StateText(*w.pView), afters[nAt]);
        QCOMPARE(w.doc.IsModified(), nAt != nSaved);
        QString why;
        QVERIFY2(w.InvariantsHold(&why), qPrintable(why));
    }
}

QTEST_MAIN(TestHexViewUndo)
#include "tst_hexview_undo.moc"
