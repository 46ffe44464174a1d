#include "afxmsg.h"
#include "hexdoc.h"
#include "resources.h"
#include "syslang.h"
#include "testsupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::scratchDir;
using TestSupport::writeScratchFile;

// Loading, saving and row extraction of the byte buffer.
class TestHexDoc : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_messages.clear(); }

    void roundTrip_data();
    void roundTrip();
    void loadDetectsTheCodePage_data();
    void loadDetectsTheCodePage();
    void reloadKeepsTheChosenCodePage();
    void newDocumentHoldsOnlyTheEndMarker();
    void resizeKeepsTheBytes();
    void rowText_data();
    void rowText();
    void fileTypeFallback_data();
    void fileTypeFallback();
    void fileTypeFromMimeDatabase();
    void openFailureReportsCause_data();
    void openFailureReportsCause();
    void tooLargeIsRefusedWithoutWrapping();
    void failedSaveKeepsOriginal_data();
    void failedSaveKeepsOriginal();
    void saveKeepsPermissionsAndFollowsLinks();
    void savedFileMode_data();
    void savedFileMode();
    void saveAsThenSave();

private:
    QStringList m_messages;
};

void TestHexDoc::initTestCase()
{
    AfxSetResourceLanguage(LANG_EN_US);
    AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
        m_messages << text;
        return IDOK;
    });
}

void TestHexDoc::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QByteArray large(5 * 1024 * 1024 + 3, Qt::Uninitialized);
    QRandomGenerator gen(42);
    gen.fillRange(reinterpret_cast<quint32*>(large.data()), large.size() / 4);
    QTest::newRow("zero-length") << QByteArray();
    QTest::newRow("all byte values") << all;
    QTest::newRow("ends in 0xFF") << QByteArray("\x01\xFF\xFF", 3);
    QTest::newRow("several MiB") << large;
    // Past the line between the two ways of holding a file: held as pieces
    // over the file, read on demand, saved a block at a time.
    QByteArray huge(qsizetype(CHexDoc::s_nPieceThreshold) + 4097, Qt::Uninitialized);
    gen.fillRange(reinterpret_cast<quint32*>(huge.data()), huge.size() / 4);
    QTest::newRow("held as pieces") << huge;
}

void TestHexDoc::roundTrip()
{
    QFETCH(QByteArray, bytes);
    const QString path = writeScratchFile("round.bin", bytes);
    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(path));
    QCOMPARE(doc.IsPieceMode(), bytes.size() > CHexDoc::s_nPieceThreshold);
    QCOMPARE(doc.Length(), qint64(bytes.size()));
    QCOMPARE(doc.ByteAt(bytes.size()), std::uint8_t(0xFF));
    QByteArray read(bytes.size(), Qt::Uninitialized);
    QVERIFY(doc.Read(0, read.size(), reinterpret_cast<std::uint8_t*>(read.data())));
    QVERIFY(read == bytes);
    QVERIFY(!doc.IsModified());

    const QString copy = scratchDir() + "/round-copy.bin";
    QVERIFY(doc.OnSaveDocument(copy));
    QCOMPARE(readFile(copy), bytes);   // byte for byte, no end marker
    QVERIFY(m_messages.isEmpty());
}

void TestHexDoc::loadDetectsTheCodePage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("nCodePage");
    QByteArray random(1 << 20, Qt::Uninitialized);
    QRandomGenerator gen(5);
    gen.fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
    QByteArray runs = QByteArray(3 * 4096, char(0xCD)) + "ab" + QByteArray(5 * 4096 + 1, char(0xB0)) + "\x81";
    QTest::newRow("GB") << QByteArray("ab\xB0\xA1\xC4\xE3") << 936;
    QTest::newRow("BIG5") << QByteArray("\xA4\x40") << 950;
    QTest::newRow("Shift JIS") << QByteArray("\x82\xA0") << 932;
    QTest::newRow("UTF-8") << QByteArray("\xE4\xB8\xAD") << 65001;
    QTest::newRow("runs of lead bytes") << runs << 936;
    QTest::newRow("random") << random << 0;   // 0: whatever the scan decides
}

// What the load found is what DetectCodePage finds in the bytes with their end
// marker, runs of lead bytes included.
void TestHexDoc::loadDetectsTheCodePage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, nCodePage);
    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(writeScratchFile("detect.bin", bytes)));
    QVERIFY(doc.IsDetected());
    std::vector<CByteRange> runs;
    const QByteArray marked = bytes + char(0xFF);
    const int nExpected = DetectCodePage(reinterpret_cast<const std::uint8_t*>(marked.constData()),
                                         std::uint32_t(marked.size()), &runs);
    if (nCodePage != 0)
        QCOMPARE(nExpected, nCodePage);
    QCOMPARE(doc.GetCodePage(), nExpected);
    QCOMPARE(doc.LeadRuns().size(), runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        QCOMPARE(doc.LeadRuns()[i].nStart, runs[i].nStart);
        QCOMPARE(doc.LeadRuns()[i].nEnd, runs[i].nEnd);
    }
    if (QTest::currentDataTag() == QLatin1String("runs of lead bytes"))
        QVERIFY(!runs.empty());
}

