#include "archive.h"
#include "bytepattern.h"
#include "codepage.h"
#include "diskfile.h"
#include "fileblocks.h"
#include "leadblocks.h"
#include "longtask.h"
#include "piecetable.h"
#include "testsupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::scratchDir;
using TestSupport::writeScratchFile;

namespace {

QByteArray RandomBytes(qsizetype n, QRandomGenerator& gen, int nValues = 256)
{
    QByteArray bytes(n, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(gen.bounded(nValues));
    return bytes;
}

const std::uint8_t* U8(const QByteArray& bytes)
{
    return reinterpret_cast<const std::uint8_t*>(bytes.constData());
}

QByteArray ReadAll(const CPieceTable& table)
{
    QByteArray bytes(table.GetLength(), '\0');
    if (!table.Read(0, table.GetLength(), reinterpret_cast<std::uint8_t*>(bytes.data())))
        return QByteArray("<failed>");
    return bytes;
}

std::shared_ptr<CFileBlocks> OpenBlocks(const QString& path, qint64 nBlock, qint64 nCache)
{
    auto pFile = std::make_shared<CFileBlocks>(nBlock, nCache);
    pFile->Open(path);
    return pFile;
}

// Saves the table to target as the program saves a document.
void Save(const CPieceTable& table, const QString& target, CLongTask* pTask = nullptr)
{
    AfxWriteFileSafely(target, [&](QFileDevice& file) {
        CArchive ar(&file, CArchive::store, target, pTask);
        table.Write(ar);
    });
}

// How a save of the table to target ended: none when it succeeded.
CFileException::Cause SaveFailure(const CPieceTable& table, const QString& target)
{
    try {
        Save(table, target);
    } catch (const CFileException& e) {
        return e.m_cause;
    }
    return CFileException::none;
}

// Sets the file's times an hour back, as for a file that has been there a
// while: a change made now then gets another time, however coarse the file
// system's clock.
void Age(const QString& path)
{
    struct timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) != 0)
        qFatal("cannot set the times of %s", qPrintable(path));
}

// An edit at a place that often lies on a piece's or a block's edge.
qint64 PickPos(QRandomGenerator& gen, const CPieceTable& table, qint64 nBlock)
{
    const qint64 nLength = table.GetLength();
    qint64 nPos = qint64(gen.bounded(quint64(nLength) + 1));
    switch (gen.bounded(4)) {
    case 0: {
        const std::size_t i = std::size_t(gen.bounded(quint64(table.Pieces().size()) + 1));
        nPos = 0;
        for (std::size_t k = 0; k < i; ++k)
            nPos += table.Pieces()[k].nLength;
        break;
    }
    case 1:
        nPos = nPos / nBlock * nBlock;
        break;
    default:
        break;
    }
    return std::clamp<qint64>(nPos + qint64(gen.bounded(3)) - 1, 0, nLength);
}

} // namespace

// The piece table against a plain byte vector: edits, undo and redo, reads
// and spans across pieces and blocks of the file, the save and the search.
class TestPieceTable : public QObject {
    Q_OBJECT

private slots:
    void randomEditsMatchAByteVector_data();
    void randomEditsMatchAByteVector();
    void typingStaysOnePiece();
    void spansAvoidCopies();
    void rangesOutsideAreRefused();
    void editsPastFourGiB();
    void saveStreamsThePieces_data();
    void saveStreamsThePieces();
    void saveIsCancelledWithTheOldFileKept();
    void saveOfAChangedFileIsRefused();
    void rewriteInPlaceOfItsOwnFileIsRefused();
    void findMatchesTheWholeBufferScan_data();
    void findMatchesTheWholeBufferScan();
    void knownLeadBlocksMatchTheBytes_data();
    void knownLeadBlocksMatchTheBytes();
    void leadNotesAcrossChunks();
    void findInTurnsStopsAsOneByOne();
};

