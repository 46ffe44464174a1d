#include "cmdline.h"

#include "codepage.h"

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

} // namespace

FileCommand FindFileCommand(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0)
            return FileCommand::Dump;
        if (std::strcmp(argv[i], "--print-pdf") == 0)
            return FileCommand::PrintPdf;
    }
    return FileCommand::None;
}

int ParseFileCommandLine(int argc, char* argv[], const char* pszCommand, bool bTakesOutput, const char* pszUsage,
                         CFileCommandLine& cmd)
{
    const std::string command = pszCommand;
    cmd = CFileCommandLine();
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, pszCommand) == 0) {
            if (!bTakesOutput)
                continue;
            if (cmd.pszOut || ++i == argc)
                return UsageError(command + " needs one output file", pszUsage);
            cmd.pszOut = argv[i];
        } else if (std::strcmp(arg, "--codepage") == 0) {
            if (++i == argc)
                return UsageError("--codepage needs a code page number", pszUsage);
            char* end = nullptr;
            const long value = std::strtol(argv[i], &end, 10);
            if (end == argv[i] || *end != '\0' || value <= 0 || value > 65535)
                return UsageError("--codepage needs a code page number", pszUsage);
            if (!IsShownCodePage(int(value)))
                return UsageError("code page " + std::to_string(value) + " cannot be shown; --codepage takes "
                                      + CodePageList(),
                                  pszUsage);
            cmd.nCodePage = int(value);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return UsageError("unknown option for " + command, pszUsage);
        } else if (cmd.pszPath) {
            return UsageError(command + " takes one file", pszUsage);
        } else {
            cmd.pszPath = arg;
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
            cmd.files.append(QFile::decodeName(arg));
        } else if (std::strcmp(arg, "--") == 0) {
            bOptions = false;
        } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            bHelp = true;
        } else if (std::strcmp(arg, "-v") == 0 || std::strcmp(arg, "--version") == 0) {
            bVersion = true;
        } else if (std::strcmp(arg, "--codepage") == 0) {
            return UsageError("--codepage goes with --dump or --print-pdf", Usage().c_str());
        } else if (IsOneOf(QtOptionName(arg), std::begin(kQtOptionsWithValue), std::end(kQtOptionsWithValue))) {
            if (++i == argc)
                return UsageError(std::string(arg) + " needs a value", Usage().c_str());
        } else if (!IsOneOf(QtOptionName(arg), std::begin(kQtFlags), std::end(kQtFlags))) {
            return UsageError(std::string("unknown option ") + arg, Usage().c_str());
        }
    }
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
           "  --dump [--codepage N] FILE\n"
           "                print FILE's rows as the window shows them and exit\n"
           "  --print-pdf OUT.pdf [--codepage N] FILE\n"
           "                print FILE into OUT.pdf on A4 paper as File, Print does and exit\n"
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
