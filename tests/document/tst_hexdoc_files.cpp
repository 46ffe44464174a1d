#include "afxmsg.h"
#include "hexdoc.h"
#include "longtask.h"
#include "resources.h"
#include "syslang.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QScopeGuard>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::scratchDir;
using TestSupport::writeScratchFile;

namespace {

// Opens path in doc under its name, as the program does.
bool OpenNamed(CHexDoc& doc, const QString& path)
{
    if (!doc.OnOpenDocument(path))
        return false;
    doc.SetPathName(path);
    return true;
}

// An edit not saved yet: b becomes the first byte.
void EditFirstByte(CHexDoc& doc, char b)
{
    doc.SetByte(0, std::uint8_t(b));
    doc.SetModifiedFlag(true);
}

} // namespace

// Opening and saving where the document meets the file system: special files,
// files the kernel makes as they are read, several names for one file, failed
// and cancelled saves, and files changed by other programs.
class TestHexDocFiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void specialFilesAreNotOpened_data();
    void specialFilesAreNotOpened();
    void specialFilesAreNotSavedOver_data();
    void specialFilesAreNotSavedOver();
    void filesOfLengthZeroAreReadToTheirEnd_data();
    void filesOfLengthZeroAreReadToTheirEnd();
    void filesShorterThanTheirLengthAreReadToTheirEnd();
    void everyNameSeesTheSavedBytes();
    void failedSaveKeepsTheOldBytes_data();
    void failedSaveKeepsTheOldBytes();
    void saveFailureSaysWhy_data();
    void saveFailureSaysWhy();
    void saveKeepsOwnerAndGroup();
    void changeByAnotherProgramAsksToReload_data();
    void changeByAnotherProgramAsksToReload();
    void ownSaveIsNoChange();
    void savingOverAChangedFileAsksFirst_data();
    void savingOverAChangedFileAsksFirst();

private:
    // A special file of the given kind in the scratch folder, or an empty
    // string when this system cannot make one.
    QString MakeSpecial(const QString& kind, const QString& name);
    QStringList FolderEntries(const QString& folder) const;

    QStringList m_messages;
    int m_nAnswer = IDYES;
};

void TestHexDocFiles::initTestCase()
{
    AfxSetResourceLanguage(LANG_EN_US);
    AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
        m_messages << text;
        return m_nAnswer;
    });
    // A write past the file size limit fails with EFBIG instead of ending the test.
    std::signal(SIGXFSZ, SIG_IGN);
}

void TestHexDocFiles::init()
{
    m_messages.clear();
    m_nAnswer = IDYES;
    QDir(scratchDir()).removeRecursively();
    QDir().mkpath(scratchDir());
}

void TestHexDocFiles::cleanup()
{
    CLongTask::s_stepHook = nullptr;
}

QString TestHexDocFiles::MakeSpecial(const QString& kind, const QString& name)
{
    const QString path = scratchDir() + '/' + name;
    const QByteArray native = QFile::encodeName(path);
    if (kind == "fifo")
        return ::mkfifo(native.constData(), 0666) == 0 ? path : QString();
    if (kind == "link to fifo") {
        const QString fifo = MakeSpecial("fifo", name + ".fifo");
        return QFile::link(fifo, path) ? path : QString();
    }
    // The null device's numbers: reading it ends at once, writing it keeps nothing.
    if (kind == "device")
        return ::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? path : QString();
    return QString();
}

QStringList TestHexDocFiles::FolderEntries(const QString& folder) const
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void TestHexDocFiles::specialFilesAreNotOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("link to a FIFO") << "link to fifo";
    QTest::newRow("device node") << "device";
}

