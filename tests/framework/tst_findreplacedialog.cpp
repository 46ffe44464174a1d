#include "findreplacedialog.h"
#include "registeredmessage.h"
#include "resources.h"
#include "testsupport.h"
#include "view.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

struct Notification {
    unsigned nFlags;
    QString strFind;
    QString strReplace;
};

// A view that records what its find dialog tells it. The log lives outside the
// view so that a test can check that nothing arrived after the view was gone.
class CRecordingView : public CView {
public:
    explicit CRecordingView(QList<Notification>* pLog) : m_pLog(pLog) {}

    qintptr OnRegisteredMessage(unsigned nMsg, quintptr, qintptr lParam) override
    {
        if (nMsg != RegisterWindowMessage(QLatin1String(FINDMSGSTRING)))
            return 0;
        CFindReplaceDialog* pDlg = CFindReplaceDialog::GetNotifier(lParam);
        m_pLog->append({pDlg->GetFlags(), pDlg->GetFindString(), pDlg->GetReplaceString()});
        return 0;
    }

private:
    QList<Notification>* m_pLog;
};

template <typename T>
T* Child(QWidget* pDlg, const char* pszName)
{
    T* pWidget = pDlg->findChild<T*>(QLatin1String(pszName));
    if (!pWidget)
        qFatal("no child %s", pszName);
    return pWidget;
}

void DeleteLaterNow()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

// The modeless find/replace dialog and the registered message it reports through.
class TestFindReplaceDialog : public QObject {
    Q_OBJECT

private slots:
    void registeredMessagesAreStable();
    void buttonsNotify_data();
    void buttonsNotify();
    void closingNotifiesAndDeletes_data();
    void closingNotifiesAndDeletes();
    void destroyingTheOwnerClosesSilently();
    void keepsLongTextsAndWaitsForAFindText();
    void speaksTheResourceLanguage();
};

void TestFindReplaceDialog::registeredMessagesAreStable()
{
    const unsigned nFind = RegisterWindowMessage(QLatin1String(FINDMSGSTRING));
    const unsigned nOther = RegisterWindowMessage(QStringLiteral("zorbel_test_other"));
    QVERIFY(nFind >= 0xC000);
    QVERIFY(nOther >= 0xC000);
    QVERIFY(nFind != nOther);
    QCOMPARE(RegisterWindowMessage(QLatin1String(FINDMSGSTRING)), nFind);
}

void TestFindReplaceDialog::buttonsNotify_data()
{
    QTest::addColumn<bool>("bFindOnly");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("bCheckCase");
    QTest::addColumn<bool>("bClickUp");
    QTest::addColumn<unsigned>("nExpected");

    QTest::newRow("find next, down") << true << "findNext" << false << false << unsigned(FR_FINDNEXT | FR_DOWN);
    QTest::newRow("find next, up, match case")
        << true << "findNext" << true << true << unsigned(FR_FINDNEXT | FR_MATCHCASE);
    QTest::newRow("replace form: find next") << false << "findNext" << false << false << unsigned(FR_FINDNEXT | FR_DOWN);
    QTest::newRow("replace") << false << "replace" << true << false << unsigned(FR_REPLACE | FR_DOWN | FR_MATCHCASE);
    QTest::newRow("replace all") << false << "replaceAll" << false << false << unsigned(FR_REPLACEALL | FR_DOWN);
}

