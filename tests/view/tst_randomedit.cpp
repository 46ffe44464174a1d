#include "editsession.h"
#include "syslang.h"

#include <QRandomGenerator>

// Random editing against a byte model (editsession.h), from fixed seeds.
class TestRandomEdit : public QObject {
    Q_OBJECT

private slots:
    void init() { SetSystemLocaleOverride("en_US"); }
    void bytesFollowTheModel_data();
    void bytesFollowTheModel();
};

void TestRandomEdit::bytesFollowTheModel_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QByteArray>("bytes");

    QByteArray counting(40, 0);
    for (int i = 0; i < counting.size(); ++i)
        counting[i] = char(i);
    QTest::newRow("counting bytes") << 20240611u << counting;
    const QByteArray gb = QByteArray("\xD6\xD0\xCE\xC4 text \xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4" "AAaa").repeated(3);
    QTest::newRow("GB text") << 7u << gb;
    // Drags upward after the caret was shown over a selection.
    QTest::newRow("GB text, dragged upward") << 7007u << gb;
    // Shift+Up across the start of Replace All's selection after an upward one.
    QTest::newRow("GB text, Shift+Up across a replacement") << 57u << gb;
    QTest::newRow("Shift JIS text") << 93u << QByteArray("\x93\xFA\x96\x7B\x8C\xEA\x82\x60\x82\x60" "AAAA").repeated(4);
    const QByteArray utf8 = QByteArray("\xE4\xB8\xAD\xE6\x96\x87 UTF-8 ").repeated(4);
    QTest::newRow("UTF-8 text") << 65001u << utf8;
    QTest::newRow("UTF-8 text, Shift+Up across a replacement") << 65041u << utf8;
    QTest::newRow("runs of one byte") << 41u << QByteArray("AAAAA\x01\x01\x01\x01" "aAaA").repeated(4);
    QTest::newRow("empty") << 1u << QByteArray();
}

void TestRandomEdit::bytesFollowTheModel()
{
    QFETCH(quint32, seed);
    QFETCH(QByteArray, bytes);

    QRandomGenerator random(seed);
    QByteArray choices(4000, 0);
    for (char& c : choices)
        c = char(random.bounded(256));
    CFuzzInput in(reinterpret_cast<const std::uint8_t*>(choices.constData()), std::size_t(choices.size()));
    CEditSession session(bytes, true);
    const QString why = session.Run(in, 250);
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

QTEST_MAIN(TestRandomEdit)
#include "tst_randomedit.moc"
