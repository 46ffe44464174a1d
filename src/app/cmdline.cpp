#include "cmdline.h"

#include "chartable.h"
#include "codepage.h"
#include "filename.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

namespace {

// Options of QGuiApplication and QApplication that a window's command line may
// carry; they are read by Qt, not by us.
const char* const kQtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                           "qwindowgeometry", "qwindowicon", "qwindowtitle", "style",
                                           "stylesheet", "display", "geometry", "session"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// "-name" or "--name": the name, else nullptr.
const char* QtOptionName(const char* arg)
{
    if (arg[0] != '-')
        return nullptr;
    return arg + (arg[1] == '-' ? 2 : 1);
}

bool IsOneOf(const char* name, const char* const* first, const char* const* last)
{
    return name && std::any_of(first, last, [name](const char* option) { return std::strcmp(name, option) == 0; });
}

std::string CodePageList()
{
    std::string list;
    const int nCount = int(std::size(kShownCodePages));
    for (int i = 0; i < nCount; ++i) {
        if (i > 0)
            list += i + 1 == nCount ? " or " : ", ";
        list += std::to_string(kShownCodePages[i]);
    }
    return list;
}

int UsageError(const std::string& problem, const char* pszUsage)
{
    std::fprintf(stderr, "zorbel: %s\n%s", problem.c_str(), pszUsage);
    return 2;
}

// Reads "--codepage N" or "--codepage=N" at argv[i], moving i past its value.
// Returns 0, or 2 after reporting the problem.
int ParseCodePage(int argc, char* argv[], int& i, const char* pszUsage, int& nCodePage)
{
    const char* arg = argv[i];
    const char* value = std::strchr(arg, '=');
    if (value)
        ++value;
    else if (++i < argc)
        value = argv[i];
    else
        return UsageError("--codepage needs a code page number", pszUsage);
    char* end = nullptr;
    const long number = std::strtol(value, &end, 10);
    if (end == value || *end != '\0' || number <= 0 || number > 65535)
        return UsageError("--codepage needs a code page number", pszUsage);
    if (!IsShownCodePage(int(number)))
        return UsageError("code page " + std::to_string(number) + " cannot be shown; --codepage takes "
                              + CodePageList(),
                          pszUsage);
    nCodePage = int(number);
    return 0;
}

bool IsCodePageOption(const char* arg)
{
    return std::strcmp(arg, "--codepage") == 0 || std::strncmp(arg, "--codepage=", 11) == 0;
}

} // namespace

int ParseFileCommandLine(int argc, char* argv[], const char* pszCommand, bool bTakesOutput, const char* pszUsage,
                         CFileCommandLine& cmd)
{
    const std::string command = pszCommand;
    cmd = CFileCommandLine();
    bool bOptions = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!bOptions || arg[0] != '-' || arg[1] == '\0') {
            // "-" is standard input or output, where the command allows it.
            if (cmd.pszPath)
                return UsageError(command + " takes one file", pszUsage);
            cmd.pszPath = arg;
        } else if (std::strcmp(arg, "--") == 0) {
            bOptions = false;
        } else if (std::strcmp(arg, pszCommand) == 0) {
            if (!bTakesOutput)
                continue;
            // An option after it is no output file: "--print-pdf --dump a.bin"
            // must not write a file named "--dump".
            if (cmd.pszOut || ++i == argc || (argv[i][0] == '-' && argv[i][1] != '\0'))
                return UsageError(command + " needs one output file", pszUsage);
            cmd.pszOut = argv[i];
        } else if (IsCodePageOption(arg)) {
            if (const int nStatus = ParseCodePage(argc, argv, i, pszUsage, cmd.nCodePage))
                return nStatus;
        } else if ((std::strcmp(arg, "--table") == 0 || std::strncmp(arg, "--table=", 8) == 0)) {
            const char* value = arg[7] == '=' ? arg + 8 : ++i < argc ? argv[i] : nullptr;
            if (!value || *value == '\0' || cmd.pszTable)
                return UsageError("--table needs one table file", pszUsage);
            cmd.pszTable = value;
        } else if (command == "--strings" && std::strcmp(arg, "--cjk") == 0) {
            cmd.bNonAsciiOnly = true;
        } else if (command == "--strings" && (std::strcmp(arg, "--min") == 0 || std::strncmp(arg, "--min=", 6) == 0)) {
            const char* value = arg[5] == '=' ? arg + 6 : ++i < argc ? argv[i] : nullptr;
            char* end = nullptr;
            const long number = value ? std::strtol(value, &end, 10) : 0;
            if (!value || end == value || *end != '\0' || number < 1 || number > 65536)
                return UsageError("--min needs a number of characters from 1 to 65536", pszUsage);
            cmd.nMinChars = int(number);
        } else {
            return UsageError("unknown option " + std::string(arg) + " for " + command, pszUsage);
        }
    }
    if (!cmd.pszPath)
        return UsageError(command + " needs a file", pszUsage);
    return 0;
}