void TestHexDoc::reloadKeepsTheChosenCodePage()
{
    const QString path = writeScratchFile("reload.bin", QByteArray("\xB0\xA1"));
    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(path));
    doc.SetPathName(path);
    QCOMPARE(doc.GetCodePage(), 936);
    doc.SetCodePage(950);
    writeScratchFile("reload.bin", QByteArray("\x82\xA0"));
    QVERIFY(doc.ReloadDocument());
    QCOMPARE(doc.GetCodePage(), 950);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(doc.Data()), 3), QByteArray("\x82\xA0\xFF"));
}

void TestHexDoc::newDocumentHoldsOnlyTheEndMarker()
{
    CHexDoc doc;
    QVERIFY(doc.OnNewDocument());
    QCOMPARE(doc.GetSize(), 1u);
    QCOMPARE(doc.Data()[0], std::uint8_t(0xFF));
    QVERIFY(doc.GetFileType().isEmpty());
    doc.DeleteContents();
    QVERIFY(!doc.Data());
    QCOMPARE(doc.GetSize(), 0u);
}

// The buffer grows and shrinks in place or by moving its pages, from the heap
// to a mapping of its own and back and forth in size, keeping its bytes: edits
// at the end of the file resize it.
void TestHexDoc::resizeKeepsTheBytes()
{
    CHexDoc doc;
    const auto pattern = [](std::uint32_t nFrom, std::uint32_t nTo) {
        QByteArray bytes(qsizetype(nTo - nFrom), 0);
        for (std::uint32_t i = nFrom; i < nTo; ++i)
            bytes[qsizetype(i - nFrom)] = char(i * 7);
        return bytes;
    };
    doc.SetContents(pattern(0, 999));
    const auto keeps = [&doc](std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i) {
            if (doc.Data()[i] != std::uint8_t(i * 7))
                return false;
        }
        return doc.Data()[n] == 0xFF;
    };
    for (const std::uint32_t nLength : {20u << 20, (20u << 20) - (1u << 20) - 5, 23u << 20, 999u}) {
        const std::uint32_t nOld = doc.GetLength();
        if (nLength > nOld) {
            const QByteArray more = pattern(nOld, nLength);
            QVERIFY(CHexDoc::Changed(doc.ReplaceBytes(nOld, 0, reinterpret_cast<const std::uint8_t*>(more.constData()),
                                                      nLength - nOld, {})));
        } else {
            QVERIFY(CHexDoc::Changed(doc.ReplaceBytes(nLength, nOld - nLength, nullptr, 0, {})));
        }
        QCOMPARE(doc.GetLength(), nLength);
        QVERIFY2(keeps(nLength), qPrintable(QString::number(nLength)));
    }
}

void TestHexDoc::rowText_data()
{
    QTest::addColumn<int>("cp");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("continuation");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("text");   // the characters produced, count of them

    const QByteArray twenty("ABCDEFGHIJKLMNOPQRST");
    QByteArray straddle(15, 'a');
    straddle += "\xB0\xA1" "bc";
    QTest::newRow("past the end") << 936 << twenty << 21 << false << 0 << QByteArray();
    QTest::newRow("full row") << 1252 << twenty << 0 << false << 16 << QByteArray("ABCDEFGHIJKLMNOP");
    QTest::newRow("last row holds the end marker") << 936 << twenty << 16 << false << 5 << QByteArray("QRST.");
    QTest::newRow("pair crossing the row end") << 936 << straddle << 0 << false << 17
                                               << QByteArray(15, 'a') + "\xB0\xA1";
    QTest::newRow("continued row") << 936 << straddle << 16 << true << 4 << QByteArray(".bc.");
    QTest::newRow("lead before the end marker") << 936 << QByteArray("x\xB0") << 0 << false << 3
                                                << QByteArray("x..");
    QTest::newRow("lead without trail") << 936 << QByteArray("\xB0\x41") << 0 << false << 3
                                        << QByteArray(".A.");
    // 1252 shows every byte it defines; the end marker's cell is 0xFF as any
    // other, which the formatted row blanks.
    QTest::newRow("single-byte code page") << 1252 << QByteArray("\x19\x20\x7E\x7F\x81\xB0") << 0 << false << 7
                                           << QByteArray(". ~..\xB0\xFF");
    QTest::newRow("half-width kana in 932") << 932 << QByteArray("\xA0\xB1\xDF\xE0") << 0 << false << 5
                                            << QByteArray("\xA0\xB1\xDF..");
    QTest::newRow("kana range in 936") << 936 << QByteArray("\xA0\x41") << 0 << false << 3
                                       << QByteArray(".A.");
    QTest::newRow("BIG5 low trail") << 950 << QByteArray("\xA4\x40z") << 0 << false << 4
                                    << QByteArray("\xA4\x40z.");
}

