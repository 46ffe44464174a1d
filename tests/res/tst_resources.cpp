#include "resource.h"
#include "resources.h"
#include "testsupport.h"

#include <algorithm>

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

const char* const kLocaleVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
const unsigned short kLanguages[] = {LANG_EN_US, LANG_ZH_TW, LANG_JA_JP, LANG_ZH_CN};

void collectCommands(const QList<CMenuItemRes>& items, QList<unsigned>& ids)
{
    for (const CMenuItemRes& item : items) {
        if (item.popup)
            collectCommands(item.children, ids);
        else if (!item.separator)
            ids.append(item.id);
    }
}

// The command ids of each popup, 0 for a separator; a submenu's ids follow in
// its place.
void appendIds(const QList<CMenuItemRes>& items, QList<unsigned>& ids)
{
    for (const CMenuItemRes& item : items) {
        if (item.popup)
            appendIds(item.children, ids);
        else
            ids.append(item.separator ? 0u : item.id);
    }
}

QList<QList<unsigned>> popupIds(const QList<CMenuItemRes>& menu)
{
    QList<QList<unsigned>> result;
    for (const CMenuItemRes& popup : menu) {
        QList<unsigned> ids;
        appendIds(popup.children, ids);
        result.append(ids);
    }
    return result;
}

// The entries of the Edit popup of menu 129.
QList<CMenuItemRes> EditPopup()
{
    for (const CMenuItemRes& popup : AfxLoadMenu(IDR_ZORBELTYPE))
        for (const CMenuItemRes& item : popup.children)
            if (item.id == ID_EDIT_COPY)
                return popup.children;
    return {};
}

} // namespace

class TestResources : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void quotedTexts_data();
    void quotedTexts();
    void missingIdFallsBackToEnglish();
    void templateStringKeepsItsFields_data();
    void templateStringKeepsItsFields();
    void placeholdersSurviveTranslation();

    void languageFromEnvironment_data();
    void languageFromEnvironment();
    void explicitLanguageOverridesEnvironment();

    void menuStructure_data();
    void menuStructure();
    void newEditItems_data();
    void newEditItems();
    void contextMenuMatchesTheEditMenu_data();
    void contextMenuMatchesTheEditMenu();
    void acceleratorTable();
    void toolBarOrder();
    void keyListIsTheReadmesTable();
    void keyListInEveryLanguage_data();
    void keyListInEveryLanguage();
    void everyCommandHasPromptInEveryLanguage();

    void qtTranslatorFollowsLanguage();

private:
    QHash<QByteArray, QByteArray> m_savedEnvironment;
};

void TestResources::initTestCase()
{
    for (const char* variable : kLocaleVariables)
        m_savedEnvironment.insert(variable, qgetenv(variable));
}

// The loader warns about every malformed line of a resource file.
void TestResources::init()
{
    QTest::failOnWarning(QRegularExpression(".*"));
}

void TestResources::cleanup()
{
    AfxSetResourceLanguage(0);
    for (auto it = m_savedEnvironment.cbegin(); it != m_savedEnvironment.cend(); ++it)
        qputenv(it.key().constData(), it.value());
}

