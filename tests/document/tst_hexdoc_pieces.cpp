#include "afxmsg.h"
#include "afxres.h"
#include "archive.h"
#include "bytepattern.h"
#include "fileexception.h"
#include "codepage.h"
#include "filename.h"
#include "hexdoc.h"
#include "longtask.h"
#include "rowformat.h"
#include "testsupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QtTest>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace TestSupport;

// A document past the line held as pieces over its file, against the same
// bytes held whole.
class TestHexDocPieces : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void sameAsWhole_data();
    void sameAsWhole();
    void findsAsWhole_data();
    void findsAsWhole();
    void rowsPairAsWholeOverLeadRuns_data();
    void rowsPairAsWholeOverLeadRuns();
    void saveWritesAndReopens();
    void undoesAcrossSaves_data();
    void undoesAcrossSaves();
    void changedByAnotherProgram_data();
    void changedByAnotherProgram();
    void pastFourGiB();
    void replaceNearTheEndKeptAfterManyPieces();
    void noRewriteOverItself();
    void guessesInTheBackground_data();
    void guessesInTheBackground();
    void chosenCodePageWinsOverTheGuess();
    void replaceAllBuildsInItsTask();

private:
    // A document of bytes, held whole or (bPieces) as pieces over a file.
    static void open(CHexDoc& doc, const QString& name, const QByteArray& bytes, bool bPieces);
    static QByteArray all(const CHexDoc& doc);

    QStringList m_messages;
    int m_nAnswer = IDOK;
    qint64 m_nThreshold = 0;
};

void TestHexDocPieces::initTestCase()
{
    m_nThreshold = CHexDoc::s_nPieceThreshold;
    AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
        m_messages << text;
        return m_nAnswer;
    });
}

void TestHexDocPieces::init()
{
    m_messages.clear();
    m_nAnswer = IDOK;
}

void TestHexDocPieces::cleanup()
{
    CHexDoc::s_nPieceThreshold = m_nThreshold;
}

void TestHexDocPieces::open(CHexDoc& doc, const QString& name, const QByteArray& bytes, bool bPieces)
{
    CHexDoc::s_nPieceThreshold = bPieces ? 0 : qint64(1) << 40;
    const QString path = writeScratchFile(name, bytes);
    QVERIFY(doc.OnOpenDocument(path));
    doc.SetPathName(path);
    QCOMPARE(doc.IsPieceMode(), bPieces && !bytes.isEmpty());
}

QByteArray TestHexDocPieces::all(const CHexDoc& doc)
{
    QByteArray bytes(doc.Length(), Qt::Uninitialized);
    if (!doc.Read(0, bytes.size(), reinterpret_cast<std::uint8_t*>(bytes.data())))
        return "read failed";
    return bytes;
}

void TestHexDocPieces::sameAsWhole_data()
{
    QTest::addColumn<int>("nLength");
    QTest::addColumn<quint32>("nSeed");
    QTest::addColumn<int>("nMaxRun");
    // Edits across the 64 KiB blocks of the file and the pieces they make.
    QTest::newRow("three blocks, short edits") << 200000 << 1u << 8;
    QTest::newRow("three blocks, long edits") << 200000 << 2u << 70000;
    QTest::newRow("one block, many pieces") << 5000 << 3u << 4;
    QTest::newRow("a few bytes, edits to empty") << 40 << 4u << 30;
}

