// Find in All Encodings and Relative Search on a real view of a document,
// without a main window, driven by keys: what they list, Enter selecting a hit
// in the rows, switching the text column to a hit's encoding, and Make Table.

#include "chartable.h"
#include "editfixture.h"
#include "findalldialog.h"
#include "relativesearchdialog.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>

namespace {

QStringList Rows(const QTableView* pTable)
{
    QStringList rows;
    const QAbstractItemModel* pModel = pTable->model();
    for (int r = 0; r < pModel->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < pModel->columnCount(); ++c)
            cells << pModel->index(r, c).data().toString();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

// Types text into the dialog's box and presses Enter, as a person searches.
// A game's alphabet: A-Z from 0x80 on, and x as itself.
std::shared_ptr<CCharTable> DragonTable()
{
    QByteArray text = "78=x\n";
    for (int i = 0; i < 26; ++i)
        text += QByteArray::number(0x80 + i, 16) + '=' + char('A' + i) + '\n';
    auto pTable = std::make_shared<CCharTable>();
    pTable->Parse(text);
    pTable->SetName(QStringLiteral("dragon.tbl"));
    return pTable;
}

void Search(CHitListDialog& dialog, const QString& text)
{
    dialog.TextBox()->setFocus();
    dialog.TextBox()->clear();
    // Key events that carry each character, as an input method sends them
    // (keyClicks takes Latin-1 only).
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, dialog.TextBox(), Qt::Key_unknown, QString(ch), Qt::NoModifier);
    QTest::keyClick(dialog.TextBox(), Qt::Key_Return);
}

} // namespace

class TestFindAllDialog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void listsHitsAndEnterSelects();
    void showInEncoding_data();
    void showInEncoding();
    void skippedEncodingsSaid();
    void tableHitListedAndShown();
    void relativeListsAndMakesTable();
    void relativeRefusesWord();

private:
    std::unique_ptr<EditWindow> m_pWindow;
};

void TestFindAllDialog::init()
{
    // 中文 in GB at 2, in UTF-16LE at 8, DRAGON with D = 0x83 at 13.
    const QByteArray bytes = QByteArray("xx") + QByteArray::fromHex("D6D0CEC4") + "--" + QByteArray::fromHex("2D4E8765")
        + " " + QByteArray::fromHex("839180868E8D") + QByteArray(100, 'x');
    m_pWindow = std::make_unique<EditWindow>(bytes);
    m_pWindow->doc.SetCodePage(65001);
}

void TestFindAllDialog::cleanup()
{
    m_pWindow.reset();
}

void TestFindAllDialog::listsHitsAndEnterSelects()
{
    CFindAllDialog dialog;
    dialog.SetView(m_pWindow->pView.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Search(dialog, QStringLiteral("中文"));
    // The text around each hit read in its encoding, from the hit on.
    const QStringList rows = Rows(dialog.Table());
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows[0].startsWith(QStringLiteral("00000002|GB|xx中文---N")), qPrintable(rows[0]));
    QVERIFY2(rows[1].startsWith(QStringLiteral("00000008|UTF-16LE|")) && rows[1].contains(QStringLiteral("中文")),
             qPrintable(rows[1]));
    QCOMPARE(dialog.Status()->text(), QStringLiteral("2 found"));

    // The list has the keyboard: Down and Enter select the second hit in the
    // rows, and Enter does not search again.
    QVERIFY(dialog.Table()->hasFocus());
    QTest::keyClick(dialog.Table(), Qt::Key_Down);
    QTest::keyClick(dialog.Table(), Qt::Key_Return);
    QCOMPARE(dialog.Table()->model()->rowCount(), 2);
    const CSelection selection = m_pWindow->pView->GetSelection();
    QCOMPARE(selection.First(), 8u);
    QCOMPARE(selection.Length(), 4u);

    // Another document's view, or an edit that moves the bytes: the hits are
    // gone rather than wrong.
    EditWindow other(QByteArray(16, 'y'));
    dialog.SetView(other.pView.get());
    QCOMPARE(dialog.Table()->model()->rowCount(), 0);
    dialog.SetView(m_pWindow->pView.get());
    Search(dialog, QStringLiteral("中文"));
    QCOMPARE(dialog.Table()->model()->rowCount(), 2);
    m_pWindow->doc.ReplaceBytes(0, 0, reinterpret_cast<const std::uint8_t*>("AB"), 2, {});
    QCOMPARE(dialog.Table()->model()->rowCount(), 0);
}

void TestFindAllDialog::showInEncoding_data()
{
    QTest::addColumn<int>("nRow");
    QTest::addColumn<int>("nCodePage");
    QTest::addColumn<QString>("status");

    QTest::newRow("GB hit switches to GB") << 0 << 936 << "2 found";
    QTest::newRow("UTF-16 has no code page") << 1 << 65001 << "UTF-16LE has no code page for the text column.";
}

