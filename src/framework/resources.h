#pragma once

#include <QKeyCombination>
#include <QList>
#include <QString>

class QCoreApplication;

// The program's resources (string tables, menus, accelerators, toolbars) as the
// text files of src/res describe them. They are compiled into the zorbel_res
// library, which an executable must link; the tables are read on first use.
//
// Strings and menus exist once per resource language; accelerators and toolbars
// are the same in every language.

enum : unsigned short {
    LANG_EN_US = 0x409,
    LANG_ZH_TW = 0x404,
    LANG_JA_JP = 0x411,
    LANG_ZH_CN = 0x804,
};

// The language the resources are loaded in: the one set by AfxSetResourceLanguage,
// else the first non-empty of LANGUAGE (its first colon-separated entry), LC_ALL,
// LC_MESSAGES and LANG. Chinese of Taiwan, Hong Kong and Macau reads Traditional
// Chinese, other Chinese Simplified, Japanese Japanese, anything else English.
unsigned short AfxGetResourceLanguage();

// Fixes the resource language; 0 returns to the environment. Any other value
// than the four languages counts as English.
void AfxSetResourceLanguage(unsigned short lang);

// The string in the resource language, else the English one, else empty.
QString AfxLoadString(unsigned id);

// True when the table of that language itself holds the string (no fallback).
bool AfxHasString(unsigned id, unsigned short lang);

struct CMenuItemRes {
    unsigned id = 0;
    QString text;   // "&Save\tCtrl+S": & marks the mnemonic, \t precedes the shortcut shown
    bool separator = false;
    bool grayed = false;
    bool popup = false;
    QList<CMenuItemRes> children;   // entries of a popup
};

// The top-level popups of menu 128 or 129 in the resource language, else in
// English; empty for an unknown menu.
QList<CMenuItemRes> AfxLoadMenu(unsigned id);

struct CAccelRes {
    unsigned id;
    QKeyCombination key;
};

// The entries of an accelerator table in table order; empty for an unknown table.
QList<CAccelRes> AfxLoadAccelerators(unsigned id);

// The command ids of a toolbar's buttons from the left, 0 (ID_SEPARATOR) for a gap.
QList<unsigned> AfxLoadToolBar(unsigned id);

struct CKeyRes {
    QString keys;   // "Ctrl+X, Ctrl+C, Ctrl+V"
    QString does;   // "cut, copy, paste"
};

// The list of keys (src/res/keys) in the resource language, else in English, in
// table order.
QList<CKeyRes> AfxLoadKeyList();

// Installs Qt's own translation (qtbase_<language>.qm) for the resource language
// on the application, so the dialogs Qt provides speak it too; it replaces one
// installed by an earlier call. Returns false when no translation was installed:
// English, or the file is missing.
bool AfxInstallQtTranslator(QCoreApplication* app);
