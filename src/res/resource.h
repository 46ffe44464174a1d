#pragma once

#include "afxres.h"

// Identifiers of the program's own resources: menus, toolbar, icons, dialogs,
// commands and strings. The texts live in the string tables of src/res.

constexpr unsigned IDR_MAINFRAME = 128;     // main frame title, menu without a document, toolbar, accelerators
constexpr unsigned IDR_ZORBELTYPE = 129;    // document template string, menu with a document, document icon
constexpr unsigned IDD_ABOUTBOX = 100;
constexpr unsigned IDD_SPLASH = 141;
constexpr unsigned IDC_SPLASH_ICON = 1006;
constexpr unsigned IDC_SPLASH_VERSION = 1008;

constexpr unsigned ID_CODEPAGE_GB = 32771;
constexpr unsigned ID_CODEPAGE_BIG5 = 32772;
constexpr unsigned ID_CODEPAGE_SJIS = 32773;
// View > Code Page: the menu's own commands, checked for the code page on show; the
// toolbar keeps the three above.
constexpr unsigned ID_VIEW_CODEPAGE_GB = 33300;
constexpr unsigned ID_VIEW_CODEPAGE_BIG5 = 33301;
constexpr unsigned ID_VIEW_CODEPAGE_SJIS = 33302;
constexpr unsigned ID_VIEW_CODEPAGE_UTF8 = 33303;
constexpr unsigned ID_VIEW_CODEPAGE_KOREAN = 33304;
constexpr unsigned ID_VIEW_CODEPAGE_WESTERN = 33305;
// The toolbar's UTF-8 button, and View > Code Page > Guess Again: the guess from
// the bytes as they are now, in place of the code page remembered for the file.
constexpr unsigned ID_CODEPAGE_UTF8 = 33310;
constexpr unsigned ID_VIEW_CODEPAGE_GUESS = 33311;
// Overwrite-typed text that would run past the end; %1 the text, %2 its bytes, %3 the bytes left
constexpr unsigned IDS_OVERWRITE_PAST_END = 33312;
constexpr unsigned IDS_GOTO_EXTEND = 33313;        // Go To's "&Extend selection"
// Help > Keyboard Shortcuts (F1): the list of keys (src/res/keys) in a table
constexpr unsigned ID_HELP_KEYS = 33320;
constexpr unsigned IDS_KEYS_TITLE = 33321;
constexpr unsigned IDS_KEYS_KEY = 33322;        // the table's column heads
constexpr unsigned IDS_KEYS_DOES = 33323;
constexpr unsigned IDS_KEYS_FONTS = 33324;      // under the table: which fonts to install
// 33325, the window list's prompt, is the framework's AFX_IDS_SELECT_WINDOW_PROMPT
constexpr unsigned IDS_NOFONT_GB = 32774;
constexpr unsigned IDS_NOFONT_BIG5 = 32775;
constexpr unsigned IDS_NOFONT_SJIS = 32776;
constexpr unsigned IDS_FILE = 32777;        // the word after an extension in a file type: "dat File"
constexpr unsigned IDS_SPLASH_NOTICE = 32778;   // the splash's one-line notice
constexpr unsigned IDS_SPLASH_TEXT = 32779;     // the splash's block of text
constexpr unsigned IDS_VERSION = 32780;         // "Zorbel Version 1.4"
constexpr unsigned IDS_OVR = 32781;             // status-bar edit mode in overwrite; "INS" is ID_INDICATOR_OVR's text
constexpr unsigned IDS_BYTE_COUNT = 32782;      // "%d Byte(s)", status-bar pane 1
constexpr unsigned IDS_EDIT_TOO_LARGE = 32789;  // an edit refused for the size limit; %1 the largest file length
constexpr unsigned IDS_CANNOT_ENCODE = 33000;   // a character the code page cannot hold; %1 the character, %2 the code page