void TestResources::quotedTexts_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<unsigned>("id");
    QTest::addColumn<QString>("text");

    QTest::newRow("en sjis") << int(LANG_EN_US) << ID_CODEPAGE_SJIS << "Set to Shift JIS code\nShift JIS code";
    QTest::newRow("en nofont sjis, two spaces") << int(LANG_EN_US) << IDS_NOFONT_SJIS
                                                << "Please refer menu Help > Keyboard Shortcuts (F1),  install Japanese font.";
    QTest::newRow("en about") << int(LANG_EN_US) << ID_APP_ABOUT
                              << "Display program information, version number and copyright\nAbout";
    QTest::newRow("en mru 16") << int(LANG_EN_US) << ID_FILE_MRU_FILE16 << "Open this document";
    QTest::newRow("en ins") << int(LANG_EN_US) << ID_INDICATOR_OVR << "INS";
    QTest::newRow("en ovr") << int(LANG_EN_US) << IDS_OVR << "OVR";

    QTest::newRow("zh-TW save as, no tooltip") << int(LANG_ZH_TW) << ID_FILE_SAVE_AS << "以新的名稱儲存使用中的文件";
    QTest::newRow("zh-TW big5") << int(LANG_ZH_TW) << ID_CODEPAGE_BIG5 << "設定內碼為BIG5\nBIG5碼";
    QTest::newRow("zh-TW paste") << int(LANG_ZH_TW) << ID_EDIT_PASTE << "在視窗左上角插入「剪貼簿」內容\n貼上";
    QTest::newRow("zh-TW file") << int(LANG_ZH_TW) << IDS_FILE << "檔案";
    QTest::newRow("zh-TW nofont gb") << int(LANG_ZH_TW) << IDS_NOFONT_GB << "請參考說明清單 > 鍵盤快速鍵 (F1)，安裝中文GB字型。";

    QTest::newRow("ja preview, empty tooltip") << int(LANG_JA_JP) << ID_FILE_PRINT_PREVIEW << "ﾍﾟｰｼﾞ全体を表示します。\n";
    QTest::newRow("ja nofont gb") << int(LANG_JA_JP) << IDS_NOFONT_GB
                                  << "ﾍﾙﾌﾟﾒﾆｭｰの [ｷｰﾎﾞｰﾄﾞ ｼｮｰﾄｶｯﾄ] (F1) を参照して、中国語GBﾌｫﾝﾄをｲﾝｽﾄｰﾙしてください。";
    QTest::newRow("ja gb") << int(LANG_JA_JP) << ID_CODEPAGE_GB << "GBｺｰﾄﾞを設定します。\nGBｺｰﾄﾞ";
    QTest::newRow("ja file") << int(LANG_JA_JP) << IDS_FILE << "ﾌｧｲﾙ";

    QTest::newRow("zh-CN repeat") << int(LANG_ZH_CN) << ID_EDIT_REPEAT << "重复上次查找\n找下一个";
    QTest::newRow("zh-CN nofont big5") << int(LANG_ZH_CN) << IDS_NOFONT_BIG5 << "请参照帮助菜单 > 键盘快捷键 (F1)，安装中文BIG5字体。";
    QTest::newRow("zh-CN replace") << int(LANG_ZH_CN) << ID_EDIT_REPLACE << "用不同的文本取替换指定的文本\n替换";
    QTest::newRow("zh-CN file") << int(LANG_ZH_CN) << IDS_FILE << "文件";
}

void TestResources::quotedTexts()
{
    QFETCH(int, lang);
    QFETCH(unsigned, id);
    QFETCH(QString, text);

    AfxSetResourceLanguage(lang);
    QCOMPARE(int(AfxGetResourceLanguage()), lang);
    QCOMPARE(AfxLoadString(id), text);
}

void TestResources::missingIdFallsBackToEnglish()
{
    for (unsigned short lang : kLanguages) {
        AfxSetResourceLanguage(lang);
        QVERIFY(AfxLoadString(12345).isEmpty());
        QCOMPARE(AfxLoadString(IDS_VERSION), QStringLiteral("Zorbel Version 1.4"));
        QCOMPARE(AfxLoadString(AFX_IDS_APP_TITLE), QStringLiteral("Zorbel"));
    }
    QVERIFY(!AfxHasString(IDS_VERSION, LANG_JA_JP));
}

void TestResources::templateStringKeepsItsFields_data()
{
    QTest::addColumn<int>("lang");
    for (unsigned short lang : kLanguages)
        QTest::addRow("0x%x", lang) << int(lang);
}

