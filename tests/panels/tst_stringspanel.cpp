// The Strings list of a document in a real view, without a main window: after
// an edit it is mended around the change at once, and comes out as a full
// scan of the edited bytes would, with the selected run still selected; a
// filter lists what filtering the full scan's lines gives, however long the
// list and whatever the edits.

#include "chartable.h"
#include "editfixture.h"
#include "stringscan.h"
#include "stringsmodel.h"
#include "stringspanel.h"
#include "textencoder.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>

class TestStringsPanel : public QObject {
    Q_OBJECT

private slots:
    void editsMendTheList_data();
    void editsMendTheList();
    void selectionAndScrollStay();
    void filterOverManyRuns();
    void rowsPastTheEagerOnesAreFetched();
};

namespace {

// The lines a full scan of the document gives, of the runs whose text holds
// filter (case aside).
QByteArray FullScan(const CHexDoc& doc, int nMin, bool bCjk, const QString& filter = QString())
{
    CStringScanner scanner(doc.GetCodePage(), nMin, bCjk);
    scanner.UseTable(doc.ShareCharTable());
    std::vector<CTextRun> runs;
    scanner.Scan(doc.Data(), doc.GetLength(), true, runs);
    std::string out;
    for (const CTextRun& run : runs) {
        if (QString::fromStdString(run.text).contains(filter, Qt::CaseInsensitive))
            CStringScanner::AppendLine(run, out);
    }
    return QByteArray::fromStdString(out);
}

// A piece of binary, ASCII or text of the code page.
QByteArray RandomPiece(int nCodePage, int nMaxChars, QRandomGenerator& random)
{
    static const QString kText = QString::fromUtf8("中文字符測試資料日本語のテキストｱｲｳ·—「」");
    QByteArray bytes;
    const int nKind = random.bounded(3);
    for (int n = random.bounded(nMaxChars + 1); n > 0; --n) {
        if (nKind == 0) {
            bytes += char(random.bounded(256));
        } else if (nKind == 1) {
            bytes += char(random.bounded(8) ? random.bounded('a', 'z' + 1) : random.bounded(0x08, 0x22));
        } else {
            const CEncodedText encoded = EncodeText(nCodePage, QString(kText[random.bounded(int(kText.size()))]));
            bytes += encoded.bOk ? encoded.bytes : QByteArray("?");
        }
    }
    return bytes;
}

bool WaitForScan(CStringsPanel& panel)
{
    return QTest::qWaitFor([&panel] { return !panel.IsScanning(); }, 10000);
}

} // namespace

void TestStringsPanel::editsMendTheList_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<int>("minChars");
    QTest::addColumn<bool>("cjk");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QByteArray>("table");
    QTest::newRow("GB") << 936 << 4 << false << QString() << QByteArray();
    QTest::newRow("BIG5") << 950 << 3 << false << QString() << QByteArray();
    QTest::newRow("Shift JIS") << 932 << 4 << false << QString() << QByteArray();
    QTest::newRow("UTF-8") << 65001 << 2 << false << QString() << QByteArray();
    QTest::newRow("GB, non-ASCII runs only") << 936 << 2 << true << QString() << QByteArray();
    QTest::newRow("1252") << 1252 << 4 << false << QString() << QByteArray();
    QTest::newRow("GB, filtered on a letter") << 936 << 3 << false << QString("E") << QByteArray();
    QTest::newRow("Shift JIS, filtered on a kanji") << 932 << 2 << false << QString::fromUtf8("字") << QByteArray();
    // Keys of up to eight bytes that an edit may cut or join, end codes.
    QTest::newRow("through a table") << 936 << 2 << false << QString()
                                     << QByteArray("61=a\n62=b\n65=e\n20= \n6162=ab\n61626364656667=abcdefg\n"
                                                   "/00=<end>\n*0A\nD6D0=中\n/6565=.\n");
}