void TestHexDoc::rowText()
{
    QFETCH(QByteArray, file);
    QFETCH(int, offset);
    QFETCH(int, count);
    QFETCH(QByteArray, text);
    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(writeScratchFile("rows.bin", file)));
    QFETCH(int, cp);
    doc.SetCodePage(cp);

    std::uint8_t hex[17];
    char chars[17];
    std::memset(hex, 0x20, sizeof hex);
    std::memset(chars, 0x20, sizeof chars);
    QFETCH(bool, continuation);
    QCOMPARE(int(doc.GetRowText(std::uint32_t(offset), hex, chars, continuation)), count);
    QCOMPARE(QByteArray(chars, count), text);
    for (int i = 0; i < count; ++i)
        QCOMPARE(hex[i], doc.Data()[offset + i]);
}

void TestHexDoc::fileTypeFallback_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::newRow("extension kept in case") << "archive.TAR.zbq" << "zbq File";
    QTest::newRow("unknown extension") << "report.zzdat" << "zzdat File";
    QTest::newRow("no dot") << "datablob" << "File";
    QTest::newRow("trailing dot") << "name." << " File";
}

void TestHexDoc::fileTypeFallback()
{
    QFETCH(QString, name);
    // Binary content with no recognised signature: the desktop has no name for it.
    const QString path = writeScratchFile(name, QByteArray("\x00\x01\x02\x03\xFE", 5));
    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(path));
    QFETCH(QString, type);
    QCOMPARE(doc.GetFileType(), type);
}

void TestHexDoc::fileTypeFromMimeDatabase()
{
    const QString path = writeScratchFile("page.html", "<!DOCTYPE html><html><body>x</body></html>");
    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(path));
    QVERIFY(!doc.GetFileType().isEmpty());
    QVERIFY(doc.GetFileType() != QStringLiteral("html File"));
}

void TestHexDoc::openFailureReportsCause_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << scratchDir() + "/no-such-file" << scratchDir() + "/no-such-file was not found.";
    QTest::newRow("a folder") << scratchDir() << scratchDir() + " is not a file that can be opened.";
}

void TestHexDoc::openFailureReportsCause()
{
    CHexDoc doc;
    QFETCH(QString, path);
    QVERIFY(!doc.OnOpenDocument(path));
    QFETCH(QString, message);
    QCOMPARE(m_messages, QStringList{message});
    QVERIFY(!doc.Data());
    QCOMPARE(doc.GetSize(), 0u);
}

void TestHexDoc::tooLargeIsRefusedWithoutWrapping()
{
    QCOMPARE(CHexDoc::kMaxFileLength, 0xFFFFFFFEull);
    const QString path = writeScratchFile("big.bin", QByteArray(101, 'x'));
    CHexDoc::s_nMaxFileLength = 100;
    CHexDoc doc;
    const bool opened = doc.OnOpenDocument(path);
    CHexDoc::s_nMaxFileLength = CHexDoc::kMaxFileLength;
    QVERIFY(!opened);
    QVERIFY(!doc.Data());
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages[0].contains(path));
    QVERIFY(m_messages[0].contains("100"));

    // A real file of 4 GiB - 1 bytes (sparse, so it costs no disk space) is
    // past the line, held as pieces over the file: no limit but the file
    // system's, its last byte and the end marker read where they are.
    const QString huge = scratchDir() + "/huge.bin";
    QFile file(huge);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!file.resize(0xFFFFFFFFll))
        QSKIP("the file system cannot hold a sparse 4 GiB file");
    file.close();
    m_messages.clear();
    CHexDoc hugeDoc;
    QVERIFY(hugeDoc.OnOpenDocument(huge));
    QVERIFY(hugeDoc.IsPieceMode());
    QCOMPARE(hugeDoc.Length(), 0xFFFFFFFFll);
    QCOMPARE(hugeDoc.ByteAt(0xFFFFFFFEll), std::uint8_t(0));
    QCOMPARE(hugeDoc.ByteAt(0xFFFFFFFFll), std::uint8_t(0xFF));
    QVERIFY(m_messages.isEmpty());
    QFile::remove(huge);
}

void TestHexDoc::failedSaveKeepsOriginal_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("read-only file") << "read-only file";
    QTest::newRow("read-only folder") << "read-only folder";
    QTest::newRow("folder is a file") << "folder is a file";
}

