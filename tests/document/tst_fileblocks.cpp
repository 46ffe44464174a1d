#include "diskfile.h"
#include "fileblocks.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using TestSupport::holdsRemovedFile;
using TestSupport::scratchDir;
using TestSupport::writeScratchFile;

namespace {

QByteArray RandomBytes(qsizetype n, quint32 nSeed)
{
    QRandomGenerator gen(nSeed);
    QByteArray bytes(n, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(gen.bounded(256));
    return bytes;
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
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
}

QByteArray ReadAt(CFileBlocks& file, qint64 nPos, qint64 n)
{
    QByteArray bytes(n, '\0');
    if (!file.Read(nPos, n, reinterpret_cast<std::uint8_t*>(bytes.data())))
        return QByteArray("<failed>");
    return bytes;
}

} // namespace

// The file read block by block: the cache, reads past 4 GiB, and a file that
// another program changes while it is open.
class TestFileBlocks : public QObject {
    Q_OBJECT

private slots:
    void readsMatchTheFile_data();
    void readsMatchTheFile();
    void cacheKeepsTheBlocksUsedLast();
    void readsPastFourGiB();
    void changeByAnotherProgramStopsReading_data();
    void changeByAnotherProgramStopsReading();
    void onlyRegularFilesOpen();
    void replacedFileIsLetGoInBackground();
};

void TestFileBlocks::readsMatchTheFile_data()
{
    QTest::addColumn<qint64>("nPos");
    QTest::addColumn<qint64>("nLength");
    QTest::addColumn<bool>("bOk");
    // The file is 10,000 bytes in blocks of 1,000; reads of 2,000 or more go
    // past the cache.
    QTest::newRow("inside a block") << qint64(10) << qint64(20) << true;
    QTest::newRow("across one boundary") << qint64(990) << qint64(20) << true;
    QTest::newRow("across several blocks") << qint64(999) << qint64(1998) << true;
    QTest::newRow("long, past the cache") << qint64(1) << qint64(9999) << true;
    QTest::newRow("the last byte") << qint64(9999) << qint64(1) << true;
    QTest::newRow("nothing at the end") << qint64(10000) << qint64(0) << true;
    QTest::newRow("one past the end") << qint64(9999) << qint64(2) << false;
    QTest::newRow("before the start") << qint64(-1) << qint64(2) << false;
}

void TestFileBlocks::readsMatchTheFile()
{
    QFETCH(qint64, nPos);
    QFETCH(qint64, nLength);
    QFETCH(bool, bOk);
    const QByteArray bytes = RandomBytes(10000, 1);
    CFileBlocks file(1000, 4000);
    file.Open(writeScratchFile(QStringLiteral("reads.bin"), bytes));
    QCOMPARE(file.GetLength(), qint64(10000));
    QCOMPARE(ReadAt(file, nPos, nLength), bOk ? bytes.mid(nPos, nLength) : QByteArray("<failed>"));
    // A refused range is no failure of the file.
    QVERIFY(file.IsReadable());
}

void TestFileBlocks::cacheKeepsTheBlocksUsedLast()
{
    const QByteArray bytes = RandomBytes(100 * 100, 2);
    CFileBlocks file(100, 400);
    file.Open(writeScratchFile(QStringLiteral("cache.bin"), bytes));
    for (qint64 i = 0; i < 100; ++i)
        QCOMPARE(file.Block(i), bytes.mid(i * 100, 100));
    QCOMPARE(file.DiskReads(), qint64(100));
    // The last four are held; block 96 used again becomes the newest.
    for (qint64 i : {99, 98, 97, 96, 96})
        QCOMPARE(file.Block(i), bytes.mid(i * 100, 100));
    QCOMPARE(file.DiskReads(), qint64(100));
    QCOMPARE(file.Block(0), bytes.left(100));
    QCOMPARE(file.DiskReads(), qint64(101));
    // Block 0 pushed out the least recently used, 99, and not 96.
    file.Block(96);
    QCOMPARE(file.DiskReads(), qint64(101));
    file.Block(99);
    QCOMPARE(file.DiskReads(), qint64(102));
    QVERIFY(file.Block(100).isNull());
}

void TestFileBlocks::readsPastFourGiB()
{
    const QString path = scratchDir() + QStringLiteral("/sparse.bin");
    QFile::remove(path);
    const qint64 k4G = qint64(1) << 32;
    const qint64 nLength = 5 * k4G / 4 + 3;
    {
        QFile sparse(path);
        QVERIFY(sparse.open(QIODevice::WriteOnly));
        if (!sparse.resize(nLength)) {
            sparse.remove();
            QSKIP("the file system refuses a sparse file of 5 GiB");
        }
        for (const qint64 nAt : {k4G - 2, nLength - 3}) {
            QVERIFY(sparse.seek(nAt));
            QCOMPARE(sparse.write("ABCD", 3), qint64(3));
        }
    }
    CFileBlocks file;
    file.Open(path);
    QCOMPARE(file.GetLength(), nLength);
    QCOMPARE(ReadAt(file, k4G - 3, 5), QByteArray("\0ABC\0", 5));
    QCOMPARE(ReadAt(file, nLength - 4, 4), QByteArray("\0ABC", 4));
    QCOMPARE(file.Block(k4G / file.GetBlockSize()).left(2), QByteArray("C\0", 2));
    QCOMPARE(ReadAt(file, nLength - 1, 2), QByteArray("<failed>"));
    QFile::remove(path);
}

void TestFileBlocks::changeByAnotherProgramStopsReading_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("truncated") << "truncate";
    QTest::newRow("rewritten in place, same length") << "rewrite";
    QTest::newRow("replaced by rename") << "rename";
    QTest::newRow("removed") << "remove";
}