// A FIFO without a writer would block open() for ever: the load runs on its own
// thread here so that a fault fails the test instead of hanging it.
void TestHexDocFiles::specialFilesAreNotOpened()
{
    QFETCH(QString, kind);
    const QString path = MakeSpecial(kind, "special");
    if (path.isEmpty())
        QSKIP("this system cannot make the special file");
    CHexDoc doc;
    auto opened = std::async(std::launch::async, [&] { return doc.OnOpenDocument(path); });
    if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        opened.wait();
        ::close(fd);
        QFAIL("opening the special file blocked");
    }
    QVERIFY(!opened.get());
    QCOMPARE(m_messages, QStringList{path + " is not a file that can be opened."});
    QVERIFY(!doc.Data());
}

void TestHexDocFiles::specialFilesAreNotSavedOver_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("saveAs");
    QTest::newRow("Save As onto a FIFO") << "fifo" << true;
    QTest::newRow("Save As onto a link to a FIFO") << "link to fifo" << true;
    QTest::newRow("Save As onto a device node") << "device" << true;
    QTest::newRow("Save of a document whose file became a FIFO") << "fifo" << false;
}

void TestHexDocFiles::specialFilesAreNotSavedOver()
{
    QFETCH(QString, kind);
    QFETCH(bool, saveAs);
    const QString source = writeScratchFile("source.bin", "bytes");
    CHexDoc doc;
    QVERIFY(OpenNamed(doc, source));
    EditFirstByte(doc, 'B');
    QString path;
    if (saveAs) {
        path = MakeSpecial(kind, "special");
    } else {
        QFile::remove(source);
        path = MakeSpecial(kind, "source.bin");
        m_nAnswer = IDYES;   // "changed by another program": save over it anyway
    }
    if (path.isEmpty())
        QSKIP("this system cannot make the special file");
    const QStringList entries = FolderEntries(scratchDir());
    const QString target = QFileInfo(path).canonicalFilePath();
    const bool wasLink = QFileInfo(path).isSymLink();

    QVERIFY(!doc.DoSave(path));
    QVERIFY(m_messages.last().startsWith(target + " is not a regular file"));
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.GetPathName(), source);
    QCOMPARE(FolderEntries(scratchDir()), entries);
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(target).constData(), &st) == 0);
    QVERIFY(kind == "device" ? S_ISCHR(st.st_mode) : S_ISFIFO(st.st_mode));
    QCOMPARE(QFileInfo(path).isSymLink(), wasLink);
}

void TestHexDocFiles::filesOfLengthZeroAreReadToTheirEnd_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("begins");
    QTest::addColumn<quint64>("limit");
    QTest::addColumn<bool>("opens");
    QTest::newRow("/proc/self/status") << "/proc/self/status" << QByteArray("Name:") << quint64(CHexDoc::kMaxFileLength)
                                       << true;
    QTest::newRow("/proc/self/maps") << "/proc/self/maps" << QByteArray() << quint64(CHexDoc::kMaxFileLength) << true;
    QTest::newRow("longer than the limit") << "/proc/self/maps" << QByteArray() << quint64(100) << false;
    QTest::newRow("a truly empty file") << "empty" << QByteArray() << quint64(CHexDoc::kMaxFileLength) << true;
}

void TestHexDocFiles::filesOfLengthZeroAreReadToTheirEnd()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, begins);
    QFETCH(quint64, limit);
    QFETCH(bool, opens);
    if (path == "empty")
        path = writeScratchFile("empty", QByteArray());
    QCOMPARE(QFileInfo(path).size(), 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    CHexDoc doc;
    CHexDoc::s_nMaxFileLength = limit;
    const bool opened = doc.OnOpenDocument(path);
    CHexDoc::s_nMaxFileLength = CHexDoc::kMaxFileLength;
    QCOMPARE(opened, opens);
    if (!opens) {
        QVERIFY(!doc.Data());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].contains("too large"));
        return;
    }
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(doc.Data()[doc.GetSize() - 1], std::uint8_t(0xFF));
    const QByteArray read(reinterpret_cast<const char*>(doc.Data()), int(doc.GetSize() - 1));
    QVERIFY(read.startsWith(begins));
    if (path.startsWith("/proc/self/maps")) {
        // The maps of two moments of one process differ; both are many lines.
        QVERIFY(read.count('\n') > 10);
    } else if (path.startsWith("/proc")) {
        QVERIFY(read.contains("\nPid:"));
    } else {
        QCOMPARE(read, bytes);
    }
}

