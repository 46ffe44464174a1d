#include "recentfilelist.h"
#include "settingsprofile.h"
#include "testsupport.h"

#include <QFile>
#include <QtTest>

// The settings profile and the recent-file list stored in it.
class TestProfile : public QObject {
    Q_OBJECT

private slots:
    void roundTripsValues();
    void badValuesGiveDefaults();
    void storesUnderOrganisationAndApplication();
    void recentFilesKeepOrderAndLimit();
    void recentFileRemoved_data();
    void recentFileRemoved();
};

void TestProfile::roundTripsValues()
{
    CSettingsProfile profile;
    QCOMPARE(profile.GetProfileInt("Settings", "ShowCmd", 3), 3);   // nothing stored before the key
    profile.SetRegistryKey("Vantorel", "Zorbel");
    QVERIFY(profile.WriteProfileInt("Settings", "ShowCmd", 1));
    QVERIFY(profile.WriteProfileString("Settings", "WindowPos", "1,1,-1,-1,-8,-8,10,20,800,600"));
    profile.Sync();

    CSettingsProfile again;
    again.SetRegistryKey("Vantorel", "Zorbel");
    QCOMPARE(again.GetProfileInt("Settings", "ShowCmd", 3), 1);
    QCOMPARE(again.GetProfileString("Settings", "WindowPos"), QString("1,1,-1,-1,-8,-8,10,20,800,600"));
    QCOMPARE(again.GetProfileString("Settings", "Missing", "dflt"), QString("dflt"));
}

void TestProfile::badValuesGiveDefaults()
{
    CSettingsProfile profile;
    profile.SetRegistryKey("Vantorel", "Zorbel");
    profile.WriteProfileString("Settings", "PreviewPages", "two");
    QCOMPARE(profile.GetProfileInt("Settings", "PreviewPages", 1), 1);
}

void TestProfile::storesUnderOrganisationAndApplication()
{
    CSettingsProfile profile;
    profile.SetRegistryKey("Vantorel", "Zorbel");
    profile.WriteProfileInt("Settings", "ShowCmd", 3);
    profile.Sync();
    const QString file = TestSupport::scratchDir() + "/config/Vantorel/Zorbel.conf";
    QVERIFY2(QFile::exists(file), qPrintable(file));
    QVERIFY(TestSupport::readFile(file).contains("[Settings]"));
}

void TestProfile::recentFilesKeepOrderAndLimit()
{
    CSettingsProfile profile;
    profile.SetRegistryKey("Vantorel", "Zorbel");
    CRecentFileList list("Recent File List", "File%d", 16);
    for (int i = 1; i <= 18; ++i)
        list.Add(QStringLiteral("/data/f%1.bin").arg(i));
    list.Add("/data/f10.bin");   // reopening moves it to the front
    QCOMPARE(list.GetCount(), 16);
    QCOMPARE(list[0], QString("/data/f10.bin"));
    QCOMPARE(list[1], QString("/data/f18.bin"));
    QVERIFY(!list.Names().contains("/data/f2.bin"));
    list.WriteList(profile);
    QCOMPARE(profile.GetProfileString("Recent File List", "File1"), QString("/data/f10.bin"));
    QCOMPARE(profile.GetProfileString("Recent File List", "File16"), list[15]);

    CRecentFileList reread("Recent File List", "File%d", 16);
    reread.ReadList(profile);
    QCOMPARE(reread.Names(), list.Names());
}

void TestProfile::recentFileRemoved_data()
{
    QTest::addColumn<int>("removed");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("the newest") << 0 << QStringList{"/data/b.bin", "/data/a.bin"};
    QTest::newRow("one in the middle") << 1 << QStringList{"/data/c.bin", "/data/a.bin"};
    QTest::newRow("the oldest") << 2 << QStringList{"/data/c.bin", "/data/b.bin"};
    QTest::newRow("past the end") << 3 << QStringList{"/data/c.bin", "/data/b.bin", "/data/a.bin"};
}

// A file that can no longer be opened leaves the list; written again, the list
// leaves no entry of it behind in the profile.
void TestProfile::recentFileRemoved()
{
    QFETCH(int, removed);
    QFETCH(QStringList, left);

    CSettingsProfile profile;
    profile.SetRegistryKey("Vantorel", "Zorbel");
    CRecentFileList list("Recent File List", "File%d", 4);
    for (const char* name : {"/data/a.bin", "/data/b.bin", "/data/c.bin"})
        list.Add(name);
    list.WriteList(profile);
    list.Remove(removed);
    list.WriteList(profile);
    QCOMPARE(profile.GetProfileString("Recent File List", QStringLiteral("File%1").arg(left.size() + 1)), QString());

    CRecentFileList reread("Recent File List", "File%d", 4);
    reread.ReadList(profile);
    QCOMPARE(reread.Names(), left);
}

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
