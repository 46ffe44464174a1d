#include "afxmsg.h"
#include "datavaluespanel.h"
#include "editfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QTableWidget>

// The Data Inspector on a real view of a document, without a main window:
// it follows the caret and every edit, and writes typed values as one step of
// the history, refusing what a type cannot hold.
class TestDataValuesPanel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void followsTheCaret();
    void followsEditsFromAnotherWindow();
    void saysWhenBytesRunOut();
    void byteOrderAndBase();
    void editWritesInPlaceAsOneStep_data();
    void editWritesInPlaceAsOneStep();
    void refusesAndWritesNothing_data();
    void refusesAndWritesNothing();
    void escapeReturnsToTheRows();

private:
    QString Value(CDataType type) const
    {
        return m_pInspector->Table()->item(CDataValuesPanel::RowOf(type), 1)->text();
    }
    void TypeInto(CDataType type, const QString& text);

    std::unique_ptr<MainFrame> m_pFrame;
    std::unique_ptr<EditWindow> m_pWindow;
    std::unique_ptr<CDataValuesPanel> m_pInspector;
    std::unique_ptr<QMainWindow> m_pHost;
    QStringList m_messages;
    MessageBoxHandler m_previous;
};

void TestDataValuesPanel::init()
{
    m_pFrame = std::make_unique<MainFrame>();
    m_pWindow = std::make_unique<EditWindow>(QByteArray("\xD6\xD0\x01\x02\x03\x04\x05\x06\x07\x08\x09", 11));
    m_pInspector = std::make_unique<CDataValuesPanel>();
    m_pInspector->SetView(m_pWindow->pView.get());
    // One window holds the rows and the panel, as the main frame does.
    m_pHost = std::make_unique<QMainWindow>();
    m_pHost->setCentralWidget(m_pWindow->pView.get());
    m_pHost->addDockWidget(Qt::RightDockWidgetArea, m_pInspector.get());
    m_pHost->resize(1200, 500);
    m_pHost->show();
    m_pHost->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_pHost.get()));
    m_pWindow->pView->setFocus();
    m_messages.clear();
    m_previous = AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
        m_messages << text;
        return IDOK;
    });
}

void TestDataValuesPanel::cleanup()
{
    AfxSetMessageBoxHandler(m_previous);
    m_pInspector.reset();
    m_pWindow.reset();
    m_pHost.reset();
    m_pFrame.reset();
}

void TestDataValuesPanel::TypeInto(CDataType type, const QString& text)
{
    QTableWidget* pTable = m_pInspector->Table();
    pTable->setFocus();
    pTable->setCurrentCell(CDataValuesPanel::RowOf(type), 1);
    QTest::keyClick(pTable, Qt::Key_F2);
    auto* pEditor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(pEditor);
    pEditor->selectAll();
    // Characters beyond ASCII come as an input method gives them.
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, pEditor, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QTest::keyClick(pEditor, Qt::Key_Return);
    // The delegate commits Enter's value from the event loop.
    QCoreApplication::processEvents();
}

void TestDataValuesPanel::followsTheCaret()
{
    QCOMPARE(Value(CDataType::UInt8), QString("214"));
    QCOMPARE(Value(CDataType::CharGB), QString::fromUtf8("中  (D6 D0)"));
    m_pWindow->Type("Right");
    QCOMPARE(Value(CDataType::UInt8), QString("208"));
    QCOMPARE(Value(CDataType::UInt16), QString("464"));   // D0 01 little endian
    m_pWindow->Type("Right");
    QCOMPARE(Value(CDataType::UInt32), QString("67305985"));
}

void TestDataValuesPanel::followsEditsFromAnotherWindow()
{
    std::unique_ptr<CHexView> pOther = m_pWindow->OpenView();
    const std::uint8_t b = 0x41;
    QVERIFY(CHexDoc::Changed(m_pWindow->doc.ReplaceBytes(0, 1, &b, 1, pOther->EditState())));
    QCOMPARE(Value(CDataType::UInt8), QString("65"));
    QCOMPARE(Value(CDataType::CharGB), QString("A  (41)"));
    QVERIFY(m_pWindow->doc.SetCodePage(950));
    QCOMPARE(m_pInspector->Table()->item(CDataValuesPanel::RowOf(CDataType::CharDocument), 0)->text(),
             QString("Code page 950"));
}

