// The document's edits on a CHexDoc alone, with no window: the one primitive
// (insert, delete, overwrite), Replace All, Undo and Redo, the modified flag
// across a save, and the signals every view follows.

#include "bytepattern.h"
#include "hexdoc.h"
#include "longtask.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray Bytes(const CHexDoc& doc)
{
    return QByteArray(reinterpret_cast<const char*>(doc.Data()), qsizetype(doc.GetLength()));
}

const std::uint8_t* Ptr(const QByteArray& bytes)
{
    return reinterpret_cast<const std::uint8_t*>(bytes.constData());
}

// The (position, removed, inserted) of the one bytesChanged a call emitted.
QList<quint32> Change(QSignalSpy& spy)
{
    if (spy.count() != 1)
        return {quint32(spy.count()), 0xDEAD, 0xDEAD};
    const QList<QVariant> args = spy.takeFirst();
    return {args[0].value<quint32>(), args[1].value<quint32>(), args[2].value<quint32>()};
}

} // namespace

class TestHexDocEdit : public QObject {
    Q_OBJECT

private slots:
    void replaceBytes_data();
    void replaceBytes();
    void refusesWithNothingChanged_data();
    void refusesWithNothingChanged();
    void replaceAll_data();
    void replaceAll();
    void cancelledReplaceAllChangesNothing();
    void findFromOutsideTheDocument_data();
    void findFromOutsideTheDocument();
    void modifiedFollowsTheHistoryAcrossSave();
    void stepPastTheUndoLimitEmptiesTheHistory();
    void codePageSignal();
};

void TestHexDocEdit::replaceBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint32>("nPos");
    QTest::addColumn<quint32>("nRemove");
    QTest::addColumn<QByteArray>("inserted");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("insert at the start") << QByteArray("abc") << 0u << 0u << QByteArray("xy") << QByteArray("xyabc");
    QTest::newRow("insert in the middle") << QByteArray("abc") << 1u << 0u << QByteArray("xy") << QByteArray("axybc");
    QTest::newRow("insert before the end marker") << QByteArray("abc") << 3u << 0u << QByteArray("z")
                                                  << QByteArray("abcz");
    QTest::newRow("insert into an empty file") << QByteArray() << 0u << 0u << QByteArray("new") << QByteArray("new");
    QTest::newRow("delete") << QByteArray("abcdef") << 1u << 2u << QByteArray() << QByteArray("adef");
    QTest::newRow("delete to the end") << QByteArray("abc") << 1u << 2u << QByteArray() << QByteArray("a");
    QTest::newRow("delete everything") << QByteArray("abc") << 0u << 3u << QByteArray() << QByteArray();
    QTest::newRow("overwrite") << QByteArray("abcd") << 1u << 2u << QByteArray("XY") << QByteArray("aXYd");
    QTest::newRow("overwrite the last byte") << QByteArray("abcd") << 3u << 1u << QByteArray("Z")
                                             << QByteArray("abcZ");
    QTest::newRow("replace by more") << QByteArray("abcd") << 1u << 1u << QByteArray("123") << QByteArray("a123cd");
    QTest::newRow("replace by fewer") << QByteArray("abcdef") << 1u << 4u << QByteArray("_") << QByteArray("a_f");
}

// Each edit is one step: Undo puts the bytes and the caller's before state
// back, Redo the bytes and the after state; the signal says what moved.
void TestHexDocEdit::replaceBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(quint32, nPos);
    QFETCH(quint32, nRemove);
    QFETCH(QByteArray, inserted);
    QFETCH(QByteArray, after);
    const auto nInsert = quint32(inserted.size());
    CHexDoc doc;
    doc.SetContents(bytes);
    QSignalSpy changed(&doc, &CHexDoc::bytesChanged);
    const CEditState before{1, 2, 2, true};
    const CEditState afterState{0, 0, nPos + nInsert, false};

    QCOMPARE(doc.ReplaceBytes(nPos, nRemove, Ptr(inserted), nInsert, before), CHexDoc::EditResult::Done);
    doc.SetStepAfter(afterState);
    QCOMPARE(Bytes(doc), after);
    QCOMPARE(doc.Data()[doc.GetLength()], std::uint8_t(0xFF));
    QCOMPARE(Change(changed), (QList<quint32>{nPos, nRemove, nInsert}));
    QVERIFY(doc.IsModified());

    CEditState state;
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Bytes(doc), bytes);
    QCOMPARE(Change(changed), (QList<quint32>{nPos, nInsert, nRemove}));
    QCOMPARE(state.nCaret, before.nCaret);
    QVERIFY(state.bSelection);
    QVERIFY(!doc.IsModified());

    QCOMPARE(doc.Redo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Bytes(doc), after);
    QCOMPARE(Change(changed), (QList<quint32>{nPos, nRemove, nInsert}));
    QCOMPARE(state.nCaret, afterState.nCaret);
    QVERIFY(!state.bSelection);
    QVERIFY(doc.IsModified());
}

