// Bookmarks in the whole program: Ctrl+B, F2 and Shift+F2 as a person presses
// them in the rows, View > Bookmarks, Delete in the list, and the bookmarks
// of a file back after the program starts again.

#include "appfixture.h"
#include "beep.h"
#include "bookmarkpanel.h"
#include "hexdoc.h"
#include "hexview.h"
#include "resource.h"

#include <QScopeGuard>
#include <QTableWidget>
#include <QtTest>

namespace {

CHexView* ActiveView(AppFixture& fixture)
{
    return qobject_cast<CHexView*>(fixture.frame()->GetActiveView());
}

// Where the view's selection starts and how long it is, from its report.
struct Selection {
    qint64 nFirst = 0;
    qint64 nLength = 0;
};

} // namespace

class TestBookmarkKeys : public QObject {
    Q_OBJECT

private slots:
    void init() { AppFixture::ResetSettings(); }
    void toggleAndWrapWithKeys();
    void deleteInListKeepsBytes();
    void keptAcrossRestart();
};

void TestBookmarkKeys::toggleAndWrapWithKeys()
{
    const QString path = TestSupport::writeScratchFile("keys.bin", QByteArray(0x100, 'k'));
    AppFixture fixture({path});
    QVERIFY(fixture.started);
    fixture.idle();
    CHexView* view = ActiveView(fixture);
    QVERIFY(view);
    CBookmarks& marks = view->GetDocument()->Bookmarks();
    int nBeeps = 0;
    AfxSetBeepHook([&nBeeps](unsigned) { ++nBeeps; });
    const auto restore = qScopeGuard([] { AfxSetBeepHook({}); });
    Selection sel;
    connect(view, &CHexView::caretMoved, this, [&sel](qint64, qint64 nFirst, qint64 nLength) {
        sel = {nFirst, nLength};
    });

    // Ctrl+B at the caret (byte 0x20), and on a selection of 0x40-0x43.
    view->MoveCaretTo(0x20);
    QTest::keyClick(view, Qt::Key_B, Qt::ControlModifier);
    view->SelectAndShow(0x40, 0x44);
    QTest::keyClick(view, Qt::Key_B, Qt::ControlModifier);
    QCOMPARE(marks.Count(), 2);
    QCOMPARE(marks.At(0).nOffset, 0x20u);
    QCOMPARE(marks.At(0).nLength, 1u);
    QCOMPARE(marks.At(1).nOffset, 0x40u);
    QCOMPARE(marks.At(1).nLength, 4u);

    // F2 from the second goes round to the first, with a beep; again to the
    // second, without one. Shift+F2 goes back round.
    QTest::keyClick(view, Qt::Key_F2);
    QCOMPARE(sel.nFirst, 0x20u);
    QCOMPARE(sel.nLength, 1u);
    QCOMPARE(nBeeps, 1);
    QTest::keyClick(view, Qt::Key_F2);
    QCOMPARE(sel.nFirst, 0x40u);
    QCOMPARE(sel.nLength, 4u);
    QCOMPARE(nBeeps, 1);
    QTest::keyClick(view, Qt::Key_F2, Qt::ShiftModifier);
    QCOMPARE(sel.nFirst, 0x20u);
    QCOMPARE(nBeeps, 1);
    QTest::keyClick(view, Qt::Key_F2, Qt::ShiftModifier);
    QCOMPARE(sel.nFirst, 0x40u);
    QCOMPARE(nBeeps, 2);

    // Ctrl+B on a bookmark's own selection takes it away.
    QTest::keyClick(view, Qt::Key_B, Qt::ControlModifier);
    QCOMPARE(marks.Count(), 1);
    QCOMPARE(view->GetDocument()->GetLength(), 0x100u);
}

// Delete is an accelerator of the rows (it deletes bytes); in the list it
// removes the bookmark and leaves the bytes alone.
void TestBookmarkKeys::deleteInListKeepsBytes()
{
    const QString path = TestSupport::writeScratchFile("list.bin", QByteArray(0x40, 'l'));
    AppFixture fixture({path});
    fixture.idle();
    CHexView* view = ActiveView(fixture);
    CHexDoc* doc = view->GetDocument();
    doc->Bookmarks().Add(4, 2);
    doc->Bookmarks().Add(8, 2);

    fixture.frame()->CommandAction(ID_VIEW_BOOKMARKS)->trigger();
    auto* panel = fixture.frame()->findChild<CBookmarkPanel*>();
    QVERIFY(panel);
    QVERIFY(panel->isVisible());
    QTableWidget* table = panel->Table();
    QCOMPARE(table->rowCount(), 2);
    table->setCurrentCell(0, 0);
    QTest::keyClick(table, Qt::Key_Delete);
    QCOMPARE(doc->Bookmarks().Count(), 1);
    QCOMPARE(doc->GetLength(), 0x40u);
    QVERIFY(!doc->IsModified());

    fixture.frame()->CommandAction(ID_VIEW_BOOKMARKS)->trigger();
    QVERIFY(panel->isHidden());
}

// Closing the program stores them in the settings profile under the file's
// canonical path; the next start finds them when the file opens again.
void TestBookmarkKeys::keptAcrossRestart()
{
    const QString path = TestSupport::writeScratchFile("restart.bin", QByteArray(0x80, 'r'));
    {
        AppFixture fixture({path});
        fixture.idle();
        CHexDoc* doc = ActiveView(fixture)->GetDocument();
        doc->Bookmarks().Add(0x10, 0x20, "table");
    }
    AppFixture fixture({path});
    fixture.idle();
    const CBookmarks& marks = ActiveView(fixture)->GetDocument()->Bookmarks();
    QCOMPARE(marks.Count(), 1);
    QCOMPARE(marks.At(0).nOffset, 0x10u);
    QCOMPARE(marks.At(0).nLength, 0x20u);
    QCOMPARE(marks.At(0).strName, QString("table"));
}

QTEST_MAIN(TestBookmarkKeys)
#include "tst_bookmarkkeys.moc"