void TestPieceTable::randomEditsMatchAByteVector_data()
{
    QTest::addColumn<quint32>("nSeed");
    QTest::addColumn<qint64>("nFileLength");
    QTest::addColumn<qint64>("nBlock");
    QTest::newRow("file of 40 blocks") << 1u << qint64(40 * 256) << qint64(256);
    QTest::newRow("file of 3 blocks, edits reach past its end") << 2u << qint64(3 * 64 + 5) << qint64(64);
    QTest::newRow("empty file: added bytes only") << 3u << qint64(0) << qint64(64);
    QTest::newRow("blocks of one byte") << 4u << qint64(500) << qint64(1);
}

void TestPieceTable::randomEditsMatchAByteVector()
{
    QFETCH(quint32, nSeed);
    QFETCH(qint64, nFileLength);
    QFETCH(qint64, nBlock);
    QRandomGenerator gen(nSeed);
    const QByteArray original = RandomBytes(nFileLength, gen);
    CPieceTable table(OpenBlocks(writeScratchFile(QStringLiteral("model.bin"), original), nBlock, 4 * nBlock));
    QByteArray model = original;
    std::vector<CPieceStep> done;
    std::vector<CPieceStep> undone;
    std::vector<QByteArray> states{model};
    std::size_t nState = 0;

    for (int nOp = 0; nOp < 4000; ++nOp) {
        const int nKind = gen.bounded(10);
        if (nKind == 0 && !done.empty()) {
            table.Undo(done.back());
            undone.push_back(std::move(done.back()));
            done.pop_back();
            model = states[--nState];
        } else if (nKind == 1 && !undone.empty()) {
            table.Redo(undone.back());
            done.push_back(std::move(undone.back()));
            undone.pop_back();
            model = states[++nState];
        } else {
            const qint64 nPos = PickPos(gen, table, nBlock);
            const qint64 nRemove = qint64(gen.bounded(quint64(std::min<qint64>(table.GetLength() - nPos, 3 * nBlock)) + 1));
            const qint64 nInsert = gen.bounded(3) == 0 ? 0 : qint64(gen.bounded(2 * nBlock));
            QByteArray insert = RandomBytes(nInsert, gen);
            // Now and then the new bytes are taken from the document itself.
            if (nKind == 2 && nInsert > 0 && nInsert <= table.GetLength()) {
                QByteArray hold;
                const qint64 nFrom = qint64(gen.bounded(quint64(table.GetLength() - nInsert) + 1));
                const std::uint8_t* p = table.Span(nFrom, nInsert, hold);
                QVERIFY(p);
                insert = QByteArray(reinterpret_cast<const char*>(p), nInsert);
                std::optional<CPieceStep> step = table.Replace(nPos, nRemove, p, nInsert);
                QVERIFY(step);
                done.push_back(std::move(*step));
            } else {
                std::optional<CPieceStep> step = table.Replace(nPos, nRemove, U8(insert), nInsert);
                QVERIFY(step);
                done.push_back(std::move(*step));
            }
            // A step keeps the few pieces around the edit, never the bytes.
            QVERIFY2(done.back().inserted.size() <= 3, qPrintable(QString::number(done.back().inserted.size())));
            undone.clear();
            model.replace(nPos, nRemove, insert);
            states.resize(++nState);
            states.push_back(model);
        }
        QCOMPARE(table.GetLength(), qint64(model.size()));
        const qint64 nAt = qint64(gen.bounded(quint64(model.size()) + 1));
        const qint64 n = qint64(gen.bounded(quint64(model.size() - nAt) + 1));
        QByteArray hold;
        const std::uint8_t* p = table.Span(nAt, n, hold);
        QVERIFY(p);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), n), model.mid(nAt, n));
        if (nOp % 250 == 0)
            QCOMPARE(ReadAll(table), model);
    }
    QCOMPARE(ReadAll(table), model);
    for (auto it = done.rbegin(); it != done.rend(); ++it)
        table.Undo(*it);
    QCOMPARE(ReadAll(table), original);
    QCOMPARE(table.Pieces().size(), std::size_t(original.isEmpty() ? 0 : 1));
    for (const CPieceStep& step : done)
        table.Redo(step);
    QCOMPARE(ReadAll(table), states[nState]);
}