void TestResources::templateStringKeepsItsFields()
{
    QFETCH(int, lang);
    AfxSetResourceLanguage(lang);
    const QStringList fields = AfxLoadString(IDR_ZORBELTYPE).split('\n');
    QCOMPARE(fields.size(), 7);
    QCOMPARE(fields.mid(0, 6), QStringList({"", "Zorbel", "Zorbel", "", "", "Zorbel.Document"}));
    QVERIFY(!fields.at(6).isEmpty());
}

void TestResources::placeholdersSurviveTranslation()
{
    static const QRegularExpression placeholder(QStringLiteral("%\\d|%d"));
    const unsigned ids[] = {AFX_IDP_ASK_TO_SAVE, AFX_IDP_FILE_GENERIC, AFX_IDP_FILE_NOT_FOUND,
                            AFX_IDP_FILE_BAD_PATH, AFX_IDP_FILE_ACCESS_DENIED, AFX_IDP_FILE_INVALID,
                            AFX_IDP_FILE_HARD_IO, AFX_IDP_FILE_DISKFULL, AFX_IDP_FILE_EOF,
                            AFX_IDP_FILE_TOO_LARGE, IDS_BYTE_COUNT, IDS_CARET_OFFSET, IDS_CARET_SELECTION,
                            IDS_GOTO_INVALID, IDS_GOTO_PAST_END, IDS_GOTO_BEFORE_START, IDS_REPLACING,
                            IDS_SEARCHING, IDS_REPLACED, IDS_REPLACED_NO_UNDO};
    auto placeholders = [](const QString& text) {
        QStringList found;
        for (auto it = placeholder.globalMatch(text); it.hasNext();)
            found.append(it.next().captured());
        found.sort();
        return found;
    };
    for (unsigned id : ids) {
        AfxSetResourceLanguage(LANG_EN_US);
        const QStringList english = placeholders(AfxLoadString(id));
        QVERIFY2(!english.isEmpty(), qPrintable(QString::number(id)));
        for (unsigned short lang : kLanguages) {
            AfxSetResourceLanguage(lang);
            QCOMPARE(placeholders(AfxLoadString(id)), english);
        }
    }
}

void TestResources::languageFromEnvironment_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("lcAll");
    QTest::addColumn<QString>("lcMessages");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<int>("expected");

    QTest::newRow("nothing set") << "" << "" << "" << "" << int(LANG_EN_US);
    QTest::newRow("zh_TW") << "" << "" << "" << "zh_TW.UTF-8" << int(LANG_ZH_TW);
    QTest::newRow("zh_HK") << "" << "" << "" << "zh_HK.UTF-8" << int(LANG_ZH_TW);
    QTest::newRow("zh_CN") << "" << "" << "" << "zh_CN.UTF-8" << int(LANG_ZH_CN);
    QTest::newRow("zh_SG") << "" << "" << "" << "zh_SG" << int(LANG_ZH_CN);
    QTest::newRow("plain zh") << "" << "" << "" << "zh" << int(LANG_ZH_CN);
    QTest::newRow("ja_JP") << "" << "" << "" << "ja_JP.UTF-8" << int(LANG_JA_JP);
    QTest::newRow("de_DE") << "" << "" << "" << "de_DE.UTF-8" << int(LANG_EN_US);
    QTest::newRow("C") << "" << "" << "" << "C" << int(LANG_EN_US);
    QTest::newRow("LANGUAGE first entry") << "ja:zh_TW" << "" << "" << "zh_CN" << int(LANG_JA_JP);
    QTest::newRow("LANGUAGE with hyphen") << "zh-TW" << "" << "" << "" << int(LANG_ZH_TW);
    QTest::newRow("LANGUAGE empty entry") << ":ja" << "zh_TW" << "" << "" << int(LANG_ZH_TW);
    QTest::newRow("LC_ALL before LANG") << "" << "zh_CN" << "" << "ja_JP" << int(LANG_ZH_CN);
    QTest::newRow("LC_MESSAGES before LANG") << "" << "" << "zh_TW" << "ja" << int(LANG_ZH_TW);
    QTest::newRow("POSIX LC_ALL") << "" << "POSIX" << "zh_CN" << "ja_JP" << int(LANG_EN_US);
}

