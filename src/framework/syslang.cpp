#include "syslang.h"

namespace {

QString& localeOverride()
{
    static QString name;
    return name;
}

constexpr unsigned short MakeLangID(unsigned short primary, unsigned short sub)
{
    return static_cast<unsigned short>((sub << 10) | primary);
}

constexpr unsigned short LANG_CHINESE = 0x04;
constexpr unsigned short LANG_ENGLISH = 0x09;
constexpr unsigned short LANG_JAPANESE = 0x11;
constexpr unsigned short LANG_KOREAN = 0x12;

} // namespace

unsigned short LangIDFromLocaleName(const QString& name)
{
    // "zh_TW.UTF-8@variant" -> language "zh", territory "TW".
    QString base = name.section('.', 0, 0).section('@', 0, 0);
    const QString language = base.section('_', 0, 0).toLower();
    const QString territory = base.section('_', 1, 1).toUpper();

    if (language == "zh") {
        if (territory == "TW")
            return MakeLangID(LANG_CHINESE, 1);
        if (territory == "HK")
            return MakeLangID(LANG_CHINESE, 3);
        if (territory == "SG")
            return MakeLangID(LANG_CHINESE, 4);
        if (territory == "MO")
            return MakeLangID(LANG_CHINESE, 5);
        return MakeLangID(LANG_CHINESE, 2);
    }
    if (language == "ja")
        return MakeLangID(LANG_JAPANESE, 1);
    if (language == "ko")
        return MakeLangID(LANG_KOREAN, 1);
    return MakeLangID(LANG_ENGLISH, 1);
}

QString SystemLocaleName()
{
    if (!localeOverride().isEmpty())
        return localeOverride();
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return QStringLiteral("C");
}

unsigned short GetSystemDefaultLangID()
{
    return LangIDFromLocaleName(SystemLocaleName());
}

void SetSystemLocaleOverride(const QString& name)
{
    localeOverride() = name;
}
