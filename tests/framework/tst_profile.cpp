#include "afxmsg.h"
#include "filename.h"
#include "perfilevalues.h"
#include "recentfilelist.h"
#include "resources.h"
#include "settingsprofile.h"
#include "syslang.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

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
    void recentFilesOncePerFile();
    void perFileValuesKeepTheNewest();
    void perFileNamesKeepTheNewest();
    void namesNotUtf8SurviveTheFile();
    void unusableSettingsFileGivesDefaults_data();
    void unusableSettingsFileGivesDefaults();
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

// One file named several ways is one entry, under the name it was added by last.
void TestProfile::recentFilesOncePerFile()
{
    const QString path = TestSupport::writeScratchFile("recent.bin", "x");
    const QString link = TestSupport::scratchDir() + "/link-to-recent.bin";
    QFile::remove(link);
    QVERIFY(QFile::link(path, link));
    const QString before = QDir::currentPath();
    QDir::setCurrent(TestSupport::scratchDir());
    CRecentFileList list("Recent File List", "File%d", 4);
    list.Add("recent.bin");
    list.Add("./recent.bin");
    list.Add(link);
    QDir::setCurrent(before);
    QCOMPARE(list.Names(), QStringList{link});
}

// One value per file however its path is spelled; the newest files are kept.
void TestProfile::perFileValuesKeepTheNewest()
{
    CSettingsProfile profile;
    profile.SetRegistryKey("Vantorel", "Zorbel");
    const QString dir = TestSupport::scratchDir();
    CPerFileValues values(&profile, "PerFileTest", 2);
    values.Set(dir + "/a.bin", 936);
    values.Set(dir + "/b.bin", 949);
    values.Set(dir + "/sub/../a.bin", 1252);
    QCOMPARE(values.Get(dir + "/./a.bin", 0), 1252);
    values.Set(dir + "/c.bin", 932);   // b.bin is the oldest now
    QCOMPARE(values.Get(dir + "/b.bin", 0), 0);
    QCOMPARE(values.Get(dir + "/c.bin", 0), 932);
    QCOMPARE(values.Get(dir + "/a.bin", 0), 1252);
    QCOMPARE(profile.GetProfileString("PerFileTest", "3"), QString());
    values.Forget(dir + "/c.bin");
    QCOMPARE(values.Get(dir + "/c.bin", 0), 0);
    QCOMPARE(CPerFileValues(&profile, "PerFileTest", 2).Get(dir + "/a.bin", 0), 1252);
    profile.WriteProfileString("PerFileTest", "1", "x " + dir + "/a.bin");
    QCOMPARE(values.Get(dir + "/a.bin", 7), 7);
    QCOMPARE(CPerFileValues(nullptr, "PerFileTest").Get(dir + "/a.bin", 7), 7);
}

// A section of names keeps them whole, spaces and all, one per file however
// its path is spelled, the newest files only.
void TestProfile::perFileNamesKeepTheNewest()
{
    CSettingsProfile profile;
    profile.SetRegistryKey("Vantorel", "Zorbel");
    const QString dir = TestSupport::scratchDir();
    const auto names = [&profile] {
        return CPerFileValues(&profile, "PerFileNames", 2, CPerFileValues::Holds::Names);
    };
    names().SetName(dir + "/a.bin", "/t/my game.tbl");
    names().SetName(dir + "/b.bin", "/t/b.tbl");
    names().SetName(dir + "/sub/../a.bin", "/t/a 2.tbl");
    QCOMPARE(names().GetName(dir + "/./a.bin"), QString("/t/a 2.tbl"));
    names().SetName(dir + "/c.bin", "/t/c.tbl");   // b.bin is the oldest now
    QCOMPARE(names().GetName(dir + "/b.bin"), QString());
    QCOMPARE(names().GetName(dir + "/c.bin"), QString("/t/c.tbl"));
    QCOMPARE(names().GetName(dir + "/a.bin"), QString("/t/a 2.tbl"));
    QCOMPARE(profile.GetProfileString("PerFileNames", "File3"), QString());
    names().Forget(dir + "/c.bin");
    QCOMPARE(names().GetName(dir + "/c.bin"), QString());
    QCOMPARE(profile.GetProfileString("PerFileNames", "Name2"), QString());
    QCOMPARE(names().GetName(dir + "/a.bin"), QString("/t/a 2.tbl"));
}

