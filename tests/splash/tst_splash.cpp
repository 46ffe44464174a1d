#include "iconbutton.h"
#include "splashdlg.h"

#include "resource.h"
#include "resources.h"
#include "testsupport.h"

#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QColor kBackground(0, 160, 0);

// A button on a parent of a plain colour, with a different colour in the
// button's own palette, so a button that filled its background would show.
struct Backdrop {
    QWidget parent;
    CIconButton* button = new CIconButton(&parent);

    Backdrop()
    {
        parent.setAutoFillBackground(true);
        QPalette palette = parent.palette();
        palette.setColor(QPalette::Window, kBackground);
        parent.setPalette(palette);
        parent.resize(100, 100);
        palette.setColor(QPalette::Window, Qt::magenta);
        palette.setColor(QPalette::Button, Qt::magenta);
        button->setPalette(palette);
        button->move(10, 10);
        button->FitToIcon();
    }

    QImage render()
    {
        return parent.grab().toImage().convertToFormat(QImage::Format_RGB32).copy(button->geometry());
    }
};

} // namespace

class TestSplash : public QObject
{
    Q_OBJECT

private slots:
    void imagesLoad_data();
    void imagesLoad();
    void iconButtonPixels_data();
    void iconButtonPixels();
    void pictureIgnoresStateAndNeedsIcon();
    void versionTextsAndLayout();
    void centredOnOwner_data();
    void centredOnOwner();
    void windowComesAndGoesObjectStays();
    void doesNotKeepProgramRunning_data();
    void doesNotKeepProgramRunning();
};

void TestSplash::imagesLoad_data()
{
    QTest::addColumn<QString>("path");
    for (const char* name : {"zorbel", "document", "new", "open", "save", "cut", "copy", "paste",
                             "print", "about", "codepage-gb", "codepage-big5", "codepage-sjis"})
        QTest::addRow("%s", name) << QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name));
}

void TestSplash::imagesLoad()
{
    QFETCH(QString, path);
    QVERIFY2(QImageReader::supportedImageFormats().contains("svg"),
             "Qt's SVG image plugin is missing (Debian package libqt6svg6)");
    const QImage image = QIcon(path).pixmap(48, 48).toImage();
    QVERIFY(!image.isNull());
    QCOMPARE(qAlpha(image.pixel(24, 24)), 255);
}

void TestSplash::iconButtonPixels_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("colour");

    const QColor black(Qt::black);
    const QColor shadow(128, 128, 128);
    QTest::addRow("frame top left") << QPoint(0, 0) << black;
    QTest::addRow("frame bottom right") << QPoint(67, 67) << black;
    QTest::addRow("frame right edge") << QPoint(67, 33) << black;
    QTest::addRow("frame bottom edge") << QPoint(33, 67) << black;
    QTest::addRow("ring inside frame") << QPoint(1, 1) << kBackground;
    QTest::addRow("ring before shadow") << QPoint(66, 66) << kBackground;
    QTest::addRow("above right shadow") << QPoint(69, 3) << kBackground;
    QTest::addRow("left of bottom shadow") << QPoint(3, 69) << kBackground;
    QTest::addRow("right shadow top") << QPoint(68, 4) << shadow;
    QTest::addRow("bottom shadow left") << QPoint(4, 68) << shadow;
    QTest::addRow("shadow corner") << QPoint(71, 71) << shadow;
}

void TestSplash::iconButtonPixels()
{
    QFETCH(QPoint, point);
    QFETCH(QColor, colour);

    Backdrop backdrop;
    if (backdrop.button->style()->pixelMetric(QStyle::PM_LargeIconSize) != 32)
        QSKIP("the style's large icons are not 32 pixels");
    QCOMPARE(backdrop.button->geometry(), QRect(10, 10, 72, 72));
    QCOMPARE(QColor(backdrop.render().pixel(point)), colour);
}

void TestSplash::pictureIgnoresStateAndNeedsIcon()
{
    Backdrop backdrop;
    const QImage disabled = backdrop.render();
    backdrop.button->setEnabled(true);
    QCOMPARE(backdrop.render(), disabled);

    // The document page covers the middle of the image area.
    const QRect imageArea(2, 2, backdrop.button->width() - 8, backdrop.button->height() - 8);
    QVERIFY(QColor(disabled.pixel(imageArea.center())) != kBackground);

    // Without an icon nothing at all is drawn, not even the frame.
    backdrop.button->setIcon(QIcon());
    QImage blank(backdrop.button->size(), QImage::Format_RGB32);
    blank.fill(kBackground);
    QCOMPARE(backdrop.render(), blank);
}

