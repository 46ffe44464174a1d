// Bookmarks on a CHexDoc alone: how they follow each kind of edit, Undo and
// Redo, Replace All, the text file and keeping them from one run to the next.

#include "bookmarks.h"
#include "bytepattern.h"
#include "filename.h"
#include "hexdoc.h"
#include "settingsprofile.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QScopeGuard>
#include <QtTest>

namespace {

using Marks = QList<QPair<quint32, quint32>>;

Marks Ranges(const CHexDoc& doc)
{
    Marks marks;
    for (const CBookmark& mark : doc.Bookmarks().List())
        marks.append({mark.nOffset, mark.nLength});
    return marks;
}

} // namespace

Q_DECLARE_METATYPE(Marks)

class TestBookmarks : public QObject {
    Q_OBJECT

private slots:
    void followEdits_data();
    void followEdits();
    void replaceAllAndUndo();
    void typedRunUndoneAtOnce();
    void markAddedAfterEditSurvivesUndoAndRedo();
    void nothingEmittedWithoutBookmarks();
    void neighboursWrap();
    void textRoundTrip();
    void malformedLine_data();
    void malformedLine();
    void keptAcrossRestart_data();
    void keptAcrossRestart();
    void profileKeepsRecentFilesOnly();
    void nameNotUtf8KeepsItsMarks();
};

void TestBookmarks::followEdits_data()
{
    QTest::addColumn<quint32>("pos");
    QTest::addColumn<quint32>("removed");
    QTest::addColumn<quint32>("inserted");
    QTest::addColumn<Marks>("after");

    // The bookmark covers bytes 10-19 of 40.
    QTest::newRow("insert before") << 2u << 0u << 3u << Marks{{13, 10}};
    QTest::newRow("insert at its start moves it") << 10u << 0u << 3u << Marks{{13, 10}};
    QTest::newRow("insert at its end leaves it") << 20u << 0u << 3u << Marks{{10, 10}};
    QTest::newRow("insert inside grows it") << 15u << 0u << 3u << Marks{{10, 13}};
    QTest::newRow("delete before") << 0u << 4u << 0u << Marks{{6, 10}};
    QTest::newRow("delete after") << 25u << 5u << 0u << Marks{{10, 10}};
    QTest::newRow("delete across its start") << 5u << 10u << 0u << Marks{{5, 5}};
    QTest::newRow("delete across its end") << 15u << 10u << 0u << Marks{{10, 5}};
    QTest::newRow("delete inside") << 12u << 3u << 0u << Marks{{10, 7}};
    QTest::newRow("delete it whole") << 10u << 10u << 0u << Marks{};
    QTest::newRow("delete round it") << 8u << 20u << 0u << Marks{};
    QTest::newRow("overwrite inside keeps it") << 12u << 3u << 3u << Marks{{10, 10}};
    QTest::newRow("overwrite across its start keeps it") << 8u << 4u << 4u << Marks{{10, 10}};
    QTest::newRow("shorter replacement inside") << 12u << 6u << 2u << Marks{{10, 6}};
    QTest::newRow("replacement over it all") << 8u << 20u << 2u << Marks{};
}

// Each edit, then Undo (back where it was), then Redo (as the edit left it).
void TestBookmarks::followEdits()
{
    QFETCH(quint32, pos);
    QFETCH(quint32, removed);
    QFETCH(quint32, inserted);
    QFETCH(Marks, after);

    CHexDoc doc;
    doc.SetContents(QByteArray(40, 'a'));
    doc.Bookmarks().Add(10, 10, "name");
    const QByteArray bytes(int(inserted), 'b');
    QCOMPARE(doc.ReplaceBytes(pos, removed, reinterpret_cast<const std::uint8_t*>(bytes.constData()), inserted, {}),
             CHexDoc::EditResult::Done);
    QCOMPARE(Ranges(doc), after);

    CEditState state;
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Ranges(doc), (Marks{{10, 10}}));
    QCOMPARE(doc.Bookmarks().At(0).strName, QString("name"));
    QCOMPARE(doc.Redo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Ranges(doc), after);
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Ranges(doc), (Marks{{10, 10}}));
}

