#include "resources.h"

#include "syslang.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include <map>
#include <optional>

namespace {

const QString kResourceRoot = QStringLiteral(":/zorbel/res/");

unsigned short& languageOverride()
{
    static unsigned short lang = 0;
    return lang;
}

// Any language identifier to one of the four resource languages.
unsigned short resourceLanguageOf(unsigned short langId)
{
    const unsigned short primary = langId & 0x3ff;
    const unsigned short sub = langId >> 10;
    if (primary == 0x04)    // Chinese: Taiwan (1), Hong Kong (3) and Macau (5) write traditional
        return (sub == 1 || sub == 3 || sub == 5) ? LANG_ZH_TW : LANG_ZH_CN;
    if (primary == 0x11)
        return LANG_JA_JP;
    return LANG_EN_US;
}

unsigned short languageFromLocaleName(QString name)
{
    name.replace('-', '_');
    const QStringList parts = name.section('.', 0, 0).section('@', 0, 0).split('_');
    if (parts.first().compare(QLatin1String("zh"), Qt::CaseInsensitive) == 0 && parts.size() > 1) {
        if (parts.at(1).compare(QLatin1String("Hant"), Qt::CaseInsensitive) == 0)
            return LANG_ZH_TW;
        if (parts.at(1).compare(QLatin1String("Hans"), Qt::CaseInsensitive) == 0)
            return LANG_ZH_CN;
    }
    return resourceLanguageOf(LangIDFromLocaleName(name));
}

QString localeNameFromEnvironment()
{
    const QString language = qEnvironmentVariable("LANGUAGE").section(':', 0, 0);
    if (!language.isEmpty())
        return language;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return QString();
}

// The file name part of a language: "en", "zh_TW", "ja", "zh_CN".
QString languageFileName(unsigned short lang)
{
    switch (lang) {
    case LANG_ZH_TW: return QStringLiteral("zh_TW");
    case LANG_JA_JP: return QStringLiteral("ja");
    case LANG_ZH_CN: return QStringLiteral("zh_CN");
    default: return QStringLiteral("en");
    }
}

QString unescape(QStringView text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != '\\' || i + 1 == text.size()) {
            result += c;
            continue;
        }
        const QChar next = text.at(++i);
        if (next == 'n')
            result += '\n';
        else if (next == 't')
            result += '\t';
        else if (next == '\\')
            result += '\\';
        else
            result += text.mid(i - 1, 2);
    }
    return result;
}

struct Line {
    int number;
    QString text;
};