void TestStringsPanel::editsMendTheList()
{
    QFETCH(int, codePage);
    QFETCH(int, minChars);
    QFETCH(bool, cjk);
    QFETCH(QString, filter);
    QFETCH(QByteArray, table);
    QRandomGenerator random(std::uint32_t(codePage * 7 + minChars));
    QByteArray bytes;
    while (bytes.size() < 4000)
        bytes += RandomPiece(codePage, 20, random);
    EditWindow window(bytes);
    window.doc.SetCodePage(codePage);
    if (!table.isEmpty()) {
        auto pTable = std::make_shared<CCharTable>();
        QVERIFY(pTable->Parse(table));
        window.doc.SetCharTable(pTable);
    }
    CStringsPanel panel;
    panel.MinLength()->setValue(minChars);
    panel.NonAsciiOnly()->setChecked(cjk);
    panel.Filter()->setText(filter);
    panel.SetView(window.pView.get());
    panel.show();
    QVERIFY(WaitForScan(panel));
    QCOMPARE(panel.ExportText(), FullScan(window.doc, minChars, cjk, filter));
    QVERIFY(panel.ExportText().count('\n') > 10);

    // Each edit is mended before control returns: no scan starts, and the
    // list is already the full scan's.
    for (int nEdit = 0; nEdit < 300; ++nEdit) {
        const std::uint32_t nLength = window.doc.GetLength();
        const auto nPos = std::uint32_t(random.bounded(nLength + 1));
        const auto nRemove = std::min(nLength - nPos, std::uint32_t(random.bounded(6)));
        const QByteArray insert = RandomPiece(codePage, 4, random);
        if (nEdit % 10 == 9 && window.doc.History().CanUndo()) {
            CEditState state;
            window.doc.Undo(state);
        } else {
            window.doc.ReplaceBytes(nPos, nRemove, reinterpret_cast<const std::uint8_t*>(insert.constData()),
                                    std::uint32_t(insert.size()), {});
        }
        QVERIFY(!panel.IsScanning());
        const QByteArray expected = FullScan(window.doc, minChars, cjk, filter);
        if (panel.ExportText() != expected)
            QFAIL(qPrintable(QStringLiteral("edit %1 at %2: the list differs from a full scan").arg(nEdit).arg(nPos)));
    }

    // Another code page while the list shows: its texts are made again in it.
    if (table.isEmpty()) {
        window.doc.SetCodePage(codePage == 950 ? 936 : 950);
        QVERIFY(WaitForScan(panel));
        QCOMPARE(panel.ExportText(), FullScan(window.doc, minChars, cjk, filter));
    }
}

void TestStringsPanel::selectionAndScrollStay()
{
    QByteArray bytes;
    for (int i = 0; i < 400; ++i)
        bytes += "word" + QByteArray::number(1000 + i) + '\0';
    EditWindow window(bytes);
    window.doc.SetCodePage(936);
    CStringsPanel panel;
    panel.resize(400, 300);
    panel.SetView(window.pView.get());
    panel.show();
    QVERIFY(WaitForScan(panel));
    QTableView* pTable = panel.Table();
    QCOMPARE(pTable->model()->rowCount(), 400);
    pTable->setCurrentIndex(pTable->model()->index(200, 2));
    pTable->scrollTo(pTable->currentIndex(), QAbstractItemView::PositionAtTop);
    const int nScroll = pTable->verticalScrollBar()->value();
    QVERIFY(nScroll > 0);
    const auto currentText = [pTable] { return pTable->currentIndex().siblingAtColumn(2).data().toString(); };
    const auto currentOffset = [pTable] { return pTable->currentIndex().siblingAtColumn(0).data().toString(); };
    QCOMPARE(currentText(), QString("word1200"));
    QCOMPARE(currentOffset(), QString("00000708"));

    // Bytes inserted before every run that make no run of their own move the
    // offsets along and nothing else.
    window.doc.ReplaceBytes(0, 0, reinterpret_cast<const std::uint8_t*>("ab\x01"), 3, {});
    QCOMPARE(pTable->model()->rowCount(), 400);
    QCOMPARE(currentText(), QString("word1200"));
    QCOMPARE(currentOffset(), QString("0000070B"));
    QCOMPARE(pTable->verticalScrollBar()->value(), nScroll);
    QVERIFY(pTable->selectionModel()->isRowSelected(200, QModelIndex()));

    // A run changed after the selected one, and a run added before it.
    window.doc.ReplaceBytes(0x900, 1, reinterpret_cast<const std::uint8_t*>("Z"), 1, {});
    window.doc.ReplaceBytes(0, 0, reinterpret_cast<const std::uint8_t*>("first\x01"), 6, {});
    QCOMPARE(pTable->model()->rowCount(), 401);
    QCOMPARE(currentText(), QString("word1200"));
    QCOMPARE(currentOffset(), QString("00000711"));
    QCOMPARE(panel.ExportText(), FullScan(window.doc, 4, false));
}