void TestResources::languageFromEnvironment()
{
    QFETCH(QString, language);
    QFETCH(QString, lcAll);
    QFETCH(QString, lcMessages);
    QFETCH(QString, lang);
    QFETCH(int, expected);

    const QString values[] = {language, lcAll, lcMessages, lang};
    for (int i = 0; i < 4; ++i)
        qputenv(kLocaleVariables[i], values[i].toUtf8());
    QCOMPARE(int(AfxGetResourceLanguage()), expected);
}

void TestResources::explicitLanguageOverridesEnvironment()
{
    qputenv("LANGUAGE", "");
    qputenv("LC_ALL", "zh_CN.UTF-8");
    AfxSetResourceLanguage(LANG_JA_JP);
    QCOMPARE(int(AfxGetResourceLanguage()), int(LANG_JA_JP));
    QCOMPARE(AfxLoadString(IDS_FILE), QStringLiteral("ﾌｧｲﾙ"));
    AfxSetResourceLanguage(0);
    QCOMPARE(int(AfxGetResourceLanguage()), int(LANG_ZH_CN));
    QCOMPARE(AfxLoadString(IDS_FILE), QStringLiteral("文件"));
}

void TestResources::menuStructure_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<unsigned>("menu");
    QTest::addColumn<QList<QList<unsigned>>>("popups");

    const QList<unsigned> file128{ID_FILE_NEW, ID_FILE_OPEN, 0, ID_FILE_PRINT_SETUP, 0,
                                  ID_FILE_MRU_FILE1, 0, ID_APP_EXIT};
    const QList<unsigned> file129{ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_CLOSE, ID_FILE_SAVE,
                                  ID_FILE_SAVE_AS, 0, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW,
                                  ID_FILE_PRINT_SETUP, 0, ID_FILE_MRU_FILE1, 0, ID_APP_EXIT};
    QList<unsigned> file129Cn = file129;
    file129Cn.move(2, 4);   // Close after Save As
    const QList<unsigned> edit{ID_EDIT_UNDO, ID_EDIT_REDO, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_COPY_HEX,
                               ID_EDIT_COPY_TEXT, ID_EDIT_PASTE, ID_EDIT_CLEAR, 0, ID_EDIT_SELECT_ALL, 0, ID_EDIT_FIND, ID_EDIT_REPEAT,
                               ID_EDIT_REPLACE, ID_EDIT_FIND_ALL_ENCODINGS, ID_EDIT_RELATIVE_SEARCH, 0, ID_EDIT_GOTO, 0,
                               ID_EDIT_TOGGLE_BOOKMARK,
                               ID_EDIT_NEXT_BOOKMARK, ID_EDIT_PREV_BOOKMARK};
    const QList<unsigned> view{ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_DATA_INSPECTOR, ID_VIEW_STRINGS};
    const QList<unsigned> view129{ID_VIEW_TOOLBAR,         ID_VIEW_STATUS_BAR,       ID_VIEW_DATA_INSPECTOR,
                                  ID_VIEW_STRINGS,         ID_VIEW_BOOKMARKS,        ID_VIEW_CODEPAGE_GB,
                                  ID_VIEW_CODEPAGE_BIG5,   ID_VIEW_CODEPAGE_SJIS,    ID_VIEW_CODEPAGE_UTF8,
                                  ID_VIEW_CODEPAGE_KOREAN, ID_VIEW_CODEPAGE_WESTERN, ID_VIEW_CODEPAGE_TABLE, 0, ID_VIEW_CODEPAGE_GUESS, 0,
                                  ID_VIEW_ZOOM_IN,         ID_VIEW_ZOOM_OUT,         ID_VIEW_ZOOM_RESET};
    const QList<unsigned> window{ID_WINDOW_NEW, ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ,
                                 ID_WINDOW_TILE_VERT, ID_WINDOW_ARRANGE};
    const QList<unsigned> helpEn{ID_HELP_KEYS, 0, ID_APP_ABOUT};
    const QList<unsigned> help{ID_HELP_KEYS, ID_APP_ABOUT};

    QTest::newRow("en 128") << int(LANG_EN_US) << IDR_MAINFRAME << QList<QList<unsigned>>{file128, view, helpEn};
    QTest::newRow("en 129") << int(LANG_EN_US) << IDR_ZORBELTYPE
                            << QList<QList<unsigned>>{file129, edit, view129, window, helpEn};
    QTest::newRow("zh-TW 128") << int(LANG_ZH_TW) << IDR_MAINFRAME << QList<QList<unsigned>>{file128, view, help};
    QTest::newRow("zh-TW 129") << int(LANG_ZH_TW) << IDR_ZORBELTYPE
                               << QList<QList<unsigned>>{file129, edit, view129, window, help};
    QTest::newRow("ja 128") << int(LANG_JA_JP) << IDR_MAINFRAME << QList<QList<unsigned>>{file128, view, help};
    QTest::newRow("ja 129") << int(LANG_JA_JP) << IDR_ZORBELTYPE
                            << QList<QList<unsigned>>{file129, edit, view129, window, help};
    QTest::newRow("zh-CN 128") << int(LANG_ZH_CN) << IDR_MAINFRAME << QList<QList<unsigned>>{file128, view, help};
    QTest::newRow("zh-CN 129") << int(LANG_ZH_CN) << IDR_ZORBELTYPE
                               << QList<QList<unsigned>>{file129Cn, edit, view129, window, help};
}