void TestPieceTable::typingStaysOnePiece()
{
    QRandomGenerator gen(5);
    const QByteArray original = RandomBytes(1000, gen);
    CPieceTable table(OpenBlocks(writeScratchFile(QStringLiteral("typing.bin"), original), 256, 1024));
    std::vector<CPieceStep> steps;
    for (int i = 0; i < 50; ++i) {
        const std::uint8_t b = std::uint8_t('a' + i % 26);
        steps.push_back(*table.Replace(500 + i, 0, &b, 1));
    }
    // The file's head, the typed run, the file's tail.
    QCOMPARE(table.Pieces().size(), std::size_t(3));
    for (int i = 0; i < 50; ++i) {
        const std::uint8_t b = std::uint8_t('A' + i % 26);
        steps.push_back(*table.Replace(100 + i, 1, &b, 1));
    }
    QCOMPARE(table.Pieces().size(), std::size_t(5));
    QByteArray expected = original;
    expected.insert(500, QByteArray("abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwx"));
    expected.replace(100, 50, QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWX"));
    QCOMPARE(ReadAll(table), expected);
    QCOMPARE(table.AddedBytes(), qint64(100));
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        QVERIFY(it->removed.size() <= 3 && it->inserted.size() <= 3);
        table.Undo(*it);
    }
    QCOMPARE(ReadAll(table), original);
}

void TestPieceTable::spansAvoidCopies()
{
    QRandomGenerator gen(6);
    const QByteArray original = RandomBytes(4096, gen);
    auto pFile = OpenBlocks(writeScratchFile(QStringLiteral("spans.bin"), original), 1024, 4096);
    CPieceTable table(pFile);
    const QByteArray typed("0123456789");
    table.Replace(2000, 0, U8(typed), typed.size());

    QByteArray hold;
    // In the added bytes: a pointer to them, the hold left alone.
    const std::uint8_t* p = table.Span(2002, 5, hold);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), 5), QByteArray("23456"));
    QVERIFY(hold.isNull());
    QCOMPARE(table.Span(2002, 5, hold), p);
    // In one block of the file: a pointer into the cached block.
    p = table.Span(1030, 16, hold);
    QCOMPARE(p, reinterpret_cast<const std::uint8_t*>(pFile->Block(1).constData()) + 6);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), 16), original.mid(1030, 16));
    // Across a block, or from the file into added bytes: a copy.
    for (const qint64 nAt : {qint64(1020), qint64(1995)}) {
        p = table.Span(nAt, 16, hold);
        QCOMPARE(p, reinterpret_cast<const std::uint8_t*>(hold.constData()));
        QByteArray model = original;
        model.insert(2000, typed);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), 16), model.mid(nAt, 16));
    }
    // The copy never wrote into the cached block it held before.
    QCOMPARE(pFile->Block(1), original.mid(1024, 1024));
}

void TestPieceTable::rangesOutsideAreRefused()
{
    CPieceTable table;
    const QByteArray bytes("abc");
    QVERIFY(table.Replace(0, 0, U8(bytes), 3));
    QVERIFY(!table.Replace(4, 0, U8(bytes), 1));
    QVERIFY(!table.Replace(2, 2, U8(bytes), 1));
    QVERIFY(!table.Replace(-1, 0, U8(bytes), 1));
    QVERIFY(!table.Replace(0, 0, nullptr, 1));
    std::uint8_t out[4];
    QVERIFY(!table.Read(1, 3, out));
    QVERIFY(table.Read(3, 0, out));
    QByteArray hold;
    QVERIFY(!table.Span(2, 2, hold));
    QCOMPARE(ReadAll(table), bytes);
}