void TestFindAllDialog::showInEncoding()
{
    QFETCH(int, nRow);
    CFindAllDialog dialog;
    dialog.SetView(m_pWindow->pView.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Search(dialog, QStringLiteral("中文"));
    for (int r = 0; r < nRow; ++r)
        QTest::keyClick(dialog.Table(), Qt::Key_Down);
    // Through the window, as the system sends keys, so that the button's
    // mnemonic is looked up as a shortcut.
    QTest::keyClick(dialog.windowHandle(), Qt::Key_S, Qt::AltModifier);
    // The mnemonic clicks the button after showing it pressed for a moment.
    QFETCH(int, nCodePage);
    QFETCH(QString, status);
    QTRY_COMPARE(m_pWindow->doc.GetCodePage(), nCodePage);
    QTRY_COMPARE(dialog.Status()->text(), status);
}

void TestFindAllDialog::skippedEncodingsSaid()
{
    CFindAllDialog dialog;
    dialog.SetView(m_pWindow->pView.get());
    dialog.show();
    Search(dialog, QStringLiteral("한"));
    QCOMPARE(dialog.Table()->model()->rowCount(), 0);
    QCOMPARE(dialog.Status()->text(), QStringLiteral("0 found\nNot searched in GB, BIG5, SJIS, which cannot hold the text."));
}

void TestFindAllDialog::tableHitListedAndShown()
{
    m_pWindow->doc.SetCharTable(DragonTable());
    CFindAllDialog dialog;
    dialog.SetView(m_pWindow->pView.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Search(dialog, QStringLiteral("DRAGON"));
    // Read through the table: 0x87 before the hit is H, the x after it x;
    // the other encodings hold DRAGON as ASCII, which is not there.
    QCOMPARE(Rows(dialog.Table()),
             QStringList{QStringLiteral("0000000D|dragon.tbl|.....H..DRAGONxxxxxxxxxxxxxxxxxxxxxxxx")});
    QTest::keyClick(dialog.Table(), Qt::Key_Return);
    QCOMPARE(m_pWindow->pView->GetSelection().First(), 13u);
    QCOMPARE(m_pWindow->pView->GetSelection().Length(), 6u);

    // The text column left the table for a code page: showing the hit shows
    // the table again, and showing it once more changes nothing.
    m_pWindow->doc.SetCodePage(936);
    QVERIFY(!m_pWindow->doc.GetCharTable());
    QSignalSpy changed(&m_pWindow->doc, &CHexDoc::codePageChanged);
    dialog.ShowInEncoding();
    QVERIFY(m_pWindow->doc.GetCharTable());
    QCOMPARE(m_pWindow->doc.GetCharTable()->Name(), QStringLiteral("dragon.tbl"));
    dialog.ShowInEncoding();
    QCOMPARE(changed.size(), 1);

    // A text the table cannot write is not searched as its bytes, which the
    // line under the list says.
    Search(dialog, QStringLiteral("dragon"));
    QVERIFY2(dialog.Status()->text().endsWith(QStringLiteral("Not searched in dragon.tbl, which cannot hold the text.")),
             qPrintable(dialog.Status()->text()));
}

void TestFindAllDialog::relativeListsAndMakesTable()
{
    CRelativeSearchDialog dialog;
    dialog.SetView(m_pWindow->pView.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Search(dialog, QStringLiteral("DRAGON"));
    QCOMPARE(Rows(dialog.Table()), QStringList{QStringLiteral("0000000D|1-byte|D=0x83")});
    QTest::keyClick(dialog.Table(), Qt::Key_Return);
    QCOMPARE(m_pWindow->pView->GetSelection().First(), 13u);
    QCOMPARE(m_pWindow->pView->GetSelection().Length(), 6u);

    QSignalSpy saved(&dialog, &CRelativeSearchDialog::tableSaved);
    const QString path = TestSupport::scratchDir() + QStringLiteral("/dragon.tbl");
    QVERIFY(dialog.SaveTable(path));
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved.at(0).at(0).toString(), path);
    const QList<QByteArray> lines = TestSupport::readFile(path).split('\n');
    QCOMPARE(lines.first(), QByteArray("80=A"));
    QVERIFY(lines.contains("99=Z"));

    // A folder cannot be written: said under the list, no signal.
    QVERIFY(!dialog.SaveTable(TestSupport::scratchDir()));
    QCOMPARE(saved.size(), 1);
    QVERIFY(dialog.Status()->text().startsWith(QLatin1String("Cannot write")));
}

void TestFindAllDialog::relativeRefusesWord()
{
    CRelativeSearchDialog dialog;
    dialog.SetView(m_pWindow->pView.get());
    dialog.show();
    Search(dialog, QStringLiteral("X"));
    QCOMPARE(dialog.Table()->model()->rowCount(), 0);
    QCOMPARE(dialog.Status()->text(), QStringLiteral("A relative search needs a word of two letters or more."));
}

QTEST_MAIN(TestFindAllDialog)
#include "tst_findalldialog.moc"
