#include "cmdline.h"
#include "dump.h"
#include "findmain.h"
#include "stringsmain.h"
#include "hexapp.h"
#include "printpdf.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

namespace {

bool HasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[])
{
    // A write past the file size limit (ulimit -f) then fails with EFBIG and is
    // reported, instead of ending the program with the unsaved edits.
    std::signal(SIGXFSZ, SIG_IGN);
    switch (FindFileCommand(argc, argv)) {
    case FileCommand::Dump:
        return DumpMain(argc, argv);
    case FileCommand::PrintPdf:
        return PrintPdfMain(argc, argv);
    case FileCommand::Strings:
        return StringsMain(argc, argv);
    case FileCommand::Find:
        return FindMain(argc, argv);
    case FileCommand::None:
        break;
    }
    CWindowCommandLine cmd;
    if (const int nStatus = ParseWindowCommandLine(argc, argv, cmd))
        return nStatus;
    if (cmd.action == CWindowCommandLine::Help) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (cmd.action == CWindowCommandLine::Version) {
        std::puts("Zorbel Version " ZORBEL_VERSION);
        return 0;
    }
    if (!HasDisplay()) {
        std::fputs("zorbel: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    CHexApp theApp;
    // The names as argv holds them: QCoreApplication::arguments() would lose
    // the bytes of a name that is not UTF-8.
    theApp.SetCommandLine(QStringList{QStringLiteral("--")} + cmd.files);
    return theApp.Run();
}