void TestFindReplaceDialog::buttonsNotify()
{
    QFETCH(bool, bFindOnly);
    QFETCH(QString, button);
    QFETCH(bool, bCheckCase);
    QFETCH(bool, bClickUp);
    QFETCH(unsigned, nExpected);

    QList<Notification> log;
    CRecordingView view(&log);
    auto* pDlg = new CFindReplaceDialog;
    QVERIFY(pDlg->Create(bFindOnly, "41 42", QString(), FR_DOWN | FR_HIDEWHOLEWORD, &view));
    QVERIFY(pDlg->isVisible());
    QVERIFY(!pDlg->isModal());
    QCOMPARE(pDlg->parentWidget(), &view);

    if (bCheckCase)
        QTest::mouseClick(Child<QCheckBox>(pDlg, "matchCase"), Qt::LeftButton);
    if (bClickUp)
        QTest::mouseClick(Child<QRadioButton>(pDlg, "up"), Qt::LeftButton);
    if (!bFindOnly)
        QTest::keyClicks(Child<QLineEdit>(pDlg, "replaceWith"), "x y");
    QTest::mouseClick(Child<QPushButton>(pDlg, button.toLatin1().constData()), Qt::LeftButton);

    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].nFlags & ~unsigned(FR_HIDEWHOLEWORD), nExpected);
    QCOMPARE(log[0].strFind, QString("41 42"));
    QCOMPARE(log[0].strReplace, bFindOnly ? QString() : QString("x y"));
    QVERIFY(pDlg->isVisible());   // modeless: stays open after an action
}

void TestFindReplaceDialog::closingNotifiesAndDeletes_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("window closed") << 2;
}

void TestFindReplaceDialog::closingNotifiesAndDeletes()
{
    QFETCH(int, how);
    QList<Notification> log;
    CRecordingView view(&log);
    QPointer<CFindReplaceDialog> pDlg = new CFindReplaceDialog;
    pDlg->Create(false, "ab", QString(), FR_MATCHCASE, &view);
    if (how == 0)
        QTest::mouseClick(Child<QPushButton>(pDlg, "cancel"), Qt::LeftButton);
    else if (how == 1)
        QTest::keyClick(Child<QLineEdit>(pDlg, "findWhat"), Qt::Key_Escape);
    else
        pDlg->close();

    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].nFlags & (FR_DIALOGTERM | FR_MATCHCASE | FR_DOWN), unsigned(FR_DIALOGTERM | FR_MATCHCASE));
    QVERIFY(pDlg);   // still there while the notification runs
    DeleteLaterNow();
    QVERIFY(!pDlg);
    QCOMPARE(log.size(), 1);
}

void TestFindReplaceDialog::destroyingTheOwnerClosesSilently()
{
    QList<Notification> log;
    auto* pView = new CRecordingView(&log);
    QPointer<CFindReplaceDialog> pDlg = new CFindReplaceDialog;
    pDlg->Create(true, "41", QString(), FR_DOWN, pView);
    delete pView;
    QVERIFY(!pDlg);
    DeleteLaterNow();
    QVERIFY(log.isEmpty());
}

void TestFindReplaceDialog::keepsLongTextsAndWaitsForAFindText()
{
    QList<Notification> log;
    CRecordingView view(&log);
    auto* pDlg = new CFindReplaceDialog;
    const QString strLong = QString(40000, QLatin1Char('x'));
    pDlg->Create(false, strLong, strLong, FR_DOWN, &view);
    QCOMPARE(pDlg->GetFindString(), strLong);
    QCOMPARE(pDlg->GetReplaceString(), strLong);

    auto* pEdit = Child<QLineEdit>(pDlg, "findWhat");
    pEdit->clear();
    for (const char* pszName : {"findNext", "replace", "replaceAll"})
        QVERIFY(!Child<QPushButton>(pDlg, pszName)->isEnabled());
    QTest::keyClicks(pEdit, "a");
    QVERIFY(Child<QPushButton>(pDlg, "replaceAll")->isEnabled());
    QTest::keyClick(pEdit, Qt::Key_Return);   // Find Next is the default button
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].nFlags & FR_FINDNEXT, unsigned(FR_FINDNEXT));
}

void TestFindReplaceDialog::speaksTheResourceLanguage()
{
    AfxSetResourceLanguage(LANG_JA_JP);
    QList<Notification> log;
    CRecordingView view(&log);
    auto* pDlg = new CFindReplaceDialog;
    pDlg->Create(false, QString(), QString(), FR_DOWN, &view);
    AfxSetResourceLanguage(0);
    QCOMPARE(pDlg->windowTitle(), QString::fromUtf8("置換"));
    QCOMPARE(Child<QPushButton>(pDlg, "replaceAll")->text(), QString::fromUtf8("すべて置換(&A)"));
}

QTEST_MAIN(TestFindReplaceDialog)
#include "tst_findreplacedialog.moc"