void TestHexDocEdit::refusesWithNothingChanged_data()
{
    QTest::addColumn<qint64>("nPos");
    QTest::addColumn<qint64>("nRemove");
    QTest::addColumn<QByteArray>("inserted");
    QTest::addColumn<quint64>("nLimit");
    QTest::addColumn<int>("result");

    const auto refused = int(CHexDoc::EditResult::Refused);
    const auto tooLarge = int(CHexDoc::EditResult::TooLarge);
    const auto nMax = quint64(CHexDoc::kMaxFileLength);
    const qint64 n4G = qint64(1) << 32;
    QTest::newRow("removal taking in the end marker") << qint64(2) << qint64(2) << QByteArray() << nMax << refused;
    QTest::newRow("position past the end marker") << qint64(5) << qint64(0) << QByteArray("x") << nMax << refused;
    // Offsets that would land on the first bytes if cut to 32 bits.
    QTest::newRow("position 4 GiB on") << n4G << qint64(1) << QByteArray("x") << nMax << refused;
    QTest::newRow("removal 4 GiB longer") << qint64(0) << n4G + 1 << QByteArray() << nMax << refused;
    QTest::newRow("negative position") << qint64(-1) << qint64(1) << QByteArray("x") << nMax << refused;
    QTest::newRow("negative removal") << qint64(1) << qint64(-1) << QByteArray() << nMax << refused;
    QTest::newRow("one byte past the size limit") << qint64(0) << qint64(0) << QByteArray("xy") << quint64(4)
                                                  << tooLarge;
    QTest::newRow("overwrite growing past the limit") << qint64(0) << qint64(1) << QByteArray("xyz") << quint64(4)
                                                      << tooLarge;
}

void TestHexDocEdit::refusesWithNothingChanged()
{
    QFETCH(qint64, nPos);
    QFETCH(qint64, nRemove);
    QFETCH(QByteArray, inserted);
    QFETCH(quint64, nLimit);
    QFETCH(int, result);
    const std::uint64_t nOldLimit = CHexDoc::s_nMaxFileLength;
    CHexDoc::s_nMaxFileLength = nLimit;
    const auto restore = qScopeGuard([nOldLimit] { CHexDoc::s_nMaxFileLength = nOldLimit; });
    CHexDoc doc;
    doc.SetContents("abc");
    QSignalSpy changed(&doc, &CHexDoc::bytesChanged);
    QCOMPARE(int(doc.ReplaceBytes(nPos, nRemove, Ptr(inserted), quint32(inserted.size()), {})), result);
    QCOMPARE(Bytes(doc), QByteArray("abc"));
    QCOMPARE(changed.count(), 0);
    QVERIFY(!doc.IsModified());
    QVERIFY(!doc.History().CanUndo());

    // Exactly at the limit is allowed.
    QCOMPARE(doc.ReplaceBytes(0, 0, Ptr("x"), quint32(std::min<quint64>(1, nLimit - 3)), {}),
             CHexDoc::EditResult::Done);
}

