// The program a person starts. It loads no library beyond the C one
// and runs in its place, in the same process (so that it keeps the process id
// a caller may wait on), the program for the command line: zorbel-cli, which
// loads QtCore alone, for the commands that print a file without a window, and
// the window program for everything else. Loading QtCore here first would cost
// every start of the window the time to load it twice.

#include "filecommand.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string.h>

namespace {

// Next to this program in a build folder; where it is installed otherwise, found
// from this program's own place so that the installed tree can be moved. Plain
// C strings: the C++ library is not loaded for this program.
void Program(const char* pszName, char (&path)[PATH_MAX])
{
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    const char* slash = n > 0 ? static_cast<const char*>(memrchr(path, '/', std::size_t(n))) : nullptr;
    if (!slash) {
        std::snprintf(path, sizeof path, "%s", pszName);
        return;
    }
    const int nDir = int(slash - path) + 1;
    std::snprintf(path + nDir, sizeof path - std::size_t(nDir), "%s", pszName);
    if (access(path, X_OK) == 0)
        return;
    std::snprintf(path + nDir, sizeof path - std::size_t(nDir), "%s/%s", ZORBEL_PROGRAMS_FROM_BIN, pszName);
}

} // namespace

int main(int argc, char* argv[])
{
    const FileCommand command = FindFileCommand(argc, argv);
    const bool bWindow = command == FileCommand::None || command == FileCommand::PrintPdf;
    char program[PATH_MAX];
    Program(bWindow ? ZORBEL_WINDOW_NAME : ZORBEL_CLI_NAME, program);
    execv(program, argv);
    std::fprintf(stderr, "zorbel: cannot start %s: %s\n", program, std::strerror(errno));
    return 1;
}