void TestPieceTable::editsPastFourGiB()
{
    const QString path = scratchDir() + QStringLiteral("/sparse-edit.bin");
    QFile::remove(path);
    const qint64 k4G = qint64(1) << 32;
    {
        QFile sparse(path);
        QVERIFY(sparse.open(QIODevice::WriteOnly));
        if (!sparse.resize(k4G + 100)) {
            sparse.remove();
            QSKIP("the file system refuses a sparse file of 4 GiB");
        }
        QVERIFY(sparse.seek(k4G - 1));
        QCOMPARE(sparse.write("XY", 2), qint64(2));
    }
    CPieceTable table(OpenBlocks(path, CFileBlocks::kDefaultBlockSize, CFileBlocks::kDefaultCacheSize));
    const QByteArray typed("ab");
    const CPieceStep step = *table.Replace(k4G, 0, U8(typed), 2);
    QCOMPARE(table.GetLength(), k4G + 102);
    QByteArray hold;
    const std::uint8_t* p = table.Span(k4G - 2, 6, hold);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), 6), QByteArray("\0Xab" "Y\0", 6));
    table.Replace(0, 1, U8(typed), 2);
    p = table.Span(k4G - 1, 6, hold);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(p), 6), QByteArray("\0Xab" "Y\0", 6));
    QVERIFY(!table.Span(k4G + 100, 4, hold));
    Q_UNUSED(step);
    QFile::remove(path);
}

void TestPieceTable::saveStreamsThePieces_data()
{
    QTest::addColumn<bool>("bOverItself");
    QTest::newRow("under another name") << false;
    QTest::newRow("over the file it reads from") << true;
}

void TestPieceTable::saveStreamsThePieces()
{
    QFETCH(bool, bOverItself);
    QRandomGenerator gen(7);
    const QByteArray original = RandomBytes(3 << 20, gen);
    const QString path = writeScratchFile(QStringLiteral("save.bin"), original);
    CPieceTable table(OpenBlocks(path, CFileBlocks::kDefaultBlockSize, CFileBlocks::kDefaultCacheSize));
    QByteArray model = original;
    for (int i = 0; i < 200; ++i) {
        const qint64 nPos = qint64(gen.bounded(quint64(model.size())));
        const qint64 nRemove = qint64(gen.bounded(quint64(std::min<qint64>(model.size() - nPos, 100000))));
        const QByteArray insert = RandomBytes(gen.bounded(300000), gen);
        table.Replace(nPos, nRemove, U8(insert), insert.size());
        model.replace(nPos, nRemove, insert);
    }
    const QString target = bOverItself ? path : scratchDir() + QStringLiteral("/saved.bin");
    CLongTask task(QStringLiteral("saving"), 0);
    Save(table, target, &task);
    QCOMPARE(task.GetTotal(), qint64(model.size()));
    QCOMPARE(task.GetDone(), qint64(model.size()));
    QVERIFY(readFile(target) == model);
}

void TestPieceTable::saveIsCancelledWithTheOldFileKept()
{
    QRandomGenerator gen(8);
    const QByteArray original = RandomBytes(2 << 20, gen);
    const QString path = writeScratchFile(QStringLiteral("cancel.bin"), original);
    CPieceTable table(OpenBlocks(path, CFileBlocks::kDefaultBlockSize, CFileBlocks::kDefaultCacheSize));
    table.Replace(0, 0, U8(original), 10);
    CLongTask task(QStringLiteral("saving"), 0);
    CLongTask::s_stepHook = [](CLongTask& t) {
        if (t.GetDone() > (1 << 20))
            t.Cancel();
    };
    QVERIFY_THROWS_EXCEPTION(CUserException, Save(table, path, &task));
    CLongTask::s_stepHook = nullptr;
    QVERIFY(readFile(path) == original);
    QVERIFY(AfxRemoveSaveLeftovers(path).isEmpty());
    QCOMPARE(QDir(scratchDir()).entryList({QStringLiteral(".cancel.bin.zorbel-*")}, QDir::Hidden | QDir::Files),
             QStringList());
}