void TestFileBlocks::changeByAnotherProgramStopsReading()
{
    QFETCH(QString, change);
    const QByteArray bytes = RandomBytes(8000, 3);
    const QString path = writeScratchFile(QStringLiteral("changed.bin"), bytes);
    Age(path);
    CFileBlocks file(1000, 8000);
    file.Open(path);
    QCOMPARE(file.Block(0), bytes.left(1000));

    const QByteArray native = QFile::encodeName(path);
    if (change == QLatin1String("truncate")) {
        QVERIFY(::truncate(native.constData(), 4000) == 0);
    } else if (change == QLatin1String("rewrite")) {
        const int fd = ::open(native.constData(), O_WRONLY);
        QVERIFY(fd >= 0);
        QCOMPARE(::pwrite(fd, "XY", 2, 5000), ssize_t(2));
        ::close(fd);
    } else if (change == QLatin1String("rename")) {
        const QString other = writeScratchFile(QStringLiteral("changed.new"), bytes);
        Age(other);
        QVERIFY(::rename(QFile::encodeName(other).constData(), native.constData()) == 0);
    } else {
        QVERIFY(QFile::remove(path));
    }

    // The next read from the disk sees it; from then on nothing is handed
    // out, not even the block read before the change.
    QCOMPARE(ReadAt(file, 5000, 10), QByteArray("<failed>"));
    QCOMPARE(file.GetState(), CFileBlocks::State::Changed);
    QVERIFY(file.Block(0).isNull());
    QCOMPARE(ReadAt(file, 0, 10), QByteArray("<failed>"));
    const CFileException error = file.Error();
    QCOMPARE(error.m_cause, CFileException::changedWhileOpen);
    QVERIFY(error.GetErrorMessage().contains(path));
}

void TestFileBlocks::onlyRegularFilesOpen()
{
    CFileBlocks file;
    try {
        file.Open(scratchDir());
        QFAIL("a folder was opened");
    } catch (const CFileException& e) {
        QCOMPARE(e.m_cause, CFileException::invalidFile);
    }
    QCOMPARE(file.GetState(), CFileBlocks::State::Closed);
}

// After a save replaced the file by rename, its descriptor goes on another
// thread: it must go (else the old bytes hold their room on the disk until
// the program ends), and nothing is read from it after.
void TestFileBlocks::replacedFileIsLetGoInBackground()
{
    const QByteArray bytes = RandomBytes(8000, 5);
    const QString path = writeScratchFile(QStringLiteral("replaced.bin"), bytes);
    CFileBlocks file(1000, 8000);
    file.Open(path);
    QCOMPARE(file.Block(0), bytes.left(1000));
    const QString other = writeScratchFile(QStringLiteral("replaced.new"), RandomBytes(8000, 6));
    QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
    QVERIFY(holdsRemovedFile(path));

    file.CloseInBackground();
    QTRY_VERIFY(!holdsRemovedFile(path));
    QVERIFY(file.Block(0).isNull());
    QCOMPARE(ReadAt(file, 0, 10), QByteArray("<failed>"));
    file.CloseInBackground();   // a second time finds nothing to close
}

QTEST_GUILESS_MAIN(TestFileBlocks)
#include "tst_fileblocks.moc"
