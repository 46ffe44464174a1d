#pragma once

// Which of the commands that print a file without a window a command line names
// first, if any, before "--". Plain C++, so that the program a person starts can
// decide which program to run before any library beyond the C one is loaded.
enum class FileCommand { None, Dump, PrintPdf, Strings, Find };
FileCommand FindFileCommand(int argc, char* argv[]);