void TestPieceTable::saveOfAChangedFileIsRefused()
{
    QRandomGenerator gen(9);
    const QByteArray original = RandomBytes(1 << 20, gen);
    const QString path = writeScratchFile(QStringLiteral("changed-save.bin"), original);
    Age(path);
    CPieceTable table(OpenBlocks(path, CFileBlocks::kDefaultBlockSize, CFileBlocks::kDefaultCacheSize));
    table.Replace(10, 0, U8(original), 10);
    // Another program rewrites the middle while the edits wait to be saved.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
    QVERIFY(fd >= 0);
    QCOMPARE(::pwrite(fd, "changed", 7, 500000), ssize_t(7));
    ::close(fd);
    const QByteArray changed = readFile(path);
    const QString other = scratchDir() + QStringLiteral("/elsewhere.bin");
    QFile::remove(other);
    QCOMPARE(SaveFailure(table, path), CFileException::changedWhileOpen);
    QCOMPARE(SaveFailure(table, other), CFileException::changedWhileOpen);
    QVERIFY(readFile(path) == changed);
    QVERIFY(!QFile::exists(other));
}

// A file with a second name is rewritten in place, so the save would write
// over bytes it has still to read: an insert at the start runs the writing
// ahead of the reading. The save must fail with the old bytes put back rather
// than write a mixture.
void TestPieceTable::rewriteInPlaceOfItsOwnFileIsRefused()
{
    QRandomGenerator gen(11);
    const QByteArray original = RandomBytes(4 << 20, gen);
    const QString path = writeScratchFile(QStringLiteral("linked.bin"), original);
    const QString link = scratchDir() + QStringLiteral("/linked-too.bin");
    QFile::remove(link);
    QVERIFY(::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()) == 0);
    Age(path);
    CPieceTable table(OpenBlocks(path, CFileBlocks::kDefaultBlockSize, CFileBlocks::kDefaultCacheSize));
    const QByteArray inserted(300000, 'i');
    table.Replace(0, 0, U8(inserted), inserted.size());
    QCOMPARE(SaveFailure(table, path), CFileException::changedWhileOpen);
    QVERIFY(readFile(link) == original);
    QFile::remove(link);
}

void TestPieceTable::findMatchesTheWholeBufferScan_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<bool>("bMatchCase");
    QTest::addColumn<int>("nCodePage");
    QTest::addColumn<int>("nValues");
    QTest::addColumn<int>("nBlock");
    // Bytes drawn from few values, so that matches and near matches are
    // common; in BIG5 and Shift JIS letters may be trail bytes of pairs that
    // start in the block before. Blocks of one start put every start on an edge.
    QTest::newRow("three bytes, match case") << QByteArray("\x01\x02\x01", 3) << true << 0 << 3 << 37;
    QTest::newRow("one byte") << QByteArray("\x02", 1) << true << 0 << 4 << 37;
    QTest::newRow("letters, any case, 1252") << QByteArray("aB") << false << 1252 << 0 << 37;
    QTest::newRow("letters, any case, BIG5 lead runs") << QByteArray("aB") << false << 950 << 0 << 37;
    QTest::newRow("letters, any case, BIG5, a start per block") << QByteArray("aB") << false << 950 << 0 << 1;
    QTest::newRow("lead byte and letter, any case, BIG5") << QByteArray("\xCD" "a") << false << 950 << 0 << 2;
    QTest::newRow("letter, any case, Shift JIS") << QByteArray("b") << false << 932 << 0 << 37;
}

