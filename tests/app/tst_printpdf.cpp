#include "testsupport.h"

#include <QDir>
#include <QSizeF>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run {
    int nExitCode = -1;
    QByteArray stdErr;
    QByteArray stdOut;
};

// Runs zorbel as a command with no display at all, the way a script would;
// without bRuntimeDir, XDG_RUNTIME_DIR is not set.
Run RunZorbel(const QStringList& args, bool bRuntimeDir = true)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    const QString runtime = TestSupport::scratchDir() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (bRuntimeDir)
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ZORBEL_BINARY), args);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.nExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.stdErr = process.readAllStandardError();
    run.stdOut = process.readAllStandardOutput();
    return run;
}

QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The PDF's pages as pdftotext lays them out, each a list of lines without
// trailing blanks.
QList<QStringList> PdfPages(const QString& pdf)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(QStringLiteral("pdftotext")),
                  {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    QList<QStringList> result;
    for (const QString& page : pages) {
        QStringList lines;
        for (QString line : page.split(QLatin1Char('\n'))) {
            while (!line.isEmpty() && line.back().isSpace())
                line.chop(1);
            lines.append(line);
        }
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        result.append(lines);
    }
    return result;
}

// The first page's size in points as pdfinfo reads it, width by height: an
// empty size when pdfinfo is missing or fails.
QSizeF PdfPageSize(const QString& pdf)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(QStringLiteral("pdfinfo")), {pdf});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("^Page size: +([0-9.]+) x ([0-9.]+) pts"),
                                                            QRegularExpression::MultilineOption)
                                             .match(QString::fromUtf8(process.readAllStandardOutput()));
    return size.hasMatch() ? QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble()) : QSizeF();
}

const QRegularExpression kRowLine(QStringLiteral("^([0-9A-F]{2})( +[0-9A-F]{2})*( |$)"));
const QRegularExpression kFooter(QStringLiteral("^(\\d+) / (\\d+) +\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}$"));

} // namespace

// zorbel --print-pdf: the printed pages of a file, written without a window.
class TestPrintPdf : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void printsEveryRowOnceWithHeaderAndFooter();
    void emptyFilePrintsOnePageOfA4Upright();
    void decodesDoubleByteText_data();
    void decodesDoubleByteText();
    void printsUtf8RowsAsTheDumpDoes();
    void printsColourEmojiAsPictures();
    void reportsFailures_data();
    void reportsFailures();
    void failedWriteLeavesNoPdf_data();
    void failedWriteLeavesNoPdf();
    void rejectsBadUsage_data();
    void rejectsBadUsage();
    void refusesOutputs_data();
    void refusesOutputs();
    void writesStandardOutput_data();
    void writesStandardOutput();
    void printsFilesUnderSys();
};

void TestPrintPdf::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        QSKIP("pdftotext and pdfinfo (poppler-utils) are not installed");
}

// Row r holds bytes of value r: the first pair of every printed row tells which
// row it is, so the pages together must show 0, 1, 2, ... once each.
void TestPrintPdf::printsEveryRowOnceWithHeaderAndFooter()
{
    constexpr int kRows = 150;
    QByteArray bytes;
    for (int i = 0; i < kRows * 16 - 1; ++i)
        bytes.append(char(i / 16));
    const QString file = TestSupport::writeScratchFile(QStringLiteral("rows.bin"), bytes);
    const QString pdf = TestSupport::scratchDir() + QStringLiteral("/rows.pdf");

    const Run run = RunZorbel({QStringLiteral("--print-pdf"), pdf, QStringLiteral("--codepage"), QStringLiteral("1252"), file});
    QCOMPARE(run.nExitCode, 0);
    const QList<QStringList> pages = PdfPages(pdf);
    QVERIFY(pages.size() >= 2);

    int nNextRow = 0;
    for (int n = 0; n < pages.size(); ++n) {
        const QStringList& lines = pages[n];
        QVERIFY(lines.size() > 3);
        QVERIFY2(lines.first().endsWith(QFileInfo(file).absoluteFilePath()), qPrintable(lines.first()));
        QVERIFY(lines[1].trimmed().isEmpty());
        const QRegularExpressionMatch footer = kFooter.match(lines.last());
        QVERIFY2(footer.hasMatch(), qPrintable(lines.last()));
        QCOMPARE(footer.captured(1).toInt(), n + 1);
        QCOMPARE(footer.captured(2).toInt(), pages.size());
        for (const QString& line : lines.mid(2, lines.size() - 3)) {
            const QRegularExpressionMatch row = kRowLine.match(line);
            if (!row.hasMatch())
                continue;
            QCOMPARE(row.captured(1).toInt(nullptr, 16), nNextRow);
            ++nNextRow;
        }
    }
    QCOMPARE(nNextRow, kRows);
}

