#include "codepage.h"
#include "testsupport.h"

#include <QtTest>

// The program's command line, run as the built program without a display: what
// it accepts, what it refuses with status 2, and what --help promises.
class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void everyListedCodePageIsAccepted_data();
    void everyListedCodePageIsAccepted();
    void dumpsWithoutTheWindowProgram();
};

namespace {

TestSupport::ProgramResult RunZorbel(const QStringList& args)
{
    return TestSupport::runProgram(QStringLiteral(ZORBEL_BINARY), args);
}

} // namespace

void TestCommandLine::answers_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");   // what standard output starts with
    QTest::addColumn<QByteArray>("err");   // what standard error's first line starts with

    const QString file = TestSupport::writeScratchFile("cmdline.bin", "AB");
    const QByteArray usage = "Usage: zorbel [OPTION] [FILE...]";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << usage << QByteArray();
    QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << QByteArray();
    QTest::newRow("-v") << QStringList{"-v"} << 0 << QByteArray("Zorbel Version 1.4\n") << QByteArray();
    QTest::newRow("--version") << QStringList{"--version"} << 0 << QByteArray("Zorbel Version 1.4\n")
                               << QByteArray();
    QTest::newRow("unknown long option") << QStringList{"--bogus"} << 2 << QByteArray()
                                         << QByteArray("zorbel: unknown option --bogus");
    QTest::newRow("unknown short option") << QStringList{"-x", file} << 2 << QByteArray()
                                          << QByteArray("zorbel: unknown option -x");
    QTest::newRow("unknown option after a file") << QStringList{file, "--bogus"} << 2 << QByteArray()
                                                 << QByteArray("zorbel: unknown option --bogus");
    QTest::newRow("unknown option before --help") << QStringList{"--bogus", "--help"} << 2 << QByteArray()
                                                  << QByteArray("zorbel: unknown option --bogus");
    QTest::newRow("Qt's option without its value") << QStringList{"-style"} << 2 << QByteArray()
                                                   << QByteArray("zorbel: -style needs a value");
    QTest::newRow("--codepage without --dump") << QStringList{"--codepage", "936", file} << 2 << QByteArray()
                                               << QByteArray("zorbel: --codepage goes with --dump or --print-pdf");
    QTest::newRow("a code page that cannot be shown")
        << QStringList{"--dump", "--codepage", "437", file} << 2 << QByteArray()
        << QByteArray("zorbel: code page 437 cannot be shown; --codepage takes 936, 950, ");
    QTest::newRow("--print-pdf refuses it too")
        << QStringList{"--print-pdf", TestSupport::scratchDir() + "/out.pdf", "--codepage", "933", file} << 2
        << QByteArray() << QByteArray("zorbel: code page 933 cannot be shown; --codepage takes 936, 950, ");
    QTest::newRow("--help with a file") << QStringList{"--help", "extra"} << 2 << QByteArray()
                                        << QByteArray("zorbel: --help takes no file");
    QTest::newRow("--codepage=N") << QStringList{"--dump", "--codepage=950", file} << 0
                                  << QByteArray("000000    41 42") << QByteArray();
    QTest::newRow("--codepage= without a number") << QStringList{"--dump", "--codepage=", file} << 2 << QByteArray()
                                                  << QByteArray("zorbel: --codepage needs a code page number");
    QTest::newRow("--codepage=N without --dump") << QStringList{"--codepage=936", file} << 2 << QByteArray()
                                                 << QByteArray("zorbel: --codepage goes with --dump or --print-pdf");
    QTest::newRow("--dump names the unknown option") << QStringList{"--dump", "--bogus", file} << 2 << QByteArray()
                                                     << QByteArray("zorbel: unknown option --bogus for --dump");
    // Not refused as an option; it is looked for in the working folder.
    QTest::newRow("--dump -- before a file named like an option")
        << QStringList{"--dump", "--codepage", "936", "--", "-x.bin"} << 1 << QByteArray()
        << QByteArray("zorbel: -x.bin was not found.");
    QTest::newRow("-- before --dump: a file named --dump, no display")
        << QStringList{"--", "--dump"} << 1 << QByteArray()
        << QByteArray("zorbel: no display to open a window on");
    QTest::newRow("--print-pdf takes no option as its output")
        << QStringList{"--print-pdf", "--dump", file} << 2 << QByteArray()
        << QByteArray("zorbel: --print-pdf needs one output file");
    // A lone dash opens a file of that name in the window (with --dump it is
    // standard input); a word that starts with a dash is an option.
    QDir::setCurrent(TestSupport::scratchDir());
    TestSupport::writeScratchFile("-", "CD");
    QTest::newRow("--dump with an unknown option") << QStringList{"--dump", "-x", file} << 2 << QByteArray()
                                                   << QByteArray("zorbel: unknown option -x for --dump");
    QTest::newRow("the file named -, no display")
        << QStringList{"-"} << 1 << QByteArray()
        << QByteArray("zorbel: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)");
    QTest::newRow("files and Qt's options, no display")
        << QStringList{"-style", "fusion", "-reverse", file, "--", "-x"} << 1 << QByteArray()
        << QByteArray("zorbel: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)");
}

