#include "testsupport.h"

#include <QDir>
#include <QTest>

// `zorbel --find`: its lines, its exit statuses and its messages, run as a
// person runs it, on files with hits planted at the start, the end and across
// the boundary of the parts the file is read in.
class TestFind : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void runs_data();
    void runs();

private:
    QString m_small;
    QString m_large;
};

namespace {

// The parts --find reads: a hit across their boundary must be found once.
constexpr int kPartBytes = 1 << 22;

} // namespace

void TestFind::initTestCase()
{
    // 中文 in GB at 3, in UTF-8 at 10, in UTF-16LE at 18, "DRAGON" with D = 0x44
    // at 23 and with D = 0x83 at 30 (1-byte), and in UTF-16BE at the very end.
    QByteArray small("abc\xD6\xD0\xCE\xC4xyz\xE4\xB8\xAD\xE6\x96\x87--\x2D\x4E\x87\x65 DRAGON\x01", 30);
    small += QByteArray("\x83\x91\x80\x86\x8E\x8D");
    small += QByteArray("\x4E\x2D\x65\x87");
    m_small = TestSupport::writeScratchFile(QStringLiteral("small.bin"), small);
    QByteArray large(2 * kPartBytes, 'x');
    large.replace(kPartBytes - 2, 4, "\xD6\xD0\xCE\xC4");
    large.replace(2 * kPartBytes - 3, 3, "\xE4\xB8\xAD");
    m_large = TestSupport::writeScratchFile(QStringLiteral("large.bin"), large);
}

void TestFind::runs_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("nExit");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");   // part of standard error

    const QString s = QStringLiteral("SMALL");
    const QString l = QStringLiteral("LARGE");
    QTest::newRow("every encoding") << QStringList{"--find", "中文", s} << 0
                                    << "SMALL:00000003:GB\nSMALL:0000000A:UTF-8\nSMALL:00000012:UTF-16LE\n"
                                       "SMALL:00000024:UTF-16BE\n"
                                    << "";
    QTest::newRow("two encodings named") << QStringList{"--find=中文", "--encoding", "utf-16be", "--encoding=GB", s}
                                         << 0 << "SMALL:00000003:GB\nSMALL:00000024:UTF-16BE\n" << "";
    QTest::newRow("not found") << QStringList{"--find", "日本", s} << 1 << "" << "";
    QTest::newRow("hits across and at the end of the parts")
        << QStringList{"--find", "中", l} << 0
        << QStringLiteral("LARGE:%1:GB\nLARGE:%2:UTF-8\n")
               .arg(kPartBytes - 2, 8, 16, QLatin1Char('0'))
               .arg(2 * kPartBytes - 3, 8, 16, QLatin1Char('0'))
               .toUpper()
        << "";
    QTest::newRow("several files, one missing") << QStringList{"--find", "中文", "--encoding", "gb", s, "missing.bin", l}
                                                << 2 << "SMALL:00000003:GB\nLARGE:003FFFFE:GB\n" << "missing.bin";
    QTest::newRow("encodings that cannot hold the text said")
        << QStringList{"--find", "한", s} << 1 << "" << "Not searched in GB, BIG5, SJIS";
    QTest::newRow("at one offset, encodings in their own order") << QStringList{"--find", "中", "--encoding", "utf-8", "--encoding", "gb", s}
                                          << 0 << "SMALL:00000003:GB\nSMALL:0000000A:UTF-8\n" << "";
    QTest::newRow("relative") << QStringList{"--relative", "--find", "DRAGON", s} << 0
                              << "SMALL:00000017:1-byte D=0x44\nSMALL:0000001E:1-byte D=0x83\n" << "";
    QTest::newRow("relative, a word it cannot search") << QStringList{"--find", "A", "--relative", s} << 2 << ""
                                                       << "two letters or more";
    QTest::newRow("relative with an encoding") << QStringList{"--find", "AB", "--relative", "--encoding", "gb", s}
                                               << 2 << "" << "takes no --encoding";
    QTest::newRow("unknown encoding") << QStringList{"--find", "a", "--encoding", "latin1", s} << 2 << ""
                                      << "--encoding takes";
    QTest::newRow("no file") << QStringList{"--find", "a"} << 2 << "" << "--find needs a file";
    QTest::newRow("unknown option") << QStringList{"--find", "a", "-x", s} << 2 << "" << "unknown option -x";
}

void TestFind::runs()
{
    QFETCH(QStringList, args);
    QFETCH(int, nExit);
    QFETCH(QString, out);
    QFETCH(QString, err);

    for (QString& arg : args) {
        arg.replace(QLatin1String("SMALL"), m_small).replace(QLatin1String("LARGE"), m_large);
        if (arg == QLatin1String("missing.bin"))
            arg = QDir(TestSupport::scratchDir()).filePath(arg);
    }
    const TestSupport::ProgramResult result =
        TestSupport::runProgram(QStringLiteral(ZORBEL_BINARY), args, QStringLiteral("C.UTF-8"));
    QCOMPARE(QString::fromUtf8(result.out), QString(out).replace("SMALL", m_small).replace("LARGE", m_large));
    QVERIFY2(QString::fromUtf8(result.err).contains(err), result.err.constData());
    QCOMPARE(result.exitCode, nExit);
}

QTEST_MAIN(TestFind)
#include "tst_find.moc"
