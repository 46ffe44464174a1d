#pragma once

#include "filecommand.h"

#include <QStringList>

#include <string>

// The command line of the commands that print a file without a window:
//   --dump [--codepage N] [--table FILE.tbl] [--] FILE
//   --print-pdf OUT.pdf [--codepage N] [--table FILE.tbl] [--] FILE
//   --strings [--codepage N] [--table FILE.tbl] [--min N] [--cjk] [--] FILE
// The command's own option may stand anywhere among the others; --codepage=N
// is the same as --codepage N; after "--" every argument is the file. An
// output file must not begin with "-" unless it is "-" itself.
struct CFileCommandLine {
    const char* pszPath = nullptr;
    const char* pszOut = nullptr;   // the command option's value, when it takes one
    int nCodePage = 0;              // 0: the code page the window would detect
    const char* pszTable = nullptr; // --table FILE.tbl, a character table
    int nMinChars = 4;              // --strings: --min N
    bool bNonAsciiOnly = false;     // --strings: --cjk
};

// Reads argv for the command pszCommand ("--dump", "--print-pdf"), whose option
// is followed by an output file when bTakesOutput. Returns 0, or 2 after writing
// the problem and pszUsage to standard error.
int ParseFileCommandLine(int argc, char* argv[], const char* pszCommand, bool bTakesOutput, const char* pszUsage,
                         CFileCommandLine& cmd);


// The command line of the program with a window:
//   zorbel [-h|--help] [-v|--version] [--] [FILE...]
// Qt's own options (-platform NAME, -style NAME, -reverse, ...) pass through to
// QApplication, which takes them out of the arguments before the files are read.
struct CWindowCommandLine {
    enum Action { Run, Help, Version };
    Action action = Run;
    QStringList files;
};

// Reads argv for the window; returns 0, or 2 after writing the problem and the
// usage to standard error.
int ParseWindowCommandLine(int argc, char* argv[], CWindowCommandLine& cmd);

// The text of --help, with the accepted code pages.
std::string Usage();

// Writes "zorbel: " and text as one line to standard error.
void ReportError(const QString& text);

// Loads the table --table names into table; false after saying why it could
// not be loaded.
class CCharTable;
bool LoadTableOption(const CFileCommandLine& cmd, CCharTable& table);
