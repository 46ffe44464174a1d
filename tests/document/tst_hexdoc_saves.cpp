#include "afxmsg.h"
#include "diskfile.h"
#include "filename.h"
#include "hexdoc.h"
#include "inplacewrite.h"
#include "longtask.h"
#include "resources.h"
#include "syslang.h"
#include "testsupport.h"

#include <QDir>
#include <QScopeGuard>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::scratchDir;
using TestSupport::writeScratchFile;

namespace {

const char kOtherUser[] = "zorbel-test-user";
const char kAcl[] = "system.posix_acl_access";

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

// The document's bytes become bytes, as an edit would leave them.
void SetContents(CHexDoc& doc, const QByteArray& bytes)
{
    doc.SetContents(bytes);
    doc.SetModifiedFlag(true);
}

// An access ACL in the kernel's form: the owner rw-, one named user, the
// owning group r--, the mask and others r--.
QByteArray AclGivingUser(uid_t uid, quint16 nUserPerm)
{
    QByteArray acl;
    auto put = [&acl](quint32 value, int nBytes) {
        for (int i = 0; i < nBytes; ++i)
            acl.append(char((value >> (8 * i)) & 0xFF));
    };
    put(2, 4);
    const quint32 kNone = 0xFFFFFFFF;
    const quint32 entries[][3] = {{0x01, 6, kNone}, {0x02, nUserPerm, quint32(uid)}, {0x04, 4, kNone},
                                  {0x10, 6, kNone}, {0x20, 4, kNone}};
    for (const auto& entry : entries) {
        put(entry[0], 2);
        put(entry[1], 2);
        put(entry[2], 4);
    }
    return acl;
}

QByteArray Xattr(const QString& path, const char* name)
{
    QByteArray value(4096, '\0');
    const ssize_t n = ::getxattr(Native(path).constData(), name, value.data(), value.size());
    return n < 0 ? QByteArray("<none>") : value.left(n);
}

// Runs work in a child process, as uid when it is not 0; the child's exit
// status: 0 when work returned true. A child that kills itself gives -1.
int RunInChild(uid_t uid, gid_t gid, const std::function<bool()>& work)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
            ::_exit(3);
        ::_exit(work() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The names in folder as the file system holds them.
QList<QByteArray> RawEntries(const QString& folder)
{
    QList<QByteArray> names;
    DIR* pDir = ::opendir(Native(folder).constData());
    while (const struct dirent* pEntry = pDir ? ::readdir(pDir) : nullptr) {
        if (std::strcmp(pEntry->d_name, ".") != 0 && std::strcmp(pEntry->d_name, "..") != 0)
            names << QByteArray(pEntry->d_name);
    }
    if (pDir)
        ::closedir(pDir);
    std::sort(names.begin(), names.end());
    return names;
}

// Writes bytes to the file named by the bytes name, in folder.
void WriteRaw(const QString& folder, const QByteArray& name, const QByteArray& bytes)
{
    const int fd = ::open((Native(folder) + '/' + name).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.constData(), bytes.size()), ssize_t(bytes.size()));
    ::close(fd);
}

QByteArray ReadRaw(const QString& folder, const QByteArray& name)
{
    QByteArray bytes(4096, '\0');
    const int fd = ::open((Native(folder) + '/' + name).constData(), O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd < 0 ? -1 : ::read(fd, bytes.data(), bytes.size());
    if (fd >= 0)
        ::close(fd);
    return n < 0 ? QByteArray("<unreadable>") : bytes.left(n);
}

} // namespace

// What a save keeps of the file it replaces and what it leaves beside it:
// owner, group, mode, ACL and extended attributes, names at the file system's
// limit, the leftovers of saves that were killed, and the file's identity
// however it was named.
class TestHexDocSaves : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void changeIsSeenWhateverTheName_data();
    void changeIsSeenWhateverTheName();
    void saveKeepsOwnerModeAclAndAttributes_data();
    void saveKeepsOwnerModeAclAndAttributes();
    void longNamesSaveInPlace_data();
    void longNamesSaveInPlace();
    void killedSaveLeavesNothingBehind_data();
    void killedSaveLeavesNothingBehind();
    void othersFilesAndSavesInProgressStay();
    void inPlaceSaveKilledIsRolledBackAtOpen_data();
    void piecesOverwrittenAreSavedInPlace_data();
    void piecesOverwrittenAreSavedInPlace();
    void holesOfSparseFilesStayHoles_data();
    void holesOfSparseFilesStayHoles();
    void inPlaceSaveKilledIsRolledBackAtOpen();
    void namesNotUtf8_data();
    void namesNotUtf8();

private:
    QStringList FolderEntries() const;
    // Saves doc to path in a child process that is killed once the save has
    // written its first piece.
    void KillDuringSave(CHexDoc& doc, const QString& path);