// Seeded random inserts, deletes, overwrites, typing, Replace All, undo and
// redo on both documents: every byte read alike, and the same results.
void TestHexDocPieces::sameAsWhole()
{
    QFETCH(int, nLength);
    QFETCH(quint32, nSeed);
    QFETCH(int, nMaxRun);
    QRandomGenerator gen(nSeed);
    QByteArray bytes(nLength, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(gen.bounded(4) == 0 ? 'A' + gen.bounded(3) : gen.bounded(256));
    CHexDoc whole;
    CHexDoc pieces;
    open(whole, "whole.bin", bytes, false);
    open(pieces, "pieces.bin", bytes, true);
    // Bookmarks move with the edits and come back with undo alike.
    for (int i = 0; i < 8; ++i) {
        const auto nAt = std::uint32_t(gen.bounded(nLength));
        const auto nSpan = std::uint32_t(1 + gen.bounded(std::min(nLength - int(nAt), nMaxRun)));
        whole.Bookmarks().Add(nAt, nSpan);
        pieces.Bookmarks().Add(nAt, nSpan);
    }
    auto marks = [](const CHexDoc& doc) {
        QList<QPair<quint32, quint32>> list;
        for (const CBookmark& mark : doc.Bookmarks().List())
            list.append({mark.nOffset, mark.nLength});
        return list;
    };
    for (int i = 0; i < 3000; ++i) {
        const auto nDocLength = std::uint32_t(whole.Length());
        const int nKind = gen.bounded(10);
        CHexDoc::EditResult a = CHexDoc::EditResult::Refused;
        CHexDoc::EditResult b = CHexDoc::EditResult::Refused;
        CEditState stateA;
        CEditState stateB;
        if (nKind < 5) {
            const auto nPos = std::uint32_t(gen.bounded(nDocLength + 1));
            const auto nRemove = std::uint32_t(gen.bounded(std::min<std::uint32_t>(nMaxRun, nDocLength - nPos) + 1));
            QByteArray insert(gen.bounded(nMaxRun + 1), Qt::Uninitialized);
            for (char& c : insert)
                c = char(gen.bounded(256));
            const bool bTyping = nKind == 4;
            const auto* p = reinterpret_cast<const std::uint8_t*>(insert.constData());
            a = whole.ReplaceBytes(nPos, nRemove, p, std::uint32_t(insert.size()), {}, bTyping);
            b = pieces.ReplaceBytes(nPos, nRemove, p, std::uint32_t(insert.size()), {}, bTyping);
        } else if (nKind == 5) {
            const CBytePattern pattern(QByteArray(1 + gen.bounded(2), 'A'), true, 1252);
            const QByteArray replacement(gen.bounded(4), 'r');
            const auto nFirst = std::uint32_t(gen.bounded(nDocLength + 1));
            qint64 nLastA = 0;
            qint64 nLastB = 0;
            std::uint64_t nCountA = 0;
            std::uint64_t nCountB = 0;
            a = whole.ReplaceAll(pattern, nFirst, replacement, {}, nLastA, &nCountA);
            b = pieces.ReplaceAll(pattern, nFirst, replacement, {}, nLastB, &nCountB);
            if (CHexDoc::Changed(a)) {
                QCOMPARE(nLastB, nLastA);
                QCOMPARE(nCountB, nCountA);
            }
        } else if (nKind < 8) {
            a = whole.Undo(stateA);
            b = pieces.Undo(stateB);
        } else {
            a = whole.Redo(stateA);
            b = pieces.Redo(stateB);
        }
        QCOMPARE(int(b), int(a));
        QCOMPARE(pieces.Length(), whole.Length());
        QCOMPARE(pieces.IsModified(), whole.IsModified());
        QCOMPARE(marks(pieces), marks(whole));
        if (i % 50 == 0 || nLength < 10000)
            QCOMPARE(all(pieces), all(whole));
    }
    QCOMPARE(all(pieces), all(whole));
    // Both histories hold their steps: undoing all of them gives the file back.
    CEditState state;
    while (whole.Undo(state) == CHexDoc::EditResult::Done)
        QCOMPARE(pieces.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(all(pieces), bytes);
    QVERIFY(!pieces.IsModified());
}

void TestHexDocPieces::findsAsWhole_data()
{
    QTest::addColumn<QByteArray>("what");
    QTest::addColumn<int>("nCodePage");
    QTest::addColumn<bool>("bMatchCase");
    QTest::newRow("bytes") << QByteArray("AB") << 1252 << true;
    QTest::newRow("letters folded") << QByteArray("ab") << 1252 << false;
    // The pairing of GB's double bytes decides where a letter may match.
    QTest::newRow("letters after lead bytes") << QByteArray("a") << 936 << false;
}

// Find both ways, MatchesAt and FindWithProgress, from starts on either side
// of the 64 KiB blocks, against the whole document.
void TestHexDocPieces::findsAsWhole()
{
    QFETCH(QByteArray, what);
    QFETCH(int, nCodePage);
    QFETCH(bool, bMatchCase);
    QRandomGenerator gen(7);
    QByteArray bytes(140000, Qt::Uninitialized);
    const char pool[] = {'A', 'B', 'a', 'b', char(0xB0), char(0xC1), 'x'};
    for (char& c : bytes)
        c = pool[gen.bounded(int(sizeof(pool)))];
    CHexDoc whole;
    CHexDoc pieces;
    open(whole, "find-whole.bin", bytes, false);
    open(pieces, "find-pieces.bin", bytes, true);
    const CBytePattern pattern(what, bMatchCase, nCodePage);
    for (const std::uint32_t nFrom : {0u, 65535u, 65536u, 65537u, 131071u, 139999u}) {
        for (const bool bDown : {true, false}) {
            qint64 nA = 0;
            qint64 nB = 0;
            const bool bA = whole.Find(pattern, nFrom, bDown, nA);
            QCOMPARE(pieces.Find(pattern, nFrom, bDown, nB), bA);
            if (bA)
                QCOMPARE(nB, nA);
            QCOMPARE(int(pieces.FindWithProgress(pattern, nFrom, bDown, nB)),
                     int(whole.FindWithProgress(pattern, nFrom, bDown, nA)));
        }
        for (std::uint32_t nAt = nFrom; nAt < nFrom + 4 && nAt < 140000; ++nAt)
            QCOMPARE(pieces.MatchesAt(nAt, pattern), whole.MatchesAt(nAt, pattern));
    }
}

// The pieces are written in order through the safe writer; the document then
// holds the new file as one piece, unmodified.
void TestHexDocPieces::rowsPairAsWholeOverLeadRuns_data()
{
    QTest::addColumn<int>("nCodePage");
    QTest::addColumn<quint32>("nSeed");
    for (const int nCodePage : {936, 932, 949})
        QTest::addRow("%d", nCodePage) << nCodePage << quint32(nCodePage);
}

// Five blocks of 0xCD, a lead byte of every double-byte code page, broken
// by a few other bytes and edited: once every block was read (and so known
// to be all lead bytes or not), whether a row starts with a trail byte is
// what the walk over the whole buffer says, rows at the blocks' ends too.
void TestHexDocPieces::rowsPairAsWholeOverLeadRuns()
{
    QFETCH(int, nCodePage);
    QFETCH(quint32, nSeed);
    constexpr int kBlock = 1 << 16;
    QRandomGenerator gen(nSeed);
    QByteArray bytes(5 * kBlock + 100, char(0xCD));
    for (int i = 0; i < 6; ++i)
        bytes[gen.bounded(bytes.size())] = char(gen.bounded(0x80));
    // A run that starts right at a block's start.
    bytes[2 * kBlock - 1] = 'x';
    CHexDoc whole;
    CHexDoc pieces;
    open(whole, "lead-whole.bin", bytes, false);
    open(pieces, "lead-pieces.bin", bytes, true);
    for (int i = 0; i < 20; ++i) {
        const qint64 nPos = gen.bounded(quint32(whole.Length()));
        const QByteArray insert(gen.bounded(5), gen.bounded(2) ? char(0xCD) : 'a');
        const qint64 nRemove = gen.bounded(3);
        const auto* p = reinterpret_cast<const std::uint8_t*>(insert.constData());
        QCOMPARE(pieces.ReplaceBytes(nPos, nRemove, p, insert.size(), {}),
                 whole.ReplaceBytes(nPos, nRemove, p, insert.size(), {}));
    }
    QCOMPARE(all(pieces), all(whole));
    whole.SetCodePage(nCodePage);
    pieces.SetCodePage(nCodePage);
    const qint64 nRows = whole.Length() / 16 + 1;
    std::vector<qint64> rows;
    for (qint64 nEdge = kBlock / 16; nEdge < nRows; nEdge += kBlock / 16)
        rows.insert(rows.end(), {nEdge - 1, nEdge, nEdge + 1});
    for (int i = 0; i < 60; ++i)
        rows.push_back(gen.bounded(quint32(nRows)));
    for (const qint64 nRow : rows) {
        // A row formatter of its own each time: nothing remembered helps.
        CRowFormat walkWhole;
        CRowFormat walkPieces;
        QCOMPARE(walkPieces.IsRowContinued(pieces, nRow, true), walkWhole.IsRowContinued(whole, nRow, true));
    }
}

void TestHexDocPieces::saveWritesAndReopens()
{
    QByteArray bytes(150000, 'q');
    CHexDoc doc;
    open(doc, "save.bin", bytes, true);
    const QString path = doc.GetPathName();
    const std::uint8_t typed[] = {'1', '2'};
    QCOMPARE(doc.ReplaceBytes(0, 0, typed, 2, {}), CHexDoc::EditResult::Done);
    QCOMPARE(doc.ReplaceBytes(100000, 5, nullptr, 0, {}), CHexDoc::EditResult::Done);
    bytes.insert(0, "12").remove(100000, 5);
    QVERIFY(doc.OnSaveDocument(path));
    QCOMPARE(readFile(path), bytes);
    QVERIFY(!doc.IsModified());
    QVERIFY(doc.IsReadable());
    QCOMPARE(all(doc), bytes);
    // The file the rename replaced stays open while the history's steps
    // refer to it, so that Undo gives its bytes back.
    QVERIFY(TestSupport::holdsRemovedFile(path));

    // Saved over its own file, which the rename replaced: still read, and
    // edited and saved again, elsewhere.
    QCOMPARE(doc.SetByte(149990, 'z'), CHexDoc::EditResult::Done);
    bytes[149990] = 'z';
    const QString copy = scratchDir() + "/save-copy.bin";
    QVERIFY(doc.OnSaveDocument(copy));
    QCOMPARE(readFile(copy), bytes);
    QCOMPARE(all(doc), bytes);
    QVERIFY(m_messages.isEmpty());
    // Emptied, the document lets the replaced file go: its room on the disk
    // is given back.
    doc.DeleteContents();
    QTRY_VERIFY(!TestSupport::holdsRemovedFile(path));
}

void TestHexDocPieces::undoesAcrossSaves_data()
{
    QTest::addColumn<quint32>("nSeed");
    QTest::addColumn<bool>("bElsewhere");
    QTest::newRow("saved over itself") << 11u << false;
    QTest::newRow("saved over itself, again") << 12u << false;
    QTest::newRow("saved under other names") << 13u << true;
}

// Seeded edits, undo, redo and saves (each renaming a new file over the name)
// against the states they went through: after a save the history goes on over
// the file the pieces read from, no longer named, Undo gives back the bytes as
// they were before it, the modified flag follows the place saved last, and
// every save writes what the document shows.
void TestHexDocPieces::undoesAcrossSaves()
{
    QFETCH(quint32, nSeed);
    QFETCH(bool, bElsewhere);
    QRandomGenerator gen(nSeed);
    QByteArray original(200000, Qt::Uninitialized);
    for (char& c : original)
        c = char(gen.bounded(256));
    CHexDoc doc;
    open(doc, "undo-save.bin", original, true);
    std::vector<QByteArray> states{original};
    std::size_t nState = 0;
    std::size_t nSaved = 0;
    int nSaves = 0;
    for (int i = 0; i < 300; ++i) {
        const int nKind = gen.bounded(10);
        CEditState state;
        if (nKind < 5) {
            QByteArray bytes = states[nState];
            const qint64 nPos = gen.bounded(quint32(bytes.size()));
            const qint64 nRemove = gen.bounded(quint32(std::min<qint64>(bytes.size() - nPos, 70000)));
            const QByteArray insert(gen.bounded(100), char('a' + gen.bounded(26)));
            QCOMPARE(doc.ReplaceBytes(nPos, nRemove, reinterpret_cast<const std::uint8_t*>(insert.constData()),
                                      insert.size(), {}),
                     CHexDoc::EditResult::Done);
            states.resize(++nState);
            states.push_back(bytes.replace(nPos, nRemove, insert));
            if (nSaved >= nState)
                nSaved = std::size_t(-1);
        } else if (nKind < 7) {
            QCOMPARE(doc.Undo(state), nState > 0 ? CHexDoc::EditResult::Done : CHexDoc::EditResult::Refused);
            nState -= nState > 0;
        } else if (nKind < 9) {
            const bool bCan = nState + 1 < states.size();
            QCOMPARE(doc.Redo(state), bCan ? CHexDoc::EditResult::Done : CHexDoc::EditResult::Refused);
            nState += bCan;
        } else {
            const QString path = bElsewhere ? scratchDir() + QStringLiteral("/undo-save-%1.bin").arg(++nSaves)
                                            : doc.GetPathName();
            QVERIFY(doc.OnSaveDocument(path));
            doc.SetPathName(path);
            QCOMPARE(readFile(path), states[nState]);
            nSaved = nState;
        }
        QCOMPARE(doc.IsModified(), nState != nSaved);
        if (i % 10 == 0)
            QCOMPARE(all(doc), states[nState]);
    }
    CEditState state;
    while (nState > 0) {
        QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
        --nState;
    }
    QCOMPARE(all(doc), original);
    QCOMPARE(doc.IsModified(), nSaved != 0);
    QVERIFY(doc.OnSaveDocument(doc.GetPathName()));
    QCOMPARE(readFile(doc.GetPathName()), original);
    QVERIFY(doc.IsReadable());
    QVERIFY(m_messages.isEmpty());
}

void TestHexDocPieces::changedByAnotherProgram_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("truncated") << "truncate";
    QTest::newRow("rewritten in place, same length") << "rewrite";
    QTest::newRow("replaced by a rename") << "rename";
    QTest::newRow("removed") << "remove";
}

// Nothing mixed is shown or saved: the reads fail (the user told once), the
// edits stay, and a save that would read the file is refused, leaving the
// target as it was.
void TestHexDocPieces::changedByAnotherProgram()
{
    QFETCH(QString, how);
    const QByteArray bytes(300000, 'o');
    CHexDoc doc;
    open(doc, "changed.bin", bytes, true);
    const QString path = doc.GetPathName();
    QSignalSpy unreadable(&doc, &CHexDoc::fileUnreadable);
    const std::uint8_t typed = 'e';
    QCOMPARE(doc.ReplaceBytes(10, 0, &typed, 1, {}), CHexDoc::EditResult::Done);
    QCOMPARE(doc.ByteAt(0), std::uint8_t('o'));

    // Another program; the time stamp moved on as a later write's would.
    QByteArray other(bytes.size(), 'N');
    if (how == "truncate") {
        QVERIFY(::truncate(QFile::encodeName(path).constData(), 1000) == 0);
    } else if (how == "rewrite") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.write(other);
        file.close();
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    } else if (how == "rename") {
        const QString fresh = writeScratchFile("changed-new.bin", other);
        QVERIFY(::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path).constData()) == 0);
    } else {
        QVERIFY(QFile::remove(path));
    }

    // A block not read before fails; the user hears of it once.
    QCOMPARE(doc.ByteAt(250000), std::uint8_t(0xFF));
    QCOMPARE(doc.ByteAt(200000), std::uint8_t(0xFF));
    QVERIFY(!doc.IsReadable());
    QCOMPARE(unreadable.count(), 1);
    QVERIFY(unreadable.at(0).at(0).toString().contains(AfxDisplayFileName(path)));
    // The edit is kept: the byte typed still reads, the document is modified.
    QCOMPARE(doc.ByteAt(10), std::uint8_t('e'));
    QVERIFY(doc.IsModified());

    const QString copy = scratchDir() + "/changed-copy.bin";
    QFile::remove(copy);
    QVERIFY(!doc.OnSaveDocument(copy));
    QVERIFY(!QFile::exists(copy));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.at(0).contains(AfxDisplayFileName(path)));
    // Over the changed file itself, even when the user says to save over it.
    m_nAnswer = IDYES;
    const QByteArray onDisk = QFile::exists(path) ? readFile(path) : QByteArray();
    QVERIFY(!doc.OnSaveDocument(path));
    QCOMPARE(QFile::exists(path) ? readFile(path) : QByteArray(), onDisk);
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.ByteAt(10), std::uint8_t('e'));
}