void TestBookmarks::replaceAllAndUndo()
{
    CHexDoc doc;
    doc.SetContents("xx..xx..xx..xx..");
    doc.Bookmarks().Add(2, 2);    // between the first two
    doc.Bookmarks().Add(4, 2);    // the second occurrence, whole
    doc.Bookmarks().Add(9, 6);    // from inside the third across the fourth
    const CBytePattern pattern("xx", true);
    qint64 nLast = 0;
    QCOMPARE(doc.ReplaceAll(pattern, 0, "Y", {}, nLast), CHexDoc::EditResult::Done);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(doc.Data()), int(doc.GetLength())), QByteArray("Y..Y..Y..Y.."));
    // The second occurrence's bookmark shrank to its one new byte; the last
    // keeps its two dots and the fourth replacement.
    QCOMPARE(Ranges(doc), (Marks{{1, 2}, {3, 1}, {7, 4}}));
    CEditState state;
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Ranges(doc), (Marks{{2, 2}, {4, 2}, {9, 6}}));
    QCOMPARE(doc.Redo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Ranges(doc), (Marks{{1, 2}, {3, 1}, {7, 4}}));
}

// Typing extends one step; its undo puts the bookmark back as it was before
// the first typed byte.
void TestBookmarks::typedRunUndoneAtOnce()
{
    CHexDoc doc;
    doc.SetContents(QByteArray(20, 'a'));
    doc.Bookmarks().Add(4, 4);
    const std::uint8_t b = 'z';
    for (std::uint32_t i = 0; i < 3; ++i)
        QCOMPARE(doc.ReplaceBytes(6 + i, 0, &b, 1, {}, true), CHexDoc::EditResult::Done);
    QCOMPARE(Ranges(doc), (Marks{{4, 7}}));
    QCOMPARE(doc.History().Count(), std::size_t(1));
    CEditState state;
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(Ranges(doc), (Marks{{4, 4}}));
}

// A bookmark put on the new bytes goes when Undo takes them out, and comes
// back with Redo.
void TestBookmarks::markAddedAfterEditSurvivesUndoAndRedo()
{
    CHexDoc doc;
    doc.SetContents(QByteArray(8, 'a'));
    const QByteArray bytes(4, 'b');
    doc.ReplaceBytes(2, 0, reinterpret_cast<const std::uint8_t*>(bytes.constData()), 4, {});
    doc.Bookmarks().Add(3, 2, "new");
    CEditState state;
    doc.Undo(state);
    QCOMPARE(Ranges(doc), Marks{});
    doc.Redo(state);
    QCOMPARE(Ranges(doc), (Marks{{3, 2}}));
    QCOMPARE(doc.Bookmarks().At(0).strName, QString("new"));
}

void TestBookmarks::nothingEmittedWithoutBookmarks()
{
    CHexDoc doc;
    doc.SetContents(QByteArray(8, 'a'));
    QSignalSpy spy(&doc.Bookmarks(), &CBookmarks::bookmarksChanged);
    doc.ReplaceBytes(0, 2, nullptr, 0, {});
    CEditState state;
    doc.Undo(state);
    QCOMPARE(spy.count(), 0);
    doc.Bookmarks().Add(6, 1);
    QCOMPARE(spy.count(), 1);
    doc.ReplaceBytes(7, 1, nullptr, 0, {});   // after it: nothing moves
    QCOMPARE(spy.count(), 1);
}

void TestBookmarks::neighboursWrap()
{
    CBookmarks marks;
    marks.Add(0x30, 1);
    marks.Add(0x10, 4);
    bool bWrapped = true;
    QCOMPARE(marks.Neighbour(0x10, true, bWrapped), 1);
    QVERIFY(!bWrapped);
    QCOMPARE(marks.Neighbour(0x30, true, bWrapped), 0);
    QVERIFY(bWrapped);
    QCOMPARE(marks.Neighbour(0x10, false, bWrapped), 1);
    QVERIFY(bWrapped);
    QCOMPARE(marks.Neighbour(0x20, false, bWrapped), 0);
    QVERIFY(!bWrapped);
}

void TestBookmarks::textRoundTrip()
{
    CBookmarks marks;
    marks.Add(0x1A2B, 0x10, QString::fromUtf8("表 header  two spaces"));
    marks.Add(0, 1, "");
    marks.Add(5, 2, "line\nbreak");
    const QString text = marks.ToText();
    QCOMPARE(text.section('\n', 0, 0), QString("0 1 "));
    QCOMPARE(text.section('\n', 2, 2), QString::fromUtf8("1A2B 10 表 header  two spaces"));
    std::vector<CBookmark> read;
    int nBadLine = 0;
    QVERIFY(CBookmarks::FromText(text, 0x1A2B + 0x10, read, nBadLine));
    CBookmarks again;
    again.SetAll(read);
    QCOMPARE(again.List(), marks.List());
    QCOMPARE(again.At(1).strName, QString("line break"));
}