void TestPrintPdf::emptyFilePrintsOnePageOfA4Upright()
{
    const QString file = TestSupport::writeScratchFile(QStringLiteral("empty.bin"), QByteArray());
    const QString pdf = TestSupport::scratchDir() + QStringLiteral("/empty.pdf");
    QCOMPARE(RunZorbel({QStringLiteral("--print-pdf"), pdf, file}).nExitCode, 0);
    const QList<QStringList> pages = PdfPages(pdf);
    QCOMPARE(pages.size(), 1);
    QVERIFY(pages[0].first().endsWith(QStringLiteral("empty.bin")));
    QVERIFY2(kFooter.match(pages[0].last()).captured(1) == QStringLiteral("1"), qPrintable(pages[0].last()));
    // A4 is 210 by 297 mm, 595.28 by 841.89 points, upright.
    const QSizeF size = PdfPageSize(pdf);
    QVERIFY2(qAbs(size.width() - 595.28) < 1 && qAbs(size.height() - 841.89) < 1,
             qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
}

void TestPrintPdf::decodesDoubleByteText_data()
{
    QTest::addColumn<QString>("codePage");
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QString>("text");

    QTest::newRow("GB") << QStringLiteral("936") << QByteArray("\xD6\xD0\xCE\xC4") << QStringLiteral("中文");
    QTest::newRow("BIG5") << QStringLiteral("950") << QByteArray("\xA4\xA4\xA4\xE5") << QStringLiteral("中文");
    QTest::newRow("Shift JIS") << QStringLiteral("932") << QByteArray("\x93\xFA\x96\x7B\x8C\xEA")
                               << QStringLiteral("日本語");
}

void TestPrintPdf::decodesDoubleByteText()
{
    QFETCH(QString, codePage);
    QFETCH(QByteArray, encoded);
    QFETCH(QString, text);

    const QString file = TestSupport::writeScratchFile(QStringLiteral("cjk.txt"), "Text: " + encoded + "\r\n");
    const QString pdf = TestSupport::scratchDir() + QStringLiteral("/cjk.pdf");
    QCOMPARE(RunZorbel({QStringLiteral("--print-pdf"), pdf, QStringLiteral("--codepage"), codePage, file}).nExitCode, 0);
    const QList<QStringList> pages = PdfPages(pdf);
    QCOMPARE(pages.size(), 1);
    QVERIFY(pages[0].size() > 2);
    QVERIFY2(pages[0][2].endsWith(QStringLiteral("Text: ") + text + QStringLiteral("..")), qPrintable(pages[0][2]));
}

// The printed rows of a UTF-8 file hold the same characters as --dump writes, row
// for row; pdftotext spaces them its own way, so blanks are left out.
void TestPrintPdf::printsUtf8RowsAsTheDumpDoes()
{
    const QByteArray bytes = QString::fromUtf8("UTF-8: 中文字符，日本語のテキスト、한국어 문장。 café Жук")
                                 .toUtf8()
                                 .repeated(3)
                             + "\x01\xE4\xB8\xFF";
    const QString file = TestSupport::writeScratchFile(QStringLiteral("utf8.txt"), bytes);
    const QString pdf = TestSupport::scratchDir() + QStringLiteral("/utf8.pdf");
    QCOMPARE(RunZorbel({QStringLiteral("--print-pdf"), pdf, QStringLiteral("--codepage"), QStringLiteral("65001"), file})
                 .nExitCode,
             0);
    QProcess dump;
    dump.start(QStringLiteral(ZORBEL_BINARY), {QStringLiteral("--dump"), QStringLiteral("--codepage"), QStringLiteral("65001"), file});
    QVERIFY(dump.waitForFinished(60000) && dump.exitCode() == 0);
    QStringList dumped = QString::fromUtf8(dump.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);

    const QList<QStringList> pages = PdfPages(pdf);
    QCOMPARE(pages.size(), 1);
    QStringList printed;
    for (const QString& line : pages[0]) {
        if (kRowLine.match(line).hasMatch())
            printed.append(line);
    }
    QCOMPARE(printed.size(), dumped.size());
    const auto withoutBlanks = [](QString line) { return line.remove(QRegularExpression(QStringLiteral("\\s"))); };
    for (int i = 0; i < printed.size(); ++i) {
        // The dump's lines begin with the offset column, which printed rows have not.
        const QString dumpedRow = dumped[i].mid(dumped[i].indexOf(QLatin1String("    ")) + 4);
        QCOMPARE(withoutBlanks(printed[i]), withoutBlanks(dumpedRow));
    }
}

// A colour emoji has no outline a PDF could hold: each goes as a picture of its
// cells, while the other characters stay text.
void TestPrintPdf::printsColourEmojiAsPictures()
{
    QProcess fonts;
    fonts.start(QStandardPaths::findExecutable(QStringLiteral("fc-list")), {QStringLiteral(":color=true"), QStringLiteral("family")});
    if (!fonts.waitForFinished(60000) || fonts.readAllStandardOutput().trimmed().isEmpty())
        QSKIP("no colour emoji font (fonts-noto-color-emoji) is installed");
    const QString file = TestSupport::writeScratchFile(QStringLiteral("emoji.txt"),
                                                       QString::fromUtf8("apple 🍎 中文 🍎").toUtf8());
    const QString pdf = TestSupport::scratchDir() + QStringLiteral("/emoji.pdf");
    QCOMPARE(RunZorbel({QStringLiteral("--print-pdf"), pdf, QStringLiteral("--codepage"), QStringLiteral("65001"), file})
                 .nExitCode,
             0);
    QProcess images;
    images.start(QStandardPaths::findExecutable(QStringLiteral("pdfimages")), {QStringLiteral("-list"), pdf});
    QVERIFY(images.waitForFinished(60000) && images.exitCode() == 0);
    const QString list = QString::fromUtf8(images.readAllStandardOutput());
    QCOMPARE(list.count(QRegularExpression(QStringLiteral("^ +1 +\\d+ image "), QRegularExpression::MultilineOption)), 2);
    const QList<QStringList> pages = PdfPages(pdf);
    QVERIFY(!pages.isEmpty() && pages[0].size() > 2);
    QVERIFY2(pages[0][2].contains(QStringLiteral("apple")) && pages[0][2].contains(QStringLiteral("中")), qPrintable(pages[0][2]));
}

void TestPrintPdf::reportsFailures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("pdf");

    const QString scratch = TestSupport::scratchDir();
    QTest::newRow("file missing") << scratch + QStringLiteral("/no-such.bin") << scratch + QStringLiteral("/missing.pdf");
    QTest::newRow("file is a folder") << scratch << scratch + QStringLiteral("/folder.pdf");
    QTest::newRow("file is a FIFO") << QStringLiteral("fifo") << scratch + QStringLiteral("/fifo.pdf");
    QTest::newRow("file is a device") << QStringLiteral("/dev/null") << scratch + QStringLiteral("/device.pdf");
    QTest::newRow("output folder missing") << QStringLiteral("readable")
                                           << scratch + QStringLiteral("/no/such/folder/out.pdf");
    QTest::newRow("output is a folder") << QStringLiteral("readable") << scratch;
}