// A sparse file past 4 GiB: read at and across the boundary, edited before it
// so that its bytes move across, undone, and saved when the disk has room.
void TestHexDocPieces::pastFourGiB()
{
    const qint64 k4G = qint64(1) << 32;
    const QString path = scratchDir() + "/past4g.bin";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!file.resize(k4G + 100))
        QSKIP("the file system cannot hold a sparse file past 4 GiB");
    QVERIFY(file.seek(k4G - 2));
    file.write("\x11\x22\x33\x44", 4);
    file.close();
    const auto remove = qScopeGuard([path] { QFile::remove(path); });

    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(path));
    QVERIFY(doc.IsPieceMode());
    QCOMPARE(doc.Length(), k4G + 100);
    std::uint8_t at[8] = {};
    QVERIFY(doc.Read(k4G - 3, 6, at));
    QCOMPARE(QByteArray(reinterpret_cast<char*>(at), 6), QByteArray("\x00\x11\x22\x33\x44\x00", 6));
    QByteArray hold;
    const std::uint8_t* span = doc.Span(k4G - 2, 4, hold);
    QVERIFY(span);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(span), 4), QByteArray("\x11\x22\x33\x44"));
    QCOMPARE(doc.ByteAt(k4G + 99), std::uint8_t(0));
    QCOMPARE(doc.ByteAt(k4G + 100), std::uint8_t(0xFF));
    // The last row, the end marker after it.
    QVERIFY(doc.Read(k4G + 96, 8, at) && at[4] == 0xFF && at[3] == 0);

    const std::uint8_t two[] = {0xAA, 0xBB};
    QCOMPARE(doc.ReplaceBytes(0, 0, two, 2, {}), CHexDoc::EditResult::Done);
    QCOMPARE(doc.Length(), k4G + 102);
    QCOMPARE(doc.ByteAt(k4G), std::uint8_t(0x11));
    QCOMPARE(doc.ByteAt(k4G + 3), std::uint8_t(0x44));
    QCOMPARE(doc.ByteAt(0), std::uint8_t(0xAA));
    CEditState state;
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(doc.ByteAt(k4G - 2), std::uint8_t(0x11));
    QCOMPARE(doc.Length(), k4G + 100);
    QCOMPARE(doc.Redo(state), CHexDoc::EditResult::Done);
    // Past 4 GiB: two bytes replaced by one, the change told with its 64-bit
    // offset, found there, undone.
    QSignalSpy changed(&doc, &CHexDoc::bytesChanged);
    QCOMPARE(doc.ReplaceBytes(k4G + 1, 2, two, 1, {}), CHexDoc::EditResult::Done);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toLongLong(), k4G + 1);
    QCOMPARE(doc.Length(), k4G + 101);
    QVERIFY(doc.Read(k4G - 1, 4, at));
    QCOMPARE(QByteArray(reinterpret_cast<char*>(at), 4), QByteArray("\x00\x11\xAA\x44", 4));
    qint64 nFound = 0;
    QVERIFY(doc.Find(CBytePattern(QByteArray("\xAA"), true), k4G - 10, true, nFound));
    QCOMPARE(nFound, k4G + 1);
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QVERIFY(doc.Read(k4G - 1, 4, at));
    QCOMPARE(QByteArray(reinterpret_cast<char*>(at), 4), QByteArray("\x00\x11\x22\x33", 4));

    // The save writes every byte: 4 GiB of disk and a while.
    if (QStorageInfo(scratchDir()).bytesAvailable() < 3 * k4G || !qEnvironmentVariableIsSet("ZORBEL_TEST_BIG_SAVE"))
        QSKIP("saving past 4 GiB needs ZORBEL_TEST_BIG_SAVE and 12 GiB free");
    const QString copy = scratchDir() + "/past4g-copy.bin";
    const auto removeCopy = qScopeGuard([copy] { QFile::remove(copy); });
    QVERIFY(doc.OnSaveDocument(copy));
    QFile saved(copy);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.size(), k4G + 102);
    QVERIFY(saved.seek(k4G));
    QCOMPARE(saved.read(4), QByteArray("\x11\x22\x33\x44"));
}