constexpr unsigned ID_EDIT_COPY_HEX = 33050;     // Edit, Copy as Hex: the selection as "DE AD BE EF" text
constexpr unsigned ID_EDIT_GOTO = 33051;         // Edit, Go To
constexpr unsigned IDR_HEXVIEW_CONTEXT = 33052;  // the document view's context menu
constexpr unsigned IDS_CARET_OFFSET = 33053;     // the caret pane; %1 hexadecimal, %2 decimal
constexpr unsigned IDS_CARET_SELECTION = 33054;  // the same with a selection: %3-%4 first and last, %5 length
constexpr unsigned IDS_GOTO_TITLE = 33055;
constexpr unsigned IDS_GOTO_OFFSET = 33056;      // "&Offset:"
constexpr unsigned IDS_GOTO_DECIMAL = 33057;     // "&Decimal"
constexpr unsigned IDS_OK = 33058;
constexpr unsigned IDS_GOTO_INVALID = 33059;     // %1 the text typed
constexpr unsigned IDS_GOTO_PAST_END = 33060;    // %1 the offset as "256 (0x100)", %2 the file's length, %3 in hexadecimal
constexpr unsigned IDS_GOTO_BEFORE_START = 33061;
constexpr unsigned IDS_UNDO_TOO_LARGE = 33001;  // a change too large for the undo history
constexpr unsigned ID_VIEW_ZOOM_IN = 33260;     // View, Zoom In: a larger screen font
constexpr unsigned ID_VIEW_ZOOM_OUT = 33261;    // View, Zoom Out
constexpr unsigned ID_VIEW_ZOOM_RESET = 33262;  // View, Normal Size: the font's first size
constexpr unsigned IDS_REPLACING = 33450;       // status bar during a long Replace All: "Replacing in %1"
constexpr unsigned IDS_SEARCHING = 33451;       // status bar during a long Find, F3 or Replace: "Searching %1"
constexpr unsigned IDS_REPLACED = 33452;        // status bar after Replace All; %1 how many were replaced
constexpr unsigned IDS_REPLACED_NO_UNDO = 33454; // the same when the history could not keep the change; %1 as above
constexpr unsigned IDS_GUESSING = 33453;        // status bar while Guess Again reads a large file: "Guessing ... %1"

// Dock panels beside the rows: the Data Inspector and the Strings list.
constexpr unsigned ID_VIEW_DATA_INSPECTOR = 34200;  // View, Data Inspector: shows it and moves the focus into it
constexpr unsigned ID_VIEW_STRINGS = 34201;         // View, Strings
constexpr unsigned IDS_INSPECT_TYPE = 34210;        // column headers
constexpr unsigned IDS_INSPECT_VALUE = 34211;
constexpr unsigned IDS_INSPECT_BIG_ENDIAN = 34212;
constexpr unsigned IDS_INSPECT_HEX = 34213;
constexpr unsigned IDS_INSPECT_BINARY = 34214;
constexpr unsigned IDS_INSPECT_UNIX_TIME = 34215;
constexpr unsigned IDS_INSPECT_DOC_CODEPAGE = 34216;   // %1 the document's code page
constexpr unsigned IDS_INSPECT_TOO_FEW = 34217;        // %1 byte(s) needed, %2 left before the end
constexpr unsigned IDS_INSPECT_NOT_CHAR = 34218;
constexpr unsigned IDS_INSPECT_REFUSED = 34219;        // %1 the text typed, %2 the type, %3 its range
constexpr unsigned IDS_INSPECT_NOT_ONE_CHAR = 34220;   // %1 the text typed
constexpr unsigned IDS_INSPECT_PAST_END = 34221;       // %1 bytes to write, %2 left before the end
constexpr unsigned IDS_STRINGS_OFFSET = 34230;         // column headers
constexpr unsigned IDS_STRINGS_LENGTH = 34231;
constexpr unsigned IDS_STRINGS_TEXT = 34232;
constexpr unsigned IDS_STRINGS_MIN = 34233;            // "Minimum &length:"
constexpr unsigned IDS_STRINGS_NON_ASCII = 34234;
constexpr unsigned IDS_STRINGS_FILTER = 34235;
constexpr unsigned IDS_STRINGS_EXPORT = 34236;
constexpr unsigned IDS_STRINGS_SCANNING = 34237;       // %1 the runs found so far
constexpr unsigned IDS_STRINGS_FOUND = 34238;          // %1 the runs listed
constexpr unsigned IDS_STRINGS_EXPORT_FAILED = 34239;  // %1 the file