void TestDataValuesPanel::saysWhenBytesRunOut()
{
    m_pWindow->Type("End");
    // The caret on the end marker: nothing to read, nothing to edit.
    QCOMPARE(Value(CDataType::UInt8), QString("1 byte(s) needed, 0 left"));
    m_pWindow->Type("Left");
    QCOMPARE(Value(CDataType::UInt8), QString("9"));
    QCOMPARE(Value(CDataType::Int16), QString("2 byte(s) needed, 1 left"));
    QCOMPARE(Value(CDataType::Float64), QString("8 byte(s) needed, 1 left"));
}

void TestDataValuesPanel::byteOrderAndBase()
{
    m_pInspector->SetBigEndian(true);
    QCOMPARE(Value(CDataType::UInt16), QString("54992"));  // D6 D0
    m_pInspector->findChildren<QCheckBox*>().at(1)->click();
    QVERIFY(m_pInspector->IsHex());
    QCOMPARE(Value(CDataType::UInt16), QString("0xD6D0"));
    QCOMPARE(Value(CDataType::Int16), QString("-0x2930"));
}

void TestDataValuesPanel::editWritesInPlaceAsOneStep_data()
{
    QTest::addColumn<CDataType>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("int16") << CDataType::Int16 << "-2" << QByteArray("\xFE\xFF\x03\x04", 4);
    QTest::newRow("uint32") << CDataType::UInt32 << "1" << QByteArray("\x01\x00\x00\x00", 4);
    QTest::newRow("float32") << CDataType::Float32 << "1" << QByteArray("\x00\x00\x80\x3F", 4);
    QTest::newRow("binary") << CDataType::Binary8 << "1111" << QByteArray("\x0F\x02\x03\x04", 4);
    QTest::newRow("GB character") << CDataType::CharGB << QString::fromUtf8("文") << QByteArray("\xCE\xC4\x03\x04", 4);
}

void TestDataValuesPanel::editWritesInPlaceAsOneStep()
{
    QFETCH(CDataType, type);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    m_pWindow->Type("Right Right");
    const QByteArray before = m_pWindow->Bytes();
    TypeInto(type, text);
    QCOMPARE(m_messages, QStringList());
    // Written over the bytes at the caret, whatever the edit mode: the length stays.
    QCOMPARE(m_pWindow->Bytes(), before.left(2) + bytes + before.mid(6));
    QVERIFY(m_pWindow->doc.IsModified());
    CEditState state;
    QCOMPARE(m_pWindow->doc.Undo(state), CHexDoc::EditResult::Done);
    QCOMPARE(m_pWindow->Bytes(), before);
    QVERIFY(!m_pWindow->doc.IsModified());
}

void TestDataValuesPanel::refusesAndWritesNothing_data()
{
    QTest::addColumn<CDataType>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("out of range") << CDataType::Int16 << "40000"
                                  << "\"40000\" is not a value of int16: it takes -32768 … 32767. Nothing was written.";
    QTest::newRow("not a number") << CDataType::UInt8 << "abc"
                                  << "\"abc\" is not a value of uint8: it takes 0 … 255. Nothing was written.";
    QTest::newRow("past the end") << CDataType::Int64 << "1"
                                  << "The value takes 8 bytes, but only 7 are left before the end. Nothing was written.";
}

void TestDataValuesPanel::refusesAndWritesNothing()
{
    QFETCH(CDataType, type);
    QFETCH(QString, text);
    QFETCH(QString, message);
    m_pWindow->Type("Right Right Right Right");
    const QByteArray before = m_pWindow->Bytes();
    const QString shown = Value(type);
    TypeInto(type, text);
    QCOMPARE(m_messages, QStringList{message});
    QCOMPARE(m_pWindow->Bytes(), before);
    QVERIFY(!m_pWindow->doc.IsModified());
    QCOMPARE(Value(type), shown);
}

void TestDataValuesPanel::escapeReturnsToTheRows()
{
    m_pInspector->ShowAndFocus();
    QCOMPARE(QApplication::focusWidget(), m_pInspector->Table());
    QTest::keyClick(m_pInspector->Table(), Qt::Key_Escape);
    QCOMPARE(QApplication::focusWidget(), m_pWindow->pView.get());
}

QTEST_MAIN(TestDataValuesPanel)
#include "tst_datavaluespanel.moc"
