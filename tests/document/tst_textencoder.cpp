#include "textencoder.h"

#include <QtTest>

// Text written in a code page: what the text column reads back, or a refusal
// naming the first character that cannot be written.
class TestTextEncoder : public QObject {
    Q_OBJECT

private slots:
    void encodes_data();
    void encodes();
};

void TestTextEncoder::encodes_data()
{
    QTest::addColumn<int>("cp");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");    // empty when refused
    QTest::addColumn<int>("nRefusedAt");      // -1 when written
    QTest::addColumn<uint>("chRefused");

    const auto hex = [](const char* psz) { return QByteArray::fromHex(psz); };
    QTest::newRow("empty") << 936 << QString() << QByteArray() << -1 << 0u;
    QTest::newRow("932 hiragana") << 932 << QString::fromUtf8("あ") << hex("82A0") << -1 << 0u;
    QTest::newRow("932 half-width katakana") << 932 << QString::fromUtf8("ｱ") << hex("B1") << -1 << 0u;
    QTest::newRow("932 kanji") << 932 << QString::fromUtf8("中文") << hex("928695B6") << -1 << 0u;
    QTest::newRow("936 kanji") << 936 << QString::fromUtf8("中文") << hex("D6D0CEC4") << -1 << 0u;
    QTest::newRow("950 kanji") << 950 << QString::fromUtf8("中文") << hex("A4A4A4E5") << -1 << 0u;
    QTest::newRow("936 mixed with ASCII and line ends") << 936 << QString::fromUtf8("A中\r\n") << hex("41D6D00D0A") << -1 << 0u;
    QTest::newRow("949 hangul, a letter as trail byte") << 949 << QString::fromUtf8("가갂") << hex("B0A18141") << -1 << 0u;
    QTest::newRow("1252 quotes from 0x80-0x9F") << 1252 << QString::fromUtf8("“Ÿ”") << hex("939F94") << -1 << 0u;
    QTest::newRow("1252 accents and euro") << 1252 << QString::fromUtf8("é€") << hex("E980") << -1 << 0u;
    QTest::newRow("932 backslash stays ASCII") << 932 << QString("\\") << hex("5C") << -1 << 0u;
    QTest::newRow("1252 cannot hold kanji") << 1252 << QString::fromUtf8("ab中") << QByteArray() << 2 << 0x4E2Du;
    QTest::newRow("936 cannot hold katakana of 932's half width")
        << 936 << QString::fromUtf8("ｱ") << QByteArray() << 0 << 0xFF71u;
    QTest::newRow("936 refuses outside a surrogate pair") << 936 << QString::fromUtf8("ab😀c") << QByteArray() << 2
                                                          << 0x1F600u;
    QTest::newRow("936 pair the column does not show") << 936 << QString::fromUtf8("丂") << QByteArray() << 0 << 0x4E02u;
    QTest::newRow("932 yen sign has no byte of its own") << 932 << QString::fromUtf8("¥") << QByteArray() << 0 << 0xA5u;
    QTest::newRow("932 a text in GB's page only") << 932 << QString::fromUtf8("这") << QByteArray() << 0 << 0x8FD9u;
    QTest::newRow("replacement character") << 1252 << QString(QChar(0xFFFD)) << QByteArray() << 0 << 0xFFFDu;
    QTest::newRow("65001 writes any character")
        << 65001 << QString::fromUtf8("aé中😀") << hex("61C3A9E4B8ADF09F9880") << -1 << 0u;
    QTest::newRow("65001 refuses half a surrogate pair")
        << 65001 << QString("a") + QChar(0xDC00) << QByteArray() << 1 << 0xDC00u;
    QTest::newRow("lone surrogate") << 932 << QString(QChar(0xD800)) << QByteArray() << 0 << 0xD800u;
}

void TestTextEncoder::encodes()
{
    QFETCH(int, cp);
    QFETCH(QString, text);
    QFETCH(int, nRefusedAt);
    const CEncodedText result = EncodeText(cp, text);
    QTEST(result.bytes, "bytes");
    QCOMPARE(result.bOk, nRefusedAt < 0);
    QCOMPARE(int(result.nRefusedAt), nRefusedAt);
    QTEST(uint(result.chRefused), "chRefused");
}

QTEST_MAIN(TestTextEncoder)
#include "tst_textencoder.moc"