void TestHexDoc::failedSaveKeepsOriginal()
{
    QFETCH(QString, kind);
    const QByteArray original("original bytes");
    QDir(scratchDir()).mkpath("locked");
    QString path = writeScratchFile("locked/target.bin", original);
    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(path));
    doc.SetByte(0, 'O');
    doc.SetModifiedFlag(true);

    if (kind == "read-only file") {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup);
    } else if (kind == "read-only folder") {
        QFile::setPermissions(scratchDir() + "/locked", QFile::ReadOwner | QFile::ExeOwner);
    } else {
        path = writeScratchFile("plain", "x") + "/target.bin";
    }
    QVERIFY(!doc.DoSave(path));
    QFile::setPermissions(scratchDir() + "/locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(m_messages.size(), 1);
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.Data()[0], std::uint8_t('O'));
    QCOMPARE(readFile(scratchDir() + "/locked/target.bin"), original);
    QCOMPARE(QDir(scratchDir() + "/locked").entryList(QDir::Files), QStringList{"target.bin"});
    QFile::setPermissions(scratchDir() + "/locked/target.bin", QFile::ReadOwner | QFile::WriteOwner);
}

// Save As moves the document to the new file: the next Save writes there and
// leaves the old file as it was.
void TestHexDoc::saveAsThenSave()
{
    const QString first = writeScratchFile("first.bin", "abc");
    const QString second = scratchDir() + "/second.bin";
    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(first));
    doc.SetPathName(first);
    doc.SetByte(0, 'x');
    doc.SetModifiedFlag(true);
    QVERIFY(doc.DoSave(second));
    QCOMPARE(doc.GetPathName(), QFileInfo(second).absoluteFilePath());
    QVERIFY(!doc.IsModified());
    doc.SetByte(1, 'y');
    doc.SetModifiedFlag(true);
    QVERIFY(doc.DoFileSave());
    QCOMPARE(readFile(second), QByteArray("xyc"));
    QCOMPARE(readFile(first), QByteArray("abc"));
    QVERIFY(!doc.IsModified());
}

void TestHexDoc::saveKeepsPermissionsAndFollowsLinks()
{
    const QString target = writeScratchFile("perm.bin", "abc");
    const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther;
    QFile::setPermissions(target, mode);
    const QString link = scratchDir() + "/perm-link.bin";
    QVERIFY(QFile::link(target, link));

    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(link));
    doc.SetByte(1, 'X');
    QVERIFY(doc.OnSaveDocument(link));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(target), QByteArray("aXc"));
    QCOMPARE(QFile::permissions(target) & 0x7077, mode);   // the "user" bits depend on who runs the test
}

// The mode bits a saved file ends with, set-user-ID, set-group-ID and sticky
// included: an existing file keeps all of its own, a new one gets 0666 less the
// umask.
void TestHexDoc::savedFileMode_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("mode");    // of the existing file
    QTest::addColumn<int>("mask");    // the umask
    QTest::addColumn<int>("expected");
    QTest::newRow("set-user-ID kept") << true << 04755 << 022 << 04755;
    QTest::newRow("set-group-ID and sticky kept") << true << 03640 << 022 << 03640;
    QTest::newRow("no bits the file lacked") << true << 0604 << 0 << 0604;
    // Some write bit is enough for a user whose privileges let the write through.
    QTest::newRow("only its group may write") << true << 0420 << 022 << 0420;
    QTest::newRow("only others may write") << true << 0402 << 022 << 0402;
    QTest::newRow("new file, umask 022") << false << 0 << 022 << 0644;
    QTest::newRow("new file, umask 077") << false << 0 << 077 << 0600;
    QTest::newRow("new file, umask 0") << false << 0 << 0 << 0666;
}

void TestHexDoc::savedFileMode()
{
    QFETCH(bool, exists);
    QFETCH(int, mode);
    QFETCH(int, mask);
    QFETCH(int, expected);
    const QString source = writeScratchFile("mode-source.bin", "abc");
    const QString target = scratchDir() + "/mode.bin";
    QFile::remove(target);
    const QByteArray name = QFile::encodeName(target);
    if (exists && !(mode & 0200) && ::geteuid() != 0)
        QSKIP("only a privileged user may write a file its owner may not");
    if (exists) {
        writeScratchFile("mode.bin", "old");
        QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
    }
    CHexDoc doc;
    QVERIFY(doc.OnOpenDocument(source));
    const mode_t old = ::umask(mode_t(mask));
    const bool bSaved = doc.OnSaveDocument(target);
    ::umask(old);
    QVERIFY(bSaved);
    QCOMPARE(readFile(target), QByteArray("abc"));
    struct stat st;
    QCOMPARE(::stat(name.constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), expected);
}

QTEST_GUILESS_MAIN(TestHexDoc)
#include "tst_hexdoc.moc"