int ParseWindowCommandLine(int argc, char* argv[], CWindowCommandLine& cmd)
{
    cmd = CWindowCommandLine();
    bool bHelp = false;
    bool bVersion = false;
    bool bOptions = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!bOptions || arg[0] != '-' || arg[1] == '\0') {
            cmd.files.append(AfxDecodeFileName(arg));
        } else if (std::strcmp(arg, "--") == 0) {
            bOptions = false;
        } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            bHelp = true;
        } else if (std::strcmp(arg, "-v") == 0 || std::strcmp(arg, "--version") == 0) {
            bVersion = true;
        } else if (IsCodePageOption(arg)) {
            return UsageError("--codepage goes with --dump or --print-pdf", Usage().c_str());
        } else if (IsOneOf(QtOptionName(arg), std::begin(kQtOptionsWithValue), std::end(kQtOptionsWithValue))) {
            if (++i == argc)
                return UsageError(std::string(arg) + " needs a value", Usage().c_str());
        } else if (!IsOneOf(QtOptionName(arg), std::begin(kQtFlags), std::end(kQtFlags))) {
            return UsageError(std::string("unknown option ") + arg, Usage().c_str());
        }
    }
    if ((bHelp || bVersion) && !cmd.files.isEmpty())
        return UsageError(std::string(bHelp ? "--help" : "--version") + " takes no file", Usage().c_str());
    if (bHelp)
        cmd.action = CWindowCommandLine::Help;
    else if (bVersion)
        cmd.action = CWindowCommandLine::Version;
    return 0;
}

std::string Usage()
{
    return "Usage: zorbel [OPTION] [FILE...]\n"
           "A hex viewer and editor for files that hold Chinese and Japanese text.\n"
           "Each FILE opens in a document window of its own.\n"
           "\n"
           "  --dump [--codepage N] [--table FILE.tbl] FILE\n"
           "                print FILE's rows as the window shows them and exit;\n"
           "                FILE - reads standard input\n"
           "  --print-pdf OUT.pdf [--codepage N] [--table FILE.tbl] FILE\n"
           "                print FILE into OUT.pdf on A4 paper as File, Print does and exit;\n"
           "                OUT.pdf - writes standard output\n"
           "  --strings [--min N] [--cjk] [--codepage N] [--table FILE.tbl] FILE\n"
           "                print the runs of text in FILE, at least N characters long\n"
           "                (4 without --min), one line each: the offset in hexadecimal,\n"
           "                a tab and the text; --cjk lists only runs with a character\n"
           "                beyond ASCII; through a table a run ends after an end code\n"
           "  --find TEXT [--encoding NAME]... [--relative] FILE...\n"
           "                print FILE:OFFSET:ENCODING for each place TEXT stands in\n"
           "                each FILE, the offset in hexadecimal; the encodings are\n"
           "                GB, BIG5, SJIS, UTF-8, UTF-16LE and UTF-16BE, all of them\n"
           "                without --encoding; --relative finds the word TEXT by the\n"
           "                distances between its letters in 1- and 2-byte codes;\n"
           "                exit 0 when found, 1 when not, 2 on errors\n"
           "  --codepage N, --codepage=N\n"
           "                read FILE in code page N\n"
           "  --table FILE.tbl, --table=FILE.tbl\n"
           "                read FILE's text through the character table FILE.tbl\n"
           "  --            what follows is a FILE, even when it begins with -\n"
           "  -h, --help    show this help and exit\n"
           "  -v, --version show the version and exit\n"
           "\n"
           "N is one of the code pages the text column can show: "
        + CodePageList()
        + ".\nWithout --codepage the code page is guessed from the file's content.\n";
}

void ReportError(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "zorbel: %s\n", line.toLocal8Bit().constData());
}

bool LoadTableOption(const CFileCommandLine& cmd, CCharTable& table)
{
    QString message;
    if (table.LoadFile(QFile::decodeName(cmd.pszTable), &message))
        return true;
    ReportError(message);
    return false;
}