void TestResources::menuStructure()
{
    QFETCH(int, lang);
    QFETCH(unsigned, menu);
    QFETCH(QList<QList<unsigned>>, popups);

    AfxSetResourceLanguage(lang);
    const QList<CMenuItemRes> items = AfxLoadMenu(menu);
    QCOMPARE(popupIds(items), popups);
    for (const CMenuItemRes& popup : items) {
        QVERIFY(popup.popup);
        QVERIFY2(popup.text.contains('&'), qPrintable(popup.text));
        QList<CMenuItemRes> entries = popup.children;
        for (int i = 0; i < entries.size(); ++i) {
            const CMenuItemRes item = entries.at(i);
            if (item.popup)
                entries.append(item.children);
            QCOMPARE(item.grayed, item.id == ID_FILE_MRU_FILE1);
            if (!item.separator && !item.grayed)
                QVERIFY2(item.text.contains('&'), qPrintable(item.text));
        }
    }
    if (lang == LANG_EN_US) {
        QCOMPARE(items.first().text, QStringLiteral("&File"));
        QCOMPARE(items.first().children.first().text, QStringLiteral("&New\tCtrl+N"));
        QCOMPARE(items.last().children.last().text, QStringLiteral("&About Zorbel..."));
    }
}

void TestResources::newEditItems_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QStringList>("texts");     // Copy as Hex, Select All, Go To
    QTest::addColumn<QStringList>("tooltips");

    QTest::newRow("en") << int(LANG_EN_US) << QStringList{"Copy as &Hex", "Select &All\tCtrl+A", "&Go To...\tCtrl+G"}
                        << QStringList{"Copy as Hex", "Select All", "Go To"};
    QTest::newRow("zh-TW") << int(LANG_ZH_TW)
                           << QStringList{"複製為十六進位(&H)", "全選(&A)\tCtrl+A", "移至(&G)...\tCtrl+G"}
                           << QStringList{"複製為十六進位", "全選", "移至"};
    QTest::newRow("ja") << int(LANG_JA_JP)
                        << QStringList{"16 進数でｺﾋﾟｰ(&H)", "すべて選択(&A)\tCtrl+A", "移動(&G)...\tCtrl+G"}
                        << QStringList{"16 進数でｺﾋﾟｰ", "すべて選択", "移動"};
    QTest::newRow("zh-CN") << int(LANG_ZH_CN)
                           << QStringList{"复制为十六进制(&H)", "全选(&A)\tCtrl+A", "转到(&G)...\tCtrl+G"}
                           << QStringList{"复制为十六进制", "全选", "转到"};
}