    QStringList m_messages;
    int m_nAnswer = IDYES;
    bool m_bMadeUser = false;
};

void TestHexDocSaves::initTestCase()
{
    AfxSetResourceLanguage(LANG_EN_US);
    AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
        m_messages << text;
        return m_nAnswer;
    });
    if (::geteuid() == 0 && !::getpwnam(kOtherUser))
        m_bMadeUser = QProcess::execute(QStringLiteral("useradd"), {QStringLiteral("-M"), QStringLiteral("-N"),
                                                                  QString::fromLatin1(kOtherUser)})
                      == 0;
}

void TestHexDocSaves::cleanupTestCase()
{
    if (m_bMadeUser)
        QProcess::execute(QStringLiteral("userdel"), {QString::fromLatin1(kOtherUser)});
}

void TestHexDocSaves::init()
{
    m_messages.clear();
    m_nAnswer = IDYES;
    // Qt cannot name the files whose names are not UTF-8.
    for (const QByteArray& name : RawEntries(scratchDir()))
        ::unlink((Native(scratchDir()) + '/' + name).constData());
    QDir(scratchDir()).removeRecursively();
    QDir().mkpath(scratchDir());
}

void TestHexDocSaves::cleanup()
{
    CLongTask::s_stepHook = nullptr;
}

QStringList TestHexDocSaves::FolderEntries() const
{
    return QDir(scratchDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void TestHexDocSaves::changeIsSeenWhateverTheName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("relative") << "f.bin";
    QTest::newRow("dot slash") << "./f.bin";
    QTest::newRow("through ..") << "sub/../f.bin";
    QTest::newRow("absolute through ..") << scratchDir() + "/sub/../f.bin";
}

// Another program rewrites the file after it was opened under name; Save asks
// before writing over its bytes.
void TestHexDocSaves::changeIsSeenWhateverTheName()
{
    QFETCH(QString, name);
    const QString path = writeScratchFile("f.bin", "original");
    QDir().mkpath(scratchDir() + "/sub");
    const QString before = QDir::currentPath();
    QDir::setCurrent(scratchDir());
    CHexDoc doc;
    const bool bOpened = doc.OnOpenDocument(name);
    doc.SetPathName(name);
    QDir::setCurrent(before);
    QVERIFY(bOpened);
    doc.SetByte(0, 'X');
    doc.SetModifiedFlag(true);
    writeScratchFile("f.bin", "other program");

    m_nAnswer = IDNO;
    QVERIFY(!doc.DoFileSave());
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages[0].endsWith("was changed by another program since it was read. Save over it?"));
    QCOMPARE(readFile(path), QByteArray("other program"));
}

void TestHexDocSaves::saveKeepsOwnerModeAclAndAttributes_data()
{
    QTest::addColumn<bool>("bOwnerSaves");   // else the other user, whom the ACL lets write
    QTest::newRow("root saves the other user's file") << true;
    QTest::newRow("the other user saves root's file") << false;
}