void TestSplash::versionTextsAndLayout()
{
    CSplashDlg splash;
    // The texts come in the language in force when the window is created.
    AfxSetResourceLanguage(LANG_JA_JP);
    const auto restoreLanguage = qScopeGuard([] { AfxSetResourceLanguage(0); });
    QVERIFY(splash.Create(nullptr));
    splash.show();

    auto* button = splash.findChild<CIconButton*>("iconButton");
    auto* version = splash.findChild<QLabel*>("versionLine");
    auto* notice = splash.findChild<QLabel*>("notice");
    auto* rule = splash.findChild<QWidget*>("rule");
    auto* text = splash.findChild<QLabel*>("text");
    QVERIFY(button && version && notice && rule && text);
    QCOMPARE(version->text(), QStringLiteral("Zorbel Version 1.4"));
    QVERIFY(!notice->text().isEmpty());
    QCOMPARE(notice->text(), AfxLoadString(IDS_SPLASH_NOTICE));
    QVERIFY(AfxHasString(IDS_SPLASH_NOTICE, LANG_JA_JP));
    QCOMPARE(text->text(), AfxLoadString(IDS_SPLASH_TEXT));

    const auto topOf = [&](QWidget* w) { return w->mapTo(&splash, QPoint(0, 0)).y(); };
    QVERIFY(topOf(version) < topOf(notice));
    QVERIFY(topOf(button) + button->height() <= topOf(rule) && topOf(notice) < topOf(rule));
    QVERIFY(topOf(rule) < topOf(text));
    QCOMPARE(rule->height(), 1);
    const QPoint onRule = rule->mapTo(&splash, QPoint(rule->width() / 2, 0));
    QCOMPARE(QColor(splash.grab().toImage().pixel(onRule)), QColor(Qt::black));
}

void TestSplash::centredOnOwner_data()
{
    QTest::addColumn<QRect>("ownerGeometry");
    QTest::addColumn<bool>("ownerShown");

    QTest::addRow("shown owner") << QRect(40, 30, 700, 540) << true;
    QTest::addRow("owner off centre") << QRect(0, 0, 640, 560) << true;
    QTest::addRow("hidden owner: screen") << QRect(0, 0, 640, 560) << false;
    QTest::addRow("no owner: screen") << QRect() << false;
}

void TestSplash::centredOnOwner()
{
    QFETCH(QRect, ownerGeometry);
    QFETCH(bool, ownerShown);

    std::unique_ptr<QWidget> owner;
    if (ownerGeometry.isValid()) {
        owner = std::make_unique<QWidget>();
        owner->setGeometry(ownerGeometry);
        if (ownerShown) {
            owner->show();
            QVERIFY(QTest::qWaitForWindowExposed(owner.get()));
        }
    }

    CSplashDlg splash;
    QVERIFY(splash.Create(owner.get()));
    splash.show();

    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = splash.frameGeometry().center()
        - (ownerShown ? owner->frameGeometry().center() : area.center());
    QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
             qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));
    QVERIFY(area.contains(splash.frameGeometry()));
}

void TestSplash::windowComesAndGoesObjectStays()
{
    CSplashDlg splash;
    QVERIFY(!splash.IsWindowUp());
    {
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        QVERIFY(splash.Create(&owner));
        QVERIFY(splash.IsWindowUp());
        QVERIFY(!splash.isVisible());
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
    }
    // Deleting the owner neither deletes the splash nor takes its window.
    QVERIFY(splash.IsWindowUp());

    splash.DestroyWindow();
    QVERIFY(!splash.IsWindowUp());
    QVERIFY(!splash.isVisible());
    splash.DestroyWindow();

    QVERIFY(splash.Create(nullptr));
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    splash.DestroyWindow();
    QVERIFY(!splash.IsWindowUp());
}

void TestSplash::doesNotKeepProgramRunning_data()
{
    QTest::addColumn<bool>("owned");
    QTest::addRow("owned by the main window") << true;
    QTest::addRow("without owner") << false;
}

void TestSplash::doesNotKeepProgramRunning()
{
    QFETCH(bool, owned);
    QWidget owner;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    CSplashDlg splash;
    QVERIFY(splash.Create(owned ? &owner : nullptr));
    splash.show();

    // Closing the last main window ends the event loop although the splash is
    // still shown; the guard ends it with another code if it does not.
    QTimer::singleShot(0, &owner, &QWidget::close);
    QTimer::singleShot(3000, qApp, [] { QCoreApplication::exit(7); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
