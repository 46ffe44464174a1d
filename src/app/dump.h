#pragma once

// zorbel --dump [--codepage N] [--table FILE.tbl] [--] FILE
//
// FILE "-" is standard input.
// Prints the file's rows to standard output as a document window shows them, one
// line per row: the offset column, the hex part and the text column decoded to
// UTF-8, without trailing blanks. The code page is the one the window would
// detect unless --codepage names one; with --table, the text column is read
// through that character table (see DumpThroughTable). Needs no display. Returns the exit status:
// 0, 1 when the file cannot be read or the output not written, 2 for bad usage.
int DumpMain(int argc, char* argv[]);