void TestHexDocPieces::guessesInTheBackground_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const qint64 nPart = CHexDoc::kDetectPart;
    const QByteArray ascii(int(nPart) - 1, 'a');
    QByteArray random(1 << 20, Qt::Uninitialized);
    QRandomGenerator gen(5);
    gen.fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
    QTest::newRow("GB in the first part") << QByteArray("ab\xB0\xA1\xC4\xE3");
    QTest::newRow("BIG5 in the second part") << ascii + "aa\xA4\x40";
    QTest::newRow("UTF-8 across the parts") << ascii + "\xE4\xB8\xAD" + "abc";
    QTest::newRow("a GB pair across the parts") << ascii + "\xB0\xA1\xC4\xE3";
    QTest::newRow("random") << random;
}

// The window opens with the user's language's code page; the guess over the
// file a part at a time then sets what the whole scan would have found.
void TestHexDocPieces::guessesInTheBackground()
{
    QFETCH(QByteArray, bytes);
    QByteArray marked = bytes;
    marked.append(char(0xFF));
    const int nExpected = DetectCodePage(reinterpret_cast<const std::uint8_t*>(marked.constData()),
                                         std::uint32_t(marked.size()));
    CHexDoc doc;
    QSignalSpy changed(&doc, &CHexDoc::codePageChanged);
    open(doc, "guess.bin", bytes, true);
    QCOMPARE(doc.GetCodePage(), GetDefaultCodePage());
    QVERIFY(doc.IsDetected());
    if (nExpected != GetDefaultCodePage()) {
        QTRY_COMPARE_WITH_TIMEOUT(doc.GetCodePage(), nExpected, 20000);
        QCOMPARE(changed.count(), 1);
    } else {
        QTest::qWait(300);
        QCOMPARE(doc.GetCodePage(), nExpected);
    }
    // Guess Again reads the document, edits included, a part at a time too.
    doc.SetCodePage(nExpected == 932 ? 936 : 932);
    doc.GuessCodePage();
    QCOMPARE(doc.GetCodePage(), nExpected);
}

