#include "edithistory.h"

#include <QtTest>

#include <cstring>

namespace {

CEditStep Step(std::uint32_t nPos, const QByteArray& removed, const QByteArray& inserted, bool bTyping = false)
{
    CEditStep step;
    step.offsets = {nPos};
    step.nRemove = std::uint32_t(removed.size());
    step.removed = removed;
    step.inserted = inserted;
    step.bTyping = bTyping;
    return step;
}

} // namespace

// The history's byte rules: typed runs, the saved mark, the limit, and steps
// applied to a document's bytes.
class TestEditHistory : public QObject {
    Q_OBJECT

private slots:
    void foldsTypedRuns_data();
    void foldsTypedRuns();
    void followsTheSavedPlace();
    void dropsTheOldestStepsFirst();
};

void TestEditHistory::foldsTypedRuns_data()
{
    QTest::addColumn<quint32>("nPos");
    QTest::addColumn<QByteArray>("removed");
    QTest::addColumn<QByteArray>("inserted");
    QTest::addColumn<bool>("bFolded");
    QTest::addColumn<QByteArray>("run");   // the run's bytes after
    // The run: "ab" inserted at 10.
    QTest::newRow("next byte") << 12u << QByteArray() << QByteArray("c") << true << QByteArray("abc");
    QTest::newRow("second digit of the last byte") << 11u << QByteArray("b") << QByteArray("B") << true
                                                   << QByteArray("aB");
    QTest::newRow("overwriting past the run") << 12u << QByteArray("x") << QByteArray("c") << true
                                              << QByteArray("abc");
    QTest::newRow("before the run") << 9u << QByteArray() << QByteArray("c") << false << QByteArray("ab");
    QTest::newRow("past the run's end") << 13u << QByteArray() << QByteArray("c") << false << QByteArray("ab");
}

void TestEditHistory::foldsTypedRuns()
{
    QFETCH(quint32, nPos);
    QFETCH(QByteArray, removed);
    QFETCH(QByteArray, inserted);
    CEditHistory history;
    history.MarkSaved();
    QVERIFY(history.Add(Step(10, QByteArray(), "ab", true)));
    QTEST(history.ExtendTyping(nPos, removed, inserted), "bFolded");
    QTEST(history.Undo().inserted, "run");

    // A non-typing step ends the run, and so does EndTyping.
    CEditHistory other;
    other.Add(Step(10, QByteArray(), "ab", true));
    other.EndTyping();
    QVERIFY(!other.ExtendTyping(12, QByteArray(), "c"));
}

void TestEditHistory::followsTheSavedPlace()
{
    CEditHistory history;
    history.MarkSaved();
    history.Add(Step(0, "a", "b"));
    history.Add(Step(0, "b", "c"));
    QVERIFY(!history.IsAtSaved());
    history.Undo();
    history.Undo();
    QVERIFY(history.IsAtSaved());
    history.Redo();
    history.MarkSaved();   // saved after one step
    history.Undo();
    QVERIFY(!history.IsAtSaved());
    // A new step drops the redo steps, the saved place among them.
    history.Add(Step(0, "a", "d"));
    QVERIFY(!history.CanRedo());
    history.Undo();
    QVERIFY(!history.IsAtSaved());
    // Typing right after a save starts a step of its own, so undo finds the
    // saved bytes again.
    CEditHistory typed;
    typed.Add(Step(0, QByteArray(), "a", true));
    typed.MarkSaved();
    QVERIFY(typed.Add(Step(1, QByteArray(), "b", true)) && typed.Count() == 2);
}

void TestEditHistory::dropsTheOldestStepsFirst()
{
    CEditHistory history;
    history.MarkSaved();
    const std::uint64_t nStep = Step(0, QByteArray(100, 'a'), QByteArray(100, 'b')).Cost();
    history.SetLimit(3 * nStep);
    for (int i = 0; i < 5; ++i)
        QVERIFY(history.Add(Step(0, QByteArray(100, 'a'), QByteArray(100, 'b'))));
    QCOMPARE(history.Count(), std::size_t(3));
    QVERIFY(history.Cost() <= history.Limit());
    history.Undo();
    history.Undo();
    history.Undo();
    QVERIFY(!history.CanUndo());
    QVERIFY(!history.IsAtSaved());   // the saved place was dropped

    // A step larger than the limit empties the history.
    QVERIFY(!history.Add(Step(0, QByteArray(int(4 * nStep), 'a'), QByteArray())));
    QVERIFY(!history.CanUndo() && !history.CanRedo());
    QVERIFY(!history.IsAtSaved());
}

QTEST_MAIN(TestEditHistory)
#include "tst_edithistory.moc"