void TestHexDocSaves::saveKeepsOwnerModeAclAndAttributes()
{
    QFETCH(bool, bOwnerSaves);
    const struct passwd* pOther = ::getpwnam(kOtherUser);
    if (::geteuid() != 0 || !pOther)
        QSKIP("needs root, who can make a second user");
    const uid_t otherUid = pOther->pw_uid;
    const gid_t otherGid = pOther->pw_gid;
    // The other user reaches the folder and may make files in it.
    QVERIFY(::chmod(Native(scratchDir()).constData(), 0777) == 0);
    const QString path = writeScratchFile("kept.bin", "old bytes");
    const QByteArray native = Native(path);
    if (bOwnerSaves)
        QVERIFY(::chown(native.constData(), otherUid, otherGid) == 0);
    QVERIFY(::chmod(native.constData(), 0640) == 0);
    const QByteArray acl = AclGivingUser(bOwnerSaves ? 65534 : otherUid, 6);
    if (::setxattr(native.constData(), kAcl, acl.constData(), acl.size(), 0) != 0
        || ::setxattr(native.constData(), "user.origin", "camera", 6, 0) != 0)
        QSKIP("this file system keeps no ACLs or extended attributes");
    struct stat before;
    QVERIFY(::stat(native.constData(), &before) == 0);
    const QByteArray aclBefore = Xattr(path, kAcl);

    const int nStatus = RunInChild(bOwnerSaves ? 0 : otherUid, otherGid, [&] {
        CHexDoc doc;
        if (!doc.OnOpenDocument(path))
            return false;
        doc.SetPathName(path);
        SetContents(doc, "new bytes, longer");
        return doc.OnSaveDocument(path);
    });
    QCOMPARE(nStatus, 0);
    QCOMPARE(readFile(path), QByteArray("new bytes, longer"));
    struct stat after;
    QVERIFY(::stat(native.constData(), &after) == 0);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(Xattr(path, kAcl), aclBefore);
    QCOMPARE(Xattr(path, "user.origin"), QByteArray("camera"));
    QCOMPARE(FolderEntries(), QStringList{"kept.bin"});
}

void TestHexDocSaves::longNamesSaveInPlace_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("247 bytes") << QString(247, 'a');
    QTest::newRow("248 bytes") << QString(248, 'a');
    QTest::newRow("255 bytes") << QString(255, 'a');
    QTest::newRow("255 bytes of three-byte characters") << QString(85, QChar(0x4E2D));
}

void TestHexDocSaves::longNamesSaveInPlace()
{
    QFETCH(QString, name);
    QCOMPARE(Native(name).size() >= 247, true);
    for (const int nNames : {1, 2}) {
        init();
        const QString path = writeScratchFile(name, "old");
        if (nNames == 2)
            QVERIFY(::link(Native(path).constData(), Native(scratchDir() + "/other").constData()) == 0);
        CHexDoc doc;
        QVERIFY(doc.OnOpenDocument(path));
        doc.SetPathName(path);
        SetContents(doc, "new");
        QVERIFY2(doc.OnSaveDocument(path), qPrintable(m_messages.join('\n')));
        QCOMPARE(readFile(path), QByteArray("new"));
        QCOMPARE(FolderEntries().size(), nNames);
    }
}

void TestHexDocSaves::KillDuringSave(CHexDoc& doc, const QString& path)
{
    CLongTask::s_stepHook = [](CLongTask& task) {
        if (task.GetDone() > 0)
            ::raise(SIGKILL);
    };
    QCOMPARE(RunInChild(0, 0, [&] { return doc.OnSaveDocument(path); }), -1);
    CLongTask::s_stepHook = nullptr;
}

void TestHexDocSaves::killedSaveLeavesNothingBehind_data()
{
    QTest::addColumn<int>("names");
    QTest::addColumn<bool>("bSameStart");   // the new bytes begin as the old ones
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("leftovers");
    QTest::newRow("one name: the new bytes' file goes") << 1 << false << int(IDYES) << 0 << 0;
    QTest::newRow("two names, killed before a byte changed: the copy goes") << 2 << true << int(IDYES) << 0 << 0;
    QTest::newRow("two names, killed mid-way, user removes the copy") << 2 << false << int(IDYES) << 1 << 0;
    QTest::newRow("two names, killed mid-way, user keeps the copy") << 2 << false << int(IDNO) << 1 << 1;
}

// A save killed after its first piece leaves its file beside the file; the next open removes this program's leftovers, asking first about a
// copy of old bytes the file no longer holds.
void TestHexDocSaves::killedSaveLeavesNothingBehind()
{
    QFETCH(int, names);
    QFETCH(bool, bSameStart);
    QFETCH(int, answer);
    QFETCH(int, questions);
    QFETCH(int, leftovers);
    // Saves write 8 MiB at a time: the first piece is written before the kill.
    const QByteArray old((8 << 20) + 1024, 'o');
    const QString path = writeScratchFile("big.bin", old);
    if (names == 2)
        QVERIFY(::link(Native(path).constData(), Native(scratchDir() + "/second.bin").constData()) == 0);
    const QStringList entries = FolderEntries();
    {
        CHexDoc doc;
        QVERIFY(doc.OnOpenDocument(path));
        doc.SetPathName(path);
        SetContents(doc, bSameStart ? old + "more" : QByteArray(old.size(), 'n'));
        KillDuringSave(doc, path);
    }
    QCOMPARE(FolderEntries().size(), entries.size() + 1);
    if (names == 1 || bSameStart)
        QCOMPARE(readFile(path), old);

    m_nAnswer = answer;
    CHexDoc again;
    QVERIFY(again.OnOpenDocument(path));
    QCOMPARE(m_messages.size(), questions);
    if (questions)
        QVERIFY(m_messages[0].contains(" is a copy of the bytes " + path + " held before a save that did not finish"));
    QCOMPARE(FolderEntries().size(), entries.size() + leftovers);
}

