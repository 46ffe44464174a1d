#include "printfile.h"
#include "testsupport.h"

#include <QApplication>
#include <QPainter>
#include <QPrinter>
#include <QtTest>

namespace {

// A PDF of a few pages as Qt's writer makes it.
QByteArray WrittenPdf()
{
    const QString path = TestSupport::scratchDir() + QStringLiteral("/whole.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    QPainter painter(&printer);
    for (int page = 0; page < 3; ++page) {
        if (page > 0)
            printer.newPage();
        painter.drawText(100, 100, QStringLiteral("page %1").arg(page));
    }
    painter.end();
    return TestSupport::readFile(path);
}

} // namespace

// Reading back what the PDF writer left: a file it could not write whole is
// removed and reported.
class TestPrintFile : public QObject {
    Q_OBJECT

private slots:
    void checksTheTrailer_data();
    void checksTheTrailer();
    void otherOutputIsLeftAlone();
};

void TestPrintFile::checksTheTrailer_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("whole");

    const QByteArray pdf = WrittenPdf();
    QVERIFY(pdf.endsWith("%%EOF\n"));
    const qsizetype xref = pdf.lastIndexOf("\nxref") + 1;
    QVERIFY(xref > 0);
    QTest::newRow("whole") << pdf << true;
    QTest::newRow("without the last line break") << pdf.chopped(1) << true;
    QTest::newRow("cut in the end mark") << pdf.chopped(3) << false;
    QTest::newRow("cut before the trailer") << pdf.left(xref) << false;
    QTest::newRow("cut in half") << pdf.left(pdf.size() / 2) << false;
    QTest::newRow("a block lost in the middle") << pdf.left(200) + pdf.mid(4296) << false;
    QTest::newRow("one byte lost before the table") << pdf.left(xref - 1) + pdf.mid(xref) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("only the trailer") << pdf.mid(xref) << false;
}

void TestPrintFile::checksTheTrailer()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, whole);

    const QString path = TestSupport::writeScratchFile(QStringLiteral("check.pdf"), bytes);
    const QString message = CheckPdfFile(path);
    QCOMPARE(message.isEmpty(), whole);
    QCOMPARE(QFile::exists(path), whole);
    if (!whole)
        QVERIFY2(message.contains(path), qPrintable(message));
}

// Output that is not a PDF file of the printer's own cannot be read back.
void TestPrintFile::otherOutputIsLeftAlone()
{
    QPrinter printer(QPrinter::HighResolution);
    QCOMPARE(CheckPrintFile(printer), QString());
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QStringLiteral("/dev/null"));
    QCOMPARE(CheckPrintFile(printer), QString());
    QVERIFY(QFile::exists(QStringLiteral("/dev/null")));
}

QTEST_MAIN(TestPrintFile)
#include "tst_printfile.moc"