// The kernel's files under /sys say they hold 4096 bytes and hold fewer; they
// open as --dump reads them, to their end.
void TestHexDocFiles::filesShorterThanTheirLengthAreReadToTheirEnd()
{
    const QString path = TestSupport::sysFileShorterThanItsLength();
    if (path.isEmpty())
        QSKIP("no file under /sys reads shorter than its length");
    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(path));
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(doc.Data()), int(doc.GetLength())), readFile(path));
}

void TestHexDocFiles::everyNameSeesTheSavedBytes()
{
    const QString path = writeScratchFile("linked.bin", "old bytes");
    const QString other = scratchDir() + "/other-name.bin";
    QVERIFY(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()) == 0);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    struct stat before;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);

    CHexDoc doc;
    QVERIFY(OpenNamed(doc, other));
    doc.SetByte(0, 'N');
    doc.SetByte(1, 'E');
    doc.SetByte(2, 'W');
    QVERIFY(doc.OnSaveDocument(other));
    QCOMPARE(readFile(path), QByteArray("NEW bytes"));
    QCOMPARE(readFile(other), QByteArray("NEW bytes"));
    struct stat after;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(QFile::permissions(path) & 0x0077, QFile::ReadGroup);
    QCOMPARE(FolderEntries(scratchDir()), (QStringList{"linked.bin", "other-name.bin"}));
    QVERIFY(m_messages.isEmpty());

    // Shorter, then longer than the file on disk.
    doc.ReplaceBytes(2, doc.GetLength() - 2, nullptr, 0, {});
    QVERIFY(doc.OnSaveDocument(other));
    QCOMPARE(readFile(path), QByteArray("NE"));
}

void TestHexDocFiles::failedSaveKeepsTheOldBytes_data()
{
    QTest::addColumn<int>("names");
    QTest::addColumn<QString>("failure");
    for (const int names : {1, 2}) {
        const QByteArray prefix = names == 1 ? "one name, " : "two names, ";
        QTest::newRow(prefix + "cancelled") << names << "cancel";
        QTest::newRow(prefix + "file size limit") << names << "limit";
    }
}

// The new bytes are many times as long as the old ones, so that a limit on the
// length of files written stops the save half-way while the old bytes fit.
void TestHexDocFiles::failedSaveKeepsTheOldBytes()
{
    QFETCH(int, names);
    QFETCH(QString, failure);
    const QByteArray old("the old bytes");
    const QString path = writeScratchFile("kept.bin", old);
    if (names == 2)
        QVERIFY(::link(QFile::encodeName(path).constData(),
                       QFile::encodeName(scratchDir() + "/second.bin").constData()) == 0);
    const QStringList entries = FolderEntries(scratchDir());

    CHexDoc doc;
    QVERIFY(OpenNamed(doc, path));
    doc.SetContents(QByteArray((1 << 20) - 1, 'n'));
    doc.SetModifiedFlag(true);

    bool saved = true;
    if (failure == "cancel") {
        CLongTask::s_stepHook = [](CLongTask& task) { task.Cancel(); };
        saved = doc.OnSaveDocument(path);
    } else {
        struct rlimit old_limit;
        ::getrlimit(RLIMIT_FSIZE, &old_limit);
        struct rlimit limit = old_limit;
        limit.rlim_cur = 64 * 1024;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
        saved = doc.OnSaveDocument(path);
        ::setrlimit(RLIMIT_FSIZE, &old_limit);
    }
    QVERIFY(!saved);
    QCOMPARE(m_messages.size(), failure == "cancel" ? 0 : 1);
    if (failure != "cancel")
        QCOMPARE(m_messages[0], path + " cannot be written: it would be larger than the file system or the file size"
                                       " limit allows.");
    QVERIFY(doc.IsModified());
    QCOMPARE(readFile(path), old);
    if (names == 2)
        QCOMPARE(readFile(scratchDir() + "/second.bin"), old);
    QCOMPARE(FolderEntries(scratchDir()), entries);
}

