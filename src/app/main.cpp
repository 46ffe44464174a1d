#include "cmdline.h"
#include "dump.h"
#include "hexapp.h"
#include "printpdf.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

bool HasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0)
            return DumpMain(argc, argv);
        if (std::strcmp(argv[i], "--print-pdf") == 0)
            return PrintPdfMain(argc, argv);
    }
    CWindowCommandLine cmd;
    if (const int nStatus = ParseWindowCommandLine(argc, argv, cmd))
        return nStatus;
    if (cmd.action == CWindowCommandLine::Help) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (cmd.action == CWindowCommandLine::Version) {
        std::puts("Zorbel Version 1.4");
        return 0;
    }
    if (!HasDisplay()) {
        std::fputs("zorbel: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    CHexApp theApp;
    return theApp.Run();
}
