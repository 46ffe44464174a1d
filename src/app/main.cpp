#include "dump.h"
#include "hexapp.h"
#include "printpdf.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: zorbel [OPTION] [FILE]\n"
    "A hex viewer and editor for files that hold Chinese and Japanese text.\n"
    "\n"
    "  --dump [--codepage N] FILE\n"
    "                print FILE's rows as the window shows them and exit\n"
    "  --print-pdf OUT.pdf [--codepage N] FILE\n"
    "                print FILE into OUT.pdf on A4 paper as File, Print does and exit\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n";

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
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("Zorbel Version 1.4");
            return 0;
        }
    }
    if (!HasDisplay()) {
        std::fputs("zorbel: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    CHexApp theApp;
    return theApp.Run();
}