void TestHexDocFiles::saveFailureSaysWhy_data()
{
    QTest::addColumn<bool>("bReadOnly");
    QTest::addColumn<QString>("source");    // what the document holds
    QTest::addColumn<QString>("message");   // %1 is the file's path
    QTest::newRow("full disk") << false << "whole" << "Disk full while accessing %1.";
    QTest::newRow("read-only file system") << true << "whole"
                                           << "%1 is on a read-only file system and cannot be written.";
    // Pieces of a file on another disk are read and written; pieces of a
    // file on the same disk are copied by the kernel.
    QTest::newRow("full disk, pieces of a file elsewhere") << false << "elsewhere" << "Disk full while accessing %1.";
    QTest::newRow("full disk, pieces of a file on it") << false << "on it" << "Disk full while accessing %1.";
}

// Save As of 1 MiB onto a small file system, or onto one mounted read-only.
void TestHexDocFiles::saveFailureSaysWhy()
{
    QFETCH(bool, bReadOnly);
    QFETCH(QString, source);
    QFETCH(QString, message);
    const TestSupport::TinyFileSystem disk(64, bReadOnly);
    if (disk.path().isEmpty())
        QSKIP("mounting a small tmpfs needs root");
    const QString path = disk.path() + "/new.bin";
    const qint64 nThreshold = CHexDoc::s_nPieceThreshold;
    const auto restore = qScopeGuard([nThreshold] { CHexDoc::s_nPieceThreshold = nThreshold; });
    CHexDoc doc;
    if (source == "whole") {
        QVERIFY(doc.OnNewDocument());
        doc.SetContents(QByteArray((1 << 20) - 1, 'n'));
    } else {
        CHexDoc::s_nPieceThreshold = 0;
        const QByteArray bytes(source == "on it" ? 40 << 10 : 1 << 20, 'p');
        const QString from = source == "on it" ? disk.path() + "/old.bin" : scratchDir() + "/elsewhere.bin";
        QFile file(from);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        QVERIFY(doc.OnOpenDocument(from));
        QVERIFY(doc.IsPieceMode());
        EditFirstByte(doc, 'q');
    }
    QVERIFY(!doc.OnSaveDocument(path));
    QCOMPARE(m_messages, QStringList{message.arg(path)});
    QVERIFY(!QFile::exists(path));
    QVERIFY(doc.IsReadable());
}

void TestHexDocFiles::saveKeepsOwnerAndGroup()
{
    if (::geteuid() != 0)
        QSKIP("only a privileged user can give a file to another user");
    const QString path = writeScratchFile("owned.bin", "abc");
    QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
    CHexDoc doc;
    QVERIFY(OpenNamed(doc, path));
    EditFirstByte(doc, 'X');
    QVERIFY(doc.OnSaveDocument(path));
    QCOMPARE(readFile(path), QByteArray("Xbc"));
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
    QCOMPARE(st.st_uid, uid_t(65534));
    QCOMPARE(st.st_gid, gid_t(65534));
}

void TestHexDocFiles::changeByAnotherProgramAsksToReload_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("rewritten, reloaded") << "rewrite" << false << int(IDYES) << QByteArray("other program");
    QTest::newRow("rewritten, kept") << "rewrite" << false << int(IDNO) << QByteArray("Xriginal");
    QTest::newRow("truncated, unsaved changes lost") << "truncate" << true << int(IDYES) << QByteArray();
    QTest::newRow("replaced by a rename") << "rename" << false << int(IDYES) << QByteArray("renamed in");
    QTest::newRow("deleted: the reload fails, the document stays") << "delete" << true << int(IDYES)
                                                                   << QByteArray("Xriginal");
}