// A code page set before the guess ends (chosen, or remembered for the file)
// stays.
void TestHexDocPieces::chosenCodePageWinsOverTheGuess()
{
    CHexDoc doc;
    open(doc, "chosen.bin", QByteArray("ab\xB0\xA1\xC4\xE3"), true);
    QVERIFY(doc.SetCodePage(932));
    QTest::qWait(300);
    QCOMPARE(doc.GetCodePage(), 932);
    // Guess Again cancelled (Esc) changes nothing.
    CLongTask::s_stepHook = [](CLongTask& task) { task.Cancel(); };
    const auto unhook = qScopeGuard([] { CLongTask::s_stepHook = nullptr; });
    doc.GuessCodePage();
    QCOMPARE(doc.GetCodePage(), 932);
}

// Replace All of many occurrences builds the new pieces in its task, where
// the window goes on painting: until the task ends the document reads as it
// was, and after it as replaced; undone, as it was again. The runner here is
// the window's kind, the work on a thread of its own while this one reads.
void TestHexDocPieces::replaceAllBuildsInItsTask()
{
    QByteArray bytes(1 << 21, 'x');
    for (int i = 0; i < bytes.size(); i += 4)
        bytes[i] = 'A';
    CHexDoc doc;
    open(doc, "manyhits.bin", bytes, true);
    int nReads = 0;
    bool bSame = true;
    CLongTask::SetRunner([&](CLongTask&, const std::function<void()>& work) {
        std::atomic<bool> bDone{false};
        std::thread worker([&] {
            work();
            bDone = true;
        });
        while (!bDone) {
            bSame = bSame && all(doc) == bytes;
            ++nReads;
        }
        worker.join();
    });
    const auto unset = qScopeGuard([] { CLongTask::SetRunner({}); });
    qint64 nLast = 0;
    std::uint64_t nCount = 0;
    QCOMPARE(doc.ReplaceAll(CBytePattern(QByteArray("A"), true, 1252), 0, QByteArray("BC"), {}, nLast, &nCount),
             CHexDoc::EditResult::Done);
    QVERIFY(nReads > 0);
    QVERIFY(bSame);
    QCOMPARE(nCount, std::uint64_t(bytes.size() / 4));
    QCOMPARE(all(doc), QByteArray(bytes).replace('A', "BC"));
    CEditState state;
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(all(doc), bytes);
}