void TestHexDocEdit::replaceAll_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<bool>("bMatchCase");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<quint32>("nFirst");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<quint32>("nLast");

    QTest::newRow("growing") << QByteArray("ab-ab-ab") << QByteArray("ab") << true << QByteArray("XYZ") << 0u
                             << QByteArray("XYZ-XYZ-XYZ") << 8u;
    QTest::newRow("shrinking") << QByteArray("abc.abc") << QByteArray("abc") << true << QByteArray("z") << 0u
                               << QByteArray("z.z") << 2u;
    QTest::newRow("removing") << QByteArray("aXbXc") << QByteArray("X") << true << QByteArray() << 0u
                              << QByteArray("abc") << 2u;
    QTest::newRow("overlapping occurrences") << QByteArray("aaaaa") << QByteArray("aa") << true << QByteArray("b")
                                             << 0u << QByteArray("bba") << 1u;
    QTest::newRow("replacement holding the pattern") << QByteArray("ab.ab") << QByteArray("ab") << true
                                                     << QByteArray("xab") << 0u << QByteArray("xab.xab") << 4u;
    QTest::newRow("pattern holding the replacement") << QByteArray("abab") << QByteArray("ab") << true
                                                     << QByteArray("a") << 0u << QByteArray("aa") << 1u;
    QTest::newRow("from the middle") << QByteArray("ab-ab-ab") << QByteArray("ab") << true << QByteArray("Q") << 3u
                                     << QByteArray("ab-Q-Q") << 5u;
    QTest::newRow("ignoring case") << QByteArray("aB-Ab-ab") << QByteArray("AB") << false << QByteArray("x") << 0u
                                   << QByteArray("x-x-x") << 4u;
    QTest::newRow("at the very end") << QByteArray("...ab") << QByteArray("ab") << true << QByteArray("cd") << 0u
                                     << QByteArray("...cd") << 3u;
}

// Replace All is one step of many pieces: one signal from the first
// occurrence to the end, Undo and Redo both ways, and the last replacement's
// start for the selection.
void TestHexDocEdit::replaceAll()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, find);
    QFETCH(bool, bMatchCase);
    QFETCH(QByteArray, replacement);
    QFETCH(quint32, nFirst);
    QFETCH(QByteArray, after);
    QFETCH(quint32, nLast);
    CHexDoc doc;
    doc.SetContents(bytes);
    QSignalSpy changed(&doc, &CHexDoc::bytesChanged);
    qint64 nLastFound = 0;
    QCOMPARE(doc.ReplaceAll(CBytePattern(find, bMatchCase), nFirst, replacement, {}, nLastFound),
             CHexDoc::EditResult::Done);
    QCOMPARE(Bytes(doc), after);
    QCOMPARE(nLastFound, qint64(nLast));
    QCOMPARE(doc.Data()[doc.GetLength()], std::uint8_t(0xFF));
    std::uint32_t nStart = 0;
    QVERIFY(CBytePattern(find, bMatchCase).FindDown(Ptr(bytes), quint32(bytes.size()), nFirst, nStart));
    const QList<quint32> whole{nStart, quint32(bytes.size()) - nStart, quint32(after.size()) - nStart};
    QCOMPARE(Change(changed), whole);
    QVERIFY(doc.IsModified());

    CEditState state;
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Bytes(doc), bytes);
    QCOMPARE(Change(changed), (QList<quint32>{whole[0], whole[2], whole[1]}));
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.Redo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Bytes(doc), after);
    QCOMPARE(Change(changed), whole);

    // Nothing left to replace from the first occurrence's place on is refused.
    QCOMPARE(doc.ReplaceAll(CBytePattern("none", true), 0, replacement, {}, nLastFound),
             CHexDoc::EditResult::Refused);
    QCOMPARE(changed.count(), 0);
}

// A cancel at the end of the counting pass leaves bytes, history and flag.
void TestHexDocEdit::findFromOutsideTheDocument_data()
{
    QTest::addColumn<qint64>("nFrom");
    QTest::addColumn<bool>("bDown");
    QTest::addColumn<qint64>("nFound");   // -1: not found

    const qint64 n4G = qint64(1) << 32;
    QTest::newRow("down from 4 GiB on") << n4G << true << qint64(-1);
    QTest::newRow("down from just past the end") << qint64(9) << true << qint64(-1);
    QTest::newRow("down from before the start") << qint64(-5) << true << qint64(0);
    QTest::newRow("up from 4 GiB on") << n4G + 1 << false << qint64(6);
    QTest::newRow("up from before the start") << qint64(-1) << false << qint64(-1);
}