void TestHexDocFiles::changeByAnotherProgramAsksToReload()
{
    QFETCH(QString, change);
    QFETCH(bool, modified);
    QFETCH(int, answer);
    QFETCH(QByteArray, after);
    const QString path = writeScratchFile("watched.bin", "original");
    CHexDoc doc;
    QVERIFY(OpenNamed(doc, path));
    doc.SetByte(0, 'X');
    doc.SetModifiedFlag(modified);
    QSignalSpy changed(&doc, &CDocument::changedOnDisk);

    if (change == "rewrite") {
        writeScratchFile("watched.bin", "other program");
    } else if (change == "truncate") {
        QVERIFY(QFile::resize(path, 0));
    } else if (change == "rename") {
        const QString temp = writeScratchFile("incoming.bin", "renamed in");
        QVERIFY(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) == 0);
    } else {
        QVERIFY(QFile::remove(path));
    }
    QVERIFY(changed.wait(5000));
    QVERIFY(doc.IsChangedOnDisk());

    m_nAnswer = answer;
    doc.CheckChangedOnDisk();
    QVERIFY(!m_messages.isEmpty());
    const QString question = path + " was changed by another program. Reload it?";
    QCOMPARE(m_messages[0], modified ? question + "\n\nReloading loses the changes you have not saved." : question);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(doc.Data()), int(doc.GetSize() - 1)), after);
    QCOMPARE(doc.IsModified(), modified && (answer == IDNO || change == "delete"));
    if (change == "delete")
        QCOMPARE(m_messages.value(1), path + " was not found.");

    // Asked once for each change.
    m_messages.clear();
    doc.CheckChangedOnDisk();
    QVERIFY(m_messages.isEmpty());
    if (change == "rename" || (change == "rewrite" && answer == IDYES)) {
        // The file under the name is still watched after it was replaced.
        writeScratchFile("watched.bin", "once more");
        QVERIFY(changed.wait(5000));
        doc.CheckChangedOnDisk();
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(doc.Data()), int(doc.GetSize() - 1)), "once more");
    }
}

void TestHexDocFiles::ownSaveIsNoChange()
{
    const QString path = writeScratchFile("own.bin", "abc");
    CHexDoc doc;
    QVERIFY(OpenNamed(doc, path));
    QSignalSpy changed(&doc, &CDocument::changedOnDisk);
    doc.SetByte(0, 'X');
    QVERIFY(doc.OnSaveDocument(path));
    doc.SetByte(1, 'Y');
    QVERIFY(doc.OnSaveDocument(path));
    QVERIFY(!changed.wait(300));
    QVERIFY(!doc.IsChangedOnDisk());
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(readFile(path), QByteArray("XYc"));
}

void TestHexDocFiles::savingOverAChangedFileAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("onDisk");
    QTest::newRow("save over it") << int(IDYES) << QByteArray("Xriginal");
    QTest::newRow("keep the other program's bytes") << int(IDNO) << QByteArray("changed");
}

void TestHexDocFiles::savingOverAChangedFileAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(QByteArray, onDisk);
    const QString path = writeScratchFile("contested.bin", "original");
    CHexDoc doc;
    QVERIFY(OpenNamed(doc, path));
    EditFirstByte(doc, 'X');
    writeScratchFile("contested.bin", "changed");

    m_nAnswer = answer;
    QCOMPARE(doc.DoFileSave(), answer == IDYES);
    QCOMPARE(m_messages, QStringList{path + " was changed by another program since it was read. Save over it?"});
    QCOMPARE(readFile(path), onDisk);
    QCOMPARE(doc.IsModified(), answer != IDYES);
}

QTEST_GUILESS_MAIN(TestHexDocFiles)
#include "tst_hexdoc_files.moc"
