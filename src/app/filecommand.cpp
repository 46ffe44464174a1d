#include "filecommand.h"

#include <cstring>

FileCommand FindFileCommand(int argc, char* argv[])
{
    // After "--" every argument is a file, whatever its name.
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0)
            return FileCommand::Dump;
        if (std::strcmp(argv[i], "--print-pdf") == 0)
            return FileCommand::PrintPdf;
        if (std::strcmp(argv[i], "--strings") == 0)
            return FileCommand::Strings;
        if (std::strcmp(argv[i], "--find") == 0 || std::strncmp(argv[i], "--find=", 7) == 0)
            return FileCommand::Find;
    }
    return FileCommand::None;
}