// Names like this program's that are another program's, or whose save is
// still running (it holds its file locked), are left alone.
void TestHexDocSaves::othersFilesAndSavesInProgressStay()
{
    const QString path = writeScratchFile("f.bin", "bytes");
    writeScratchFile(".f.bin.zorbel-abc", "too short");
    writeScratchFile(".f.bin.XyZ123", "another program's");
    writeScratchFile(".g.bin.zorbel-XyZ123", "another file's");
    const QString running = writeScratchFile(".f.bin.zorbel-Run123", "being written");
    writeScratchFile(".f.bin.zorbel-Old123", "killed");
    QFile lockHolder(running);
    QVERIFY(lockHolder.open(QIODevice::ReadOnly));
    QVERIFY(::flock(lockHolder.handle(), LOCK_EX) == 0);
    const QStringList before = FolderEntries();

    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(path));
    QStringList expected = before;
    expected.removeAll(".f.bin.zorbel-Old123");
    QCOMPARE(FolderEntries(), expected);
    QVERIFY(m_messages.isEmpty());
}

void TestHexDocSaves::inPlaceSaveKilledIsRolledBackAtOpen_data()
{
    QTest::addColumn<int>("stage");        // where the write in place was killed
    QTest::addColumn<bool>("shortened");   // another program then cut the file
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("message");
    QTest::newRow("killed while journaling: the file was never touched") << 2 << false << true << QString();
    QTest::newRow("killed while writing: the old bytes come back")
        << 4 << false << true << QString(" that wrote its bytes in place did not finish. Zorbel put the file's old bytes back");
    QTest::newRow("the file changed since: not opened, the journal kept")
        << 4 << true << false << QString("could not be put back from the journal ");
}