void TestPrintPdf::reportsFailures()
{
    QFETCH(QString, file);
    QFETCH(QString, pdf);

    if (file == QStringLiteral("readable"))
        file = TestSupport::writeScratchFile(QStringLiteral("readable.bin"), QByteArray("abc"));
    if (file == QStringLiteral("fifo")) {
        file = TestSupport::scratchDir() + QStringLiteral("/fifo");
        QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0666) == 0);
    }
    const Run run = RunZorbel({QStringLiteral("--print-pdf"), pdf, file});
    QCOMPARE(run.nExitCode, 1);
    const QByteArray message = run.stdErr.trimmed();
    QVERIFY(!message.isEmpty());
    QVERIFY2(!message.contains('\n'), message.constData());
    if (!QFileInfo(pdf).isDir())
        QVERIFY(!QFile::exists(pdf));
}

void TestPrintPdf::failedWriteLeavesNoPdf_data()
{
    QTest::addColumn<bool>("bLimit");
    QTest::addColumn<bool>("bOld");   // a PDF of an earlier print is there
    QTest::addColumn<QString>("message");   // %1 is the PDF's path
    for (const bool bOld : {false, true}) {
        const char* suffix = bOld ? ", the old PDF stays" : "";
        QTest::addRow("full disk%s", suffix) << false << bOld << "Disk full while accessing %1.";
        QTest::addRow("file size limit%s", suffix)
            << true << bOld
            << "%1 cannot be written: it would be larger than the file system or the file size limit allows.";
    }
}

