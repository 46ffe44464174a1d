#pragma once

// Identifiers of the framework's standard commands, indicators and strings. The
// program's resource tables give their texts in every language; the framework
// only knows the numbers.

// Standard commands.
constexpr unsigned ID_FILE_NEW = 57600;
constexpr unsigned ID_FILE_OPEN = 57601;
constexpr unsigned ID_FILE_CLOSE = 57602;
constexpr unsigned ID_FILE_SAVE = 57603;
constexpr unsigned ID_FILE_SAVE_AS = 57604;
constexpr unsigned ID_FILE_PAGE_SETUP = 57605;
constexpr unsigned ID_FILE_PRINT_SETUP = 57606;
constexpr unsigned ID_FILE_PRINT = 57607;
constexpr unsigned ID_FILE_PRINT_DIRECT = 57608;
constexpr unsigned ID_FILE_PRINT_PREVIEW = 57609;
constexpr unsigned ID_FILE_MRU_FILE1 = 57616;
constexpr unsigned ID_FILE_MRU_FILE16 = 57631;
constexpr unsigned ID_EDIT_CLEAR = 57632;
constexpr unsigned ID_EDIT_COPY = 57634;
constexpr unsigned ID_EDIT_CUT = 57635;
constexpr unsigned ID_EDIT_FIND = 57636;
constexpr unsigned ID_EDIT_PASTE = 57637;
constexpr unsigned ID_EDIT_REPEAT = 57640;
constexpr unsigned ID_EDIT_REPLACE = 57641;
constexpr unsigned ID_EDIT_SELECT_ALL = 57642;
constexpr unsigned ID_EDIT_UNDO = 57643;
constexpr unsigned ID_EDIT_REDO = 57644;
constexpr unsigned ID_WINDOW_NEW = 57648;
constexpr unsigned ID_WINDOW_ARRANGE = 57649;
constexpr unsigned ID_WINDOW_CASCADE = 57650;
constexpr unsigned ID_WINDOW_TILE_HORZ = 57651;
constexpr unsigned ID_WINDOW_TILE_VERT = 57652;
constexpr unsigned ID_APP_ABOUT = 57664;
constexpr unsigned ID_APP_EXIT = 57665;
constexpr unsigned ID_NEXT_PANE = 57680;
constexpr unsigned ID_PREV_PANE = 57681;
constexpr unsigned ID_VIEW_TOOLBAR = 59392;
// The Window menu's list of document windows: the first nine, then "More Windows...".
constexpr unsigned AFX_IDM_FIRST_MDICHILD = 0xFF00;
constexpr unsigned ID_WINDOW_MORE = AFX_IDM_FIRST_MDICHILD + 9;
constexpr unsigned ID_VIEW_STATUS_BAR = 59393;

// Status bar indicators.
constexpr unsigned ID_SEPARATOR = 0;
constexpr unsigned ID_INDICATOR_NUM = 59138;
constexpr unsigned ID_INDICATOR_OVR = 59140;

// Standard strings.
constexpr unsigned AFX_IDS_APP_TITLE = 57344;
constexpr unsigned AFX_IDS_IDLEMESSAGE = 57345;
constexpr unsigned AFX_IDS_ALLFILTER = 61446;       // "All Files (*.*)"
constexpr unsigned AFX_IDS_UNTITLED = 61443;        // "Untitled"
constexpr unsigned AFX_IDS_OPENFILE = 61440;        // "Open"
constexpr unsigned AFX_IDS_SAVEFILE = 61441;        // "Save As"
constexpr unsigned AFX_IDS_PREVIEW_CLOSE = 61445;   // "&Close"
constexpr unsigned AFX_IDS_MDICHILD = 61215;        // "Activate this window"
constexpr unsigned AFX_IDS_MORE_WINDOWS = 33250;    // "&More Windows..."
constexpr unsigned AFX_IDS_SELECT_WINDOW = 33251;   // "Select Window"
constexpr unsigned AFX_IDS_SELECT_WINDOW_PROMPT = 33325;   // "Select a window:", above its list
constexpr unsigned AFX_IDP_FAILED_TO_OPEN_DOC = 61701;  // "Failed to open document."
constexpr unsigned AFX_IDP_FAILED_TO_SAVE_DOC = 61702;  // "Failed to save document."
constexpr unsigned AFX_IDP_ASK_TO_SAVE = 61703;         // "Save changes to %1?"
constexpr unsigned AFX_IDP_FAILED_TO_START_PRINT = 61704; // "Failed to start printing."
constexpr unsigned AFX_IDP_FAILED_MEMORY_ALLOC = 61710; // "Out of memory."
constexpr unsigned AFX_IDP_FILE_GENERIC = 61728;        // "An unexpected error occurred while accessing %1."
constexpr unsigned AFX_IDP_FILE_NOT_FOUND = 61729;      // "%1 was not found."
constexpr unsigned AFX_IDP_FILE_BAD_PATH = 61730;       // "%1 contains an invalid path."
constexpr unsigned AFX_IDP_FILE_ACCESS_DENIED = 61733;  // "%1 could not be accessed."
constexpr unsigned AFX_IDP_FILE_INVALID = 61734;        // "%1 is not a file that can be opened."
constexpr unsigned AFX_IDP_FILE_HARD_IO = 61738;        // "A hardware I/O error was reported while accessing %1."
constexpr unsigned AFX_IDP_FILE_DISKFULL = 61741;       // "Disk full while accessing %1."
constexpr unsigned AFX_IDP_FILE_EOF = 61742;            // "Attempted an access to %1 past its end."
constexpr unsigned AFX_IDP_FILE_TOO_LARGE = 61743;      // "%1 is too large: files of up to %2 bytes can be opened."