void TestPieceTable::findMatchesTheWholeBufferScan()
{
    QFETCH(QByteArray, pattern);
    QFETCH(bool, bMatchCase);
    QFETCH(int, nCodePage);
    QFETCH(int, nValues);
    QFETCH(int, nBlock);
    QRandomGenerator gen(10);
    // nValues 0: lead bytes, letters in both cases and a few others.
    auto bytes = [&](qsizetype n) {
        if (nValues > 0)
            return RandomBytes(n, gen, nValues);
        static const char kMix[] = "\xCD\xCD\xCD\x81\x9F" "aAbB@ ";
        QByteArray out(n, Qt::Uninitialized);
        for (char& c : out)
            c = kMix[gen.bounded(int(sizeof kMix - 1))];
        return out;
    };
    const QByteArray original = bytes(3000);
    CPieceTable table(OpenBlocks(writeScratchFile(QStringLiteral("find.bin"), original), 128, 512));
    QByteArray model = original;
    for (int i = 0; i < 40; ++i) {
        const qint64 nPos = qint64(gen.bounded(quint64(model.size())));
        const QByteArray insert = bytes(gen.bounded(100));
        const qint64 nRemove = qint64(gen.bounded(quint64(std::min<qint64>(model.size() - nPos, 50))));
        table.Replace(nPos, nRemove, U8(insert), insert.size());
        model.replace(nPos, nRemove, insert);
    }
    const CBytePattern scan(pattern, bMatchCase, nCodePage);
    const qint64 nSaved = CPieceTable::s_nFindBlock;
    CPieceTable::s_nFindBlock = nBlock;
    const auto nLength = std::uint32_t(model.size());
    for (std::uint32_t nFrom = 0; nFrom <= nLength + 2; nFrom += 1 + nFrom % 7) {
        for (const bool bDown : {true, false}) {
            std::uint32_t nWant = 0;
            const bool bWant = bDown ? scan.FindDown(U8(model), nLength, nFrom, nWant)
                                     : scan.FindUp(U8(model), nLength, nFrom, nWant);
            qint64 nGot = -1;
            const CPieceTable::FindResult result = table.Find(scan, nFrom, bDown, nGot);
            const QString where = QStringLiteral("from %1 %2").arg(nFrom).arg(bDown ? "down" : "up");
            QVERIFY2(result == (bWant ? CPieceTable::FindResult::Found : CPieceTable::FindResult::NotFound),
                     qPrintable(where));
            if (bWant)
                QVERIFY2(nGot == qint64(nWant), qPrintable(where + QStringLiteral(": %1 for %2").arg(nGot).arg(nWant)));
        }
    }
    CPieceTable::s_nFindBlock = nSaved;
}

// The notes are kept in chunks of 65,536 blocks, made as blocks are noted:
// runs across a chunk's edge, chunks never noted, the short last chunk, and
// two threads noting the blocks of one new chunk at once.
void TestPieceTable::leadNotesAcrossChunks()
{
    constexpr qint64 kChunk = 65536;
    const std::uint8_t lead[4] = {0xCD, 0xCD, 0xCD, 0xCD};
    const std::uint8_t text[4] = {'t', 'e', 'x', 't'};
    CLeadBlocks leads;
    leads.Reset(3 * kChunk + 5);
    QVERIFY(!leads.IsAllLead(0, 936));
    QVERIFY(!leads.IsAllLead(3 * kChunk + 4, 936));
    QCOMPARE(leads.AllLeadFrom(0, 3 * kChunk + 4, 936), 3 * kChunk + 5);

    for (qint64 i = kChunk - 3; i <= kChunk + 2; ++i)
        leads.Note(i, lead, 4);
    leads.Note(kChunk - 4, text, 4);
    QCOMPARE(leads.AllLeadFrom(0, kChunk + 2, 936), kChunk - 3);
    QCOMPARE(leads.AllLeadFrom(0, kChunk + 2, 950), kChunk - 3);
    QCOMPARE(leads.AllLeadFrom(kChunk, kChunk + 2, 936), kChunk);
    QCOMPARE(leads.AllLeadFrom(0, kChunk + 3, 936), kChunk + 4);
    QVERIFY(!leads.IsAllLead(kChunk - 4, 936));
    QVERIFY(!leads.IsAllLead(kChunk + 1, 1252));

    leads.Note(3 * kChunk + 4, lead, 2);
    QVERIFY(leads.IsAllLead(3 * kChunk + 4, 950));
    leads.Note(3 * kChunk + 5, lead, 4);
    QVERIFY(!leads.IsAllLead(3 * kChunk + 5, 950));
    QVERIFY(!leads.IsAllLead(2 * kChunk + 7, 936));

    std::thread other([&] {
        for (qint64 i = 2 * kChunk; i < 3 * kChunk; i += 2)
            leads.Note(i, lead, 4);
    });
    for (qint64 i = 2 * kChunk + 1; i < 3 * kChunk; i += 2)
        leads.Note(i, lead, 4);
    other.join();
    QCOMPARE(leads.AllLeadFrom(0, 3 * kChunk - 1, 936), 2 * kChunk);

    leads.Reset(10);
    QVERIFY(!leads.IsAllLead(0, 936));
    QCOMPARE(leads.AllLeadFrom(0, 9, 936), qint64(10));
}

