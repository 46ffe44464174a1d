// The program a person starts. --dump needs nothing beyond QtCore, while loading
// the window's libraries takes longer than a short dump itself; so this program
// loads QtCore alone, dumps by itself, and hands every other command line to the
// window program, which takes its place in the same process (so it keeps the
// process id a caller may wait on).

#include "cmdline.h"
#include "dump.h"
#include "findmain.h"
#include "stringsmain.h"

#include <QString>

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

namespace {

// Next to this program in a build folder; where it is installed otherwise, found
// from this program's own place so that the installed tree can be moved.
std::string WindowProgram()
{
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return ZORBEL_WINDOW_NAME;
    std::string dir(self, std::size_t(n));
    dir.erase(dir.rfind('/') + 1);
    const std::string beside = dir + ZORBEL_WINDOW_NAME;
    if (access(beside.c_str(), X_OK) == 0)
        return beside;
    return dir + ZORBEL_WINDOW_FROM_BIN "/" ZORBEL_WINDOW_NAME;
}

} // namespace

int main(int argc, char* argv[])
{
    if (FindFileCommand(argc, argv) == FileCommand::Dump)
        return DumpMain(argc, argv);
    if (FindFileCommand(argc, argv) == FileCommand::Strings)
        return StringsMain(argc, argv);
    if (FindFileCommand(argc, argv) == FileCommand::Find)
        return FindMain(argc, argv);
    const std::string program = WindowProgram();
    execv(program.c_str(), argv);
    ReportError(QLatin1String("cannot start ") + QString::fromLocal8Bit(program.c_str()) + QLatin1String(": ")
                + QString::fromLocal8Bit(std::strerror(errno)));
    return 1;
}
