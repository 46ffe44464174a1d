#include "testsupport.h"

#include <QProcess>
#include <QtTest>

using TestSupport::scratchDir;
using TestSupport::writeScratchFile;

// zorbel --dump, run as the built program: the rows of crafted files in each
// code page, the code page it detects, and its failures.
class TestDump : public QObject {
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void offsetsPast16MiB();
    void characterAcrossBlocks();
    void failures_data();
    void failures();
};

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result RunZorbel(const QStringList& args, const QString& locale = QStringLiteral("C"))
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LC_ALL"));
    env.remove(QStringLiteral("LC_MESSAGES"));
    env.remove(QStringLiteral("LANGUAGE"));
    env.insert(QStringLiteral("LANG"), locale);
    // --dump must not need a display.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ZORBEL_BINARY), args);
    Result result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// A line as the window shows the row: the offset, the pairs of the row's bytes,
// the text column, without trailing blanks.
QByteArray Line(quint32 offset, const QByteArray& bytes, const QString& text)
{
    QByteArray line = QByteArray::number(offset, 16).toUpper().rightJustified(6, '0') + "    ";
    for (int k = 0; k < 16; ++k) {
        line += k < bytes.size() ? bytes.mid(k, 1).toHex().toUpper() : QByteArray("  ");
        line += k == 7 ? "  " : " ";
    }
    line += "   " + text.toUtf8();
    while (line.endsWith(' '))
        line.chop(1);
    return line + '\n';
}

} // namespace

void TestDump::rows_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray a15(15, 'a');
    const QString replacement(QChar(0xFFFD));
    QTest::newRow("empty file") << QByteArray() << QStringList() << "C" << QByteArray("000000\n");
    QTest::newRow("GB character across a row end")
        << a15 + "\xC4\xE3ok" << QStringList() << "C"
        << Line(0, a15 + "\xC4", QString(a15) + QString::fromUtf8("你")) + Line(16, "\xE3ok", ".ok");
    QTest::newRow("BIG5 detected") << QByteArray("\xA4\x40\xA4\xA4!") << QStringList() << "C"
                                   << Line(0, "\xA4\x40\xA4\xA4!", QString::fromUtf8("一中!"));
    QTest::newRow("Shift JIS detected") << QByteArray("\x82\xA0\x82\xA2\xB1") << QStringList() << "C"
                                        << Line(0, "\x82\xA0\x82\xA2\xB1", QString::fromUtf8("あいｱ"));
    QTest::newRow("HZ text detected, single bytes") << QByteArray("~{<:\xC4\xE3~}") << QStringList() << "C"
                                                    << Line(0, "~{<:\xC4\xE3~}", "~{<:..~}");
    QTest::newRow("7-bit JIS detected, single bytes") << QByteArray("\x1B$B$\"\x1B(B") << QStringList() << "C"
                                                      << Line(0, "\x1B$B$\"\x1B(B", ".$B$\".(B");
    QTest::newRow("code page named") << QByteArray("\xA4\xA4") << QStringList{"--codepage", "950"} << "C"
                                     << Line(0, "\xA4\xA4", QString::fromUtf8("中"));
    QTest::newRow("same bytes detected as GB") << QByteArray("\xA4\xA4") << QStringList() << "C"
                                               << Line(0, "\xA4\xA4", QString::fromUtf8("い"));
    QTest::newRow("nothing decisive, Japanese system") << QByteArray("\xA0x") << QStringList() << "ja_JP.UTF-8"
                                                       << Line(0, "\xA0x", replacement + "x");
    QTest::newRow("nothing decisive, English system") << QByteArray("\xA0x") << QStringList() << "en_US.UTF-8"
                                                      << Line(0, "\xA0x", ".x");
    QTest::newRow("undefined pair") << QByteArray("\xA3\xC0") << QStringList{"--codepage", "950"} << "C"
                                    << Line(0, "\xA3\xC0", replacement);
}

void TestDump::rows()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, options);
    QFETCH(QString, locale);
    QFETCH(QByteArray, expected);
    const QString path = writeScratchFile("dump.bin", bytes);
    const Result result = RunZorbel(QStringList{"--dump"} + options + QStringList{path}, locale);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, expected);
    QCOMPARE(result.err, QByteArray());
}

void TestDump::offsetsPast16MiB()
{
    const QByteArray bytes = QByteArray(0x1000000, '\0') + "0123456789abcdefg";
    const QString path = writeScratchFile("big.bin", bytes);
    const Result result = RunZorbel({"--dump", path});
    QCOMPARE(result.exitCode, 0);
    const QByteArray tail = Line(0xFFFFF0, QByteArray(16, '\0'), QString(16, '.'))
        + Line(0x1000000, "0123456789abcdef", "0123456789abcdef") + Line(0x1000010, "g", "g");
    QVERIFY(tail.contains("\n1000000    30 31 "));
    QVERIFY(result.out.endsWith(tail));
    QCOMPARE(result.out.count('\n'), 0x100002);
}

// Rows are formatted in blocks of 16384 side by side: a character that crosses
// into the first row of a block still shows there as '.'.
void TestDump::characterAcrossBlocks()
{
    const int nBlock = 16384 * 16;
    const QByteArray bytes = QByteArray(nBlock - 1, 'a') + "\xC4\xE3" + "ok";
    const QString path = writeScratchFile("blocks.bin", bytes);
    const Result result = RunZorbel({"--dump", "--codepage", "936", path});
    QCOMPARE(result.exitCode, 0);
    const QByteArray tail = Line(nBlock - 16, QByteArray(15, 'a') + "\xC4", QString(15, 'a') + QString::fromUtf8("你"))
        + Line(nBlock, "\xE3ok", ".ok");
    QVERIFY(result.out.endsWith(tail));
    QCOMPARE(result.out.count('\n'), 16385);
}

void TestDump::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("missing file") << QStringList{"--dump", "/nonexistent/zorbel-file"} << 1;
    QTest::newRow("a folder") << QStringList{"--dump", "/"} << 1;
    QTest::newRow("no file") << QStringList{"--dump"} << 2;
    QTest::newRow("two files") << QStringList{"--dump", "a", "b"} << 2;
    QTest::newRow("code page not a number") << QStringList{"--dump", "--codepage", "gb", "a"} << 2;
}

void TestDump::failures()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    const Result result = RunZorbel(args);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, QByteArray());
    QVERIFY(result.err.startsWith("zorbel: "));
    if (exitCode == 1)
        QCOMPARE(result.err.count('\n'), 1);
}

QTEST_GUILESS_MAIN(TestDump)
#include "tst_dump.moc"