// Qt's PDF writer ignores failed writes; the truncated file must not pass for
// a printed one, nor take the place of the PDF that was there. The limit on
// the length of files written (ulimit -f) passes to the program, which
// reports it instead of being ended by its signal.
void TestPrintPdf::failedWriteLeavesNoPdf()
{
    QFETCH(bool, bLimit);
    QFETCH(bool, bOld);
    QFETCH(QString, message);
    const QString file = TestSupport::writeScratchFile(QStringLiteral("large.bin"), QByteArray(40000, 'x'));
    std::optional<TestSupport::TinyFileSystem> disk;
    if (!bLimit) {
        disk.emplace(64);
        if (disk->path().isEmpty())
            QSKIP("mounting a small tmpfs needs root");
    }
    const QString folder = disk ? disk->path() : TestSupport::scratchDir() + QStringLiteral("/limited");
    QDir().mkpath(folder);
    const QString pdf = folder + QStringLiteral("/out.pdf");
    const QByteArray old("%PDF-1.4 of an earlier print");
    if (bOld) {
        QFile oldFile(pdf);
        QVERIFY(oldFile.open(QIODevice::WriteOnly) && oldFile.write(old) == old.size());
    }
    const QStringList entries = FolderEntries(folder);

    struct rlimit previous;
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &previous) == 0);
    struct rlimit limit = previous;
    if (bLimit)
        limit.rlim_cur = 16 * 1024;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
    const Run run = RunZorbel({QStringLiteral("--print-pdf"), pdf, file});
    ::setrlimit(RLIMIT_FSIZE, &previous);
    QCOMPARE(run.nExitCode, 1);
    QCOMPARE(QString::fromLocal8Bit(run.stdErr), QStringLiteral("zorbel: ") + message.arg(pdf) + QLatin1Char('\n'));
    QCOMPARE(FolderEntries(folder), entries);
    if (bOld)
        QCOMPARE(TestSupport::readFile(pdf), old);
}

void TestPrintPdf::rejectsBadUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("problem");

    const QString pdf = TestSupport::scratchDir() + QStringLiteral("/usage.pdf");
    QTest::newRow("no file") << QStringList{QStringLiteral("--print-pdf"), pdf} << QByteArray("--print-pdf needs a file");
    QTest::newRow("no output") << QStringList{QStringLiteral("x.bin"), QStringLiteral("--print-pdf")}
                               << QByteArray("--print-pdf needs one output file");
    QTest::newRow("code page not a number")
        << QStringList{QStringLiteral("--print-pdf"), pdf, QStringLiteral("--codepage"), QStringLiteral("9x"),
                       QStringLiteral("x.bin")}
        << QByteArray("--codepage needs a code page number");
    QTest::newRow("two files") << QStringList{QStringLiteral("--print-pdf"), pdf, QStringLiteral("a"), QStringLiteral("b")}
                               << QByteArray("--print-pdf takes one file");
}

// Bad usage names the problem, shows the usage and writes nothing.
void TestPrintPdf::rejectsBadUsage()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, problem);

    const Run run = RunZorbel(args);
    QCOMPARE(run.nExitCode, 2);
    QVERIFY2(run.stdErr.startsWith("zorbel: " + problem + "\nUsage: zorbel --print-pdf"), run.stdErr.constData());
    QVERIFY(!QFile::exists(TestSupport::scratchDir() + QStringLiteral("/usage.pdf")));
}

void TestPrintPdf::refusesOutputs_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("message");   // %1 is the output
    QTest::newRow("the input itself") << "input" << "%1 is the file being printed and is not written over; choose"
                                                    " another output file.";
    QTest::newRow("a link to the input") << "link" << "%1 is the file being printed and is not written over; choose"
                                                      " another output file.";
    QTest::newRow("a FIFO nobody reads") << "fifo" << "%1 is not a regular file (it is a pipe, a device or a socket)"
                                                      " and cannot be saved over.";
}