// The items' texts, and prompts of their own language whose tooltip part names
// them; the Go To dialog's texts are translated too.
void TestResources::newEditItems()
{
    QFETCH(int, lang);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, tooltips);

    AfxSetResourceLanguage(lang);
    const QList<CMenuItemRes> edit = EditPopup();
    const unsigned ids[] = {ID_EDIT_COPY_HEX, ID_EDIT_SELECT_ALL, ID_EDIT_GOTO};
    for (int i = 0; i < 3; ++i) {
        const auto it = std::find_if(edit.cbegin(), edit.cend(), [&](const CMenuItemRes& item) { return item.id == ids[i]; });
        QVERIFY(it != edit.cend());
        QCOMPARE(it->text, texts[i]);
        QVERIFY(AfxHasString(ids[i], lang));
        const QStringList prompt = AfxLoadString(ids[i]).split('\n');
        QCOMPARE(prompt.size(), 2);
        QCOMPARE(prompt[1], tooltips[i]);
    }
    for (unsigned id : {IDS_GOTO_TITLE, IDS_GOTO_OFFSET, IDS_GOTO_DECIMAL, IDS_OK, IDS_GOTO_INVALID,
                        IDS_GOTO_PAST_END, IDS_GOTO_BEFORE_START, IDS_CARET_OFFSET, IDS_CARET_SELECTION})
        QVERIFY2(AfxHasString(id, lang), qPrintable(QString::number(id)));
}

void TestResources::contextMenuMatchesTheEditMenu_data()
{
    QTest::addColumn<int>("lang");
    for (unsigned short lang : kLanguages)
        QTest::addRow("0x%x", lang) << int(lang);
}

// The view's context menu offers Edit menu commands under the Edit menu's texts.
void TestResources::contextMenuMatchesTheEditMenu()
{
    QFETCH(int, lang);
    AfxSetResourceLanguage(lang);
    const QList<CMenuItemRes> context = AfxLoadMenu(IDR_HEXVIEW_CONTEXT);
    QCOMPARE(context.size(), 1);
    QCOMPARE(popupIds(context).first(), QList<unsigned>({ID_EDIT_UNDO, ID_EDIT_REDO, 0, ID_EDIT_CUT, ID_EDIT_COPY,
                                                         ID_EDIT_COPY_HEX, ID_EDIT_PASTE, ID_EDIT_CLEAR, 0,
                                                         ID_EDIT_SELECT_ALL, 0, ID_EDIT_TOGGLE_BOOKMARK,
                                                         ID_EDIT_NEXT_BOOKMARK, ID_EDIT_PREV_BOOKMARK}));
    const QList<CMenuItemRes> edit = EditPopup();
    for (const CMenuItemRes& item : context.first().children) {
        if (item.separator)
            continue;
        QVERIFY2(item.text.contains('&'), qPrintable(item.text));
        for (const CMenuItemRes& same : edit)
            if (same.id == item.id)
                QCOMPARE(item.text, same.text);
    }
}