void TestBookmarks::malformedLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::newRow("not hex") << "10 2 a\n\nzz 2 b\n" << 3;
    QTest::newRow("no length") << "10\n" << 1;
    QTest::newRow("empty length") << "10 0 none\n" << 1;
    QTest::newRow("past the end") << "0 1 a\r\nFF 2 b\r\n" << 2;
    QTest::newRow("two spaces") << "10  2 a\n" << 1;
    // Offset and length whose sum wraps round 64 bits to a small number.
    QTest::newRow("sum past 64 bits") << "0 1 a\nFFFFFFFFFFFFFFFF 2 b\n" << 2;
    QTest::newRow("offset past the end, tiny length") << "101 1 a\n" << 1;
}

void TestBookmarks::malformedLine()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    std::vector<CBookmark> read{{1, 1, "kept", 0}};
    int nBadLine = 0;
    QVERIFY(!CBookmarks::FromText(text, 0x100, read, nBadLine));
    QCOMPARE(nBadLine, line);
    QCOMPARE(read.size(), std::size_t(1));
}

void TestBookmarks::keptAcrossRestart_data()
{
    QTest::addColumn<bool>("bPieces");
    QTest::newRow("held whole") << false;
    QTest::newRow("held as pieces") << true;
}

// Stored under the file's canonical path when the document goes, read back
// by a document opening the same file by another name in a new profile object.
void TestBookmarks::keptAcrossRestart()
{
    QFETCH(bool, bPieces);
    const qint64 nThreshold = CHexDoc::s_nPieceThreshold;
    const auto restore = qScopeGuard([nThreshold] { CHexDoc::s_nPieceThreshold = nThreshold; });
    if (bPieces)
        CHexDoc::s_nPieceThreshold = 0;
    const QString name = bPieces ? "kept-pieces.bin" : "kept.bin";
    const QString path = TestSupport::writeScratchFile(name, QByteArray(64, 'k'));
    {
        CSettingsProfile profile;
        profile.SetRegistryKey("Vantorel", "Zorbel");
        CHexDoc doc;
        doc.SetBookmarkProfile(&profile);
        QVERIFY(doc.OnOpenDocument(path));
        doc.Bookmarks().Add(0x20, 8, "table");
        doc.Bookmarks().Add(0x3F, 1);
        doc.DeleteContents();
        profile.Sync();
    }
    CSettingsProfile profile;
    profile.SetRegistryKey("Vantorel", "Zorbel");
    CHexDoc doc;
    doc.SetBookmarkProfile(&profile);
    QVERIFY(doc.OnOpenDocument(QFileInfo(path).dir().path() + "/./" + name));
    QCOMPARE(doc.IsPieceMode(), bPieces);
    QCOMPARE(Ranges(doc), (Marks{{0x20, 8}, {0x3F, 1}}));
    QCOMPARE(doc.Bookmarks().At(0).strName, QString("table"));
}

void TestBookmarks::profileKeepsRecentFilesOnly()
{
    CSettingsProfile profile;
    profile.SetRegistryKey("Vantorel", "RecentMarks");
    CBookmarks marks;
    marks.Add(1, 1);
    for (int i = 0; i <= CBookmarks::kMaxFiles; ++i)
        CBookmarks::Store(profile, QString("/f%1").arg(i), marks);
    QVERIFY(CBookmarks::Load(profile, "/f0", 10).empty());
    QCOMPARE(CBookmarks::Load(profile, "/f1", 10).size(), std::size_t(1));
    QCOMPARE(CBookmarks::Load(profile, QString("/f%1").arg(CBookmarks::kMaxFiles), 10).size(), std::size_t(1));
    CBookmarks::Store(profile, "/f1", CBookmarks());   // none left: the file's entry goes
    QVERIFY(CBookmarks::Load(profile, "/f1", 10).empty());
    QCOMPARE(profile.GetProfileString("Bookmarks", QString("File%1").arg(CBookmarks::kMaxFiles)), QString());
}

// A file whose name is not UTF-8 keeps its marks under its own bytes, never
// under the name Qt would make of it with U+FFFD.
void TestBookmarks::nameNotUtf8KeepsItsMarks()
{
    CSettingsProfile profile;
    profile.SetRegistryKey("Vantorel", "RawNameMarks");
    CBookmarks marks;
    marks.Add(2, 3);
    const QString path = AfxDecodeFileName("/data/\xD6\xD0.bin");
    CBookmarks::Store(profile, path, marks);
    QCOMPARE(profile.GetProfileString("Bookmarks", "File1"), QString("file:///data/%D6%D0.bin"));
    QCOMPARE(CBookmarks::Load(profile, path, 10).size(), std::size_t(1));
    QVERIFY(CBookmarks::Load(profile, QFile::decodeName("/data/\xD6\xD0.bin"), 10).empty());
}

QTEST_GUILESS_MAIN(TestBookmarks)
#include "tst_bookmarks.moc"