// An output that would destroy the input or wait for ever is refused at once
// and left as it is.
void TestPrintPdf::refusesOutputs()
{
    QFETCH(QString, output);
    QFETCH(QString, message);
    const QByteArray bytes("the input's bytes");
    const QString file = TestSupport::writeScratchFile(QStringLiteral("input.bin"), bytes);
    QString out = file;
    if (output == QStringLiteral("link")) {
        out = TestSupport::scratchDir() + QStringLiteral("/link.pdf");
        QFile::remove(out);
        QVERIFY(QFile::link(file, out));
    } else if (output == QStringLiteral("fifo")) {
        out = TestSupport::scratchDir() + QStringLiteral("/fifo.pdf");
        QFile::remove(out);
        QVERIFY(::mkfifo(QFile::encodeName(out).constData(), 0666) == 0);
    }
    const Run run = RunZorbel({QStringLiteral("--print-pdf"), out, file});
    QCOMPARE(run.nExitCode, 1);
    QCOMPARE(QString::fromLocal8Bit(run.stdErr), QStringLiteral("zorbel: ") + message.arg(out) + QLatin1Char('\n'));
    QCOMPARE(TestSupport::readFile(file), bytes);
}

void TestPrintPdf::writesStandardOutput_data()
{
    QTest::addColumn<QString>("into");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("a pipe, no runtime folder set") << "pipe" << 0 << QByteArray();
    QTest::newRow("a closed pipe") << "closed" << 1 << QByteArray("zorbel: cannot write the output: Broken pipe\n");
    QTest::newRow("a full device") << "full" << 1
                                   << QByteArray("zorbel: cannot write the output: No space left on device\n");
}

// "-" writes the PDF to standard output; a write that fails there is a failure.
void TestPrintPdf::writesStandardOutput()
{
    QFETCH(QString, into);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, err);
    const QString file = TestSupport::writeScratchFile(QStringLiteral("out.bin"), QByteArray(4000, 'x'));
    const QString bash = QStandardPaths::findExecutable(QStringLiteral("bash"));
    Run run;
    if (into == QStringLiteral("pipe")) {
        run = RunZorbel({QStringLiteral("--print-pdf"), QStringLiteral("-"), file}, false);
        QVERIFY(run.stdOut.startsWith("%PDF"));
        QVERIFY(run.stdOut.trimmed().endsWith("%%EOF"));
    } else {
        // A pipe whose reading end is closed before zorbel starts, so that
        // every write fails however small the PDF is and however soon it is
        // written; a reader that merely exits early would race the writer.
        int pipeEnds[2] = {-1, -1};
        if (into == QStringLiteral("closed")) {
            QVERIFY(::pipe(pipeEnds) == 0);
            ::close(pipeEnds[0]);
        }
        const int nWriteEnd = pipeEnds[1];
        const QString script = into == QStringLiteral("closed")
                                   ? QStringLiteral("exec \"$0\" --print-pdf - \"$1\"")
                                   : QStringLiteral("exec \"$0\" --print-pdf - \"$1\" > /dev/full");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(env);
        if (nWriteEnd >= 0)
            process.setChildProcessModifier([nWriteEnd] { ::dup2(nWriteEnd, STDOUT_FILENO); });
        process.start(bash, {QStringLiteral("-c"), script, QStringLiteral(ZORBEL_BINARY), file});
        if (nWriteEnd >= 0)
            ::close(nWriteEnd);
        QVERIFY(process.waitForFinished(60000));
        run.nExitCode = process.exitCode();
        run.stdErr = process.readAllStandardError();
    }
    QCOMPARE(run.nExitCode, exitCode);
    QCOMPARE(run.stdErr, err);
}

// A file under /sys that holds fewer bytes than it says prints as --dump and
// the window show it.
void TestPrintPdf::printsFilesUnderSys()
{
    const QString path = TestSupport::sysFileShorterThanItsLength();
    if (path.isEmpty())
        QSKIP("no file under /sys reads shorter than its length");
    const QString pdf = TestSupport::scratchDir() + QStringLiteral("/sys.pdf");
    const Run run = RunZorbel({QStringLiteral("--print-pdf"), pdf, path});
    QCOMPARE(run.nExitCode, 0);
    QVERIFY(!PdfPages(pdf).isEmpty());
}

QTEST_MAIN(TestPrintPdf)
#include "tst_printpdf.moc"
