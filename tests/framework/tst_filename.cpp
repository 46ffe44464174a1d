#include "filename.h"

#include <QtTest>

// File names as bytes: each name, UTF-8 or not, comes back to its own bytes
// from the QString it travels in, from the form people see it in (where the
// bytes that are not UTF-8 are "\xHH") and from the profile's form.
class TestFileName : public QObject {
    Q_OBJECT

private slots:
    void namesKeepTheirBytes_data();
    void namesKeepTheirBytes();
    void relativeNamesBecomeAbsolute();
};

void TestFileName::namesKeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("bRaw");
    QTest::newRow("ASCII") << QByteArray("/data/a b.bin") << QString("/data/a b.bin") << false;
    QTest::newRow("UTF-8 Chinese") << QByteArray("/data/\xE4\xB8\xAD\xE6\x96\x87.bin") << QString::fromUtf8("/data/中文.bin")
                                   << false;
    QTest::newRow("UTF-8 four bytes") << QByteArray("/\xF0\x9F\x98\x80") << QString::fromUtf8("/😀") << false;
    QTest::newRow("GBK") << QByteArray("/data/\xD6\xD0\xCE\xC4.bin") << QString("/data/\\xD6\\xD0\\xCE\\xC4.bin") << true;
    QTest::newRow("GBK folder") << QByteArray("/\xD6\xD0/a.bin") << QString("/\\xD6\\xD0/a.bin") << true;
    QTest::newRow("stray byte after four bytes") << QByteArray("/\xF0\x9F\x98\x80\xB0") << QString::fromUtf8("/😀\\xB0")
                                                 << true;
    QTest::newRow("cut short at the end") << QByteArray("/a\xE4\xB8") << QString("/a\\xE4\\xB8") << true;
    QTest::newRow("cut short before ASCII") << QByteArray("/\xE4\xB8x") << QString("/\\xE4\\xB8x") << true;
    QTest::newRow("overlong slash") << QByteArray("/a\xC0\xAF") << QString("/a\\xC0\\xAF") << true;
    QTest::newRow("past U+10FFFF") << QByteArray("/\xF4\x90\x80\x80") << QString("/\\xF4\\x90\\x80\\x80") << true;
    QTest::newRow("encoded surrogate, the escapes' own range") << QByteArray("/\xED\xB3\x96") << QString("/\\xED\\xB3\\x96")
                                                               << true;
    QTest::newRow("bytes valid in no encoding") << QByteArray("/\xFF\xFE\x80") << QString("/\\xFF\\xFE\\x80") << true;
    QTest::newRow("percent sign and spaces") << QByteArray("/50% \xB0.bin") << QString("/50% \\xB0.bin") << true;
}

void TestFileName::namesKeepTheirBytes()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, shown);
    QFETCH(bool, bRaw);
    const QString path = AfxDecodeFileName(name);
    QCOMPARE(AfxEncodeFileName(path), name);
    QCOMPARE(AfxHasRawBytes(path), bRaw);
    QCOMPARE(AfxDisplayFileName(path), shown);
    QCOMPARE(AfxFileTitle(path), shown.mid(shown.lastIndexOf('/') + 1));
    const QString stored = AfxFileNameToProfile(path);
    // A UTF-8 name is stored as it always was; any other in ASCII alone.
    if (bRaw)
        QVERIFY2(QString::fromLatin1(stored.toLatin1()) == stored && stored.toLatin1() == stored.toUtf8(),
                 qPrintable(stored));
    else
        QCOMPARE(stored, path);
    QCOMPARE(AfxEncodeFileName(AfxFileNameFromProfile(stored)), name);
}

void TestFileName::relativeNamesBecomeAbsolute()
{
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent("/tmp"));
    const QString path = AfxDecodeFileName("sub/../\xD6\xD0.bin");
    QCOMPARE(AfxEncodeFileName(AfxAbsoluteFilePath(path)), QByteArray("/tmp/\xD6\xD0.bin"));
    QCOMPARE(AfxEncodeFileName(AfxFolderPath(path)), QByteArray("/tmp"));
    QCOMPARE(AfxFolderPath("/a.bin"), QString("/"));
    QDir::setCurrent(before);
}

QTEST_GUILESS_MAIN(TestFileName)
#include "tst_filename.moc"