void TestResources::acceleratorTable()
{
    const QList<CAccelRes> table = AfxLoadAccelerators(IDR_MAINFRAME);
    const QList<QPair<unsigned, QKeyCombination>> expected{
        {ID_EDIT_COPY, Qt::CTRL | Qt::Key_C},
        {ID_EDIT_FIND, Qt::CTRL | Qt::Key_F},
        {ID_EDIT_REPLACE, Qt::CTRL | Qt::Key_H},
        {ID_FILE_NEW, Qt::CTRL | Qt::Key_N},
        {ID_FILE_OPEN, Qt::CTRL | Qt::Key_O},
        {ID_FILE_PRINT, Qt::CTRL | Qt::Key_P},
        {ID_FILE_PRINT_DIRECT, Qt::CTRL | Qt::SHIFT | Qt::Key_P},
        {ID_FILE_SAVE, Qt::CTRL | Qt::Key_S},
        {ID_EDIT_PASTE, Qt::CTRL | Qt::Key_V},
        {ID_EDIT_UNDO, Qt::ALT | Qt::Key_Backspace},
        {ID_EDIT_CLEAR, QKeyCombination(Qt::Key_Delete)},
        {ID_EDIT_REPEAT, QKeyCombination(Qt::Key_F3)},
        {ID_NEXT_PANE, QKeyCombination(Qt::Key_F6)},
        {ID_PREV_PANE, Qt::SHIFT | Qt::Key_F6},
        {ID_EDIT_CUT, Qt::CTRL | Qt::Key_X},
        {ID_EDIT_UNDO, Qt::CTRL | Qt::Key_Z},
        {ID_EDIT_SELECT_ALL, Qt::CTRL | Qt::Key_A},
        {ID_EDIT_GOTO, Qt::CTRL | Qt::Key_G},
        {ID_APP_EXIT, Qt::CTRL | Qt::Key_Q},
        {ID_EDIT_REDO, Qt::CTRL | Qt::Key_Y},
        {ID_EDIT_REDO, Qt::CTRL | Qt::SHIFT | Qt::Key_Z},
        {ID_VIEW_ZOOM_IN, Qt::CTRL | Qt::Key_Plus},
        {ID_VIEW_ZOOM_IN, Qt::CTRL | Qt::SHIFT | Qt::Key_Plus},
        {ID_VIEW_ZOOM_IN, Qt::CTRL | Qt::Key_Equal},
        {ID_VIEW_ZOOM_OUT, Qt::CTRL | Qt::Key_Minus},
        {ID_VIEW_ZOOM_RESET, Qt::CTRL | Qt::Key_0},
        {ID_VIEW_DATA_INSPECTOR, Qt::CTRL | Qt::SHIFT | Qt::Key_I},
        {ID_VIEW_STRINGS, Qt::CTRL | Qt::SHIFT | Qt::Key_S},
        {ID_EDIT_COPY_TEXT, Qt::CTRL | Qt::SHIFT | Qt::Key_C},
        {ID_EDIT_TOGGLE_BOOKMARK, Qt::CTRL | Qt::Key_B},
        {ID_EDIT_NEXT_BOOKMARK, QKeyCombination(Qt::Key_F2)},
        {ID_EDIT_PREV_BOOKMARK, Qt::SHIFT | Qt::Key_F2},
        {ID_HELP_KEYS, QKeyCombination(Qt::Key_F1)},
        {ID_EDIT_FIND_ALL_ENCODINGS, Qt::CTRL | Qt::SHIFT | Qt::Key_F},
    };
    QCOMPARE(table.size(), expected.size());
    for (int i = 0; i < table.size(); ++i) {
        QCOMPARE(table.at(i).id, expected.at(i).first);
        QCOMPARE(table.at(i).key, expected.at(i).second);
    }
    QVERIFY(AfxLoadAccelerators(999).isEmpty());
}

void TestResources::toolBarOrder()
{
    const QList<unsigned> expected{ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_SEPARATOR,
                                   ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_SEPARATOR,
                                   ID_FILE_PRINT_DIRECT, ID_APP_ABOUT, ID_SEPARATOR,
                                   ID_CODEPAGE_GB, ID_CODEPAGE_BIG5, ID_CODEPAGE_SJIS, ID_CODEPAGE_UTF8};
    QCOMPARE(AfxLoadToolBar(IDR_MAINFRAME), expected);
}