// A start past 4 GiB must not be cut to 32 bits and land at the document's
// first bytes.
void TestHexDocEdit::findFromOutsideTheDocument()
{
    QFETCH(qint64, nFrom);
    QFETCH(bool, bDown);
    QFETCH(qint64, nFound);
    CHexDoc doc;
    doc.SetContents("ab-ab-ab");
    const CBytePattern pattern("ab", true);
    qint64 nAt = -1;
    QCOMPARE(doc.Find(pattern, nFrom, bDown, nAt), nFound >= 0);
    QCOMPARE(nAt, nFound);
    nAt = -1;
    const CHexDoc::FindResult expected = nFound >= 0 ? CHexDoc::FindResult::Found : CHexDoc::FindResult::NotFound;
    QCOMPARE(doc.FindWithProgress(pattern, nFrom, bDown, nAt), expected);
    QCOMPARE(nAt, nFound);
    QVERIFY(!doc.MatchesAt(qint64(1) << 32, pattern));
}

void TestHexDocEdit::cancelledReplaceAllChangesNothing()
{
    CHexDoc doc;
    doc.SetContents("ab-ab");
    QSignalSpy changed(&doc, &CHexDoc::bytesChanged);
    CLongTask::s_stepHook = [](CLongTask& task) { task.Cancel(); };
    const auto restore = qScopeGuard([] { CLongTask::s_stepHook = {}; });
    qint64 nLast = 0;
    QCOMPARE(doc.ReplaceAll(CBytePattern("ab", true), 0, "x", {}, nLast), CHexDoc::EditResult::Cancelled);
    QCOMPARE(Bytes(doc), QByteArray("ab-ab"));
    QCOMPARE(changed.count(), 0);
    QVERIFY(!doc.IsModified());
    QVERIFY(!doc.History().CanUndo());
}

// The modified flag is the history's distance from the saved place: undoing
// back to a save clears it, undoing past it sets it, and cleanChanged says so.
void TestHexDocEdit::modifiedFollowsTheHistoryAcrossSave()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("saved.bin");
    CHexDoc doc;
    doc.SetContents("abc");
    QSignalSpy clean(&doc, &CHexDoc::cleanChanged);
    CEditState state;

    QVERIFY(CHexDoc::Changed(doc.SetByte(0, 'X')));
    QVERIFY(CHexDoc::Changed(doc.SetByte(1, 'Y')));
    QVERIFY(doc.OnSaveDocument(path));
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.Redo(state), CHexDoc::EditResult::Done);
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Bytes(doc), QByteArray("abc"));
    QVERIFY(doc.IsModified());   // the file on disk holds "XYc"
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Refused);
    // A new step drops the redo steps, the saved place among them.
    QVERIFY(CHexDoc::Changed(doc.SetByte(2, 'Z')));
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.Redo(state), CHexDoc::EditResult::Done);
    QCOMPARE(doc.Redo(state), CHexDoc::EditResult::Refused);

    QList<bool> seen;
    for (const QList<QVariant>& args : clean)
        seen.append(args[0].toBool());
    QCOMPARE(seen, (QList<bool>{false, true, false, true, false}));
}

void TestHexDocEdit::stepPastTheUndoLimitEmptiesTheHistory()
{
    CHexDoc doc;
    QCOMPARE(doc.History().Limit(), CHexDoc::DefaultUndoLimit());
    doc.SetContents("abc");
    doc.SetUndoLimit(sizeof(CEditStep) + sizeof(qint64) + 4);
    QCOMPARE(doc.ReplaceBytes(0, 0, Ptr("xy"), 2, {}), CHexDoc::EditResult::Done);
    QCOMPARE(doc.ReplaceBytes(0, 0, Ptr("12345"), 5, {}), CHexDoc::EditResult::DoneWithoutUndo);
    QCOMPARE(Bytes(doc), QByteArray("12345xyabc"));
    QVERIFY(!doc.History().CanUndo());
    QVERIFY(doc.IsModified());
}

void TestHexDocEdit::codePageSignal()
{
    CHexDoc doc;
    doc.SetContents("\xB0\xA1");
    QSignalSpy changed(&doc, &CHexDoc::codePageChanged);
    QVERIFY(doc.SetCodePage(936));
    QVERIFY(!doc.SetCodePage(936));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 936);
    QCOMPARE(doc.GetCodePage(), 936);
}

QTEST_GUILESS_MAIN(TestHexDocEdit)
#include "tst_hexdoc_edit.moc"