QStringList readLines(const QString& fileName)
{
    QFile file(kResourceRoot + fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("resource file %s is missing", qPrintable(fileName));
        return QStringList();
    }
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    for (QString& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// The lines of a resource file that are neither blank nor comments, grouped under
// their "[id]" headers. A trailing "# comment" is cut off only where asked:
// strings and menu texts may hold a #.
QHash<unsigned, QList<Line>> readSections(const QString& fileName, bool trailingComments)
{
    QHash<unsigned, QList<Line>> sections;
    const QStringList lines = readLines(fileName);
    QList<Line>* current = nullptr;
    for (int i = 0; i < lines.size(); ++i) {
        QString text = lines.at(i);
        if (trailingComments && text.contains('#'))
            text.truncate(text.indexOf('#'));
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        if (trimmed.startsWith('[') && trimmed.endsWith(']')) {
            bool ok = false;
            const unsigned id = trimmed.mid(1, trimmed.size() - 2).toUInt(&ok);
            current = ok ? &sections[id] : nullptr;
            if (!ok)
                qWarning("%s:%d: bad section header", qPrintable(fileName), i + 1);
            continue;
        }
        if (!current) {
            qWarning("%s:%d: entry outside a section", qPrintable(fileName), i + 1);
            continue;
        }
        current->append({i + 1, text});
    }
    return sections;
}

QHash<unsigned, QString> readStrings(const QString& fileName)
{
    QHash<unsigned, QString> strings;
    const QStringList lines = readLines(fileName);
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype tab = line.indexOf('\t');
        bool ok = false;
        const unsigned id = line.left(tab).toUInt(&ok);
        if (tab < 0 || !ok) {
            qWarning("%s:%d: expected an id, a tab and a text", qPrintable(fileName), i + 1);
            continue;
        }
        strings.insert(id, unescape(QStringView(line).mid(tab + 1)));
    }
    return strings;
}

QList<CMenuItemRes> parseMenu(const QString& fileName, const QList<Line>& lines)
{
    QList<CMenuItemRes> menu;
    // levels[d] is the list that takes entries indented by d tabs. A pointer into
    // a popup's children stays valid because its parent list only grows after
    // the deeper levels were dropped.
    QList<QList<CMenuItemRes>*> levels{&menu};
    for (const Line& line : lines) {
        qsizetype depth = 0;
        while (depth < line.text.size() && line.text.at(depth) == '\t')
            ++depth;
        if (depth >= levels.size()) {
            qWarning("%s:%d: entry indented too deep", qPrintable(fileName), line.number);
            continue;
        }
        levels.resize(depth + 1);
        const QStringList fields = line.text.mid(depth).split('\t');
        CMenuItemRes item;
        if (fields.first() == QLatin1String("SEPARATOR")) {
            item.separator = true;
        } else if (fields.first() == QLatin1String("POPUP") && fields.size() >= 2) {
            item.popup = true;
            item.text = unescape(fields.at(1));
        } else {
            bool ok = false;
            item.id = fields.first().toUInt(&ok);
            if (!ok || fields.size() < 2) {
                qWarning("%s:%d: expected a command id and a text", qPrintable(fileName), line.number);
                continue;
            }
            item.text = unescape(fields.at(1));
        }
        item.grayed = fields.size() > 2 && fields.at(2) == QLatin1String("GRAYED");
        levels.last()->append(item);
        if (item.popup)
            levels.append(&levels.last()->last().children);
    }
    return menu;
}

std::optional<QKeyCombination> parseKey(const QString& text)
{
    const QStringList parts = text.split('+');
    Qt::KeyboardModifiers modifiers;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const QString& name = parts.at(i);
        if (name == QLatin1String("Ctrl"))
            modifiers |= Qt::ControlModifier;
        else if (name == QLatin1String("Shift"))
            modifiers |= Qt::ShiftModifier;
        else if (name == QLatin1String("Alt"))
            modifiers |= Qt::AltModifier;
        else if (name == QLatin1String("Meta"))
            modifiers |= Qt::MetaModifier;
        else
            return std::nullopt;
    }
    const QString name = parts.last();
    if (name.size() == 1 && (name.at(0).isDigit() || (name.at(0) >= 'A' && name.at(0) <= 'Z')))
        return QKeyCombination(modifiers, Qt::Key(name.at(0).unicode()));   // Qt::Key_A == 'A'
    if (name.size() > 1 && name.at(0) == 'F') {
        bool ok = false;
        const int n = name.mid(1).toInt(&ok);
        if (ok && n >= 1 && n <= 24)
            return QKeyCombination(modifiers, Qt::Key(Qt::Key_F1 + n - 1));
        return std::nullopt;
    }
    static const QHash<QString, Qt::Key> named{
        {"Backspace", Qt::Key_Backspace}, {"Delete", Qt::Key_Delete}, {"Insert", Qt::Key_Insert},
        {"Home", Qt::Key_Home}, {"End", Qt::Key_End}, {"PageUp", Qt::Key_PageUp},
        {"PageDown", Qt::Key_PageDown}, {"Left", Qt::Key_Left}, {"Right", Qt::Key_Right},
        {"Up", Qt::Key_Up}, {"Down", Qt::Key_Down}, {"Tab", Qt::Key_Tab},
        {"Return", Qt::Key_Return}, {"Enter", Qt::Key_Enter}, {"Escape", Qt::Key_Escape},
        {"Space", Qt::Key_Space}, {"Plus", Qt::Key_Plus}, {"Minus", Qt::Key_Minus},
        {"Equal", Qt::Key_Equal},
    };
    const auto found = named.constFind(name);
    if (found == named.constEnd())
        return std::nullopt;
    return QKeyCombination(modifiers, *found);
}

QList<CKeyRes> readKeyList(const QString& fileName)
{
    QList<CKeyRes> keys;
    const QStringList lines = readLines(fileName);
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        const QStringList fields = line.split('\t');
        if (fields.size() != 2 || fields.first().trimmed().isEmpty()) {
            qWarning("%s:%d: expected keys, a tab and what they do", qPrintable(fileName), i + 1);
            continue;
        }
        keys.append({fields.first(), fields.last()});
    }
    return keys;
}

struct LanguageTables {
    QHash<unsigned, QString> strings;
    QList<CKeyRes> keys;
    QHash<unsigned, QList<CMenuItemRes>> menus;
};

