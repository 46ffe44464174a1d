#include "cmdline.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int UsageError(const std::string& problem, const char* pszUsage)
{
    std::fprintf(stderr, "zorbel: %s\n%s", problem.c_str(), pszUsage);
    return 2;
}

} // namespace

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

void ReportError(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "zorbel: %s\n", line.toLocal8Bit().constData());
}