// A search down over many blocks takes them on two threads in turn; what it
// answers when reading fails or the user cancels is what the blocks taken one
// by one would answer: an occurrence before the first block that could not be
// read is found, one after it is not.
void TestPieceTable::findInTurnsStopsAsOneByOne()
{
    QRandomGenerator gen(12);
    const QByteArray original = RandomBytes(64 * 1024, gen, 4);
    const QString path = writeScratchFile(QStringLiteral("turns.bin"), original);
    Age(path);
    const QByteArray needle("needle");
    const QByteArray added = QByteArray(200, 'x').replace(3, needle.size(), needle);
    const CBytePattern scan(needle, true, 1252);
    const qint64 nSaved = CPieceTable::s_nFindBlock;
    CPieceTable::s_nFindBlock = 16;
    const auto restore = qScopeGuard([nSaved] {
        CPieceTable::s_nFindBlock = nSaved;
        CLongTask::s_stepHook = {};
    });

    CPieceTable table(OpenBlocks(path, 4096, 8192));
    qint64 nFound = -1;
    QCOMPARE(table.Find(scan, 0, true, nFound), CPieceTable::FindResult::NotFound);
    CLongTask task(QStringLiteral("find"), table.GetLength());
    CLongTask::s_stepHook = [](CLongTask& task) { task.Cancel(); };
    QCOMPARE(table.Find(scan, 0, true, nFound, &task), CPieceTable::FindResult::Cancelled);
    CLongTask::s_stepHook = {};

    // The needle in added bytes at the start and at the end, the file's bytes
    // between them then rewritten by another program.
    QVERIFY(table.Replace(0, 0, U8(added), added.size()));
    QVERIFY(table.Replace(table.GetLength(), 0, U8(added), added.size()));
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
    QVERIFY(fd >= 0);
    QCOMPARE(::pwrite(fd, "changed", 7, 30000), ssize_t(7));
    ::close(fd);
    QCOMPARE(table.Find(scan, 0, true, nFound), CPieceTable::FindResult::Found);
    QCOMPARE(nFound, qint64(3));
    QCOMPARE(table.Find(scan, 4, true, nFound), CPieceTable::FindResult::ReadFailed);
}

void TestPieceTable::knownLeadBlocksMatchTheBytes_data()
{
    QTest::addColumn<int>("nCodePage");
    QTest::addColumn<quint32>("nSeed");
    QTest::addColumn<bool>("bEdits");
    // 936 and 950 share their lead bytes; 932's have a gap in the middle.
    for (const int nCodePage : {932, 936, 950, 949}) {
        QTest::addRow("%d, the file as read", nCodePage) << nCodePage << quint32(nCodePage) << false;
        QTest::addRow("%d, edited", nCodePage) << nCodePage << quint32(nCodePage + 1) << true;
    }
}