// Find in All Encodings and Relative Search (Edit menu), and --find.
constexpr unsigned ID_EDIT_FIND_ALL_ENCODINGS = 34350;  // Edit, Find in All Encodings: the list of every hit
constexpr unsigned ID_EDIT_RELATIVE_SEARCH = 34351;     // Edit, Relative Search
constexpr unsigned IDS_FINDALL_TEXT = 34352;            // "&Text:"
constexpr unsigned IDS_FINDALL_FIND = 34353;            // the Find button
constexpr unsigned IDS_FINDALL_ENCODING = 34354;        // column header
constexpr unsigned IDS_FINDALL_SKIPPED = 34355;         // %1 the encodings that cannot hold the text
constexpr unsigned IDS_FINDALL_NO_CODEPAGE = 34356;     // %1 an encoding the text column cannot show
constexpr unsigned IDS_FINDALL_SHOW_IN = 34357;         // the button that switches the code page
constexpr unsigned IDS_FINDALL_STOPPED = 34358;         // %1 the hits found before Esc
constexpr unsigned IDS_RELATIVE_WORD = 34359;           // "&Word:"
constexpr unsigned IDS_RELATIVE_TWO_BYTE = 34360;       // "&Two-byte codes too"
constexpr unsigned IDS_RELATIVE_CODES = 34361;          // column headers
constexpr unsigned IDS_RELATIVE_FIRST = 34362;
constexpr unsigned IDS_RELATIVE_MAKE_TABLE = 34363;     // the Make Table button
constexpr unsigned IDS_RELATIVE_NOT_LETTER = 34364;     // %1 the character
constexpr unsigned IDS_RELATIVE_TOO_SHORT = 34365;
constexpr unsigned IDS_RELATIVE_ALL_SAME = 34366;
constexpr unsigned IDS_RELATIVE_TABLE_FILTER = 34367;   // the file dialog's filter for table files

// The Strings list's scan in the status bar.
constexpr unsigned IDS_STRINGS_PROGRESS = 34400;       // %1 the document's title

// Bookmarks: the Edit menu's commands, the View menu's list and its texts.
constexpr unsigned ID_EDIT_TOGGLE_BOOKMARK = 33700;    // Edit, Toggle Bookmark: at the caret or the selection
constexpr unsigned ID_EDIT_NEXT_BOOKMARK = 33701;
constexpr unsigned ID_EDIT_PREV_BOOKMARK = 33702;
constexpr unsigned ID_VIEW_BOOKMARKS = 33703;          // View, Bookmarks: shows or hides the list
constexpr unsigned IDS_BOOKMARKS_TITLE = 33704;        // the list's title
constexpr unsigned IDS_BOOKMARK_OFFSET = 33705;        // its columns
constexpr unsigned IDS_BOOKMARK_LENGTH = 33706;
constexpr unsigned IDS_BOOKMARK_NAME = 33707;
constexpr unsigned IDS_BOOKMARK_BYTES = 33708;
constexpr unsigned IDS_BOOKMARK_EXPORT = 33709;        // its buttons
constexpr unsigned IDS_BOOKMARK_IMPORT = 33710;
constexpr unsigned IDS_BOOKMARK_DELETE = 33711;
constexpr unsigned IDS_BOOKMARK_FILTER = 33712;        // the file dialogs' filter
constexpr unsigned IDS_BOOKMARK_BAD_LINE = 33713;      // %1 the line's number, %2 the file
constexpr unsigned IDS_BOOKMARK_WRAPPED_START = 33714; // Next Bookmark went on from the first
constexpr unsigned IDS_BOOKMARK_WRAPPED_END = 33715;   // Previous Bookmark went on from the last
constexpr unsigned IDS_BOOKMARK_READ_FAILED = 33716;   // %1 the file, %2 why
constexpr unsigned IDS_BOOKMARK_WRITE_FAILED = 33717;  // %1 the file, %2 why

// Character tables and Copy as Text.
constexpr unsigned ID_VIEW_CODEPAGE_TABLE = 34300;     // View, Code Page, Table File: reads the text column through a table
constexpr unsigned ID_EDIT_COPY_TEXT = 34301;          // Edit, Copy as Text: the selection as the text column shows it
constexpr unsigned IDS_TABLE_FILTER = 34310;           // the file dialog's filter
constexpr unsigned IDS_TABLE_BAD_LINE = 34311;         // %1 the line's number, %2 the file, %3 the line
constexpr unsigned IDS_TABLE_EMPTY = 34312;            // %1 the file
constexpr unsigned IDS_TABLE_CANNOT_ENCODE = 34313;    // %1 the character, %2 the table's name
constexpr unsigned IDS_TABLE_MENU_LOADED = 34314;      // the menu item while a table is shown; %1 its name

// A character table in the status bar and remembered per file.
constexpr unsigned IDS_TABLE_PANE = 34480;             // the status bar pane while a table is shown; %1 its name
constexpr unsigned IDS_TABLE_NOT_RELOADED = 34481;     // %1 why the table last shown for a file was not loaded again