// A filter typed while a long list is scanned, changed and cleared: the rows
// come in as they are matched, and end as the plain filter of the full scan.
void TestStringsPanel::filterOverManyRuns()
{
    QByteArray bytes;
    for (int i = 0; i < 200000; ++i)
        bytes += (i % 7 ? "run" : "\xD6\xD0\xCE\xC4run") + QByteArray::number(i) + '\0';
    EditWindow window(bytes);
    window.doc.SetCodePage(936);
    CStringsPanel panel;
    panel.SetView(window.pView.get());
    panel.show();
    QAbstractItemModel* pModel = panel.Table()->model();
    QVERIFY(QTest::qWaitFor([pModel] { return pModel->rowCount() > 0; }, 10000));
    struct CCase {
        QString filter;
        int nRows;
    };
    // "RUN12" ignores case; 中文 starts every seventh run.
    const CCase cases[] = {{"RUN12", 11111}, {QString::fromUtf8("中文"), 28572}, {"run19999", 11}, {"", 200000}};
    for (const CCase& c : cases) {
        panel.Filter()->setText(c.filter);
        QVERIFY(QTest::qWaitFor([&] { return !panel.IsScanning() && pModel->rowCount() == c.nRows; }, 20000));
        QCOMPARE(panel.ExportText(), FullScan(window.doc, 4, false, c.filter));
        const QModelIndex last = pModel->index(c.nRows - 1, CStringsModel::TextColumn);
        QVERIFY(last.data().toString().contains(c.filter, Qt::CaseInsensitive));
    }
}

// A list longer than the rows shown while it grows: the count, Export and an
// edit take in every run; the view gets the rest when it reaches its last row.
void TestStringsPanel::rowsPastTheEagerOnesAreFetched()
{
    constexpr int kRuns = CStringsModel::kEagerRows + 1000;
    QByteArray separated;
    separated.reserve(kRuns * 5);
    for (int i = 0; i < kRuns; ++i)
        separated += (i == kRuns - 1 ? QByteArray("last") : QByteArray::number(1000 + i % 9000)) + '\0';
    EditWindow window(separated);
    window.doc.SetCodePage(936);
    CStringsPanel panel;
    panel.resize(400, 300);
    panel.SetView(window.pView.get());
    panel.show();
    QVERIFY(QTest::qWaitFor([&panel] { return !panel.IsScanning(); }, 60000));
    QTableView* pTable = panel.Table();
    auto* pModel = static_cast<CStringsModel*>(pTable->model());
    QCOMPARE(pModel->Listed(), kRuns);
    QCOMPARE(pModel->rowCount(), CStringsModel::kEagerRows);
    QCOMPARE(panel.ExportText().count('\n'), kRuns);

    // Ctrl+End reaches the last row shown, and the view fetches the rest.
    pTable->setFocus();
    pTable->setCurrentIndex(pModel->index(0, 0));
    QTest::keyClick(pTable, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(pModel->rowCount(), kRuns);
    QTest::keyClick(pTable, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(pTable->currentIndex().siblingAtColumn(CStringsModel::TextColumn).data().toString(), QString("last"));

    // An edit in a list not all shown yet mends it as in one all shown.
    CStringsPanel fresh;
    fresh.SetView(window.pView.get());
    fresh.show();
    QVERIFY(QTest::qWaitFor([&fresh] { return !fresh.IsScanning(); }, 60000));
    QCOMPARE(fresh.Table()->model()->rowCount(), CStringsModel::kEagerRows);
    window.doc.ReplaceBytes(std::uint32_t(separated.size()) - 5, 1, reinterpret_cast<const std::uint8_t*>("\x01"), 1, {});
    QVERIFY(QTest::qWaitFor([&fresh] { return !fresh.IsScanning(); }, 60000));
    QCOMPARE(fresh.ExportText(), FullScan(window.doc, 4, false));
    QCOMPARE(static_cast<CStringsModel*>(fresh.Table()->model())->Listed(), kRuns - 1);
}

QTEST_MAIN(TestStringsPanel)
#include "tst_stringspanel.moc"