// What a Replace All keeps for its undo is the pieces from its first
// occurrence on, not the whole table's: after a Replace All that left a
// million pieces, one occurrence near the end fits a small history, and one
// near the start does not.
void TestHexDocPieces::replaceNearTheEndKeptAfterManyPieces()
{
    QByteArray bytes(1 << 21, 'x');
    for (int i = 0; i < bytes.size(); i += 4)
        bytes[i] = 'A';
    bytes[bytes.size() - 10] = 'Z';
    bytes[1] = 'Q';
    CHexDoc doc;
    open(doc, "endhit.bin", bytes, true);
    qint64 nLast = 0;
    std::uint64_t nCount = 0;
    QVERIFY(CHexDoc::Changed(
        doc.ReplaceAll(CBytePattern(QByteArray("A"), true, 1252), 0, QByteArray("BC"), {}, nLast, &nCount)));
    const QByteArray replaced = all(doc);
    doc.SetUndoLimit(64 * 1024);
    QCOMPARE(doc.ReplaceAll(CBytePattern(QByteArray("Z"), true, 1252), 0, QByteArray("YY"), {}, nLast, &nCount),
             CHexDoc::EditResult::Done);
    QCOMPARE(nCount, std::uint64_t(1));
    CEditState state;
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(all(doc), replaced);

    QCOMPARE(doc.ReplaceAll(CBytePattern(QByteArray("Q"), true, 1252), 0, QByteArray("RR"), {}, nLast, &nCount),
             CHexDoc::EditResult::DoneWithoutUndo);
    QCOMPARE(all(doc), QByteArray(replaced).replace('Q', "RR"));
}

