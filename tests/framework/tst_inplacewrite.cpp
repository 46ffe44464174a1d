#include "afxmsg.h"
#include "archive.h"
#include "diskfile.h"
#include "document.h"
#include "fileexception.h"
#include "inplacewrite.h"
#include "longtask.h"
#include "resources.h"
#include "syslang.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Overwriting parts of a file in place behind a journal: the bytes written,
// the refusals that touch nothing, and a write killed at each of its stages,
// after which the next open finds the file whole (all old bytes, or all new
// once the journal was gone).
class TestInPlaceWrite : public QObject {
    Q_OBJECT

private slots:
    void init();
    void writes_data();
    void writes();
    void refusals_data();
    void refusals();
    void cancelWhileJournaling();
    void killed_data();
    void killed();
    void tornJournalIsDiscarded();
    void recoveryRefusesAChangedFile();
    void saveWritesInPlaceOnlyWhenThereIsNoRoomAndTheUserAgrees_data();
    void saveWritesInPlaceOnlyWhenThereIsNoRoomAndTheUserAgrees();

private:
    QByteArray Read() const;
    void Write(const QByteArray& bytes) const;
    // Writes changes in a child process killed (SIGKILL, no clean-up) the
    // nth time the write reaches stage.
    void KillDuringWrite(int stage, int occurrence, const std::vector<CInPlaceChange>& changes) const;
    bool JournalExists() const { return QFile::exists(QString::fromUtf8(AfxInPlaceJournalPath(m_path))); }

    QTemporaryDir m_dir;
    QString m_path;
    QByteArray m_old;
};

// Three megabytes, so that a change can cross the journal's 1 MiB chunks.
void TestInPlaceWrite::init()
{
    m_path = m_dir.filePath(QStringLiteral("image.bin"));
    m_old.resize(3 << 20);
    for (qsizetype i = 0; i < m_old.size(); ++i)
        m_old[i] = char(i * 7 + (i >> 11));
    Write(m_old);
    QFile::remove(QString::fromUtf8(AfxInPlaceJournalPath(m_path)));
}