// A name that is not UTF-8 reaches the settings file in a form that gives back
// its bytes; QSettings alone would write U+FFFD for each such byte.
void TestProfile::namesNotUtf8SurviveTheFile()
{
    const QString path = AfxDecodeFileName("/data/\xD6\xD0\xCE\xC4.bin");
    {
        CSettingsProfile profile;
        profile.SetRegistryKey("Vantorel", "Zorbel");
        CRecentFileList list("Recent File List", "File%d", 4);
        list.Add(path);
        list.WriteList(profile);
        CPerFileValues(&profile, "PerFileTest").Set(path, 936);
        CPerFileValues(&profile, "PerFileNames", 5, CPerFileValues::Holds::Names).SetName(path, path);
        profile.Sync();
    }
    const QByteArray file = TestSupport::readFile(TestSupport::scratchDir() + "/config/Vantorel/Zorbel.conf");
    QVERIFY2(file.contains("File1=file:///data/%D6%D0%CE%C4.bin"), file.constData());
    QVERIFY(file.contains("1=936 file:///data/%D6%D0%CE%C4.bin"));
    QVERIFY(file.contains("Name1=file:///data/%D6%D0%CE%C4.bin"));
    QVERIFY(!file.contains("\xEF\xBF\xBD"));

    CSettingsProfile profile;
    profile.SetRegistryKey("Vantorel", "Zorbel");
    CRecentFileList reread("Recent File List", "File%d", 4);
    reread.ReadList(profile);
    QCOMPARE(reread.Names(), QStringList{path});
    QCOMPARE(CPerFileValues(&profile, "PerFileTest").Get(path, 0), 936);
    QCOMPARE(CPerFileValues(&profile, "PerFileNames", 5, CPerFileValues::Holds::Names).GetName(path), path);
}

void TestProfile::unusableSettingsFileGivesDefaults_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("folder") << "folder";
    QTest::newRow("longer than 1 MiB") << "large";
}

// The settings file is looked at before Qt reads it: a FIFO in its place
// would hang the start (an alarm ends the test then), a long file would be
// read and written whole. It gets a message and is left alone.
void TestProfile::unusableSettingsFileGivesDefaults()
{
    QFETCH(QString, kind);
    const QString folder = TestSupport::scratchDir() + "/config/Refused";
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QString file = folder + "/Zorbel.conf";
    if (kind == "fifo")
        QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkpath(file));
    else
        QVERIFY(QFile::resize(TestSupport::writeScratchFile("x", "[Settings]\nShowCmd=2\n"), (1 << 20) + 1)
                && QFile::rename(TestSupport::scratchDir() + "/x", file));
    AfxSetResourceLanguage(LANG_EN_US);
    QStringList messages;
    const MessageBoxHandler previous = AfxSetMessageBoxHandler([&](const QString& text, unsigned) {
        messages << text;
        return IDOK;
    });
    ::alarm(20);
    {
        CSettingsProfile profile;
        profile.SetRegistryKey("Refused", "Zorbel");
        QCOMPARE(profile.GetProfileInt("Settings", "ShowCmd", 7), 7);
        QVERIFY(!profile.WriteProfileInt("Settings", "ShowCmd", 3));
        profile.Sync();
    }
    ::alarm(0);
    AfxSetMessageBoxHandler(previous);
    QCOMPARE(messages, QStringList{"The settings file " + file
                                   + " is not a regular file, or is larger than 1 MiB. The default settings are used,"
                                     " and the file is left as it is."});
    if (kind == "large")
        QCOMPARE(QFileInfo(file).size(), (1 << 20) + 1);
}

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