// A file with another name is saved by rewriting it in place, which would
// read bytes already overwritten: refused before anything is written, the
// document still reading and modified. Written straight over itself, the
// bytes are refused too.
void TestHexDocPieces::noRewriteOverItself()
{
    const QByteArray bytes(200000, 'h');
    CHexDoc doc;
    open(doc, "linked.bin", bytes, true);
    const QString path = doc.GetPathName();
    const QString link = scratchDir() + "/linked-too.bin";
    QFile::remove(link);
    QVERIFY(::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()) == 0);
    const std::uint8_t typed = 'i';
    QCOMPARE(doc.ReplaceBytes(0, 0, &typed, 1, {}), CHexDoc::EditResult::Done);
    QVERIFY(!doc.OnSaveDocument(link));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.at(0).contains("another name"));
    QCOMPARE(readFile(path), bytes);
    QVERIFY(doc.IsReadable());
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.ByteAt(150000), std::uint8_t('h'));

    QFile same(path);
    QVERIFY(same.open(QIODevice::ReadWrite));
    CArchive ar(&same, CArchive::store, path);
    bool bRefused = false;
    try {
        doc.Serialize(ar);
    } catch (const CFileException& e) {
        bRefused = e.m_cause == CFileException::rewriteWhileRead;
    }
    QVERIFY(bRefused);
    same.close();
    QCOMPARE(readFile(path), bytes);
    QFile::remove(link);
}

QTEST_GUILESS_MAIN(TestHexDocPieces)
#include "tst_hexdoc_pieces.moc"
