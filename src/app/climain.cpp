// The commands that print a file without a window (--dump, --strings, --find),
// in a program that loads QtCore alone: loading the window's libraries would
// take longer than a short dump itself. The program a person starts
// (launcher.cpp) runs this one in its place for them.

#include "cmdline.h"
#include "dump.h"
#include "findmain.h"
#include "stringsmain.h"

int main(int argc, char* argv[])
{
    switch (FindFileCommand(argc, argv)) {
    case FileCommand::Dump:
        return DumpMain(argc, argv);
    case FileCommand::Strings:
        return StringsMain(argc, argv);
    case FileCommand::Find:
        return FindMain(argc, argv);
    case FileCommand::PrintPdf:
    case FileCommand::None:
        break;
    }
    ReportError(QStringLiteral("this program runs --dump, --strings and --find; start zorbel for the rest"));
    return 2;
}