void TestCommandLine::answers()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);

    const TestSupport::ProgramResult result = RunZorbel(args);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.out.startsWith(out), result.out.constData());
    if (err.isEmpty()) {
        QVERIFY2(result.err.isEmpty(), result.err.constData());
        return;
    }
    const QByteArray firstLine = result.err.left(result.err.indexOf('\n'));
    QVERIFY2(firstLine.startsWith(err), firstLine.constData());
    // A refused command line shows how to write one.
    if (exitCode == 2)
        QVERIFY2(result.err.contains("\nUsage: zorbel"), result.err.constData());
}

void TestCommandLine::everyListedCodePageIsAccepted_data()
{
    QTest::addColumn<int>("codePage");
    for (const int nCodePage : kShownCodePages)
        QTest::addRow("%d", nCodePage) << nCodePage;
}

// --help names each code page, and --dump takes each one it names.
void TestCommandLine::everyListedCodePageIsAccepted()
{
    QFETCH(int, codePage);

    const QByteArray help = RunZorbel({"--help"}).out;
    const int listed = help.indexOf("code pages");
    QVERIFY(listed > 0);
    QVERIFY2(help.indexOf(QByteArray::number(codePage), listed) > listed, help.constData());

    const QString file = TestSupport::writeScratchFile("codepage.bin", "AB");
    const TestSupport::ProgramResult result = RunZorbel({"--dump", "--codepage", QString::number(codePage), file});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.startsWith("000000    41 42"), result.out.constData());
}

// zorbel runs --dump by itself and hands the rest to the window program: moved
// away from it, it still dumps, and says what it cannot start.
void TestCommandLine::dumpsWithoutTheWindowProgram()
{
    // zorbel and zorbel-cli alone dump; the window program is missing and
    // said to be.
    const QString dir = TestSupport::scratchDir() + QStringLiteral("/alone");
    QDir(dir).removeRecursively();
    QVERIFY(QDir().mkpath(dir));
    const QString built = QFileInfo(QStringLiteral(ZORBEL_BINARY)).absolutePath();
    for (const char* name : {"zorbel", "zorbel-cli"})
        QVERIFY(QFile::copy(built + '/' + name, dir + '/' + name));
    const QString alone = dir + QStringLiteral("/zorbel");
    const QString file = TestSupport::writeScratchFile("alone.bin", "AB");
    const TestSupport::ProgramResult dump = TestSupport::runProgram(alone, {"--dump", file});
    QCOMPARE(dump.exitCode, 0);
    QVERIFY2(dump.out.startsWith("000000    41 42"), dump.out.constData());

    const TestSupport::ProgramResult version = TestSupport::runProgram(alone, {"--version"});
    QCOMPARE(version.exitCode, 1);
    QVERIFY(version.out.isEmpty());
    QVERIFY2(version.err.startsWith("zorbel: cannot start ") && version.err.contains("zorbel-window"),
             version.err.constData());

    // Without zorbel-cli a dump fails the same way, rather than opening a window.
    QVERIFY(QFile::remove(dir + QStringLiteral("/zorbel-cli")));
    const TestSupport::ProgramResult missing = TestSupport::runProgram(alone, {"--dump", file});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(missing.err.startsWith("zorbel: cannot start ") && missing.err.contains("zorbel-cli"),
             missing.err.constData());
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_cmdline.moc"