// README.md's "### Keys" table, row by row, is the English key list.
void TestResources::keyListIsTheReadmesTable()
{
    QFile readme(ZORBEL_README);
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype start = text.indexOf("\n### Keys\n");
    QVERIFY(start >= 0);
    QStringList rows;
    for (const QString& line : text.mid(start).split('\n').mid(2)) {
        if (line.startsWith('#'))
            break;
        if (line.startsWith("| ") && line != QLatin1String("| key | does |"))
            rows.append(line);
    }
    QStringList keys;
    AfxSetResourceLanguage(LANG_EN_US);
    for (const CKeyRes& key : AfxLoadKeyList())
        keys.append("| " + key.keys + " | " + key.does + " |");
    QCOMPARE(keys, rows);
}

void TestResources::keyListInEveryLanguage_data()
{
    QTest::addColumn<int>("lang");
    QTest::newRow("zh-TW") << int(LANG_ZH_TW);
    QTest::newRow("ja") << int(LANG_JA_JP);
    QTest::newRow("zh-CN") << int(LANG_ZH_CN);
}

// Each language lists the English rows in their order: the same key
// combinations in each row, only the words translated.
void TestResources::keyListInEveryLanguage()
{
    QFETCH(int, lang);
    static const QRegularExpression combination(R"((?:(?:Ctrl|Alt|Shift)\+)+(?:[A-Z0-9][A-Za-z0-9]*|[-+=])|\bF\d+\b)");
    const auto combinations = [](const QString& keys) {
        QStringList found;
        for (auto it = combination.globalMatch(keys); it.hasNext();)
            found.append(it.next().captured());
        return found;
    };
    AfxSetResourceLanguage(LANG_EN_US);
    const QList<CKeyRes> english = AfxLoadKeyList();
    AfxSetResourceLanguage(lang);
    const QList<CKeyRes> translated = AfxLoadKeyList();
    QCOMPARE(translated.size(), english.size());
    for (qsizetype i = 0; i < english.size(); ++i) {
        QCOMPARE(combinations(translated.at(i).keys), combinations(english.at(i).keys));
        QVERIFY2(translated.at(i).does != english.at(i).does, qPrintable(english.at(i).does));
    }
}

void TestResources::everyCommandHasPromptInEveryLanguage()
{
    QList<unsigned> commands = AfxLoadToolBar(IDR_MAINFRAME);
    for (const CAccelRes& accel : AfxLoadAccelerators(IDR_MAINFRAME))
        commands.append(accel.id);
    for (unsigned id = ID_FILE_MRU_FILE1; id <= ID_FILE_MRU_FILE16; ++id)
        commands.append(id);
    for (unsigned short lang : kLanguages) {
        AfxSetResourceLanguage(lang);
        collectCommands(AfxLoadMenu(IDR_MAINFRAME), commands);
        collectCommands(AfxLoadMenu(IDR_ZORBELTYPE), commands);
    }
    commands.removeAll(ID_SEPARATOR);
    QVERIFY(commands.size() > 40);
    for (unsigned id : QSet<unsigned>(commands.cbegin(), commands.cend())) {
        for (unsigned short lang : kLanguages)
            QVERIFY2(AfxHasString(id, lang), qPrintable(QString("%1 in 0x%2").arg(id).arg(lang, 0, 16)));
    }
}

void TestResources::qtTranslatorFollowsLanguage()
{
    AfxSetResourceLanguage(LANG_EN_US);
    QVERIFY(!AfxInstallQtTranslator(QCoreApplication::instance()));

    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(dir + "/qtbase_ja.qm"))
        QSKIP("Qt's Japanese translation is not installed");
    AfxSetResourceLanguage(LANG_JA_JP);
    QVERIFY(AfxInstallQtTranslator(QCoreApplication::instance()));
    const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
    QVERIFY2(cancel != QLatin1String("Cancel"), qPrintable(cancel));

    AfxSetResourceLanguage(LANG_EN_US);
    QVERIFY(!AfxInstallQtTranslator(QCoreApplication::instance()));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