QByteArray TestInPlaceWrite::Read() const
{
    QFile file(m_path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestInPlaceWrite::Write(const QByteArray& bytes) const
{
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

using Changes = std::vector<CInPlaceChange>;
Q_DECLARE_METATYPE(Changes)

void TestInPlaceWrite::KillDuringWrite(int stage, int occurrence, const Changes& changes) const
{
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        int nSeen = 0;
        g_afxInPlaceStageHook = [&](int nStage) {
            if (nStage == stage && ++nSeen == occurrence)
                ::raise(SIGKILL);
        };
        try {
            AfxWriteInPlace(m_path, m_old.size(), changes);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

void TestInPlaceWrite::writes_data()
{
    QTest::addColumn<Changes>("changes");
    QTest::newRow("one byte at the start") << Changes{{0, "\x01"}};
    QTest::newRow("the last byte") << Changes{{(3 << 20) - 1, "Z"}};
    QTest::newRow("across the journal's chunks") << Changes{{(1 << 20) - 5, QByteArray(3 << 19, 'x')}};
    QTest::newRow("several, apart") << Changes{{10, "ab"}, {70000, "cd"}, {(2 << 20) + 3, "ef"}};
    QTest::newRow("nothing") << Changes{};
}

void TestInPlaceWrite::writes()
{
    QFETCH(Changes, changes);
    QByteArray expected = m_old;
    for (const CInPlaceChange& change : changes)
        expected.replace(change.nOffset, change.bytes.size(), change.bytes);
    qint64 nLastDone = -1, nLastTotal = -1;
    AfxWriteInPlace(m_path, m_old.size(), changes, [&](qint64 nDone, qint64 nTotal) {
        nLastDone = nDone;
        nLastTotal = nTotal;
        return true;
    });
    QCOMPARE(Read(), expected);
    QVERIFY(!JournalExists());
    if (!changes.empty())
        QCOMPARE(nLastDone, nLastTotal);
    QCOMPARE(AfxRecoverInPlaceWrite(m_path), CInPlaceRecovery::NoJournal);
}

// Each is refused before a byte of the file changes, and leaves no journal of
// its own.
void TestInPlaceWrite::refusals_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<Changes>("changes");
    QTest::addColumn<bool>("journalThere");
    QTest::addColumn<int>("cause");   // -1: any
    QTest::newRow("the file grew since it was opened")
        << qint64(3 << 20) - 1 << Changes{{0, "a"}} << false << int(CFileException::changedWhileOpen);
    QTest::newRow("a change past the end")
        << qint64(3 << 20) << Changes{{(3 << 20) - 1, "ab"}} << false << int(CFileException::genericException);
    QTest::newRow("a change before the start")
        << qint64(3 << 20) << Changes{{-1, "a"}} << false << int(CFileException::genericException);
    QTest::newRow("the journal of an unrecovered write is there")
        << qint64(3 << 20) << Changes{{0, "a"}} << true << -1;
}

void TestInPlaceWrite::refusals()
{
    QFETCH(qint64, length);
    QFETCH(Changes, changes);
    QFETCH(bool, journalThere);
    QFETCH(int, cause);
    const QString journal = QString::fromUtf8(AfxInPlaceJournalPath(m_path));
    if (journalThere) {
        QFile file(journal);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("someone else's");
    }
    try {
        AfxWriteInPlace(m_path, length, changes);
        QFAIL("the write was not refused");
    } catch (const CFileException& e) {
        if (cause >= 0)
            QCOMPARE(int(e.m_cause), cause);
    }
    QCOMPARE(Read(), m_old);
    QCOMPARE(JournalExists(), journalThere);
    if (journalThere) {
        QFile file(journal);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("someone else's"));
    }
}

void TestInPlaceWrite::cancelWhileJournaling()
{
    QVERIFY_THROWS_EXCEPTION(CUserException,
                             AfxWriteInPlace(m_path, m_old.size(), Changes{{5, QByteArray(2 << 20, 'y')}},
                                             [](qint64 nDone, qint64) { return nDone < (1 << 20); }));
    QCOMPARE(Read(), m_old);
    QVERIFY(!JournalExists());
}

// A child process writes and is killed (SIGKILL, no clean-up) at the nth time
// a stage is reached; the recovery then finds all old bytes or all new.
void TestInPlaceWrite::killed_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<int>("recovery");
    QTest::addColumn<bool>("newBytes");
    const int discarded = int(CInPlaceRecovery::Discarded), rolledBack = int(CInPlaceRecovery::RolledBack);
    QTest::newRow("journal just opened") << 1 << 1 << discarded << false;
    QTest::newRow("after the first record") << 2 << 1 << discarded << false;
    QTest::newRow("after the last record, before its end") << 2 << 3 << discarded << false;
    QTest::newRow("journal on disk") << 3 << 1 << rolledBack << false;
    QTest::newRow("first change written") << 4 << 1 << rolledBack << false;
    QTest::newRow("second change written") << 4 << 2 << rolledBack << false;
    QTest::newRow("file synced, journal still there") << 5 << 1 << rolledBack << false;
    QTest::newRow("journal gone") << 6 << 1 << int(CInPlaceRecovery::NoJournal) << true;
}

void TestInPlaceWrite::killed()
{
    QFETCH(int, stage);
    QFETCH(int, occurrence);
    QFETCH(int, recovery);
    QFETCH(bool, newBytes);
    const Changes changes{{1, QByteArray(1 << 20, 'n')}, {(2 << 20) - 1, "nn"}, {(3 << 20) - 4, "nnnn"}};
    QByteArray expected = m_old;
    for (const CInPlaceChange& change : changes)
        expected.replace(change.nOffset, change.bytes.size(), change.bytes);

    KillDuringWrite(stage, occurrence, changes);

    QCOMPARE(int(AfxRecoverInPlaceWrite(m_path)), recovery);
    QCOMPARE(Read() == expected, newBytes);
    if (!newBytes)
        QVERIFY(Read() == m_old);
    QVERIFY(!JournalExists());
}

void TestInPlaceWrite::tornJournalIsDiscarded()
{
    // A whole journal kept by a write killed once it was on disk, then cut by
    // one byte as a crash may leave it: the file was then never touched.
    KillDuringWrite(3, 1, Changes{{0, "abc"}});
    QVERIFY(JournalExists());
    QFile journal(QString::fromUtf8(AfxInPlaceJournalPath(m_path)));
    QVERIFY(journal.resize(journal.size() - 1));
    QCOMPARE(AfxRecoverInPlaceWrite(m_path), CInPlaceRecovery::Discarded);
    QCOMPARE(Read(), m_old);
    QVERIFY(!JournalExists());
}

void TestInPlaceWrite::recoveryRefusesAChangedFile()
{
    KillDuringWrite(4, 1, Changes{{0, "abc"}});
    // Another program made the file shorter before the next open: the journal's
    // bytes no longer belong where they were taken, so it stays untouched.
    Write(m_old.left(100));
    try {
        AfxRecoverInPlaceWrite(m_path);
        QFAIL("the recovery wrote into a changed file");
    } catch (const CFileException& e) {
        QCOMPARE(e.m_cause, CFileException::changedWhileOpen);
    }
    QCOMPARE(Read(), m_old.left(100));
    QVERIFY(JournalExists());
}

namespace {

// A document of plain bytes that knows which of them it overwrote.
class CBytesDoc : public CDocument {
public:
    void Serialize(CArchive& ar) override
    {
        if (ar.IsStoring())
            ar.GetFile()->write(m_bytes);
        else
            m_bytes = ar.GetFile()->readAll();
    }
    bool GetInPlaceChanges(std::vector<CInPlaceChange>& changes, qint64& nLength) const override
    {
        changes = m_changes;
        nLength = m_bytes.size();
        return !m_changes.empty();
    }
    void OnWritingInPlace(bool bWriting) override { m_writing << bWriting; }
    void Overwrite(qint64 nOffset, const QByteArray& bytes)
    {
        m_bytes.replace(nOffset, bytes.size(), bytes);
        m_changes.push_back({nOffset, bytes});
        SetModifiedFlag();
    }

    QByteArray m_bytes;
    std::vector<CInPlaceChange> m_changes;
    QList<bool> m_writing;
};

ino_t Inode(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

void TestInPlaceWrite::saveWritesInPlaceOnlyWhenThereIsNoRoomAndTheUserAgrees_data()
{
    QTest::addColumn<bool>("room");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("room for a copy: the usual save, no question") << true << int(IDNO) << true << false;
    QTest::newRow("no room, the user agrees") << false << int(IDYES) << true << true;
    QTest::newRow("no room, the user declines: nothing written") << false << int(IDNO) << false << false;
}

void TestInPlaceWrite::saveWritesInPlaceOnlyWhenThereIsNoRoomAndTheUserAgrees()
{
    QFETCH(bool, room);
    QFETCH(int, answer);
    QFETCH(bool, saved);
    QFETCH(bool, inPlace);
    AfxSetResourceLanguage(LANG_EN_US);
    QStringList messages;
    AfxSetMessageBoxHandler([&](const QString& text, unsigned) {
        messages << text;
        return answer;
    });
    g_afxFreeBytesHook = [room](const QString&) { return room ? qint64(1) << 40 : qint64(4096); };
    const ino_t inode = Inode(m_path);

    CBytesDoc doc;
    QVERIFY(doc.OnOpenDocument(m_path));
    doc.Overwrite(100, "patched");
    doc.Overwrite((2 << 20) + 1, "again");
    QCOMPARE(doc.OnSaveDocument(m_path), saved);
    g_afxFreeBytesHook = nullptr;
    AfxSetMessageBoxHandler(nullptr);

    QCOMPARE(messages.size(), room ? 0 : 1);
    if (!room)
        QVERIFY(messages[0].contains("Write only the changed bytes into the file itself?"));
    QCOMPARE(Read(), saved ? doc.m_bytes : m_old);
    QCOMPARE(doc.m_writing, inPlace ? QList<bool>({true, false}) : QList<bool>());
    // Written in place, the file is the same file; the usual save puts a new
    // one in its place.
    QCOMPARE(Inode(m_path) == inode, inPlace || !saved);
    QVERIFY(!JournalExists());
}

QTEST_GUILESS_MAIN(TestInPlaceWrite)
#include "tst_inplacewrite.moc"