const LanguageTables& tablesOf(unsigned short lang)
{
    // A map, so the references handed out stay valid when another language is added.
    static std::map<unsigned short, LanguageTables> cache;
    const auto found = cache.find(lang);
    if (found != cache.end())
        return found->second;
    LanguageTables tables;
    const QString name = languageFileName(lang);
    tables.strings = readStrings("strings/" + name + ".txt");
    tables.keys = readKeyList("keys/" + name + ".txt");
    const QString menuFile = "menus/" + name + ".txt";
    const auto sections = readSections(menuFile, false);
    for (auto it = sections.begin(); it != sections.end(); ++it)
        tables.menus.insert(it.key(), parseMenu(menuFile, it.value()));
    return cache.emplace(lang, std::move(tables)).first->second;
}

const QHash<unsigned, QList<CAccelRes>>& acceleratorTables()
{
    static const QHash<unsigned, QList<CAccelRes>> tables = [] {
        QHash<unsigned, QList<CAccelRes>> result;
        const QString fileName = QStringLiteral("accelerators.txt");
        const auto sections = readSections(fileName, true);
        for (auto it = sections.begin(); it != sections.end(); ++it) {
            QList<CAccelRes>& table = result[it.key()];
            for (const Line& line : it.value()) {
                const QStringList fields = line.text.trimmed().split('\t', Qt::SkipEmptyParts);
                const std::optional<QKeyCombination> key = parseKey(fields.first());
                bool ok = false;
                const unsigned id = fields.size() == 2 ? fields.at(1).toUInt(&ok) : 0;
                if (!key || !ok) {
                    qWarning("%s:%d: expected a key and a command id", qPrintable(fileName), line.number);
                    continue;
                }
                table.append({id, *key});
            }
        }
        return result;
    }();
    return tables;
}

const QHash<unsigned, QList<unsigned>>& toolBars()
{
    static const QHash<unsigned, QList<unsigned>> bars = [] {
        QHash<unsigned, QList<unsigned>> result;
        const QString fileName = QStringLiteral("toolbar.txt");
        const auto sections = readSections(fileName, true);
        for (auto it = sections.begin(); it != sections.end(); ++it) {
            QList<unsigned>& bar = result[it.key()];
            for (const Line& line : it.value()) {
                const QString field = line.text.trimmed();
                bool ok = field == QLatin1String("SEPARATOR");
                const unsigned id = ok ? 0 : field.toUInt(&ok);
                if (ok)
                    bar.append(id);
                else
                    qWarning("%s:%d: expected a command id or SEPARATOR", qPrintable(fileName), line.number);
            }
        }
        return result;
    }();
    return bars;
}

} // namespace

unsigned short AfxGetResourceLanguage()
{
    if (languageOverride() != 0)
        return languageOverride();
    return languageFromLocaleName(localeNameFromEnvironment());
}

void AfxSetResourceLanguage(unsigned short lang)
{
    languageOverride() = lang == 0 ? 0 : resourceLanguageOf(lang);
}

QString AfxLoadString(unsigned id)
{
    const unsigned short lang = AfxGetResourceLanguage();
    const auto& strings = tablesOf(lang).strings;
    auto found = strings.constFind(id);
    if (found != strings.constEnd())
        return *found;
    if (lang == LANG_EN_US)
        return QString();
    return tablesOf(LANG_EN_US).strings.value(id);
}

bool AfxHasString(unsigned id, unsigned short lang)
{
    return tablesOf(resourceLanguageOf(lang)).strings.contains(id);
}

QList<CMenuItemRes> AfxLoadMenu(unsigned id)
{
    const auto& menus = tablesOf(AfxGetResourceLanguage()).menus;
    const auto found = menus.constFind(id);
    if (found != menus.constEnd())
        return *found;
    return tablesOf(LANG_EN_US).menus.value(id);
}

QList<CKeyRes> AfxLoadKeyList()
{
    const QList<CKeyRes>& keys = tablesOf(AfxGetResourceLanguage()).keys;
    return keys.isEmpty() ? tablesOf(LANG_EN_US).keys : keys;
}

QList<CAccelRes> AfxLoadAccelerators(unsigned id)
{
    return acceleratorTables().value(id);
}

QList<unsigned> AfxLoadToolBar(unsigned id)
{
    return toolBars().value(id);
}

bool AfxInstallQtTranslator(QCoreApplication* app)
{
    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    const unsigned short lang = AfxGetResourceLanguage();
    if (!app || lang == LANG_EN_US)
        return false;
    auto* translator = new QTranslator(app);
    if (!translator->load("qtbase_" + languageFileName(lang),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}