// The next open of a file whose save in place was killed puts its old bytes
// back before reading it, or refuses to read it mixed.
void TestHexDocSaves::inPlaceSaveKilledIsRolledBackAtOpen()
{
    QFETCH(int, stage);
    QFETCH(bool, shortened);
    QFETCH(bool, opens);
    QFETCH(QString, message);
    const QByteArray old(100000, 'o');
    const QString path = writeScratchFile("image.bin", old);
    QCOMPARE(RunInChild(0, 0, [&] {
                 g_afxInPlaceStageHook = [stage](int nStage) {
                     if (nStage == stage)
                         ::raise(SIGKILL);
                 };
                 AfxWriteInPlace(path, old.size(), {{10, "new"}, {90000, "bytes"}});
                 return true;
             }),
             -1);
    if (shortened)
        writeScratchFile("image.bin", "short");

    CHexDoc doc;
    QCOMPARE(doc.OnOpenDocument(path), opens);
    QCOMPARE(m_messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QVERIFY2(m_messages[0].contains(message), qPrintable(m_messages[0]));
    if (opens) {
        QByteArray bytes(old.size(), '\0');
        QVERIFY(doc.Read(0, bytes.size(), reinterpret_cast<std::uint8_t*>(bytes.data())));
        QCOMPARE(doc.Length(), old.size());
        QCOMPARE(bytes, old);
    }
    QCOMPARE(QFile::exists(QString::fromUtf8(AfxInPlaceJournalPath(path))), !opens);
}

void TestHexDocSaves::piecesOverwrittenAreSavedInPlace_data()
{
    QTest::addColumn<bool>("shift");   // an insert and a delete of as many bytes
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("bytes overwritten: into the file itself") << false << true;
    QTest::newRow("the same length, bytes moved: a new file") << true << false;
}

// A file held as pieces, on a disk without room for a new copy: overwritten
// bytes go into the file itself once the user agrees, and the document goes
// on reading it without taking its own write for another program's.
void TestHexDocSaves::piecesOverwrittenAreSavedInPlace()
{
    QFETCH(bool, shift);
    QFETCH(bool, inPlace);
    const qint64 nThreshold = CHexDoc::s_nPieceThreshold;
    const auto restore = qScopeGuard([nThreshold] {
        CHexDoc::s_nPieceThreshold = nThreshold;
        g_afxFreeBytesHook = nullptr;
    });
    CHexDoc::s_nPieceThreshold = 0;
    g_afxFreeBytesHook = [](const QString&) { return qint64(4096); };
    QByteArray bytes(300000, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 13);
    const QByteArray original = bytes;
    const QString path = writeScratchFile("pieces.bin", bytes);
    struct stat before;
    QCOMPARE(::stat(Native(path).constData(), &before), 0);

    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(path));
    doc.SetPathName(path);
    QVERIFY(doc.IsPieceMode());
    QCOMPARE(doc.ReplaceBytes(10, 3, reinterpret_cast<const std::uint8_t*>("abc"), 3, {}), CHexDoc::EditResult::Done);
    QCOMPARE(doc.ReplaceBytes(200000, 1, reinterpret_cast<const std::uint8_t*>("z"), 1, {}), CHexDoc::EditResult::Done);
    bytes.replace(10, 3, "abc").replace(200000, 1, "z");
    if (shift) {
        QCOMPARE(doc.ReplaceBytes(50, 0, reinterpret_cast<const std::uint8_t*>("++"), 2, {}), CHexDoc::EditResult::Done);
        QCOMPARE(doc.ReplaceBytes(100, 2, nullptr, 0, {}), CHexDoc::EditResult::Done);
        bytes.insert(50, "++").remove(100, 2);
    }
    QVERIFY(doc.OnSaveDocument(path));
    QCOMPARE(readFile(path), bytes);
    QCOMPARE(m_messages.size(), inPlace ? 1 : 0);
    struct stat after;
    QCOMPARE(::stat(Native(path).constData(), &after), 0);
    QCOMPARE(after.st_ino == before.st_ino, inPlace);
    QVERIFY(doc.IsReadable());
    QByteArray shown(bytes.size(), '\0');
    QVERIFY(doc.Read(0, shown.size(), reinterpret_cast<std::uint8_t*>(shown.data())));
    QCOMPARE(shown, bytes);
    QVERIFY(!doc.IsModified());
    // Written in place, the file the steps refer to changed: the history
    // starts again. Renamed over, the old file still reads and the steps
    // give back its bytes.
    QCOMPARE(doc.History().CanUndo(), !inPlace);
    CEditState state;
    while (doc.Undo(state) == CHexDoc::EditResult::Done) {
    }
    QCOMPARE(doc.IsModified(), !inPlace);
    shown.resize(doc.Length());
    QVERIFY(doc.Read(0, shown.size(), reinterpret_cast<std::uint8_t*>(shown.data())));
    QCOMPARE(shown, inPlace ? bytes : original);
}

void TestHexDocSaves::holesOfSparseFilesStayHoles_data()
{
    QTest::addColumn<qint64>("at");
    QTest::addColumn<qint64>("removed");
    QTest::addColumn<QByteArray>("inserted");
    QTest::newRow("a byte typed into the data at the start") << qint64(10) << qint64(0) << QByteArray("x");
    QTest::newRow("bytes typed into a hole") << qint64(16 << 20) << qint64(0) << QByteArray("hole");
    QTest::newRow("the data at the end deleted: ends in a hole")
        << qint64(32 << 20) << qint64(4096) << QByteArray();
}