// The framework's own texts for files on disk.
constexpr unsigned AFX_IDP_FILE_NOT_REGULAR = 33150;    // "%1 is not a regular file ... cannot be saved over."
constexpr unsigned AFX_IDP_FILE_CHANGED = 33151;        // "%1 was changed by another program. Reload it?"
constexpr unsigned AFX_IDP_RELOAD_LOSES = 33152;        // added when the document has unsaved changes
constexpr unsigned AFX_IDP_SAVE_OVER_CHANGED = 33153;   // "%1 was changed by another program since ... Save over it?"
constexpr unsigned AFX_IDP_FILE_SIZE_LIMIT = 33550;     // "%1 cannot be written: it would be larger than ..."
constexpr unsigned AFX_IDP_FILE_READ_ONLY = 33551;      // "%1 is on a read-only file system ..."
constexpr unsigned AFX_IDP_SAVE_LEFTOVER = 33552;      // "%1 holds the bytes %2 had before a save ... Remove it?"
constexpr unsigned AFX_IDP_PRINT_OVER_INPUT = 33553;   // "%1 is the file being printed; ..."
constexpr unsigned AFX_IDP_SETTINGS_REFUSED = 33554;   // "The settings file %1 is not a regular file ..."
constexpr unsigned AFX_IDP_FILE_CHANGED_WHILE_OPEN = 34450; // "%1 was changed by another program while it was open ..."
constexpr unsigned AFX_IDP_FILE_REWRITE_WHILE_READ = 34451;  // "%1 can only be saved by rewriting it in place ..."
constexpr unsigned AFX_IDP_INPLACE_ROLLED_BACK = 34455;     // "A save of %1 that wrote its bytes in place did not finish ..."
constexpr unsigned AFX_IDP_INPLACE_NOT_ROLLED_BACK = 34456; // "... could not be put back from the journal %2: %3 ..."
constexpr unsigned AFX_IDP_SAVE_IN_PLACE = 34457;          // "There is no room beside %1 for a new copy ... Write only the changed bytes into the file itself?"
constexpr unsigned AFX_IDS_OPENING = 33154;             // status bar during a long open: "Opening %1"
constexpr unsigned AFX_IDS_SAVING = 33155;              // status bar during a long save: "Saving %1"

// Labels of the find and replace dialogs.
constexpr unsigned AFX_IDS_FIND_WHAT = 32790;       // "Fi&nd what:"
constexpr unsigned AFX_IDS_REPLACE_WITH = 32791;    // "Re&place with:"
constexpr unsigned AFX_IDS_MATCH_CASE = 32792;      // "Match &case"
constexpr unsigned AFX_IDS_DIRECTION = 32793;       // "Direction"
constexpr unsigned AFX_IDS_UP = 32794;              // "&Up"
constexpr unsigned AFX_IDS_DOWN = 32795;            // "&Down"
constexpr unsigned AFX_IDS_FIND_NEXT = 32796;       // "&Find Next"
constexpr unsigned AFX_IDS_REPLACE = 32797;         // "&Replace"
constexpr unsigned AFX_IDS_REPLACE_ALL = 32798;     // "Replace &All"
constexpr unsigned AFX_IDS_CANCEL = 32799;          // "Cancel"
constexpr unsigned AFX_IDS_FIND_TITLE = 32800;      // "Find"
constexpr unsigned AFX_IDS_REPLACE_TITLE = 32801;   // "Replace"
