#pragma once

#include <QString>

// The system's default language, as the platform's language identifier: the
// primary language in the low 10 bits, the sublanguage in the upper 6 bits
// (0x0404 Chinese Taiwan, 0x0804 Chinese PRC, 0x0411 Japanese, ...).
//
// It is read from the locale environment (LC_ALL, LC_MESSAGES, LANG). Tests and
// command-line options may replace the locale name with SetSystemLocaleOverride.
unsigned short GetSystemDefaultLangID();

// Maps a POSIX locale name such as "zh_TW.UTF-8" or "ja_JP" to a language identifier.
unsigned short LangIDFromLocaleName(const QString& name);

// The locale name GetSystemDefaultLangID reads: the override when set, else the
// first non-empty of LC_ALL, LC_MESSAGES and LANG.
QString SystemLocaleName();

// An empty name returns to the environment.
void SetSystemLocaleOverride(const QString& name);