// A file held as pieces whose length changed is written anew: its holes are
// left holes, not written as zeros, so that an image of 64 GiB that is mostly
// holes saves in the room its data takes, and every byte reads as before.
void TestHexDocSaves::holesOfSparseFilesStayHoles()
{
    QFETCH(qint64, at);
    QFETCH(qint64, removed);
    QFETCH(QByteArray, inserted);
    const qint64 nThreshold = CHexDoc::s_nPieceThreshold;
    const auto restore = qScopeGuard([nThreshold] { CHexDoc::s_nPieceThreshold = nThreshold; });
    CHexDoc::s_nPieceThreshold = 0;
    // 48 MiB: data at the start and at 32 MiB, holes between and after.
    const qint64 nLength = qint64(48) << 20;
    const QString path = scratchDir() + QStringLiteral("/sparse.bin");
    QByteArray bytes(nLength, '\0');
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(nLength));
        for (const qint64 nData : {qint64(0), qint64(32) << 20}) {
            QByteArray data(4096, Qt::Uninitialized);
            for (qsizetype i = 0; i < data.size(); ++i)
                data[i] = char(1 + (nData >> 20) + i * 7);
            QVERIFY(file.seek(nData));
            QCOMPARE(file.write(data), qint64(data.size()));
            bytes.replace(nData, data.size(), data);
        }
    }
    struct stat st;
    QCOMPARE(::stat(Native(path).constData(), &st), 0);
    if (qint64(st.st_blocks) * 512 > (qint64(1) << 20))
        QSKIP("this file system keeps no holes");

    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(path));
    doc.SetPathName(path);
    QVERIFY(doc.IsPieceMode());
    QCOMPARE(doc.ReplaceBytes(at, removed, reinterpret_cast<const std::uint8_t*>(inserted.constData()),
                              inserted.size(), {}),
             CHexDoc::EditResult::Done);
    bytes.replace(at, removed, inserted);
    QVERIFY(doc.OnSaveDocument(path));
    QCOMPARE(readFile(path).size(), bytes.size());
    QVERIFY(readFile(path) == bytes);
    QCOMPARE(::stat(Native(path).constData(), &st), 0);
    QVERIFY2(qint64(st.st_blocks) * 512 <= (qint64(1) << 20),
             qPrintable(QStringLiteral("%1 bytes taken on disk").arg(qint64(st.st_blocks) * 512)));
    // Undo reads the old file, kept for it: the holes read as zeros there too.
    CEditState state;
    QCOMPARE(doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(doc.Length(), nLength);
    QByteArray shown(16, '\x55');
    QVERIFY(doc.Read((16 << 20) - 8, shown.size(), reinterpret_cast<std::uint8_t*>(shown.data())));
    QCOMPARE(shown, QByteArray(16, '\0'));
}

void TestHexDocSaves::namesNotUtf8_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("title");
    QTest::newRow("GBK") << QByteArray("\xD6\xD0\xCE\xC4.bin") << QString("\\xD6\\xD0\\xCE\\xC4.bin");
    QTest::newRow("bytes valid in no encoding") << QByteArray("\xFF\xFE\x80\xC0\xAF.bin")
                                                << QString("\\xFF\\xFE\\x80\\xC0\\xAF.bin");
    QTest::newRow("UTF-8 among GBK") << QByteArray("\xE4\xB8\xAD\xD6\xD0") << QString::fromUtf8("中\\xD6\\xD0");
    QTest::newRow("an encoded surrogate") << QByteArray("\xED\xB3\x96") << QString("\\xED\\xB3\\x96");
    QTest::newRow("GBK, 255 bytes") << QByteArray(252, 'a') + "\xB0\xA1\xD6" << QString(252, 'a') + "\\xB0\\xA1\\xD6";
}

// A file whose name is not UTF-8 opens, shows its name readably, is watched
// for other programs' changes, saves under the same bytes and loses the
// leftovers of a killed save beside it.
void TestHexDocSaves::namesNotUtf8()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, title);
    WriteRaw(scratchDir(), name, "old");
    WriteRaw(scratchDir(), "." + name.left(240) + ".zorbel-Old123", "killed");
    const QString path = AfxDecodeFileName(Native(scratchDir()) + '/' + name);

    CHexDoc doc;
    QVERIFY2(doc.OnOpenDocument(path), qPrintable(m_messages.join('\n')));
    doc.SetPathName(path);
    QCOMPARE(doc.GetTitle(), title);
    QCOMPARE(RawEntries(scratchDir()), QList<QByteArray>{name});
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(doc.Data()), doc.GetLength()), QByteArray("old"));

    SetContents(doc, "new bytes");
    QVERIFY2(doc.DoFileSave(), qPrintable(m_messages.join('\n')));
    QCOMPARE(ReadRaw(scratchDir(), name), QByteArray("new bytes"));
    QCOMPARE(RawEntries(scratchDir()), QList<QByteArray>{name});

    WriteRaw(scratchDir(), name, "another program's");
    QTRY_VERIFY(doc.IsChangedOnDisk());
    SetContents(doc, "mine");
    m_nAnswer = IDNO;
    QVERIFY(!doc.DoFileSave());
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].contains(title), qPrintable(m_messages[0]));
    QCOMPARE(ReadRaw(scratchDir(), name), QByteArray("another program's"));
}

QTEST_GUILESS_MAIN(TestHexDocSaves)
#include "tst_hexdoc_saves.moc"
