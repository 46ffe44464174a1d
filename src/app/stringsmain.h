#pragma once

// zorbel --strings [--codepage N] [--min N] [--cjk] [--] FILE
//
// FILE "-" is standard input.
// Prints the runs of text in the file (see CStringScanner), one line each: the
// offset in hexadecimal, a tab and the text in UTF-8, tabs and newlines in it
// written \t and \n. The code page is the one the window would detect unless
// --codepage names one; --min sets the fewest characters of a run (4), --cjk
// lists only runs with a character beyond ASCII. Needs no display; memory
// stays small whatever the file's length. Returns the exit status as --dump
// does: 0, 1 when the file cannot be read or the output not written, 2 for bad
// usage.
int StringsMain(int argc, char* argv[]);