// Long runs of lead bytes over blocks of 64 bytes, now and then broken by
// another byte, some blocks read and some not: every byte the step back
// passes is a lead byte of the code page, the floor is kept, and over the
// file as read it reaches as far as the blocks read allow.
void TestPieceTable::knownLeadBlocksMatchTheBytes()
{
    QFETCH(int, nCodePage);
    QFETCH(quint32, nSeed);
    QFETCH(bool, bEdits);
    constexpr qint64 kBlock = 64;
    QRandomGenerator gen(nSeed);
    std::vector<std::uint8_t> leads;
    std::vector<std::uint8_t> others;
    for (int b = 0; b < 256; ++b)
        (IsLeadByte(nCodePage, std::uint8_t(b)) ? leads : others).push_back(std::uint8_t(b));
    QByteArray original(40 * kBlock + 17, Qt::Uninitialized);
    for (char& c : original) {
        const auto& from = gen.bounded(300) == 0 ? others : leads;
        c = char(from[gen.bounded(quint32(from.size()))]);
    }
    // The byte of every other code page's gap, and a whole block of it.
    original[int(5 * kBlock + 3)] = char(0xA0);
    original.replace(int(20 * kBlock), int(kBlock), QByteArray(int(kBlock), char(0xFE)));
    auto pFile = OpenBlocks(writeScratchFile(QStringLiteral("leads.bin"), original), kBlock, 8 * kBlock);
    CPieceTable table(pFile);
    std::vector<bool> read(std::size_t(pFile->GetLength() / kBlock + 1));
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (gen.bounded(4) != 0) {
            QVERIFY(!pFile->Block(qint64(i)).isNull());
            read[i] = true;
        }
    }
    QByteArray model = original;
    if (bEdits) {
        for (int i = 0; i < 40; ++i) {
            const qint64 nPos = qint64(gen.bounded(quint64(model.size())));
            const qint64 nRemove = qint64(gen.bounded(quint64(std::min<qint64>(model.size() - nPos, 2 * kBlock)) + 1));
            QByteArray insert(gen.bounded(3 * int(kBlock)), Qt::Uninitialized);
            for (char& c : insert)
                c = char(leads[gen.bounded(quint32(leads.size()))]);
            QVERIFY(table.Replace(nPos, nRemove, U8(insert), insert.size()));
            model.replace(nPos, nRemove, insert);
        }
    }
    const auto* bytes = U8(model);
    auto isLead = [&](qint64 i) { return IsLeadByte(nCodePage, bytes[i]); };
    auto wholeBlockLead = [&](qint64 nIndex) {
        for (qint64 i = nIndex * kBlock; i < std::min<qint64>((nIndex + 1) * kBlock, model.size()); ++i) {
            if (!isLead(i))
                return false;
        }
        return true;
    };
    for (int i = 0; i < 3000; ++i) {
        const qint64 nPos = qint64(gen.bounded(quint64(model.size()) + 1));
        const qint64 nFloor = gen.bounded(3) == 0 ? qint64(gen.bounded(quint64(nPos) + 1)) : 0;
        const qint64 q = table.KnownLeadStart(nFloor, nPos, nCodePage);
        QVERIFY(q >= nFloor && q <= nPos);
        for (qint64 j = q; j < nPos; ++j)
            QVERIFY2(isLead(j), qPrintable(QStringLiteral("%1 from %2 to %3").arg(j).arg(q).arg(nPos)));
        if (bEdits || nPos == nFloor)
            continue;
        qint64 nExpected = nPos;
        for (qint64 b = (nPos - 1) / kBlock; b >= 0 && read[std::size_t(b)] && wholeBlockLead(b); --b)
            nExpected = std::max(nFloor, b * kBlock);
        QCOMPARE(q, nExpected);
    }
    // Other code pages know nothing of lead bytes.
    QCOMPARE(table.KnownLeadStart(0, model.size(), 1252), qint64(model.size()));
    QCOMPARE(table.KnownLeadStart(0, model.size(), 65001), qint64(model.size()));
}

QTEST_GUILESS_MAIN(TestPieceTable)
#include "tst_piecetable.moc"
